#pragma once

#include <array>
#include <cmath>
#include <cstddef>
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

// The frequency belonging to an eigenvalue: sqrt(eigenvalue) / 6.2831852.
double modeFrequency(double eigenvalue);

} // namespace orvane
