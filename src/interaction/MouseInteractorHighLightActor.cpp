#include "interaction/MouseInteractorHighLightActor.h"

#include "geometry/CoordinateFile.h"
#include "scene/ActorNames.h"
#include "scene/Glyphs.h"

#include <BRepBuilderAPI_MakeEdge.hxx>
#include <BRepExtrema_DistShapeShape.hxx>
#include <Standard_Failure.hxx>
#include <gp_Dir.hxx>
#include <gp_Lin.hxx>
#include <gp_Pnt.hxx>

#include <vtkCamera.h>
#include <vtkCellPicker.h>
#include <vtkLineSource.h>
#include <vtkMath.h>
#include <vtkObjectFactory.h>
#include <vtkPolyDataMapper.h>
#include <vtkRenderWindow.h>
#include <vtkRenderWindowInteractor.h>
#include <vtkSphereSource.h>
#include <vtkTextActor3D.h>
#include <vtkTextProperty.h>

#include <iostream>
#include <sstream>

namespace orvane {

vtkStandardNewMacro(MouseInteractorHighLightActor)

    namespace {

    // "Position of the selected node:", GBK-encoded as the console shows it.
    const char* const selectedPositionText =
        "\xd1\xa1\xd6\xd0\xbd\xda\xb5\xe3\xb5\xc4\xce\xbb\xd6\xc3\xa3\xba";

    // "Cannot extract the number", GBK-encoded.
    const char* const cannotExtractNumberText = "\xce\xde\xb7\xa8\xcc\xe1\xc8\xa1\xca\xfd\xd7\xd6";

    constexpr double hitTolerance = 0.001;
    constexpr double highlightPointRadius = 2.0;

