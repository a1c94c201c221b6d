// Keyboard commands of the picking style, deletion, and the RB3 disc element.

#include "geometry/CircleFace.h"
#include "interaction/MouseInteractorHighLightActor.h"
#include "model/EntityRules.h"
#include "scene/ActorNames.h"
#include "scene/PickGeometry.h"

#include <vtkArrowSource.h>
#include <vtkCellArray.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkPolyDataMapper.h>
#include <vtkRegularPolygonSource.h>
#include <vtkRenderWindowInteractor.h>
#include <vtkTextActor3D.h>
#include <vtkTextProperty.h>
#include <vtkTransform.h>

#include <charconv>
#include <cmath>
#include <iostream>
#include <sstream>

namespace orvane {

namespace {

// Removes the record named `name`, keeping the order of the others.
template <typename Record> bool removeNamed(std::vector<Record>& records, const std::string& name) {
    for (auto it = records.begin(); it != records.end(); ++it) {
        if (it->name == name) {
            records.erase(it);
            return true;
        }
    }
    return false;
}

// The integer at the start of a label such as "100.000000".
std::optional<int32_t> leadingInteger(const std::string& text) {
    int32_t value = 0;
    const char* begin = text.data();
    const char* end = text.data() + text.size();
    if (begin != end && *begin == '+') {
        ++begin;
    }
    const auto [stop, error] = std::from_chars(begin, end, value, 10);
    if (error != std::errc() || stop == begin) {
        return std::nullopt;
    }
    return value;
}

} // namespace

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
        AddForce();
    } else if (key == "t" || key == "T") {
        AddConstraint();
    } else if (key == "y" || key == "Y") {
        AddRb3Circle();
    } else if (key == "b" || key == "B") {
        pointCollectFlag = true;
    } else if (key == "u" || key == "U") {
        AddRb3Capture();
    } else if (key == "h" || key == "H") {
        beamPolyline.push_back(position);
    } else if (key == "v" || key == "V") {
        multiPointMode = !multiPointMode;
        if (!multiPointMode) {
            pickedPoints.clear();
        }
    } else if (key == "z" || key == "Z") {
        meshPoints.clear();
    } else if (key == "x" || key == "X") {
        modelActor->VisibilityOn();
        renderWindow();
        std::istringstream words(target);
        std::string letter;
        std::string group;
        int face = -1;
        if (!(words >> letter >> group >> face) || letter != "F") {
            std::cerr << "orvane: x: the target '" << target << "' is not a face\n";
        } else if (exportFaceBrep) {
            exportFaceBrep(face);
        }
    } else if (key == "l" || key == "L") {
        setFaceMode(!faceMode);
    } else if (key == "k" || key == "K") {
        // The data root has no trailing separator; the solver file goes below it.
        WritePreFiles(dataRoot + "/");
    } else if (key == "a" || key == "A") {
        AddPolylineBeam({0.0, 100.0, 10.0, 8.0, 8.0, {1.0, 1.0, 0.0}, 5.0});
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
    if (removeNamed(rb3Circles, name)) {
        std::cout << "arrowFrame delete" << std::endl;
    }
    if (removeNamed(model.forces, name)) {
        std::cout << "arrow delete" << std::endl;
    }
    removeNamed(model.constraints, name);
    if (removeNamed(model.beams, name)) {
        std::cout << "beam delete" << std::endl;
    }
    if (removeNamed(model.springs, name)) {
        std::cout << "spring delete" << std::endl;
    }
    if (removeNamed(model.connections, name)) {
        std::cout << "connect delete" << std::endl;
    }
    if (removeNamed(model.rb3Elements, name)) {
        std::cout << "rb delete" << std::endl;
    }
}

