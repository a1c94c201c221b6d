#include "geometry/ShapePolyData.h"

#include <BRep_Tool.hxx>
#include <Poly_Triangulation.hxx>
#include <TopExp_Explorer.hxx>
#include <TopLoc_Location.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Iterator.hxx>
#include <gp_Trsf.hxx>

#include <vtkCellArray.h>
#include <vtkCellData.h>
#include <vtkIntArray.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>

#include <functional>

namespace orvane {

namespace {

// Appends the face's triangles; returns how many it added.
vtkIdType appendFace(const TopoDS_Face& face, vtkPoints* points, vtkCellArray* triangles) {
    TopLoc_Location location;
    const Handle(Poly_Triangulation) triangulation = BRep_Tool::Triangulation(face, location);
    if (triangulation.IsNull()) {
        return 0;
    }
    const vtkIdType first = points->GetNumberOfPoints();
    const gp_Trsf placement = location.Transformation();
    for (int i = 1; i <= triangulation->NbNodes(); ++i) {
        const gp_Pnt node = triangulation->Node(i).Transformed(placement);
        points->InsertNextPoint(node.X(), node.Y(), node.Z());
    }
    const bool reversed = face.Orientation() == TopAbs_REVERSED;
    for (int i = 1; i <= triangulation->NbTriangles(); ++i) {
        int a = 0;
        int b = 0;
        int c = 0;
        triangulation->Triangle(i).Get(a, b, c);
        if (reversed) {
            std::swap(b, c);
        }
        const vtkIdType corners[3] = {first + a - 1, first + b - 1, first + c - 1};
        triangles->InsertNextCell(3, corners);
    }
    return triangulation->NbTriangles();
}

vtkSmartPointer<vtkPolyData> polyData(vtkPoints* points, vtkCellArray* triangles) {
    auto data = vtkSmartPointer<vtkPolyData>::New();
    points->Squeeze();
    triangles->Squeeze();
    data->SetPoints(points);
    data->SetPolys(triangles);
    return data;
}

} // namespace

vtkSmartPointer<vtkPolyData> triangulationPolyData(const TopoDS_Shape& shape) {
    auto points = vtkSmartPointer<vtkPoints>::New();
    auto triangles = vtkSmartPointer<vtkCellArray>::New();
    for (TopExp_Explorer face(shape, TopAbs_FACE); face.More(); face.Next()) {
        appendFace(TopoDS::Face(face.Current()), points, triangles);
    }
    return polyData(points, triangles);
}

std::vector<int> solidOfEachFace(const TopoDS_Shape& shape) {
    // Both explorations walk the shape depth first in iterator order, so one
    // walk numbers the solids and the faces alike.
    std::vector<int> solids;
    int solidCount = 0;
    const std::function<void(const TopoDS_Shape&, int)> walk = [&](const TopoDS_Shape& node, int solid) {
        if (node.ShapeType() == TopAbs_FACE) {
            solids.push_back(solid);
            return;
        }
        if (node.ShapeType() == TopAbs_SOLID) {
            solid = solidCount++;
        }
        if (node.ShapeType() > TopAbs_FACE) {
            return;
        }
        for (TopoDS_Iterator child(node); child.More(); child.Next()) {
            walk(child.Value(), solid);
        }
    };
    if (!shape.IsNull()) {
        walk(shape, -1);
    }
    return solids;
}

vtkSmartPointer<vtkPolyData> faceIndexedPolyData(const std::vector<TopoDS_Face>& faces,
                                                 const std::vector<int>& faceSolids) {
    auto points = vtkSmartPointer<vtkPoints>::New();
    auto triangles = vtkSmartPointer<vtkCellArray>::New();
    auto faceOfTriangle = vtkSmartPointer<vtkIntArray>::New();
    faceOfTriangle->SetName("face");
    auto solidOfTriangle = vtkSmartPointer<vtkIntArray>::New();
    solidOfTriangle->SetName("solid");
    for (std::size_t i = 0; i < faces.size(); ++i) {
        const vtkIdType added = appendFace(faces[i], points, triangles);
        const int solid = i < faceSolids.size() ? faceSolids[i] : -1;
        for (vtkIdType t = 0; t < added; ++t) {
            faceOfTriangle->InsertNextValue(static_cast<int>(i));
            solidOfTriangle->InsertNextValue(solid);
        }
    }
    vtkSmartPointer<vtkPolyData> data = polyData(points, triangles);
    data->GetCellData()->AddArray(faceOfTriangle);
    data->GetCellData()->AddArray(solidOfTriangle);
    return data;
}

} // namespace orvane
