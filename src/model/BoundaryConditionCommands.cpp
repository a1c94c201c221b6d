// Commands that set entity parameters, add entities, evaluate picked points
// and write the solver input files.

#include "app/Orvane.h"
#include "channel/ReplyText.h"
#include "commands/CommandTable.h"
#include "interaction/PointPickerCallback.h"
#include "model/Analysis.h"
#include "model/EntityEditor.h"
#include "model/EntityRules.h"
#include "results/SelectionFile.h"
#include "scene/PickedPointArrow.h"

#include <vtkActor.h>
#include <vtkPolyDataMapper.h>
#include <vtkProperty.h>
#include <vtkRegularPolygonSource.h>
#include <vtkRenderer.h>

#include <iostream>

namespace orvane {

namespace {

std::array<double, 6> sixReals(const CommandArguments& a, int first) {
    std::array<double, 6> values{};
    for (int i = 0; i < 6; ++i) {
        values[static_cast<std::size_t>(i)] = a.real(first + i);
    }
    return values;
}

} // namespace

std::vector<CommandRow> boundaryConditionCommands(Orvane* view) {
    constexpr ArgKind real = ArgKind::Real;
    constexpr ArgKind text = ArgKind::Text;
    const std::vector<ArgKind> six(6, real);
    // The model and its editor are created after the command table, so they
    // are looked up per command.
    const auto analysis = [view]() -> Analysis& { return *view->analysis; };
    const auto entities = [view]() -> EntityEditor& { return *view->entities; };
    return {
        {"arrowHighLight", "", six, "arrowHighLight FX FY FZ MX MY MZ",
         "Set the force and moment components of the next force",
         [analysis](const CommandArguments& a) { analysis().SetForceParameters(sixReals(a, 1)); }},
        {"frameHightLight",
         "",
         {real, real, real, real, real, real, real},
         "frameHightLight FX FY FZ MX MY MZ RADIUS",
         "Set the force components and the capture radius of the next RB3 element",
         [analysis](const CommandArguments& a) {
             analysis().SetForceParameters(sixReals(a, 1));
             analysis().captureRadius = a.real(7);
         }},
        {"fixHighLight", "", six, "fixHighLight TX TY TZ RX RY RZ",
         "Set the fixed translations and rotations (0 or 1) of the next constraint",
         [analysis](const CommandArguments& a) { analysis().SetFixParameters(sixReals(a, 1)); }},
        {"arrowAdd",
         "",
         {},
         "arrowAdd",
         "Turn the picked faces into a force and draw its arrows",
         [entities](const CommandArguments&) { entities().AddForce(); }},
        {"constrainAdd",
         "",
         {},
         "constrainAdd",
         "Turn the picked faces into a fixed constraint and draw its markers",
         [entities](const CommandArguments&) { entities().AddConstraint(); }},
        {"sphereAdd",
         "",
         {},
         "sphereAdd",
         "Turn the picked faces into an RB3 capture sphere",
         [entities](const CommandArguments&) { entities().AddRb3Capture(); }},
        {"node",
         "",
         {real, real, real, real},
         "node X Y Z RADIUS",
         "Add a node marker sphere",
         [entities](const CommandArguments& a) {
             entities().AddNodeMarker({a.real(1), a.real(2), a.real(3)}, a.real(4));
         }},
        {"mark",
         "",
         {text, real, real, real, real, real, real, real},
         "mark TEXT R G B FONT_SIZE X Y Z",
         "Add a text mark at a position",
         [analysis, entities](const CommandArguments& a) {
             analysis().markText = a.text(1);
             analysis().position = {a.real(6), a.real(7), a.real(8)};
             entities().AddTextMark({a.real(2), a.real(3), a.real(4)}, a.real(5));
         }},
        {"judge",
         "",
         {},
         "judge",
         "Evaluate the known points against the last pick and reply the points chosen",
         [view](const CommandArguments&) { view->Judge(); }},
        {"sphere",
         "1",
         {real},
         "sphere 1 RADIUS",
         "Show the probe disc at the picked point with a radius",
         [view](const CommandArguments& a) {
             view->ProbeDisc(view->pointPickerCallback->pickedPosition, view->pickedArrow->direction,
                             a.real(2));
         }},
        {"sphere",
         "2",
         {real, real, real, real, real, real, real},
         "sphere 2 RADIUS X Y Z NX NY NZ",
         "Show the probe disc at a centre with a normal and a radius",
         [view](const CommandArguments& a) {
             view->ProbeDisc({a.real(3), a.real(4), a.real(5)}, {a.real(6), a.real(7), a.real(8)}, a.real(2));
         }},
        {"materials",
         "",
         {real, real, real, real, real},
         "materials UNUSED M1 M2 M3 M4",
         "Record four material values for the solver file",
         [analysis](const CommandArguments& a) {
             for (int word = 2; word <= 5; ++word) {
                 analysis().model.materials.push_back(a.real(word));
             }
         }},
        {"BPP",
         "",
         {ArgKind::Int, ArgKind::Int},
         "BPP FIRST SECOND",
         "Record two integer solver settings",
         [analysis](const CommandArguments& a) {
             analysis().model.bpp = {a.integer(1), a.integer(2)};
         }},
        {"preFiles",
         "",
         {text},
         "preFiles DATA_ROOT/",
         "Write the solver input file data/preFiles.txt; replies \"file is generated!\"",
         [view, analysis](const CommandArguments& a) {
             // No reply when nothing was written: it would report the failure as success.
             if (analysis().WritePreFiles(a.text(1))) {
                 view->sendReply("message", "file is generated!");
             }
         }},
        {"txt",
         "",
         {text},
         "txt FILE",
         "Write the picked point entities to a text file; replies \"file is generated\"",
         [view](const CommandArguments& a) {
             if (writeSelectionFile(a.text(1), view->pickedArrow->label, view->pickedArrow->direction,
                                    view->pointLists->selectedPointIndices,
                                    view->pointLists->selectedPointCoords)) {
                 view->sendReply("message", "file is generated");
             }
         }},
        {"beamSave",
         "",
         {text},
         "beamSave DIRECTORY",
         "Write the beam file of the solver",
         [analysis](const CommandArguments& a) { analysis().WriteBeamFile(a.text(1)); }},
        {"springSave",
         "",
         {text},
         "springSave DIRECTORY",
         "Write the spring file of the solver",
         [analysis](const CommandArguments& a) { analysis().WriteSpringFile(a.text(1)); }},
    };
}

} // namespace orvane

