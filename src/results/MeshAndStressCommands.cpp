// Text files from the solver side: a line mesh, and von Mises stress on the
// triangulated model surface.

#include "app/DataPaths.h"
#include "app/Orvane.h"
#include "commands/CommandTable.h"
#include "results/ResultFiles.h"
#include "results/ResultPipeline.h"
#include "scene/SceneRegistry.h"

#include <vtkActor.h>
#include <vtkCellArray.h>
#include <vtkColorTransferFunction.h>
#include <vtkDoubleArray.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkPolyDataMapper.h>
#include <vtkProperty.h>
#include <vtkRenderer.h>
#include <vtkScalarBarActor.h>

#include <fstream>
#include <iostream>

using orvane::ArgKind;
using orvane::CommandArguments;
using orvane::CommandRow;

namespace {

constexpr int meshSlot = 1;

std::vector<double> readNumberFile(const std::string& path) {
    std::ifstream file;
    if (orvane::isRegularFile(path)) {
        file.open(path, std::ios::binary);
    }
    return file.is_open() ? orvane::parseNumbers(file) : std::vector<double>{};
}

} // namespace

namespace orvane {

std::vector<CommandRow> meshAndStressCommands(Orvane* view) {
    constexpr ArgKind text = ArgKind::Text;
    return {
        {"BeiJingMesh",
         "",
         {text},
         "BeiJingMesh MESH_FILE",
         "Show a line mesh read from the $Points and $line sections of a text file",
         [view](const CommandArguments& a) { view->BeiJingMesh(a.text(1)); }},
        {"Stress",
         "",
         {text},
         "Stress DIRECTORY",
         "Show von Mises stress (index_point.txt, vonmises.txt) on the model's point and triangle lists, "
         "with a scalar bar",
         [view](const CommandArguments& a) { view->Stress(a.text(1)); }},
    };
}

} // namespace orvane

void Orvane::BeiJingMesh(const std::string& path) {
    clearScene();
    const auto [points, polyData, mapper, actor] = scene->renewSlot(meshSlot);
    pointLists->pointCoords.clear();
    pointLists->filePoints.clear();

    std::ifstream file;
    if (orvane::isRegularFile(path)) {
        file.open(path, std::ios::binary);
    }
    if (!file.is_open()) {
        std::cerr << "Unable to open file" << std::endl;
        renderView();
        return;
    }
    const orvane::LineMesh mesh = orvane::parseLineMesh(file);
    if (mesh.invalidLines > 0) {
        std::cerr << "orvane: BeiJingMesh: " << mesh.invalidLines << " line cells of '" << path
                  << "' name points the file does not have; they are left out\n";
    }
    for (const orvane::Point3& point : mesh.points) {
        points->InsertNextPoint(point.data());
    }
    auto lines = vtkSmartPointer<vtkCellArray>::New();
    for (const auto& cell : mesh.lines) {
        std::cout << cell[0] << " " << cell[1] << "\n";
        const vtkIdType ids[2] = {static_cast<vtkIdType>(cell[0]), static_cast<vtkIdType>(cell[1])};
        lines->InsertNextCell(2, ids);
    }
    std::cout.flush();

    polyData->SetPoints(points);
    polyData->SetLines(lines);
    mapper->SetInputData(polyData);
    actor->SetMapper(mapper);
    // Components above 1 saturate: the lines render pure blue.
    actor->GetProperty()->SetColor(0.0, 0.0, 255.0);

    renderer->AddActor(actor);
    applyGradientBackground();
    renderView();
}

void Orvane::Stress(const std::string& directory) {
    orvane::ResultPipeline& r = *results;
    clearScene();
    const auto [points, polyData, mapper, actor] = scene->renewSlot(orvane::POINT_CLOUD_SLOT);
    // The stress surface replaces the point cloud in its slot.
    r.cloudMagnitudes->SetNumberOfTuples(0);

    const std::string indexPath = orvane::datapaths::stressIndex(directory);
    orvane::StressIndex index;
    std::ifstream indexFile;
    if (orvane::isRegularFile(indexPath)) {
        indexFile.open(indexPath, std::ios::binary);
    }
    if (indexFile.is_open()) {
        index = orvane::parseStressIndex(indexFile);
    } else {
        std::cerr << "Unable to open file\n";
    }
    if (index.skippedLines > 0) {
        std::cerr << "orvane: Stress: " << index.skippedLines << " lines of '" << indexPath
                  << "' are not point numbers; they are skipped\n";
    }

    const std::vector<double> coordinates = readNumberFile(orvane::datapaths::stressModelPoints(directory));
    const std::size_t pointCount = coordinates.size() / 3;
    points->SetNumberOfPoints(static_cast<vtkIdType>(pointCount));
    for (std::size_t i = 0; i < pointCount; ++i) {
        points->SetPoint(static_cast<vtkIdType>(i), &coordinates[3 * i]);
    }
    const orvane::TriangleList triangles = orvane::trianglesFromOneBased(
        readNumberFile(orvane::datapaths::stressModelTriangles(directory)), pointCount);
    if (triangles.skipped > 0) {
        std::cerr << "orvane: Stress: " << triangles.skipped
                  << " triangles name points outside the point list; they are skipped\n";
    }
    auto polygons = vtkSmartPointer<vtkCellArray>::New();
    for (const auto& triangle : triangles.triangles) {
        const vtkIdType ids[3] = {static_cast<vtkIdType>(triangle[0]), static_cast<vtkIdType>(triangle[1]),
                                  static_cast<vtkIdType>(triangle[2])};
        polygons->InsertNextCell(3, ids);
    }
    const std::vector<double> values = readNumberFile(orvane::datapaths::stressValues(directory));
    std::cout << index.points.size() << " " << values.size() << std::endl;

    const orvane::StressField field = orvane::assignStressValues(index.points, values, pointCount);
    if (field.skippedIndices > 0 || field.surplusValues > 0) {
        std::cerr << "orvane: Stress: " << field.skippedIndices << " point numbers outside the " << pointCount
                  << " points or the index list, and " << field.surplusValues
                  << " values without an index line, are skipped\n";
    }
    auto stress = vtkSmartPointer<vtkDoubleArray>::New();
    stress->SetName("Stress");
    stress->SetNumberOfTuples(static_cast<vtkIdType>(pointCount));
    std::copy(field.values.begin(), field.values.end(), stress->GetPointer(0));

    polyData->SetPoints(points);
    polyData->SetPolys(polygons);
    polyData->GetPointData()->SetScalars(stress);
    if (pointCount > 0) {
        stress->GetRange(r.resultRange.data());
    }
    r.colorFunction->RemoveAllPoints();
    r.addStops(orvane::redToBlueRamp(r.resultRange[0], r.resultRange[1]));

    r.colourSlotDisplay(polyData, mapper, actor);

    r.styleScalarBar("Stress", "%.6f");
    renderer->AddActor(actor);
    applyGradientBackground();
    enableScalarBar(orvane::ScalarBarPlace::RightEdge);
}
