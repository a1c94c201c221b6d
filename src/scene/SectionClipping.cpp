#include "scene/SectionClipping.h"

#include <vtkActor.h>
#include <vtkPlaneWidget.h>
#include <vtkPolyDataMapper.h>
#include <vtkResampleWithDataSet.h>

namespace orvane {

SectionClipping::SectionClipping()
    : planeWidget(vtkSmartPointer<vtkPlaneWidget>::New()),
      clipObserver(vtkSmartPointer<BuildVTKWidgetCall>::New()),
      capResampler(vtkSmartPointer<vtkResampleWithDataSet>::New()),
      capMapper(vtkSmartPointer<vtkPolyDataMapper>::New()), capActor(vtkSmartPointer<vtkActor>::New()) {}

SectionClipping::~SectionClipping() {
    planeWidget->SetEnabled(0);
}

} // namespace orvane
