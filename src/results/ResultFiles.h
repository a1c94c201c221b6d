#pragma once

#include "geometry/CoordinateFile.h"

#include <array>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace orvane {

// Eigenvalue text: a line holding ":" carries one value, read from the text
// after the first ":" as a stream extracts a double (leading blanks skipped,
// trailing text ignored). Lines without ":" are skipped.
struct EigenvalueText {
    std::vector<double> values;
    // The text after the colon of every line whose value does not parse,
    // leading blanks included.
    std::vector<std::string> unparsed;
};
EigenvalueText parseEigenvalueText(std::istream& text);

// A line mesh: "$Points" sections of "x y z" lines and "$line" sections of
// "i j" lines (0-based point numbers), in either order. A section runs up to
// the first empty line or line starting with "$"; lines of a section that do
// not start with the expected numbers are skipped, and so are lines naming a
// point that the file does not have (counted in invalidLines).
struct LineMesh {
    std::vector<Point3> points;
    std::vector<std::array<std::int64_t, 2>> lines;
    int invalidLines = 0;
};
LineMesh parseLineMesh(std::istream& text);

// The stress index file: one decimal number per line whose integer part is a
// point number. Lines that are not a number are counted and skipped.
struct StressIndex {
    std::vector<std::int64_t> points;
    int skippedLines = 0;
};
StressIndex parseStressIndex(std::istream& text);

// Whitespace-separated decimal numbers up to the first word that is not one.
std::vector<double> parseNumbers(std::istream& text);

// Per-point stress: value k goes to point index.points[k]. Points that get no
// value hold 0. An index outside the point count or outside the index list, and
// values without an index line, are skipped and counted.
struct StressField {
    std::vector<double> values;
    int skippedIndices = 0;
    int surplusValues = 0;
};
StressField assignStressValues(const std::vector<std::int64_t>& index, const std::vector<double>& values,
                               std::size_t pointCount);

// Triangles of a ".tri" list (point numbers counted from 1) as 0-based triples;
// a triple naming a point outside 1..pointCount is skipped and counted.
struct TriangleList {
    std::vector<std::array<std::int64_t, 3>> triangles;
    int skipped = 0;
};
TriangleList trianglesFromOneBased(const std::vector<double>& numbers, std::size_t pointCount);

// A structured grid whose whole extent (imin imax jmin jmax kmin kmax) is
// empty or holds more than maxPoints points.
std::optional<std::string> gridExtentProblem(const std::array<long long, 6>& extent, double maxPoints);

// True for a regular file (or a link to one); a directory, FIFO or device
// would block or never end when read as a table.
bool isRegularFile(const std::string& path);

} // namespace orvane
