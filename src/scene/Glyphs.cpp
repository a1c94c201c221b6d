#include "scene/Glyphs.h"

#include <vtkActor.h>
#include <vtkAppendPolyData.h>
#include <vtkConeSource.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkPolyDataMapper.h>
#include <vtkProperty.h>
#include <vtkSphereSource.h>
#include <vtkTextActor3D.h>
#include <vtkTextProperty.h>
#include <vtkTransform.h>
#include <vtkTransformPolyDataFilter.h>

#include <array>
#include <utility>

namespace orvane {

void applyLitGreen(vtkProperty* material) {
    material->SetDiffuseColor(0.0, 1.0, 0.0);
    material->SetDiffuse(0.8);
    material->SetSpecular(0.5);
    material->SetSpecularColor(1.0, 1.0, 1.0);
    material->SetSpecularPower(30.0);
}

vtkSmartPointer<vtkActor> litGreenSphere(const Point3& centre, double radius) {
    auto sphere = vtkSmartPointer<vtkSphereSource>::New();
    sphere->SetCenter(centre[0], centre[1], centre[2]);
    sphere->SetRadius(radius);
    sphere->SetPhiResolution(11);
    sphere->SetThetaResolution(21);
    auto mapper = vtkSmartPointer<vtkPolyDataMapper>::New();
    mapper->SetInputConnection(sphere->GetOutputPort());
    auto actor = vtkSmartPointer<vtkActor>::New();
    actor->SetMapper(mapper);
    applyLitGreen(actor->GetProperty());
    return actor;
}

vtkSmartPointer<vtkPolyData> constraintTriad() {
    auto cones = vtkSmartPointer<vtkAppendPolyData>::New();
    const std::pair<double, std::array<double, 3>> turns[] = {
        {0.0, {0, 0, 1}}, {90.0, {0, 0, 1}}, {-90.0, {0, 1, 0}}};
    for (const auto& [angle, axis] : turns) {
        auto cone = vtkSmartPointer<vtkConeSource>::New();
        cone->SetHeight(1.0);
        cone->SetResolution(8);
        // Shifted back by half its height, so the tip sits on the glyph point.
        cone->SetCenter(-0.5, 0.0, 0.0);
        auto turn = vtkSmartPointer<vtkTransform>::New();
        turn->RotateWXYZ(angle, axis[0], axis[1], axis[2]);
        auto turned = vtkSmartPointer<vtkTransformPolyDataFilter>::New();
        turned->SetTransform(turn);
        turned->SetInputConnection(cone->GetOutputPort());
        cones->AddInputConnection(turned->GetOutputPort());
    }
    cones->Update();
    return cones->GetOutput();
}

void placeLabelledPoint(const Point3& position, const std::string& label, int fontSize,
                        vtkTextProperty* textProperty, vtkTextActor3D* labelActor, vtkPoints* points,
                        vtkPolyData* polyData) {
    textProperty->SetFontSize(fontSize);
    textProperty->SetColor(1.0, 0.0, 0.0);
    textProperty->SetFontFamilyToTimes();
    labelActor->SetTextProperty(textProperty);
    labelActor->SetInput(label.c_str());
    labelActor->SetPosition(position[0], position[1], position[2]);

    points->Reset();
    points->InsertNextPoint(position.data());
    points->Modified();
    polyData->SetPoints(points);
}

} // namespace orvane
