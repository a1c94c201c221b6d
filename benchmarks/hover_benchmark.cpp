// Hover handling on an imported STEP model. Imports through the command
// path while a timer asks for a frame every 10 ms, and prints the longest
// times without a drawn frame. Then times the picking and highlight of each
// mouse position (no render) in face mode and in solid mode, and compares
// the faces and actors chosen with those of independent picks at the same
// screen position: a plain cell picker over every face actor, and one over
// the shown actors. Needs an X display.
// Usage: orvane_hover_benchmark MODEL.step ROOT [MOVES]   (MOVES: 500)

#include "FrameTimes.h"
#include "ProcessMemory.h"
#include "RecordingChannel.h"
#include "ViewReady.h"
#include "app/Orvane.h"
#include "interaction/MouseInteractorHighLightActor.h"

#include <QApplication>
#include <QSurfaceFormat>
#include <QVTKOpenGLStereoWidget.h>

#include <vtkCamera.h>
#include <vtkCellPicker.h>
#include <vtkMath.h>
#include <vtkRenderWindow.h>
#include <vtkRenderer.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double milliseconds(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// Display rectangle (x0, y0, x1, y1) covered by the visible props, clipped to the window.
std::array<int, 4> modelScreenArea(vtkRenderer* renderer, const int* windowSize) {
    double bounds[6];
    renderer->ComputeVisiblePropBounds(bounds);
    double x0 = windowSize[0], y0 = windowSize[1], x1 = 0.0, y1 = 0.0;
    for (int corner = 0; corner < 8; ++corner) {
        renderer->SetWorldPoint(bounds[corner & 1], bounds[2 + ((corner >> 1) & 1)],
                                bounds[4 + (corner >> 2)], 1.0);
        renderer->WorldToDisplay();
        const double* p = renderer->GetDisplayPoint();
        x0 = std::min(x0, p[0]);
        y0 = std::min(y0, p[1]);
        x1 = std::max(x1, p[0]);
        y1 = std::max(y1, p[1]);
    }
    const auto clip = [](double v, int size) {
        return std::clamp(static_cast<int>(std::lround(v)), 0, size - 1);
    };
    return {clip(x0, windowSize[0]), clip(y0, windowSize[1]), clip(x1, windowSize[0]),
            clip(y1, windowSize[1])};
}

// About `count` positions on a regular grid over the rectangle, row by row.
std::vector<std::array<int, 2>> gridOver(const std::array<int, 4>& area, int count) {
    const double width = std::max(1, area[2] - area[0]);
    const double height = std::max(1, area[3] - area[1]);
    const int columns = std::max(1, static_cast<int>(std::ceil(std::sqrt(count * width / height))));
    const int rows = (count + columns - 1) / columns;
    std::vector<std::array<int, 2>> positions;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns && static_cast<int>(positions.size()) < count; ++c) {
            positions.push_back({area[0] + static_cast<int>(std::lround((c + 0.5) * width / columns)),
                                 area[1] + static_cast<int>(std::lround((r + 0.5) * height / rows))});
        }
    }
    return positions;
}

double percentile(const std::vector<double>& sorted, double p) {
    const std::size_t rank = static_cast<std::size_t>(std::ceil(p * static_cast<double>(sorted.size())));
    return sorted[std::min(sorted.size() - 1, rank == 0 ? 0 : rank - 1)];
}

void printDistribution(const char* name, std::vector<double> times) {
    if (times.empty()) {
        std::cout << "hover: " << name << ": none" << std::endl;
        return;
    }
    std::sort(times.begin(), times.end());
    std::cout << std::fixed << std::setprecision(3) << "hover: " << name << ": median "
              << percentile(times, 0.5) << " ms, p95 " << percentile(times, 0.95) << " ms, max "
              << times.back() << " ms" << std::endl;
}

