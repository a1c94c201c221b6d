#include "scene/Glyphs.h"

#include <vtkActor.h>
#include <vtkAppendPolyData.h>
#include <vtkCellArray.h>
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

namespace {

// The lines between the points (in double precision) as one actor.
vtkSmartPointer<vtkActor> linesActor(vtkPoints* points, vtkCellArray* lines, const Point3& colour) {
    auto polyData = vtkSmartPointer<vtkPolyData>::New();
    polyData->SetPoints(points);
    polyData->SetLines(lines);
    auto mapper = vtkSmartPointer<vtkPolyDataMapper>::New();
    mapper->SetInputData(polyData);
    auto actor = vtkSmartPointer<vtkActor>::New();
    actor->SetMapper(mapper);
    actor->GetProperty()->SetColor(colour[0], colour[1], colour[2]);
    return actor;
}

} // namespace

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

vtkSmartPointer<vtkActor> polylineActor(const std::vector<Point3>& nodes, const Point3& colour) {
    auto points = vtkSmartPointer<vtkPoints>::New();
    points->SetDataTypeToDouble();
    auto lines = vtkSmartPointer<vtkCellArray>::New();
    for (std::size_t k = 0; k < nodes.size(); ++k) {
        points->InsertNextPoint(nodes[k].data());
        if (k > 0) {
            const vtkIdType segment[2] = {static_cast<vtkIdType>(k - 1), static_cast<vtkIdType>(k)};
            lines->InsertNextCell(2, segment);
        }
    }
    return linesActor(points, lines, colour);
}

vtkSmartPointer<vtkActor> spokesActor(const Point3& centre, const std::vector<Point3>& ends,
                                      const Point3& colour) {
    auto points = vtkSmartPointer<vtkPoints>::New();
    points->SetDataTypeToDouble();
    points->InsertNextPoint(centre.data());
    auto spokes = vtkSmartPointer<vtkCellArray>::New();
    for (const Point3& end : ends) {
        const vtkIdType spoke[2] = {0, points->InsertNextPoint(end.data())};
        spokes->InsertNextCell(2, spoke);
    }
    return linesActor(points, spokes, colour);
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
