// Beams, springs, connections, line points, the keyboard commands, deletion
// and RB3 disc elements.

#include "RecordingChannel.h"
#include "ViewReady.h"
#include "app/Orvane.h"
#include "interaction/MouseInteractorHighLightActor.h"
#include "interaction/PointPickerCallback.h"
#include "model/Analysis.h"
#include "model/EntityEditor.h"
#include "scene/ActorNames.h"
#include "scene/SceneRegistry.h"

#include <vtkActor.h>
#include <vtkAssembly.h>
#include <vtkPolyData.h>
#include <vtkPolyDataMapper.h>
#include <vtkProp3DCollection.h>
#include <vtkPropCollection.h>
#include <vtkProperty.h>
#include <vtkRenderer.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

namespace fs = std::filesystem;
using orvane::Point3;

namespace {

class LineElementsAndKeys : public ::testing::Test {
protected:
    void SetUp() override {
        scratch =
            fs::temp_directory_path() / ("orvane-keys-" + std::to_string(::getpid()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(scratch);
        fs::create_directories(scratch / "rb3");
        fs::create_directories(scratch / "root/data");
        ::setenv("ORVANE_RB3_BREP_DIR", (scratch / "rb3").c_str(), 1);
        view = std::make_unique<Orvane>(false, std::make_unique<RecordingChannel>(events));
        ::unsetenv("ORVANE_RB3_BREP_DIR");
        ASSERT_TRUE(waitUntilExposed(*view));
    }
    void TearDown() override {
        view.reset();
        fs::remove_all(scratch);
    }

    std::string command(const std::string& text) {
        std::ostringstream err;
        std::streambuf* const old = std::cerr.rdbuf(err.rdbuf());
        view->OnReceiveMessage(QString::fromStdString(text));
        std::cerr.rdbuf(old);
        return err.str();
    }

    std::string key(const std::string& symbol) {
        std::ostringstream out;
        std::streambuf* const old = std::cout.rdbuf(out.rdbuf());
        style().HandleKey(symbol);
        std::cout.rdbuf(old);
        return out.str();
    }

    std::vector<vtkActor*> actorsNamed(const std::string& name) {
        std::vector<vtkActor*> found;
        vtkPropCollection* props = view->renderer->GetViewProps();
        props->InitTraversal();
        while (vtkProp* prop = props->GetNextProp()) {
            if (orvane::actorName(prop) == name) {
                found.push_back(vtkActor::SafeDownCast(prop));
            }
        }
        return found;
    }

    orvane::MouseInteractorHighLightActor& style() { return *view->pickingStyle; }

    fs::path scratch;
    std::vector<RecordingChannel::Event> events;
    std::unique_ptr<Orvane> view;
};

} // namespace

TEST_F(LineElementsAndKeys, StraightBeamHasOneSphereANodeAndOneCellASegment) {
    command("beamHightLight 4 100 0 0 0 8 0 0 5 210000 0.3 1 1 0 2");
    ASSERT_EQ(view->analysis->model.beams.size(), 1u);
    const orvane::BeamRecord& beam = view->analysis->model.beams[0];
    EXPECT_EQ(beam.name, "B 0");
    EXPECT_EQ(beam.points.size(), 5u);
    EXPECT_EQ(beam.points[1], (Point3{2, 0, 0}));
    EXPECT_EQ(beam.radius, 5.0);
    EXPECT_EQ(beam.segments, 4.0);
    for (int k = 0; k <= 4; ++k) {
        EXPECT_EQ(actorsNamed("B 0 " + std::to_string(k)).size(), 1u) << k;
    }
    const std::vector<vtkActor*> line = actorsNamed("B 0");
    ASSERT_EQ(line.size(), 1u);
    auto* cells = vtkPolyData::SafeDownCast(line[0]->GetMapper()->GetInput());
    ASSERT_NE(cells, nullptr);
    EXPECT_EQ(cells->GetNumberOfLines(), 4);

    EXPECT_NE(command("beamHightLight 0 100 0 0 0 8 0 0 5 1 1 1 1 0 2").find("at least one segment"),
              std::string::npos);
    EXPECT_EQ(view->analysis->model.beams.size(), 1u);
    EXPECT_EQ(view->analysis->beamCounter, 1);
}

TEST_F(LineElementsAndKeys, PolylineBeamFromCollectedPositions) {
    for (const Point3& p : {Point3{0, 0, 0}, Point3{1, 0, 0}, Point3{1, 1, 0}}) {
        view->analysis->position = p;
        key("h");
    }
    command("beamHightLight2 2 50 3 7 0.25 0 1 0 1");
    ASSERT_EQ(view->analysis->model.beams.size(), 1u);
    EXPECT_EQ(view->analysis->model.beams[0].points.size(), 3u);
    EXPECT_EQ(view->analysis->model.beams[0].poisson, 0.25);
    EXPECT_TRUE(view->analysis->beamPolyline.empty());
}

TEST_F(LineElementsAndKeys, SpringsConnectionsAndTheirNames) {
    command("springHightLight 0 0 0 1 0 0 10 20 30 1 0 0 F 0 7 B 1 2");
    command("springHightLight 0 0 0 0 1 0 1 1 1 1 0 0 P 0 1 P 0 2");
    ASSERT_EQ(view->analysis->model.springs.size(), 2u);
    EXPECT_EQ(view->analysis->model.springs[1].name, "S 1");
    EXPECT_EQ(view->analysis->model.springs[0].type2, "B 1 2");
    EXPECT_EQ(view->analysis->model.springs[0].stiffness, (Point3{10, 20, 30}));

    command("connects 0 0 0 1 1 1 F 0 1 F 0 2 1 1 1 0.9 -1.5 0 0 0 1");
    ASSERT_EQ(view->analysis->model.connections.size(), 1u);
    EXPECT_EQ(view->analysis->model.connections[0].name, "C 0");
    EXPECT_EQ(view->analysis->model.connections[0].flags, (std::array<int32_t, 6>{1, 1, 1, 0, -1, 0}));
    EXPECT_EQ(actorsNamed("C 0").size(), 1u);
}

TEST_F(LineElementsAndKeys, LinePointsAndPointsCoord) {
    command("addLinePoints 0 0 0 4 0 0 4");
    EXPECT_EQ(view->analysis->nodeCounter, 4);
    command("addLinePoints2 0 0 0 4 0 0 4");
    EXPECT_EQ(view->analysis->nodeCounter, 9);
    command("addLinePoints 0 0 0 4 0 0 0");
    EXPECT_EQ(view->analysis->nodeCounter, 9);

    view->analysis->position = {1, 2.5, 0};
    view->analysis->target = "F 0 7";
    key("b");
    EXPECT_TRUE(style().pointCollectFlag);
    command("pointsCoord");
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].name, "spring");
    EXPECT_EQ(events[0].args.at(0), "1.000000 2.500000 0.000000 F 0 7");
    EXPECT_FALSE(style().pointCollectFlag);
}