bool replied(const std::vector<RecordingChannel::Event>& events, const std::string& text) {
    return std::any_of(events.begin(), events.end(), [&](const RecordingChannel::Event& e) {
        return e.name == "message" && !e.args.empty() && e.args[0] == text;
    });
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::cerr << "usage: " << argv[0] << " MODEL.step ROOT [MOVES]\n";
        return 2;
    }
    const std::string stepPath = argv[1];
    const std::string root = argv[2];
    const int moves = argc == 4 ? std::atoi(argv[3]) : 500;
    if (moves <= 0) {
        std::cerr << "MOVES must be a positive number\n";
        return 2;
    }

    QSurfaceFormat::setDefaultFormat(QVTKOpenGLStereoWidget::defaultFormat());
    QApplication application(argc, argv);
    std::vector<RecordingChannel::Event> events;
    Orvane view(false, std::make_unique<RecordingChannel>(events));
    if (!waitUntilExposed(view)) {
        std::cerr << "the view window was never exposed (is there an X display?)\n";
        return 1;
    }

    // The import reports every file it writes on standard output.
    std::ostringstream importOutput;
    std::streambuf* const console = std::cout.rdbuf(importOutput.rdbuf());
    vtkRenderWindow* window = view.vtkWidget->renderWindow();
    FrameTimes frameTimes(window);

    const double idleMebibytes = processMebibytes("VmRSS:");
    const Clock::time_point importStart = Clock::now();
    frameTimes.start(importStart);
    view.OnReceiveMessage(QString::fromStdString("openSTLFile " + root + " " + stepPath));
    while (view.importing()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    const Clock::time_point importEnd = Clock::now();
    const double peakMebibytes = processMebibytes("VmHWM:");
    frameTimes.stop(importEnd);
    const std::vector<Clock::time_point>& frames = frameTimes.frames;
    std::cout.rdbuf(console);
    if (!replied(events, "step_file_loaded_flag")) {
        std::cerr << "the import of " << stepPath << " into " << root << " failed\n";
        return 1;
    }
    // The gaps between frames, longest first, with the time each ended.
    std::vector<std::pair<double, double>> gaps;
    for (std::size_t i = 1; i < frames.size(); ++i) {
        gaps.emplace_back(milliseconds(frames[i] - frames[i - 1]), milliseconds(frames[i] - importStart));
    }
    std::sort(gaps.rbegin(), gaps.rend());
    const double longestGap = gaps.empty() ? 0.0 : gaps[0].first;
    const double longestGapEnd = gaps.empty() ? 0.0 : gaps[0].second;

    // What a frame of the imported model costs by itself: no time between
    // frames during the import can be shorter.
    std::vector<double> modelFrames;
    for (int i = 0; i < 7; ++i) {
        const Clock::time_point start = Clock::now();
        window->Render();
        modelFrames.push_back(milliseconds(Clock::now() - start));
    }
    std::sort(modelFrames.begin(), modelFrames.end());

    orvane::MouseInteractorHighLightActor& style = *view.pickingStyle;
    view.resetCamera();
    vtkRenderer* renderer = view.renderer;
    const int* windowSize = window->GetSize();
    const std::array<int, 4> area = modelScreenArea(renderer, windowSize);
    const std::vector<std::array<int, 2>> positions = gridOver(area, moves);
    double viewDirection[3];
    renderer->GetActiveCamera()->GetDirectionOfProjection(viewDirection);
    vtkMath::Normalize(viewDirection);

    // Face mode: the hover itself, then the exact face distance on the same
    // pick. A move is near a border when a move 3 pixels away in any
    // direction highlights another face.
    style.setFaceMode(true);
    auto probe = vtkSmartPointer<vtkCellPicker>::New();
    // The independent pick: a plain cell picker over every face actor, which
    // the view keeps hidden until highlighted, so shown for the pick only.
    auto facePicker = vtkSmartPointer<vtkCellPicker>::New();
    facePicker->PickFromListOn();
    for (const auto& actor : style.faceActors) {
        facePicker->AddPickList(actor);
    }
    const auto pickedFace = [&](int x, int y) {
        std::vector<int> shown;
        for (const auto& actor : style.faceActors) {
            shown.push_back(actor->GetVisibility());
            actor->VisibilityOn();
        }
        facePicker->Pick(x, y, 0.0, renderer);
        for (std::size_t i = 0; i < shown.size(); ++i) {
            style.faceActors[i]->SetVisibility(shown[i]);
        }
        const auto found =
            std::find(style.faceActors.begin(), style.faceActors.end(), facePicker->GetActor());
        return found == style.faceActors.end() ? -1 : static_cast<int>(found - style.faceActors.begin());
    };
    std::vector<double> faceTimes;
    std::vector<double> exactTimes;
    int highlighted = 0;
    int agreeing = 0;
    int exactAgreeing = 0;
    int inner = 0;
    int innerAgreeing = 0;
    for (const auto& [x, y] : positions) {
        Clock::time_point start = Clock::now();
        style.updateHover(x, y);
        faceTimes.push_back(milliseconds(Clock::now() - start));
        const int face = style.selectedFaceIds.empty() ? -1 : style.selectedFaceIds[0];
        highlighted += face >= 0 ? 1 : 0;
        probe->Pick(x, y, 0.0, renderer);
        int exact = -1;
        if (probe->GetCellId() != -1) {
            start = Clock::now();
            exact = style.faceByExactDistance(viewDirection);
            exactTimes.push_back(milliseconds(Clock::now() - start));
        }
        bool nearBorder = false;
        for (const auto& [dx, dy] : {std::array<int, 2>{3, 0}, {-3, 0}, {0, 3}, {0, -3}}) {
            style.updateHover(x + dx, y + dy);
            const int neighbour = style.selectedFaceIds.empty() ? -1 : style.selectedFaceIds[0];
            nearBorder = nearBorder || neighbour != face;
        }
        const int independent = pickedFace(x, y);
        agreeing += independent == face ? 1 : 0;
        exactAgreeing += exact == face ? 1 : 0;
        if (!nearBorder) {
            ++inner;
            innerAgreeing += independent == face ? 1 : 0;
        }
    }
    style.setFaceMode(false);

    // Solid mode: the hover, then a cell picker without locators on the same spot.
    std::vector<double> solidTimes;
    int solidsAgreeing = 0;
    int solidsHighlighted = 0;
    for (const auto& [x, y] : positions) {
        const Clock::time_point start = Clock::now();
        style.updateHover(x, y);
        solidTimes.push_back(milliseconds(Clock::now() - start));
        solidsHighlighted += style.lastPickedActor != nullptr ? 1 : 0;
        probe->Pick(x, y, 0.0, renderer);
        solidsAgreeing += probe->GetActor() == style.lastPickedActor ? 1 : 0;
    }

    const auto share = [](int part, int whole) { return whole == 0 ? 100.0 : 100.0 * part / whole; };
    std::cout << std::fixed << std::setprecision(3) << "hover: model " << stepPath << ", "
              << style.faces.size() << " faces, import through the command path "
              << std::chrono::duration<double>(importEnd - importStart).count() << " s\n"
              << "import: longest time without a frame " << longestGap << " ms, ending "
              << longestGapEnd / 1000.0 << " s after the command (" << frames.size() - 2 << " frames)\n"
              << "import: memory idle " << idleMebibytes << " MiB, peak " << peakMebibytes << " MiB, growth "
              << peakMebibytes - idleMebibytes << " MiB\n"
              << "import: next longest gaps";
    for (std::size_t i = 1; i < std::min<std::size_t>(gaps.size(), 6); ++i) {
        std::cout << " " << gaps[i].first << " ms (ending " << gaps[i].second / 1000.0 << " s)";
    }
    std::cout << "\n"
              << "import: a frame of the whole model after the import, median of 7: " << modelFrames[3]
              << " ms\n"
              << "hover: window " << windowSize[0] << "x" << windowSize[1] << ", grid over (" << area[0]
              << ", " << area[1] << ")-(" << area[2] << ", " << area[3] << ")\n"
              << "hover: moves " << positions.size() << ", " << highlighted << " left a face highlighted, "
              << solidsHighlighted << " a solid\n";
    printDistribution("face mode", faceTimes);
    printDistribution("solid mode", solidTimes);
    printDistribution("exact face distance", exactTimes);
    std::cout << std::setprecision(2)
              << "hover: faces agreeing with the exact face distance: " << exactAgreeing << " of "
              << positions.size() << "\n"
              << "hover: faces agreeing with a cell picker over the face actors: " << agreeing << " of "
              << positions.size() << " (" << share(agreeing, static_cast<int>(positions.size()))
              << "%), away from face borders " << innerAgreeing << " of " << inner << " ("
              << share(innerAgreeing, inner) << "%)\n"
              << "hover: solids agreeing with a plain cell picker: " << solidsAgreeing << " of "
              << positions.size() << " (" << share(solidsAgreeing, static_cast<int>(positions.size())) << "%)"
              << std::endl;
    return 0;
}
