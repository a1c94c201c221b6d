#pragma once

#include <TopoDS_Face.hxx>
#include <TopoDS_Shape.hxx>
#include <vtkSmartPointer.h>

#include <vector>

class vtkPolyData;

namespace orvane {

// The stored triangulations of the shape's faces as one polydata laid out as
// the STL writer writes them: faces in exploration order, nodes placed by the
// face location, the triangles of reversed faces turned. Faces without a
// triangulation add nothing.
vtkSmartPointer<vtkPolyData> triangulationPolyData(const TopoDS_Shape& shape);

// The triangles of every face in one polydata whose cell array "face" holds
// the index of the face in `faces`.
vtkSmartPointer<vtkPolyData> faceIndexedPolyData(const std::vector<TopoDS_Face>& faces);

} // namespace orvane
