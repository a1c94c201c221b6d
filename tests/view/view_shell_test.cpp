// The window, the hop of commands into the GUI thread and the shutdown of the view.

#include "RecordingChannel.h"
#include "ViewReady.h"
#include "app/Orvane.h"
#include "geometry/ImportState.h"
#include "scene/Rasterizer.h"
#include "scene/SceneRegistry.h"

#include <QCoreApplication>
#include <QScreen>
#include <QVTKOpenGLStereoWidget.h>

#include "interaction/MouseInteractorHighLightActor.h"
#include "model/Analysis.h"
#include <vtkActor.h>
#include <vtkAssembly.h>
#include <vtkOrientationMarkerWidget.h>
#include <vtkProp3DCollection.h>
#include <vtkRenderWindow.h>
#include <vtkRenderWindowInteractor.h>
#include <vtkRenderer.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

struct ViewFixture {
    explicit ViewFixture(bool hide = false) {
        auto recording = std::make_unique<RecordingChannel>(events);
        channel = recording.get();
        view = std::make_unique<Orvane>(hide, std::move(recording));
        QCoreApplication::processEvents();
    }

    std::vector<RecordingChannel::Event> events;
    RecordingChannel* channel = nullptr;
    std::unique_ptr<Orvane> view;
};

} // namespace

TEST(ViewShell, OpensAUsableWindowWithGradientAndAxes) {
    ViewFixture fixture;
    Orvane& view = *fixture.view;
    EXPECT_FALSE(view.isVisible()) << "the main object itself is never shown";
    EXPECT_EQ(view.size(), QSize(600, 400));
    EXPECT_EQ(view.objectName(), "OrvaneClass");
    EXPECT_STREQ(view.metaObject()->className(), "Orvane");

    QWidget* container = view.containerWindow();
    EXPECT_TRUE(container->isVisible());
    EXPECT_GE(container->width(), 640);
    EXPECT_GE(container->height(), 480);

    EXPECT_TRUE(view.renderer->GetGradientBackground());
    EXPECT_DOUBLE_EQ(view.renderer->GetBackground()[0], 0.655);
    EXPECT_DOUBLE_EQ(view.renderer->GetBackground()[2], 0.737);
    EXPECT_DOUBLE_EQ(view.renderer->GetBackground2()[0], 0.204);
    EXPECT_DOUBLE_EQ(view.renderer->GetBackground2()[2], 0.404);
    EXPECT_TRUE(view.vtkWidget->renderWindow()->HasRenderer(view.renderer));
    EXPECT_TRUE(view.vtkWidget->hasMouseTracking());
    EXPECT_EQ(view.vtkWidget->interactor()->GetInteractorStyle(),
              static_cast<vtkInteractorObserver*>(view.pickingStyle.GetPointer()));

    EXPECT_TRUE(view.axesWidget->GetEnabled());
    const double* viewport = view.axesWidget->GetViewport();
    EXPECT_DOUBLE_EQ(viewport[2], 0.1);
    EXPECT_DOUBLE_EQ(viewport[3], 0.1);

    // Once drawn, a window on a software rasterizer (as under Xvfb) draws
    // without multisampling; one on a GPU keeps it.
    ASSERT_TRUE(waitUntilExposed(view));
    vtkRenderWindow* window = view.vtkWidget->renderWindow();
    window->Render();
    const bool software = orvane::rasterizesOnCpu(window->ReportCapabilities());
    EXPECT_EQ(window->GetMultiSamples() == 0, software) << window->ReportCapabilities();
}

TEST(ViewShell, FixedLocationsComeFromTheEnvironment) {
    ::setenv("ORVANE_DEFAULT_DATA_ROOT", "/srv/orvane-root", 1);
    ::setenv("ORVANE_RB3_BREP_DIR", "/srv/orvane-rb3", 1);
    ViewFixture fixture;
    ::unsetenv("ORVANE_DEFAULT_DATA_ROOT");
    ::unsetenv("ORVANE_RB3_BREP_DIR");
    EXPECT_EQ(fixture.view->analysis->dataRoot, "/srv/orvane-root");
    EXPECT_EQ(fixture.view->analysis->rb3BrepDir, "/srv/orvane-rb3");

    ViewFixture builtIn;
    EXPECT_EQ(builtIn.view->analysis->dataRoot, "");
}

TEST(ViewShell, HideStartsMinimisedBeyondTheScreen) {
    ViewFixture fixture(true);
    QWidget* container = fixture.view->containerWindow();
    const QRect screen = container->screen()->geometry();
    EXPECT_TRUE(container->isMinimized());
    EXPECT_GE(container->geometry().left(), screen.width());
    EXPECT_GE(container->geometry().top(), screen.height());
    EXPECT_GT(container->width(), 0) << "moved, not squashed";
}

