// Result animation and section clipping on a 1,000,000-point result grid:
// times the ticks of the mode timer over two rounds of the modes, one step of a result series and the
// time from releasing the plane widget to the next rendered frame. Ticks and
// steps alternate with their floors, plain VTK in an off-screen window of
// the same size: read the mode file and draw the surface moved by that mode
// (found beforehand, untimed); read the frame and draw it. Prints the figures and asserts nothing. Needs an X
// display (xvfb-run).
// Usage: orvane_animation_benchmark WORKDIR [REPEATS [NX NY NZ]]   (REPEATS: 3)
// WORKDIR receives the generated data (about 0.4 GB) and is emptied first.

#include "RecordingChannel.h"
#include "ResultGenerator.h"
#include "ViewReady.h"
#include "app/Orvane.h"
#include "results/ResultAnimation.h"
#include "scene/Multisampling.h"
#include "scene/SectionClipping.h"

#include <QApplication>
#include <QSurfaceFormat>
#include <QTimerEvent>
#include <QVTKOpenGLStereoWidget.h>

#include <vtkActor.h>
#include <vtkCommand.h>
#include <vtkDataArray.h>
#include <vtkDataSetMapper.h>
#include <vtkDataSetReader.h>
#include <vtkNew.h>
#include <vtkPlaneWidget.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkPolyDataMapper.h>
#include <vtkProbeFilter.h>
#include <vtkRenderWindow.h>
#include <vtkRenderer.h>
#include <vtkSTLReader.h>
#include <vtkStructuredGrid.h>
#include <vtkXMLStructuredGridReader.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iomanip>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <thread>

namespace fs = std::filesystem;
namespace gen = orvane::resultgen;

