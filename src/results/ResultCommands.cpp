// Result loading and colouring: static, scaled and modal results on the model
// surface, eigenvalues, the point cloud, quantity selection, the scalar bar,
// user colour maps and the extreme-value markers.

#include "app/DataPaths.h"
#include "app/Orvane.h"
#include "channel/ReplyText.h"
#include "commands/CommandTable.h"
#include "commands/HeldJob.h"
#include "results/ResultFiles.h"
#include "results/ResultLoad.h"
#include "results/ResultPipeline.h"
#include "scene/SceneRegistry.h"
#include "scene/SectionClipping.h"

#include <QVTKOpenGLStereoWidget.h>

#include <vtkActor.h>
#include <vtkCellArray.h>
#include <vtkColorTransferFunction.h>
#include <vtkDoubleArray.h>
#include <vtkLineSource.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkPolyDataMapper.h>
#include <vtkProperty.h>
#include <vtkRenderWindow.h>
#include <vtkRenderWindowInteractor.h>
#include <vtkRenderer.h>
#include <vtkResampleWithDataSet.h>
#include <vtkScalarBarActor.h>
#include <vtkScalarBarRepresentation.h>
#include <vtkScalarBarWidget.h>
#include <vtkSphereSource.h>
#include <vtkStructuredGrid.h>
#include <vtkTextActor3D.h>
#include <vtkTextProperty.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iostream>

using orvane::ArgKind;
using orvane::CommandArguments;
using orvane::CommandRow;
using orvane::ResultForm;
using orvane::ResultPipeline;

namespace {

// A load whose files are unusable keeps no result.
void resultReadFailed(ResultPipeline& results, const std::string& command, const std::string& why) {
    std::cerr << "orvane: " << command << ": " << why << "\n";
    results.forgetResult();
}

std::string formForLog(ResultForm form) {
    switch (form) {
    case ResultForm::Plain:
        return "Renderer";
    case ResultForm::Scaled:
        return "stack";
    case ResultForm::Mode:
        return "ModelAnsys";
    }
    return "";
}

void placeMarker(orvane::ExtremeMarker& marker, const double* point, const std::string& text, double offset,
                 const orvane::Colour& sphereColour) {
    marker.textProperty->SetFontSize(60);
    marker.textProperty->SetColor(1.0, 0.0, 0.0);
    marker.textProperty->SetFontFamilyToTimes();
    marker.label->SetTextProperty(marker.textProperty);
    marker.label->SetInput(text.c_str());
    const double labelAt[3] = {point[0] + offset, point[1], point[2]};
    marker.label->SetPosition(labelAt[0], labelAt[1], labelAt[2]);
    marker.leader->SetPoint1(point[0], point[1], point[2]);
    marker.leader->SetPoint2(labelAt[0], labelAt[1], labelAt[2]);
    marker.leaderMapper->SetInputConnection(marker.leader->GetOutputPort());
    marker.leaderActor->SetMapper(marker.leaderMapper);
    marker.leaderActor->GetProperty()->SetColor(1.0, 0.0, 0.0);
    marker.sphereSource->Update();
    marker.sphereMapper->SetInputConnection(marker.sphereSource->GetOutputPort());
    marker.sphereActor->SetMapper(marker.sphereMapper);
    marker.sphereActor->SetPosition(point[0], point[1], point[2]);
    marker.sphereActor->SetScale(10.0);
    marker.sphereActor->GetProperty()->SetColor(sphereColour[0], sphereColour[1], sphereColour[2]);
}

} // namespace

