// The display-side beam model of the main window: node lists along an axis,
// pickable nodes, load and constraint markers on picked nodes; and the small
// reports on the current target.

#include "app/Orvane.h"
#include "channel/ReplyText.h"
#include "commands/CommandTable.h"
#include "commands/CommandWords.h"
#include "commands/InputLimits.h"
#include "interaction/MouseInteractorHighLightActor.h"
#include "interaction/PointPickerCallback.h"
#include "model/Analysis.h"
#include "model/EntityEditor.h"
#include "model/EntityRules.h"
#include "scene/Glyphs.h"
#include "scene/PickGeometry.h"
#include "scene/PickedPointArrow.h"
#include "scene/SceneRegistry.h"

#include <BRepGProp.hxx>
#include <BRep_Tool.hxx>
#include <GProp_GProps.hxx>
#include <Geom_CylindricalSurface.hxx>
#include <Geom_SphericalSurface.hxx>
#include <Standard_Failure.hxx>
#include <TopoDS.hxx>

#include <vtkActor.h>
#include <vtkAssembly.h>
#include <vtkCellArray.h>
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
#include <vtkTrivialProducer.h>

#include <iostream>
#include <sstream>

namespace orvane {

std::vector<CommandRow> beamNodeCommands(Orvane* view) {
    constexpr ArgKind real = ArgKind::Real;
    constexpr ArgKind integer = ArgKind::Int;
    constexpr ArgKind text = ArgKind::Text;
    return {
        {"beamMesh",
         "",
         {real, real, real, real, real, real, real, real},
         "beamMesh SEGMENTS LENGTH AX AY AZ X Y Z",
         "Generate a beam node list along an axis from a start point",
         [view](const CommandArguments& a) {
             view->beamMesh(a.real(1), a.real(2),
                            {truncateToInt(a.real(3)), truncateToInt(a.real(4)), truncateToInt(a.real(5))},
                            {a.real(6), a.real(7), a.real(8)});
         }},
        {"showPoint",
         "",
         {integer, real, real, real, real},
         "showPoint BEAM R G B OPACITY",
         "Recolour one beam and make its nodes pickable points",
         [view](const CommandArguments& a) {
             view->showPoint(a.integer(1), {a.real(2), a.real(3), a.real(4)}, a.real(5));
         }},
        {"peidianPicker",
         "",
         {integer, text, integer},
         "peidianPicker MODE POINT_FILE BEAM",
         "Mode 1: load a point file; mode 2: make the nodes of one beam pickable",
         [view](const CommandArguments& a) {
             if (a.integer(1) == 1) {
                 view->LoadPointFile(a.text(2));
             } else if (a.integer(1) == 2) {
                 view->pickBeamNodes(a.integer(3));
             }
         }},
        {"arrowBeam",
         "",
         {text, real, real, real},
         "arrowBeam LABEL DX DY DZ",
         "Put a load marker on the picked beam node; replies its position and \"id\"",
         [view](const CommandArguments& a) {
             view->arrowBeam(a.text(1), {a.real(2), a.real(3), a.real(4)});
         }},
        {"fixBeam",
         "",
         {text},
         "fixBeam LABEL",
         "Put a constraint marker on the picked beam node; replies its position",
         [view](const CommandArguments& a) { view->fixBeam(a.text(1)); }},
        {"connect",
         "",
         {},
         "connect",
         "Draw lines from the picked point to the points chosen by judge",
         [view](const CommandArguments&) { view->connectSelected(); }},
        {"getFaceCenter",
         "",
         {},
         "getFaceCenter",
         "Mark the centre of the target face",
         [view](const CommandArguments&) { view->getFaceCenter(); }},
        {"MatIds",
         "",
         {},
         "MatIds",
         "Reply \"id\" with the solid index of the target",
         [view](const CommandArguments&) { view->matIds(); }},
    };
}

} // namespace orvane

namespace {

constexpr int beamLoadSlot = 666;
constexpr int beamFixSlot = 777;
constexpr double coincidenceTolerance = 0.01;

bool validGroup(const std::vector<std::vector<orvane::Point3>>& groups, int group, const char* command) {
    if (group < 0 || static_cast<std::size_t>(group) >= groups.size()) {
        std::cerr << "orvane: " << command << ": no beam " << group << " (" << groups.size() << " meshed)\n";
        return false;
    }
    return true;
}

} // namespace

