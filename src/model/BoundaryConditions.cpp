// The entity editor's boundary-condition entities: forces, fixed
// constraints, RB3 capture and disc elements and markers, attached to the
// picked target.

#include "commands/InputLimits.h"
#include "geometry/CircleFace.h"
#include "model/EntityEditor.h"
#include "model/EntityRules.h"
#include "scene/ActorNames.h"
#include "scene/Glyphs.h"
#include "scene/PickGeometry.h"

#include <vtkArrowSource.h>
#include <vtkGlyph3D.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkPolyDataMapper.h>
#include <vtkProperty.h>
#include <vtkRegularPolygonSource.h>
#include <vtkRenderer.h>
#include <vtkSphereSource.h>
#include <vtkTextActor3D.h>
#include <vtkTextProperty.h>
#include <vtkTransform.h>

#include <charconv>
#include <cmath>
#include <iostream>
#include <utility>

namespace orvane {

namespace {

constexpr double glyphScale = 40.0;

vtkSmartPointer<vtkTextActor3D> textAt(const std::string& text, const Point3& at, int fontSize,
                                       const Point3& colour) {
    auto label = vtkSmartPointer<vtkTextActor3D>::New();
    label->SetInput(text.c_str());
    label->SetPosition(at[0], at[1], at[2]);
    label->GetTextProperty()->SetFontSize(fontSize);
    label->GetTextProperty()->SetColor(colour[0], colour[1], colour[2]);
    label->GetTextProperty()->SetFontFamilyToTimes();
    return label;
}

// A green force arrow at `at`, its x axis turned onto `direction` (kept
// along x for a direction without length), glyphScale long.
vtkSmartPointer<vtkActor> forceArrow(const Point3& at, const Point3& direction) {
    auto arrow = vtkSmartPointer<vtkArrowSource>::New();
    arrow->SetTipLength(0.3);
    arrow->SetTipRadius(0.1);
    arrow->SetShaftRadius(0.05);
    auto mapper = vtkSmartPointer<vtkPolyDataMapper>::New();
    mapper->SetInputConnection(arrow->GetOutputPort());
    auto actor = vtkSmartPointer<vtkActor>::New();
    actor->SetMapper(mapper);
    actor->GetProperty()->SetColor(0.0, 1.0, 0.0);

    auto transform = vtkSmartPointer<vtkTransform>::New();
    transform->Translate(at[0], at[1], at[2]);
    if (const std::optional<AxisRotation> rotation = rotationFromXAxis(direction);
        rotation && rotation->angleDegrees != 0.0) {
        transform->RotateWXYZ(rotation->angleDegrees, rotation->axis.data());
    }
    transform->Scale(glyphScale, glyphScale, glyphScale);
    actor->SetUserTransform(transform);
    return actor;
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

std::string entityName(int32_t counter) {
    return "* " + std::to_string(counter);
}

} // namespace

EntityEditor::EntityEditor(Analysis& analysisToEdit, EntityCanvas canvas)
    : analysis(analysisToEdit), renderer(std::move(canvas.renderer)), renderWindow(std::move(canvas.render)) {
}

void EntityEditor::addForceGlyph(const std::string& name, const Point3& at) {
    vtkSmartPointer<vtkActor> actor = forceArrow(at, analysis.direction);
    setActorName(actor, name);
    renderer->AddActor(actor);
    renderer->AddActor(textAt(analysis.labelText, at, 20, {0.0, 1.0, 0.0}));
    renderWindow();
}

bool EntityEditor::AddForce() {
    if (analysis.components.size() < 6) {
        std::cerr << "orvane: no force added: set the force components first (arrowHighLight)\n";
        return false;
    }
    std::array<double, 6> values{};
    std::copy_n(analysis.components.begin(), 6, values.begin());
    const auto addOne = [&](const std::string& onTarget, const Point3& at) {
        const std::string name = entityName(analysis.entityCounter);
        addForceGlyph(name, at);
        analysis.model.forces.push_back({name, "", onTarget, analysis.labelText, at, values});
        ++analysis.entityCounter;
    };
    if (!analysis.multiPointMode) {
        addOne(analysis.target, analysis.position);
    } else {
        const std::vector<PickedPoint> points = analysis.pickedPoints;
        for (const PickedPoint& point : points) {
            addOne(point.target, point.position);
        }
    }
    return true;
}

void EntityEditor::AddConstraint() {
    auto points = vtkSmartPointer<vtkPoints>::New();
    points->InsertNextPoint(analysis.position.data());
    auto anchor = vtkSmartPointer<vtkPolyData>::New();
    anchor->SetPoints(points);
    auto glyph = vtkSmartPointer<vtkGlyph3D>::New();
    glyph->SetInputData(anchor);
    glyph->SetSourceData(constraintTriad());
    glyph->SetScaleFactor(glyphScale);
    auto mapper = vtkSmartPointer<vtkPolyDataMapper>::New();
    mapper->SetInputConnection(glyph->GetOutputPort());
    auto actor = vtkSmartPointer<vtkActor>::New();
    actor->SetMapper(mapper);
    auto property = vtkSmartPointer<vtkProperty>::New();
    property->SetRepresentationToWireframe();
    property->SetColor(0.0, 1.0, 0.0);
    actor->SetProperty(property);

    const std::string name = entityName(analysis.entityCounter);
    setActorName(actor, name);
    renderer->AddActor(actor);
    renderer->AddActor(textAt("", analysis.position, 20, {1.0, 0.0, 0.0}));
    renderWindow();
    analysis.model.constraints.push_back(
        {name, analysis.target, analysis.position, analysis.fixRotation, analysis.fixTranslation});
    ++analysis.entityCounter;
}

void EntityEditor::AddRb3Capture() {
    auto sphere = vtkSmartPointer<vtkSphereSource>::New();
    sphere->SetRadius(analysis.captureRadius);
    sphere->SetCenter(analysis.position.data());
    auto sphereMapper = vtkSmartPointer<vtkPolyDataMapper>::New();
    sphereMapper->SetInputConnection(sphere->GetOutputPort());
    auto sphereActor = vtkSmartPointer<vtkActor>::New();
    sphereActor->SetMapper(sphereMapper);
    sphereActor->GetProperty()->SetColor(0.5, 0.0, 0.5);
    sphereActor->GetProperty()->SetOpacity(0.2);

    const Capture capture =
        captureWithinRadius(analysis.gaussPoints, analysis.position, analysis.captureRadius);
    vtkSmartPointer<vtkActor> lineActor = spokesActor(analysis.position, capture.points, {0.0, 1.0, 0.0});

    const std::string name = entityName(analysis.entityCounter);
    setActorName(lineActor, name);
    renderer->AddActor(sphereActor);
    renderer->AddActor(lineActor);
    renderWindow();
    analysis.model.rb3Elements.push_back(
        {analysis.target, capture.faceIds, name, capture.points, analysis.position});
    ++analysis.entityCounter;
}

void EntityEditor::AddNodeMarker(const Point3& centre, double radius) {
    vtkSmartPointer<vtkActor> actor = litGreenSphere(centre, radius);
    setActorName(actor, "P 0 " + std::to_string(analysis.nodeCounter));
    renderer->AddActor(actor);
    ++analysis.nodeCounter;
}

void EntityEditor::AddTextMark(const Point3& colour, double fontSize) {
    if (std::optional<std::string> problem = textMarkProblem(fontSize, analysis.markText.size())) {
        std::cerr << "orvane: mark: refused: " << *problem << "\n";
        return;
    }
    renderer->AddActor(
        textAt(analysis.markText, analysis.position, static_cast<int>(std::trunc(fontSize)), colour));
    renderWindow();
}

bool EntityEditor::AddRb3Circle() {
    const Point3& position = analysis.position;
    const Point3& direction = analysis.direction;
    const std::optional<AxisRotation> rotation = rotationFromXAxis(direction);
    if (!rotation) {
        std::cerr << "orvane: no RB3 disc added: the direction has no length\n";
        return false;
    }
    std::optional<int32_t> id = leadingInteger(analysis.labelText);
    if (!id) {
        std::cerr << "orvane: the RB3 label '" << analysis.labelText
                  << "' does not start with an integer; its id is 0\n";
        id = 0;
    }
    const int32_t number = analysis.entityCounter;
    const std::string name = "* " + std::to_string(number);

    vtkSmartPointer<vtkTextActor3D> label = textAt(analysis.labelText, position, 20, {0.0, 1.0, 0.0});
    vtkSmartPointer<vtkActor> arrow = forceArrow(position, direction);
    setActorName(arrow, name);

    auto discSource = vtkSmartPointer<vtkRegularPolygonSource>::New();
    discSource->SetNumberOfSides(50);
    discSource->SetRadius(analysis.captureRadius);
    discSource->SetCenter(position.data());
    discSource->SetNormal(direction.data());
    auto discMapper = vtkSmartPointer<vtkPolyDataMapper>::New();
    discMapper->SetInputConnection(discSource->GetOutputPort());
    auto disc = vtkSmartPointer<vtkActor>::New();
    disc->SetMapper(discMapper);
    disc->GetProperty()->SetColor(0.5, 0.0, 0.5);
    disc->GetProperty()->SetOpacity(1.0);
    setActorName(disc, name);

    if (analysis.rb3BrepDir.empty()) {
        std::cerr << "orvane: the face of RB3 disc " << name
                  << " is not written: no RB3 B-rep directory is set (ORVANE_RB3_BREP_DIR)\n";
    } else {
        writeCircleFaceBrep(analysis.rb3BrepDir + "/circle" + std::to_string(number) + ".brep", position,
                            direction, analysis.captureRadius);
    }

    std::vector<double> captured;
    std::vector<Point3> capturedPoints;
    for (const GaussPoint& g : analysis.gaussPoints) {
        const double along = (position[0] - g.x) * direction[0] + (position[1] - g.y) * direction[1] +
                             (position[2] - g.z) * direction[2];
        const double distance =
            std::sqrt((position[0] - g.x) * (position[0] - g.x) + (position[1] - g.y) * (position[1] - g.y) +
                      (position[2] - g.z) * (position[2] - g.z));
        if (-5.0 < along && along < 5.0 && distance <= analysis.captureRadius) {
            captured.insert(captured.end(), {g.x, g.y, g.z});
            capturedPoints.push_back({g.x, g.y, g.z});
        }
    }
    vtkSmartPointer<vtkActor> spokeActor = spokesActor(position, capturedPoints, {0.0, 1.0, 0.0});
    setActorName(spokeActor, name);

    renderer->AddActor(spokeActor);
    renderer->AddActor(disc);
    renderer->AddActor(label);
    renderer->AddActor(arrow);
    renderWindow();
    analysis.rb3Circles.push_back(
        {name, analysis.target, position, direction, static_cast<double>(*id), captured});
    ++analysis.entityCounter;
    return true;
}

} // namespace orvane
