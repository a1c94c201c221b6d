#include "results/AnimationRules.h"

#include "channel/ReplyText.h"
#include "results/ResultCalculations.h"

#include <charconv>
#include <climits>
#include <filesystem>
#include <set>

namespace orvane {

int nextModeIndex(int modeIndex, std::size_t eigenvalueCount) {
    const long long last = static_cast<long long>(eigenvalueCount) - 1;
    return modeIndex >= 0 && modeIndex < last ? modeIndex + 1 : 0;
}

std::string modeLabelText(int modeIndex, const std::vector<double>& eigenvalues) {
    const std::string number = std::to_string(static_cast<long long>(modeIndex) + 1);
    if (modeIndex < 0 || static_cast<std::size_t>(modeIndex) >= eigenvalues.size()) {
        return number;
    }
    return number + " rate: " + sixDigits(modeFrequency(eigenvalues[static_cast<std::size_t>(modeIndex)]));
}

std::optional<int> seriesFrameNumber(std::string_view fileName) {
    const std::string_view stem = seriesFileStem;
    const std::string_view extension = ".vtk";
    if (fileName.size() <= stem.size() + extension.size() || fileName.substr(0, stem.size()) != stem ||
        fileName.substr(fileName.size() - extension.size()) != extension) {
        return std::nullopt;
    }
    const std::string_view digits =
        fileName.substr(stem.size(), fileName.size() - stem.size() - extension.size());
    if (digits.front() == '0') {
        return std::nullopt;
    }
    int number = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (error != std::errc() || end != digits.data() + digits.size() || number < 1) {
        return std::nullopt;
    }
    return number;
}

int consecutiveFrameCount(const std::vector<std::string>& fileNames) {
    std::set<int> frames;
    for (const std::string& name : fileNames) {
        if (const std::optional<int> frame = seriesFrameNumber(name)) {
            frames.insert(*frame);
        }
    }
    int count = 0;
    while (count < INT_MAX && frames.count(count + 1) != 0) {
        ++count;
    }
    return count;
}

std::optional<int> countSeriesFrames(const std::string& directory, std::string& error) {
    namespace fs = std::filesystem;
    std::error_code code;
    std::vector<std::string> names;
    for (fs::directory_iterator entry(directory, code); !code && entry != fs::directory_iterator();
         entry.increment(code)) {
        std::error_code statusError;
        if (entry->is_regular_file(statusError)) {
            names.push_back(entry->path().filename().string());
        }
    }
    if (code) {
        error = code.message();
        return std::nullopt;
    }
    return consecutiveFrameCount(names);
}

std::optional<SeriesMove> moveInSeries(SeriesStep step, int frame, int frameCount) {
    if (frameCount < 1) {
        return std::nullopt;
    }
    const int current = frame >= 1 && frame <= frameCount ? frame : 1;
    switch (step) {
    case SeriesStep::Play:
        return SeriesMove{current, current == frameCount ? 1 : current + 1};
    case SeriesStep::LeftFastPlay:
        return SeriesMove{1, 1};
    case SeriesStep::RightFastPlay:
        return SeriesMove{frameCount, frameCount};
    case SeriesStep::LeftPlay: {
        const int shown = current == 1 ? frameCount : current - 1;
        return SeriesMove{shown, shown};
    }
    case SeriesStep::RightPlay: {
        const int shown = current == frameCount ? 1 : current + 1;
        return SeriesMove{shown, shown};
    }
    }
    return std::nullopt;
}

} // namespace orvane
