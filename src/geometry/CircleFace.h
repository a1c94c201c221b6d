#pragma once

#include "geometry/CoordinateFile.h"

#include <string>

namespace orvane {

// Writes a planar disc (centre, normal, radius) as a B-rep face. Prints
// "Failed to create face!" on standard error and writes nothing when the
// face cannot be built (zero normal, radius not positive, a coordinate that
// is not finite or beyond the modelling range).
bool writeCircleFaceBrep(const std::string& path, const Point3& centre, const Point3& normal, double radius);

} // namespace orvane
