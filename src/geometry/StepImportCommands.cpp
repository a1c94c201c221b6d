// STEP import, face B-rep export with the Gauss-point job, and sphere cuts.
// What an import leaves for later commands is the window's ImportState.

#include "app/DataPaths.h"
#include "app/FaultInjection.h"
#include "app/FileChecks.h"
#include "app/Orvane.h"
#include "commands/CommandHold.h"
#include "commands/CommandTable.h"
#include "commands/InputLimits.h"
#include "geometry/CafModel.h"
#include "geometry/FaceBrep.h"
#include "geometry/GaussPointJob.h"
#include "geometry/ImportState.h"
#include "geometry/IsolatedStepRead.h"
#include "geometry/JoinedThreads.h"
#include "geometry/MeshFiles.h"
#include "geometry/ModelFiles.h"
#include "geometry/ShapeExporter.h"
#include "geometry/ShapePolyData.h"
#include "geometry/SphereCut.h"
#include "geometry/StepModel.h"
#include "interaction/MouseInteractorHighLightActor.h"
#include "interaction/PointPickerCallback.h"
#include "model/Analysis.h"
#include "scene/ActorNames.h"
#include "scene/StlReading.h"

#include <QMetaObject>
#include <QVTKOpenGLStereoWidget.h>

#include <BRepBndLib.hxx>
#include <Bnd_Box.hxx>
#include <Standard_Failure.hxx>
#include <gp_Pnt.hxx>

#include <vtkActor.h>
#include <vtkBoundingBox.h>
#include <vtkCamera.h>
#include <vtkPolyData.h>
#include <vtkPolyDataMapper.h>
#include <vtkProperty.h>
#include <vtkRenderWindowInteractor.h>
#include <vtkRenderer.h>
#include <vtkSTLReader.h>
#include <vtkSphereSource.h>
#include <vtkStaticCellLocator.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <new>
#include <optional>
#include <sstream>
#include <stdexcept>
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

// A refused file gives an empty actor.
vtkSmartPointer<vtkActor> stlActor(const std::string& path) {
    auto reader = vtkSmartPointer<vtkSTLReader>::New();
    orvane::readStlFile(reader, path);
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

// The mesh an import shows for a shape: its triangulation, whether or not
// its file could be written; nothing for a shape that is missing.
vtkSmartPointer<vtkPolyData> shapeMesh(const TopoDS_Shape& shape) {
    return shape.IsNull() ? vtkSmartPointer<vtkPolyData>::New() : orvane::triangulationPolyData(shape);
}

// Where a camera stands and what it sees.
struct CameraPose {
    std::array<double, 11> values{};
    static CameraPose of(vtkCamera& camera) {
        CameraPose pose;
        camera.GetPosition(&pose.values[0]);
        camera.GetFocalPoint(&pose.values[3]);
        camera.GetViewUp(&pose.values[6]);
        pose.values[9] = camera.GetViewAngle();
        pose.values[10] = camera.GetParallelScale();
        return pose;
    }
    bool operator!=(const CameraPose& other) const { return values != other.values; }
};

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
    // Why the preparation stopped on an exception; the import then fails.
    std::optional<std::string> failure;
    std::vector<std::array<double, 6>> faceBoxes;
    std::vector<vtkSmartPointer<vtkActor>> faceActors;
    std::vector<vtkSmartPointer<vtkActor>> solidActors;
    vtkSmartPointer<vtkActor> modelActor;
    MouseInteractorHighLightActor::ModelPickIndex pickIndex;
    // The STL files this import wrote, the only ones the shutdown deletes.
    std::vector<std::string> writtenFiles;
    // The whole model's files this import wrote; deleted only with an
    // import that is stopped before it is complete.
    std::vector<std::string> wholeModelFiles;
    // Set by the GUI thread to stop the import (at shutdown); checked in the
    // read and between files.
    std::atomic<bool> stop{false};
    // The worker saw the stop request: the import is incomplete.
    bool stopped = false;
    // Files this import could not write (see WrittenModelFiles).
    int failedWrites = 0;
    // Tells the GUI thread how far the import has got (phase, done, total).
    std::function<void(const char*, long long, long long)> progress;
    // The actors the view holds so far and the triangles the next turn may add.
    std::size_t facesAdded = 0;
    std::size_t solidsShown = 0;
    vtkIdType trianglesPerTurn = 20000;
    // Set in the first turn from the solids' triangles (see showImportTurn).
    vtkIdType fewestTrianglesPerTurn = 1000;
};

