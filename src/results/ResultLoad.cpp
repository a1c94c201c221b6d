#include "results/ResultLoad.h"

#include "app/FileSnapshot.h"
#include "commands/InputLimits.h"
#include "results/ErrorCounter.h"
#include "results/GridFileChecks.h"
#include "results/ResultFiles.h"
#include "results/ResultPipeline.h"

#include <vtkAlgorithm.h>
#include <vtkCallbackCommand.h>
#include <vtkDataSetSurfaceFilter.h>
#include <vtkDoubleArray.h>
#include <vtkErrorCode.h>
#include <vtkInformation.h>
#include <vtkPointData.h>
#include <vtkPolyData.h>
#include <vtkResampleWithDataSet.h>
#include <vtkSTLReader.h>
#include <vtkStreamingDemandDrivenPipeline.h>
#include <vtkStructuredGrid.h>
#include <vtkXMLStructuredGridReader.h>

#include <algorithm>

namespace orvane {

namespace {

// Lets an algorithm give up at its next progress report once `stop` is set.
void stopWith(vtkAlgorithm* algorithm, const std::atomic<bool>* stop) {
    if (stop == nullptr) {
        return;
    }
    auto check = vtkSmartPointer<vtkCallbackCommand>::New();
    check->SetClientData(const_cast<std::atomic<bool>*>(stop));
    check->SetCallback([](vtkObject* caller, unsigned long, void* clientData, void*) {
        if (*static_cast<const std::atomic<bool>*>(clientData)) {
            static_cast<vtkAlgorithm*>(caller)->AbortExecuteOn();
        }
    });
    algorithm->AddObserver(vtkCommand::ProgressEvent, check);
}

bool stopped(const std::atomic<bool>* stop, std::string& why) {
    if (stop != nullptr && *stop) {
        why = "the view is shutting down";
        return true;
    }
    return false;
}

bool readSurface(const std::string& path, ResultData& data, std::string& why, const std::atomic<bool>* stop) {
    why = "cannot read the model surface '" + path + "'";
    if (!isRegularFile(path)) {
        return false;
    }
    auto reader = vtkSmartPointer<vtkSTLReader>::New();
    stopWith(reader, stop);
    reader->SetFileName(path.c_str());
    reader->Update();
    if (reader->GetErrorCode() != vtkErrorCode::NoError || reader->GetOutput()->GetNumberOfPoints() == 0) {
        return false;
    }
    data.surface = reader->GetOutput();
    return true;
}

// The displacement components and magnitude, times scale.
void splitIntoQuantities(vtkDataArray* displacement, double scale, ResultData& data) {
    const vtkIdType count = displacement->GetNumberOfTuples();
    data.deformationX = newQuantityArray("DeformationX");
    data.deformationY = newQuantityArray("DeformationY");
    data.deformationZ = newQuantityArray("DeformationZ");
    data.deformationMagnitude = newQuantityArray("Deformation");
    for (vtkDoubleArray* output : {data.deformationX.Get(), data.deformationY.Get(), data.deformationZ.Get(),
                                   data.deformationMagnitude.Get()}) {
        output->SetNumberOfTuples(count);
    }
    withComponents(displacement, 3, [&](const auto* tuples) {
        splitDisplacement(tuples, static_cast<std::size_t>(count), scale, data.deformationX->GetPointer(0),
                          data.deformationY->GetPointer(0), data.deformationZ->GetPointer(0),
                          data.deformationMagnitude->GetPointer(0));
    });
}

bool readGrid(const ResultRequest& request, ResultData& data, std::string& why,
              const std::atomic<bool>* stop) {
    const std::string& path = request.gridPath;
    const std::string unreadable = "cannot read the result grid '" + path + "'";
    why = unreadable;
    if (!isRegularFile(path)) {
        return false;
    }
    // The reader parses the very bytes that were checked, whatever happens
    // to the file under its name meanwhile (a solver writing it again).
    std::string problem;
    std::optional<FileSnapshot> snapshot = FileSnapshot::take(path, limits::resultFileBytes, problem);
    if (!snapshot) {
        why = unreadable + ": " + problem;
        return false;
    }
    // A reader of this read alone: it reads a snapshot that ends with this
    // call, so it must never run again.
    auto reader = vtkSmartPointer<vtkXMLStructuredGridReader>::New();
    auto errors = vtkSmartPointer<ErrorCounter>::New();
    reader->AddObserver(vtkCommand::ErrorEvent, errors);
    stopWith(reader, stop);
    const std::string snapshotPath = snapshot->readerPath();
    if (reader->CanReadFile(snapshotPath.c_str()) == 0) {
        return false;
    }
    {
        ByteInput checked(snapshot->bytes());
        if (const std::optional<std::string> found =
                structuredGridFileProblem(checked, snapshot->size(), limits::resultGridPoints)) {
            why = unreadable + ": " + *found;
            return false;
        }
    }
    snapshot->unmap();
    reader->SetFileName(snapshotPath.c_str());
    // The header alone first: the reader allocates the whole declared grid.
    reader->UpdateInformation();
    std::array<int, 6> extent{0, -1, 0, -1, 0, -1};
    vtkInformation* information = reader->GetOutputInformation(0);
    if (errors->count > 0 || !information->Has(vtkStreamingDemandDrivenPipeline::WHOLE_EXTENT())) {
        return false;
    }
    information->Get(vtkStreamingDemandDrivenPipeline::WHOLE_EXTENT(), extent.data());
    if (const std::optional<std::string> found = gridExtentProblem(
            {extent[0], extent[1], extent[2], extent[3], extent[4], extent[5]}, limits::resultGridPoints)) {
        why = unreadable + ": " + *found;
        return false;
    }
    reader->Update();
    if (stopped(stop, why)) {
        return false;
    }
    // The grid without its reader.
    auto grid = vtkSmartPointer<vtkStructuredGrid>::New();
    grid->ShallowCopy(reader->GetOutput());
    const vtkIdType points = grid->GetNumberOfPoints();
    if (points == 0 || errors->count > 0) {
        return false;
    }
    vtkPointData* pointData = grid->GetPointData();
    vtkDataArray* displacement = pointData->GetNumberOfArrays() > 0 ? pointData->GetArray(0) : nullptr;
    if (displacement == nullptr || displacement->GetNumberOfComponents() < 3 ||
        displacement->GetNumberOfTuples() != points) {
        why =
            "the result grid '" + path + "' has no displacement (point array 0, three components per point)";
        return false;
    }
    vtkDataArray* stress = pointData->GetNumberOfArrays() > 1 ? pointData->GetArray(1) : nullptr;
    if (request.withStress && (stress == nullptr || stress->GetNumberOfTuples() != points)) {
        why = "the result grid '" + path + "' has no stress (point array 1, one value per point)";
        return false;
    }

    data.grid = grid;
    data.gridFile = path;
    if (request.quantities) {
        splitIntoQuantities(displacement, request.scale, data);
    }
    if (request.modeShape) {
        // The grid's own array where it holds just the shape: no second copy of a large grid.
        if (displacement->GetNumberOfComponents() == 3) {
            data.modeShape = displacement;
        } else {
            auto shape = vtkSmartPointer<vtkDoubleArray>::New();
            shape->SetName("ModeShape");
            shape->SetNumberOfComponents(3);
            shape->SetNumberOfTuples(points);
            withComponents(displacement, 3, [&](const auto* tuples) {
                std::copy(tuples, tuples + 3 * points, shape->GetPointer(0));
            });
            data.modeShape = shape;
        }
    }
    data.stress = newQuantityArray("Stress");
    if (request.withStress && request.quantities) {
        const char* name = stress->GetName();
        data.stressName = name != nullptr ? name : "";
        data.stress->SetNumberOfTuples(points);
        const int components = stress->GetNumberOfComponents();
        const double scale = request.scale;
        withComponents(stress, components, [&](const auto* values) {
            double* out = data.stress->GetPointer(0);
            for (vtkIdType i = 0; i < points; ++i) {
                out[i] = static_cast<double>(values[i * components]) * scale;
            }
        });
    }
    return true;
}

} // namespace

vtkSmartPointer<vtkDoubleArray> newQuantityArray(const char* name) {
    auto array = vtkSmartPointer<vtkDoubleArray>::New();
    if (name != nullptr) {
        array->SetName(name);
    }
    array->SetNumberOfComponents(1);
    return array;
}

std::optional<ResultData> readResult(const ResultRequest& request, std::string& why,
                                     const std::atomic<bool>* stop) {
    ResultData data;
    if (!request.surfacePath.empty() && !readSurface(request.surfacePath, data, why, stop)) {
        return std::nullopt;
    }
    if (stopped(stop, why) || !readGrid(request, data, why, stop)) {
        return std::nullopt;
    }
    why.clear();
    return data;
}

std::optional<ResultLoad> loadResult(const ResultRequest& request, std::string& why,
                                     const std::atomic<bool>& stop,
                                     const std::function<void(int)>& progress) {
    std::optional<ResultData> data = readResult(request, why, &stop);
    if (!data) {
        return std::nullopt;
    }
    progress(1);
    ResultLoad load;
    load.data = std::move(*data);
    vtkPointData* pointData = load.data.grid->GetPointData();
    if (request.modeShape) {
        pointData->SetVectors(load.data.modeShape);
    } else {
        pointData->SetScalars(load.data.deformationMagnitude);
    }
    load.data.deformationMagnitude->GetRange(load.range.data());

    load.resampler = vtkSmartPointer<vtkResampleWithDataSet>::New();
    stopWith(load.resampler, &stop);
    load.resampler->SetInputData(load.data.surface);
    load.resampler->SetSourceData(load.data.grid);
    load.resampler->Update();
    auto surfaceFilter = vtkSmartPointer<vtkDataSetSurfaceFilter>::New();
    surfaceFilter->SetInputConnection(load.resampler->GetOutputPort(0));
    surfaceFilter->Update();
    if (stopped(&stop, why)) {
        return std::nullopt;
    }
    load.surface = vtkSmartPointer<vtkPolyData>::New();
    load.surface->ShallowCopy(surfaceFilter->GetOutput());
    progress(2);
    if (request.modeShape) {
        load.shapeReachedSurface = warpByModeShape(*load.surface);
        if (load.shapeReachedSurface) {
            load.range = modeColourRange;
        }
    }
    return load;
}

} // namespace orvane
