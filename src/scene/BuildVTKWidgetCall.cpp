#include "scene/BuildVTKWidgetCall.h"

#include <vtkClipClosedSurface.h>
#include <vtkPlane.h>
#include <vtkPlaneCollection.h>
#include <vtkPlaneWidget.h>
#include <vtkPolyDataMapper.h>
#include <vtkResampleWithDataSet.h>

#include <iostream>

namespace orvane {

BuildVTKWidgetCall::BuildVTKWidgetCall()
    : resultMapper(vtkSmartPointer<vtkPolyDataMapper>::New()),
      planes(vtkSmartPointer<vtkPlaneCollection>::New()),
      source(vtkSmartPointer<vtkResampleWithDataSet>::New()),
      clipper(vtkSmartPointer<vtkClipClosedSurface>::New()), clippingPlane(vtkSmartPointer<vtkPlane>::New()) {
}

BuildVTKWidgetCall::~BuildVTKWidgetCall() = default;

void BuildVTKWidgetCall::connectClipper() {
    clipper->SetInputConnection(source->GetOutputPort(0));
    clipper->SetClippingPlanes(planes);
    clipper->SetScalarModeToColors();
    // The cut body keeps the result values, interpolated where it was cut.
    clipper->SetPassPointData(1);
}

void BuildVTKWidgetCall::Execute(vtkObject* caller, unsigned long, void*) {
    auto* widget = vtkPlaneWidget::SafeDownCast(caller);
    if (widget == nullptr) {
        return;
    }
    double centre[3];
    double normal[3];
    widget->GetCenter(centre);
    widget->GetNormal(normal);
    std::cout << "Center: (" << centre[0] << ", " << centre[1] << ", " << centre[2] << ")" << std::endl;
    std::cout << "Normal: (" << normal[0] << ", " << normal[1] << ", " << normal[2] << ")" << std::endl;

    planes->RemoveAllItems();
    widget->GetPlane(clippingPlane);
    planes->AddItem(clippingPlane);
    connectClipper();
    clipper->Modified();
    resultMapper->SetInputConnection(clipper->GetOutputPort(0));
}

} // namespace orvane
