#include "results/ResultPipeline.h"

#include "results/ResultLoad.h"

#include <vtkActor.h>
#include <vtkColorTransferFunction.h>
#include <vtkDataArray.h>
#include <vtkDoubleArray.h>
#include <vtkLineSource.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkPolyDataMapper.h>
#include <vtkProperty.h>
#include <vtkResampleWithDataSet.h>
#include <vtkScalarBarActor.h>
#include <vtkScalarBarWidget.h>
#include <vtkSphereSource.h>
#include <vtkStructuredGrid.h>
#include <vtkTextActor3D.h>
#include <vtkTextProperty.h>

#include <cmath>

namespace orvane {

bool warpByModeShape(vtkPolyData& surface) {
    vtkDataArray* shape = surface.GetPointData()->GetVectors();
    const vtkIdType count = surface.GetNumberOfPoints();
    if (shape == nullptr || shape->GetNumberOfTuples() != count) {
        return false;
    }
    auto warped = vtkSmartPointer<vtkPoints>::New();
    warped->SetDataTypeToDouble();
    warped->SetNumberOfPoints(count);
    auto magnitudes = vtkSmartPointer<vtkDoubleArray>::New();
    magnitudes->SetName("ModeMagnitude");
    magnitudes->SetNumberOfTuples(count);
    double p[3];
    double v[3];
    for (vtkIdType i = 0; i < count; ++i) {
        surface.GetPoint(i, p);
        shape->GetTuple(i, v);
        warped->SetPoint(i, p[0] + modeWarpFactor * v[0], p[1] + modeWarpFactor * v[1],
                         p[2] + modeWarpFactor * v[2]);
        magnitudes->SetValue(i, std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]));
    }
    surface.SetPoints(warped);
    surface.GetPointData()->SetScalars(magnitudes);
    return true;
}

ExtremeMarker::ExtremeMarker()
    : textProperty(vtkSmartPointer<vtkTextProperty>::New()), label(vtkSmartPointer<vtkTextActor3D>::New()),
      leader(vtkSmartPointer<vtkLineSource>::New()), leaderMapper(vtkSmartPointer<vtkPolyDataMapper>::New()),
      leaderActor(vtkSmartPointer<vtkActor>::New()), sphereSource(vtkSmartPointer<vtkSphereSource>::New()),
      sphereMapper(vtkSmartPointer<vtkPolyDataMapper>::New()), sphereActor(vtkSmartPointer<vtkActor>::New()) {
}

ResultPipeline::ResultPipeline()
    : deformationX(newQuantityArray("DeformationX")), deformationY(newQuantityArray("DeformationY")),
      deformationZ(newQuantityArray("DeformationZ")), deformationMagnitude(newQuantityArray("Deformation")),
      strainMagnitude(newQuantityArray(nullptr)), strainX(newQuantityArray(nullptr)),
      strainY(newQuantityArray(nullptr)), strainZ(newQuantityArray(nullptr)),
      stressValue(newQuantityArray("Stress")), stressX(newQuantityArray("StressX")),
      stressY(newQuantityArray("StressY")), stressZ(newQuantityArray("StressZ")),
      resampler(vtkSmartPointer<vtkResampleWithDataSet>::New()),
      resultSurface(vtkSmartPointer<vtkPolyData>::New()),
      colorFunction(vtkSmartPointer<vtkColorTransferFunction>::New()),
      resultMapper(vtkSmartPointer<vtkPolyDataMapper>::New()), resultActor(vtkSmartPointer<vtkActor>::New()),
      cloudMagnitudes(newQuantityArray(nullptr)), scalarBar(vtkSmartPointer<vtkScalarBarActor>::New()),
      scalarBarWidget(vtkSmartPointer<vtkScalarBarWidget>::New()) {}

ResultPipeline::~ResultPipeline() {
    scalarBarWidget->SetEnabled(0);
}

vtkDoubleArray* ResultPipeline::quantity(int code) const {
    switch (code) {
    case 1:
        return deformationMagnitude;
    case 2:
        return deformationX;
    case 3:
        return deformationY;
    case 4:
        return deformationZ;
    case 5:
        return strainMagnitude;
    case 6:
        return strainX;
    case 7:
        return strainY;
    case 8:
        return strainZ;
    case 9:
        return stressValue;
    case 10:
        return stressX;
    case 11:
        return stressY;
    case 12:
        return stressZ;
    default:
        return nullptr;
    }
}