    void printPosition(const std::array<double, 3>& p) {
        std::cout << selectedPositionText << p[0] << ", " << p[1] << ", " << p[2] << std::endl;
    }

} // namespace

void MouseInteractorHighLightActor::renderWindow() {
    if (Interactor != nullptr && Interactor->GetRenderWindow() != nullptr) {
        Interactor->GetRenderWindow()->Render();
    }
}

void MouseInteractorHighLightActor::OnMouseMove() {
    const int* event = Interactor->GetEventPosition();
    updateHover(event[0], event[1]);
    vtkInteractorStyleTrackballCamera::OnMouseMove();
    renderWindow();
}

void MouseInteractorHighLightActor::updateHover(int x, int y) {
    auto picker = vtkSmartPointer<vtkCellPicker>::New();
    picker->Pick(x, y, 0.0, renderer);
    const bool hit = picker->GetCellId() != -1;
    if (hit) {
        picker->GetPickPosition(pickPosition.data());
    }
    double viewDirection[3];
    renderer->GetActiveCamera()->GetDirectionOfProjection(viewDirection);
    vtkMath::Normalize(viewDirection);

    if (hoverEnabled) {
        if (!faceMode) {
            hoverSolid(picker->GetActor());
        } else {
            hoverFace(viewDirection, hit);
        }
    }
}

void MouseInteractorHighLightActor::hoverSolid(vtkActor* picked) {
    if (lastPickedActor != nullptr) {
        lastPickedActor->GetProperty()->DeepCopy(savedProperty);
    }
    lastPickedActor = picked;
    if (lastPickedActor != nullptr) {
        savedProperty->DeepCopy(lastPickedActor->GetProperty());
        lastPickedActor->GetProperty()->SetColor(1.0, 0.0, 0.0);
        lastPickedActor->GetProperty()->SetDiffuse(1.0);
        lastPickedActor->GetProperty()->SetSpecular(0.0);
    }
}

void MouseInteractorHighLightActor::setFaceMode(bool on) {
    // A mode switch ends the current highlight, so neither a red solid nor a
    // green face outlives the mode that showed it.
    if (lastPickedActor != nullptr && !faceMode) {
        lastPickedActor->GetProperty()->DeepCopy(savedProperty);
    }
    for (const auto& actor : highlightedFaces) {
        actor->VisibilityOff();
    }
    highlightedFaces.clear();
    selectedShapes.clear();
    selectedFaceIds.clear();
    lastPickedActor = nullptr;
    faceMode = on;
    renderWindow();
}

void MouseInteractorHighLightActor::hoverFace(const double viewDirection[3], bool hit) {
    for (const auto& actor : highlightedFaces) {
        actor->VisibilityOff();
    }
    if (multiPointMode) {
        for (const PickedPoint& point : pickedPoints) {
            if (point.faceIndex >= 0 && static_cast<std::size_t>(point.faceIndex) < faceActors.size()) {
                faceActors[static_cast<std::size_t>(point.faceIndex)]->VisibilityOn();
            }
        }
    }
    highlightedFaces.clear();
    selectedShapes.clear();
    selectedFaceIds.clear();
    candidateFaces.clear();
    hitDistances.clear();
    // Off the model the last pick position would select the last face again.
    lastPickedActor = nullptr;
    if (!hit) {
        return;
    }

    const double x = pickPosition[0];
    const double y = pickPosition[1];
    const double z = pickPosition[2];
    // The pick lies on the single-precision STL mesh, so a plane face parallel
    // to an axis would never strictly contain it: widen each box by the hit
    // tolerance.
    const double m = hitTolerance;
    for (std::size_t i = 0; i < faceBoxes.size() && i < faces.size(); ++i) {
        const std::array<double, 6>& box = faceBoxes[i];
        if (box[0] - m < x && x < box[3] + m && box[1] - m < y && y < box[4] + m && box[2] - m < z &&
            z < box[5] + m) {
            candidateFaces.emplace(static_cast<int>(i), faces[i]);
        }
    }
    if (candidateFaces.empty()) {
        return;
    }

    const gp_Pnt origin(x, y, z);
    TopoDS_Shape ray;
    try {
        ray = BRepBuilderAPI_MakeEdge(
                  gp_Lin(origin, gp_Dir(viewDirection[0], viewDirection[1], viewDirection[2])))
                  .Edge();
    } catch (const Standard_Failure& failure) {
        std::cerr << "orvane: cannot cast the pick ray: " << failure.GetMessageString() << "\n";
        return;
    }
    for (const auto& [index, face] : candidateFaces) {
        try {
            BRepExtrema_DistShapeShape distance(ray, face);
            if (!distance.IsDone() || distance.NbSolution() < 1 || distance.Value() >= hitTolerance) {
                continue;
            }
            double nearest = 1.0e6;
            for (int s = 1; s <= distance.NbSolution(); ++s) {
                const double d = distance.PointOnShape2(s).Distance(origin);
                if (d < nearest) {
                    nearest = d;
                }
            }
            hitDistances[nearest] = index;
        } catch (const Standard_Failure& failure) {
            std::cerr << "orvane: distance to face " << index << " failed: " << failure.GetMessageString()
                      << "\n";
        }
    }
    if (hitDistances.empty()) {
        return;
    }
    const int face = hitDistances.begin()->second;
    if (static_cast<std::size_t>(face) >= faceActors.size()) {
        return;
    }
    vtkActor* actor = faceActors[static_cast<std::size_t>(face)];
    actor->VisibilityOn();
    actor->GetProperty()->SetColor(0.0, 1.0, 0.0);
    selectedShapes.push_back(faces[static_cast<std::size_t>(face)]);
    selectedFaceIds.push_back(face);
    highlightedFaces.emplace_back(actor);
    lastPickedActor = actor;
}

void MouseInteractorHighLightActor::OnLeftButtonDown() {
    StartRotate();
    vtkInteractorStyleTrackballCamera::OnLeftButtonDown();
}

void MouseInteractorHighLightActor::OnLeftButtonUp() {
    EndRotate();
    vtkInteractorStyleTrackballCamera::OnLeftButtonUp();
}

void MouseInteractorHighLightActor::OnRightButtonDown() {
    if (lastPickedActor != nullptr) {
        const double* centre = lastPickedActor->GetCenter();
        position = {centre[0], centre[1], centre[2]};
        target = actorName(lastPickedActor);
        std::cout << target << std::endl;
        printPosition(position);
        if (multiPointMode) {
            collectPickedPoint();
        }
    }
    const bool shift = Interactor != nullptr && Interactor->GetShiftKey() != 0;
    if (shift && lastPickedActor != nullptr) {
        lastPickedActor->GetProperty()->SetColor(0.5, 0.0, 0.5);
        lastPickedActor->GetProperty()->SetDiffuse(1.0);
        lastPickedActor->GetProperty()->SetSpecular(0.0);
        const double* centre = lastPickedActor->GetCenter();
        position = {centre[0], centre[1], centre[2]};
        renderWindow();
        printPosition(position);
    }
    if (shift) {
        std::cout << "!" << std::endl;
    }
}

void MouseInteractorHighLightActor::collectPickedPoint() {
    std::istringstream words(target);
    std::string letter;
    words >> letter;
    if (letter != "F") {
        // Only face targets carry the face index a picked point needs.
        return;
    }
    std::string group;
    int face = -1;
    if (!(words >> group >> face) || face < 0 || static_cast<std::size_t>(face) >= faceActors.size()) {
        std::cout << cannotExtractNumberText << std::endl;
        return;
    }
    faceActors[static_cast<std::size_t>(face)]->GetProperty()->SetColor(0.5, 0.1, 0.4);
    renderWindow();
    for (const PickedPoint& point : pickedPoints) {
        if (point.faceIndex == face) {
            return;
        }
    }
    pickedPoints.push_back({target, position, face});
}

bool MouseInteractorHighLightActor::validFace(int face, const char* command) const {
    if (face < 0 || static_cast<std::size_t>(face) >= faces.size() ||
        static_cast<std::size_t>(face) >= faceActors.size()) {
        std::cerr << "orvane: " << command << ": no face " << face << " (the model has " << faceActors.size()
                  << " face actors)\n";
        return false;
    }
    return true;
}

bool MouseInteractorHighLightActor::HighlightFace(int face) {
    if (!validFace(face, "rendererFace")) {
        return false;
    }
    for (const auto& actor : highlightedFaces) {
        actor->VisibilityOff();
    }
    highlightedFaces.clear();
    selectedShapes.clear();
    selectedFaceIds.clear();
    const auto index = static_cast<std::size_t>(face);
    selectedShapes.push_back(faces[index]);
    selectedFaceIds.push_back(face);
    vtkActor* actor = faceActors[index];
    actor->VisibilityOn();
    actor->GetProperty()->SetColor(0.0, 1.0, 0.0);
    highlightedFaces.emplace_back(actor);
    renderWindow();
    return true;
}

bool MouseInteractorHighLightActor::MarkBadFace(int face) {
    if (!validFace(face, "BadFace")) {
        return false;
    }
    vtkActor* actor = faceActors[static_cast<std::size_t>(face)];
    actor->VisibilityOn();
    actor->GetProperty()->SetColor(0.5, 0.0, 0.5);
    const double* bounds = actor->GetBounds();
    double centre[3] = {(bounds[0] + bounds[1]) / 2, (bounds[2] + bounds[3]) / 2,
                        (bounds[4] + bounds[5]) / 2};
    double far[3] = {centre[0] + 1000.0, centre[1], centre[2]};

    auto line = vtkSmartPointer<vtkLineSource>::New();
    line->SetPoint1(centre);
    line->SetPoint2(far);
    auto lineMapper = vtkSmartPointer<vtkPolyDataMapper>::New();
    lineMapper->SetInputConnection(line->GetOutputPort());
    auto lineActor = vtkSmartPointer<vtkActor>::New();
    lineActor->SetMapper(lineMapper);
    lineActor->GetProperty()->SetColor(1.0, 0.0, 0.0);
    lineActor->GetProperty()->SetLineWidth(4.0);

    auto sphere = vtkSmartPointer<vtkSphereSource>::New();
    auto sphereMapper = vtkSmartPointer<vtkPolyDataMapper>::New();
    sphereMapper->SetInputConnection(sphere->GetOutputPort());
    auto sphereActor = vtkSmartPointer<vtkActor>::New();
    sphereActor->SetMapper(sphereMapper);
    sphereActor->GetProperty()->SetColor(0.0, 1.0, 0.0);
    sphereActor->SetPosition(centre);
    sphereActor->SetScale(2.0);

    auto label = vtkSmartPointer<vtkTextActor3D>::New();
    label->SetInput("here");
    label->GetTextProperty()->SetFontSize(40);
    label->GetTextProperty()->SetColor(0.0, 1.0, 0.0);
    label->GetTextProperty()->SetFontFamilyToTimes();
    label->SetPosition(far);

    renderer->AddActor(lineActor);
    renderer->AddActor(sphereActor);
    renderer->AddActor(label);
    renderWindow();
    return true;
}

void MouseInteractorHighLightActor::HighlightPoints(const std::string& path) {
    const CoordinateRead read = readCoordinates(path);
    if (read.problem) {
        std::cerr << "orvane: HightLightPoint: point file '" << path << "': " << *read.problem << "\n";
    }
    if (std::optional<std::string> problem = overLimit(
            "the point count", static_cast<double>(read.points.size()), limits::markersPerCommand)) {
        std::cerr << "orvane: HightLightPoint: refused: " << *problem << " markers\n";
        return;
    }
    const std::vector<Point3>& points = read.points;
    for (std::size_t k = 0; k < points.size(); ++k) {
        const Point3& p = points[k];
        highlightPoints.push_back(p);
        vtkSmartPointer<vtkActor> actor = litGreenSphere(p, highlightPointRadius);
        setActorName(actor, "H 0 " + std::to_string(k));
        renderer->AddActor(actor);
        highlightPointActors.push_back(actor);
    }
    renderWindow();
}

std::string MouseInteractorHighLightActor::selectedIdsText() const {
    std::string text;
    for (const int id : selectedFaceIds) {
        text += std::to_string(id) + " ";
    }
    return text;
}

} // namespace orvane
