#include "geometry/FaceBrep.h"

#include "geometry/CoordinateFile.h"
#include "geometry/MeshFiles.h"
#include "geometry/ShapeExporter.h"

#include <Standard_Failure.hxx>

#include <fstream>
#include <iostream>
#include <optional>

namespace orvane {

bool writeFaceBrep(const TopoDS_Shape& face, const std::string& path) {
    bool written = false;
    if (!face.IsNull()) {
        try {
            written = writeFileReplacing(
                path,
                [&](const std::string& temporary) {
                    if (const std::optional<std::string> problem = writeCheckedBrep(face, temporary)) {
                        std::cerr << "cannot write " << path << ": " << *problem << '\n';
                        return false;
                    }
                    return true;
                },
                std::cerr);
        } catch (const Standard_Failure& e) {
            std::cerr << "cannot write " << path << ": " << e.GetMessageString() << '\n';
        }
    }
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