void Orvane::beamMesh(double segments, double length, const std::array<int, 3>& axisFlags,
                      const orvane::Point3& start) {
    if (std::optional<std::string> problem =
            orvane::overLimit("SEGMENTS", segments, orvane::limits::beamMeshSegments)) {
        std::cerr << "orvane: beamMesh: refused: " << *problem << "\n";
        return;
    }
    pointLists->beamPoints = orvane::beamMeshNodes(segments, length, axisFlags, start);
    pointLists->beamPointGroups.push_back(pointLists->beamPoints);
}

void Orvane::showPoint(int group, const orvane::Colour& colour, double opacity) {
    orvane::recolourPart(scene->beamAssembly, group, colour, opacity);
    if (!validGroup(pointLists->beamPointGroups, group, "showPoint")) {
        return;
    }
    pointLists->pointCoords.clear();
    auto points = vtkSmartPointer<vtkPoints>::New();
    points->SetDataTypeToDouble();
    auto vertices = vtkSmartPointer<vtkCellArray>::New();
    for (const orvane::Point3& node : pointLists->beamPointGroups[static_cast<std::size_t>(group)]) {
        const vtkIdType id = points->InsertNextPoint(node.data());
        vertices->InsertNextCell(1, &id);
        pointLists->pointCoords.push_back(node);
    }
    auto polyData = vtkSmartPointer<vtkPolyData>::New();
    polyData->SetPoints(points);
    polyData->SetVerts(vertices);
    auto mapper = vtkSmartPointer<vtkPolyDataMapper>::New();
    mapper->SetInputData(polyData);
    auto actor = vtkSmartPointer<vtkActor>::New();
    actor->SetMapper(mapper);
    actor->GetProperty()->SetColor(0.0, 1.0, 0.0);
    actor->GetProperty()->SetPointSize(5.0);
    scene->beamPointAssembly->AddPart(actor);
    renderer->AddActor(scene->beamPointAssembly);
    pointPickerCallback->points = pointLists->pointCoords;
    renderView();
}

void Orvane::pickBeamNodes(int group) {
    if (!validGroup(pointLists->beamPointGroups, group, "peidianPicker")) {
        return;
    }
    pointLists->pointCoords = pointLists->beamPointGroups[static_cast<std::size_t>(group)];
    pointPickerCallback->points = pointLists->pointCoords;
    renderView();
}

void Orvane::placeBeamMarker(int markerSlot, const std::string& label, vtkAlgorithmOutput* glyphSource,
                             const orvane::Colour& colour) {
    auto mapper = vtkSmartPointer<vtkPolyDataMapper>::New();
    auto actor = vtkSmartPointer<vtkActor>::New();
    auto glyph = vtkSmartPointer<vtkGlyph3D>::New();
    auto points = vtkSmartPointer<vtkPoints>::New();
    auto polyData = vtkSmartPointer<vtkPolyData>::New();
    auto textProperty = vtkSmartPointer<vtkTextProperty>::New();
    auto textActor = vtkSmartPointer<vtkTextActor3D>::New();
    orvane::SceneRegistry& tables = *scene;
    tables.mappers.set(markerSlot, mapper);
    tables.actors.set(markerSlot, actor);
    tables.glyphs.set(markerSlot, glyph);
    tables.pointSets.set(markerSlot, points);
    tables.polyDatas.set(markerSlot, polyData);
    tables.textProperties.set(markerSlot, textProperty);
    tables.textActors.set(markerSlot, textActor);

    const orvane::Point3 picked = pointPickerCallback->pickedPosition;
    points->SetDataTypeToDouble();
    orvane::placeLabelledPoint(picked, label, 20, textProperty, textActor, points, polyData);

    sendReply("message", orvane::joinReplyItems({orvane::sixDigits(picked[0]), orvane::sixDigits(picked[1]),
                                                 orvane::sixDigits(picked[2])}));

    glyph->SetInputData(polyData);
    glyph->SetSourceConnection(glyphSource);
    glyph->SetScaleFactor(10.0);
    mapper->SetInputConnection(glyph->GetOutputPort());
    // Each marker keeps its own colour: a property shared with the other
    // markers would repaint them all with the last colour.
    auto property = vtkSmartPointer<vtkProperty>::New();
    property->SetRepresentationToWireframe();
    property->SetColor(colour[0], colour[1], colour[2]);
    actor->SetMapper(mapper);
    actor->SetProperty(property);
    tables.beamMarkerAssembly->AddPart(actor);
    tables.beamLabelAssembly->AddPart(textActor);
    renderer->AddActor(tables.beamMarkerAssembly);
    renderer->AddActor(tables.beamLabelAssembly);
}

