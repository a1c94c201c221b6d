// STEP import into the view with real models: files, actors, the face index
// as the join key, the counting rule, failures, the face B-rep job and cuts.

#include "RecordingChannel.h"
#include "ViewReady.h"
#include "app/Orvane.h"
#include "geometry/GaussPointJob.h"
#include "geometry/ImportState.h"
#include "interaction/MouseInteractorHighLightActor.h"
#include "model/Analysis.h"
#include "scene/ActorNames.h"

#include <BRepBuilderAPI_Transform.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepTools.hxx>
#include <BRep_Builder.hxx>
#include <STEPControl_Writer.hxx>
#include <TopoDS_Compound.hxx>
#include <TopoDS_Shell.hxx>
#include <gp_Trsf.hxx>

#include <QCoreApplication>
#include <QVTKOpenGLStereoWidget.h>

#include <vtkActor.h>
#include <vtkCamera.h>
#include <vtkCellPicker.h>
#include <vtkMath.h>
#include <vtkPropCollection.h>
#include <vtkProperty.h>
#include <vtkRenderWindow.h>
#include <vtkRenderer.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

const std::string screw = "/usr/share/opencascade/data/step/screw.step";

int regularFiles(const fs::path& dir) {
    int count = 0;
    for (const auto& entry : fs::directory_iterator(dir)) {
        count += entry.is_regular_file() ? 1 : 0;
    }
    return count;
}

class StepImport : public ::testing::Test {
protected:
    void SetUp() override {
        base = fs::temp_directory_path() / ("orvane-import-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(base);
        root = prepareRoot("root");
        view = std::make_unique<Orvane>(false, std::make_unique<RecordingChannel>(events));
        ASSERT_TRUE(waitUntilExposed(*view));
    }
    void TearDown() override {
        view.reset();
        fs::remove_all(base);
    }

    fs::path prepareRoot(const std::string& name) {
        const fs::path dir = base / name;
        for (const char* sub :
             {"data/step", "data/solid", "data/cut", "data/brep", "data/guass", "src/guass"}) {
            fs::create_directories(dir / sub);
        }
        return dir;
    }

    std::string command(const std::string& text) {
        std::ostringstream out;
        std::streambuf* const old = std::cout.rdbuf(out.rdbuf());
        view->OnReceiveMessage(QString::fromStdString(text));
        // An import and the Gauss-point program finish in the event loop.
        while (view->importing() || view->gaussJob->running()) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        std::cout.rdbuf(old);
        return out.str();
    }

    // The replies other than "progress", as "EVENT TEXT".
    std::vector<std::string> replies() const {
        std::vector<std::string> texts;
        for (const auto& event : events) {
            if (event.name != "progress") {
                texts.push_back(event.name + " " + (event.args.empty() ? "" : event.args[0]));
            }
        }
        return texts;
    }

    // The "progress" texts of reports that completed a phase (DONE = TOTAL),
    // after checking that every report is "PHASE DONE TOTAL" with DONE <= TOTAL.
    std::vector<std::string> completedPhases() const {
        std::vector<std::string> completed;
        for (const auto& event : events) {
            if (event.name != "progress") {
                continue;
            }
            std::istringstream words(event.args.at(0));
            std::string phase;
            long long done = -1;
            long long total = -1;
            std::string surplus;
            EXPECT_TRUE(words >> phase >> done >> total && !(words >> surplus)) << event.args[0];
            EXPECT_TRUE(done >= 0 && done <= total) << event.args[0];
            if (done == total) {
                completed.push_back(event.args[0]);
            }
        }
        return completed;
    }

    std::vector<vtkProp*> props() {
        std::vector<vtkProp*> list;
        vtkPropCollection* collection = view->renderer->GetViewProps();
        collection->InitTraversal();
        while (vtkProp* prop = collection->GetNextProp()) {
            if (vtkProp3D::SafeDownCast(prop) != nullptr) {
                list.push_back(prop);
            }
        }
        return list;
    }

    fs::path base;
    fs::path root;
    std::vector<RecordingChannel::Event> events;
    std::unique_ptr<Orvane> view;
};

std::string writeShellStep(const fs::path& path) {
    STEPControl_Writer writer;
    writer.Transfer(BRepPrimAPI_MakeBox(10.0, 20.0, 30.0).Shell(), STEPControl_AsIs);
    writer.Write(path.string().c_str());
    return path.string();
}

// Real parts side by side, and a box holding a smaller one: several solids,
// faces parallel to the axes, and faces inside a translucent solid.
std::string writeAssemblyStep(const fs::path& path) {
    BRep_Builder builder;
    TopoDS_Compound assembly;
    builder.MakeCompound(assembly);
    double offset = 0.0;
    for (const char* part : {"mal_ecrou.brep", "MODERN_MVCooker_1.brep"}) {
        TopoDS_Shape shape;
        BRepTools::Read(shape, (std::string("/usr/share/opencascade/data/occ/") + part).c_str(), builder);
        gp_Trsf shift;
        shift.SetTranslation(gp_Vec(offset, 0.0, 0.0));
        builder.Add(assembly, BRepBuilderAPI_Transform(shape, shift, true).Shape());
        offset += 250.0;
    }
    builder.Add(assembly, BRepPrimAPI_MakeBox(gp_Pnt(-150, -60, -60), 120.0, 120.0, 120.0).Solid());
    builder.Add(assembly, BRepPrimAPI_MakeBox(gp_Pnt(-110, -20, -20), 40.0, 40.0, 40.0).Solid());
    STEPControl_Writer writer;
    writer.Transfer(assembly, STEPControl_AsIs);
    writer.Write(path.string().c_str());
    return path.string();
}

} // namespace

