// Results on generated data: modal and static loads, colouring, the scalar
// bar, user colour maps, the point cloud with its extreme markers, the line
// mesh and the stress surface, and loads that fail.

#include "RecordingChannel.h"
#include "ResultGenerator.h"
#include "ViewReady.h"
#include "app/Orvane.h"
#include "channel/ReplyText.h"
#include "scene/SceneRegistry.h"

#include <QVTKOpenGLStereoWidget.h>

#include <vtkActor.h>
#include <vtkCellArray.h>
#include <vtkColorTransferFunction.h>
#include <vtkCoordinate.h>
#include <vtkDataArray.h>
#include <vtkDoubleArray.h>
#include <vtkImageData.h>
#include <vtkLineSource.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkPolyDataMapper.h>
#include <vtkPropCollection.h>
#include <vtkRenderWindow.h>
#include <vtkRenderer.h>
#include <vtkResampleWithDataSet.h>
#include <vtkScalarBarActor.h>
#include <vtkScalarBarRepresentation.h>
#include <vtkScalarBarWidget.h>
#include <vtkSmartPointer.h>
#include <vtkTextActor3D.h>
#include <vtkWindowToImageFilter.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

namespace fs = std::filesystem;
namespace gen = orvane::resultgen;

namespace {

const gen::Bounds beam{0.0, 200.0, -10.0, 10.0, -10.0, 10.0};

class Results : public ::testing::Test {
protected:
    struct Outcome {
        std::vector<std::string> replies;
        std::string out;
        std::string err;
    };

    void SetUp() override {
        base = fs::temp_directory_path() / ("orvane-results-" + std::to_string(::getpid()));
        fs::remove_all(base);
        root = (base / "root").string();
        gen::ResultSetOptions options;
        options.boxBounds = beam;
        std::ostringstream diagnostics;
        ASSERT_TRUE(gen::writeResultSet(root, options, diagnostics)) << diagnostics.str();
        view = std::make_unique<Orvane>(false, std::make_unique<RecordingChannel>(events));
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
            if (event.name == "progress") {
                progress.push_back(event.args.empty() ? "" : event.args[0]);
                continue;
            }
            outcome.replies.push_back(event.name + " " + (event.args.empty() ? "" : event.args[0]));
        }
        return outcome;
    }

    // The values the result display colours by, one per surface point.
    std::vector<double> displayedValues() {
        vtkDataSet* shown = vtkDataSet::SafeDownCast(view->results->resampler->GetOutput());
        std::vector<double> values;
        if (shown == nullptr) {
            return values;
        }
        vtkDataArray* scalars = shown->GetPointData()->GetScalars();
        for (vtkIdType i = 0; scalars != nullptr && i < scalars->GetNumberOfTuples(); ++i) {
            values.push_back(scalars->GetComponent(i, 0));
        }
        return values;
    }

    // The colour of the rendered view at a world point.
    std::array<int, 3> colourAt(const double* world) {
        view->renderView();
        auto grab = vtkSmartPointer<vtkWindowToImageFilter>::New();
        grab->SetInput(view->vtkWidget->renderWindow());
        grab->ReadFrontBufferOff();
        grab->Update();
        auto coordinate = vtkSmartPointer<vtkCoordinate>::New();
        coordinate->SetCoordinateSystemToWorld();
        coordinate->SetValue(world[0], world[1], world[2]);
        const int* display = coordinate->GetComputedDisplayValue(view->renderer);
        auto* pixel =
            static_cast<unsigned char*>(grab->GetOutput()->GetScalarPointer(display[0], display[1], 0));
        return {pixel[0], pixel[1], pixel[2]};
    }

    bool rendererHolds(const char* className) {
        vtkPropCollection* props = view->renderer->GetViewProps();
        props->InitTraversal();
        while (vtkProp* prop = props->GetNextProp()) {
            if (prop->IsA(className)) {
                return true;
            }
        }
        return false;
    }

    fs::path base;
    std::string root;
    std::vector<RecordingChannel::Event> events;
    std::vector<std::string> progress;
    std::unique_ptr<Orvane> view;
};