TEST_F(LineElementsAndKeys, KeysAddDeleteAndToggle) {
    command("arrowHighLight 0 0 -100 0 0 0");
    view->analysis->target = "F 0 7";
    key("r");
    key("R");
    key("t");
    ASSERT_EQ(view->analysis->model.forces.size(), 2u);
    EXPECT_EQ(view->analysis->model.forces[1].name, "* 1");
    EXPECT_EQ(view->analysis->model.constraints.size(), 1u);

    // Escape with nothing under the mouse changes nothing.
    EXPECT_EQ(key("Escape"), "");
    style().lastPickedActor = actorsNamed("* 0").at(0);
    EXPECT_EQ(key("Escape"), "* 0\narrow delete\n");
    ASSERT_EQ(view->analysis->model.forces.size(), 1u);
    EXPECT_EQ(view->analysis->model.forces[0].name, "* 1");
    EXPECT_FALSE(actorsNamed("* 0").at(0)->GetVisibility());

    view->analysis->multiPointMode = true;
    view->analysis->pickedPoints = {{"F 0 1", {0, 0, 0}, 1}};
    key("v");
    EXPECT_FALSE(view->analysis->multiPointMode);
    EXPECT_TRUE(view->analysis->pickedPoints.empty());
    key("V");
    EXPECT_TRUE(view->analysis->multiPointMode);

    key("l");
    EXPECT_TRUE(style().faceMode);
    key("L");
    EXPECT_FALSE(style().faceMode);

    view->analysis->dataRoot = (scratch / "root").string();
    key("k");
    EXPECT_TRUE(fs::exists(scratch / "root/data/preFiles.txt"));

    for (const char* ignored : {"w", "e", "3", "F1", "escape"}) {
        EXPECT_EQ(key(ignored), "") << ignored;
    }
    EXPECT_EQ(view->analysis->model.forces.size(), 1u);
}

