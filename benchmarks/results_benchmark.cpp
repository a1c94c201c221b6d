// Result loading on a large grid. Prints figures only.
//   orvane_results_benchmark generate ROOT [NX NY NZ] [BOX_LEVEL]
//       writes a result set (default 400 x 50 x 50 grid points, a box surface
//       of about 100,000 triangles)
//   orvane_results_benchmark floor ROOT      (needs an X display)
//       reads the static and the mode-1 grid with the model surface, resamples,
//       extracts the surface and renders it once off-screen, as plain VTK would
//   orvane_results_benchmark view ROOT      (needs an X display)
//       "stack ROOT 1" and "ModelAnsys ROOT 0" through the view's command
//       path, from command to rendered frame, each with the longest time
//       without a drawn frame while a timer asks for one every 10 ms
//   orvane_results_benchmark solve PROGRAM    (needs an X display)
//       "SolveModel PROGRAM" through the view's command path, with the
//       longest time without a drawn frame while it runs
// Each prints "name milliseconds" lines, "idle_rss_mib N" (resident memory
// with a window drawn, before any data) and "peak_rss_mib N".

#include "FrameTimes.h"
#include "ProcessMemory.h"
#include "RecordingChannel.h"
#include "ResultGenerator.h"
#include "ViewReady.h"
#include "app/Orvane.h"
#include "scene/Multisampling.h"

#include <QApplication>
#include <QSurfaceFormat>
#include <QVTKOpenGLStereoWidget.h>

#include <vtkActor.h>
#include <vtkDataSetSurfaceFilter.h>
#include <vtkPointData.h>
#include <vtkPolyData.h>
#include <vtkPolyDataMapper.h>
#include <vtkRenderWindow.h>
#include <vtkRenderer.h>
#include <vtkRendererCollection.h>
#include <vtkResampleWithDataSet.h>
#include <vtkSTLReader.h>
#include <vtkSmartPointer.h>
#include <vtkStructuredGrid.h>
#include <vtkXMLStructuredGridReader.h>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void printPeakMemory() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::cout << "peak_rss_mib " << usage.ru_maxrss / 1024.0 << std::endl;
}

std::string surfaceOf(const std::string& root) {
    return root + "/data/locomotive_bogieassembly_sldasm2.stl";
}
std::string staticGridOf(const std::string& root) {
    return root + "/data/postprocess0.vts";
}
std::string modeGridOf(const std::string& root) {
    return root + "/data/modelAnsys/unitfcm5-0-1e-10-451/postprocess10.vts";
}

int generate(const std::string& root, int argc, char* argv[]) {
    orvane::resultgen::ResultSetOptions options;
    options.grid = {400, 50, 50};
    options.boxLevel = 90;
    options.modeCount = 1;
    if (argc >= 6) {
        options.grid = {std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5])};
    }
    if (argc >= 7) {
        options.boxLevel = std::atoi(argv[6]);
    }
    return orvane::resultgen::writeResultSet(root, options, std::cerr) ? EXIT_SUCCESS : EXIT_FAILURE;
}

// What any VTK program must do to show the result on the surface: read,
// resample, extract and draw it once.
double floorLoad(vtkRenderWindow* window, const std::string& surfacePath, const std::string& gridPath) {
    const Clock::time_point start = Clock::now();
    auto surface = vtkSmartPointer<vtkSTLReader>::New();
    surface->SetFileName(surfacePath.c_str());
    auto grid = vtkSmartPointer<vtkXMLStructuredGridReader>::New();
    grid->SetFileName(gridPath.c_str());
    auto resample = vtkSmartPointer<vtkResampleWithDataSet>::New();
    resample->SetInputConnection(surface->GetOutputPort());
    resample->SetSourceConnection(grid->GetOutputPort());
    auto extract = vtkSmartPointer<vtkDataSetSurfaceFilter>::New();
    extract->SetInputConnection(resample->GetOutputPort());
    extract->Update();
    auto mapper = vtkSmartPointer<vtkPolyDataMapper>::New();
    mapper->SetInputConnection(extract->GetOutputPort());
    mapper->SetScalarModeToUsePointFieldData();
    mapper->SelectColorArray(0);
    auto actor = vtkSmartPointer<vtkActor>::New();
    actor->SetMapper(mapper);
    vtkRenderer* renderer = window->GetRenderers()->GetFirstRenderer();
    renderer->RemoveAllViewProps();
    renderer->AddActor(actor);
    renderer->ResetCamera();
    window->Render();
    const double elapsed = millisecondsSince(start);
    if (extract->GetOutput()->GetNumberOfPoints() == 0) {
        std::cerr << "floor: nothing resampled from " << gridPath << "\n";
    }
    return elapsed;
}

