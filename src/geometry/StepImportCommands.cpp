// STEP import, face B-rep export with the Gauss-point job, and sphere cuts.

#include "app/DataPaths.h"
#include "app/FileChecks.h"
#include "app/Orvane.h"
#include "commands/CommandTable.h"
#include "commands/InputLimits.h"
#include "geometry/CafModel.h"
#include "geometry/FaceBrep.h"
#include "geometry/ProcessRunner.h"
#include "geometry/ShapeExporter.h"
#include "geometry/SphereCut.h"
#include "geometry/StepModel.h"
#include "interaction/MouseInteractorHighLightActor.h"
#include "interaction/PointPickerCallback.h"
#include "scene/ActorNames.h"

#include <QVTKOpenGLStereoWidget.h>

#include <BRepBndLib.hxx>
#include <Bnd_Box.hxx>
#include <Standard_Failure.hxx>
#include <gp_Pnt.hxx>

#include <vtkActor.h>
#include <vtkCamera.h>
#include <vtkPolyDataMapper.h>
#include <vtkProperty.h>
#include <vtkRenderWindowInteractor.h>
#include <vtkRenderer.h>
#include <vtkSTLReader.h>
#include <vtkSphereSource.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <iostream>
#include <optional>
#include <sstream>

namespace fs = std::filesystem;
namespace dp = orvane::datapaths;

namespace orvane {

std::vector<CommandRow> stepImportCommands(Orvane* view) {
    constexpr ArgKind real = ArgKind::Real;
    return {
        {"openSTLFile",
         "",
         {ArgKind::Text, ArgKind::Text},
         "openSTLFile DATA_ROOT STEP_FILE",
         "Import a STEP model: write its solids and faces as STL files under the data root and show them; "
         "reports progress",
         [view](const CommandArguments& a) {
             view->sendReply("message", "open");
             view->OpenStepFile(a.text(1), a.text(2));
         }},
        {"genBrep",
         "",
         {ArgKind::Int},
         "genBrep FACE",
         "Write a face as a B-rep file and run the Gauss-point program on it",
         [view](const CommandArguments& a) { view->ExportFaceBrep(a.integer(1)); }},
        {"generateBreps",
         "",
         {},
         "generateBreps",
         "Write the picked face as a B-rep file and run the Gauss-point program on it",
         [view](const CommandArguments&) { view->ExportTargetFaceBrep(); }},
        {"cutBrep",
         "",
         {real, real, real, real},
         "cutBrep X Y Z RADIUS",
         "Cut the model faces with a sphere and write and show the pieces inside",
         [view](const CommandArguments& a) {
             view->CutWithSphere({a.real(1), a.real(2), a.real(3)}, a.real(4));
         }},
    };
}

} // namespace orvane

namespace {

// Regular files directly inside the directory; nullopt when it cannot be listed.
std::optional<int> countRegularFiles(const std::string& directory) {
    std::error_code error;
    fs::directory_iterator entry(fs::u8path(directory), error);
    if (error) {
        std::cerr << "orvane: cannot list " << directory << ": " << error.message() << "\n";
        return std::nullopt;
    }
    int count = 0;
    for (; entry != fs::directory_iterator(); entry.increment(error)) {
        if (error) {
            std::cerr << "orvane: cannot list " << directory << ": " << error.message() << "\n";
            return std::nullopt;
        }
        std::error_code statusError;
        count += fs::is_regular_file(entry->path(), statusError) ? 1 : 0;
    }
    return count;
}

vtkSmartPointer<vtkActor> stlActor(const std::string& path) {
    auto reader = vtkSmartPointer<vtkSTLReader>::New();
    if (std::optional<std::string> problem = orvane::stlFileProblem(path)) {
        // An empty actor keeps the numbering of the faces and solids.
        std::cerr << "orvane: cannot read STL file '" << path << "': " << *problem << "\n";
    } else {
        reader->SetFileName(path.c_str());
        reader->Update();
    }
    auto mapper = vtkSmartPointer<vtkPolyDataMapper>::New();
    mapper->SetInputConnection(reader->GetOutputPort());
    auto actor = vtkSmartPointer<vtkActor>::New();
    actor->SetMapper(mapper);
    return actor;
}

} // namespace

