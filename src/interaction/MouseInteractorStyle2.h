#pragma once

#include <vtkActor.h>
#include <vtkInteractorStyleTrackballCamera.h>
#include <vtkSmartPointer.h>

namespace orvane {

// Camera style that drags the actor under the mouse with the left button.
class MouseInteractorStyle2 : public vtkInteractorStyleTrackballCamera {
public:
    static MouseInteractorStyle2* New();
    vtkTypeMacro(MouseInteractorStyle2, vtkInteractorStyleTrackballCamera)

    void OnLeftButtonDown() override;
    void OnMouseMove() override;
    void OnLeftButtonUp() override;

    vtkSmartPointer<vtkActor> pickedActor;
    bool dragging = false;

protected:
    MouseInteractorStyle2() = default;
};

} // namespace orvane
