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

// For every face of the shape, in exploration order, the index of the solid
// that holds it in a solid exploration of the shape, or -1 for a face of no
// solid.
std::vector<int> solidOfEachFace(const TopoDS_Shape& shape);

// The triangles of every face in one polydata whose cell arrays "face" and
// "solid" hold the index of the face in `faces` and faceSolids[face].
vtkSmartPointer<vtkPolyData> faceIndexedPolyData(const std::vector<TopoDS_Face>& faces,
                                                 const std::vector<int>& faceSolids);

} // namespace orvane