void Orvane::arrowBeam(const std::string& label, const orvane::Point3& direction) {
    scene->slot = beamLoadSlot;
    pickedArrow->label = label;
    pickedArrow->direction = direction;
    if (!pointPickerCallback->pickedValid) {
        return;
    }
    const std::optional<orvane::AxisRotation> rotation = orvane::rotationFromXAxis(direction);
    if (!rotation) {
        std::cerr << "orvane: arrowBeam: the direction has no length\n";
        return;
    }
    auto transform = vtkSmartPointer<vtkTransform>::New();
    auto transformFilter = vtkSmartPointer<vtkTransformFilter>::New();
    scene->transforms.set(beamLoadSlot, transform);
    scene->transformFilters.set(beamLoadSlot, transformFilter);

    pickedArrow->turnSource(transform, transformFilter, *rotation);

    placeBeamMarker(beamLoadSlot, label, transformFilter->GetOutputPort(), {1.0, 0.0, 1.0});
    const orvane::Point3 picked = pointPickerCallback->pickedPosition;
    for (const int index : orvane::pointsWithin(picked, pointLists->pointCoords, coincidenceTolerance)) {
        sendReply("id", std::to_string(index));
    }
    renderView();
    pointPickerCallback->pickedValid = false;
}

void Orvane::fixBeam(const std::string& label) {
    scene->slot = beamFixSlot;
    pickedArrow->label = label;
    if (!pointPickerCallback->pickedValid) {
        return;
    }
    auto triad = vtkSmartPointer<vtkTrivialProducer>::New();
    triad->SetOutput(orvane::constraintTriad());
    placeBeamMarker(beamFixSlot, label, triad->GetOutputPort(), {1.0, 0.4784, 0.0});
    renderView();
}

void Orvane::connectSelected() {
    renderer->AddActor(orvane::spokesActor(pointPickerCallback->pickedPosition,
                                           pointLists->selectedPointCoords, {0.0, 1.0, 0.0}));
    renderView();
}

void Orvane::getFaceCenter() {
    const std::vector<TopoDS_Face>& faces = pickingStyle->faces;
    const std::string& target = analysis->target;
    std::istringstream words(target);
    std::string letter;
    std::string group;
    int face = -1;
    if (!(words >> letter >> group >> face) || letter != "F" || face < 0 ||
        static_cast<std::size_t>(face) >= faces.size()) {
        std::cerr << "orvane: getFaceCenter: the target '" << target << "' is not a face of the model\n";
        return;
    }
    std::cout << face << std::endl;
    const TopoDS_Face& shape = faces[static_cast<std::size_t>(face)];
    orvane::Point3 centre{};
    try {
        const Handle(Geom_Surface) surface = BRep_Tool::Surface(shape);
        gp_Pnt point;
        if (const auto cylinder = Handle(Geom_CylindricalSurface)::DownCast(surface); !cylinder.IsNull()) {
            point = cylinder->Location();
        } else if (const auto sphere = Handle(Geom_SphericalSurface)::DownCast(surface); !sphere.IsNull()) {
            point = sphere->Location();
        } else {
            GProp_GProps properties;
            BRepGProp::SurfaceProperties(shape, properties);
            point = properties.CentreOfMass();
        }
        centre = {point.X(), point.Y(), point.Z()};
    } catch (const Standard_Failure& failure) {
        std::cerr << "orvane: getFaceCenter: " << failure.GetMessageString() << "\n";
        return;
    }
    std::cout << centre[0] << " " << centre[1] << " " << centre[2] << std::endl;
    entities->AddNodeMarker(centre, 10.0);
}

void Orvane::matIds() {
    std::istringstream words(analysis->target);
    std::string letter;
    std::string group;
    std::string solid;
    if (words >> letter >> group >> solid && letter == "S") {
        sendReply("id", solid);
    }
}
