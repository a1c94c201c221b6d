#include "commands/InputLimits.h"

#include <algorithm>
#include <cmath>
#include <locale>
#include <sstream>

namespace orvane {

namespace {

std::string number(double value) {
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out.precision(10);
    out << value;
    return out.str();
}

} // namespace

std::optional<std::string> overLimit(std::string_view what, double value, double limit) {
    if (value <= limit) {
        return std::nullopt;
    }
    return std::string(what) + " " + number(value) + " is above the limit of " + number(limit);
}

std::optional<std::string> textMarkProblem(double fontSize, std::size_t characters) {
    if (!(fontSize >= 1.0)) {
        return "font size " + number(fontSize) + " is below 1";
    }
    if (std::optional<std::string> problem = overLimit("font size", fontSize, limits::fontSize)) {
        return problem;
    }
    const double pixels = fontSize * fontSize * static_cast<double>(characters);
    if (pixels > limits::textPixels) {
        return "font size " + number(fontSize) + " squared times " + std::to_string(characters) +
               " characters is above the limit of " + number(limits::textPixels);
    }
    return std::nullopt;
}

std::optional<std::string> sphereCutProblem(const std::array<double, 6>& box,
                                            const std::array<double, 3>& centre, double radius) {
    double diagonalSquared = 0.0;
    double offsetSquared = 0.0;
    for (std::size_t axis = 0; axis < 3; ++axis) {
        const double extent = box[axis + 3] - box[axis];
        const double middle = (box[axis] + box[axis + 3]) / 2.0;
        diagonalSquared += extent * extent;
        const double offset = centre[axis] - middle;
        offsetSquared += offset * offset;
    }
    // A flat or empty box still allows cuts of unit size.
    const double bound = limits::cutScale * std::max(std::sqrt(diagonalSquared), 1.0);
    if (!std::isfinite(bound)) {
        return std::nullopt;
    }
    if (!(radius <= bound)) {
        return "radius " + number(radius) + " is above the limit of " + number(limits::cutScale) +
               " model diagonals (" + number(bound) + ")";
    }
    const double offset = std::sqrt(offsetSquared);
    if (!(offset <= bound)) {
        return "the centre lies " + number(offset) + " from the model, above the limit of " +
               number(limits::cutScale) + " model diagonals (" + number(bound) + ")";
    }
    return std::nullopt;
}

} // namespace orvane
