#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace orvane {

using Colour = std::array<double, 3>;

struct ColourStop {
    double position;
    Colour colour;
};

// Five stops over (min, max): blue, cyan, green, yellow, red.
std::array<ColourStop, 5> blueToRedRamp(double min, double max);
// The same five positions with the colours reversed: red at the minimum.
std::array<ColourStop, 5> redToBlueRamp(double min, double max);
// Blue-white-red diverging map: three stops at min, the middle and max.
std::array<ColourStop, 3> divergingRamp(double min, double max);

// Evenly spaced positions of count user colour stops over (min, max), for
// counts 2 to 5; empty for any other count.
std::vector<double> evenStopPositions(int count, double min, double max);

// The smallest and largest value and their indices; ties keep the earlier
// index. Nothing for an empty list.
struct Extremes {
    double min = 0.0;
    double max = 0.0;
    std::size_t minIndex = 0;
    std::size_t maxIndex = 0;
};
std::optional<Extremes> scanExtremes(const std::vector<double>& values);

// Splits count three-component tuples into scaled components and the scaled
// Euclidean length; every output holds count values.
template <typename Component>
void splitDisplacement(const Component* tuples, std::size_t count, double scale, double* x, double* y,
                       double* z, double* magnitude) {
    for (std::size_t i = 0; i < count; ++i) {
        const double dx = static_cast<double>(tuples[3 * i]);
        const double dy = static_cast<double>(tuples[3 * i + 1]);
        const double dz = static_cast<double>(tuples[3 * i + 2]);
        x[i] = dx * scale;
        y[i] = dy * scale;
        z[i] = dz * scale;
        magnitude[i] = std::sqrt(dx * dx + dy * dy + dz * dz) * scale;
    }
}

// Values of a grid carried to other points: target point i takes the sum of
// weights[i * width + k] times the tuple of grid point sources[i * width + k];
// a slot whose source is -1 adds nothing, so a point outside the grid takes
// zeros, as a probe gives it.
struct PointWeights {
    std::size_t width = 0;
    std::vector<std::int64_t> sources;
    std::vector<double> weights;

    std::size_t targetCount() const { return width == 0 ? 0 : sources.size() / width; }
};

// Interpolates tuples of `components` values (packed) at every target point
// into out (targetCount() * components values).
template <typename Component>
void interpolateTuples(const PointWeights& transfer, const Component* tuples, int components, double* out) {
    const auto width = static_cast<std::ptrdiff_t>(transfer.width);
    const auto targets = static_cast<std::ptrdiff_t>(transfer.targetCount());
    const auto count = static_cast<std::ptrdiff_t>(components);
    for (std::ptrdiff_t i = 0; i < targets; ++i) {
        double* value = out + i * count;
        std::fill(value, value + count, 0.0);
        for (std::ptrdiff_t k = i * width; k < (i + 1) * width; ++k) {
            const std::int64_t source = transfer.sources[static_cast<std::size_t>(k)];
            if (source < 0) {
                continue;
            }
            const double weight = transfer.weights[static_cast<std::size_t>(k)];
            const Component* tuple = tuples + source * count;
            for (std::ptrdiff_t c = 0; c < count; ++c) {
                value[c] += weight * static_cast<double>(tuple[c]);
            }
        }
    }
}

// A 64-bit fingerprint of a block of bytes: tells a grid whose points moved
// from the one a transfer was made for, at memory speed.
std::uint64_t fingerprintBytes(const void* data, std::size_t size);

// The frequency belonging to an eigenvalue: sqrt(eigenvalue) / 6.2831852.
double modeFrequency(double eigenvalue);

} // namespace orvane