void Orvane::OpenStepFile(const std::string& root, const std::string& stepPath) {
    clearScene();

    // Parsing the file reports no steps of its own; the transfer into shapes does.
    constexpr long long transferSteps = 1000;
    reportProgress("read", 0, transferSteps);
    // A root that cannot form paths, or a file the parser must not see (not
    // a regular file, or nested deep enough to exhaust its stack), ends the
    // command like an unreadable file.
    std::optional<std::string> refusal;
    if (std::optional<std::string> problem = orvane::pathProblem(root)) {
        refusal = "data root refused: " + *problem;
    } else if (std::optional<std::string> fileProblem =
                   orvane::stepFileProblem(stepPath, orvane::limits::stepNestingDepth)) {
        refusal = "cannot read STEP file '" + stepPath + "': " + *fileProblem;
    }
    if (refusal) {
        std::cerr << "orvane: openSTLFile: " << *refusal << "\n";
        reportProgress("read", transferSteps, transferSteps);
        renderView();
        return;
    }
    std::optional<orvane::StepModel> model =
        orvane::readStepModel(stepPath, std::cout, [this](double fraction) {
            // The phase completes once, after the shapes are taken out.
            reportProgress("read", std::min(std::llround(fraction * transferSteps), transferSteps - 1),
                           transferSteps);
        });
    reportProgress("read", transferSteps, transferSteps);
    if (!model) {
        renderView();
        return;
    }

    // Each solid and face is triangulated and written as its own STL file.
    const auto meshTotal = static_cast<long long>(model->solids.size() + model->faces.size());
    long long meshed = 0;
    reportProgress("mesh", meshed, meshTotal);
    std::vector<std::string> written;
    for (std::size_t i = 0; i < model->solids.size(); ++i) {
        if (orvane::exportShapeStl(model->solids[i], dp::solidStl(root, static_cast<int>(i)))) {
            written.push_back(dp::solidStl(root, static_cast<int>(i)));
        }
        reportProgress("mesh", ++meshed, meshTotal);
    }
    std::vector<std::array<double, 6>> boxes;
    boxes.reserve(model->faces.size());
    for (std::size_t i = 0; i < model->faces.size(); ++i) {
        if (orvane::exportShapeStl(model->faces[i], dp::faceStl(root, static_cast<int>(i)))) {
            written.push_back(dp::faceStl(root, static_cast<int>(i)));
        }
        boxes.push_back(orvane::faceBox(model->faces[i]));
        reportProgress("mesh", ++meshed, meshTotal);
    }

    reportProgress("write", 0, 1);
    orvane::CafModel wholeModel;
    wholeModel.document = model->document;
    wholeModel.WriteStl(dp::modelStl(root), true, true);
    reportProgress("write", 1, 1);
    orvane::closeDocument(model->document);
    model->document.Nullify();

    const std::optional<int> faceFiles = countRegularFiles(dp::stepDir(root));
    const std::optional<int> solidFiles = countRegularFiles(dp::solidDir(root));
    if (!faceFiles || !solidFiles) {
        std::cerr << "orvane: openSTLFile: the import into " << root << " stopped\n";
        return;
    }
    faceFileCount = *faceFiles;
    solidFileCount = *solidFiles;

    // The files just written are read back as the actors of the view.
    const long long showTotal = faceFileCount + solidFileCount + 1LL;
    long long shown = 0;
    reportProgress("show", shown, showTotal);
    std::vector<vtkSmartPointer<vtkActor>> faceActors;
    for (int i = 0; i < faceFileCount; ++i) {
        vtkSmartPointer<vtkActor> actor = stlActor(dp::faceStl(root, i));
        reportProgress("show", ++shown, showTotal);
        // A highlighted face lies in the surface of its translucent solid: draw it in front.
        actor->GetMapper()->SetRelativeCoincidentTopologyPolygonOffsetParameters(-2.0, -2.0);
        orvane::setActorName(actor, "F 0 " + std::to_string(i));
        faceActors.push_back(actor);
    }
    std::vector<vtkSmartPointer<vtkActor>> solidActors;
    for (int i = 0; i < solidFileCount; ++i) {
        vtkSmartPointer<vtkActor> actor = stlActor(dp::solidStl(root, i));
        reportProgress("show", ++shown, showTotal);
        orvane::setActorName(actor, "S 0 " + std::to_string(i));
        solidActors.push_back(actor);
    }
    vtkSmartPointer<vtkActor> modelActor = stlActor(dp::modelStl(root));
    reportProgress("show", ++shown, showTotal);
    modelActor->GetProperty()->SetOpacity(0.8);

    for (const auto& actor : faceActors) {
        actor->VisibilityOff();
        renderer->AddActor(actor);
    }
    for (const auto& actor : solidActors) {
        actor->VisibilityOn();
        actor->GetProperty()->SetOpacity(0.8);
        renderer->AddActor(actor);
    }

    pickingStyle->faceActors = std::move(faceActors);
    pickingStyle->modelActor = modelActor;
    pickingStyle->faces = model->faces;
    pickingStyle->faceBoxes = std::move(boxes);
    pickingStyle->dataRoot = root;
    pickingStyle->model.stepPath = stepPath;
    pickingStyle->lastPickedActor = nullptr;
    pickingStyle->highlightedFaces.clear();

    vtkCamera* camera = renderer->GetActiveCamera();
    camera->SetPosition(0.0, 0.0, -1.0);
    camera->SetFocalPoint(0.0, 0.0, 0.0);
    renderer->ResetCamera();
    camera->SetViewUp(0.0, 1.0, 0.0);

    if (solidFileCount == 0) {
        renderer->AddActor(modelActor);
    }
    renderView();

    stepDir = dp::stepDir(root);
    solidDir = dp::solidDir(root);
    cutDir = dp::cutDir(root);
    importFiles = std::move(written);
    workingShape = model->workingShape;
    sendReply("message", "step_file_loaded_flag");
}