TEST_F(Results, ModalResultRepliesEigenvaluesOnceAndWarpsTheSurface) {
    const gen::Cantilever cantilever(beam);
    Outcome first = command("ModelAnsys " + root + " 0");
    EXPECT_EQ(first.err, "");
    ASSERT_EQ(first.replies.size(), 4u) << first.err;
    for (int m = 0; m < 3; ++m) {
        EXPECT_EQ(first.replies[static_cast<std::size_t>(m)],
                  "Eigenvalue " + orvane::sixDigits(cantilever.eigenvalue(m)));
    }
    EXPECT_EQ(first.replies[3], "message success");
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.front(), "load 0 3");
    EXPECT_EQ(progress.back(), "load 3 3");
    EXPECT_EQ(view->results->modeIndex, 0);

    // Every surface point moves by 500 times the mode shape there.
    const auto checkWarp = [&](int mode) {
        vtkPolyData* model = view->results->resultModel;
        vtkPolyData* shown = view->results->resultSurface;
        ASSERT_EQ(shown->GetNumberOfPoints(), model->GetNumberOfPoints());
        for (vtkIdType i = 0; i < model->GetNumberOfPoints(); ++i) {
            const double* p = model->GetPoint(i);
            const std::array<double, 3> v = cantilever.modeShape(mode, p);
            const double* q = shown->GetPoint(i);
            for (int c = 0; c < 3; ++c) {
                ASSERT_NEAR(q[c], p[c] + 500.0 * v[static_cast<std::size_t>(c)], 2.0) << mode << " " << i;
            }
        }
    };
    checkWarp(0);
    // Mode 1 bends the free end by 0.9 along z.
    const double* bounds = view->results->resultActor->GetBounds();
    EXPECT_NEAR(bounds[0], 0.0, 0.5);
    EXPECT_NEAR(bounds[1], 200.0, 0.5);
    EXPECT_NEAR(bounds[4], -10.0, 0.5);
    EXPECT_NEAR(bounds[5], 10.0 + 500.0 * 0.9, 5.0);
    EXPECT_EQ(view->results->resultRange, (std::array<double, 2>{0.012, 0.94}));

    // Mode 2 bends along y; the eigenvalues are not reported again.
    Outcome second = command("ModelAnsys " + root + " 1");
    EXPECT_EQ(second.replies, (std::vector<std::string>{"message success"}));
    checkWarp(1);
    const fs::path odd = base / "odd-eigenvalues.txt";
    std::ofstream(odd) << "Mode 1: n/a\n42\nMode 2: 7.5\n";
    const Outcome reread = command("OnReadModelAnysy " + odd.string());
    EXPECT_TRUE(reread.replies.empty());
    EXPECT_EQ(reread.err, "Error parsing value:  n/a\n");
    EXPECT_EQ(view->results->eigenvalues.size(), 3u);
    EXPECT_EQ(command("OnReadModelAnysy " + root + "/absent.txt").err, "Unable to open file\n");

    // A mode without a file: a diagnostic naming it, no "success", an empty view.
    Outcome missing = command("ModelAnsys " + root + " 7");
    EXPECT_TRUE(missing.replies.empty());
    EXPECT_NE(missing.err.find("postprocess80.vts"), std::string::npos) << missing.err;
    EXPECT_EQ(view->renderer->GetViewProps()->GetNumberOfItems(), 0);
    EXPECT_NE(command("attribute 1").err.find("no result is loaded"), std::string::npos);

    // A grid without a displacement array is refused the same way.
    const std::string modal = root + "/data/modelAnsys/unitfcm5-0-1e-10-451/";
    fs::copy_file(root + "/data/locomotive_bogieassembly_sldasm2.stl", modal + "postprocess50.vts");
    Outcome corrupt = command("ModelAnsys " + root + " 4");
    EXPECT_TRUE(corrupt.replies.empty()) << corrupt.replies[0];
    EXPECT_NE(corrupt.err.find("postprocess50.vts"), std::string::npos) << corrupt.err;
}

