#include "results/ResultAnimation.h"

#include <vtkDataArray.h>
#include <vtkDataSetMapper.h>
#include <vtkDataSetReader.h>
#include <vtkGenericCell.h>
#include <vtkIdList.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkStructuredGrid.h>
#include <vtkTextActor.h>

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

} // namespace

std::optional<SurfaceFileStamp> SurfaceFileStamp::of(const std::string& path) {
    std::error_code error;
    SurfaceFileStamp stamp;
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

bool ModeTransfer::fits(const SurfaceFileStamp& file, vtkStructuredGrid* grid) const {
    return surface != nullptr && surfaceFile && *surfaceFile == file &&
           dimensionsOf(grid) == gridDimensions && geometryFingerprint(grid) == gridFingerprint;
}

void ModeTransfer::rebuild(const SurfaceFileStamp& file, vtkPolyData* modelSurface, vtkStructuredGrid* grid) {
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
    for (vtkIdType i = 0; i < count; ++i) {
        surface->GetPoint(i, point);
        const vtkIdType cellId =
            grid->FindCell(point, nullptr, cell, -1, 0.0, subId, parametric, cellWeights.data());
        if (cellId < 0) {
            continue;
        }
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

void ModeTransfer::forget() {
    *this = ModeTransfer{};
}

ResultAnimation::ResultAnimation()
    : seriesReader(vtkSmartPointer<vtkDataSetReader>::New()),
      seriesMapper(vtkSmartPointer<vtkDataSetMapper>::New()) {}

ResultAnimation::~ResultAnimation() = default;

} // namespace orvane