TEST_F(StepImport, RealModelBecomesFacesAndSolidsJoinedByTheirIndex) {
    command("openSTLFile " + root.string() + " " + screw);
    EXPECT_EQ(replies(), (std::vector<std::string>{"message open", "message step_file_loaded_flag"}));

    auto& style = *view->pickingStyle;
    const int faces = static_cast<int>(style.faces.size());
    ASSERT_GE(faces, 10);
    // One solid and its faces are meshed; their files and the whole model are shown.
    EXPECT_EQ(completedPhases(),
              (std::vector<std::string>{
                  "read 1000 1000", "mesh " + std::to_string(faces + 1) + " " + std::to_string(faces + 1),
                  "write 1 1", "show " + std::to_string(faces + 2) + " " + std::to_string(faces + 2)}));
    EXPECT_EQ(view->stepImport->faceFileCount, faces);
    EXPECT_EQ(regularFiles(root / "data/step"), faces);
    EXPECT_EQ(view->stepImport->solidFileCount, 1);
    EXPECT_TRUE(fs::exists(root / "data/solid/solid0.stl"));
    for (const char* extension : {".stl", ".pts", ".tri"}) {
        EXPECT_GT(fs::file_size(root / (std::string("data/locomotive_bogieassembly_sldasm2") + extension)),
                  0u);
    }
    ASSERT_EQ(style.faceActors.size(), static_cast<std::size_t>(faces));
    ASSERT_EQ(style.faceBoxes.size(), static_cast<std::size_t>(faces));

    // Face i: file model<i>.stl, actor "F 0 i", faces[i] and faceBoxes[i] agree.
    for (int i = 0; i < faces; ++i) {
        vtkActor* actor = style.faceActors[static_cast<std::size_t>(i)];
        EXPECT_EQ(orvane::actorName(actor), "F 0 " + std::to_string(i));
        EXPECT_FALSE(actor->GetVisibility());
        const double* bounds = actor->GetBounds();
        const auto& box = style.faceBoxes[static_cast<std::size_t>(i)];
        const double slack = 0.05 * std::max({box[3] - box[0], box[4] - box[1], box[5] - box[2], 1.0});
        EXPECT_NEAR(bounds[0], box[0], slack) << "face " << i;
        EXPECT_NEAR(bounds[1], box[3], slack) << "face " << i;
        EXPECT_NEAR(bounds[2], box[1], slack) << "face " << i;
        EXPECT_NEAR(bounds[3], box[4], slack) << "face " << i;
        EXPECT_NEAR(bounds[4], box[2], slack) << "face " << i;
        EXPECT_NEAR(bounds[5], box[5], slack) << "face " << i;
    }

    // Face actors first (hidden), then the solid (shown, translucent); no whole-model actor.
    const std::vector<vtkProp*> shown = props();
    ASSERT_EQ(shown.size(), static_cast<std::size_t>(faces + 1));
    auto* solid = vtkActor::SafeDownCast(shown.back());
    ASSERT_NE(solid, nullptr);
    EXPECT_EQ(orvane::actorName(solid), "S 0 0");
    EXPECT_TRUE(solid->GetVisibility());
    EXPECT_DOUBLE_EQ(solid->GetProperty()->GetOpacity(), 0.8);
    EXPECT_DOUBLE_EQ(style.modelActor->GetProperty()->GetOpacity(), 0.8);
    EXPECT_EQ(style.analysis->dataRoot, root.string());
    EXPECT_EQ(style.analysis->model.stepPath, screw);
    EXPECT_EQ(view->stepImport->stepDir, root.string() + "/data/step");
    EXPECT_FALSE(view->stepImport->workingShape.IsNull());
}

