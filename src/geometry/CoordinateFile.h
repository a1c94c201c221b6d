#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

using Point3 = std::array<double, 3>;

// A whole word as a finite decimal number with a point as separator (an
// optional leading '+' allowed), whatever the process locale.
bool parseFiniteReal(std::string_view word, double& value);

// Reads a coordinate text file: decimal numbers separated by white space,
// taken three at a time as x, y, z, whatever the process locale. Reading
// stops at the first group that cannot be read completely (a word that is
// not a number, or the end of the file); a file that does not open gives no
// points.
std::vector<Point3> readCoordinateFile(const std::string& path);

} // namespace orvane
