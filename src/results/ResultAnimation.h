#pragma once

#include <vtkSmartPointer.h>

#include <string>
#include <vector>

class vtkDataSetMapper;
class vtkDataSetReader;
class vtkTextActor;

namespace orvane {

// The two result animations: the modes of a modal result, one per tick of a
// timer, and a series of legacy VTK frames stepped by command.
struct ResultAnimation {
    ResultAnimation();
    ~ResultAnimation();
    ResultAnimation(const ResultAnimation&) = delete;
    ResultAnimation& operator=(const ResultAnimation&) = delete;

    bool modeTimerRunning() const { return modeTimerId != 0; }

    // Mode animation: the data root, the timer (0 when stopped) and the
    // label of the mode shown last.
    std::string animationRoot;
    int modeTimerId = 0;
    bool modeTickRunning = false;
    vtkSmartPointer<vtkTextActor> modeLabel;

    // Series: the reader of the frame shown, its display, the current frame
    // (1..seriesFrameCount) and the arrays the series was opened with.
    vtkSmartPointer<vtkDataSetReader> seriesReader;
    vtkSmartPointer<vtkDataSetMapper> seriesMapper;
    int seriesFrame = 1;
    int seriesFrameCount = 0;
    std::string seriesScalarsName = "sigma_xx";
    std::vector<std::string> scalarNames;
    std::vector<std::string> vectorNames;
};

} // namespace orvane
