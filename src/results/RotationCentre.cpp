// The point the camera turns about, and its marker.

#include "app/Orvane.h"
#include "commands/CommandTable.h"
#include "scene/ActorNames.h"
#include "scene/Glyphs.h"

#include <QVTKOpenGLStereoWidget.h>

#include <vtkActor.h>
#include <vtkCamera.h>
#include <vtkPolyDataMapper.h>
#include <vtkProperty.h>
#include <vtkRenderWindow.h>
#include <vtkRenderer.h>
#include <vtkRendererCollection.h>
#include <vtkSphereSource.h>

namespace orvane {

std::vector<CommandRow> rotationCentreCommands(Orvane* view) {
    constexpr ArgKind real = ArgKind::Real;
    return {
        {"roratePosition",
         "",
         {real, real, real},
         "roratePosition X Y Z",
         "Move the camera focal point to a position and mark it",
         [view](const CommandArguments& a) {
             view->roratePosition({a.real(1), a.real(2), a.real(3)});
         }},
    };
}

} // namespace orvane

void Orvane::roratePosition(const orvane::Point3& position) {
    vtkRenderer* firstRenderer = vtkWidget->renderWindow()->GetRenderers()->GetFirstRenderer();
    if (firstRenderer == nullptr) {
        firstRenderer = renderer;
    }
    firstRenderer->GetActiveCamera()->SetFocalPoint(position.data());

    rotationMarkerSource->SetRadius(10.0);
    rotationMarkerSource->SetCenter(position.data());
    rotationMarkerSource->SetThetaResolution(21);
    rotationMarkerSource->SetPhiResolution(11);
    rotationMarkerMapper->SetInputConnection(rotationMarkerSource->GetOutputPort(0));
    rotationMarkerActor->SetMapper(rotationMarkerMapper);

    orvane::applyLitGreen(rotationMarkerActor->GetProperty());
    orvane::setActorName(rotationMarkerActor, "R 0 0");

    firstRenderer->AddActor(rotationMarkerActor);
}