TEST_F(StepImport, SurfaceOnlyModelShowsTheWholeModel) {
    const std::string shell = writeShellStep(base / "shell.step");
    command("openSTLFile " + root.string() + " " + shell);
    EXPECT_EQ(replies().back(), "message step_file_loaded_flag");
    EXPECT_EQ(view->stepImport->solidFileCount, 0);
    EXPECT_EQ(view->stepImport->faceFileCount, 6);
    const std::vector<vtkProp*> shown = props();
    ASSERT_EQ(shown.size(), 7u);
    EXPECT_EQ(shown.back(), static_cast<vtkProp*>(view->pickingStyle->modelActor));
    EXPECT_TRUE(view->pickingStyle->modelActor->GetVisibility());
    EXPECT_DOUBLE_EQ(view->pickingStyle->modelActor->GetProperty()->GetOpacity(), 0.8);
}

TEST_F(StepImport, ASecondSmallerImportShowsOnlyItsOwnFacesAndSolids) {
    command("openSTLFile " + root.string() + " " + screw);
    const int screwFaces = view->stepImport->faceFileCount;
    ASSERT_GT(screwFaces, 6);
    command("openSTLFile " + root.string() + " " + writeShellStep(base / "shell.step"));
    EXPECT_EQ(replies().back(), "message step_file_loaded_flag");
    EXPECT_EQ(regularFiles(root / "data/step"), screwFaces) << "the screw's files stay in the directory";
    EXPECT_EQ(regularFiles(root / "data/solid"), 1);
    EXPECT_EQ(view->stepImport->faceFileCount, 6);
    EXPECT_EQ(view->stepImport->solidFileCount, 0);
    EXPECT_EQ(view->pickingStyle->faceActors.size(), 6u);
    // Six hidden faces and the whole shell; nothing of the screw is shown or pickable.
    const std::vector<vtkProp*> shown = props();
    EXPECT_EQ(shown.size(), 7u);
    for (vtkProp* prop : shown) {
        EXPECT_NE(orvane::actorName(vtkActor::SafeDownCast(prop)).rfind("S ", 0), 0u);
    }
    EXPECT_FALSE(view->pickingStyle->HighlightFace(6));
}

