#pragma once

#include <vtkCommand.h>
#include <vtkSmartPointer.h>

class vtkClipClosedSurface;
class vtkPlane;
class vtkPlaneCollection;
class vtkPolyDataMapper;
class vtkResampleWithDataSet;

namespace orvane {

// Observes the plane widget's end of interaction: prints the plane and cuts
// the result body by it, closing the cut with cap faces. The result display
// then shows the cut body.
class BuildVTKWidgetCall : public vtkCommand {
public:
    static BuildVTKWidgetCall* New() { return new BuildVTKWidgetCall; }
    ~BuildVTKWidgetCall() override;

    void Execute(vtkObject* caller, unsigned long eventId, void* callData) override;

    // Feeds the clipper with the result surface and the current plane (none
    // before the first cut, which leaves the body whole).
    void connectClipper();

    // Receives the cut body.
    vtkSmartPointer<vtkPolyDataMapper> resultMapper;
    // Holds exactly the current clipping plane once the widget was released.
    vtkSmartPointer<vtkPlaneCollection> planes;
    // The result surface carrying the result's point data.
    vtkSmartPointer<vtkResampleWithDataSet> source;
    vtkSmartPointer<vtkClipClosedSurface> clipper;
    // Copy of the widget's plane.
    vtkSmartPointer<vtkPlane> clippingPlane;

private:
    BuildVTKWidgetCall();
};

} // namespace orvane
