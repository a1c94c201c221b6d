#pragma once

#include "geometry/GaussPoint.h"
#include "model/AnalysisModel.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace orvane {

// What a force's six components make of the label and the arrow direction:
// the magnitude of (Fx, Fy, Fz) with six decimals, and (Fx, Fy, Fz) divided
// by it. A zero or non-finite force has no direction.
struct ForceParameters {
    std::string labelText;
    std::optional<Point3> direction;
};
ForceParameters forceParameters(const std::array<double, 6>& components);

// The Gauss points at most `radius` from `centre`, in list order, and the
// faces they lie on, each face once.
struct Capture {
    std::vector<int32_t> faceIds;
    std::vector<Point3> points;
};
Capture captureWithinRadius(const std::vector<GaussPoint>& gaussPoints, const Point3& centre, double radius);

// Indices of the points near the plane through `picked` with normal
// `normal` (-5 < (picked - p) . normal < 5) and strictly closer than `radius`.
std::vector<int> judgeSelection(const Point3& picked, const std::vector<Point3>& points, const Point3& normal,
                                double radius);

// Nodes of a straight beam: `segments` equal parts from start to end, both
// ends included; nullopt for fewer than one segment.
std::optional<std::vector<Point3>> straightBeamNodes(const Point3& start, const Point3& end, int segments);

// Nodes of a meshed beam along the first axis whose flag is 1, from `start`:
// n + 1 nodes for a whole segment count n, P0 to P0 + length. Empty for
// n <= 0 or without such a flag.
std::vector<Point3> beamMeshNodes(double segments, double length, const std::array<int, 3>& axisFlags,
                                  const Point3& start);

// `count` points from `first` towards `last`, spaced by (last - first) / divisor;
// `last` itself is never reached when count <= divisor. Empty when divisor < 1.
std::vector<Point3> spacedPoints(const Point3& first, const Point3& last, int count, int divisor);

} // namespace orvane