namespace orvane {

std::vector<CommandRow> resultCommands(Orvane* view) {
    constexpr ArgKind text = ArgKind::Text;
    constexpr ArgKind integer = ArgKind::Int;
    constexpr ArgKind real = ArgKind::Real;
    std::vector<CommandRow> rows{
        {"Renderer",
         "",
         {text},
         "Renderer RESULT_DIR",
         "Show the result grid postprocess0.vts of a directory on its model surface, coloured by "
         "displacement",
         [view](const CommandArguments& a) { view->LoadResultFields(a.text(1), ResultForm::Plain, 1.0, 0); }},
        {"stack",
         "",
         {text, real},
         "stack DATA_ROOT SCALE",
         "Show the static result of a data root with every value scaled, coloured by displacement",
         [view](const CommandArguments& a) {
             view->LoadResultFields(a.text(1), ResultForm::Scaled, a.real(2), 0);
         }},
        {"ModelAnsys",
         "",
         {text, integer},
         "ModelAnsys DATA_ROOT MODE_INDEX",
         "Show one mode of the modal result warped by its shape; replies the eigenvalues (first read only) "
         "and "
         "success",
         [view](const CommandArguments& a) {
             view->LoadResultFields(a.text(1), ResultForm::Mode, 1.0, a.integer(2));
         }},
        {"OnReadModelAnysy",
         "",
         {text},
         "OnReadModelAnysy EIGENVALUE_FILE",
         "Read an eigenvalue file; replies its values on the first read of a run",
         [view](const CommandArguments& a) { view->ReadEigenvalues(a.text(1)); }},
        {"pointCloud",
         "",
         {text},
         "pointCloud DIRECTORY",
         "Show the points of Cord.txt coloured by the displacement magnitudes of Deformation.txt",
         [view](const CommandArguments& a) { view->ShowPointCloud(a.text(1)); }},
        {"scalarBar",
         "",
         {text, text},
         "scalarBar PLACE SHORT",
         "Show the scalar bar; PLACE true puts it at the right edge, SHORT true makes it short, upper right",
         [view](const CommandArguments& a) {
             view->showScalarBar(a.text(1) == "true", a.text(2) == "true");
         }},
        {"closeScalarBar",
         "",
         {},
         "closeScalarBar",
         "Hide the scalar bar",
         [view](const CommandArguments&) { view->closeScalarBar(); }},
        {"minmax",
         "",
         {},
         "minmax",
         "Mark the smallest and largest point-cloud magnitude with spheres, leader lines and labels",
         [view](const CommandArguments&) { view->minmax(); }},
    };
    for (int code = firstQuantityCode; code <= lastQuantityCode; ++code) {
        const std::string selector = std::to_string(code);
        rows.push_back({"attribute",
                        selector,
                        {},
                        "attribute " + selector,
                        "Colour the result by " + ResultPipeline::scalarBarTitle(code),
                        [view, code](const CommandArguments&) { view->attribute(code); }});
    }
    for (int stops = 2; stops <= 5; ++stops) {
        const std::string selector = std::to_string(stops);
        std::string usage = "colorRGBS " + selector;
        for (int i = 1; i <= stops; ++i) {
            const std::string n = std::to_string(i);
            usage += " R" + n + " G" + n + " B" + n;
        }
        rows.push_back({"colorRGBS", selector,
                        std::vector<ArgKind>(static_cast<std::size_t>(3 * stops), real), usage,
                        "Replace the colour map by " + selector + " colours spread evenly over the range",
                        [view, stops](const CommandArguments& a) {
                            std::vector<Colour> colours;
                            for (int i = 0; i < stops; ++i) {
                                colours.push_back({a.real(2 + 3 * i), a.real(3 + 3 * i), a.real(4 + 3 * i)});
                            }
                            view->colorRGBS(colours);
                        }});
    }
    return rows;
}

} // namespace orvane

