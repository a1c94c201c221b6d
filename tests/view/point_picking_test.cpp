// Point files, the point picker, the picked-point arrow, the dragging style
// and the rotation centre, driven through the view's own interactor.

#include "RecordingChannel.h"
#include "ViewReady.h"
#include "app/Orvane.h"
#include "interaction/MouseInteractorStyle2.h"
#include "interaction/PointPickerCallback.h"
#include "scene/ActorNames.h"
#include "scene/PickedPointArrow.h"
#include "scene/SceneRegistry.h"

#include <QCoreApplication>
#include <QThread>
#include <QVTKOpenGLStereoWidget.h>

#include <vtkActor.h>
#include <vtkCamera.h>
#include <vtkCellArray.h>
#include <vtkCommand.h>
#include <vtkPointPicker.h>
#include <vtkPolyData.h>
#include <vtkPolyDataMapper.h>
#include <vtkPropCollection.h>
#include <vtkProperty.h>
#include <vtkRenderWindow.h>
#include <vtkRenderWindowInteractor.h>
#include <vtkRenderer.h>
#include <vtkTextActor3D.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

class PointPicking : public ::testing::Test {
protected:
    void SetUp() override {
        scratch =
            fs::temp_directory_path() / ("orvane-picking-" + std::to_string(::getpid()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(scratch);
        fs::create_directories(scratch);
        ::setenv("ORVANE_GAUSS_DATA_DIR", scratch.c_str(), 1);
        view = std::make_unique<Orvane>(false, std::make_unique<RecordingChannel>(events));
        ::unsetenv("ORVANE_GAUSS_DATA_DIR");
        ASSERT_TRUE(waitUntilExposed(*view));
    }
    void TearDown() override {
        view.reset();
        fs::remove_all(scratch);
    }

    std::string writeFile(const std::string& name, const std::string& content) {
        const fs::path path = scratch / name;
        std::ofstream(path) << content;
        return path.string();
    }

    // Commands as the channel delivers them; returns what went to standard output.
    std::string command(const std::string& text) {
        std::ostringstream out;
        std::streambuf* const old = std::cout.rdbuf(out.rdbuf());
        view->OnReceiveMessage(QString::fromStdString(text));
        std::cout.rdbuf(old);
        return out.str();
    }

    // A left-button press at the screen position of a world point.
    std::string clickAt(const orvane::Point3& world) {
        vtkRenderer* renderer = view->renderer;
        renderer->SetWorldPoint(world[0], world[1], world[2], 1.0);
        renderer->WorldToDisplay();
        const double* display = renderer->GetDisplayPoint();
        vtkRenderWindowInteractor* interactor = view->vtkWidget->interactor();
        interactor->SetEventInformation(static_cast<int>(std::lround(display[0])),
                                        static_cast<int>(std::lround(display[1])));
        std::ostringstream out;
        std::streambuf* const old = std::cout.rdbuf(out.rdbuf());
        interactor->InvokeEvent(vtkCommand::LeftButtonPressEvent);
        interactor->InvokeEvent(vtkCommand::LeftButtonReleaseEvent);
        std::cout.rdbuf(old);
        return out.str();
    }

    bool rendererHolds(vtkProp* prop) { return view->renderer->GetViewProps()->IsItemPresent(prop) != 0; }

    fs::path scratch;
    std::vector<RecordingChannel::Event> events;
    std::unique_ptr<Orvane> view;
};

const char* const selectedText = "\xd2\xd1\xd1\xa1\xd6\xd0";

} // namespace

TEST_F(PointPicking, LoadShowsEveryPointAsOneBlueVertex) {
    command("load 1 " + writeFile("p.txt", "0 0 0  10 0 0  0 10 0  5"));
    vtkActor* actor = view->scene->actors.get(1);
    ASSERT_NE(actor, nullptr);
    auto* points = vtkPolyData::SafeDownCast(actor->GetMapper()->GetInput());
    ASSERT_NE(points, nullptr);
    EXPECT_EQ(points->GetNumberOfPoints(), 3);
    EXPECT_EQ(points->GetNumberOfVerts(), 3);
    EXPECT_DOUBLE_EQ(actor->GetProperty()->GetPointSize(), 8.0);
    const double* blue = actor->GetProperty()->GetColor();
    EXPECT_EQ(blue[0], 0.0);
    EXPECT_EQ(blue[1], 0.0);
    EXPECT_GE(blue[2], 1.0);
    EXPECT_TRUE(rendererHolds(actor));
    EXPECT_EQ(view->pointLists->pointCoords.size(), 3u);
    EXPECT_EQ(view->pointLists->filePoints.size(), 3u);
    EXPECT_EQ(view->pointPickerCallback->points, view->pointLists->pointCoords);

    command("load 1 " + writeFile("q.txt", "1 1 1"));
    vtkActor* second = view->scene->actors.get(1);
    ASSERT_NE(second, nullptr);
    ASSERT_NE(second, actor);
    auto* fewer = vtkPolyData::SafeDownCast(second->GetMapper()->GetInput());
    ASSERT_NE(fewer, nullptr);
    EXPECT_EQ(fewer->GetNumberOfPoints(), 1);
    EXPECT_EQ(fewer->GetNumberOfVerts(), 1);
    EXPECT_EQ(view->pointPickerCallback->points.size(), 1u);

    command("load 0 " + writeFile("r.txt", "1 2 3 4 5 6"));
    EXPECT_EQ(view->pointLists->pointCoords.size(), 1u) << "selector 0 does nothing";
    command("load 1 " + (scratch / "missing.txt").string());
    EXPECT_TRUE(view->pointLists->pointCoords.empty());
    EXPECT_TRUE(events.empty()) << "load never replies";
}

TEST_F(PointPicking, GaussDataFilesOneToFourteenFillTheKnownPoints) {
    writeFile("guass_data_0.txt", "100 100 100");
    writeFile("guass_data_1.txt", "1 1 1 2 2 2");
    writeFile("guass_data_3.txt", "3 3 3 9");
    writeFile("guass_data_14.txt", "14 14 14");
    writeFile("guass_data_15.txt", "15 15 15");
    view->pointLists->pointCoords = {{7, 7, 7}};
    EXPECT_EQ(command("readStl 1 " + std::string(ORVANE_TEST_DATA_DIR) + "/cube.stl"), "11\n");
    EXPECT_EQ(view->pointLists->pointCoords,
              (std::vector<orvane::Point3>{{1, 1, 1}, {2, 2, 2}, {3, 3, 3}, {14, 14, 14}}));
    EXPECT_TRUE(view->pointPickerCallback->points.empty()) << "the picker's list is left alone";

    fs::remove_all(scratch);
    fs::create_directories(scratch);
    command("readStl 1 " + std::string(ORVANE_TEST_DATA_DIR) + "/cube.stl");
    EXPECT_TRUE(view->pointLists->pointCoords.empty());
}

TEST_F(PointPicking, ClickOnAKnownPointSelectsIt) {
    command("load 1 " + writeFile("p.txt", "0 0 0  10 0 0  0 10 0  10 10 0"));
    command("reset");
    command("arrowOpen");
    EXPECT_EQ(view->vtkWidget->interactor()->GetPicker(),
              static_cast<vtkAbstractPicker*>(view->pointPicker.GetPointer()));

    const std::string console = clickAt({10, 0, 0});
    EXPECT_NE(console.find("Picked Position: 10, 0, 0\n1\n10, 0, 0\n"), std::string::npos) << console;
    EXPECT_NE(console.find(selectedText), std::string::npos) << console;
    EXPECT_TRUE(view->pointPickerCallback->picked);
    EXPECT_TRUE(view->pointPickerCallback->pickedValid);
    EXPECT_EQ(view->pointPickerCallback->pickedPosition, (orvane::Point3{10, 0, 0}));

    // The view keeps answering commands after arrowOpen.
    command("readModelSTL " + std::string(ORVANE_TEST_DATA_DIR) + "/cube.stl 5 1 1 1 1");
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].args.at(0), "5 1.000000 1.000000 1.000000 1.000000");
}

