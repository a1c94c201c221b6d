#include "interaction/MouseInteractorStyle2.h"

#include <vtkMatrix4x4.h>
#include <vtkObjectFactory.h>
#include <vtkPropPicker.h>
#include <vtkRenderWindowInteractor.h>
#include <vtkRenderer.h>
#include <vtkTransform.h>

#include <iostream>

namespace orvane {

vtkStandardNewMacro(MouseInteractorStyle2);

void MouseInteractorStyle2::OnLeftButtonDown() {
    const int* event = Interactor->GetEventPosition();
    // The display and world conversions of the drag work in the current renderer.
    FindPokedRenderer(event[0], event[1]);
    auto picker = vtkSmartPointer<vtkPropPicker>::New();
    if (GetDefaultRenderer() != nullptr) {
        picker->Pick(event[0], event[1], 0.0, GetDefaultRenderer());
    }
    double position[3];
    picker->GetPickPosition(position);
    vtkActor* actor = picker->GetActor();
    std::cout << "Pick position (world coordinates) is: " << position[0] << " " << position[1] << " "
              << position[2] << "\n"
              << "Picked actor: " << static_cast<const void*>(actor) << std::endl;
    if (actor == nullptr) {
        vtkInteractorStyleTrackballCamera::OnLeftButtonDown();
        return;
    }
    pickedActor = actor;
    dragging = true;
}

void MouseInteractorStyle2::OnMouseMove() {
    if (!pickedActor) {
        return;
    }
    if (dragging && CurrentRenderer != nullptr) {
        const double* centre = pickedActor->GetCenter();
        double display[3];
        ComputeWorldToDisplay(centre[0], centre[1], centre[2], display);
        const int* now = Interactor->GetEventPosition();
        const int* before = Interactor->GetLastEventPosition();
        double worldNow[4];
        double worldBefore[4];
        ComputeDisplayToWorld(now[0], now[1], display[2], worldNow);
        ComputeDisplayToWorld(before[0], before[1], display[2], worldBefore);
        double motion[3] = {worldNow[0] - worldBefore[0], worldNow[1] - worldBefore[1],
                            worldNow[2] - worldBefore[2]};
        if (pickedActor->GetUserMatrix() == nullptr) {
            pickedActor->AddPosition(motion);
        } else {
            auto translation = vtkSmartPointer<vtkTransform>::New();
            translation->PostMultiply();
            translation->SetMatrix(pickedActor->GetUserMatrix());
            translation->Translate(motion);
            pickedActor->GetUserMatrix()->DeepCopy(translation->GetMatrix());
        }
        Interactor->Render();
    }
    vtkInteractorStyleTrackballCamera::OnMouseMove();
}

void MouseInteractorStyle2::OnLeftButtonUp() {
    dragging = false;
    vtkInteractorStyleTrackballCamera::OnLeftButtonUp();
}

} // namespace orvane