namespace {

void prepareImport(PreparedImport& prepared) {
    const std::string& root = prepared.root;
    constexpr long long transferSteps = stepTransferSteps;
    // A file the parser must not see (not a regular file, or nested deep
    // enough to exhaust its stack) ends the import like an unreadable one.
    // The check reads the whole file: here, not on the view's thread.
    if (std::optional<std::string> problem = stepFileProblem(prepared.stepPath, limits::stepNestingDepth)) {
        std::cerr << "orvane: openSTLFile: cannot read STEP file '" << prepared.stepPath << "': " << *problem
                  << "\n";
        prepared.progress("read", transferSteps, transferSteps);
        return;
    }
    prepared.progress("read", 0, transferSteps);
    // In a process of its own: a file that crashes the reader is refused.
    prepared.model = readStepModelIsolated(prepared.stepPath, std::cout, [&prepared](double fraction) {
        prepared.progress("read", std::min(std::llround(fraction * transferSteps), transferSteps - 1),
                          transferSteps);
        return !prepared.stop;
    });
    prepared.progress("read", transferSteps, transferSteps);
    if (prepared.stop) {
        prepared.stopped = true;
        if (prepared.model) {
            closeDocument(prepared.model->document);
            prepared.model.reset();
        }
    }
    if (!prepared.model) {
        return;
    }
    StepModel& model = *prepared.model;
    const unsigned threads = std::max(1u, std::thread::hardware_concurrency());
    // Solids and faces are meshed and written on every core at once.
    const auto meshTotal = static_cast<long long>(model.solids.size() + model.faces.size());
    prepared.progress("mesh", 0, meshTotal);
    WrittenModelFiles written = writeModelFiles(model, root, threads, std::cout, prepared.stop);
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
    if (written.wholeModelWritten) {
        const std::string base = pointTriangleBase(dp::modelStl(root));
        prepared.wholeModelFiles = {dp::modelStl(root), base + ".pts", base + ".tri"};
    }
    if (written.stopped) {
        prepared.stopped = true;
        return;
    }

    // The view shows the faces and solids of this model, from their meshes
    // in memory: files that an earlier import left in the directories are
    // neither shown nor pickable. The meshes are made on every core, one
    // thread making the picking index and the whole model's mesh meanwhile.
    const std::size_t faceCount = model.faces.size();
    const std::size_t shapeCount = faceCount + model.solids.size();
    const long long showTotal = static_cast<long long>(shapeCount) + 1LL;
    std::atomic<long long> shown{0};
    prepared.progress("show", 0, showTotal);
    std::vector<vtkSmartPointer<vtkPolyData>> meshes(shapeCount);
    vtkSmartPointer<vtkPolyData> wholeModelMesh;
    std::optional<std::string> indexFailure;
    std::vector<std::optional<std::string>> meshFailures(threads);
    {
        JoinedThreads workers;
        workers.start([&] {
            indexFailure = failureOf([&] {
                prepared.pickIndex.triangles =
                    faceIndexedPolyData(model.faces, solidOfEachFace(model.workingShape));
                prepared.pickIndex.locator = locatorOf(prepared.pickIndex.triangles);
                wholeModelMesh = shapeMesh(written.wholeModel);
                ++shown;
            });
        });
        std::atomic<std::size_t> next{0};
        const auto makeMeshes = [&](unsigned worker) {
            meshFailures[worker] = failureOf([&] {
                for (std::size_t i = next++; i < shapeCount && !prepared.stop; i = next++) {
                    meshes[i] = shapeMesh(i < faceCount ? TopoDS_Shape(model.faces[i])
                                                        : TopoDS_Shape(model.solids[i - faceCount]));
                    ++shown;
                    // One thread reports, so that the count never goes back,
                    // and never the total: the end of the phase reports that
                    // once, whichever thread finishes last.
                    if (worker == 0) {
                        prepared.progress("show", std::min<long long>(shown, showTotal - 1), showTotal);
                    }
                }
            });
        };
        for (unsigned worker = 1; worker < threads; ++worker) {
            workers.start([&makeMeshes, worker] { makeMeshes(worker); });
        }
        makeMeshes(0);
    }
    for (const std::optional<std::string>& failure : meshFailures) {
        if (failure) {
            throw std::runtime_error(*failure);
        }
    }
    if (indexFailure) {
        throw std::runtime_error(*indexFailure);
    }
    prepared.progress("show", shown, showTotal);
    if (prepared.stop) {
        prepared.stopped = true;
        return;
    }
    for (std::size_t i = 0; i < faceCount; ++i) {
        vtkSmartPointer<vtkActor> actor = meshActor(meshes[i]);
        // A highlighted face lies in the surface of its translucent solid: draw it in front.
        actor->GetMapper()->SetRelativeCoincidentTopologyPolygonOffsetParameters(-2.0, -2.0);
        setActorName(actor, "F 0 " + std::to_string(i));
        prepared.faceActors.push_back(actor);
    }
    for (std::size_t i = faceCount; i < shapeCount; ++i) {
        vtkSmartPointer<vtkActor> actor = meshActor(meshes[i]);
        setActorName(actor, "S 0 " + std::to_string(i - faceCount));
        prepared.solidActors.push_back(actor);
        prepared.pickIndex.solidActors.push_back(actor);
    }
    prepared.modelActor = meshActor(wholeModelMesh);
    prepared.modelActor->GetProperty()->SetOpacity(0.8);
    // Nothing needs the whole model's topology any more: taken apart here, it
    // does not hold up the view's thread at the end of the import.
    model.wholeModel.Nullify();
    written.wholeModel.Nullify();
}

// The worker's whole life: nothing it throws leaves it; the GUI thread
// learns of it from `failure` and ends the import like a failed one.
void prepareImportGuarded(PreparedImport& prepared) {
    prepared.failure = failureOf([&prepared] {
        if (injectedFault("import-worker")) {
            throw std::bad_alloc();
        }
        prepareImport(prepared);
    });
}

} // namespace

} // namespace orvane

