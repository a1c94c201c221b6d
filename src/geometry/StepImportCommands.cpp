// STEP prepared, face B-rep export with the Gauss-point job, and sphere cuts.

#include "app/DataPaths.h"
#include "app/FileChecks.h"
#include "app/Orvane.h"
#include "commands/CommandHold.h"
#include "commands/CommandTable.h"
#include "commands/InputLimits.h"
#include "geometry/CafModel.h"
#include "geometry/FaceBrep.h"
#include "geometry/IsolatedStepRead.h"
#include "geometry/ModelFiles.h"
#include "geometry/ProcessRunner.h"
#include "geometry/ShapeExporter.h"
#include "geometry/ShapePolyData.h"
#include "geometry/SphereCut.h"
#include "geometry/StepModel.h"
#include "interaction/MouseInteractorHighLightActor.h"
#include "interaction/PointPickerCallback.h"
#include "scene/ActorNames.h"

#include <QMetaObject>
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
#include <vtkStaticCellLocator.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <thread>

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

vtkSmartPointer<vtkPolyData> readStl(const std::string& path) {
    if (std::optional<std::string> problem = orvane::stlFileProblem(path)) {
        // An empty mesh keeps the numbering of the faces and solids.
        std::cerr << "orvane: cannot read STL file '" << path << "': " << *problem << "\n";
        return vtkSmartPointer<vtkPolyData>::New();
    }
    auto reader = vtkSmartPointer<vtkSTLReader>::New();
    reader->SetFileName(path.c_str());
    reader->Update();
    return reader->GetOutput();
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

vtkSmartPointer<vtkActor> meshActor(vtkPolyData* mesh) {
    auto mapper = vtkSmartPointer<vtkPolyDataMapper>::New();
    mapper->SetInputData(mesh);
    auto actor = vtkSmartPointer<vtkActor>::New();
    actor->SetMapper(mapper);
    return actor;
}

// The mesh of a file: what this import wrote there, taken from the shape it
// was written from, or else whatever the file holds (left by an earlier
// prepared, or missing).
vtkSmartPointer<vtkPolyData> fileMesh(const std::string& path, const TopoDS_Shape* writtenFrom) {
    return writtenFrom != nullptr ? orvane::triangulationPolyData(*writtenFrom) : readStl(path);
}

vtkSmartPointer<vtkStaticCellLocator> locatorOf(vtkPolyData* mesh) {
    auto locator = vtkSmartPointer<vtkStaticCellLocator>::New();
    locator->SetDataSet(mesh);
    locator->BuildLocator();
    return locator;
}

} // namespace

