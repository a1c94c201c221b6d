#pragma once

#include "results/ResultCalculations.h"

#include <vtkDoubleArray.h>
#include <vtkFloatArray.h>
#include <vtkSmartPointer.h>

#include <array>
#include <string>
#include <vector>

class vtkActor;
class vtkColorTransferFunction;
class vtkLineSource;
class vtkPointData;
class vtkPoints;
class vtkPolyData;
class vtkPolyDataMapper;
class vtkResampleWithDataSet;
class vtkRenderer;
class vtkScalarBarActor;
class vtkScalarBarWidget;
class vtkSphereSource;
class vtkStructuredGrid;
class vtkTextActor3D;
class vtkTextProperty;

namespace orvane {

struct ResultData;

// Quantity codes of the result colouring, 1 to 12.
constexpr int firstQuantityCode = 1;
constexpr int lastQuantityCode = 12;
constexpr bool isQuantityCode(int code) {
    return code >= firstQuantityCode && code <= lastQuantityCode;
}

// Calls use with the first `components` components of every tuple of the
// array, packed; float and double arrays are read in place.
template <typename Use> void withComponents(vtkDataArray* array, int components, Use&& use) {
    if (array->GetNumberOfComponents() == components) {
        if (auto* doubles = vtkDoubleArray::SafeDownCast(array)) {
            use(static_cast<const double*>(doubles->GetPointer(0)));
            return;
        }
        if (auto* floats = vtkFloatArray::SafeDownCast(array)) {
            use(static_cast<const float*>(floats->GetPointer(0)));
            return;
        }
    }
    const vtkIdType count = array->GetNumberOfTuples();
    std::vector<double> packed(static_cast<std::size_t>(count * components));
    for (vtkIdType i = 0; i < count; ++i) {
        for (int c = 0; c < components; ++c) {
            packed[static_cast<std::size_t>(i * components + c)] = array->GetComponent(i, c);
        }
    }
    use(static_cast<const double*>(packed.data()));
}

// Mode shapes are drawn this many times larger than computed, and coloured
// over a fixed range so that modes compare at a glance.
constexpr double modeWarpFactor = 500.0;
constexpr std::array<double, 2> modeColourRange{0.012, 0.94};

// Moves the points of a surface by modeWarpFactor times its point vectors
// (the mode shape) and colours it by their length; false when the surface
// has no shape for every point.
bool warpByModeShape(vtkPolyData& surface);

// Where a result load finds its files: a result directory (plain), a data
// root with a scale factor (scaled), or a data root and a mode (mode).
enum class ResultForm { Plain, Scaled, Mode };

// Where the scalar bar is placed when it is shown.
enum class ScalarBarPlace { Unchanged, RightEdge, UpperRight };

// A marker of the smallest or largest point-cloud value: a sphere at the
// point, a leader line and a 3-D label at its end.
struct ExtremeMarker {
    ExtremeMarker();

    vtkSmartPointer<vtkTextProperty> textProperty;
    vtkSmartPointer<vtkTextActor3D> label;
    vtkSmartPointer<vtkLineSource> leader;
    vtkSmartPointer<vtkPolyDataMapper> leaderMapper;
    vtkSmartPointer<vtkActor> leaderActor;
    vtkSmartPointer<vtkSphereSource> sphereSource;
    vtkSmartPointer<vtkPolyDataMapper> sphereMapper;
    vtkSmartPointer<vtkActor> sphereActor;
};

// The result display: the surface and grid readers, the quantities taken
// from the grid, their transfer onto the model surface, the shared colour
// map, the scalar bar and the extreme-value markers. Created once and reused
// by every load; a load replaces the contents.
class ResultPipeline {
public:
    ResultPipeline();
    ~ResultPipeline();
    ResultPipeline(const ResultPipeline&) = delete;
    ResultPipeline& operator=(const ResultPipeline&) = delete;

