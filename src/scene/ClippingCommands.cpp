// Section clipping of the result with the plane widget.

#include "app/Orvane.h"
#include "commands/CommandTable.h"
#include "results/ResultPipeline.h"
#include "scene/SectionClipping.h"

#include <QVTKOpenGLStereoWidget.h>

#include <vtkActor.h>
#include <vtkClipClosedSurface.h>
#include <vtkPlaneWidget.h>
#include <vtkPolyData.h>
#include <vtkPolyDataMapper.h>
#include <vtkProperty.h>
#include <vtkRenderer.h>
#include <vtkResampleWithDataSet.h>
#include <vtkStructuredGrid.h>

#include <iostream>

namespace orvane {

std::vector<CommandRow> clippingCommands(Orvane* view) {
    return {
        {"cutter",
         "",
         {},
         "cutter",
         "Show a plane widget over the result; each release cuts the body and caps the cut in result colours",
         [view](const CommandArguments&) { view->cutter(); }}};
}

} // namespace orvane

void Orvane::cutter() {
    orvane::ResultPipeline& r = *results;
    if (!r.hasResult()) {
        std::cerr << "orvane: cutter: no result is loaded\n";
        return;
    }
    if (!readUnreadModeGrid("cutter")) {
        return;
    }
    orvane::SectionClipping& c = *clipping;
    vtkPlaneWidget* widget = c.planeWidget;
    widget->SetInteractor(vtkWidget->interactor());
    widget->SetInputData(r.resultSurface);
    widget->SetResolution(50);
    widget->GetPlaneProperty()->SetColor(0.2, 0.8, 0.1);
    widget->GetPlaneProperty()->SetOpacity(0.1);
    widget->GetHandleProperty()->SetColor(0.0, 0.4, 0.7);
    widget->GetHandleProperty()->SetLineWidth(1.5);
    // The plane starts across the model's z extent, facing the reset camera.
    widget->NormalToZAxisOn();
    widget->SetRepresentationToWireframe();
    widget->SetCenter(0.0, 0.0, 0.0);
    widget->SetPlaceFactor(0.4);
    widget->PlaceWidget();
    widget->On();

    orvane::BuildVTKWidgetCall& observer = *c.clipObserver;
    observer.resultMapper = r.resultMapper;
    observer.source = r.resampler;
    // Registered once: a second cutter must not cut twice per release.
    if (!c.observing) {
        widget->AddObserver(vtkCommand::EndInteractionEvent, c.clipObserver, 0.0f);
        c.observing = true;
    }
    // Until the first release the clipper passes the body through whole.
    observer.connectClipper();

    c.capResampler->SetInputConnection(observer.clipper->GetOutputPort(0));
    c.capResampler->SetSourceData(r.resultGrid);
    c.capResampler->Update();
    c.capMapper->SetInputConnection(c.capResampler->GetOutputPort(0));
    r.configureMapper(c.capMapper);
    // The caps lie on the faces of the cut body: drawn in front of them.
    c.capMapper->SetRelativeCoincidentTopologyPolygonOffsetParameters(-2.0, -2.0);
    c.capActor->SetMapper(c.capMapper);
    renderer->AddActor(c.capActor);
}