namespace orvane {

// Parsing the file reports no steps of its own; the transfer into shapes
// reports its fraction in these steps.
constexpr long long stepTransferSteps = 1000;

// What an import prepares away from the GUI thread: the files, and the
// actors and picking aids made from the meshes in memory.
struct PreparedImport {
    std::string root;
    std::string stepPath;
    std::optional<StepModel> model;
    bool listed = false;
    int faceFileCount = 0;
    int solidFileCount = 0;
    std::vector<std::array<double, 6>> faceBoxes;
    std::vector<vtkSmartPointer<vtkActor>> faceActors;
    std::vector<vtkSmartPointer<vtkActor>> solidActors;
    vtkSmartPointer<vtkActor> modelActor;
    MouseInteractorHighLightActor::ModelPickIndex pickIndex;
    // The STL files this import wrote, the only ones the shutdown deletes.
    std::vector<std::string> writtenFiles;
    // Files this import could not write (see WrittenModelFiles).
    int failedWrites = 0;
    // Tells the GUI thread how far the import has got (phase, done, total).
    std::function<void(const char*, long long, long long)> progress;
};

namespace {

void prepareImport(PreparedImport& prepared) {
    const std::string& root = prepared.root;
    constexpr long long transferSteps = stepTransferSteps;
    prepared.progress("read", 0, transferSteps);
    // In a process of its own: a file that crashes the reader is refused.
    prepared.model = readStepModelIsolated(prepared.stepPath, std::cout, [&prepared](double fraction) {
        prepared.progress("read", std::min(std::llround(fraction * transferSteps), transferSteps - 1),
                          transferSteps);
        return true;
    });
    prepared.progress("read", transferSteps, transferSteps);
    if (!prepared.model) {
        return;
    }
    StepModel& model = *prepared.model;
    const unsigned threads = std::max(1u, std::thread::hardware_concurrency());
    // Solids and faces are meshed and written on every core at once.
    const auto meshTotal = static_cast<long long>(model.solids.size() + model.faces.size());
    prepared.progress("mesh", 0, meshTotal);
    WrittenModelFiles written = writeModelFiles(model, root, threads, std::cout);
    prepared.progress("mesh", meshTotal, meshTotal);
    // The whole model's files are written with the rest.
    prepared.progress("write", 1, 1);
    closeDocument(model.document);
    model.document.Nullify();
    prepared.faceBoxes = std::move(written.faceBoxes);
    prepared.failedWrites = written.failedWrites;
    for (std::size_t i = 0; i < written.solidWritten.size(); ++i) {
        if (written.solidWritten[i]) {
            prepared.writtenFiles.push_back(dp::solidStl(root, static_cast<int>(i)));
        }
    }
    for (std::size_t i = 0; i < written.faceWritten.size(); ++i) {
        if (written.faceWritten[i]) {
            prepared.writtenFiles.push_back(dp::faceStl(root, static_cast<int>(i)));
        }
    }

    const std::optional<int> faceFiles = countRegularFiles(dp::stepDir(root));
    const std::optional<int> solidFiles = countRegularFiles(dp::solidDir(root));
    if (!faceFiles || !solidFiles) {
        return;
    }
    prepared.listed = true;
    prepared.faceFileCount = *faceFiles;
    prepared.solidFileCount = *solidFiles;
    const long long showTotal = prepared.faceFileCount + prepared.solidFileCount + 1LL;
    long long shown = 0;
    prepared.progress("show", shown, showTotal);

    for (int i = 0; i < prepared.faceFileCount; ++i) {
        const auto index = static_cast<std::size_t>(i);
        const bool ours = index < model.faces.size() && written.faceWritten[index];
        vtkSmartPointer<vtkActor> actor =
            meshActor(fileMesh(dp::faceStl(root, i), ours ? &model.faces[index] : nullptr));
        // A highlighted face lies in the surface of its translucent solid: draw it in front.
        actor->GetMapper()->SetRelativeCoincidentTopologyPolygonOffsetParameters(-2.0, -2.0);
        setActorName(actor, "F 0 " + std::to_string(i));
        prepared.faceActors.push_back(actor);
        prepared.progress("show", ++shown, showTotal);
    }
    for (int i = 0; i < prepared.solidFileCount; ++i) {
        const auto index = static_cast<std::size_t>(i);
        const bool ours = index < model.solids.size() && written.solidWritten[index];
        vtkSmartPointer<vtkPolyData> mesh =
            fileMesh(dp::solidStl(root, i), ours ? &model.solids[index] : nullptr);
        vtkSmartPointer<vtkActor> actor = meshActor(mesh);
        setActorName(actor, "S 0 " + std::to_string(i));
        prepared.solidActors.push_back(actor);
        prepared.pickIndex.solidActors.push_back(ours ? actor : nullptr);
        prepared.progress("show", ++shown, showTotal);
    }
    TopoDS_Shape wholeModel = written.wholeModel;
    vtkSmartPointer<vtkPolyData> modelMesh =
        fileMesh(dp::modelStl(root), written.wholeModelWritten ? &wholeModel : nullptr);
    prepared.modelActor = meshActor(modelMesh);
    prepared.modelActor->GetProperty()->SetOpacity(0.8);
    prepared.progress("show", ++shown, showTotal);

    prepared.pickIndex.triangles = faceIndexedPolyData(model.faces, solidOfEachFace(model.workingShape));
    prepared.pickIndex.locator = locatorOf(prepared.pickIndex.triangles);
} // namespace

} // namespace

} // namespace orvane

