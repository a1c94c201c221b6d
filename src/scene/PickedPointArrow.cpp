// The arrow and label at the last picked point: its objects and the `arrow`
// command.

#include "scene/PickedPointArrow.h"

#include "app/Orvane.h"
#include "channel/ReplyText.h"
#include "commands/CommandTable.h"
#include "interaction/PointPickerCallback.h"
#include "scene/Glyphs.h"
#include "scene/PickGeometry.h"
#include "scene/SceneRegistry.h"

#include <vtkActor.h>
#include <vtkArrowSource.h>
#include <vtkGlyph3D.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkPolyDataMapper.h>
#include <vtkProperty.h>
#include <vtkRenderer.h>
#include <vtkTextActor3D.h>
#include <vtkTextProperty.h>
#include <vtkTransform.h>
#include <vtkTransformFilter.h>

#include <iostream>

namespace orvane {

PickedPointArrow::PickedPointArrow()
    : source(vtkSmartPointer<vtkArrowSource>::New()), property(vtkSmartPointer<vtkProperty>::New()),
      mapper(vtkSmartPointer<vtkPolyDataMapper>::New()), actor(vtkSmartPointer<vtkActor>::New()),
      glyph(vtkSmartPointer<vtkGlyph3D>::New()), points(vtkSmartPointer<vtkPoints>::New()),
      polyData(vtkSmartPointer<vtkPolyData>::New()), textProperty(vtkSmartPointer<vtkTextProperty>::New()),
      labelActor(vtkSmartPointer<vtkTextActor3D>::New()) {}

PickedPointArrow::~PickedPointArrow() = default;

void PickedPointArrow::turnSource(vtkTransform* transform, vtkTransformFilter* filter,
                                  const AxisRotation& rotation) {
    source->SetTipRadius(0.1);
    source->SetTipLength(0.45);
    source->SetShaftResolution(10);
    source->SetTipResolution(5);
    source->Update();
    if (rotation.angleDegrees != 0.0) {
        transform->RotateWXYZ(rotation.angleDegrees, rotation.axis.data());
    }
    filter->SetTransform(transform);
    filter->SetInputConnection(source->GetOutputPort());
}

std::vector<CommandRow> pickedPointArrowCommands(Orvane* view) {
    constexpr ArgKind real = ArgKind::Real;
    return {
        {"arrow",
         "",
         {real, real, real, ArgKind::Text},
         "arrow DX DY DZ LABEL",
         "Mark the last picked point with an arrow along a direction and a label",
         [view](const CommandArguments& a) {
             view->arrow({a.real(1), a.real(2), a.real(3)}, a.text(4));
         }},
    };
}

} // namespace orvane

namespace {
constexpr int arrowSlot = 2;
constexpr double coincidenceTolerance = 0.01;
} // namespace

void Orvane::arrow(const orvane::Point3& direction, const std::string& label) {
    if (!pointPickerCallback->pickedValid) {
        return;
    }
    const std::optional<orvane::AxisRotation> rotation = orvane::rotationFromXAxis(direction);
    if (!rotation) {
        std::cerr << "orvane: arrow: the direction " << direction[0] << " " << direction[1] << " "
                  << direction[2] << " has no length\n";
        return;
    }
    orvane::PickedPointArrow& marker = *pickedArrow;
    marker.direction = direction;
    marker.label = label;
    scene->slot = arrowSlot;
    auto transform = vtkSmartPointer<vtkTransform>::New();
    auto transformFilter = vtkSmartPointer<vtkTransformFilter>::New();
    scene->transforms.set(arrowSlot, transform);
    scene->transformFilters.set(arrowSlot, transformFilter);

    const orvane::Point3 position = pointPickerCallback->pickedPosition;
    orvane::placeLabelledPoint(position, label, 10, marker.textProperty, marker.labelActor, marker.points,
                               marker.polyData);

    const std::string positionText = orvane::joinReplyItems(
        {orvane::sixDigits(position[0]), orvane::sixDigits(position[1]), orvane::sixDigits(position[2])});
    sendReply("message", positionText);
    for (const int index : orvane::pointsWithin(position, pointLists->pointCoords, coincidenceTolerance)) {
        sendReply("spring", positionText + " " + std::to_string(index));
    }

    marker.source->SetShaftRadius(0.005);
    marker.turnSource(transform, transformFilter, *rotation);

    marker.glyph->SetInputData(marker.polyData);
    marker.glyph->SetSourceConnection(transformFilter->GetOutputPort());
    marker.glyph->SetScaleFactor(30.0);
    marker.mapper->SetInputConnection(marker.glyph->GetOutputPort());
    marker.property->SetRepresentationToWireframe();
    marker.actor->SetMapper(marker.mapper);
    marker.actor->SetProperty(marker.property);
    marker.actor->GetProperty()->SetColor(1.0, 0.0, 1.0);

    renderer->AddActor(marker.actor);
    renderer->AddActor(marker.labelActor);
    renderView();
    pointPickerCallback->pickedValid = false;
}