int floor(const std::string& root) {
    auto window = vtkSmartPointer<vtkRenderWindow>::New();
    auto renderer = vtkSmartPointer<vtkRenderer>::New();
    window->AddRenderer(renderer);
    window->SetSize(1024, 768);
    window->OffScreenRenderingOn();
    window->Render();
    // The same multisampling as the view's window.
    orvane::fitMultisamplingToRasterizer(window);
    std::cout << "idle_rss_mib " << processMebibytes("VmRSS:") << std::endl;
    std::cout << "floor_static_ms " << floorLoad(window, surfaceOf(root), staticGridOf(root)) << std::endl;
    std::cout << "floor_static2_ms " << floorLoad(window, surfaceOf(root), staticGridOf(root)) << std::endl;
    std::cout << "floor_mode_ms " << floorLoad(window, surfaceOf(root), modeGridOf(root)) << std::endl;
    printPeakMemory();
    return EXIT_SUCCESS;
}

// Runs `use` with a view whose window is shown, as the command path needs it.
template <typename Use> int withShownView(const char* mode, int argc, char* argv[], Use&& use) {
    QSurfaceFormat::setDefaultFormat(QVTKOpenGLStereoWidget::defaultFormat());
    QApplication application(argc, argv);
    std::vector<RecordingChannel::Event> events;
    Orvane orvane(false, std::make_unique<RecordingChannel>(events));
    if (!waitUntilExposed(orvane)) {
        std::cerr << mode << ": the window was not shown\n";
        return EXIT_FAILURE;
    }
    return use(orvane, events);
}

int view(Orvane& orvane, std::vector<RecordingChannel::Event>& events, const std::string& root) {
    std::cout << "idle_rss_mib " << processMebibytes("VmRSS:") << std::endl;
    // The view's console lines stay out of the figures.
    std::ostringstream console;
    std::streambuf* const standardOutput = std::cout.rdbuf();
    // For the gap figures a timer asks for a frame every 10 ms, as a moving
    // mouse would, and the longest time without a drawn frame is taken. The
    // load times are taken without it, as the floor's are.
    FrameTimes frameTimes(orvane.vtkWidget->renderWindow());
    double longestGap = 0.0;
    const auto timed = [&](const std::string& command, bool drawing = false) {
        events.clear();
        std::cout.rdbuf(console.rdbuf());
        const Clock::time_point start = Clock::now();
        if (drawing) {
            frameTimes.start(start);
        }
        orvane.OnReceiveMessage(QString::fromStdString(command));
        waitUntilSettled(orvane);
        const double elapsed = millisecondsSince(start);
        std::cout.rdbuf(standardOutput);
        if (drawing) {
            frameTimes.stop(Clock::now());
            longestGap = frameTimes.longestGapMs();
        }
        return elapsed;
    };
    std::cout << "view_stack_ms " << timed("stack " + root + " 1") << std::endl;
    std::cout << "view_stack2_ms " << timed("stack " + root + " 1") << std::endl;
    timed("stack " + root + " 1", true);
    std::cout << "view_stack_gap_ms " << longestGap << std::endl;
    timed("ModelAnsys " + root + " 0", true);
    std::cout << "view_mode_gap_ms " << longestGap << std::endl;
    const double mode = timed("ModelAnsys " + root + " 0");
    const bool success = std::any_of(events.begin(), events.end(), [](const RecordingChannel::Event& e) {
        return e.name == "message" && !e.args.empty() && e.args[0] == "success";
    });
    std::cout << "view_mode_ms " << mode << (success ? "" : " (no success reply)") << std::endl;
    if (!success) {
        std::cerr << console.str();
    }
    printPeakMemory();
    return success ? EXIT_SUCCESS : EXIT_FAILURE;
}

// "SolveModel PROGRAM" through the command path while a timer asks for a
// frame every 10 ms: the run's time and its longest time without a frame.
int solve(Orvane& orvane, const std::string& program) {
    FrameTimes frameTimes(orvane.vtkWidget->renderWindow());
    const Clock::time_point start = Clock::now();
    frameTimes.start(start);
    orvane.OnReceiveMessage(QString::fromStdString("SolveModel " + program));
    waitUntilSettled(orvane);
    const double elapsed = millisecondsSince(start);
    frameTimes.stop(Clock::now());
    std::cout << "solve_ms " << elapsed << "\nsolve_gap_ms " << frameTimes.longestGapMs() << "\nsolve_frames "
              << frameTimes.frames.size() - 2 << std::endl;
    return EXIT_SUCCESS;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc < 3) {
        std::cerr << "usage: orvane_results_benchmark generate|floor|view ROOT ...\n"
                     "       orvane_results_benchmark solve PROGRAM\n";
        return 2;
    }
    const std::string mode = argv[1];
    const std::string root = argv[2];
    if (mode == "generate") {
        return generate(root, argc, argv);
    }
    if (mode == "floor") {
        return floor(root);
    }
    if (mode == "view") {
        return withShownView("view", argc, argv,
                             [&root](Orvane& orvane, auto& events) { return view(orvane, events, root); });
    }
    if (mode == "solve") {
        return withShownView("solve", argc, argv,
                             [&root](Orvane& orvane, auto&) { return solve(orvane, root); });
    }
    std::cerr << "unknown mode " << mode << "\n";
    return 2;
}
