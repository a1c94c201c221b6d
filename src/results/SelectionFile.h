#pragma once

#include "geometry/CoordinateFile.h"

#include <string>
#include <vector>

namespace orvane {

// Writes the points chosen by "judge": "$ LABEL dx dy dz", then
// "# mean-x mean-y mean-z" (zeros when no point is chosen), then one
// "* ID x y z" line per point, numbers in the stream's default format.
// False with a diagnostic when the file cannot be written.
bool writeSelectionFile(const std::string& path, const std::string& label, const Point3& direction,
                        const std::vector<int>& ids, const std::vector<Point3>& points);

} // namespace orvane
