// The mode animation on its timer, and a series of legacy VTK frames stepped
// by command, on generated data.

#include "RecordingChannel.h"
#include "ResultGenerator.h"
#include "ViewReady.h"
#include "app/Orvane.h"
#include "channel/ReplyText.h"
#include "results/ResultAnimation.h"
#include "results/ResultPipeline.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimerEvent>
#include <QVTKOpenGLStereoWidget.h>

#include <vtkActor.h>
#include <vtkColorTransferFunction.h>
#include <vtkDataArray.h>
#include <vtkDataSet.h>
#include <vtkDataSetMapper.h>
#include <vtkDataSetReader.h>
#include <vtkImageData.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkPropCollection.h>
#include <vtkRenderWindow.h>
#include <vtkRenderer.h>
#include <vtkScalarBarActor.h>
#include <vtkSmartPointer.h>
#include <vtkStructuredGrid.h>
#include <vtkTextActor.h>
#include <vtkUnsignedCharArray.h>
#include <vtkWindowToImageFilter.h>
#include <vtkXMLStructuredGridReader.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;
namespace gen = orvane::resultgen;

namespace {

const gen::Bounds beam{0.0, 200.0, -10.0, 10.0, -10.0, 10.0};

class Animation : public ::testing::Test {
protected:
    struct Outcome {
        std::vector<std::string> replies;
        std::string out;
        std::string err;
    };

    void SetUp() override {
        base = fs::temp_directory_path() / ("orvane-animation-" + std::to_string(::getpid()));
        fs::remove_all(base);
        root = (base / "root").string();
        series = base / "series";
        gen::ResultSetOptions options;
        options.boxBounds = beam;
        options.boxLevel = 4;
        options.animationModeFiles = true;
        std::ostringstream diagnostics;
        ASSERT_TRUE(gen::writeResultSet(root, options, diagnostics)) << diagnostics.str();
        ASSERT_TRUE(gen::writeFrameSeries(series.string(), beam, {21, 5, 5}, 3, diagnostics))
            << diagnostics.str();
        ::setenv("ORVANE_SERIES_DIR", series.c_str(), 1);
        view = std::make_unique<Orvane>(false, std::make_unique<RecordingChannel>(events));
        ::unsetenv("ORVANE_SERIES_DIR");
        ASSERT_TRUE(waitUntilExposed(*view));
    }
    void TearDown() override {
        view.reset();
        fs::remove_all(base);
    }

    Outcome command(const std::string& text) {
        return capture([&] {
            view->OnReceiveMessage(QString::fromStdString(text));
            EXPECT_TRUE(waitUntilSettled(*view)) << text;
        });
    }

    template <typename Action> Outcome capture(Action action) {
        std::ostringstream out;
        std::ostringstream err;
        std::streambuf* const oldOut = std::cout.rdbuf(out.rdbuf());
        std::streambuf* const oldErr = std::cerr.rdbuf(err.rdbuf());
        events.clear();
        action();
        std::cout.rdbuf(oldOut);
        std::cerr.rdbuf(oldErr);
        Outcome outcome{{}, out.str(), err.str()};
        for (const auto& event : events) {
            outcome.replies.push_back(event.name + " " + (event.args.empty() ? "" : event.args[0]));
        }
        return outcome;
    }

    // The timers the view has registered with Qt.
    QList<QAbstractEventDispatcher::TimerInfo> viewTimers() {
        return QAbstractEventDispatcher::instance()->registeredTimers(view.get());
    }

    // One tick delivered as the mode timer delivers it.
    Outcome tick() {
        return capture([&] {
            QTimerEvent event(view->animation->modeTimerId);
            QCoreApplication::sendEvent(view.get(), &event);
        });
    }

    std::string label() {
        vtkTextActor* shown = view->animation->modeLabel;
        return shown != nullptr && shown->GetInput() != nullptr ? shown->GetInput() : "";
    }
    // The grid file of the mode on show, read or not.
    std::string gridFile() {
        const orvane::ResultPipeline& r = *view->results;
        return r.unreadModeGrid.empty() ? r.resultGridFile : r.unreadModeGrid;
    }