void Orvane::OpenStepFile(const std::string& root, const std::string& stepPath) {
    clearScene();
    pickingStyle->setModelPickIndex({});
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
        reportProgress("read", orvane::stepTransferSteps, orvane::stepTransferSteps);
        renderView();
        return;
    }
    // The import runs on a worker while the view keeps drawing; commands
    // that arrive meanwhile wait in the hold and run after it, in order.
    commandHold->hold();
    auto prepared = std::make_shared<orvane::PreparedImport>();
    prepared->root = root;
    prepared->stepPath = stepPath;
    // Progress goes through the GUI thread, whose throttle keeps the rate down.
    prepared->progress = [this](const char* phase, long long done, long long total) {
        QMetaObject::invokeMethod(
            this, [this, name = std::string(phase), done, total] { reportProgress(name, done, total); },
            Qt::QueuedConnection);
    };
    importWorker = std::thread([this, prepared] {
        orvane::prepareImport(*prepared);
        QMetaObject::invokeMethod(
            this, [this, prepared] { finishStepImport(*prepared); }, Qt::QueuedConnection);
    });
}

bool Orvane::importing() const {
    return importWorker.joinable();
}

void Orvane::finishStepImport(orvane::PreparedImport& prepared) {
    importWorker.join();
    applyStepImport(prepared);
    commandHold->release();
}

void Orvane::applyStepImport(orvane::PreparedImport& prepared) {
    if (!prepared.model) {
        renderView();
        return;
    }
    const std::string& root = prepared.root;
    if (!prepared.listed) {
        std::cerr << "orvane: openSTLFile: the import into " << root << " stopped\n";
        return;
    }
    faceFileCount = prepared.faceFileCount;
    solidFileCount = prepared.solidFileCount;

    for (const auto& actor : prepared.faceActors) {
        actor->VisibilityOff();
        renderer->AddActor(actor);
    }
    for (const auto& actor : prepared.solidActors) {
        actor->VisibilityOn();
        actor->GetProperty()->SetOpacity(0.8);
        renderer->AddActor(actor);
    }

    pickingStyle->faceActors = std::move(prepared.faceActors);
    pickingStyle->modelActor = prepared.modelActor;
    pickingStyle->faces = prepared.model->faces;
    pickingStyle->faceBoxes = std::move(prepared.faceBoxes);
    pickingStyle->dataRoot = root;
    pickingStyle->model.stepPath = prepared.stepPath;
    pickingStyle->lastPickedActor = nullptr;
    pickingStyle->highlightedFaces.clear();
    if (solidFileCount == 0) {
        prepared.pickIndex.wholeModelActor = prepared.modelActor;
    }
    pickingStyle->setModelPickIndex(std::move(prepared.pickIndex));

    vtkCamera* camera = renderer->GetActiveCamera();
    camera->SetPosition(0.0, 0.0, -1.0);
    camera->SetFocalPoint(0.0, 0.0, 0.0);
    renderer->ResetCamera();
    camera->SetViewUp(0.0, 1.0, 0.0);

    if (solidFileCount == 0) {
        renderer->AddActor(prepared.modelActor);
    }
    renderView();

    stepDir = dp::stepDir(root);
    solidDir = dp::solidDir(root);
    cutDir = dp::cutDir(root);
    importFiles = std::move(prepared.writtenFiles);
    workingShape = prepared.model->workingShape;
    if (prepared.failedWrites > 0) {
        // The files are what the solver and later commands read: without
        // them the import has not succeeded, whatever the view shows.
        std::cerr << "orvane: openSTLFile: " << prepared.failedWrites
                  << " model files could not be written under " << root
                  << " (see above); the import is incomplete\n";
        return;
    }
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
