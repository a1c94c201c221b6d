#pragma once

#include "geometry/CoordinateFile.h"

#include <vtkSmartPointer.h>

#include <vector>

class vtkActor;
class vtkPolyData;
class vtkProperty;

namespace orvane {

// The lit green material of node and point markers.
void applyLitGreen(vtkProperty* material);

// A lit green marker sphere (phi resolution 11, theta resolution 21).
vtkSmartPointer<vtkActor> litGreenSphere(const Point3& centre, double radius);

// A polyline through the nodes in order, as one actor of the colour (the
// line of a beam or a two-point element).
vtkSmartPointer<vtkActor> polylineActor(const std::vector<Point3>& nodes, const Point3& colour);

// A spoke from the centre to each end, as one actor of the colour (what
// links a picked point to the points it captured or connects).
vtkSmartPointer<vtkActor> spokesActor(const Point3& centre, const std::vector<Point3>& ends,
                                      const Point3& colour);

// Three cones of height 1 with their tips at the origin, pointing along +x,
// +y and +z: the glyph of fixed constraints.
vtkSmartPointer<vtkPolyData> constraintTriad();

} // namespace orvane