void Orvane::LoadResultFields(const std::string& location, ResultForm form, double factor, int mode) {
    ResultPipeline& r = *results;
    orvane::ResultRequest request;
    switch (form) {
    case ResultForm::Plain:
        request.surfacePath = orvane::datapaths::resultModelStl(location);
        request.gridPath = orvane::datapaths::resultGrid(location);
        break;
    case ResultForm::Scaled:
        request.surfacePath = orvane::datapaths::modelStl(location);
        request.gridPath = orvane::datapaths::staticResult(location);
        break;
    case ResultForm::Mode:
        r.modeIndex = mode;
        ReadEigenvalues(orvane::datapaths::modalEigenvalues(location));
        request.surfacePath = orvane::datapaths::modelStl(location);
        request.gridPath = orvane::datapaths::modalResult(location, static_cast<long long>(mode) + 1);
        break;
    }
    request.withStress = form != ResultForm::Mode;
    request.modeShape = form == ResultForm::Mode;
    request.scale = form == ResultForm::Scaled ? factor : 1.0;
    // Reading, transfer and display are the three steps of a load. The first
    // two run on a worker while the view goes on drawing the previous result.
    r.keepOnlyTheDrawing();
    reportProgress("load", 0, 3);
    resultLoading->start(
        [this, request](const std::atomic<bool>& stop) {
            orvane::ResultLoadOutcome outcome;
            outcome.load = orvane::loadResult(
                request, outcome.why, stop, [this](int step) { reportProgressFromWorker("load", step, 3); });
            return outcome;
        },
        [this, form, gridPath = request.gridPath](std::optional<orvane::ResultLoadOutcome> outcome,
                                                  const std::string& failure) {
            if (!outcome) {
                outcome.emplace();
                outcome->why = failure;
            }
            showLoadedResult(form, gridPath, std::move(*outcome));
        });
}

void Orvane::showLoadedResult(ResultForm form, const std::string& gridPath,
                              orvane::ResultLoadOutcome outcome) {
    clearScene();
    attachLoadedResult(form, gridPath, std::move(outcome));
    renderView();
    reportProgress("load", 3, 3);
}

void Orvane::attachLoadedResult(ResultForm form, const std::string& gridPath,
                                orvane::ResultLoadOutcome outcome) {
    ResultPipeline& r = *results;
    if (!outcome.load) {
        resultReadFailed(r, formForLog(form), outcome.why);
        return;
    }
    orvane::ResultLoad& load = *outcome.load;
    if (form != ResultForm::Mode) {
        std::cout << load.data.stressName << std::endl;
    }
    r.adopt(std::move(load.data));
    r.resampler = load.resampler;
    r.resultSurface->ShallowCopy(load.surface);
    r.resultRange = load.range;
    // A section cut made before cuts and caps the new result.
    clipping->clipObserver->source = r.resampler;
    clipping->capResampler->SetSourceData(r.resultGrid);
    if (!load.shapeReachedSurface) {
        std::cerr << "orvane: ModelAnsys: the mode shape of '" << gridPath
                  << "' did not reach the model surface\n";
        return;
    }
    r.addStops(orvane::blueToRedRamp(r.resultRange[0], r.resultRange[1]));
    if (form == ResultForm::Mode) {
        r.resultMapper->SetInputData(r.resultSurface);
    } else {
        r.resultMapper->SetInputConnection(r.resampler->GetOutputPort(0));
    }
    r.colourActor(r.resultMapper, r.resultActor);
    applyGradientBackground();
    renderer->AddActor(r.resultActor);
    if (form == ResultForm::Mode) {
        sendReply("message", "success");
    }
}

void Orvane::ReadEigenvalues(const std::string& path) {
    ResultPipeline& r = *results;
    std::ifstream file;
    if (orvane::isRegularFile(path)) {
        file.open(path, std::ios::binary);
    }
    if (!file.is_open()) {
        std::cerr << "Unable to open file\n";
        return;
    }
    const orvane::EigenvalueText parsed = orvane::parseEigenvalueText(file);
    for (const std::string& text : parsed.unparsed) {
        std::cerr << "Error parsing value: " << text << "\n";
    }
    if (!r.eigenvaluesPending) {
        return;
    }
    r.eigenvalues.insert(r.eigenvalues.end(), parsed.values.begin(), parsed.values.end());
    for (const double value : r.eigenvalues) {
        sendReply("Eigenvalue", orvane::sixDigits(value));
    }
    r.eigenvaluesPending = false;
}