void Orvane::ExportFaceBrep(int face) {
    const std::vector<TopoDS_Face>& faces = pickingStyle->faces;
    if (face < 0 || static_cast<std::size_t>(face) >= faces.size()) {
        std::cerr << "orvane: genBrep: no face " << face << " (the model has " << faces.size() << " faces)\n";
        return;
    }
    const std::string& root = pickingStyle->dataRoot;
    const std::string brepPath = dp::faceBrep(root, face);
    if (orvane::writeFaceBrep(faces[static_cast<std::size_t>(face)], brepPath)) {
        pickingStyle->model.brepFiles.push_back(brepPath);
    }
    const std::string gaussPath = dp::gaussPoints(root);
    orvane::runProgram(dp::gaussProgram(root), {brepPath, gaussPath}, std::cerr);
    const std::vector<orvane::GaussPoint> points = orvane::readGaussPoints(gaussPath, face);
    pickingStyle->gaussPoints.insert(pickingStyle->gaussPoints.end(), points.begin(), points.end());
}

void Orvane::ExportTargetFaceBrep() {
    std::istringstream words(pickingStyle->target);
    std::string letter;
    std::string group;
    int face = -1;
    if (!(words >> letter >> group >> face) || letter != "F") {
        std::cerr << "orvane: generateBreps: the target '" << pickingStyle->target << "' is not a face\n";
        return;
    }
    ExportFaceBrep(face);
}

void Orvane::CutWithSphere(const orvane::Point3& centre, double radius) {
    if (!(radius > 0.0)) {
        std::cerr << "orvane: cutBrep: the radius " << radius << " is not positive\n";
        return;
    }
    // The Boolean operation fails or never ends for spheres many orders of
    // magnitude beyond the model, so those are refused first.
    std::array<double, 6> box{};
    if (!workingShape.IsNull()) {
        try {
            Bnd_Box bounds;
            BRepBndLib::Add(workingShape, bounds, false);
            if (!bounds.IsVoid()) {
                bounds.Get(box[0], box[1], box[2], box[3], box[4], box[5]);
            }
        } catch (const Standard_Failure&) {
            box = {};
        }
    }
    if (std::optional<std::string> problem = orvane::sphereCutProblem(box, centre, radius)) {
        std::cerr << "orvane: cutBrep: refused: " << *problem << "\n";
        return;
    }
    auto sphere = vtkSmartPointer<vtkSphereSource>::New();
    sphere->SetRadius(radius);
    sphere->SetCenter(centre[0], centre[1], centre[2]);
    auto sphereMapper = vtkSmartPointer<vtkPolyDataMapper>::New();
    sphereMapper->SetInputConnection(sphere->GetOutputPort());
    auto marker = vtkSmartPointer<vtkActor>::New();
    marker->SetMapper(sphereMapper);
    marker->GetProperty()->SetColor(0.5, 0.0, 0.5);
    marker->GetProperty()->SetOpacity(0.2);
    renderer->AddActor(marker);

    const std::string& root = pickingStyle->dataRoot;
    const std::string brepPath = dp::cutBrep(root, cutCount);
    const std::string stlPath = dp::cutStl(root, cutCount);
    if (orvane::extractSphereRegion(gp_Pnt(centre[0], centre[1], centre[2]), radius, workingShape, brepPath,
                                    stlPath)) {
        importFiles.push_back(stlPath);
    }
    pickingStyle->model.brepFiles.push_back(stlPath);

    vtkSmartPointer<vtkActor> cut = stlActor(stlPath);
    orvane::setActorName(cut, "C 0 " + std::to_string(cutCount));
    renderer->AddActor(cut);
    ++cutCount;
}