TEST_F(StepImport, UnreadableFilesEmptyTheViewAndOnlyAnswerOpen) {
    command("openSTLFile " + root.string() + " " + screw);
    events.clear();
    std::ofstream(base / "junk.step") << "ISO-10303-21;\nthis is not a model\n";
    for (const std::string& path : {(base / "missing.step").string(), (base / "junk.step").string()}) {
        testing::internal::CaptureStderr();
        command("openSTLFile " + root.string() + " " + path);
        const std::string diagnostics = testing::internal::GetCapturedStderr();
        EXPECT_FALSE(diagnostics.empty()) << path;
        EXPECT_EQ(replies(), std::vector<std::string>{"message open"}) << path;
        EXPECT_EQ(completedPhases(), std::vector<std::string>{"read 1000 1000"})
            << "a failed read still ends its phase";
        EXPECT_TRUE(props().empty()) << path;
        events.clear();
    }
    EXPECT_EQ(view->stepImport->stepDir, root.string() + "/data/step")
        << "the last good import stays the one cleaned up";
}

TEST_F(StepImport, AMissingDataDirectoryLeavesTheImportIncomplete) {
    fs::remove_all(root / "data/solid");
    testing::internal::CaptureStderr();
    command("openSTLFile " + root.string() + " " + screw);
    const std::string diagnostics = testing::internal::GetCapturedStderr();
    EXPECT_NE(diagnostics.find("the import is incomplete"), std::string::npos) << diagnostics;
    EXPECT_EQ(replies(), std::vector<std::string>{"message open"});
}

// Run with ORVANE_DEBUG_FAULT=import-worker,file-writer (its own test process):
// the first import's worker throws std::bad_alloc, the second import's first
// file write throws an OpenCASCADE failure, the third import is left alone.
class StepImportFaults : public StepImport {};

TEST_F(StepImportFaults, AThrowingWorkerEndsTheImportAsAFailureAndTheKeptCommandsRun) {
    const char* faults = std::getenv("ORVANE_DEBUG_FAULT");
    ASSERT_TRUE(faults != nullptr && std::string(faults) == "import-worker,file-writer")
        << "this test needs ORVANE_DEBUG_FAULT=import-worker,file-writer";
    const auto importThenSelect = [this](const std::string& step) {
        events.clear();
        testing::internal::CaptureStderr();
        view->OnReceiveMessage(QString::fromStdString("openSTLFile " + root.string() + " " + step));
        // Kept while the import works, run after it.
        view->OnReceiveMessage("selectId");
        while (view->importing()) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        return testing::internal::GetCapturedStderr();
    };

    std::string diagnostics = importThenSelect(screw);
    EXPECT_NE(diagnostics.find("orvane: openSTLFile: the import of '" + screw + "' failed: std::bad_alloc"),
              std::string::npos)
        << diagnostics;
    EXPECT_EQ(replies(), (std::vector<std::string>{"message open", "selectFace "}));
    EXPECT_TRUE(props().empty());

    diagnostics = importThenSelect(screw);
    EXPECT_NE(diagnostics.find("Standard_Failure: injected by ORVANE_DEBUG_FAULT"), std::string::npos)
        << diagnostics;
    EXPECT_NE(diagnostics.find("1 model files could not be written"), std::string::npos) << diagnostics;
    EXPECT_EQ(replies(), (std::vector<std::string>{"message open", "selectFace "}));

    importThenSelect(screw);
    EXPECT_EQ(replies(),
              (std::vector<std::string>{"message open", "message step_file_loaded_flag", "selectFace "}));
    EXPECT_EQ(view->stepImport->faceFileCount, regularFiles(root / "data/step"));
}

TEST_F(StepImport, ShutdownEmptiesTheLastImportOnly) {
    const fs::path first = prepareRoot("first");
    command("openSTLFile " + first.string() + " " + screw);
    command("openSTLFile " + root.string() + " " + screw);
    fs::create_directories(root / "data/step/keep");
    std::ofstream(root / "data/step/keep/inner.txt") << "x";
    command("genBrep 0");
    view.reset();
    EXPECT_EQ(regularFiles(root / "data/step"), 0);
    EXPECT_EQ(regularFiles(root / "data/solid"), 0);
    EXPECT_TRUE(fs::exists(root / "data/step/keep/inner.txt"));
    EXPECT_TRUE(fs::exists(root / "data/brep/face0.brep"));
    EXPECT_TRUE(fs::exists(root / "data/locomotive_bogieassembly_sldasm2.stl"));
    EXPECT_GT(regularFiles(first / "data/step"), 0);
}

