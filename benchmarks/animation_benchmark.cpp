// Result animation and section clipping on a 1,000,000-point result grid:
// times one tick of the mode timer, one step of a result series and the
// time from releasing the plane widget to the next rendered frame. Prints
// the figures and asserts nothing. Needs an X display (xvfb-run).
// Usage: orvane_animation_benchmark WORKDIR [REPEATS]   (REPEATS: 3)
// WORKDIR receives the generated data (about 0.4 GB) and is emptied first.

#include "RecordingChannel.h"
#include "ResultGenerator.h"
#include "ViewReady.h"
#include "app/Orvane.h"
#include "results/ResultAnimation.h"
#include "scene/SectionClipping.h"

#include <QApplication>
#include <QSurfaceFormat>
#include <QTimerEvent>
#include <QVTKOpenGLStereoWidget.h>

#include <vtkCommand.h>
#include <vtkPlaneWidget.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iomanip>
#include <iostream>
#include <sstream>
#include <string>

namespace fs = std::filesystem;
namespace gen = orvane::resultgen;

namespace {

using Clock = std::chrono::steady_clock;

double milliseconds(const std::function<void()>& action) {
    const Clock::time_point start = Clock::now();
    action();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Runs a command with the view's console output held back.
void quietly(Orvane& view, const std::string& command) {
    std::ostringstream sink;
    std::streambuf* const out = std::cout.rdbuf(sink.rdbuf());
    std::streambuf* const err = std::cerr.rdbuf(sink.rdbuf());
    view.OnReceiveMessage(QString::fromStdString(command));
    std::cout.rdbuf(out);
    std::cerr.rdbuf(err);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: orvane_animation_benchmark WORKDIR [REPEATS]\n";
        return 2;
    }
    const fs::path work = argv[1];
    const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    QSurfaceFormat::setDefaultFormat(QVTKOpenGLStereoWidget::defaultFormat());
    QApplication application(argc, argv);

    // 250 x 64 x 63 = 1,008,000 grid points around a 200 x 20 x 20 beam.
    const gen::Bounds beam{0.0, 200.0, -10.0, 10.0, -10.0, 10.0};
    const gen::GridSize grid{250, 64, 63};
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

    quietly(view, "OnReadModelAnysy " + (modal / "eigenvalues.txt").string());
    quietly(view, "playModel " + root.string());
    quietly(view, "reset");
    for (int i = 0; i < repeats; ++i) {
        const int mode = view.results->modeIndex;
        const double ms = milliseconds([&] {
            QTimerEvent tick(view.animation->modeTimerId);
            QApplication::sendEvent(&view, &tick);
        });
        std::cout << "mode tick (mode " << mode + 1 << ", read, transfer, warp, render): " << ms << " ms\n";
    }
    quietly(view, "endModel");

    quietly(view, "rendererVTK " + (series / "box3D_FEMmpData1.vtk").string());
    for (int i = 0; i < repeats; ++i) {
        const double ms = milliseconds([&] { quietly(view, "rightPlay 1"); });
        std::cout << "series step to frame " << events.back().args[0] << " (read, render): " << ms << " ms\n";
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