TEST_F(LineElementsAndKeys, RB3DiscCapturesInItsPlaneAndCanBeDeleted) {
    command("frameHightLight 0 0 100 0 0 0 10");
    view->analysis->position = {0, 0, 0};
    view->analysis->target = "F 0 2";
    view->analysis->gaussPoints = {{1, 10, 0, 0}, {1, 0, 0, 5}, {2, 0, 3, 4.9}, {3, 0, 11, 0}};
    key("y");
    ASSERT_EQ(view->analysis->rb3Circles.size(), 1u);
    const auto& circle = view->analysis->rb3Circles[0];
    EXPECT_EQ(circle.name, "* 0") << "named after its actors, so deletion finds it";
    EXPECT_EQ(circle.id, 100.0);
    EXPECT_EQ(circle.capturedPoints, (std::vector<double>{10, 0, 0, 0, 3, 4.9}));
    EXPECT_TRUE(fs::exists(scratch / "rb3/circle0.brep"));
    EXPECT_EQ(actorsNamed("* 0").size(), 3u) << "spokes, disc and arrow";

    style().lastPickedActor = actorsNamed("* 0").at(1);
    EXPECT_EQ(key("q"), "* 0\narrowFrame delete\n");
    EXPECT_TRUE(view->analysis->rb3Circles.empty());

    view->analysis->labelText = "abc";
    EXPECT_TRUE(view->entities->AddRb3Circle());
    EXPECT_EQ(view->analysis->rb3Circles.back().id, 0.0);
    EXPECT_TRUE(fs::exists(scratch / "rb3/circle1.brep"));

    view->analysis->direction = {0, 0, 0};
    EXPECT_FALSE(view->entities->AddRb3Circle());
    EXPECT_EQ(view->analysis->rb3Circles.size(), 1u);
    EXPECT_FALSE(fs::exists(scratch / "rb3/circle2.brep"));
}

TEST_F(LineElementsAndKeys, WithoutTheirLocationsKeysAndCommandsSayWhatIsMissing) {
    view->analysis->dataRoot.clear();
    view->analysis->rb3BrepDir.clear();
    command("frameHightLight 0 0 100 0 0 0 10");
    testing::internal::CaptureStderr();
    key("k");
    key("y");
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("orvane: k: no data root yet"), std::string::npos) << err;
    EXPECT_NE(err.find("RB3 disc * 0 is not written: no RB3 B-rep directory"), std::string::npos) << err;
    EXPECT_EQ(view->analysis->rb3Circles.size(), 1u) << "the disc itself is still added";
    EXPECT_NE(command("cutBrep 0 0 0 1").find("cutBrep: no data root yet"), std::string::npos);
    view->fixedLocations.seriesDir.clear();
    EXPECT_NE(
        command("rendererVTK " + (scratch / "box3D_FEMmpData1.vtk").string()).find("no series directory"),
        std::string::npos);
}

TEST_F(LineElementsAndKeys, XExportsOnlyFaceTargets) {
    view->analysis->target = "P 0 1";
    testing::internal::CaptureStderr();
    key("x");
    EXPECT_NE(testing::internal::GetCapturedStderr().find("is not a face"), std::string::npos);
    EXPECT_TRUE(style().modelActor->GetVisibility());
}

TEST_F(LineElementsAndKeys, BeamNodeMarkersAtThePickedNode) {
    command("beamMesh 4 100 1 0 0 0 0 0");
    command("beamMesh 2 10 0 1 0 0 0 0");
    command("peidianPicker 2 unused 0");
    EXPECT_EQ(view->pointLists->pointCoords.size(), 5u);
    EXPECT_EQ(view->pointPickerCallback->points.size(), 5u);

    view->pointPickerCallback->pickedValid = true;
    view->pointPickerCallback->pickedPosition = {25, 0, 0};
    command("arrowBeam F1 0 0 1");
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].args.at(0), "25.000000 0.000000 0.000000");
    EXPECT_EQ(events[1].name, "id");
    EXPECT_EQ(events[1].args.at(0), "1");
    EXPECT_EQ(view->scene->slot, 666);
    EXPECT_FALSE(view->pointPickerCallback->pickedValid);

    events.clear();
    view->pointPickerCallback->pickedValid = true;
    command("fixBeam C1");
    command("fixBeam C2");
    EXPECT_EQ(events.size(), 2u) << "the pick is not consumed";
    EXPECT_EQ(view->scene->slot, 777);
    EXPECT_EQ(view->scene->beamMarkerAssembly->GetParts()->GetNumberOfItems(), 3);
    // The load marker keeps its magenta after the constraint markers.
    auto* load = vtkActor::SafeDownCast(view->scene->beamMarkerAssembly->GetParts()->GetItemAsObject(0));
    ASSERT_NE(load, nullptr);
    EXPECT_EQ(load->GetProperty()->GetColor()[2], 1.0);
    EXPECT_EQ(view->scene->beamLabelAssembly->GetParts()->GetNumberOfItems(), 3);

    events.clear();
    view->analysis->target = "F 0 2";
    command("MatIds");
    EXPECT_TRUE(events.empty());
    view->analysis->target = "S 0 2";
    command("MatIds");
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].name, "id");
    EXPECT_EQ(events[0].args.at(0), "2");

    view->analysis->target = "S 0 2";
    EXPECT_NE(command("getFaceCenter").find("is not a face"), std::string::npos);
}