TEST_F(Results, StaticResultScalesColoursAndAnnotates) {
    EXPECT_NE(command("minmax").err.find("no point cloud"), std::string::npos);

    Outcome plain = command("stack " + root + " 1");
    EXPECT_EQ(plain.out, "VonMises\n");
    EXPECT_EQ(plain.err, "");
    EXPECT_TRUE(plain.replies.empty());
    const std::vector<double> once = displayedValues();
    ASSERT_GT(once.size(), 100u);
    command("stack " + root + " 2");
    const std::vector<double> twice = displayedValues();
    ASSERT_EQ(twice.size(), once.size());
    for (std::size_t i = 0; i < once.size(); ++i) {
        ASSERT_NEAR(twice[i], 2.0 * once[i], 1e-9 + 1e-9 * once[i]) << i;
    }
    command("stack " + root + " 0");
    for (const double value : displayedValues()) {
        ASSERT_EQ(value, 0.0);
    }

    // The clamped end shows blue, the free end red (seen from below).
    command("Renderer " + root + "/data");
    command("reset");
    const double clamped[3] = {3.0, 0.0, -10.0};
    const double free[3] = {197.0, 0.0, -10.0};
    const std::array<int, 3> atClamp = colourAt(clamped);
    const std::array<int, 3> atTip = colourAt(free);
    EXPECT_GT(atClamp[2], 150);
    EXPECT_LT(atClamp[0], 60);
    EXPECT_GT(atTip[0], 150);
    EXPECT_LT(atTip[2], 60);

    // attribute 2 titles the bar "XDeformation"; scalarBar retitles it and
    // places it tall at the right edge.
    command("attribute 2");
    EXPECT_STREQ(view->results->scalarBar->GetTitle(), "XDeformation");
    EXPECT_TRUE(command("scalarBar true false").err.empty());
    EXPECT_STREQ(view->results->scalarBar->GetTitle(), "Deformation X");
    vtkScalarBarRepresentation* bar = view->results->scalarBarWidget->GetScalarBarRepresentation();
    const int* corner = bar->GetPositionCoordinate()->GetComputedDisplayValue(view->renderer);
    const int* size = view->vtkWidget->renderWindow()->GetSize();
    EXPECT_GE(corner[0], size[0] * 9 / 10 - 1);
    EXPECT_DOUBLE_EQ(bar->GetPosition2()[1], 0.8);
    EXPECT_TRUE(rendererHolds("vtkScalarBarRepresentation"));
    command("closeScalarBar");
    EXPECT_FALSE(rendererHolds("vtkScalarBarRepresentation"));
    EXPECT_FALSE(rendererHolds("vtkScalarBarActor"));
    command("scalarBar false false");
    EXPECT_TRUE(rendererHolds("vtkScalarBarRepresentation"));
    EXPECT_DOUBLE_EQ(bar->GetPosition2()[1], 0.8);

    // Two user colours over the current range.
    const std::array<double, 2> range = view->results->resultRange;
    command("colorRGBS 2 0 0 1 1 0 0");
    double rgb[3];
    view->results->colorFunction->GetColor(range[0], rgb);
    EXPECT_EQ((std::array<double, 3>{rgb[0], rgb[1], rgb[2]}), (std::array<double, 3>{0, 0, 1}));
    view->results->colorFunction->GetColor(range[1], rgb);
    EXPECT_EQ((std::array<double, 3>{rgb[0], rgb[1], rgb[2]}), (std::array<double, 3>{1, 0, 0}));
    EXPECT_EQ(view->results->colorFunction->GetSize(), 2);

    // Strain was never loaded: nothing is probed, the view stays.
    EXPECT_NE(command("attribute 5").err.find("no Strain values"), std::string::npos);

    // A coarser grid after a finer one: every quantity has the new length.
    gen::GridSize coarse{11, 3, 3};
    std::ostringstream diagnostics;
    ASSERT_TRUE(gen::writeStaticGrid(root + "/data/postprocess0.vts", beam, coarse, diagnostics));
    command("stack " + root + " 1");
    for (int code : {1, 2, 3, 4, 9}) {
        EXPECT_EQ(view->results->quantity(code)->GetNumberOfTuples(), 99) << code;
    }
}

TEST_F(Results, ALoadReadsOnAWorkerWhileTheViewDrawsAndCommandsWaitForIt) {
    command("stack " + root + " 1");
    bool heldDuringTheLoad = false;
    bool previousResultShown = false;
    const Outcome outcome = capture([&] {
        // Sent back to back, as a user would send them.
        view->OnReceiveMessage(QString::fromStdString("ModelAnsys " + root + " 0"));
        heldDuringTheLoad = view->holdingCommands();
        // Until the mode is ready the static result stays, and can be drawn.
        previousResultShown = view->renderer->GetViewProps()->IsItemPresent(view->results->resultActor) != 0;
        view->renderView();
        view->OnReceiveMessage("attribute 9");
        EXPECT_TRUE(waitUntilSettled(*view));
    });
    EXPECT_TRUE(heldDuringTheLoad);
    EXPECT_TRUE(previousResultShown);
    ASSERT_EQ(outcome.replies.size(), 4u);
    EXPECT_EQ(outcome.replies[3], "message success");
    EXPECT_EQ(progress.back(), "load 3 3");
    // The attribute ran after the load, on the mode's grid, which holds no
    // stress: the static result's stress values are not shown on it.
    EXPECT_NE(outcome.err.find("attribute 9: the loaded result has no Stress values"), std::string::npos)
        << outcome.err;
    EXPECT_EQ(view->results->resultRange, (std::array<double, 2>{0.012, 0.94}));

    // The view closed while a load runs: the worker ends and nothing of the
    // load runs after the view is gone.
    view->OnReceiveMessage(QString::fromStdString("stack " + root + " 1"));
    EXPECT_TRUE(view->holdingCommands());
    view.reset();
}