namespace {

using Clock = std::chrono::steady_clock;

double milliseconds(const std::function<void()>& action) {
    const Clock::time_point start = Clock::now();
    action();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Runs a command to its end (a result load ends on a later turn of the
// event loop) with the view's console output held back.
void quietly(Orvane& view, const std::string& command) {
    std::ostringstream sink;
    std::streambuf* const out = std::cout.rdbuf(sink.rdbuf());
    std::streambuf* const err = std::cerr.rdbuf(sink.rdbuf());
    view.OnReceiveMessage(QString::fromStdString(command));
    waitUntilSettled(view);
    std::cout.rdbuf(out);
    std::cerr.rdbuf(err);
}

// The least a VTK program does per frame, in its own off-screen window.
class AnimationFloor {
public:
    AnimationFloor(const std::string& surfacePath, const int* size) {
        auto reader = vtkSmartPointer<vtkSTLReader>::New();
        reader->SetFileName(surfacePath.c_str());
        reader->Update();
        base->DeepCopy(reader->GetOutput());
        surface->DeepCopy(base);
        surfaceMapper->SetInputData(surface);
        surfaceActor->SetMapper(surfaceMapper);
        window->AddRenderer(renderer);
        window->SetSize(size[0], size[1]);
        window->OffScreenRenderingOn();
        // The first frame makes the GL context: not part of any step. Then
        // the same multisampling as the view's window.
        show(surfaceActor);
        orvane::fitMultisamplingToRasterizer(window);
    }

    // Finds, untimed, the surface moved by the mode of a grid file as the
    // view shows it (the shape probed at each surface point, 500 times), so
    // that a floor tick draws the same picture as the view's tick.
    void prepareMode(const std::string& gridPath) {
        auto grid = vtkSmartPointer<vtkXMLStructuredGridReader>::New();
        grid->SetFileName(gridPath.c_str());
        auto probe = vtkSmartPointer<vtkProbeFilter>::New();
        probe->SetInputData(base);
        probe->SetSourceConnection(grid->GetOutputPort());
        probe->Update();
        vtkDataArray* shape = probe->GetOutput()->GetPointData()->GetArray(0);
        auto moved = vtkSmartPointer<vtkPoints>::New();
        moved->SetDataTypeToDouble();
        moved->SetNumberOfPoints(base->GetNumberOfPoints());
        double p[3];
        double v[3];
        for (vtkIdType i = 0; i < base->GetNumberOfPoints(); ++i) {
            base->GetPoint(i, p);
            shape->GetTuple(i, v);
            moved->SetPoint(i, p[0] + 500.0 * v[0], p[1] + 500.0 * v[1], p[2] + 500.0 * v[2]);
        }
        movedSurfaces[gridPath] = moved;
    }

    // Reads a mode grid with VTK and draws the surface moved by that mode.
    void modeTick(const std::string& gridPath) {
        auto grid = vtkSmartPointer<vtkXMLStructuredGridReader>::New();
        grid->SetFileName(gridPath.c_str());
        grid->Update();
        if (grid->GetOutput()->GetNumberOfPoints() == 0) {
            std::cerr << "floor: nothing read from " << gridPath << "\n";
        }
        surface->SetPoints(movedSurfaces.at(gridPath));
        show(surfaceActor);
    }

    // Reads a legacy frame and draws it.
    void seriesStep(const std::string& framePath) {
        auto reader = vtkSmartPointer<vtkDataSetReader>::New();
        reader->SetFileName(framePath.c_str());
        reader->Update();
        frameMapper->SetInputConnection(reader->GetOutputPort());
        frameActor->SetMapper(frameMapper);
        show(frameActor);
    }

private:
    void show(vtkActor* actor) {
        if (!renderer->HasViewProp(actor)) {
            renderer->RemoveAllViewProps();
            renderer->AddActor(actor);
            renderer->ResetCamera();
        }
        window->Render();
    }

    vtkNew<vtkPolyData> base;
    vtkNew<vtkPolyData> surface;
    std::map<std::string, vtkSmartPointer<vtkPoints>> movedSurfaces;
    vtkNew<vtkPolyDataMapper> surfaceMapper;
    vtkNew<vtkActor> surfaceActor;
    vtkNew<vtkDataSetMapper> frameMapper;
    vtkNew<vtkActor> frameActor;
    vtkNew<vtkRenderer> renderer;
    vtkNew<vtkRenderWindow> window;
};

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: orvane_animation_benchmark WORKDIR [REPEATS]\n";
        return 2;
    }
    const fs::path work = argv[1];
    const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    const bool sized = argc > 5;
    QSurfaceFormat::setDefaultFormat(QVTKOpenGLStereoWidget::defaultFormat());
    QApplication application(argc, argv);

    // 250 x 64 x 63 = 1,008,000 grid points around a 200 x 20 x 20 beam.
    const gen::Bounds beam{0.0, 200.0, -10.0, 10.0, -10.0, 10.0};
    const gen::GridSize grid = sized
                                   ? gen::GridSize{std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5])}
                                   : gen::GridSize{250, 64, 63};
    const fs::path root = work / "root";
    const fs::path modal = root / "data/modelAnsys/unitfcm5-0-1e-10-451";
    const fs::path series = work / "series";
    fs::remove_all(work);
    fs::create_directories(modal);
    const Clock::time_point generating = Clock::now();
    if (!gen::writeBoxSurface((root / "data/locomotive_bogieassembly_sldasm2.stl").string(), beam, 12,
                              std::cerr) ||
        !gen::writeStaticGrid((root / "data/postprocess0.vts").string(), beam, grid, std::cerr) ||
        !gen::writeModalSet(modal.string(), beam, 3, grid, std::cerr, gen::ModeFileNumbering::Animation) ||
        !gen::writeFrameSeries(series.string(), beam, grid, 3, std::cerr)) {
        return 1;
    }
    std::cout << "data generated in " << std::chrono::duration<double>(Clock::now() - generating).count()
              << " s (" << grid.nx * grid.ny * grid.nz << " grid points)\n";

    ::setenv("ORVANE_SERIES_DIR", series.c_str(), 1);
    std::vector<RecordingChannel::Event> events;
    Orvane view(false, std::make_unique<RecordingChannel>(events));
    if (!waitUntilExposed(view)) {
        std::cerr << "the view was not exposed\n";
        return 1;
    }
    std::cout << std::fixed << std::setprecision(1);

    AnimationFloor floor((root / "data/locomotive_bogieassembly_sldasm2.stl").string(),
                         view.vtkWidget->renderWindow()->GetSize());
    for (int mode = 0; mode < 3; ++mode) {
        floor.prepareMode((modal / ("postprocess" + std::to_string(mode + 6) + "0.vts")).string());
    }
    quietly(view, "OnReadModelAnysy " + (modal / "eigenvalues.txt").string());
    quietly(view, "playModel " + root.string());
    quietly(view, "reset");
    // The first mode, its surface and weights are read on a worker in the
    // second before the timer's first tick.
    const double firstAheadMs = milliseconds([&] {
        while (view.animation->readingAhead()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    std::cout << "playModel: the first mode, the surface and its weights read ahead on a worker: "
              << firstAheadMs << " ms\n";
    // Two rounds of the three modes: the first reads every mode file, the
    // second draws the shapes kept from the first.
    for (int i = 0; i < 2 * repeats; ++i) {
        const int mode = view.results->modeIndex;
        const std::string modeFile = (modal / ("postprocess" + std::to_string(mode + 6) + "0.vts")).string();
        const std::optional<orvane::FileStamp> stamp = orvane::FileStamp::of(modeFile);
        const bool read = !stamp || view.animation->modeTransfer.keptShape(*stamp) == nullptr;
        const bool readAhead = read && view.animation->nextMode.valid();
        const double ms = milliseconds([&] {
            QTimerEvent tick(view.animation->modeTimerId);
            QApplication::sendEvent(&view, &tick);
        });
        // The next mode is read on a worker in the second the timer leaves
        // between ticks: the floor is timed once that read is done.
        const double aheadMs = milliseconds([&] {
            while (view.animation->readingAhead()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
        const double floorMs = milliseconds([&] { floor.modeTick(modeFile); });
        std::cout << "mode tick (mode " << mode + 1 << ", round " << i / 3 + 1 << ", "
                  << (!read       ? "kept shape, warp, render"
                      : readAhead ? "read and moved to the surface ahead, warp, render"
                                  : "read, transfer, warp, render")
                  << "): " << ms << " ms, floor (read, render the moved surface): " << floorMs << " ms\n";
        if (aheadMs >= 1.0) {
            std::cout << "  the next mode read ahead on a worker after this tick: " << aheadMs << " ms\n";
        }
    }
    quietly(view, "endModel");

    quietly(view, "rendererVTK " + (series / "box3D_FEMmpData1.vtk").string());
    for (int i = 0; i < repeats; ++i) {
        const double ms = milliseconds([&] { quietly(view, "rightPlay 1"); });
        const std::string frame = events.back().args[0];
        const std::string framePath = (series / ("box3D_FEMmpData" + frame + ".vtk")).string();
        const double floorMs = milliseconds([&] { floor.seriesStep(framePath); });
        std::cout << "series step to frame " << frame << " (read, render): " << ms
                  << " ms, floor (read, render): " << floorMs << " ms\n";
    }

    quietly(view, "stack " + root.string() + " 1");
    quietly(view, "reset");
    quietly(view, "cutter");
    view.renderView();
    vtkPlaneWidget* widget = view.clipping->planeWidget;
    const double normals[][3] = {{0.0, 0.0, 1.0}, {0.0, 0.0, -1.0}, {1.0, 0.0, 0.3}};
    for (int i = 0; i < repeats; ++i) {
        const double* normal = normals[i % 3];
        widget->SetNormal(normal[0], normal[1], normal[2]);
        const double ms = milliseconds([&] {
            std::ostringstream sink;
            std::streambuf* const out = std::cout.rdbuf(sink.rdbuf());
            widget->InvokeEvent(vtkCommand::EndInteractionEvent);
            view.renderView();
            std::cout.rdbuf(out);
        });
        std::cout << "plane released (normal " << normal[0] << " " << normal[1] << " " << normal[2]
                  << ") to rendered frame: " << ms << " ms\n";
    }
    fs::remove_all(work);
    return 0;
}