    std::vector<unsigned char> image() {
        view->renderView();
        auto grab = vtkSmartPointer<vtkWindowToImageFilter>::New();
        grab->SetInput(view->vtkWidget->renderWindow());
        grab->ReadFrontBufferOff();
        grab->Update();
        auto* pixels = vtkUnsignedCharArray::SafeDownCast(grab->GetOutput()->GetPointData()->GetScalars());
        return std::vector<unsigned char>(pixels->GetPointer(0),
                                          pixels->GetPointer(0) + pixels->GetNumberOfValues());
    }
    static double differingShare(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b) {
        std::size_t differing = 0;
        for (std::size_t i = 0; i + 2 < std::min(a.size(), b.size()); i += 3) {
            differing +=
                (std::abs(a[i] - b[i]) + std::abs(a[i + 1] - b[i + 1]) + std::abs(a[i + 2] - b[i + 2])) > 30;
        }
        return static_cast<double>(differing) / static_cast<double>(a.size() / 3);
    }

    fs::path base;
    fs::path series;
    std::string root;
    std::vector<RecordingChannel::Event> events;
    std::unique_ptr<Orvane> view;
};

TEST_F(Animation, ModesPlayInTurnOnOneTimer) {
    command("reset");
    EXPECT_TRUE(command("endModel").err.empty());
    EXPECT_TRUE(viewTimers().isEmpty());

    // Before any eigenvalues the label has no frequency to show.
    Outcome played = command("playModel " + root);
    EXPECT_EQ(played.err, "");
    ASSERT_EQ(viewTimers().size(), 1);
    EXPECT_EQ(viewTimers()[0].interval, 1000);
    EXPECT_EQ(viewTimers()[0].timerType, Qt::CoarseTimer);
    Outcome first = tick();
    EXPECT_EQ(first.err, "");
    EXPECT_TRUE(first.replies.empty());
    EXPECT_EQ(label(), "1");
    EXPECT_EQ(view->results->modeIndex, 0);

    const gen::Cantilever cantilever(beam);
    command("OnReadModelAnysy " + root + "/data/modelAnsys/unitfcm5-0-1e-10-451/eigenvalues.txt");
    const auto expected = [&](int mode) {
        return std::to_string(mode + 1) +
               " rate: " + orvane::sixDigits(std::sqrt(cantilever.eigenvalue(mode)) / 6.2831852);
    };

    // The real timer shows mode 1 within its second.
    QElapsedTimer clock;
    clock.start();
    std::string shown;
    const Outcome realTick = capture([&] {
        while (clock.elapsed() < 3000 && (shown = label()) == "1") {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        }
    });
    EXPECT_EQ(realTick.err, "");
    ASSERT_EQ(shown, expected(0));
    EXPECT_EQ(fs::path(gridFile()).filename(), "postprocess60.vts");
    EXPECT_EQ(view->results->resultRange, (std::array<double, 2>{0.012, 0.94}));
    std::vector<std::vector<unsigned char>> frames{image()};

    for (int mode : {1, 2, 0}) {
        EXPECT_EQ(tick().err, "");
        EXPECT_EQ(label(), expected(mode));
        EXPECT_EQ(fs::path(gridFile()).filename(), "postprocess" + std::to_string(mode + 6) + "0.vts");
        frames.push_back(image());
    }
    // Mode 1 bends towards the viewer, mode 2 sideways, mode 3 back again.
    EXPECT_GT(differingShare(frames[0], frames[1]), 0.01);
    EXPECT_GT(differingShare(frames[1], frames[2]), 0.01);
    EXPECT_LT(differingShare(frames[0], frames[3]), 0.001);

    // A second playModel restarts the one timer with its root; a tick on a
    // root without mode files says so and shows nothing.
    command("playModel " + (base / "elsewhere").string());
    ASSERT_EQ(viewTimers().size(), 1);
    EXPECT_EQ(viewTimers()[0].timerId, view->animation->modeTimerId);
    const Outcome missing = tick();
    EXPECT_NE(missing.err.find("elsewhere/data/locomotive_bogieassembly_sldasm2.stl"), std::string::npos)
        << missing.err;
    EXPECT_EQ(view->renderer->GetViewProps()->GetNumberOfItems(), 0);
    EXPECT_EQ(view->results->modeIndex, 2);

    command("endModel");
    EXPECT_TRUE(viewTimers().isEmpty());
    EXPECT_FALSE(view->animation->modeTimerRunning());
    EXPECT_EQ(command("endModel").err, "");
}

TEST_F(Animation, SeriesStepsThroughItsFrames) {
    // Strays: a frame beyond a gap, a directory named as a frame, other files.
    fs::copy_file(series / "box3D_FEMmpData1.vtk", series / "box3D_FEMmpData5.vtk");
    fs::create_directories(series / "box3D_FEMmpData4.vtk");
    std::ofstream(series / "notes.txt") << "not a frame\n";
    command("reset");

    // No series yet: steps show nothing and reply nothing.
    for (const char* step : {"play 1", "rightPlay 1", "leftFastPlay 1"}) {
        const Outcome early = command(step);
        EXPECT_TRUE(early.replies.empty()) << step;
        EXPECT_NE(early.err.find("rendererVTK"), std::string::npos) << early.err;
    }
    EXPECT_NE(command("attri sigma_yy 1").err.find("no series"), std::string::npos);

    // An unlistable series directory ends rendererVTK before anything changes.
    const fs::path moved = base / "moved";
    fs::rename(series, moved);
    const Outcome unlisted = command("rendererVTK " + (moved / "box3D_FEMmpData1.vtk").string());
    EXPECT_NE(unlisted.err.find("cannot list the series directory"), std::string::npos) << unlisted.err;
    EXPECT_TRUE(unlisted.replies.empty());
    EXPECT_EQ(unlisted.out, "");
    fs::rename(moved, series);

    const Outcome opened = command("rendererVTK " + (series / "box3D_FEMmpData1.vtk").string());
    EXPECT_EQ(opened.err, "");
    EXPECT_EQ(opened.replies,
              (std::vector<std::string>{"attribute sigma_xx", "attribute sigma_yy", "attribute sigma_xy"}));
    EXPECT_EQ(opened.out,
              "3\n------------scalarname---------\nname: sigma_xx\nname: sigma_yy\nname: sigma_xy\n"
              "------------vectorname----------\nname: displacement\n-228.129 63.7251\n");
    EXPECT_EQ(view->results->resultActor->GetMapper(), view->animation->seriesMapper.Get());
    double rgb[3];
    view->results->colorFunction->GetColor(-228.129, rgb);
    EXPECT_NEAR(rgb[2], 0.752941, 1e-6);
    view->results->colorFunction->GetColor(63.7251, rgb);
    EXPECT_NEAR(rgb[0], 0.705882, 1e-6);
    const double* range = view->animation->seriesMapper->GetScalarRange();
    EXPECT_EQ((std::array<double, 2>{range[0], range[1]}), (std::array<double, 2>{-228.129, 63.7251}));

    // play shows the current frame and wraps after the last; each frame
    // carries more load than the one before.
    std::vector<std::vector<unsigned char>> images;
    std::vector<double> smallest;
    for (const char* frame : {"1", "2", "3", "1"}) {
        const Outcome step = command("play 1");
        EXPECT_EQ(step.replies, (std::vector<std::string>{std::string("message ") + frame}));
        EXPECT_EQ(fs::path(view->animation->seriesFile).filename(),
                  std::string("box3D_FEMmpData") + frame + ".vtk");
        vtkDataArray* scalars = view->animation->seriesReader->GetOutput()->GetPointData()->GetScalars();
        ASSERT_NE(scalars, nullptr);
        EXPECT_STREQ(scalars->GetName(), "sigma_xx");
        smallest.push_back(scalars->GetRange()[0]);
        images.push_back(image());
    }
    EXPECT_NEAR(smallest[2], -228.129, 0.01);
    EXPECT_NEAR(smallest[0], smallest[2] / 3.0, 0.01);
    EXPECT_DOUBLE_EQ(smallest[3], smallest[0]);
    EXPECT_GT(differingShare(images[0], images[2]), 0.01);

    const auto reply = [&](const std::string& text) {
        const Outcome step = command(text);
        return step.replies.size() == 1 ? step.replies[0]
                                        : "(" + std::to_string(step.replies.size()) + " replies)";
    };
    EXPECT_EQ(reply("rightFastPlay 1"), "message 3");
    EXPECT_EQ(reply("rightPlay 1"), "message 1");
    EXPECT_EQ(reply("leftPlay 1"), "message 3");
    EXPECT_EQ(reply("leftPlay 1"), "message 2");
    EXPECT_EQ(reply("leftFastPlay 1"), "message 1");
    EXPECT_EQ(reply("leftPlay 1"), "message 3");
    for (const char* ignored : {"play 0", "play", "rightPlay 2", "leftFastPlay  1"}) {
        EXPECT_TRUE(command(ignored).replies.empty()) << ignored;
    }
    EXPECT_EQ(view->animation->seriesFrame, 3);

    // Another reported array colours the series, titled on the bar.
    EXPECT_TRUE(command("attri sigma_yy 0").err.empty());
    EXPECT_EQ(command("attri sigma_yy 1").err, "");
    EXPECT_STREQ(view->results->scalarBar->GetTitle(), "sigma_yy");
    EXPECT_STREQ(view->animation->seriesReader->GetOutput()->GetPointData()->GetScalars()->GetName(),
                 "sigma_yy");
    EXPECT_NE(command("attri sigma_zz 1").err.find("sigma_zz"), std::string::npos);
    EXPECT_STREQ(view->results->scalarBar->GetTitle(), "sigma_yy");

    // A frame file gone: a diagnostic, the number replied, the frame before
    // stays in view; the chosen array stays for the next frame.
    fs::remove(series / "box3D_FEMmpData1.vtk");
    const Outcome gone = command("rightPlay 1");
    EXPECT_EQ(gone.replies, (std::vector<std::string>{"message 1"}));
    EXPECT_NE(gone.err.find("box3D_FEMmpData1.vtk"), std::string::npos) << gone.err;
    EXPECT_EQ(fs::path(view->animation->seriesFile).filename(), "box3D_FEMmpData3.vtk");
    EXPECT_EQ(reply("rightPlay 1"), "message 2");
    EXPECT_STREQ(view->animation->seriesReader->GetOutput()->GetPointData()->GetScalars()->GetName(),
                 "sigma_yy");
}

// The mode animation keeps the weights of each surface point for a grid
// geometry: each tick must show exactly what a load of the same mode shows,
// and new weights follow a changed grid or a rewritten surface file.
TEST_F(Animation, ModeTicksReuseTheSurfaceWeightsOfTheirGrid) {
    const fs::path modal = fs::path(root) / "data/modelAnsys/unitfcm5-0-1e-10-451";
    const auto shownSurface = [&] {
        vtkPolyData* surface = view->results->resultSurface;
        std::vector<double> values;
        double p[3];
        for (vtkIdType i = 0; i < surface->GetNumberOfPoints(); ++i) {
            surface->GetPoint(i, p);
            values.insert(values.end(),
                          {p[0], p[1], p[2], surface->GetPointData()->GetScalars()->GetTuple1(i)});
        }
        return values;
    };
    const auto expectSameAsLoad = [&](int mode, bool fromKeptShape = false) {
        view->results->modeIndex = mode;
        const std::string modeFile = (modal / ("postprocess" + std::to_string(mode + 6) + "0.vts")).string();
        const std::optional<orvane::FileStamp> stamp = orvane::FileStamp::of(modeFile);
        ASSERT_TRUE(stamp);
        EXPECT_EQ(view->animation->modeTransfer.keptShape(*stamp) != nullptr, fromKeptShape)
            << "mode " << mode;
        EXPECT_EQ(tick().err, "") << "mode " << mode;
        EXPECT_EQ(view->results->resultGrid, nullptr);
        EXPECT_EQ(view->results->unreadModeGrid, modeFile);
        const std::vector<double> ticked = shownSurface();
        EXPECT_EQ(view->results->resultRange, orvane::modeColourRange);
        const Outcome loaded = command("ModelAnsys " + root + " " + std::to_string(mode));
        ASSERT_EQ(loaded.err, "") << "mode " << mode;
        const std::vector<double> expected = shownSurface();
        ASSERT_EQ(ticked.size(), expected.size()) << "mode " << mode;
        ASSERT_FALSE(ticked.empty());
        double largest = 0.0;
        for (std::size_t i = 0; i < ticked.size(); ++i) {
            largest = std::max(largest, std::abs(ticked[i] - expected[i]));
        }
        EXPECT_LT(largest, 1e-9) << "mode " << mode;
    };

    command("OnReadModelAnysy " + (modal / "eigenvalues.txt").string());
    command("playModel " + root);
    // The first mode, the surface and its weights are read ahead until the first tick.
    EXPECT_TRUE(view->animation->nextMode.valid());
    expectSameAsLoad(0);
    const vtkPolyData* weightedSurface = view->animation->modeTransfer.surface;
    const std::size_t found = static_cast<std::size_t>(
        std::count_if(view->animation->modeTransfer.weights.sources.begin(),
                      view->animation->modeTransfer.weights.sources.end(), [](auto id) { return id >= 0; }));
    EXPECT_EQ(found, 8 * view->animation->modeTransfer.weights.targetCount());
    expectSameAsLoad(1);
    EXPECT_EQ(view->animation->modeTransfer.surface.Get(), weightedSurface);

    // The modes come round again: a mode file unchanged since its tick is not
    // read, its kept shape is drawn; a command that needs the grid reads it.
    expectSameAsLoad(1, true);
    view->results->modeIndex = 1;
    tick();
    EXPECT_EQ(fs::path(view->results->unreadModeGrid).filename(), "postprocess70.vts");
    EXPECT_EQ(command("attribute 1").err, "");
    EXPECT_EQ(fs::path(view->results->resultGridFile).filename(), "postprocess70.vts");
    EXPECT_EQ(view->results->resultRange[1], view->results->deformationMagnitude->GetRange()[1]);
    EXPECT_GT(view->results->resultRange[1], 0.0);

    // Another grid for every mode: new weights from the next tick on. The
    // next mode, read ahead while this one showed, is read again.
    EXPECT_TRUE(view->animation->nextMode.valid());
    // A load of another result set in between leaves its own surface in the
    // result display: the new weights still belong to this set's surface.
    std::ostringstream diagnostics;
    gen::ResultSetOptions other;
    other.boxBounds = beam;
    other.boxLevel = 8;
    const std::string otherRoot = (base / "other").string();
    ASSERT_TRUE(gen::writeResultSet(otherRoot, other, diagnostics)) << diagnostics.str();
    EXPECT_EQ(command("stack " + otherRoot + " 1").err, "");
    ASSERT_NE(view->results->resultModel->GetNumberOfPoints(),
              view->animation->modeTransfer.surface->GetNumberOfPoints());
    double bounds[6];
    view->animation->modeTransfer.surface->GetBounds(bounds);
    const gen::Bounds gridBounds{bounds[0], bounds[1], bounds[2], bounds[3], bounds[4], bounds[5]};
    for (auto numbering : {gen::ModeFileNumbering::Load, gen::ModeFileNumbering::Animation}) {
        ASSERT_TRUE(gen::writeModalSet(modal.string(), gridBounds, 3, {31, 7, 6}, diagnostics, numbering))
            << diagnostics.str();
    }
    expectSameAsLoad(2);
    EXPECT_EQ(view->animation->modeTransfer.gridDimensions, (std::array<int, 3>{31, 7, 6}));

    // A rewritten surface file is read again, whatever the grid.
    const fs::path surfaceFile = fs::path(root) / "data/locomotive_bogieassembly_sldasm2.stl";
    const vtkIdType before = view->animation->modeTransfer.surface->GetNumberOfPoints();
    ASSERT_TRUE(gen::writeBoxSurface(surfaceFile.string(), gridBounds, 7, diagnostics)) << diagnostics.str();
    expectSameAsLoad(0);
    EXPECT_GT(view->animation->modeTransfer.surface->GetNumberOfPoints(), before);

    // Weights made ahead at playModel belong to the surface file as it was
    // then: rewritten before the first tick, the tick makes its own.
    ASSERT_TRUE(gen::writeBoxSurface(surfaceFile.string(), gridBounds, 5, diagnostics)) << diagnostics.str();
    view->results->modeIndex = 1;
    command("playModel " + root);
    while (view->animation->readingAhead()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(gen::writeBoxSurface(surfaceFile.string(), gridBounds, 6, diagnostics)) << diagnostics.str();
    expectSameAsLoad(1);

    // A surface file gone: the tick says so and keeps no weights.
    fs::remove(surfaceFile);
    EXPECT_NE(tick().err.find("locomotive_bogieassembly_sldasm2.stl"), std::string::npos);
    EXPECT_EQ(view->animation->modeTransfer.surface, nullptr);
    command("endModel");
}

} // namespace

namespace {

// Half an annulus (radii 10 to 20, 0 to 180 degrees, 8 high), a curved grid
// that is not convex: the cell search walks through index space first and
// must still find every point inside and none outside.
TEST(ModeTransferSearch, FindsTheCellsOfACurvedGridAndNothingOutsideIt) {
    constexpr int around = 40;
    constexpr int across = 5;
    constexpr int up = 3;
    auto gridPoints = vtkSmartPointer<vtkPoints>::New();
    for (int k = 0; k < up; ++k) {
        for (int j = 0; j < across; ++j) {
            for (int i = 0; i < around; ++i) {
                const double angle = M_PI * i / (around - 1);
                const double radius = 10.0 + 10.0 * j / (across - 1);
                gridPoints->InsertNextPoint(radius * std::cos(angle), radius * std::sin(angle), 4.0 * k);
            }
        }
    }
    auto grid = vtkSmartPointer<vtkStructuredGrid>::New();
    grid->SetDimensions(around, across, up);
    grid->SetPoints(gridPoints);

    // Inside at both ends of the arc, then across the hole, then beyond it.
    const std::vector<std::array<double, 3>> inside{
        {15.0, 0.5, 1.0}, {-15.0, 0.5, 7.0}, {0.0, 15.0, 4.0}, {-12.0, 1.0, 2.0}, {14.0, 3.0, 5.0}};
    const std::vector<std::array<double, 3>> outside{
        {0.0, 0.0, 4.0}, {0.0, 25.0, 4.0}, {15.0, -1.0, 4.0}, {0.0, 15.0, 9.0}};
    auto surfacePoints = vtkSmartPointer<vtkPoints>::New();
    for (const auto* points : {&inside, &outside}) {
        for (const auto& p : *points) {
            surfacePoints->InsertNextPoint(p.data());
        }
    }
    auto surface = vtkSmartPointer<vtkPolyData>::New();
    surface->SetPoints(surfacePoints);

    orvane::ModeTransfer transfer;
    transfer.rebuild(orvane::FileStamp{}, surface, grid);
    ASSERT_EQ(transfer.weights.targetCount(), inside.size() + outside.size());
    // The grid's own coordinates, interpolated, give back each point found.
    std::vector<double> coordinates(static_cast<std::size_t>(gridPoints->GetNumberOfPoints()) * 3);
    for (vtkIdType i = 0; i < gridPoints->GetNumberOfPoints(); ++i) {
        gridPoints->GetPoint(i, &coordinates[static_cast<std::size_t>(i) * 3]);
    }
    std::vector<double> interpolated(transfer.weights.targetCount() * 3);
    orvane::interpolateTuples(transfer.weights, coordinates.data(), 3, interpolated.data());
    for (std::size_t p = 0; p < inside.size(); ++p) {
        EXPECT_GE(transfer.weights.sources[p * transfer.weights.width], 0) << "point " << p;
        for (int c = 0; c < 3; ++c) {
            EXPECT_NEAR(interpolated[p * 3 + static_cast<std::size_t>(c)],
                        inside[p][static_cast<std::size_t>(c)], 1e-9)
                << "point " << p;
        }
    }
    for (std::size_t p = inside.size(); p < transfer.weights.targetCount(); ++p) {
        const auto* first = &transfer.weights.sources[p * transfer.weights.width];
        EXPECT_TRUE(std::all_of(first, first + transfer.weights.width, [](auto id) { return id < 0; }))
            << "point " << p;
    }
}

} // namespace
