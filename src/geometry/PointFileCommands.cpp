// Point files: shown as blue dots and offered to the point picker.

#include "app/Orvane.h"
#include "commands/CommandTable.h"
#include "geometry/CoordinateFile.h"
#include "interaction/PointPickerCallback.h"
#include "scene/SceneRegistry.h"

#include <vtkActor.h>
#include <vtkCellArray.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkPolyDataMapper.h>
#include <vtkProperty.h>
#include <vtkRenderer.h>

#include <iostream>

namespace orvane {

std::vector<CommandRow> pointFileCommands(Orvane* view) {
    return {
        {"load",
         "1",
         {ArgKind::Text},
         "load 1 POINT_FILE",
         "Read a point file of x y z triples and show its points",
         [view](const CommandArguments& a) { view->LoadPointFile(a.text(2)); }},
    };
}

} // namespace orvane

namespace {
constexpr int pointFileSlot = 1;
constexpr int gaussDataFileCount = 14;
} // namespace

void Orvane::LoadPointFile(const std::string& path) {
    const auto [points, polyData, mapper, actor] = scene->renewSlot(pointFileSlot);
    // Picks report these coordinates back, so they keep the file's precision.
    points->SetDataTypeToDouble();

    pointLists->filePoints.clear();
    pointLists->pointCoords.clear();
    vertexCells = vtkSmartPointer<vtkCellArray>::New();

    const orvane::CoordinateRead read = orvane::readCoordinates(path);
    if (read.problem) {
        std::cerr << "orvane: point file '" << path << "': " << *read.problem << "\n";
    }
    for (const orvane::Point3& point : read.points) {
        pointLists->filePoints.push_back({0, point[0], point[1], point[2]});
        pointLists->pointCoords.push_back(point);
    }
    for (const orvane::GaussPoint& point : pointLists->filePoints) {
        const vtkIdType id = points->InsertNextPoint(point.x, point.y, point.z);
        vertexCells->InsertNextCell(1, &id);
    }

    polyData->SetPoints(points);
    polyData->SetVerts(vertexCells);
    mapper->SetInputData(polyData);
    actor->SetMapper(mapper);
    actor->GetProperty()->SetPointSize(8.0);
    // VTK clamps the 255 to full blue.
    actor->GetProperty()->SetColor(0.0, 0.0, 255.0);
    renderer->AddActor(actor);
    applyGradientBackground();

    pointPickerCallback->points = pointLists->pointCoords;
    renderView();
}

void Orvane::LoadGaussDataFiles() {
    pointLists->pointCoords.clear();
    // The lists are optional, as their files are: without a directory there are none.
    if (fixedLocations.gaussDataDir.empty()) {
        return;
    }
    for (int k = 1; k <= gaussDataFileCount; ++k) {
        const orvane::CoordinateRead read = orvane::readCoordinates(fixedLocations.gaussData(k));
        // Most of the fourteen files are usually absent; only other problems are told.
        if (read.problem && !read.missing) {
            std::cerr << "orvane: Gauss data file '" << fixedLocations.gaussData(k) << "': " << *read.problem
                      << "\n";
        }
        pointLists->pointCoords.insert(pointLists->pointCoords.end(), read.points.begin(), read.points.end());
    }
}
