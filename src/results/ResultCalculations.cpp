#include "results/ResultCalculations.h"

#include <cstring>

namespace orvane {

namespace {

constexpr std::array<Colour, 5> rampColours{{
    {0.0, 0.0, 1.0}, // blue
    {0.0, 1.0, 1.0}, // cyan
    {0.0, 1.0, 0.0}, // green
    {1.0, 1.0, 0.0}, // yellow
    {1.0, 0.0, 0.0}, // red
}};

std::array<ColourStop, 5> ramp(double min, double max, bool reversed) {
    const double span = max - min;
    std::array<ColourStop, 5> stops{};
    for (std::size_t i = 0; i < stops.size(); ++i) {
        const double position = i == 4 ? max : min + 0.25 * static_cast<double>(i) * span;
        stops[i] = {position, rampColours[reversed ? 4 - i : i]};
    }
    return stops;
}

} // namespace

std::array<ColourStop, 5> blueToRedRamp(double min, double max) {
    return ramp(min, max, false);
}

std::array<ColourStop, 5> redToBlueRamp(double min, double max) {
    return ramp(min, max, true);
}

std::array<ColourStop, 3> divergingRamp(double min, double max) {
    return {{{min, {0.231373, 0.298039, 0.752941}},
             {(min + max) * 0.5, {0.865003, 0.865003, 0.865003}},
             {max, {0.705882, 0.0156863, 0.14902}}}};
}

std::vector<double> evenStopPositions(int count, double min, double max) {
    if (count < 2 || count > 5) {
        return {};
    }
    const double span = max - min;
    std::vector<double> positions;
    for (int i = 0; i < count; ++i) {
        positions.push_back(i == count - 1 ? max : min + span * i / (count - 1));
    }
    return positions;
}

std::optional<Extremes> scanExtremes(const std::vector<double>& values) {
    if (values.empty()) {
        return std::nullopt;
    }
    Extremes extremes;
    extremes.min = extremes.max = values[0];
    for (std::size_t i = 1; i < values.size(); ++i) {
        if (values[i] > extremes.max) {
            extremes.max = values[i];
            extremes.maxIndex = i;
        }
        if (values[i] < extremes.min) {
            extremes.min = values[i];
            extremes.minIndex = i;
        }
    }
    return extremes;
}

double modeFrequency(double eigenvalue) {
    return std::sqrt(eigenvalue) / 6.2831852;
}

std::uint64_t fingerprintBytes(const void* data, std::size_t size) {
    // FNV-1a over 64-bit words in four independent lanes (a grid's
    // coordinates are tens of megabytes, and one lane waits on every
    // multiplication), then the lanes and the tail bytes: a changed byte
    // changes the result.
    constexpr std::uint64_t prime = 0x100000001b3ULL;
    std::uint64_t lanes[4] = {0xcbf29ce484222325ULL ^ size, 0x84222325cbf29ce4ULL, 0x9e3779b97f4a7c15ULL,
                              0xc2b2ae3d27d4eb4fULL};
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::size_t i = 0;
    for (; i + 32 <= size; i += 32) {
        for (int lane = 0; lane < 4; ++lane) {
            std::uint64_t word = 0;
            std::memcpy(&word, bytes + i + 8 * static_cast<std::size_t>(lane), 8);
            lanes[lane] = (lanes[lane] ^ word) * prime;
            lanes[lane] ^= lanes[lane] >> 29;
        }
    }
    std::uint64_t hash = lanes[0];
    for (int lane = 1; lane < 4; ++lane) {
        hash = (hash ^ lanes[lane]) * prime;
        hash ^= hash >> 29;
    }
    for (; i < size; ++i) {
        hash = (hash ^ bytes[i]) * prime;
    }
    return hash;
}

} // namespace orvane