TEST_F(StepImport, GenBrepRunsTheGeneratorWithBothPathsAndAppendsItsPoints) {
    // A generator that records its arguments and writes seven numbers.
    const fs::path program = root / "src/guass/demo1.exe";
    std::ofstream(program) << "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$(dirname \"$0\")/args.txt\"\n"
                              "printf '1 2 3\\n4 5 6\\n7\\n' > \"$2\"\n";
    fs::permissions(program, fs::perms::owner_all);
    command("openSTLFile " + root.string() + " " + screw);

    const std::string console = command("genBrep 3");
    const std::string brep = root.string() + "/data/brep/face3.brep";
    EXPECT_NE(console.find("Successfully saved face to " + brep), std::string::npos) << console;
    EXPECT_TRUE(fs::exists(brep));
    std::ifstream args(root / "src/guass/args.txt");
    std::string first;
    std::string second;
    std::getline(args, first);
    std::getline(args, second);
    EXPECT_EQ(first, brep);
    EXPECT_EQ(second, root.string() + "/data/guass/guass.txt");

    auto& style = *view->pickingStyle;
    ASSERT_EQ(style.analysis->gaussPoints.size(), 2u);
    EXPECT_EQ(style.analysis->gaussPoints[1].faceIndex, 3);
    EXPECT_EQ(style.analysis->gaussPoints[1].z, 6.0);
    EXPECT_EQ(style.analysis->model.brepFiles, std::vector<std::string>{brep});

    // A failing generator, or one that writes nothing, adds no points: the
    // old output is gone before it runs and is never read under a new face.
    const fs::path output = root / "data/guass/guass.txt";
    for (const char* failing : {"#!/bin/sh\nexit 3\n", "#!/bin/sh\nprintf '9 9 9\\n' > \"$2\"; kill -9 $$\n",
                                "#!/bin/sh\nexit 0\n"}) {
        std::ofstream(program) << failing;
        testing::internal::CaptureStderr();
        command("genBrep 5");
        const std::string diagnostics = testing::internal::GetCapturedStderr();
        EXPECT_EQ(style.analysis->gaussPoints.size(), 2u) << failing;
        EXPECT_NE(diagnostics.find("guass.txt"), std::string::npos) << failing << diagnostics;
    }
    EXPECT_FALSE(fs::exists(output));
    // A face that cannot be written runs no program on an older B-rep.
    fs::create_directory(root / "data/brep/face6.brep");
    std::ofstream(program) << "#!/bin/sh\nprintf '1 2 3\\n' > \"$2\"\n";
    command("genBrep 6");
    EXPECT_EQ(style.analysis->gaussPoints.size(), 2u);
    EXPECT_FALSE(fs::exists(output));

    // generateBreps takes the face from the target.
    style.analysis->target = "F 0 7";
    command("generateBreps");
    EXPECT_TRUE(fs::exists(root / "data/brep/face7.brep"));
    EXPECT_EQ(style.analysis->gaussPoints.back().faceIndex, 7);

    testing::internal::CaptureStderr();
    command("genBrep " + std::to_string(style.faces.size()));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("no face"), std::string::npos);
    EXPECT_EQ(style.analysis->gaussPoints.size(), 3u);
}