void Orvane::ShowPointCloud(const std::string& directory) {
    ResultPipeline& r = *results;
    clearScene();
    const auto [points, polyData, mapper, actor] = scene->renewSlot(orvane::POINT_CLOUD_SLOT);
    vertexCells = vtkSmartPointer<vtkCellArray>::New();
    r.cloudMagnitudes->SetNumberOfTuples(0);

    const std::string coordinatesPath = orvane::datapaths::pointCloudCoordinates(directory);
    const std::string deformationPath = orvane::datapaths::pointCloudDeformation(directory);
    const std::vector<orvane::Point3> coordinates = orvane::isRegularFile(coordinatesPath)
                                                        ? orvane::readCoordinateFile(coordinatesPath)
                                                        : std::vector<orvane::Point3>{};
    const std::vector<orvane::Point3> deformations = orvane::isRegularFile(deformationPath)
                                                         ? orvane::readCoordinateFile(deformationPath)
                                                         : std::vector<orvane::Point3>{};
    const std::size_t count = std::min(coordinates.size(), deformations.size());
    if (coordinates.size() != deformations.size()) {
        std::cerr << "orvane: pointCloud: " << coordinates.size() << " points in '" << coordinatesPath
                  << "' but " << deformations.size() << " displacements in '" << deformationPath
                  << "'; showing " << count << "\n";
    }
    if (count == 0) {
        renderView();
        return;
    }

    std::vector<double> magnitudes(count);
    points->SetNumberOfPoints(static_cast<vtkIdType>(count));
    for (std::size_t i = 0; i < count; ++i) {
        const auto id = static_cast<vtkIdType>(i);
        points->SetPoint(id, coordinates[i].data());
        vertexCells->InsertNextCell(1, &id);
        const orvane::Point3& d = deformations[i];
        magnitudes[i] = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    }
    r.cloudMagnitudes->SetNumberOfTuples(static_cast<vtkIdType>(count));
    std::copy(magnitudes.begin(), magnitudes.end(), r.cloudMagnitudes->GetPointer(0));

    const orvane::Extremes extremes = *orvane::scanExtremes(magnitudes);
    r.maxIndex = static_cast<int>(extremes.maxIndex);
    r.minIndex = static_cast<int>(extremes.minIndex);
    std::cout << extremes.max << " " << extremes.min << std::endl;

    polyData->SetPoints(points);
    polyData->SetVerts(vertexCells);
    polyData->GetPointData()->SetScalars(r.cloudMagnitudes);
    r.resultRange = {extremes.min, extremes.max};
    r.addStops(orvane::redToBlueRamp(extremes.min, extremes.max));

    r.colourSlotDisplay(polyData, mapper, actor);

    renderer->AddActor(actor);
    applyGradientBackground();
    renderView();
}

void Orvane::attribute(int code) {
    ResultPipeline& r = *results;
    if (r.quantity(code) == nullptr) {
        return;
    }
    if (!r.hasResult()) {
        std::cerr << "orvane: attribute " << code << ": no result is loaded\n";
        return;
    }
    if (!readUnreadModeGrid("attribute " + std::to_string(code))) {
        return;
    }
    vtkDoubleArray* array = r.quantity(code);
    // A quantity that the loaded result does not provide would be probed
    // beyond its values.
    if (array->GetNumberOfTuples() != r.resultGrid->GetNumberOfPoints()) {
        std::cerr << "orvane: attribute " << code << ": the loaded result has no "
                  << ResultPipeline::scalarBarTitle(code) << " values\n";
        return;
    }
    const std::string title = ResultPipeline::attributeTitle(code);
    const bool replacesDisplay = !title.empty();
    if (replacesDisplay) {
        clearScene();
    }
    r.resultQuantity = code;
    if (replacesDisplay) {
        r.scalarBar->SetTitle(title.c_str());
    }
    r.resultPointData->SetScalars(array);
    array->GetRange(r.resultRange.data());
    r.resampler->SetInputData(r.resultModel);
    r.resampler->SetSourceData(r.resultGrid);
    r.resampler->Update();
    if (replacesDisplay) {
        r.colorFunction->RemoveAllPoints();
        r.addStops(orvane::blueToRedRamp(r.resultRange[0], r.resultRange[1]));
    } else {
        r.addStops(orvane::redToBlueRamp(r.resultRange[0], r.resultRange[1]));
    }
    r.resultMapper->SetInputConnection(r.resampler->GetOutputPort(0));
    r.colourActor(r.resultMapper, r.resultActor);
    renderer->AddActor(r.resultActor);
    renderView();
}