TEST_F(PointPicking, AClickOnNothingOnlySetsTheFlags) {
    command("load 1 " + writeFile("p.txt", "0 0 0  10 0 0"));
    command("reset");
    command("arrowOpen");
    view->pointPickerCallback->pickedPosition = {-7, -7, -7};
    const std::string console = clickAt({1000, 1000, 0});
    EXPECT_EQ(console, "");
    EXPECT_TRUE(view->pointPickerCallback->pickedValid);
    EXPECT_EQ(view->pointPickerCallback->pickedPosition, (orvane::Point3{-7, -7, -7}));
}

TEST_F(PointPicking, PointIdsBeyondTheKnownListAreNotRead) {
    command("load 1 " + writeFile("p.txt", "0 0 0  10 0 0"));
    command("reset");
    view->pointPickerCallback->points.resize(1);
    command("arrowOpen");
    const std::string console = clickAt({10, 0, 0});
    EXPECT_NE(console.find("no known point 1"), std::string::npos) << console;
    EXPECT_EQ(console.find(selectedText), std::string::npos);
}

TEST_F(PointPicking, ArrowCloseDetachesThePicker) {
    command("load 1 " + writeFile("p.txt", "0 0 0  10 0 0"));
    command("reset");
    command("arrowOpen");
    command("arrowClose");
    EXPECT_EQ(clickAt({10, 0, 0}), "");
    EXPECT_FALSE(view->pointPickerCallback->pickedValid);
}