TEST_F(StepImport, TheShippedGeneratorWorksUnderARootWithShellCharacters) {
    const fs::path odd = prepareRoot("root-ü;$(touch${IFS}pwned)'q`id`");
    fs::copy_file(ORVANE_GAUSS_POINTS_PROGRAM, odd / "src/guass/demo1.exe");
    command("openSTLFile " + odd.string() + " " + screw);
    command("genBrep 0");
    EXPECT_TRUE(fs::exists(odd / "data/brep/face0.brep"));
    EXPECT_GT(fs::file_size(odd / "data/guass/guass.txt"), 0u);
    EXPECT_FALSE(view->analysis->gaussPoints.empty());
    EXPECT_FALSE(fs::exists("pwned"));
}

TEST_F(StepImport, SphereCutsWriteNumberedPiecesAndRegisterThem) {
    command("openSTLFile " + root.string() + " " + screw);
    command("cutBrep 0 0 0 1");
    command("cutBrep 0 0 0 100000");
    for (const char* file :
         {"data/brep/cut0.brep", "data/cut/cut0.stl", "data/brep/cut1.brep", "data/cut/cut1.stl"}) {
        EXPECT_TRUE(fs::exists(root / file)) << file;
    }
    EXPECT_EQ(view->stepImport->cutCount, 2);
    EXPECT_EQ(view->analysis->model.brepFiles,
              (std::vector<std::string>{root.string() + "/data/cut/cut0.stl",
                                        root.string() + "/data/cut/cut1.stl"}));
    int cutActors = 0;
    for (vtkProp* prop : props()) {
        const std::string name = orvane::actorName(prop);
        cutActors += (name == "C 0 0" || name == "C 0 1") ? 1 : 0;
    }
    EXPECT_EQ(cutActors, 2);
    // The sphere holding the whole model keeps every face.
    EXPECT_GT(fs::file_size(root / "data/cut/cut1.stl"), fs::file_size(root / "data/cut/cut0.stl"));
}

TEST_F(StepImport, FaceCommandsHighlightSelectAndMarkFaces) {
    command("openSTLFile " + root.string() + " " + screw);
    auto& style = *view->pickingStyle;
    events.clear();
    command("rendererFace 2");
    command("selectId");
    EXPECT_EQ(replies(), std::vector<std::string>{"selectFace 2 "});
    vtkActor* face = style.faceActors[2];
    EXPECT_TRUE(face->GetVisibility());
    EXPECT_EQ(face->GetProperty()->GetColor()[1], 1.0);
    command("rendererFace 4");
    EXPECT_FALSE(face->GetVisibility()) << "the previous highlight is hidden";
    EXPECT_EQ(style.selectedFaceIds, std::vector<int>{4});

    const std::size_t before = props().size();
    command("BadFace 1");
    EXPECT_EQ(props().size(), before + 3) << "line, sphere and label";
    EXPECT_EQ(style.faceActors[1]->GetProperty()->GetColor()[0], 0.5);
}

TEST_F(StepImport, HoverInFaceModeSelectsTheFaceUnderTheMouseAndARightClickTargetsIt) {
    command("openSTLFile " + root.string() + " " + screw);
    command("facePickup");
    auto& style = *view->pickingStyle;
    const int* size = view->vtkWidget->renderWindow()->GetSize();
    style.updateHover(size[0] / 2, size[1] / 2);
    ASSERT_EQ(style.selectedFaceIds.size(), 1u) << "the middle of the view shows the screw";
    const int face = style.selectedFaceIds[0];
    const auto& box = style.faceBoxes[static_cast<std::size_t>(face)];
    for (int axis = 0; axis < 3; ++axis) {
        EXPECT_GT(style.pickPosition[static_cast<std::size_t>(axis)],
                  box[static_cast<std::size_t>(axis)] - 0.001);
        EXPECT_LT(style.pickPosition[static_cast<std::size_t>(axis)],
                  box[static_cast<std::size_t>(axis + 3)] + 0.001);
    }
    EXPECT_TRUE(style.faceActors[static_cast<std::size_t>(face)]->GetVisibility());

    const std::string console = [&] {
        std::ostringstream out;
        std::streambuf* const old = std::cout.rdbuf(out.rdbuf());
        style.OnRightButtonDown();
        std::cout.rdbuf(old);
        return out.str();
    }();
    EXPECT_EQ(style.analysis->target, "F 0 " + std::to_string(face));
    EXPECT_EQ(console.substr(0, console.find('\n')), style.analysis->target);
    const double* centre = style.faceActors[static_cast<std::size_t>(face)]->GetCenter();
    EXPECT_EQ(style.analysis->position[0], centre[0]);

    // Off the model nothing is selected, and the target stays.
    style.updateHover(2, 2);
    EXPECT_TRUE(style.selectedFaceIds.empty());
    style.OnRightButtonDown();
    EXPECT_EQ(style.analysis->target, "F 0 " + std::to_string(face));
}

