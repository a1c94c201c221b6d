// orvane-gauss-points FACE.brep OUT.txt
//
// Meshes the faces of a BRep file and writes the Gauss integration points of
// every triangle (3-point rule, exact for quadratics) as "x y z" lines.

#include "geometry/MeshFiles.h"
#include "geometry/ShapeExporter.h"

#include <BRepTools.hxx>
#include <BRep_Builder.hxx>
#include <BRep_Tool.hxx>
#include <Poly_Triangulation.hxx>
#include <Standard_Failure.hxx>
#include <TopExp_Explorer.hxx>
#include <TopLoc_Location.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Shape.hxx>
#include <gp_Trsf.hxx>

#include <array>
#include <exception>
#include <fstream>
#include <iostream>
#include <locale>
#include <string>
#include <vector>

namespace {

constexpr double kLinearDeflection = 0.2;
constexpr double kAngularDeflection = 20.0 * 3.141592653589793 / 180.0;

// Barycentric coordinates of the three points; each carries weight 1/3.
constexpr std::array<std::array<double, 3>, 3> kRule{{
    {2.0 / 3.0, 1.0 / 6.0, 1.0 / 6.0},
    {1.0 / 6.0, 2.0 / 3.0, 1.0 / 6.0},
    {1.0 / 6.0, 1.0 / 6.0, 2.0 / 3.0},
}};

struct Points {
    std::vector<orvane::Point3> points;
    int faces = 0;
};

Points gaussPoints(const TopoDS_Shape& shape) {
    Points result;
    for (TopExp_Explorer explorer(shape, TopAbs_FACE); explorer.More(); explorer.Next()) {
        ++result.faces;
        TopLoc_Location location;
        const Handle(Poly_Triangulation) triangulation =
            BRep_Tool::Triangulation(TopoDS::Face(explorer.Current()), location);
        if (triangulation.IsNull()) {
            std::cerr << "face " << result.faces << " could not be meshed; it has no points\n";
            continue;
        }
        const gp_Trsf placement = location.Transformation();
        for (int t = 1; t <= triangulation->NbTriangles(); ++t) {
            int a = 0;
            int b = 0;
            int c = 0;
            triangulation->Triangle(t).Get(a, b, c);
            const std::array<gp_Pnt, 3> corners{triangulation->Node(a).Transformed(placement),
                                                triangulation->Node(b).Transformed(placement),
                                                triangulation->Node(c).Transformed(placement)};
            for (const std::array<double, 3>& weights : kRule) {
                orvane::Point3 point{};
                for (std::size_t k = 0; k < 3; ++k) {
                    point[0] += weights[k] * corners[k].X();
                    point[1] += weights[k] * corners[k].Y();
                    point[2] += weights[k] * corners[k].Z();
                }
                result.points.push_back(point);
            }
        }
    }
    return result;
}

bool writePoints(const std::vector<orvane::Point3>& points, const std::string& path) {
    return orvane::writeFileReplacing(
        path,
        [&](const std::string& temporary) {
            std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
            out.imbue(std::locale::classic());
            out.precision(17);
            for (const orvane::Point3& point : points) {
                out << point[0] << ' ' << point[1] << ' ' << point[2] << '\n';
            }
            out.close();
            if (!out) {
                std::cerr << "cannot write " << path << '\n';
                return false;
            }
            return true;
        },
        std::cerr);
}

int run(const std::string& brepPath, const std::string& outPath) {
    TopoDS_Shape shape;
    BRep_Builder builder;
    if (!BRepTools::Read(shape, brepPath.c_str(), builder) || shape.IsNull()) {
        std::cerr << "cannot read BRep file " << brepPath << '\n';
        return 1;
    }
    orvane::meshShape(shape, kLinearDeflection, kAngularDeflection);
    const Points result = gaussPoints(shape);
    if (result.faces == 0) {
        std::cerr << "no face in " << brepPath << '\n';
        return 1;
    }
    if (!writePoints(result.points, outPath)) {
        return 1;
    }
    std::cout << result.points.size() << " Gauss points written to " << outPath << '\n';
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: orvane-gauss-points FACE.brep OUT.txt\n";
        return 2;
    }
    try {
        return run(argv[1], argv[2]);
    } catch (const Standard_Failure& e) {
        std::cerr << "cannot read BRep file " << argv[1] << ": " << e.GetMessageString() << '\n';
    } catch (const std::exception& e) {
        std::cerr << "cannot compute Gauss points of " << argv[1] << ": " << e.what() << '\n';
    }
    return 1;
}