void Orvane::showScalarBar(bool place, bool shortBar) {
    ResultPipeline& r = *results;
    r.styleScalarBar(ResultPipeline::scalarBarTitle(r.resultQuantity), "%.6f");
    enableScalarBar(place
                        ? (shortBar ? orvane::ScalarBarPlace::UpperRight : orvane::ScalarBarPlace::RightEdge)
                        : orvane::ScalarBarPlace::Unchanged);
}

void Orvane::enableScalarBar(orvane::ScalarBarPlace place) {
    ResultPipeline& r = *results;
    r.scalarBarWidget->SetInteractor(vtkWidget->interactor());
    r.scalarBarWidget->SetScalarBarActor(r.scalarBar);
    // The orientation marker has a renderer of its own in the lower-left corner.
    r.scalarBarWidget->SetDefaultRenderer(renderer);
    r.scalarBarWidget->SetCurrentRenderer(renderer);
    vtkScalarBarRepresentation* representation = r.scalarBarWidget->GetScalarBarRepresentation();
    if (place == orvane::ScalarBarPlace::UpperRight) {
        representation->SetPosition(0.9, 0.6);
        representation->SetPosition2(0.1, 0.3);
    } else if (place == orvane::ScalarBarPlace::RightEdge) {
        representation->SetPosition(0.9, 0.1);
        representation->SetPosition2(0.1, 0.8);
    }
    r.scalarBar->SetVisibility(1);
    r.scalarBarWidget->SetEnabled(1);
    renderer->AddActor2D(r.scalarBar);
    renderView();
}

void Orvane::closeScalarBar() {
    ResultPipeline& r = *results;
    renderer->RemoveActor2D(r.scalarBar);
    // The enabled widget's representation draws the bar on its own; only
    // switching the widget off takes it out of the view.
    r.scalarBarWidget->SetEnabled(0);
    renderView();
}

void Orvane::minmax() {
    ResultPipeline& r = *results;
    vtkPoints* points = scene->pointSets.get(orvane::POINT_CLOUD_SLOT);
    const vtkIdType count = r.cloudMagnitudes->GetNumberOfTuples();
    if (points == nullptr || count == 0 || points->GetNumberOfPoints() < count) {
        std::cerr << "orvane: minmax: no point cloud is shown\n";
        return;
    }
    const double* values = r.cloudMagnitudes->GetPointer(0);
    const orvane::Extremes extremes = *orvane::scanExtremes(std::vector<double>(values, values + count));
    r.minIndex = static_cast<int>(extremes.minIndex);
    r.maxIndex = static_cast<int>(extremes.maxIndex);
    double minPoint[3];
    double maxPoint[3];
    points->GetPoint(r.minIndex, minPoint);
    points->GetPoint(r.maxIndex, maxPoint);

    placeMarker(r.minMarker, minPoint, "MinValue: " + orvane::sixDigits(extremes.min), 500.0,
                {0.0, 1.0, 0.0});
    placeMarker(r.maxMarker, maxPoint, "MaxValue: " + orvane::sixDigits(extremes.max), 1200.0,
                {0.0, 0.0, 1.0});
    for (orvane::ExtremeMarker* marker : {&r.minMarker, &r.maxMarker}) {
        renderer->AddActor(marker->sphereActor);
        renderer->AddActor(marker->leaderActor);
        renderer->AddActor(marker->label);
    }
    renderView();
}

void Orvane::colorRGBS(const std::vector<orvane::Colour>& colours) {
    ResultPipeline& r = *results;
    const std::vector<double> positions =
        orvane::evenStopPositions(static_cast<int>(colours.size()), r.resultRange[0], r.resultRange[1]);
    r.colorFunction->RemoveAllPoints();
    for (std::size_t i = 0; i < positions.size(); ++i) {
        r.colorFunction->AddRGBPoint(positions[i], colours[i][0], colours[i][1], colours[i][2]);
    }
    renderView();
}