void Orvane::OpenStepFile(const std::string& root, const std::string& stepPath) {
    clearScene();
    pickingStyle->setModelPickIndex({});
    // A root that cannot form paths ends the command like an unreadable file.
    if (std::optional<std::string> problem = orvane::pathProblem(root)) {
        std::cerr << "orvane: openSTLFile: data root refused: " << *problem << "\n";
        reportProgress("read", orvane::stepTransferSteps, orvane::stepTransferSteps);
        renderView();
        return;
    }
    // The import runs on a worker while the view keeps drawing; commands
    // that arrive meanwhile wait in the hold and run after it, in order.
    // Until the worker runs, the hold ends with this scope.
    orvane::CommandHold::Lease hold = commandHold->lease();
    auto prepared = std::make_shared<orvane::PreparedImport>();
    prepared->root = root;
    prepared->stepPath = stepPath;
    // From here on the shutdown deletes this import's files, not the last one's.
    stepImport->importFiles.clear();
    stepImport->running = prepared;
    // Progress goes through the GUI thread, whose throttle keeps the rate down.
    prepared->progress = [this](const char* phase, long long done, long long total) {
        reportProgressFromWorker(phase, done, total);
    };
    stepImport->worker = std::thread([this, prepared] {
        orvane::prepareImportGuarded(*prepared);
        try {
            QMetaObject::invokeMethod(
                this, [this, prepared] { showImportInTurns(prepared); }, Qt::QueuedConnection);
        } catch (...) {
            std::cerr << "orvane: openSTLFile: the end of the import could not be announced\n";
        }
    });
    stepImport->hold = std::move(hold);
}

void Orvane::showImportInTurns(const std::shared_ptr<orvane::PreparedImport>& prepared) {
    bool more = false;
    bool turnDone = false;
    dispatcher->runGuarded("openSTLFile", [&] {
        more = showImportTurn(*prepared);
        turnDone = true;
    });
    if (!turnDone) {
        prepared->failure = "its actors could not be shown";
    }
    if (more && turnDone) {
        QMetaObject::invokeMethod(
            this, [this, prepared] { showImportInTurns(prepared); }, Qt::QueuedConnection);
        return;
    }
    finishStepImport(*prepared);
}