void Orvane::Judge() {
    pointLists->selectedPointIndices.clear();
    pointLists->selectedPointCoords.clear();
    const orvane::Point3 picked = pointPickerCallback->pickedPosition;
    for (const orvane::Point3& point : pointLists->pointCoords) {
        sendReply("message", orvane::joinReplyItems({orvane::sixDigits(picked[0] - point[0]),
                                                     orvane::sixDigits(picked[1] - point[1]),
                                                     orvane::sixDigits(picked[2] - point[2])}));
    }
    for (const int index : orvane::judgeSelection(picked, pointLists->pointCoords, pickedArrow->direction,
                                                  pointLists->sphereRadius)) {
        const orvane::Point3& point = pointLists->pointCoords[static_cast<std::size_t>(index)];
        pointLists->selectedPointIndices.push_back(index);
        pointLists->selectedPointCoords.push_back(point);
        sendReply("message", orvane::joinReplyItems({orvane::sixDigits(point[0]), orvane::sixDigits(point[1]),
                                                     orvane::sixDigits(point[2])}));
    }
}

void Orvane::ProbeDisc(const orvane::Point3& centre, const orvane::Point3& normal, double radius) {
    auto disc = vtkSmartPointer<vtkRegularPolygonSource>::New();
    disc->SetNumberOfSides(50);
    disc->SetRadius(radius);
    disc->SetCenter(centre[0], centre[1], centre[2]);
    disc->SetNormal(normal[0], normal[1], normal[2]);
    auto mapper = vtkSmartPointer<vtkPolyDataMapper>::New();
    mapper->SetInputConnection(disc->GetOutputPort());
    auto actor = vtkSmartPointer<vtkActor>::New();
    actor->SetMapper(mapper);
    actor->GetProperty()->SetColor(1.0, 0.0, 0.0);
    actor->GetProperty()->SetOpacity(0.2);
    renderer->AddActor(actor);
    pointLists->sphereRadius = radius;
    renderView();
}
