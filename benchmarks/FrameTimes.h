#pragma once

#include <QObject>
#include <QTimer>

#include <vtkCallbackCommand.h>
#include <vtkCommand.h>
#include <vtkRenderWindow.h>
#include <vtkSmartPointer.h>

#include <algorithm>
#include <chrono>
#include <vector>

// The times at which a render window finishes its frames, while a timer asks
// it for a frame every 10 ms as a moving mouse would: during long work, the
// longest time between two of them is how long the view stood still.
class FrameTimes {
public:
    using Clock = std::chrono::steady_clock;

    explicit FrameTimes(vtkRenderWindow* renderWindow) : window(renderWindow) {
        auto frameDone = vtkSmartPointer<vtkCallbackCommand>::New();
        frameDone->SetClientData(&frames);
        frameDone->SetCallback([](vtkObject*, unsigned long, void* clientData, void*) {
            static_cast<std::vector<Clock::time_point>*>(clientData)->push_back(Clock::now());
        });
        observer = window->AddObserver(vtkCommand::EndEvent, frameDone);
        QObject::connect(&redraw, &QTimer::timeout, [this] { window->Render(); });
    }
    ~FrameTimes() { window->RemoveObserver(observer); }
    FrameTimes(const FrameTimes&) = delete;
    FrameTimes& operator=(const FrameTimes&) = delete;

    // Starts asking for frames; the times start with `now`.
    void start(Clock::time_point now) {
        frames.assign(1, now);
        redraw.start(10);
    }
    // Stops asking; the times end with `now`.
    void stop(Clock::time_point now) {
        redraw.stop();
        frames.push_back(now);
    }

    // The longest time between two recorded times, in milliseconds.
    double longestGapMs() const {
        double longest = 0.0;
        for (std::size_t i = 1; i < frames.size(); ++i) {
            longest = std::max(longest,
                               std::chrono::duration<double, std::milli>(frames[i] - frames[i - 1]).count());
        }
        return longest;
    }

    std::vector<Clock::time_point> frames;

private:
    vtkRenderWindow* window;
    unsigned long observer = 0;
    QTimer redraw;
};
