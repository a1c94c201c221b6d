// Forces, constraints, RB3 captures and markers attached to the picked
// target, "judge", and the solver files they end up in.

#include "RecordingChannel.h"
#include "ViewReady.h"
#include "app/Orvane.h"
#include "interaction/MouseInteractorHighLightActor.h"
#include "interaction/PointPickerCallback.h"
#include "model/Analysis.h"
#include "scene/ActorNames.h"
#include "scene/PickedPointArrow.h"

#include <vtkActor.h>
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

class BoundaryConditions : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("orvane-bc-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        for (const char* dir : {"data/beam", "data/spring"}) {
            fs::create_directories(root / dir);
        }
        view = std::make_unique<Orvane>(false, std::make_unique<RecordingChannel>(events));
        ASSERT_TRUE(waitUntilExposed(*view));
    }
    void TearDown() override {
        view.reset();
        fs::remove_all(root);
    }

    std::string command(const std::string& text) {
        std::ostringstream err;
        std::streambuf* const old = std::cerr.rdbuf(err.rdbuf());
        view->OnReceiveMessage(QString::fromStdString(text));
        std::cerr.rdbuf(old);
        return err.str();
    }

    vtkActor* actorNamed(const std::string& name) {
        vtkPropCollection* props = view->renderer->GetViewProps();
        props->InitTraversal();
        while (vtkProp* prop = props->GetNextProp()) {
            if (orvane::actorName(prop) == name) {
                return vtkActor::SafeDownCast(prop);
            }
        }
        return nullptr;
    }

    std::string slurp(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream content;
        content << in.rdbuf();
        return content.str();
    }

    orvane::MouseInteractorHighLightActor& style() { return *view->pickingStyle; }

    fs::path root;
    std::vector<RecordingChannel::Event> events;
    std::unique_ptr<Orvane> view;
};

} // namespace

TEST_F(BoundaryConditions, ForceParametersSetLabelDirectionAndTheRecord) {
    EXPECT_NE(command("arrowAdd").find("set the force components first"), std::string::npos);
    EXPECT_TRUE(view->analysis->model.forces.empty());
    EXPECT_EQ(view->analysis->entityCounter, 0);

    command("arrowHighLight 0 0 -100 0 0 0");
    EXPECT_EQ(view->analysis->labelText, "100.000000");
    EXPECT_EQ(view->analysis->direction, (Point3{0, 0, -1}));
    view->analysis->target = "F 0 7";
    view->analysis->position = {1, 2, 3};
    command("arrowAdd");
    command("arrowAdd");
    ASSERT_EQ(view->analysis->model.forces.size(), 2u);
    const orvane::ForceRecord& force = view->analysis->model.forces[1];
    EXPECT_EQ(force.name, "* 1");
    EXPECT_EQ(force.target, "F 0 7");
    EXPECT_EQ(force.label, "100.000000");
    EXPECT_EQ(force.position, (Point3{1, 2, 3}));
    EXPECT_EQ(force.components, (std::array<double, 6>{0, 0, -100, 0, 0, 0}));

    // The glyph points along -z from the application point.
    vtkActor* arrow = actorNamed("* 0");
    ASSERT_NE(arrow, nullptr);
    const double* bounds = arrow->GetBounds();
    EXPECT_NEAR(bounds[4], 3.0 - 40.0, 1e-6);
    EXPECT_NEAR(bounds[5], 3.0, 1e-6);

    // A force without magnitude keeps the last direction.
    EXPECT_NE(command("arrowHighLight 0 0 0 5 0 0").find("has no direction"), std::string::npos);
    EXPECT_EQ(view->analysis->direction, (Point3{0, 0, -1}));
    EXPECT_EQ(view->analysis->labelText, "0.000000");
    command("frameHightLight 3 4 0 0 0 0 25");
    EXPECT_EQ(view->analysis->captureRadius, 25.0);
    EXPECT_DOUBLE_EQ(view->analysis->direction[0], 0.6);
}

TEST_F(BoundaryConditions, MultiPointForcesFollowThePickedPoints) {
    command("arrowHighLight 10 0 0 0 0 0");
    view->analysis->multiPointMode = true;
    view->analysis->pickedPoints = {{"F 0 1", {0, 0, 0}, 1}, {"F 0 4", {5, 0, 0}, 4}};
    command("arrowAdd");
    ASSERT_EQ(view->analysis->model.forces.size(), 2u);
    EXPECT_EQ(view->analysis->model.forces[0].target, "F 0 1");
    EXPECT_EQ(view->analysis->model.forces[1].name, "* 1");
    EXPECT_EQ(view->analysis->model.forces[1].position, (Point3{5, 0, 0}));
}

TEST_F(BoundaryConditions, ConstraintsTruncateTheirFlagsAndShareTheCounter) {
    command("fixHighLight 1 1 1 0.9 0 -1.7");
    EXPECT_EQ(view->analysis->fixTranslation, (std::array<int32_t, 3>{1, 1, 1}));
    EXPECT_EQ(view->analysis->fixRotation, (std::array<int32_t, 3>{0, 0, -1}));
    command("arrowHighLight 0 0 -100 0 0 0");
    view->analysis->target = "F 0 3";
    command("arrowAdd");
    command("constrainAdd");
    ASSERT_EQ(view->analysis->model.constraints.size(), 1u);
    EXPECT_EQ(view->analysis->model.constraints[0].name, "* 1");
    vtkActor* glyph = actorNamed("* 1");
    ASSERT_NE(glyph, nullptr);
    EXPECT_EQ(glyph->GetProperty()->GetRepresentation(), VTK_WIREFRAME);
}

