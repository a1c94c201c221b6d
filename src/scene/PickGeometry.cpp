#include "scene/PickGeometry.h"

#include <algorithm>
#include <cmath>

namespace orvane {

bool agreesWhenTruncated(const Point3& picked, const Point3& known) {
    for (std::size_t i = 0; i < 3; ++i) {
        if (std::trunc(picked[i]) != std::trunc(known[i])) {
            return false;
        }
    }
    return true;
}

std::vector<int> pointsWithin(const Point3& position, const std::vector<Point3>& known, double tolerance) {
    std::vector<int> indices;
    for (std::size_t i = 0; i < known.size(); ++i) {
        const double dx = known[i][0] - position[0];
        const double dy = known[i][1] - position[1];
        const double dz = known[i][2] - position[2];
        if (std::sqrt(dx * dx + dy * dy + dz * dz) < tolerance) {
            indices.push_back(static_cast<int>(i));
        }
    }
    return indices;
}

std::optional<AxisRotation> rotationFromXAxis(const Point3& direction) {
    const double length =
        std::sqrt(direction[0] * direction[0] + direction[1] * direction[1] + direction[2] * direction[2]);
    if (!std::isfinite(length) || length == 0.0) {
        return std::nullopt;
    }
    constexpr double pi = 3.14159265358979323846;
    const double cosine = std::clamp(direction[0] / length, -1.0, 1.0);
    AxisRotation rotation;
    rotation.angleDegrees = std::acos(cosine) * 180.0 / pi;
    // (1, 0, 0) x n
    rotation.axis = {0.0, -direction[2], direction[1]};
    if (rotation.axis[1] == 0.0 && rotation.axis[2] == 0.0 && cosine < 0.0) {
        rotation.axis = {0.0, 0.0, 1.0};
    }
    return rotation;
}

} // namespace orvane
