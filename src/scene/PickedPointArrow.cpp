// The arrow and label at the last picked point.

#include "app/Orvane.h"
#include "channel/ReplyText.h"
#include "commands/CommandTable.h"
#include "interaction/PointPickerCallback.h"
#include "scene/PickGeometry.h"

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
    arrowDirection = direction;
    arrowLabel = label;
    slot = arrowSlot;
    auto transform = vtkSmartPointer<vtkTransform>::New();
    auto transformFilter = vtkSmartPointer<vtkTransformFilter>::New();
    transforms.set(arrowSlot, transform);
    transformFilters.set(arrowSlot, transformFilter);

    orvane::Point3 position = pointPickerCallback->pickedPosition;
    arrowTextProperty->SetFontSize(10);
    arrowTextProperty->SetColor(1.0, 0.0, 0.0);
    arrowTextProperty->SetFontFamilyToTimes();
    arrowLabelActor->SetTextProperty(arrowTextProperty);
    arrowLabelActor->SetInput(label.c_str());
    arrowLabelActor->SetPosition(position.data());

    arrowPoints->Reset();
    arrowPoints->InsertNextPoint(position.data());
    arrowPoints->Modified();
    arrowPolyData->SetPoints(arrowPoints);

    const std::string positionText = orvane::joinReplyItems(
        {orvane::sixDigits(position[0]), orvane::sixDigits(position[1]), orvane::sixDigits(position[2])});
    sendReply("message", positionText);
    for (const int index : orvane::pointsWithin(position, pointCoords, coincidenceTolerance)) {
        sendReply("spring", positionText + " " + std::to_string(index));
    }

    arrowSource->SetShaftRadius(0.005);
    arrowSource->SetTipRadius(0.1);
    arrowSource->SetTipLength(0.45);
    arrowSource->SetShaftResolution(10);
    arrowSource->SetTipResolution(5);
    arrowSource->Update();

    if (rotation->angleDegrees != 0.0) {
        transform->RotateWXYZ(rotation->angleDegrees, rotation->axis.data());
    }
    transformFilter->SetTransform(transform);
    transformFilter->SetInputConnection(arrowSource->GetOutputPort());

    arrowGlyph->SetInputData(arrowPolyData);
    arrowGlyph->SetSourceConnection(transformFilter->GetOutputPort());
    arrowGlyph->SetScaleFactor(30.0);
    arrowMapper->SetInputConnection(arrowGlyph->GetOutputPort());
    arrowProperty->SetRepresentationToWireframe();
    arrowActor->SetMapper(arrowMapper);
    arrowActor->SetProperty(arrowProperty);
    arrowActor->GetProperty()->SetColor(1.0, 0.0, 1.0);

    renderer->AddActor(arrowActor);
    renderer->AddActor(arrowLabelActor);
    renderView();
    pointPickerCallback->pickedValid = false;
}
