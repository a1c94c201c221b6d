#pragma once

#include <vtkSmartPointer.h>

#include <array>
#include <atomic>
#include <functional>
#include <optional>
#include <string>

class vtkDataArray;
class vtkDoubleArray;
class vtkPolyData;
class vtkResampleWithDataSet;
class vtkStructuredGrid;

namespace orvane {

// A one-component quantity array of the result display, named for its
// scalar bar (no name for null).
vtkSmartPointer<vtkDoubleArray> newQuantityArray(const char* name);

// The files one result read takes and what it takes from them.
struct ResultRequest {
    // Empty: the model surface is not read (the caller keeps one).
    std::string surfacePath;
    std::string gridPath;
    // Point array 1 must hold a value per point; its first component becomes
    // the stress quantity.
    bool withStress = false;
    // Every displacement and stress value is multiplied by it.
    double scale = 1.0;
    // Keeps point array 0 as the mode shape.
    bool modeShape = false;
    // Splits the displacement into the quantity arrays and takes the stress;
    // a reader that needs only the grid and the shape goes without.
    bool quantities = true;
};

// What a read made, in objects of its own: nothing else refers to them until
// the view takes them over, so a worker may make them while the view still
// draws the previous result.
struct ResultData {
    vtkSmartPointer<vtkPolyData> surface;
    vtkSmartPointer<vtkStructuredGrid> grid;
    std::string gridFile;
    vtkSmartPointer<vtkDoubleArray> deformationX;
    vtkSmartPointer<vtkDoubleArray> deformationY;
    vtkSmartPointer<vtkDoubleArray> deformationZ;
    vtkSmartPointer<vtkDoubleArray> deformationMagnitude;
    // Empty when the request asked for no stress.
    vtkSmartPointer<vtkDoubleArray> stress;
    // The name of the grid's stress array, which a load prints.
    std::string stressName;
    vtkSmartPointer<vtkDataArray> modeShape;
};

// Reads the model surface and the result grid; nothing, with the reason in
// `why`, when either is unusable. The grid is checked before VTK sees it and
// parsed from a private snapshot of the checked bytes. Touches no shared
// state, so it runs on any thread; `stop` (may be null) ends it early.
std::optional<ResultData> readResult(const ResultRequest& request, std::string& why,
                                     const std::atomic<bool>* stop = nullptr);

// A whole result load, as "Renderer", "stack" and "ModelAnsys" show it: the
// read, the grid's quantities probed at the model surface's points, and for
// a mode the surface warped by its shape.
struct ResultLoad {
    ResultData data;
    // Probes the grid at the model surface; the display reads its output.
    vtkSmartPointer<vtkResampleWithDataSet> resampler;
    // Its output as polydata; for a mode, warped and coloured by the shape.
    vtkSmartPointer<vtkPolyData> surface;
    std::array<double, 2> range{0.0, 1.0};
    // False when a mode's shape did not reach the surface: the result is
    // read, but there is nothing to show.
    bool shapeReachedSurface = true;
};

// A load as the view takes it over: the load, or why there is none.
struct ResultLoadOutcome {
    std::optional<ResultLoad> load;
    std::string why;
};

// `progress` hears each step done (1: read, 2: transferred). Nothing, with
// the reason in `why`, when the files are unusable.
std::optional<ResultLoad> loadResult(const ResultRequest& request, std::string& why,
                                     const std::atomic<bool>& stop, const std::function<void(int)>& progress);

} // namespace orvane
