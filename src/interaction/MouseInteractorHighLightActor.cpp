#include "interaction/MouseInteractorHighLightActor.h"

#include "geometry/CoordinateFile.h"
#include "model/Analysis.h"
#include "scene/ActorNames.h"
#include "scene/Glyphs.h"
#include "scene/PickGeometry.h"

#include <BRepBuilderAPI_MakeEdge.hxx>
#include <BRepExtrema_DistShapeShape.hxx>
#include <Standard_Failure.hxx>
#include <TopoDS_Edge.hxx>
#include <gp_Dir.hxx>
#include <gp_Lin.hxx>
#include <gp_Pnt.hxx>

#include <vtkCamera.h>
#include <vtkCellData.h>
#include <vtkCellPicker.h>
#include <vtkIdList.h>
#include <vtkIntArray.h>
#include <vtkLineSource.h>
#include <vtkMath.h>
#include <vtkObjectFactory.h>
#include <vtkPoints.h>
#include <vtkPolyDataMapper.h>
#include <vtkPropCollection.h>
#include <vtkRenderWindow.h>
#include <vtkRenderWindowInteractor.h>
#include <vtkSphereSource.h>
#include <vtkTextActor3D.h>
#include <vtkTextProperty.h>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <sstream>

namespace orvane {

vtkStandardNewMacro(MouseInteractorHighLightActor);

namespace {

// "Position of the selected node:", GBK-encoded as the console shows it.
const char* const selectedPositionText = "\xd1\xa1\xd6\xd0\xbd\xda\xb5\xe3\xb5\xc4\xce\xbb\xd6\xc3\xa3\xba";

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
    const HoverPick pick = pickAt(x, y);
    if (pick.hit) {
        pickPosition = pick.position;
    }
    double viewDirection[3];
    renderer->GetActiveCamera()->GetDirectionOfProjection(viewDirection);
    vtkMath::Normalize(viewDirection);

