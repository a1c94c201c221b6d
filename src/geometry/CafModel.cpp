#include "geometry/CafModel.h"

#include "geometry/ShapeExporter.h"

#include <BRep_Tool.hxx>
#include <Poly_Triangulation.hxx>
#include <Standard_Failure.hxx>
#include <TopExp_Explorer.hxx>
#include <TopLoc_Location.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Face.hxx>
#include <gp_Trsf.hxx>

#include <exception>
#include <iostream>
#include <optional>

namespace orvane {

bool CafModel::WriteStl(const std::string& path, bool asciiMode, bool withPointTriangleFiles,
                        std::ostream& console, const std::atomic<bool>* stop) const {
    if (document.IsNull()) {
        std::cerr << "cannot write " << path << ": no model\n";
        return false;
    }
    try {
        return WriteShapeStl(freeShapesCompound(document), path, asciiMode, withPointTriangleFiles, console,
                             stop, true);
    } catch (const Standard_Failure& e) {
        std::cerr << "cannot write " << path << ": " << e.GetMessageString() << '\n';
    } catch (const std::exception& e) {
        std::cerr << "cannot write " << path << ": " << e.what() << '\n';
    }
    return false;
}

void CafModel::Mesh(const TopoDS_Shape& compound, const std::atomic<bool>* stop) const {
    meshShape(compound, linearDeflection, angularDeflectionDeg * 3.141592653589793 / 180.0, stop);
}

bool CafModel::WriteShapeStl(const TopoDS_Shape& compound, const std::string& path, bool asciiMode,
                             bool withPointTriangleFiles, std::ostream& console,
                             const std::atomic<bool>* stop, bool mesh) const {
    try {
        if (mesh) {
            Mesh(compound, stop);
        }
        if (stop != nullptr && *stop) {
            return false;
        }
        const bool written = writeFileReplacing(
            path,
            [&](const std::string& temporary) {
                if (const std::optional<std::string> problem =
                        writeCheckedStl(compound, temporary, asciiMode)) {
                    std::cerr << "cannot write " << path << ": " << *problem << '\n';
                    return false;
                }
                return true;
            },
            std::cerr);
        if (!written || !withPointTriangleFiles) {
            return written;
        }
        const std::string base = pointTriangleBase(path);
        console << base << std::endl;
        return WritePointTriangleFiles(base, compound, console);
    } catch (const Standard_Failure& e) {
        std::cerr << "cannot write " << path << ": " << e.GetMessageString() << '\n';
    } catch (const std::exception& e) {
        std::cerr << "cannot write " << path << ": " << e.what() << '\n';
    }
    return false;
}

bool CafModel::WritePointTriangleFiles(const std::string& base, const TopoDS_Shape& shape,
                                       std::ostream& console) {
    try {
        return writePointTriangleFiles(base, meshFaces(shape), console);
    } catch (const Standard_Failure& e) {
        std::cerr << "cannot write " << base << ".pts: " << e.GetMessageString() << '\n';
    } catch (const std::exception& e) {
        std::cerr << "cannot write " << base << ".pts: " << e.what() << '\n';
    }
    return false;
}

std::vector<MeshFace> meshFaces(const TopoDS_Shape& shape) {
    std::vector<MeshFace> faces;
    for (TopExp_Explorer explorer(shape, TopAbs_FACE); explorer.More(); explorer.Next()) {
        TopLoc_Location location;
        const Handle(Poly_Triangulation) triangulation =
            BRep_Tool::Triangulation(TopoDS::Face(explorer.Current()), location);
        MeshFace& face = faces.emplace_back();
        if (triangulation.IsNull()) {
            continue;
        }
        face.triangulated = true;
        face.reversed = explorer.Current().Orientation() == TopAbs_REVERSED;
        const gp_Trsf placement = location.Transformation();
        face.nodes.reserve(static_cast<std::size_t>(triangulation->NbNodes()));
        for (int i = 1; i <= triangulation->NbNodes(); ++i) {
            const gp_Pnt node = triangulation->Node(i).Transformed(placement);
            face.nodes.push_back({node.X(), node.Y(), node.Z()});
        }
        face.triangles.reserve(static_cast<std::size_t>(triangulation->NbTriangles()));
        for (int i = 1; i <= triangulation->NbTriangles(); ++i) {
            std::array<int, 3>& triangle = face.triangles.emplace_back();
            triangulation->Triangle(i).Get(triangle[0], triangle[1], triangle[2]);
        }
    }
    return faces;
}

} // namespace orvane