TEST_F(StepImport, HoverInSolidModeRedsTheSolidAndRestoresIt) {
    command("openSTLFile " + root.string() + " " + screw);
    auto& style = *view->pickingStyle;
    const int* size = view->vtkWidget->renderWindow()->GetSize();
    style.updateHover(size[0] / 2, size[1] / 2);
    ASSERT_NE(style.lastPickedActor, nullptr);
    EXPECT_EQ(orvane::actorName(style.lastPickedActor), "S 0 0");
    vtkActor* solid = style.lastPickedActor;
    EXPECT_EQ(solid->GetProperty()->GetColor()[1], 0.0);
    EXPECT_DOUBLE_EQ(solid->GetProperty()->GetOpacity(), 0.8);
    style.updateHover(2, 2);
    EXPECT_EQ(style.lastPickedActor, nullptr);
    EXPECT_EQ(solid->GetProperty()->GetColor()[1], 1.0);
    EXPECT_DOUBLE_EQ(solid->GetProperty()->GetOpacity(), 0.8);
}

TEST_F(StepImport, HighlightPointsMarksEveryPointOfTheFile) {
    std::ofstream(base / "points.txt") << "0 0 0\n10 0 0\n5";
    command("HightLightPoint " + (base / "points.txt").string());
    auto& style = *view->pickingStyle;
    ASSERT_EQ(style.highlightPointActors.size(), 2u);
    EXPECT_EQ(orvane::actorName(style.highlightPointActors[1]), "H 0 1");
    EXPECT_EQ(style.highlightPoints[1], (std::array<double, 3>{10, 0, 0}));
    EXPECT_EQ(props().size(), 2u);
}

TEST_F(StepImport, FaceCentreOfTheTargetFace) {
    command("openSTLFile " + root.string() + " " + screw);
    auto& style = *view->pickingStyle;
    style.analysis->target = "F 0 0";
    const std::string console = command("getFaceCenter");
    EXPECT_EQ(console.substr(0, 2), "0\n") << console;
    EXPECT_EQ(style.analysis->nodeCounter, 1);
}

TEST_F(StepImport, MultiPointModeCollectsEachRightClickedFaceOnce) {
    command("openSTLFile " + root.string() + " " + screw);
    auto& style = *view->pickingStyle;
    style.HandleKey("v");
    ASSERT_TRUE(style.analysis->multiPointMode);
    std::ostringstream out;
    std::streambuf* const old = std::cout.rdbuf(out.rdbuf());
    for (int face : {3, 3, 5}) {
        style.lastPickedActor = style.faceActors[static_cast<std::size_t>(face)];
        style.OnRightButtonDown();
    }
    style.lastPickedActor = view->pickingStyle->modelActor;
    style.OnRightButtonDown();
    std::cout.rdbuf(old);
    ASSERT_EQ(style.analysis->pickedPoints.size(), 2u);
    EXPECT_EQ(style.analysis->pickedPoints[0].target, "F 0 3");
    EXPECT_EQ(style.analysis->pickedPoints[1].faceIndex, 5);
    EXPECT_DOUBLE_EQ(style.faceActors[3]->GetProperty()->GetColor()[1], 0.1);

    command("arrowHighLight 10 0 0 0 0 0");
    command("arrowAdd");
    EXPECT_EQ(style.analysis->model.forces.size(), 2u);
    style.HandleKey("v");
    EXPECT_TRUE(style.analysis->pickedPoints.empty());
}