bool Orvane::showImportTurn(orvane::PreparedImport& pending) {
    // Each actor added scans the renderer's list, and drawing a solid for the
    // first time uploads its mesh: a share of both per event-loop turn, each
    // turn about frameBudgetMs with its frame, keeps the view answering the
    // mouse while a large model appears. Every turn's frame also draws all
    // that is shown already, so the solids take at most mostSolidTurns
    // turns (with more, the frames would grow with the model and their
    // number too), unless that would upload more than
    // mostTrianglesPerTurn in one turn. Under llvmpipe the benchmark model
    // (290,000 solid triangles) takes four turns of 50-65 ms, 0.26 s in all
    // (eight turns: 0.38 s); four times that model in four turns, 125-340 ms
    // each, in twelve, 80-170 ms.
    constexpr double frameBudgetMs = 50.0;
    constexpr vtkIdType mostSolidTurns = 4;
    constexpr vtkIdType mostTrianglesPerTurn = 100000;
    using Clock = std::chrono::steady_clock;
    const auto elapsedMs = [](Clock::time_point since) {
        return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
    };
    const Clock::time_point turnStart = Clock::now();
    std::vector<vtkSmartPointer<vtkActor>>& faces = pending.faceActors;
    std::vector<vtkSmartPointer<vtkActor>>& solids = pending.solidActors;
    if (pending.failure || !pending.model ||
        (pending.facesAdded >= faces.size() && pending.solidsShown >= solids.size())) {
        return false;
    }
    if (pending.facesAdded == 0 && pending.solidsShown == 0) {
        // The final camera from the first turn on, so every solid is drawn (and uploaded) when added.
        vtkBoundingBox bounds;
        vtkIdType solidTriangles = 0;
        for (const auto& actor : solids) {
            bounds.AddBounds(actor->GetBounds());
            if (auto* mesh = vtkPolyData::SafeDownCast(actor->GetMapper()->GetInput())) {
                solidTriangles += mesh->GetNumberOfCells();
            }
        }
        pending.fewestTrianglesPerTurn =
            std::clamp<vtkIdType>(solidTriangles / mostSolidTurns + 1, 1000, mostTrianglesPerTurn);
        pending.trianglesPerTurn = std::max(pending.trianglesPerTurn, pending.fewestTrianglesPerTurn);
        double box[6];
        bounds.GetBounds(box);
        vtkCamera* camera = renderer->GetActiveCamera();
        camera->SetPosition(0.0, 0.0, -1.0);
        camera->SetFocalPoint(0.0, 0.0, 0.0);
        renderer->ResetCamera(box);
        camera->SetViewUp(0.0, 1.0, 0.0);
    }
    // Faces stay hidden until highlighted: adding them changes no frame. They
    // come first, in turns of their own: a turn that also drew solids would
    // add its share of faces to a frame of the whole model.
    if (pending.facesAdded < faces.size()) {
        while (pending.facesAdded < faces.size() && elapsedMs(turnStart) < frameBudgetMs / 2.0) {
            vtkActor* actor = faces[pending.facesAdded++];
            actor->VisibilityOff();
            renderer->AddActor(actor);
        }
        return true;
    }
    vtkIdType triangles = 0;
    while (pending.solidsShown < solids.size() && triangles < pending.trianglesPerTurn) {
        vtkActor* actor = solids[pending.solidsShown++];
        actor->VisibilityOn();
        actor->GetProperty()->SetOpacity(0.8);
        renderer->AddActor(actor);
        if (auto* mesh = vtkPolyData::SafeDownCast(actor->GetMapper()->GetInput())) {
            triangles += mesh->GetNumberOfCells();
        }
    }
    const Clock::time_point renderStart = Clock::now();
    renderView();
    const double renderMs = elapsedMs(renderStart);
    if (triangles > 0) {
        pending.trianglesPerTurn = renderMs < frameBudgetMs / 4.0   ? pending.trianglesPerTurn * 2
                                   : renderMs > frameBudgetMs / 2.0 ? std::max(pending.fewestTrianglesPerTurn,
                                                                               pending.trianglesPerTurn / 2)
                                                                    : pending.trianglesPerTurn;
    }
    return true;
}

bool Orvane::importing() const {
    return stepImport->inProgress();
}

void Orvane::cancelStepImport() {
    orvane::ImportState& state = *stepImport;
    if (!state.running) {
        return;
    }
    state.running->stop = true;
    if (state.worker.joinable()) {
        state.worker.join();
    }
    // The import is never applied: its files go to the shutdown's list now,
    // and an incomplete import leaves none of its files behind.
    state.importFiles = std::move(state.running->writtenFiles);
    if (state.running->stopped) {
        state.importFiles.insert(state.importFiles.end(), state.running->wholeModelFiles.begin(),
                                 state.running->wholeModelFiles.end());
    }
    state.running.reset();
}

void Orvane::finishStepImport(orvane::PreparedImport& prepared) {
    // Released at the end of this turn, whatever the import's end does.
    const orvane::CommandHold::Lease hold = std::move(stepImport->hold);
    stepImport->worker.join();
    stepImport->running.reset();
    dispatcher->runGuarded("openSTLFile", [&] { applyStepImport(prepared); });
}