TEST_F(Results, PointCloudMarkersMeshAndStress) {
    Outcome cloud = command("pointCloud " + root + "/data/pointCloud");
    EXPECT_EQ(cloud.err, "");
    vtkPoints* points = view->scene->pointSets.get(888);
    ASSERT_NE(points, nullptr);
    const int count = static_cast<int>(points->GetNumberOfPoints());
    ASSERT_GT(count, 100);
    const int minIndex = view->results->minIndex;
    const int maxIndex = view->results->maxIndex;
    const double tip = 0.02 * 200.0;
    EXPECT_NEAR(points->GetPoint(maxIndex)[0], 200.0, 1e-6);
    EXPECT_NEAR(points->GetPoint(minIndex)[0], 0.0, 1e-6);

    command("minmax");
    const auto& minMarker = view->results->minMarker;
    const auto& maxMarker = view->results->maxMarker;
    EXPECT_EQ(std::string(minMarker.label->GetInput()), "MinValue: 0.000000");
    const std::string maxText = maxMarker.label->GetInput();
    ASSERT_EQ(maxText.rfind("MaxValue: ", 0), 0u);
    EXPECT_NEAR(std::stod(maxText.substr(10)), tip, 0.05);
    const double* minAt = minMarker.sphereActor->GetPosition();
    const double* maxAt = maxMarker.sphereActor->GetPosition();
    const double* maxPoint = points->GetPoint(maxIndex);
    EXPECT_EQ((std::array<double, 3>{maxAt[0], maxAt[1], maxAt[2]}),
              (std::array<double, 3>{maxPoint[0], maxPoint[1], maxPoint[2]}));
    EXPECT_DOUBLE_EQ(minMarker.label->GetPosition()[0], minAt[0] + 500.0);
    EXPECT_DOUBLE_EQ(maxMarker.label->GetPosition()[0], maxAt[0] + 1200.0);
    EXPECT_DOUBLE_EQ(maxMarker.leader->GetPoint2()[0], maxAt[0] + 1200.0);

    // A smaller cloud, largest value first: only its points, maxIndex 0.
    const fs::path small = base / "small";
    fs::create_directories(small);
    std::ofstream(small / "Cord.txt") << "1 2 3\n4 5 6\n7 8 9\n";
    std::ofstream(small / "Deformation.txt") << "0 0 5\n0 1 0\n0 0 2\n";
    EXPECT_EQ(command("pointCloud " + small.string()).out, "5 1\n");
    EXPECT_EQ(view->scene->pointSets.get(888)->GetNumberOfPoints(), 3);
    EXPECT_EQ(view->results->maxIndex, 0);
    EXPECT_EQ(view->results->minIndex, 1);

    Outcome mesh = command("BeiJingMesh " + root + "/data/mesh/beam.txt");
    EXPECT_EQ(mesh.err, "");
    EXPECT_EQ(mesh.out.substr(0, 8), "0 1\n1 2\n");
    vtkPolyData* lines = view->scene->polyDatas.get(1);
    EXPECT_EQ(lines->GetNumberOfPoints(), 22);
    EXPECT_EQ(lines->GetNumberOfLines(), 31);
    const Outcome absent = command("BeiJingMesh " + root + "/absent.txt");
    EXPECT_NE(absent.err.find("Unable to open file"), std::string::npos) << absent.err << absent.out;

    Outcome stress = command("Stress " + root + "/data/stress");
    EXPECT_EQ(stress.err, "");
    vtkPolyData* surface = view->scene->polyDatas.get(888);
    const std::string counts = std::to_string(surface->GetNumberOfPoints()) + " " +
                               std::to_string(surface->GetNumberOfPoints()) + "\n";
    EXPECT_EQ(stress.out, counts);
    EXPECT_GT(surface->GetNumberOfPolys(), 100);
    EXPECT_STREQ(view->results->scalarBar->GetTitle(), "Stress");
    double range[2];
    surface->GetPointData()->GetScalars()->GetRange(range);
    EXPECT_EQ(view->results->resultRange, (std::array<double, 2>{range[0], range[1]}));
    EXPECT_GT(range[1], 100.0);
    EXPECT_TRUE(rendererHolds("vtkScalarBarRepresentation"));
}

} // namespace
