#pragma once

#include "geometry/CoordinateFile.h"
#include "geometry/GaussPoint.h"

#include <vector>

namespace orvane {

// The points the view works with beside the imported model: the known
// points of the point files and of the Gauss-point files, the points that
// "judge" chose and the radius it chose them within, and the beam nodes
// that "beamMesh" made, all of them and in groups.
struct PointLists {
    std::vector<Point3> pointCoords;
    std::vector<GaussPoint> filePoints;
    std::vector<int> selectedPointIndices;
    std::vector<Point3> selectedPointCoords;
    double sphereRadius = 30.0;
    std::vector<Point3> beamPoints;
    std::vector<std::vector<Point3>> beamPointGroups;
};

} // namespace orvane
