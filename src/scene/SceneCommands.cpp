// The scene commands: plain STL models, appearance of assembly parts, camera,
// and the scene reset. The tables and assemblies they fill are the scene
// registry's (SceneRegistry.h).

#include "app/Orvane.h"
#include "channel/ReplyText.h"
#include "commands/CommandTable.h"
#include "commands/CommandWords.h"
#include "interaction/MouseInteractorHighLightActor.h"
#include "interaction/PointPickerCallback.h"
#include "scene/SceneRegistry.h"
#include "scene/StlReading.h"

#include <QVTKOpenGLStereoWidget.h>

#include <vtkActor.h>
#include <vtkAssembly.h>
#include <vtkCamera.h>
#include <vtkCellArray.h>
#include <vtkErrorCode.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkPolyDataMapper.h>
#include <vtkProperty.h>
#include <vtkRenderWindowInteractor.h>
#include <vtkRenderer.h>
#include <vtkSTLReader.h>

#include <iostream>

using orvane::ArgKind;
using orvane::Colour;
using orvane::CommandArguments;
using orvane::CommandRow;

namespace {

// Reads the STL file unless it is refused; a refused or unreadable file
// leaves the reader empty and gets a diagnostic, and so does a file without
// facets.
void readStlChecked(vtkSTLReader* reader, const std::string& file) {
    if (!orvane::readStlFile(reader, file)) {
        return;
    }
    if (reader->GetErrorCode() != vtkErrorCode::NoError) {
        std::cerr << "orvane: cannot read STL file '" << file << "'\n";
    } else if (reader->GetOutput()->GetNumberOfCells() == 0) {
        std::cerr << "orvane: STL file '" << file << "' holds no facets\n";
    }
}

Colour colourAt(const CommandArguments& args, int firstWord) {
    return {args.real(firstWord), args.real(firstWord + 1), args.real(firstWord + 2)};
}

} // namespace

namespace orvane {

std::vector<CommandRow> sceneCommands(Orvane* view) {
    constexpr ArgKind text = ArgKind::Text;
    constexpr ArgKind integer = ArgKind::Int;
    constexpr ArgKind real = ArgKind::Real;
    const std::vector<ArgKind> appearance{integer, real, real, real, real};
    return {
        {"readStl",
         "1",
         {text},
         "readStl 1 STL_FILE",
         "Show an STL file as the yellow model and reset the camera",
         [view](const CommandArguments& a) { view->readStl(a.text(2)); }},
        {"readModelSTL",
         "",
         {text, real, real, real, real, real},
         "readModelSTL STL_FILE SLOT R G B OPACITY",
         "Load an STL part into the model assembly at a slot, with colour and opacity; replies the slot and "
         "colour",
         [view](const CommandArguments& a) {
             view->readModelSTL(a.text(1), a.real(2), colourAt(a, 3), a.real(6));
         }},
        {"changeModel", "", appearance, "changeModel PART R G B OPACITY",
         "Recolour one part of the model assembly",
         [view](const CommandArguments& a) { view->changeModel(a.integer(1), colourAt(a, 2), a.real(5)); }},
        {"closeBeam", "", appearance, "closeBeam PART R G B OPACITY", "Recolour one beam and its end points",
         [view](const CommandArguments& a) { view->closeBeam(a.integer(1), colourAt(a, 2), a.real(5)); }},
        {"showSpring", "", appearance, "showSpring PART R G B OPACITY", "Recolour one spring",
         [view](const CommandArguments& a) { view->showSpring(a.integer(1), colourAt(a, 2), a.real(5)); }},
        {"Opacity",
         "1",
         {},
         "Opacity 1",
         "Make the result surface and the point cloud transparent",
         [view](const CommandArguments&) { view->setResultOpacity(true); }},
        {"Opacity",
         "0",
         {},
         "Opacity 0",
         "Make the result surface and the point cloud opaque",
         [view](const CommandArguments&) { view->setResultOpacity(false); }},
        {"reset",
         "",
         {},
         "reset",
         "Reset the camera to look along +z at the whole scene",
         [view](const CommandArguments&) { view->resetCamera(); }},
        {"screenshot",
         "",
         {text},
         "screenshot PNG_FILE",
         "Render the view and write it as a PNG file; replies \"screenshot\" with the path, or an empty text "
         "on failure",
         [view](const CommandArguments& a) { view->screenshot(a.text(1)); }},
        {"showBeam",
         "",
         {},
         "showBeam",
         "Draw the beam polyline through the beam points; replies each point and \"add line\"",
         [view](const CommandArguments&) { view->showBeam(); }},
    };
}

} // namespace orvane

void Orvane::readStl(const std::string& file) {
    auto mapper = vtkSmartPointer<vtkPolyDataMapper>::New();
    auto actor = vtkSmartPointer<vtkActor>::New();
    scene->mappers.set(0, mapper);
    scene->actors.set(0, actor);

    readStlChecked(scene->modelReader, file);
    mapper->SetInputConnection(scene->modelReader->GetOutputPort());
    actor->SetMapper(mapper);
    actor->GetProperty()->SetColor(1.0, 1.0, 0.0);
    renderer->AddActor(actor);

    applyGradientBackground();
    resetCamera();
    LoadGaussDataFiles();
    std::cout << "11" << std::endl;
}

