#pragma once

#include "scene/BuildVTKWidgetCall.h"

#include <vtkSmartPointer.h>

class vtkActor;
class vtkPlaneWidget;
class vtkPolyDataMapper;
class vtkResampleWithDataSet;

namespace orvane {

// Section clipping of the result: the plane widget, its observer that cuts
// the result body, and the cut body coloured with the values of the result
// grid, which shows the caps in the result's colours.
struct SectionClipping {
    SectionClipping();
    ~SectionClipping();
    SectionClipping(const SectionClipping&) = delete;
    SectionClipping& operator=(const SectionClipping&) = delete;

    vtkSmartPointer<vtkPlaneWidget> planeWidget;
    vtkSmartPointer<BuildVTKWidgetCall> clipObserver;
    // The observer is registered once, by the first cutter.
    bool observing = false;
    vtkSmartPointer<vtkResampleWithDataSet> capResampler;
    vtkSmartPointer<vtkPolyDataMapper> capMapper;
    vtkSmartPointer<vtkActor> capActor;
};

} // namespace orvane
