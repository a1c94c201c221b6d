#pragma once

#include <vtkSmartPointer.h>

#include <array>
#include <string>

class vtkActor;
class vtkArrowSource;
class vtkGlyph3D;
class vtkPoints;
class vtkPolyData;
class vtkPolyDataMapper;
class vtkProperty;
class vtkTextActor3D;
class vtkTextProperty;
class vtkTransform;
class vtkTransformFilter;

namespace orvane {

struct AxisRotation;

// The magenta arrow and red label that `arrow` puts at the last picked
// point: one set of objects, moved by every `arrow`. The beam load markers
// draw the same arrow source, and `judge` reads the direction; both record
// their direction and label here as `arrow` does.
struct PickedPointArrow {
    PickedPointArrow();
    ~PickedPointArrow();
    PickedPointArrow(const PickedPointArrow&) = delete;
    PickedPointArrow& operator=(const PickedPointArrow&) = delete;

    // Shapes the arrow source's tip as the markers draw it and feeds the
    // source, turned by `rotation`, through the transform and the filter.
    void turnSource(vtkTransform* transform, vtkTransformFilter* filter, const AxisRotation& rotation);

    vtkSmartPointer<vtkArrowSource> source;
    vtkSmartPointer<vtkProperty> property;
    vtkSmartPointer<vtkPolyDataMapper> mapper;
    vtkSmartPointer<vtkActor> actor;
    vtkSmartPointer<vtkGlyph3D> glyph;
    // The one picked point the glyph stands on.
    vtkSmartPointer<vtkPoints> points;
    vtkSmartPointer<vtkPolyData> polyData;
    vtkSmartPointer<vtkTextProperty> textProperty;
    vtkSmartPointer<vtkTextActor3D> labelActor;

    std::array<double, 3> direction{0.0, 0.0, 1.0};
    std::string label;
};

} // namespace orvane
