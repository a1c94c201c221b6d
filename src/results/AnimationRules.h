#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

// Mode animation.

// The mode the animation shows after modeIndex: the next one, and after the
// last eigenvalue (or from outside the list) mode 0 again.
int nextModeIndex(int modeIndex, std::size_t eigenvalueCount);

// The label of a shown mode: its number from 1, " rate: " and the frequency
// of its eigenvalue with six decimals. A mode without an eigenvalue shows its
// number alone.
std::string modeLabelText(int modeIndex, const std::vector<double>& eigenvalues);

// Result series.

// Frame n of a series is the file seriesFileStem + n + ".vtk" in the series
// directory, numbered from 1.
constexpr const char* seriesFileStem = "box3D_FEMmpData";

// The frame number of a file name, when the name is exactly that of a frame
// (no leading zeros, no other characters).
std::optional<int> seriesFrameNumber(std::string_view fileName);

// The number of frames 1..K whose files are all among the names: a gap ends
// the series, so that every frame counted exists.
int consecutiveFrameCount(const std::vector<std::string>& fileNames);

// Lists the regular files of the series directory and counts its frames as
// above; nothing, with the reason in `error`, when it cannot be listed.
std::optional<int> countSeriesFrames(const std::string& directory, std::string& error);

enum class SeriesStep { Play, LeftFastPlay, RightFastPlay, LeftPlay, RightPlay };

// The frame a step shows and the current frame after it. A current frame
// outside 1..frameCount counts as frame 1. Nothing without frames.
struct SeriesMove {
    int shown = 1;
    int next = 1;
};
std::optional<SeriesMove> moveInSeries(SeriesStep step, int frame, int frameCount);

} // namespace orvane