TEST_F(PointPicking, ArrowMarksThePickOnceAndReportsCoincidentPoints) {
    command("load 1 " + writeFile("p.txt", "0 0 0  10 0 0  10.005 0 0  10.02 0 0"));
    command("arrow 1 0 0 F1");
    EXPECT_TRUE(events.empty()) << "no pick yet";

    view->pointPickerCallback->pickedValid = true;
    view->pointPickerCallback->pickedPosition = {10, 0, 0};
    command("arrow 0 1 0 F1");
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].name, "message");
    EXPECT_EQ(events[0].args.at(0), "10.000000 0.000000 0.000000");
    EXPECT_EQ(events[1].name, "spring");
    EXPECT_EQ(events[1].args.at(0), "10.000000 0.000000 0.000000 1");
    EXPECT_EQ(events[2].args.at(0), "10.000000 0.000000 0.000000 2");
    EXPECT_EQ(view->scene->slot, 2);
    EXPECT_EQ(view->pickedArrow->label, "F1");
    EXPECT_EQ(view->pickedArrow->direction, (orvane::Point3{0, 1, 0}));
    EXPECT_TRUE(rendererHolds(view->pickedArrow->actor));
    EXPECT_TRUE(rendererHolds(view->pickedArrow->labelActor));
    EXPECT_STREQ(view->pickedArrow->labelActor->GetInput(), "F1");
    EXPECT_EQ(view->pickedArrow->actor->GetProperty()->GetRepresentation(), VTK_WIREFRAME);
    const double* colour = view->pickedArrow->actor->GetProperty()->GetColor();
    EXPECT_EQ(colour[0], 1.0);
    EXPECT_EQ(colour[1], 0.0);
    EXPECT_EQ(colour[2], 1.0);
    // Pointing along +y, the glyph reaches up from the point.
    const double* bounds = view->pickedArrow->actor->GetBounds();
    EXPECT_NEAR(bounds[3], 30.0, 1e-6);
    EXPECT_NEAR(bounds[2], 0.0, 1e-6);

    events.clear();
    command("arrow 1 0 0 F2");
    EXPECT_TRUE(events.empty()) << "each pick gives at most one arrow";
}

TEST_F(PointPicking, ArrowWithoutDirectionIsRejectedAndKeepsThePick) {
    view->pointPickerCallback->pickedValid = true;
    testing::internal::CaptureStderr();
    command("arrow 0 0 0 F1");
    EXPECT_NE(testing::internal::GetCapturedStderr().find("has no length"), std::string::npos);
    EXPECT_TRUE(events.empty());
    EXPECT_FALSE(rendererHolds(view->pickedArrow->actor));
    EXPECT_TRUE(view->pointPickerCallback->pickedValid);

    command("arrow -1 0 0 F1");
    ASSERT_EQ(events.size(), 1u);
    const double* bounds = view->pickedArrow->actor->GetBounds();
    EXPECT_NEAR(bounds[0], -30.0, 1e-6) << "the opposite direction points along -x";
}

