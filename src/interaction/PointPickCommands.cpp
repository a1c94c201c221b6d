// Attaching and detaching the point picker.

#include "app/Orvane.h"
#include "commands/CommandTable.h"
#include "interaction/PointPickerCallback.h"

#include <QVTKOpenGLStereoWidget.h>

#include <vtkCommand.h>
#include <vtkPointPicker.h>
#include <vtkRenderWindowInteractor.h>

namespace orvane {

std::vector<CommandRow> pointPickCommands(Orvane* view) {
    return {
        {"arrowOpen",
         "",
         {},
         "arrowOpen",
         "Start point picking: a click picks the nearest shown point",
         [view](const CommandArguments&) { view->arrowOpen(); }},
        {"arrowClose",
         "",
         {},
         "arrowClose",
         "Stop point picking",
         [view](const CommandArguments&) { view->arrowClose(); }},
    };
}

} // namespace orvane

void Orvane::arrowOpen() {
    vtkRenderWindowInteractor* interactor = vtkWidget->interactor();
    interactor->SetPicker(pointPicker);
    interactor->AddObserver(vtkCommand::LeftButtonPressEvent, pointPickerCallback, 0.0);
    // The Qt event loop already drives this interactor: starting its own
    // loop here would block the command that asked for it.
    if (interactor->GetInitialized() == 0) {
        interactor->Initialize();
    }
}

void Orvane::arrowClose() {
    vtkWidget->interactor()->RemoveObserver(pointPickerCallback);
}