std::string ResultPipeline::attributeTitle(int code) {
    switch (code) {
    case 1:
        return "Deformation";
    case 2:
        return "XDeformation";
    case 3:
        return "YDeformation";
    case 4:
        return "ZDeformation";
    case 9:
        return "stress";
    default:
        return "";
    }
}

std::string ResultPipeline::scalarBarTitle(int code) {
    static const char* const titles[] = {"Deformation", "Deformation X", "Deformation Y", "Deformation Z",
                                         "Strain",      "Strain X",      "Strain Y",      "Strain Z",
                                         "Stress",      "Stress X",      "Stress Y",      "Stress Z"};
    return isQuantityCode(code) ? titles[code - firstQuantityCode] : "";
}

void ResultPipeline::addStops(const ColourStop* stops, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const ColourStop& stop = stops[i];
        colorFunction->AddRGBPoint(stop.position, stop.colour[0], stop.colour[1], stop.colour[2]);
    }
}

void ResultPipeline::configureMapper(vtkPolyDataMapper* mapper) const {
    mapper->ScalarVisibilityOn();
    mapper->SetLookupTable(colorFunction);
    mapper->SetScalarModeToUsePointData();
    mapper->SetScalarRange(resultRange[0], resultRange[1]);
    mapper->SetColorModeToDefault();
    mapper->Update();
}

void ResultPipeline::colourActor(vtkPolyDataMapper* mapper, vtkActor* actor) const {
    configureMapper(mapper);
    actor->SetMapper(mapper);
}

void ResultPipeline::colourSlotDisplay(vtkPolyData* polyData, vtkPolyDataMapper* mapper,
                                       vtkActor* actor) const {
    mapper->SetInputData(polyData);
    colourActor(mapper, actor);
    actor->GetProperty()->SetPointSize(8);
    // Components above 1 saturate to pure blue.
    actor->GetProperty()->SetColor(0.0, 0.0, 255.0);
}

void ResultPipeline::styleScalarBar(const std::string& title, const char* labelFormat) {
    scalarBar->SetLookupTable(colorFunction);
    if (!title.empty()) {
        scalarBar->SetTitle(title.c_str());
    }
    scalarBar->GetTitleTextProperty()->SetColor(0.0, 0.0, 0.0);
    scalarBar->GetLabelTextProperty()->SetColor(0.0, 0.0, 0.0);
    scalarBar->SetLabelFormat(labelFormat);
    scalarBar->SetNumberOfLabels(6);
    // At most 80 pixels wide, with 10 pixels between the labels and the bar.
    scalarBar->SetMaximumWidthInPixels(80);
    scalarBar->SetTextPad(10);
}

void ResultPipeline::adopt(ResultData data) {
    if (data.surface != nullptr) {
        resultModel = data.surface;
    }
    resultGrid = data.grid;
    resultGridFile = data.gridFile;
    unreadModeGrid.clear();
    resultPointData = data.grid->GetPointData();
    resultGridPoints = data.grid->GetPoints();
    deformationX = data.deformationX;
    deformationY = data.deformationY;
    deformationZ = data.deformationZ;
    deformationMagnitude = data.deformationMagnitude;
    stressValue = data.stress;
}

void ResultPipeline::keepOnlyTheDrawing() {
    if (auto* drawn = vtkPolyData::SafeDownCast(resultMapper->GetInput())) {
        auto copy = vtkSmartPointer<vtkPolyData>::New();
        copy->ShallowCopy(drawn);
        resultMapper->SetInputData(copy);
    }
    resampler = vtkSmartPointer<vtkResampleWithDataSet>::New();
    forgetResult();
}

void ResultPipeline::forgetResult() {
    resultModel = nullptr;
    resultGrid = nullptr;
    resultGridFile.clear();
    unreadModeGrid.clear();
    resultPointData = nullptr;
    resultGridPoints = nullptr;
    for (int code = firstQuantityCode; code <= lastQuantityCode; ++code) {
        quantity(code)->SetNumberOfTuples(0);
    }
}

} // namespace orvane