    if (hoverEnabled) {
        if (!faceMode) {
            hoverSolid(pick.actor);
        } else {
            hoverFace(viewDirection, pick.hit, pick.face);
        }
    }
}

void MouseInteractorHighLightActor::setModelPickIndex(ModelPickIndex index) {
    pickIndex = std::move(index);
}

MouseInteractorHighLightActor::HoverPick MouseInteractorHighLightActor::pickAt(int x, int y) {
    HoverPick pick;
    if (pickIndex.locator == nullptr) {
        hoverPicker->PickFromListOff();
        hoverPicker->Pick(x, y, 0.0, renderer);
        pick.hit = hoverPicker->GetCellId() != -1;
        pick.actor = hoverPicker->GetActor();
        hoverPicker->GetPickPosition(pick.position.data());
        return pick;
    }

    // The pick ray runs from the near to the far clipping plane.
    double ends[2][3];
    for (int end = 0; end < 2; ++end) {
        double world[4];
        renderer->SetDisplayPoint(x, y, end);
        renderer->DisplayToWorld();
        renderer->GetWorldPoint(world);
        for (int i = 0; i < 3; ++i) {
            ends[end][i] = world[3] != 0.0 ? world[i] / world[3] : world[i];
        }
    }

    std::vector<vtkProp*> shownInOrder;
    std::unordered_set<vtkProp*> shown;
    vtkPropCollection* props = renderer->GetViewProps();
    vtkCollectionSimpleIterator cursor;
    props->InitTraversal(cursor);
    while (vtkProp* prop = props->GetNextProp(cursor)) {
        if (prop->GetVisibility() && prop->GetPickable()) {
            shownInOrder.push_back(prop);
            shown.insert(prop);
        }
    }
    HoverPick onModel;
    const bool modelHit = castIntoModel(ends[0], ends[1], shown, onModel);

    // Every other shown prop goes to the cell picker, which is quick for the
    // few and small props besides the model.
    hoverPicker->InitializePickList();
    int others = 0;
    for (vtkProp* prop : shownInOrder) {
        const bool drawsIndex = prop == pickIndex.wholeModelActor ||
                                std::find(pickIndex.solidActors.begin(), pickIndex.solidActors.end(), prop) !=
                                    pickIndex.solidActors.end();
        auto* placed = vtkProp3D::SafeDownCast(prop);
        if (!drawsIndex || placed == nullptr || !placed->GetIsIdentity()) {
            hoverPicker->AddPickList(prop);
            ++others;
        }
    }
    if (others > 0) {
        hoverPicker->PickFromListOn();
        hoverPicker->Pick(x, y, 0.0, renderer);
        hoverPicker->PickFromListOff();
        if (hoverPicker->GetActor() != nullptr) {
            pick.hit = hoverPicker->GetCellId() != -1;
            pick.actor = hoverPicker->GetActor();
            hoverPicker->GetPickPosition(pick.position.data());
            // Props drawn on the model's surface, such as a shown face, come
            // first in the view, so they win a tie as they would in one pick.
            if (!modelHit || vtkMath::Distance2BetweenPoints(ends[0], pick.position.data()) <=
                                 vtkMath::Distance2BetweenPoints(ends[0], onModel.position.data())) {
                return pick;
            }
        }
    }
    return modelHit ? onModel : pick;
}

bool MouseInteractorHighLightActor::castIntoModel(const double from[3], const double to[3],
                                                  const std::unordered_set<vtkProp*>& shown,
                                                  HoverPick& pick) const {
    vtkCellData* cells = pickIndex.triangles->GetCellData();
    auto* faceOfTriangle = vtkIntArray::SafeDownCast(cells->GetArray("face"));
    auto* solidOfTriangle = vtkIntArray::SafeDownCast(cells->GetArray("solid"));
    if (faceOfTriangle == nullptr || solidOfTriangle == nullptr) {
        return false;
    }
    const auto drawnBy = [&](int solid) -> vtkActor* {
        vtkActor* actor = pickIndex.wholeModelActor;
        if (actor == nullptr && solid >= 0 &&
            static_cast<std::size_t>(solid) < pickIndex.solidActors.size()) {
            actor = pickIndex.solidActors[static_cast<std::size_t>(solid)];
        }
        // A moved, hidden or clear actor no longer shows these triangles.
        if (actor == nullptr || shown.count(actor) == 0 || !actor->GetIsIdentity() ||
            actor->GetProperty()->GetOpacity() <= 0.0) {
            return nullptr;
        }
        return actor;
    };

    const double length = std::sqrt(vtkMath::Distance2BetweenPoints(from, to));
    const double tolerance = 1e-9 * pickIndex.triangles->GetLength();
    double start[3] = {from[0], from[1], from[2]};
    // Past a triangle that no shown actor draws, the ray goes on behind it.
    for (int crossing = 0; crossing < 64; ++crossing) {
        double t = 0.0;
        double hit[3];
        double parametric[3];
        int subId = 0;
        vtkIdType cell = -1;
        if (pickIndex.locator->IntersectWithLine(start, to, tolerance, t, hit, parametric, subId, cell) ==
                0 ||
            cell < 0) {
            return false;
        }
        if (vtkActor* actor = drawnBy(solidOfTriangle->GetValue(cell))) {
            pick.hit = true;
            pick.actor = actor;
            pick.position = {hit[0], hit[1], hit[2]};
            pick.face = faceOfTriangle->GetValue(cell);
            return true;
        }
        const double step = 1e-6 * length;
        for (int i = 0; i < 3; ++i) {
            start[i] = hit[i] + step * (to[i] - from[i]) / length;
        }
    }
    return false;
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

void MouseInteractorHighLightActor::forgetPicks() {
    if (lastPickedActor != nullptr && !faceMode) {
        lastPickedActor->GetProperty()->DeepCopy(savedProperty);
    }
    for (const auto& actor : highlightedFaces) {
        actor->VisibilityOff();
    }
    highlightedFaces.clear();
    selectedShapes.clear();
    selectedFaceIds.clear();
    candidateFaces.clear();
    hitDistances.clear();
    lastPickedActor = nullptr;
}

void MouseInteractorHighLightActor::setFaceMode(bool on) {
    // A mode switch ends the current highlight, so neither a red solid nor a
    // green face outlives the mode that showed it.
    forgetPicks();
    faceMode = on;
    renderWindow();
}

bool MouseInteractorHighLightActor::ignoredWhileBusy(const std::string& input) const {
    if (!busy || !busy()) {
        return false;
    }
    std::cerr << "orvane: " << input << " ignored: the view is busy with an import or a run\n";
    return true;
}

void MouseInteractorHighLightActor::hoverFace(const double viewDirection[3], bool hit, int face) {
    for (const auto& actor : highlightedFaces) {
        actor->VisibilityOff();
    }
    if (analysis->multiPointMode) {
        for (const PickedPoint& point : analysis->pickedPoints) {
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

    if (pickIndex.locator == nullptr) {
        face = faceByExactDistance(viewDirection);
    } else {
        if (face < 0) {
            face = faceByTriangles(viewDirection);
        }
        // Where the view line misses the true face (near the outline of a
        // curved face, whose triangles stand off its surface), the face is
        // the one the exact distances choose, if any.
        if (face >= 0 && static_cast<std::size_t>(face) < faces.size() &&
            !exactHitDistance(viewDirection, face)) {
            face = faceByExactDistance(viewDirection);
        }
    }
    if (face < 0) {
        return;
    }
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

bool MouseInteractorHighLightActor::boxHoldsPick(std::size_t face) const {
    // The pick lies on the single-precision STL mesh, so a plane face parallel
    // to an axis would never strictly contain it: widen each box by the hit
    // tolerance.
    const std::array<double, 6>& box = faceBoxes[face];
    const double m = hitTolerance;
    const double x = pickPosition[0];
    const double y = pickPosition[1];
    const double z = pickPosition[2];
    return box[0] - m < x && x < box[3] + m && box[1] - m < y && y < box[4] + m && box[2] - m < z &&
           z < box[5] + m;
}

std::optional<double> MouseInteractorHighLightActor::exactHitDistance(const double viewDirection[3],
                                                                      int face) const {
    const gp_Pnt origin(pickPosition[0], pickPosition[1], pickPosition[2]);
    try {
        const TopoDS_Edge ray = BRepBuilderAPI_MakeEdge(
            gp_Lin(origin, gp_Dir(viewDirection[0], viewDirection[1], viewDirection[2])));
        BRepExtrema_DistShapeShape distance(ray, faces[static_cast<std::size_t>(face)]);
        if (!distance.IsDone() || distance.NbSolution() < 1 || distance.Value() >= hitTolerance) {
            return std::nullopt;
        }
        double nearest = 1.0e6;
        for (int s = 1; s <= distance.NbSolution(); ++s) {
            const double d = distance.PointOnShape2(s).Distance(origin);
            if (d < nearest) {
                nearest = d;
            }
        }
        return nearest;
    } catch (const Standard_Failure& failure) {
        std::cerr << "orvane: distance to face " << face << " failed: " << failure.GetMessageString() << "\n";
    }
    return std::nullopt;
}

int MouseInteractorHighLightActor::faceByExactDistance(const double viewDirection[3]) {
    candidateFaces.clear();
    hitDistances.clear();
    for (std::size_t i = 0; i < faceBoxes.size() && i < faces.size(); ++i) {
        if (boxHoldsPick(i)) {
            candidateFaces.emplace(static_cast<int>(i), faces[i]);
        }
    }
    for (const auto& candidate : candidateFaces) {
        if (const std::optional<double> distance = exactHitDistance(viewDirection, candidate.first)) {
            hitDistances[*distance] = candidate.first;
        }
    }
    return hitDistances.empty() ? -1 : hitDistances.begin()->second;
}

int MouseInteractorHighLightActor::faceByTriangles(const double viewDirection[3]) const {
    vtkPolyData* triangles = pickIndex.triangles;
    if (triangles == nullptr || pickIndex.locator == nullptr) {
        return -1;
    }
    auto* faceOfTriangle = vtkIntArray::SafeDownCast(triangles->GetCellData()->GetArray("face"));
    if (faceOfTriangle == nullptr) {
        return -1;
    }
    // A line through the pick along the view, long enough to cross the model
    // wherever the pick lies.
    const double reach =
        triangles->GetLength() +
        std::sqrt(vtkMath::Distance2BetweenPoints(pickPosition.data(), triangles->GetCenter()));
    const double* p = pickPosition.data();
    const double* d = viewDirection;
    const double from[3] = {p[0] - reach * d[0], p[1] - reach * d[1], p[2] - reach * d[2]};
    const double to[3] = {p[0] + reach * d[0], p[1] + reach * d[1], p[2] + reach * d[2]};
    auto cells = vtkSmartPointer<vtkIdList>::New();
    pickIndex.locator->FindCellsAlongLine(from, to, 0.0, cells);

    int bestFace = -1;
    double bestDistance = 0.0;
    vtkPoints* points = triangles->GetPoints();
    auto corners = vtkSmartPointer<vtkIdList>::New();
    for (vtkIdType k = 0; k < cells->GetNumberOfIds(); ++k) {
        const vtkIdType cell = cells->GetId(k);
        const int face = faceOfTriangle->GetValue(cell);
        if (face < 0 || static_cast<std::size_t>(face) >= faceBoxes.size() ||
            !boxHoldsPick(static_cast<std::size_t>(face))) {
            continue;
        }
        triangles->GetCellPoints(cell, corners);
        if (corners->GetNumberOfIds() != 3) {
            continue;
        }
        double a[3];
        double b[3];
        double c[3];
        points->GetPoint(corners->GetId(0), a);
        points->GetPoint(corners->GetId(1), b);
        points->GetPoint(corners->GetId(2), c);
        double along = 0.0;
        if (!lineCrossesTriangle(p, d, a, b, c, along)) {
            continue;
        }
        const double distance = std::abs(along);
        // As with exact distances, an equal distance goes to the later face.
        if (bestFace < 0 || distance < bestDistance || (distance == bestDistance && face > bestFace)) {
            bestFace = face;
            bestDistance = distance;
        }
    }
    return bestFace;
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
    if (ignoredWhileBusy("right click")) {
        return;
    }
    if (lastPickedActor != nullptr) {
        const double* centre = lastPickedActor->GetCenter();
        analysis->position = {centre[0], centre[1], centre[2]};
        analysis->target = actorName(lastPickedActor);
        std::cout << analysis->target << std::endl;
        printPosition(analysis->position);
        if (analysis->multiPointMode) {
            collectPickedPoint();
        }
    }
    const bool shift = Interactor != nullptr && Interactor->GetShiftKey() != 0;
    if (shift && lastPickedActor != nullptr) {
        lastPickedActor->GetProperty()->SetColor(0.5, 0.0, 0.5);
        lastPickedActor->GetProperty()->SetDiffuse(1.0);
        lastPickedActor->GetProperty()->SetSpecular(0.0);
        const double* centre = lastPickedActor->GetCenter();
        analysis->position = {centre[0], centre[1], centre[2]};
        renderWindow();
        printPosition(analysis->position);
    }
    if (shift) {
        std::cout << "!" << std::endl;
    }
}

void MouseInteractorHighLightActor::collectPickedPoint() {
    std::istringstream words(analysis->target);
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
    for (const PickedPoint& point : analysis->pickedPoints) {
        if (point.faceIndex == face) {
            return;
        }
    }
    analysis->pickedPoints.push_back({analysis->target, analysis->position, face});
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
