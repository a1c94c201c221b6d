// Forces, fixed constraints, RB3 capture elements and markers, attached to
// the picked target; and the solver input files of the whole model.

#include "app/DataPaths.h"
#include "app/FileChecks.h"
#include "channel/ReplyText.h"
#include "commands/InputLimits.h"
#include "interaction/MouseInteractorHighLightActor.h"
#include "model/EntityRules.h"
#include "model/SolverFiles.h"
#include "scene/ActorNames.h"
#include "scene/Glyphs.h"
#include "scene/PickGeometry.h"

#include <vtkArrowSource.h>
#include <vtkCellArray.h>
#include <vtkGlyph3D.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkPolyDataMapper.h>
#include <vtkRenderWindow.h>
#include <vtkRenderWindowInteractor.h>
#include <vtkSphereSource.h>
#include <vtkTextActor3D.h>
#include <vtkTextProperty.h>
#include <vtkTransform.h>

#include <cmath>
#include <iostream>

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

std::string entityName(int32_t counter) {
    return "* " + std::to_string(counter);
}

} // namespace

void MouseInteractorHighLightActor::SetForceParameters(const std::array<double, 6>& forceComponents) {
    components.assign(forceComponents.begin(), forceComponents.end());
    const ForceParameters parameters = forceParameters(forceComponents);
    labelText = parameters.labelText;
    if (parameters.direction) {
        direction = *parameters.direction;
    } else {
        std::cerr << "orvane: the force " << forceComponents[0] << " " << forceComponents[1] << " "
                  << forceComponents[2] << " has no direction; the arrow keeps its direction\n";
    }
}

void MouseInteractorHighLightActor::SetFixParameters(const std::array<double, 6>& words) {
    for (std::size_t i = 0; i < 3; ++i) {
        fixTranslation[i] = static_cast<int32_t>(std::trunc(words[i]));
        fixRotation[i] = static_cast<int32_t>(std::trunc(words[i + 3]));
    }
}

void MouseInteractorHighLightActor::addForceGlyph(const std::string& name, const Point3& at) {
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
    setActorName(actor, name);

    renderer->AddActor(actor);
    renderer->AddActor(textAt(labelText, at, 20, {0.0, 1.0, 0.0}));
    renderWindow();
}

bool MouseInteractorHighLightActor::AddForce() {
    if (components.size() < 6) {
        std::cerr << "orvane: no force added: set the force components first (arrowHighLight)\n";
        return false;
    }
    std::array<double, 6> values{};
    std::copy_n(components.begin(), 6, values.begin());
    const auto addOne = [&](const std::string& onTarget, const Point3& at) {
        const std::string name = entityName(entityCounter);
        addForceGlyph(name, at);
        model.forces.push_back({name, "", onTarget, labelText, at, values});
        ++entityCounter;
    };
    if (!multiPointMode) {
        addOne(target, position);
    } else {
        const std::vector<PickedPoint> points = pickedPoints;
        for (const PickedPoint& point : points) {
            addOne(point.target, point.position);
        }
    }
    return true;
}

void MouseInteractorHighLightActor::AddConstraint() {
    auto points = vtkSmartPointer<vtkPoints>::New();
    points->InsertNextPoint(position.data());
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

    const std::string name = entityName(entityCounter);
    setActorName(actor, name);
    renderer->AddActor(actor);
    renderer->AddActor(textAt("", position, 20, {1.0, 0.0, 0.0}));
    renderWindow();
    model.constraints.push_back({name, target, position, fixRotation, fixTranslation});
    ++entityCounter;
}

void MouseInteractorHighLightActor::AddRb3Capture() {
    auto sphere = vtkSmartPointer<vtkSphereSource>::New();
    sphere->SetRadius(captureRadius);
    sphere->SetCenter(position.data());
    auto sphereMapper = vtkSmartPointer<vtkPolyDataMapper>::New();
    sphereMapper->SetInputConnection(sphere->GetOutputPort());
    auto sphereActor = vtkSmartPointer<vtkActor>::New();
    sphereActor->SetMapper(sphereMapper);
    sphereActor->GetProperty()->SetColor(0.5, 0.0, 0.5);
    sphereActor->GetProperty()->SetOpacity(0.2);

    const Capture capture = captureWithinRadius(gaussPoints, position, captureRadius);
    auto points = vtkSmartPointer<vtkPoints>::New();
    points->SetDataTypeToDouble();
    points->InsertNextPoint(position.data());
    auto spokes = vtkSmartPointer<vtkCellArray>::New();
    for (const Point3& point : capture.points) {
        const vtkIdType spoke[2] = {0, points->InsertNextPoint(point.data())};
        spokes->InsertNextCell(2, spoke);
    }
    auto lines = vtkSmartPointer<vtkPolyData>::New();
    lines->SetPoints(points);
    lines->SetLines(spokes);
    auto lineMapper = vtkSmartPointer<vtkPolyDataMapper>::New();
    lineMapper->SetInputData(lines);
    auto lineActor = vtkSmartPointer<vtkActor>::New();
    lineActor->SetMapper(lineMapper);
    lineActor->GetProperty()->SetColor(0.0, 1.0, 0.0);

    const std::string name = entityName(entityCounter);
    setActorName(lineActor, name);
    renderer->AddActor(sphereActor);
    renderer->AddActor(lineActor);
    renderWindow();
    model.rb3Elements.push_back({target, capture.faceIds, name, capture.points, position});
    ++entityCounter;
}

void MouseInteractorHighLightActor::AddNodeMarker(const Point3& centre, double radius) {
    vtkSmartPointer<vtkActor> actor = litGreenSphere(centre, radius);
    setActorName(actor, "P 0 " + std::to_string(nodeCounter));
    renderer->AddActor(actor);
    ++nodeCounter;
}

void MouseInteractorHighLightActor::AddTextMark(const Point3& colour, double fontSize) {
    if (std::optional<std::string> problem = textMarkProblem(fontSize, markText.size())) {
        std::cerr << "orvane: mark: refused: " << *problem << "\n";
        return;
    }
    renderer->AddActor(textAt(markText, position, static_cast<int>(std::trunc(fontSize)), colour));
    renderWindow();
}

bool MouseInteractorHighLightActor::WritePreFiles(const std::string& rootWithSlash) {
    if (std::optional<std::string> problem = pathProblem(rootWithSlash)) {
        std::cerr << "orvane: preFiles: data root refused: " << *problem << "\n";
        return false;
    }
    return writePreFiles(model, datapaths::solverInputFile(rootWithSlash), std::cout);
}

bool MouseInteractorHighLightActor::WriteBeamFile(const std::string& root) {
    if (std::optional<std::string> problem = pathProblem(root)) {
        std::cerr << "orvane: beamSave: data root refused: " << *problem << "\n";
        return false;
    }
    return writeBeamFile(model, datapaths::beamFile(root));
}

bool MouseInteractorHighLightActor::WriteSpringFile(const std::string& root) {
    if (std::optional<std::string> problem = pathProblem(root)) {
        std::cerr << "orvane: springSave: data root refused: " << *problem << "\n";
        return false;
    }
    return writeSpringFile(model, datapaths::springFile(root));
}

} // namespace orvane
