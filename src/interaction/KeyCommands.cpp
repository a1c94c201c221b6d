// Keyboard commands of the picking style and the deletion of the entity
// under the mouse.

#include "interaction/MouseInteractorHighLightActor.h"
#include "model/Analysis.h"
#include "model/EntityEditor.h"
#include "scene/ActorNames.h"

#include <vtkRenderWindowInteractor.h>

#include <iostream>
#include <sstream>

namespace orvane {

void MouseInteractorHighLightActor::OnKeyPress() {
    if (Interactor != nullptr && Interactor->GetKeySym() != nullptr &&
        !ignoredWhileBusy(std::string("key ") + Interactor->GetKeySym())) {
        HandleKey(Interactor->GetKeySym());
    }
}

void MouseInteractorHighLightActor::OnChar() {}

void MouseInteractorHighLightActor::HandleKey(const std::string& key) {
    if (key == "Escape" || key == "q" || key == "Q") {
        DeleteSelected();
    } else if (key == "r" || key == "R") {
        entities->AddForce();
    } else if (key == "t" || key == "T") {
        entities->AddConstraint();
    } else if (key == "y" || key == "Y") {
        entities->AddRb3Circle();
    } else if (key == "b" || key == "B") {
        pointCollectFlag = true;
    } else if (key == "u" || key == "U") {
        entities->AddRb3Capture();
    } else if (key == "h" || key == "H") {
        analysis->beamPolyline.push_back(analysis->position);
    } else if (key == "v" || key == "V") {
        analysis->multiPointMode = !analysis->multiPointMode;
        if (!analysis->multiPointMode) {
            analysis->pickedPoints.clear();
        }
    } else if (key == "z" || key == "Z") {
        meshPoints.clear();
    } else if (key == "x" || key == "X") {
        modelActor->VisibilityOn();
        renderWindow();
        std::istringstream words(analysis->target);
        std::string letter;
        std::string group;
        int face = -1;
        if (!(words >> letter >> group >> face) || letter != "F") {
            std::cerr << "orvane: x: the target '" << analysis->target << "' is not a face\n";
        } else if (exportFaceBrep) {
            exportFaceBrep(face);
        }
    } else if (key == "l" || key == "L") {
        setFaceMode(!faceMode);
    } else if (key == "k" || key == "K") {
        // The data root has no trailing separator; the solver file goes below it.
        if (analysis->dataRoot.empty()) {
            std::cerr << "orvane: k: no data root yet (import a STEP model, or set "
                         "ORVANE_DEFAULT_DATA_ROOT); preFiles.txt is not written\n";
        } else {
            analysis->WritePreFiles(analysis->dataRoot + "/");
        }
    } else if (key == "a" || key == "A") {
        entities->AddPolylineBeam({0.0, 100.0, 10.0, 8.0, 8.0, {1.0, 1.0, 0.0}, 5.0});
    }
}

void MouseInteractorHighLightActor::DeleteSelected() {
    if (lastPickedActor == nullptr) {
        return;
    }
    lastPickedActor->VisibilityOff();
    renderWindow();
    const std::string name = actorName(lastPickedActor);
    std::cout << name << std::endl;
    analysis->removeEntity(name);
}

} // namespace orvane
