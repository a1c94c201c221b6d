#include "geometry/FaceBrep.h"

#include "geometry/CoordinateFile.h"
#include "geometry/MeshFiles.h"
#include "geometry/ShapeExporter.h"

#include <fstream>
#include <iostream>

namespace orvane {

bool writeFaceBrep(const TopoDS_Shape& face, const std::string& path) {
    const bool written = !face.IsNull() && writeBrepReplacing(face, path);
    if (written) {
        std::cout << "Successfully saved face to " << path << std::endl;
    } else {
        std::cerr << "Failed to save face to " << path << std::endl;
    }
    return written;
}

std::vector<GaussPoint> readGaussPoints(const std::string& path, int faceIndex) {
    if (!std::ifstream(path)) {
        std::cerr << "cannot read Gauss points from " << path << '\n';
        return {};
    }
    std::vector<GaussPoint> points;
    for (const Point3& point : readCoordinateFile(path)) {
        points.push_back({faceIndex, point[0], point[1], point[2]});
    }
    return points;
}

} // namespace orvane
