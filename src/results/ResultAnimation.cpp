#include "results/ResultAnimation.h"

#include "results/ResultPipeline.h"

#include <vtkDataArray.h>
#include <vtkDataSetMapper.h>
#include <vtkDataSetReader.h>
#include <vtkDoubleArray.h>
#include <vtkGenericCell.h>
#include <vtkIdList.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkStructuredGrid.h>
#include <vtkTextActor.h>

#include <chrono>
#include <system_error>

namespace orvane {

namespace {

// What tells one grid geometry from another: the dimensions and the point
// coordinates as stored.
std::uint64_t geometryFingerprint(vtkStructuredGrid* grid) {
    vtkDataArray* coordinates = grid->GetPoints() != nullptr ? grid->GetPoints()->GetData() : nullptr;
    if (coordinates == nullptr) {
        return 0;
    }
    const auto bytes = static_cast<std::size_t>(coordinates->GetNumberOfValues()) *
                       static_cast<std::size_t>(coordinates->GetDataTypeSize());
    return fingerprintBytes(coordinates->GetVoidPointer(0), bytes);
}

std::array<int, 3> dimensionsOf(vtkStructuredGrid* grid) {
    std::array<int, 3> dimensions{0, 0, 0};
    grid->GetDimensions(dimensions.data());
    return dimensions;
}

// The cell of a 3-D structured grid that holds `point`: a walk through the
// grid's index space from cell `start`, one step along each axis whose
// parametric coordinate lies outside the cell. -1 when the walk would leave
// the grid or does not settle; a general search must then decide, since a
// curved grid need not be convex. Neighbouring surface points lie in the
// same or a neighbouring cell, so most walks are one or two cells long and
// the point locator of a general search (a second pass over a million
// points) is never built.
vtkIdType walkToCell(vtkStructuredGrid* grid, const std::array<vtkIdType, 3>& cells, vtkIdType start,
                     const double point[3], vtkGenericCell* cell, double parametric[3], double* cellWeights) {
    vtkIdType at[3] = {start % cells[0], (start / cells[0]) % cells[1], start / (cells[0] * cells[1])};
    double closest[3];
    double distance2 = 0.0;
    int subId = 0;
    for (vtkIdType step = 0; step < cells[0] + cells[1] + cells[2]; ++step) {
        const vtkIdType id = at[0] + cells[0] * (at[1] + cells[1] * at[2]);
        grid->GetCell(id, cell);
        const int inside = cell->EvaluatePosition(point, closest, subId, parametric, distance2, cellWeights);
        if (inside == 1) {
            return id;
        }
        if (inside != 0) {
            return -1;
        }
        bool moved = false;
        for (int axis = 0; axis < 3; ++axis) {
            const vtkIdType to = parametric[axis] < 0.0   ? at[axis] - 1
                                 : parametric[axis] > 1.0 ? at[axis] + 1
                                                          : at[axis];
            if (to != at[axis] && to >= 0 && to < cells[axis]) {
                at[axis] = to;
                moved = true;
            }
        }
        if (!moved) {
            return -1;
        }
    }
    return -1;
}

} // namespace

std::optional<FileStamp> FileStamp::of(const std::string& path) {
    std::error_code error;
    FileStamp stamp;
    stamp.path = path;
    stamp.bytes = std::filesystem::file_size(path, error);
    if (error) {
        return std::nullopt;
    }
    stamp.modified = std::filesystem::last_write_time(path, error);
    if (error) {
        return std::nullopt;
    }
    return stamp;
}

bool ModeTransfer::fits(const FileStamp& file, vtkStructuredGrid* grid) const {
    return surface != nullptr && surfaceFile && *surfaceFile == file &&
           dimensionsOf(grid) == gridDimensions && geometryFingerprint(grid) == gridFingerprint;
}

void ModeTransfer::rebuild(const FileStamp& file, vtkPolyData* modelSurface, vtkStructuredGrid* grid) {
    keptShapes.clear();
    keptShapeBytes = 0;
    surface = vtkSmartPointer<vtkPolyData>::New();
    surface->ShallowCopy(modelSurface);
    surfaceFile = file;
    gridDimensions = dimensionsOf(grid);
    gridFingerprint = geometryFingerprint(grid);

    // The cell search of a probe: a point counts as inside a cell when it
    // lies within a millionth of the cell's size of it.
    const auto width = static_cast<std::size_t>(std::max(1, grid->GetMaxCellSize()));
    const vtkIdType count = surface->GetNumberOfPoints();
    weights.width = width;
    weights.sources.assign(static_cast<std::size_t>(count) * width, -1);
    weights.weights.assign(static_cast<std::size_t>(count) * width, 0.0);
    auto cell = vtkSmartPointer<vtkGenericCell>::New();
    auto cellPoints = vtkSmartPointer<vtkIdList>::New();
    std::vector<double> cellWeights(width);
    double point[3];
    double parametric[3];
    double closest[3];
    int subId = 0;
    const std::array<int, 3> dimensions = dimensionsOf(grid);
    const std::array<vtkIdType, 3> cells{dimensions[0] - 1, dimensions[1] - 1, dimensions[2] - 1};
    const bool walkable = grid->GetDataDimension() == 3 && !grid->HasAnyBlankCells() && cells[0] > 0 &&
                          cells[1] > 0 && cells[2] > 0;
    vtkIdType lastCell = walkable ? cells[0] / 2 + cells[0] * (cells[1] / 2 + cells[1] * (cells[2] / 2)) : -1;
    for (vtkIdType i = 0; i < count; ++i) {
        surface->GetPoint(i, point);
        vtkIdType cellId =
            walkable ? walkToCell(grid, cells, lastCell, point, cell, parametric, cellWeights.data()) : -1;
        if (cellId < 0) {
            cellId = grid->FindCell(point, nullptr, cell, -1, 0.0, subId, parametric, cellWeights.data());
        }
        if (cellId < 0) {
            continue;
        }
        lastCell = cellId;
        grid->GetCell(cellId, cell);
        double distance2 = 0.0;
        cell->EvaluatePosition(point, closest, subId, parametric, distance2, cellWeights.data());
        if (distance2 > cell->GetLength2() * 1e-6) {
            continue;
        }
        grid->GetCellPoints(cellId, cellPoints);
        const auto slot = static_cast<std::size_t>(i) * width;
        for (vtkIdType k = 0; k < cellPoints->GetNumberOfIds() && static_cast<std::size_t>(k) < width; ++k) {
            weights.sources[slot + static_cast<std::size_t>(k)] = cellPoints->GetId(k);
            weights.weights[slot + static_cast<std::size_t>(k)] = cellWeights[static_cast<std::size_t>(k)];
        }
    }
}

vtkSmartPointer<vtkDoubleArray> ModeTransfer::shapeOf(vtkDataArray* modeVectors) const {
    const vtkIdType count = surface != nullptr ? surface->GetNumberOfPoints() : 0;
    if (count == 0 || static_cast<vtkIdType>(weights.targetCount()) != count) {
        return nullptr;
    }
    auto shape = vtkSmartPointer<vtkDoubleArray>::New();
    shape->SetName("ModeShape");
    shape->SetNumberOfComponents(3);
    shape->SetNumberOfTuples(count);
    withComponents(modeVectors, 3,
                   [&](const auto* tuples) { interpolateTuples(weights, tuples, 3, shape->GetPointer(0)); });
    return shape;
}

vtkDoubleArray* ModeTransfer::keptShape(const FileStamp& modeFile) const {
    const auto kept = keptShapes.find(modeFile.path);
    return kept != keptShapes.end() && kept->second.first == modeFile ? kept->second.second.Get() : nullptr;
}

void ModeTransfer::keepShape(const FileStamp& modeFile, vtkSmartPointer<vtkDoubleArray> shape) {
    const auto bytesOf = [](vtkDoubleArray* array) {
        return static_cast<std::size_t>(array->GetNumberOfValues()) * sizeof(double);
    };
    const auto old = keptShapes.find(modeFile.path);
    if (old != keptShapes.end()) {
        keptShapeBytes -= bytesOf(old->second.second);
        keptShapes.erase(old);
    }
    if (keptShapeBytes + bytesOf(shape) > maxKeptShapeBytes) {
        return;
    }
    keptShapeBytes += bytesOf(shape);
    keptShapes.emplace(modeFile.path, std::make_pair(modeFile, std::move(shape)));
}

void ModeTransfer::forget() {
    *this = ModeTransfer{};
}

ResultAnimation::ResultAnimation()
    : seriesReader(vtkSmartPointer<vtkDataSetReader>::New()),
      seriesMapper(vtkSmartPointer<vtkDataSetMapper>::New()) {}

ResultAnimation::~ResultAnimation() {
    stopReadingAhead = true;
    if (nextMode.valid()) {
        nextMode.wait();
    }
}

void ResultAnimation::readAhead(const std::string& gridPath, const std::string& surfacePath) {
    if (nextMode.valid()) {
        nextMode.wait();
    }
    nextMode = std::async(std::launch::async, [this, gridPath, surfacePath] {
        ModeReadAhead ahead;
        ahead.gridPath = gridPath;
        // Taken before the read: a file changed during it reads again at the tick.
        ahead.gridFile = FileStamp::of(gridPath);
        const std::optional<FileStamp> surfaceFile =
            surfacePath.empty() ? std::nullopt : FileStamp::of(surfacePath);
        ResultRequest request;
        request.surfacePath = surfaceFile ? surfacePath : std::string();
        request.gridPath = gridPath;
        request.modeShape = true;
        request.quantities = false;
        // A read that fails here is read again by the tick, which reports it.
        try {
            std::string why;
            ahead.read = readResult(request, why, &stopReadingAhead);
            if (ahead.read && surfaceFile && ahead.read->surface != nullptr && !stopReadingAhead) {
                ahead.transfer.emplace();
                ahead.transfer->rebuild(*surfaceFile, ahead.read->surface, ahead.read->grid);
                ahead.shape = ahead.transfer->shapeOf(ahead.read->modeShape);
            } else if (ahead.read && !surfaceFile && modeTransfer.surfaceFile &&
                       modeTransfer.fits(*modeTransfer.surfaceFile, ahead.read->grid)) {
                ahead.shape = modeTransfer.shapeOf(ahead.read->modeShape);
            }
        } catch (...) {
            ahead.read.reset();
            ahead.transfer.reset();
        }
        return ahead;
    });
}

std::optional<ModeReadAhead> ResultAnimation::takeReadAhead(const std::string& gridPath) {
    if (!nextMode.valid()) {
        return std::nullopt;
    }
    ModeReadAhead ahead = nextMode.get();
    const std::optional<FileStamp> now = FileStamp::of(gridPath);
    if (ahead.gridPath != gridPath || !ahead.gridFile || !now || !(*ahead.gridFile == *now) || !ahead.read) {
        return std::nullopt;
    }
    return ahead;
}

bool ResultAnimation::readingAhead() const {
    return nextMode.valid() && nextMode.wait_for(std::chrono::seconds(0)) != std::future_status::ready;
}

} // namespace orvane
