#pragma once

#include "geometry/CoordinateFile.h"

#include <vtkSmartPointer.h>

class vtkActor;
class vtkPolyData;
class vtkProperty;

namespace orvane {

// The lit green material of node and point markers.
void applyLitGreen(vtkProperty* material);

// A lit green marker sphere (phi resolution 11, theta resolution 21).
vtkSmartPointer<vtkActor> litGreenSphere(const Point3& centre, double radius);

// Three cones of height 1 with their tips at the origin, pointing along +x,
// +y and +z: the glyph of fixed constraints.
vtkSmartPointer<vtkPolyData> constraintTriad();

} // namespace orvane
