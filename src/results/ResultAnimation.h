#pragma once

#include "app/FileSnapshot.h"
#include "results/ResultCalculations.h"
#include "results/ResultLoad.h"

#include <vtkSmartPointer.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <future>
#include <map>
#include <optional>
#include <string>
#include <vector>

class vtkDataArray;
class vtkDataSetMapper;
class vtkDoubleArray;
class vtkDataSetReader;
class vtkPolyData;
class vtkStructuredGrid;
class vtkTextActor;

namespace orvane {

// A file as last read: its path, size and modification time.
struct FileStamp {
    std::string path;
    std::uintmax_t bytes = 0;
    std::filesystem::file_time_type modified{};

    // The stamp of the file now; nothing when it cannot be read.
    static std::optional<FileStamp> of(const std::string& path);
    bool operator==(const FileStamp& other) const {
        return path == other.path && bytes == other.bytes && modified == other.modified;
    }
};

// The transfer of mode grids onto the model surface. Every mode of a modal
// result shares one grid geometry, so the interpolation weights of each
// surface point are found once and applied to each new mode.
struct ModeTransfer {
    // Whether the weights were made for this surface file and grid geometry.
    bool fits(const FileStamp& surfaceFile, vtkStructuredGrid* grid) const;
    // Finds the grid cell and weights of every surface point.
    void rebuild(const FileStamp& surfaceFile, vtkPolyData* modelSurface, vtkStructuredGrid* grid);
    // A mode shape interpolated at each surface point through the weights;
    // null when the weights belong to no surface.
    vtkSmartPointer<vtkDoubleArray> shapeOf(vtkDataArray* modeVectors) const;
    void forget();

    std::optional<FileStamp> surfaceFile;
    std::array<int, 3> gridDimensions{0, 0, 0};
    std::uint64_t gridFingerprint = 0;
    // The model surface the weights belong to, unwarped.
    vtkSmartPointer<vtkPolyData> surface;
    PointWeights weights;

    // The shape of a mode on the surface, kept for a mode file as it is now;
    // null when none is kept. The modes repeat while they play, and a file
    // unchanged since its shape was made is not read again.
    vtkDoubleArray* keptShape(const FileStamp& modeFile) const;
    // Keeps a shape made through these weights, while all kept shapes stay
    // within maxKeptShapeBytes.
    void keepShape(const FileStamp& modeFile, vtkSmartPointer<vtkDoubleArray> shape);
    static constexpr std::size_t maxKeptShapeBytes = std::size_t{256} << 20;
    std::map<std::string, std::pair<FileStamp, vtkSmartPointer<vtkDoubleArray>>> keptShapes;
    std::size_t keptShapeBytes = 0;
};

// A mode grid read ahead on a worker, as it was when read; with the model
// surface and its weights for that grid when the surface was read too. The
// shape is the mode on the surface through those weights, or through the
// kept ones when they fit the grid (only a tick changes them, and a tick
// first waits for the read ahead); null otherwise.
struct ModeReadAhead {
    std::string gridPath;
    std::optional<FileStamp> gridFile;
    std::optional<ResultData> read;
    std::optional<ModeTransfer> transfer;
    vtkSmartPointer<vtkDoubleArray> shape;
};

// The two result animations: the modes of a modal result, one per tick of a
// timer, and a series of legacy VTK frames stepped by command.
struct ResultAnimation {
    ResultAnimation();
    // Stops a read ahead and waits for it.
    ~ResultAnimation();
    ResultAnimation(const ResultAnimation&) = delete;
    ResultAnimation& operator=(const ResultAnimation&) = delete;

    bool modeTimerRunning() const { return modeTimerId != 0; }

    // Mode animation: the data root, the timer (0 when stopped) and the
    // label of the mode shown last.
    std::string animationRoot;
    int modeTimerId = 0;
    vtkSmartPointer<vtkTextActor> modeLabel;
    ModeTransfer modeTransfer;
    // The next mode's grid, read on a worker in the second between two ticks;
    // the tick takes it if its file has not changed since. With a surface
    // path, the worker also reads the surface and makes its weights.
    void readAhead(const std::string& gridPath, const std::string& surfacePath = {});
    // What was read ahead for gridPath, if its file is still as it was read;
    // waits for a read still under way. Forgets any other read ahead.
    std::optional<ModeReadAhead> takeReadAhead(const std::string& gridPath);
    bool readingAhead() const;
    std::future<ModeReadAhead> nextMode;
    std::atomic<bool> stopReadingAhead{false};

    // Series: the file of the frame shown, its reader and the snapshot of
    // the file that the reader reads (again when the scalars change), its
    // display, the current frame (1..seriesFrameCount) and the arrays the
    // series was opened with.
    std::string seriesFile;
    vtkSmartPointer<vtkDataSetReader> seriesReader;
    std::optional<FileSnapshot> seriesSnapshot;
    vtkSmartPointer<vtkDataSetMapper> seriesMapper;
    int seriesFrame = 1;
    int seriesFrameCount = 0;
    std::string seriesScalarsName = "sigma_xx";
    std::vector<std::string> scalarNames;
    std::vector<std::string> vectorNames;
};

} // namespace orvane