TEST_F(PointPicking, DraggingStyleMovesThePickedActor) {
    command("readStl 1 " + std::string(ORVANE_TEST_DATA_DIR) + "/cube.stl");
    view->dragStyle->SetDefaultRenderer(view->renderer);
    vtkRenderWindowInteractor* interactor = view->vtkWidget->interactor();
    interactor->SetInteractorStyle(view->dragStyle);

    const int* size = view->vtkWidget->renderWindow()->GetSize();
    const int x = size[0] / 2;
    const int y = size[1] / 2;
    std::ostringstream out;
    std::streambuf* const old = std::cout.rdbuf(out.rdbuf());
    interactor->SetEventInformation(x, y);
    interactor->InvokeEvent(vtkCommand::LeftButtonPressEvent);
    for (int step = 1; step <= 5; ++step) {
        interactor->SetEventInformation(x + 10 * step, y);
        interactor->InvokeEvent(vtkCommand::MouseMoveEvent);
    }
    interactor->InvokeEvent(vtkCommand::LeftButtonReleaseEvent);
    std::cout.rdbuf(old);

    ASSERT_TRUE(view->dragStyle->pickedActor) << out.str();
    EXPECT_FALSE(view->dragStyle->dragging);
    const double* position = view->dragStyle->pickedActor->GetPosition();
    // The camera looks along +z with +y up, so screen right is world -x.
    EXPECT_LT(position[0], -1.0);
    EXPECT_NEAR(position[1], 0.0, 1e-6);
    EXPECT_NE(out.str().find("Pick position (world coordinates) is: "), std::string::npos);
}

TEST_F(PointPicking, DraggingStyleFollowsTheRealMouse) {
    command("readStl 1 " + std::string(ORVANE_TEST_DATA_DIR) + "/cube.stl");
    view->dragStyle->SetDefaultRenderer(view->renderer);
    view->vtkWidget->interactor()->SetInteractorStyle(view->dragStyle);
    QWidget* widget = view->vtkWidget;
    const QPoint centre = widget->mapToGlobal(QPoint(widget->width() / 2, widget->height() / 2));
    const std::string x = std::to_string(centre.x());
    const std::string y = std::to_string(centre.y());
    const std::string right = std::to_string(centre.x() + 150);

    // xdotool runs beside the event loop, which has to handle the X events it causes.
    int status = -1;
    std::atomic<bool> done{false};
    std::thread mouse([&] {
        status = std::system(("xdotool mousemove --sync " + x + " " + y + " mousedown 1 mousemove --sync " +
                              std::to_string(centre.x() + 50) + " " + y + " mousemove --sync " + right + " " +
                              y + " mouseup 1 >/dev/null 2>&1")
                                 .c_str());
        done = true;
    });
    std::ostringstream out;
    std::streambuf* const old = std::cout.rdbuf(out.rdbuf());
    while (!done) {
        QCoreApplication::processEvents();
        QThread::msleep(5);
    }
    for (int i = 0; i < 20; ++i) {
        QCoreApplication::processEvents();
        QThread::msleep(5);
    }
    std::cout.rdbuf(old);
    mouse.join();
    ASSERT_EQ(status, 0) << "xdotool failed";

    ASSERT_TRUE(view->dragStyle->pickedActor) << out.str();
    EXPECT_FALSE(view->dragStyle->dragging);
    // Screen right is world -x when looking along +z with +y up.
    EXPECT_LT(view->dragStyle->pickedActor->GetPosition()[0], -1.0);
}

TEST_F(PointPicking, RotationCentreMovesTheFocalPointAndOneMarker) {
    command("roratePosition 1 2 3");
    command("roratePosition 4 abc 6");
    const double* focal = view->renderer->GetActiveCamera()->GetFocalPoint();
    EXPECT_EQ(focal[0], 4.0);
    EXPECT_EQ(focal[1], 0.0);
    EXPECT_EQ(focal[2], 6.0);
    int markers = 0;
    vtkPropCollection* props = view->renderer->GetViewProps();
    props->InitTraversal();
    while (vtkProp* prop = props->GetNextProp()) {
        markers += orvane::actorName(prop) == "R 0 0" ? 1 : 0;
    }
    EXPECT_EQ(markers, 1);
    view->rotationMarkerActor->GetMapper()->Update();
    const double* bounds = view->rotationMarkerActor->GetBounds();
    EXPECT_NEAR((bounds[0] + bounds[1]) / 2, 4.0, 0.1);
    EXPECT_NEAR((bounds[4] + bounds[5]) / 2, 6.0, 0.1);
    EXPECT_NEAR(bounds[1] - bounds[0], 20.0, 0.5);
    EXPECT_TRUE(events.empty());
}
