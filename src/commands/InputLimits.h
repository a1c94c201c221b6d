#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orvane {

// Bounds on the sizes that one command word sets. Each is far above any real
// model; a command beyond one is refused with a diagnostic naming the limit,
// everything below it behaves as before. The README lists them.
namespace limits {

// Marker actors (spheres) added by one command: addLinePoints, addLinePoints2,
// beamHightLight (nodes of the beam) and HightLightPoint (points of the file).
// The renderer adds actors one by one at a cost that grows with its count,
// and every later render draws each of them.
constexpr double markersPerCommand = 1000;
// Segments of one beamMesh node list; showBeam replies once per node.
constexpr double beamMeshSegments = 100000;
// Points read from one point or coordinate file.
constexpr std::size_t pointFilePoints = 5000000;
// A word of a coordinate file longer than this is no number.
constexpr std::size_t coordinateWordLength = 1024;
// Font size of a text mark, and font size squared times characters (the
// text is rendered into an image of about that many pixels).
constexpr double fontSize = 1000;
constexpr double textPixels = 25000000;
// Sphere cuts: radius, and distance of the centre from the centre of the
// model's bounding box, in multiples of the box diagonal.
constexpr double cutScale = 1000;
// Bracket nesting of a STEP file; the parser recurses once per level.
constexpr int stepNestingDepth = 1000;
// Points of one result grid, as its header declares them: the loader holds
// several arrays per point besides the grid itself.
constexpr double resultGridPoints = 100000000;
// Bytes of one result grid or series frame: the file is copied whole into
// memory before it is checked and read, and the largest grid above takes
// a few gigabytes written as text.
constexpr std::uint64_t resultFileBytes = 16ULL << 30;
// Time a STEP read (parse and transfer into shapes) may take: a hostile
// file can make the transfer's shape healing run for hours. Generous for a
// real model of that size on a slow machine.
constexpr double stepReadBaseSeconds = 30;
constexpr double stepReadSecondsPerMegabyte = 60;
// Commands longer than this (in bytes) are dropped unread.
constexpr std::size_t commandBytes = 1 << 20;

} // namespace limits

// "WHAT VALUE is above the limit of LIMIT" when value > limit, else nullopt.
std::optional<std::string> overLimit(std::string_view what, double value, double limit);

// A text mark whose font size is outside 1 to limits::fontSize, or whose
// rendered image would exceed limits::textPixels.
std::optional<std::string> textMarkProblem(double fontSize, std::size_t characters);

// A sphere cut far outside the scale of the model whose bounding box is
// box (xmin ymin zmin xmax ymax zmax): a radius above limits::cutScale box
// diagonals, or a centre farther than that from the centre of the box
// (a diagonal below 1 counts as 1).
std::optional<std::string> sphereCutProblem(const std::array<double, 6>& box,
                                            const std::array<double, 3>& centre, double radius);

} // namespace orvane