void Orvane::readModelSTL(const std::string& file, double slotNumber, const Colour& colour, double opacity) {
    const int modelSlot = orvane::truncateToInt(slotNumber);
    if (!orvane::isValidSlot(modelSlot)) {
        std::cerr << "orvane: readModelSTL: slot " << modelSlot << " is outside 0 to "
                  << (orvane::SLOT_CAPACITY - 1) << "\n";
        return;
    }
    orvane::SceneRegistry& tables = *scene;
    if (modelSlot == tables.lastModelIndex) {
        return;
    }

    auto mapper = vtkSmartPointer<vtkPolyDataMapper>::New();
    auto actor = vtkSmartPointer<vtkActor>::New();
    auto reader = vtkSmartPointer<vtkSTLReader>::New();
    tables.mappers.set(modelSlot, mapper);
    tables.actors.set(modelSlot, actor);
    tables.modelRenderers.set(modelSlot, vtkSmartPointer<vtkRenderer>::New());
    tables.stlReaders.set(modelSlot, reader);

    readStlChecked(reader, file);
    mapper->SetInputConnection(reader->GetOutputPort());
    actor->SetMapper(mapper);
    actor->GetProperty()->SetColor(colour[0], colour[1], colour[2]);
    actor->GetProperty()->SetOpacity(opacity);

    tables.modelAssembly->AddPart(actor);
    renderer->AddActor(tables.modelAssembly);

    sendReply("message", orvane::joinReplyItems({std::to_string(modelSlot), orvane::sixDigits(colour[0]),
                                                 orvane::sixDigits(colour[1]), orvane::sixDigits(colour[2]),
                                                 orvane::sixDigits(opacity)}));
    renderView();
    tables.lastModelIndex = modelSlot;
}

void Orvane::changeModel(int part, const Colour& colour, double opacity) {
    orvane::recolourPart(scene->modelAssembly, part, colour, opacity);
}

void Orvane::closeBeam(int part, const Colour& colour, double opacity) {
    orvane::recolourPart(scene->beamAssembly, part, colour, opacity);
    orvane::recolourPart(scene->beamPointAssembly, part, colour, opacity);
    renderView();
}

void Orvane::showSpring(int part, const Colour& colour, double opacity) {
    orvane::recolourPart(scene->springAssembly, part, colour, opacity);
    renderView();
}

void Orvane::setResultOpacity(bool transparent) {
    results->resultActor->GetProperty()->SetOpacity(transparent ? 0.2 : 1.0);
    if (vtkActor* pointCloud = scene->actors.get(orvane::POINT_CLOUD_SLOT)) {
        pointCloud->GetProperty()->SetOpacity(transparent ? 0.05 : 1.0);
    }
}

void Orvane::resetCamera() {
    vtkCamera* camera = renderer->GetActiveCamera();
    camera->SetPosition(0.0, 0.0, -1.0);
    camera->SetFocalPoint(0.0, 0.0, 0.0);
    renderer->ResetCamera();
    camera->SetViewUp(0.0, 1.0, 0.0);
    renderView();
}

void Orvane::showBeam() {
    const std::vector<orvane::Point3> points = pointLists->beamPoints;
    auto linePoints = vtkSmartPointer<vtkPoints>::New();
    for (const orvane::Point3& point : points) {
        sendReply("message", orvane::joinReplyItems({orvane::sixDigits(point[0]), orvane::sixDigits(point[1]),
                                                     orvane::sixDigits(point[2])}));
        linePoints->InsertNextPoint(point.data());
    }
    auto line = vtkSmartPointer<vtkCellArray>::New();
    if (!points.empty()) {
        line->InsertNextCell(static_cast<vtkIdType>(points.size()));
        for (vtkIdType i = 0; i < static_cast<vtkIdType>(points.size()); ++i) {
            line->InsertCellPoint(i);
        }
    }
    auto polyData = vtkSmartPointer<vtkPolyData>::New();
    polyData->SetPoints(linePoints);
    polyData->SetLines(line);
    auto mapper = vtkSmartPointer<vtkPolyDataMapper>::New();
    mapper->SetInputData(polyData);
    auto actor = vtkSmartPointer<vtkActor>::New();
    actor->SetMapper(mapper);
    actor->GetProperty()->SetColor(0.0, 1.0, 0.0);

    sendReply("message", "add line");
    scene->beamAssembly->AddPart(actor);
    renderer->AddActor(scene->beamAssembly);
    renderView();
}

void Orvane::clearScene() {
    // The picking style lets go of every highlight while the actors still
    // exist, so neither the mouse nor a key reaches a removed one.
    pickingStyle->forgetPicks();
    vtkWidget->interactor()->RemoveObserver(pointPickerCallback);
    renderer->RemoveAllViewProps();
}