    // The quantity array of a code (1 to 12), or null for any other code.
    vtkDoubleArray* quantity(int code) const;
    // The scalar-bar title that "attribute" gives a code, and the one that
    // "scalarBar" gives it; empty where the code sets none.
    static std::string attributeTitle(int code);
    static std::string scalarBarTitle(int code);

    // Adds the stops without removing the existing ones.
    template <std::size_t N> void addStops(const std::array<ColourStop, N>& stops) {
        addStops(stops.data(), N);
    }
    void addStops(const ColourStop* stops, std::size_t count);
    // Point-data colouring through the shared colour map over resultRange.
    void configureMapper(vtkPolyDataMapper* mapper) const;
    // Gives the actor the mapper, configured as above.
    void colourActor(vtkPolyDataMapper* mapper, vtkActor* actor) const;
    // The point cloud and stress displays of their shared slot: the polydata
    // coloured as above, with points of size 8 and pure blue as the actor's
    // own colour.
    void colourSlotDisplay(vtkPolyData* polyData, vtkPolyDataMapper* mapper, vtkActor* actor) const;
    // Configures the scalar bar's look for a title and label format.
    void styleScalarBar(const std::string& title, const char* labelFormat);

    // Takes over what a read made: the model surface (when it read one), the
    // grid and its quantities. A quantity the read did not make is left
    // empty, so that no value of an earlier result is shown on this one.
    void adopt(ResultData data);
    // Lets go of the loaded result but keeps its drawing: the display shows a
    // copy of what it drew, which needs neither the grid nor the transfer. A
    // load calls it first, so that two results never fill memory at once.
    void keepOnlyTheDrawing();
    // Forgets the loaded result, so that later commands find none.
    void forgetResult();
    bool hasResult() const { return resultPointData != nullptr || !unreadModeGrid.empty(); }

    vtkSmartPointer<vtkPolyData> resultModel;
    // The grid of the mode on show when a mode tick drew it from a kept shape
    // without reading it; read when a command needs it.
    std::string unreadModeGrid;
    // The result grid shown and the file it was read from.
    vtkSmartPointer<vtkStructuredGrid> resultGrid;
    std::string resultGridFile;
    vtkSmartPointer<vtkPointData> resultPointData;
    vtkSmartPointer<vtkPoints> resultGridPoints;

    vtkSmartPointer<vtkDoubleArray> deformationX;
    vtkSmartPointer<vtkDoubleArray> deformationY;
    vtkSmartPointer<vtkDoubleArray> deformationZ;
    vtkSmartPointer<vtkDoubleArray> deformationMagnitude;
    vtkSmartPointer<vtkDoubleArray> strainMagnitude;
    vtkSmartPointer<vtkDoubleArray> strainX;
    vtkSmartPointer<vtkDoubleArray> strainY;
    vtkSmartPointer<vtkDoubleArray> strainZ;
    vtkSmartPointer<vtkDoubleArray> stressValue;
    vtkSmartPointer<vtkDoubleArray> stressX;
    vtkSmartPointer<vtkDoubleArray> stressY;
    vtkSmartPointer<vtkDoubleArray> stressZ;

    vtkSmartPointer<vtkResampleWithDataSet> resampler;
    vtkSmartPointer<vtkPolyData> resultSurface;
    vtkSmartPointer<vtkColorTransferFunction> colorFunction;
    vtkSmartPointer<vtkPolyDataMapper> resultMapper;
    vtkSmartPointer<vtkActor> resultActor;
    std::array<double, 2> resultRange{0.0, 1.0};

    std::vector<double> eigenvalues;
    bool eigenvaluesPending = true;
    int modeIndex = 0;

    // The point cloud's displacement magnitudes and their extremes.
    vtkSmartPointer<vtkDoubleArray> cloudMagnitudes;
    int maxIndex = 0;
    int minIndex = 0;

    int resultQuantity = 1;
    vtkSmartPointer<vtkScalarBarActor> scalarBar;
    vtkSmartPointer<vtkScalarBarWidget> scalarBarWidget;
    ExtremeMarker minMarker;
    ExtremeMarker maxMarker;
};

} // namespace orvane
