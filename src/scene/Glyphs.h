#pragma once

#include "geometry/CoordinateFile.h"

#include <vtkSmartPointer.h>

#include <string>
#include <vector>

class vtkActor;
class vtkPoints;
class vtkPolyData;
class vtkProperty;
class vtkTextActor3D;
class vtkTextProperty;

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

// Where a marker glyph stands, with its label: the label actor shows the text
// in red Times at the font size at position, and polyData holds position as
// its only point (points is emptied first and keeps its data type).
void placeLabelledPoint(const Point3& position, const std::string& label, int fontSize,
                        vtkTextProperty* textProperty, vtkTextActor3D* labelActor, vtkPoints* points,
                        vtkPolyData* polyData);

} // namespace orvane