void Orvane::applyStepImport(orvane::PreparedImport& prepared) {
    if (prepared.failure) {
        std::cerr << "orvane: openSTLFile: the import of '" << prepared.stepPath
                  << "' failed: " << *prepared.failure << "\n";
        // The shutdown still deletes what it wrote before it failed.
        std::vector<std::string>& files = stepImport->importFiles;
        files.insert(files.end(), prepared.writtenFiles.begin(), prepared.writtenFiles.end());
        renderView();
        return;
    }
    if (!prepared.model) {
        renderView();
        return;
    }
    const std::string& root = prepared.root;
    orvane::ImportState& state = *stepImport;
    state.faceFileCount = static_cast<int>(prepared.faceActors.size());
    state.solidFileCount = static_cast<int>(prepared.solidActors.size());

    // The face and solid actors are in the view already (showImportInTurns).
    pickingStyle->faceActors = std::move(prepared.faceActors);
    pickingStyle->modelActor = prepared.modelActor;
    pickingStyle->faces = prepared.model->faces;
    pickingStyle->faceBoxes = std::move(prepared.faceBoxes);
    analysis->dataRoot = root;
    analysis->model.stepPath = prepared.stepPath;
    pickingStyle->forgetPicks();
    if (state.solidFileCount == 0) {
        prepared.pickIndex.wholeModelActor = prepared.modelActor;
    }
    pickingStyle->setModelPickIndex(std::move(prepared.pickIndex));

    vtkCamera* camera = renderer->GetActiveCamera();
    const CameraPose cameraBefore = CameraPose::of(*camera);
    camera->SetPosition(0.0, 0.0, -1.0);
    camera->SetFocalPoint(0.0, 0.0, 0.0);
    renderer->ResetCamera();
    camera->SetViewUp(0.0, 1.0, 0.0);

    // The last turn drew the solids under this camera already: another
    // frame of a large model would only keep the view from the mouse.
    if (state.solidFileCount == 0) {
        renderer->AddActor(prepared.modelActor);
        renderView();
    } else if (CameraPose::of(*camera) != cameraBefore) {
        renderView();
    }

    state.stepDir = dp::stepDir(root);
    state.solidDir = dp::solidDir(root);
    state.cutDir = dp::cutDir(root);
    state.importFiles = std::move(prepared.writtenFiles);
    state.workingShape = prepared.model->workingShape;
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
    // A key in the view may ask while an import or a run holds the commands.
    if (commandHold->holding()) {
        std::cerr << "orvane: genBrep: another long operation is running; face " << face
                  << " is not exported\n";
        return;
    }
    const std::string& root = analysis->dataRoot;
    const std::string brepPath = dp::faceBrep(root, face);
    if (!orvane::writeFaceBrep(faces[static_cast<std::size_t>(face)], brepPath)) {
        // The program would read whatever an earlier export left there.
        std::cerr << "orvane: genBrep: the Gauss-point program is not run for face " << face << "\n";
        return;
    }
    analysis->model.brepFiles.push_back(brepPath);
    gaussJob->start(dp::gaussProgram(root), brepPath, dp::gaussPoints(root), face,
                    [this](std::vector<orvane::GaussPoint> points) {
                        analysis->gaussPoints.insert(analysis->gaussPoints.end(), points.begin(),
                                                     points.end());
                    });
}

void Orvane::ExportTargetFaceBrep() {
    std::istringstream words(analysis->target);
    std::string letter;
    std::string group;
    int face = -1;
    if (!(words >> letter >> group >> face) || letter != "F") {
        std::cerr << "orvane: generateBreps: the target '" << analysis->target << "' is not a face\n";
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
    orvane::ImportState& state = *stepImport;
    const TopoDS_Shape& workingShape = state.workingShape;
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
    if (analysis->dataRoot.empty()) {
        std::cerr << "orvane: cutBrep: no data root yet (import a STEP model, or set "
                     "ORVANE_DEFAULT_DATA_ROOT); nothing is cut\n";
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

    const std::string& root = analysis->dataRoot;
    const std::string brepPath = dp::cutBrep(root, state.cutCount);
    const std::string stlPath = dp::cutStl(root, state.cutCount);
    if (orvane::extractSphereRegion(gp_Pnt(centre[0], centre[1], centre[2]), radius, workingShape, brepPath,
                                    stlPath)) {
        state.importFiles.push_back(stlPath);
    }
    analysis->model.brepFiles.push_back(stlPath);

    vtkSmartPointer<vtkActor> cut = stlActor(stlPath);
    orvane::setActorName(cut, "C 0 " + std::to_string(state.cutCount));
    renderer->AddActor(cut);
    ++state.cutCount;
}