bool MouseInteractorHighLightActor::AddRb3Circle() {
    const std::optional<AxisRotation> rotation = rotationFromXAxis(direction);
    if (!rotation) {
        std::cerr << "orvane: no RB3 disc added: the direction has no length\n";
        return false;
    }
    std::optional<int32_t> id = leadingInteger(labelText);
    if (!id) {
        std::cerr << "orvane: the RB3 label '" << labelText
                  << "' does not start with an integer; its id is 0\n";
        id = 0;
    }
    const int32_t number = entityCounter;
    const std::string name = "* " + std::to_string(number);

    auto label = vtkSmartPointer<vtkTextActor3D>::New();
    label->SetInput(labelText.c_str());
    label->SetPosition(position[0], position[1], position[2]);
    label->GetTextProperty()->SetFontSize(20);
    label->GetTextProperty()->SetColor(0.0, 1.0, 0.0);
    label->GetTextProperty()->SetFontFamilyToTimes();

    auto arrowSource = vtkSmartPointer<vtkArrowSource>::New();
    arrowSource->SetTipLength(0.3);
    arrowSource->SetTipRadius(0.1);
    arrowSource->SetShaftRadius(0.05);
    auto arrowMapper = vtkSmartPointer<vtkPolyDataMapper>::New();
    arrowMapper->SetInputConnection(arrowSource->GetOutputPort());
    auto arrow = vtkSmartPointer<vtkActor>::New();
    arrow->SetMapper(arrowMapper);
    arrow->GetProperty()->SetColor(0.0, 1.0, 0.0);
    auto transform = vtkSmartPointer<vtkTransform>::New();
    transform->Translate(position.data());
    if (rotation->angleDegrees != 0.0) {
        transform->RotateWXYZ(rotation->angleDegrees, rotation->axis.data());
    }
    transform->Scale(40.0, 40.0, 40.0);
    arrow->SetUserTransform(transform);
    setActorName(arrow, name);

    auto discSource = vtkSmartPointer<vtkRegularPolygonSource>::New();
    discSource->SetNumberOfSides(50);
    discSource->SetRadius(captureRadius);
    discSource->SetCenter(position.data());
    discSource->SetNormal(direction.data());
    auto discMapper = vtkSmartPointer<vtkPolyDataMapper>::New();
    discMapper->SetInputConnection(discSource->GetOutputPort());
    auto disc = vtkSmartPointer<vtkActor>::New();
    disc->SetMapper(discMapper);
    disc->GetProperty()->SetColor(0.5, 0.0, 0.5);
    disc->GetProperty()->SetOpacity(1.0);
    setActorName(disc, name);

    writeCircleFaceBrep(rb3BrepDir + "/circle" + std::to_string(number) + ".brep", position, direction,
                        captureRadius);

    std::vector<double> captured;
    auto points = vtkSmartPointer<vtkPoints>::New();
    points->SetDataTypeToDouble();
    points->InsertNextPoint(position.data());
    auto spokes = vtkSmartPointer<vtkCellArray>::New();
    for (const GaussPoint& g : gaussPoints) {
        const double along = (position[0] - g.x) * direction[0] + (position[1] - g.y) * direction[1] +
                             (position[2] - g.z) * direction[2];
        const double distance =
            std::sqrt((position[0] - g.x) * (position[0] - g.x) + (position[1] - g.y) * (position[1] - g.y) +
                      (position[2] - g.z) * (position[2] - g.z));
        if (-5.0 < along && along < 5.0 && distance <= captureRadius) {
            captured.insert(captured.end(), {g.x, g.y, g.z});
            const vtkIdType spoke[2] = {0, points->InsertNextPoint(g.x, g.y, g.z)};
            spokes->InsertNextCell(2, spoke);
        }
    }
    auto spokeData = vtkSmartPointer<vtkPolyData>::New();
    spokeData->SetPoints(points);
    spokeData->SetLines(spokes);
    auto spokeMapper = vtkSmartPointer<vtkPolyDataMapper>::New();
    spokeMapper->SetInputData(spokeData);
    auto spokeActor = vtkSmartPointer<vtkActor>::New();
    spokeActor->SetMapper(spokeMapper);
    spokeActor->GetProperty()->SetColor(0.0, 1.0, 0.0);
    setActorName(spokeActor, name);

    renderer->AddActor(spokeActor);
    renderer->AddActor(disc);
    renderer->AddActor(label);
    renderer->AddActor(arrow);
    renderWindow();
    rb3Circles.push_back({name, target, position, direction, static_cast<double>(*id), captured});
    ++entityCounter;
    return true;
}

} // namespace orvane