TEST(ViewShell, CommandsFromOtherThreadsRunInTheGuiThreadInOrder) {
    ViewFixture fixture;
    const fs::path cube = fs::path(ORVANE_TEST_DATA_DIR) / "cube.stl";
    std::thread network([&] {
        for (int slot = 1; slot <= 20; ++slot) {
            fixture.channel->commandReceiver("readModelSTL " + cube.string() + " " + std::to_string(slot) +
                                             " 1 1 1 1");
        }
    });
    network.join();
    EXPECT_TRUE(fixture.events.empty()) << "nothing runs on the network thread";
    QCoreApplication::processEvents();
    ASSERT_EQ(fixture.events.size(), 20u);
    for (int slot = 1; slot <= 20; ++slot) {
        EXPECT_EQ(fixture.events[static_cast<std::size_t>(slot - 1)].args.at(0),
                  std::to_string(slot) + " 1.000000 1.000000 1.000000 1.000000");
    }
}

TEST(ViewShell, NonAsciiTextCrossesTheHopIntact) {
    ViewFixture fixture;
    const fs::path dir = fs::temp_directory_path() / ("orvane-模型ü-é-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    fs::copy_file(fs::path(ORVANE_TEST_DATA_DIR) / "cube.stl", dir / "立方体.stl",
                  fs::copy_options::overwrite_existing);
    std::thread network([&] {
        fixture.channel->commandReceiver("readModelSTL " + (dir / "立方体.stl").string() + " 3 1 0 0 1");
    });
    network.join();
    testing::internal::CaptureStderr();
    QCoreApplication::processEvents();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    ASSERT_EQ(fixture.events.size(), 1u);
    auto* actor = vtkActor::SafeDownCast(fixture.view->scene->modelAssembly->GetParts()->GetItemAsObject(0));
    ASSERT_NE(actor, nullptr);
    EXPECT_DOUBLE_EQ(actor->GetBounds()[1], 5.0) << "the cube was read";
    fs::remove_all(dir);
}

TEST(ViewShell, ShowBeamRepliesEveryPointThenAddsOnePolyline) {
    ViewFixture fixture;
    fixture.view->pointLists->beamPoints = {{0, 0, 0}, {1.5, 0, 0}, {3, -0.25, 1e-7}};
    fixture.view->OnReceiveMessage("showBeam");
    ASSERT_EQ(fixture.events.size(), 4u);
    EXPECT_EQ(fixture.events[0].args.at(0), "0.000000 0.000000 0.000000");
    EXPECT_EQ(fixture.events[1].args.at(0), "1.500000 0.000000 0.000000");
    EXPECT_EQ(fixture.events[2].args.at(0), "3.000000 -0.250000 0.000000");
    EXPECT_EQ(fixture.events[3].name, "message");
    EXPECT_EQ(fixture.events[3].args.at(0), "add line");
    auto* actor = vtkActor::SafeDownCast(fixture.view->scene->beamAssembly->GetParts()->GetItemAsObject(0));
    ASSERT_NE(actor, nullptr);
    EXPECT_DOUBLE_EQ(actor->GetBounds()[1], 3.0);
}

TEST(ViewShell, ShutdownDeletesTheFilesOfTheLastImportOnly) {
    const fs::path base = fs::temp_directory_path() / ("orvane-shutdown-" + std::to_string(::getpid()));
    fs::remove_all(base);
    const auto makeFile = [](const fs::path& path) {
        fs::create_directories(path.parent_path());
        std::ofstream(path) << "x";
    };
    for (const char* root : {"first", "second"}) {
        makeFile(base / root / "data/step/model0.stl");
        makeFile(base / root / "data/solid/solid0.stl");
        makeFile(base / root / "data/cut/cut0.stl");
        makeFile(base / root / "data/step/nested/keep.stl");
        makeFile(base / root / "data/brep/face0.brep");
    }
    {
        ViewFixture fixture;
        const std::string root = (base / "second").string();
        fixture.view->stepImport->importFiles = {
            root + "/data/step/model0.stl", root + "/data/solid/solid0.stl", root + "/data/cut/cut0.stl"};
        makeFile(base / "second/data/step/model1.stl");
    }
    EXPECT_TRUE(fs::exists(base / "second/data/step/model1.stl")) << "not written by the import";
    EXPECT_TRUE(fs::exists(base / "first/data/step/model0.stl"));
    EXPECT_FALSE(fs::exists(base / "second/data/step/model0.stl"));
    EXPECT_FALSE(fs::exists(base / "second/data/solid/solid0.stl"));
    EXPECT_FALSE(fs::exists(base / "second/data/cut/cut0.stl"));
    EXPECT_TRUE(fs::exists(base / "second/data/step/nested/keep.stl"));
    EXPECT_TRUE(fs::exists(base / "second/data/brep/face0.brep"));
    fs::remove_all(base);
}
