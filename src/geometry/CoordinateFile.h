#pragma once

#include "commands/InputLimits.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

using Point3 = std::array<double, 3>;

// A whole word as a finite decimal number with a point as separator (an
// optional leading '+' allowed), whatever the process locale.
bool parseFiniteReal(std::string_view word, double& value);

// The outcome of reading a coordinate file.
struct CoordinateRead {
    std::vector<Point3> points;
    // Why the read gave nothing or stopped early, for a diagnostic; nullopt
    // for a file read to its end.
    std::optional<std::string> problem;
    // The file does not exist (problem says so too).
    bool missing = false;
};

// Reads a coordinate text file: decimal numbers separated by white space,
// taken three at a time as x, y, z, whatever the process locale. Reading
// stops at the first group that cannot be read completely (a word that is
// not a number, or the end of the file). A path that is not a regular file
// is not opened; a file of more than maxPoints points gives no points. Every
// case but a complete read of at least one point sets problem.
CoordinateRead readCoordinates(const std::string& path, std::size_t maxPoints = limits::pointFilePoints);

// The points of readCoordinates, without the problem.
std::vector<Point3> readCoordinateFile(const std::string& path);

} // namespace orvane