TEST_F(BoundaryConditions, Rb3CaptureTakesGaussPointsWithinTheRadius) {
    view->analysis->gaussPoints = {{2, 10, 0, 0}, {2, 0, 10, 0}, {5, 0, 0, 10.5}, {6, 3, 0, 0}};
    view->analysis->target = "P 0 4";
    command("frameHightLight 1 0 0 0 0 0 10");
    command("sphereAdd");
    ASSERT_EQ(view->analysis->model.rb3Elements.size(), 1u);
    const orvane::Rb3Record& element = view->analysis->model.rb3Elements[0];
    EXPECT_EQ(element.name, "* 0");
    EXPECT_EQ(element.faceIds, (std::vector<int32_t>{2, 6}));
    EXPECT_EQ(element.capturedPoints.size(), 3u);
    EXPECT_NE(actorNamed("* 0"), nullptr);

    view->analysis->gaussPoints.clear();
    command("sphereAdd");
    EXPECT_TRUE(view->analysis->model.rb3Elements[1].faceIds.empty());
}

TEST_F(BoundaryConditions, NodeAndTextMarkers) {
    command("node 1 2 3 4");
    command("node 0 0 0 1");
    EXPECT_NE(actorNamed("P 0 0"), nullptr);
    EXPECT_NE(actorNamed("P 0 1"), nullptr);
    EXPECT_EQ(view->analysis->nodeCounter, 2);
    command("mark Hello 1 0 0 18.7 5 6 7");
    EXPECT_EQ(view->analysis->markText, "Hello");
    EXPECT_EQ(view->analysis->position, (Point3{5, 6, 7}));
}

TEST_F(BoundaryConditions, JudgeRepliesOffsetsThenTheSelectedPoints) {
    view->pointLists->pointCoords = {{0, 0, 0}, {0, 0, 5}, {20, 0, 0}};
    view->pointPickerCallback->pickedPosition = {0, 0, 0};
    command("judge");
    std::vector<std::string> texts;
    for (const auto& event : events) {
        texts.push_back(event.args.at(0));
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"0.000000 0.000000 0.000000", "0.000000 0.000000 -5.000000",
                                               "-20.000000 0.000000 0.000000", "0.000000 0.000000 0.000000",
                                               "20.000000 0.000000 0.000000"}));
    EXPECT_EQ(view->pointLists->selectedPointIndices, (std::vector<int>{0, 2}));

    events.clear();
    view->pickedArrow->label = "F1";
    command("txt " + (root / "selection.txt").string());
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].args.at(0), "file is generated");
    EXPECT_EQ(slurp(root / "selection.txt"), "$ F1 0 0 1\n# 10 0 0\n* 0 0 0 0\n* 2 20 0 0\n");

    events.clear();
    command("sphere 2 10 0 0 0 0 0 1");
    EXPECT_EQ(view->pointLists->sphereRadius, 10.0);
    command("judge");
    EXPECT_EQ(view->pointLists->selectedPointIndices, (std::vector<int>{0}));
    command("sphere 3 50");
    EXPECT_EQ(view->pointLists->sphereRadius, 10.0) << "an unknown form does nothing";
}

TEST_F(BoundaryConditions, SolverFilesHoldExactlyTheModel) {
    command("arrowHighLight 0 0 -100 0 0 0");
    view->analysis->target = "F 0 7";
    command("arrowAdd");
    command("fixHighLight 1 1 1 0 0 0");
    view->analysis->target = "F 0 3";
    command("constrainAdd");
    command("materials x 210000 0.3 7850 1");
    command("BPP 2 3");
    events.clear();
    command("preFiles " + root.string() + "/");
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].args.at(0), "file is generated!");
    const std::string pre = slurp(root / "data/preFiles.txt");
    EXPECT_NE(pre.find("$ materials\n210000.000000 0.300000 7850.000000 1.000000 \n"), std::string::npos)
        << pre;
    EXPECT_NE(pre.find("$ BPP\n2 3\n"), std::string::npos);
    EXPECT_NE(pre.find("$ forceFace id xn yn zn xr yr zr\n7 0.000000 0.000000 -100.000000 0.000000 0.000000 "
                       "0.000000\n\n"),
              std::string::npos);
    EXPECT_NE(pre.find("$ fixFace id xn yn zn xr yr zr\n3 0 1 1 1 0 0 0\n\n"), std::string::npos);

    command("beamSave " + root.string());
    command("springSave " + root.string());
    EXPECT_TRUE(fs::exists(root / "data/beam/beam.txt"));
    EXPECT_EQ(slurp(root / "data/spring/spring.txt"), "$ x y z X Y Z \n");

    // A root without its directories: a diagnostic and no reply, which would
    // report the failure as success.
    events.clear();
    EXPECT_NE(command("preFiles " + root.string() + "/missing/"), "");
    EXPECT_TRUE(events.empty());
}