// Hover takes the face from the model's triangles and the solid from its own
// ray cast; both must be what the exact face distances and a plain cell
// picker choose, wherever the mouse is, from several directions.
TEST_F(StepImport, HoverChoosesTheFaceOfTheExactDistancesAndTheActorOfACellPicker) {
    const std::string assembly = writeAssemblyStep(base / "assembly.step");
    for (const std::string& model :
         {screw, std::string("/usr/share/opencascade/data/step/linkrods.step"), assembly}) {
        command("openSTLFile " + root.string() + " " + model);
        auto& style = *view->pickingStyle;
        ASSERT_FALSE(style.faces.empty()) << model;
        vtkCamera* camera = view->renderer->GetActiveCamera();
        const int* size = view->vtkWidget->renderWindow()->GetSize();
        auto plainPicker = vtkSmartPointer<vtkCellPicker>::New();
        int moves = 0;
        int onModel = 0;
        int inner = 0;
        int agreeing = 0;
        for (const std::array<double, 3>& eye :
             std::vector<std::array<double, 3>>{{0, 0, -1}, {1, 0, 0}, {0, 1, 0.001}, {1, 1, 1}}) {
            camera->SetFocalPoint(0, 0, 0);
            camera->SetPosition(eye[0], eye[1], eye[2]);
            camera->SetViewUp(0, 0, 1);
            if (std::abs(eye[0]) < 1e-9 && std::abs(eye[1]) < 1e-9) {
                camera->SetViewUp(0, 1, 0);
            }
            view->renderer->ResetCamera();
            view->renderView();
            double direction[3];
            camera->GetDirectionOfProjection(direction);
            vtkMath::Normalize(direction);
            const auto faceAt = [&](int x, int y) {
                style.updateHover(x, y);
                return style.selectedFaceIds.empty() ? -1 : style.selectedFaceIds[0];
            };
            std::vector<std::array<int, 2>> grid;
            for (int y = size[1] / 10; y < size[1]; y += size[1] / 10) {
                for (int x = size[0] / 10; x < size[0]; x += size[0] / 10) {
                    grid.push_back({x, y});
                }
            }
            std::vector<bool> hits;
            for (const auto& [x, y] : grid) {
                style.updateHover(x, y);
                plainPicker->Pick(x, y, 0.0, view->renderer);
                ASSERT_EQ(style.lastPickedActor, plainPicker->GetActor())
                    << model << " solid mode at " << x << "," << y;
                hits.push_back(plainPicker->GetCellId() != -1);
            }
            style.setFaceMode(true);
            for (std::size_t move = 0; move < grid.size(); ++move) {
                const auto [x, y] = grid[move];
                ++moves;
                const int face = faceAt(x, y);
                if (!hits[move]) {
                    EXPECT_EQ(face, -1) << model << " background at " << x << "," << y;
                    continue;
                }
                ++onModel;
                const int exact = style.faceByExactDistance(direction);
                agreeing += face == exact ? 1 : 0;
                bool nearBorder = false;
                for (const auto& [dx, dy] : {std::array<int, 2>{3, 0}, {-3, 0}, {0, 3}, {0, -3}}) {
                    nearBorder = nearBorder || faceAt(x + dx, y + dy) != face;
                }
                if (!nearBorder) {
                    ++inner;
                    EXPECT_EQ(face, exact) << model << " face mode at " << x << "," << y;
                }
            }
            style.setFaceMode(false);
        }
        EXPECT_GT(inner, onModel / 3) << model << ": too few moves away from face borders";
        EXPECT_GE(agreeing * 100, onModel * 95) << model << ": " << agreeing << " of " << onModel;
        EXPECT_LT(onModel, moves) << model << ": the background was never picked";
    }
}
