// The scene's slot tables and assemblies; the scene commands that fill them
// are in SceneCommands.cpp.

#include "scene/SceneRegistry.h"

#include <vtkActor.h>
#include <vtkAssembly.h>
#include <vtkGlyph3D.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkPolyDataMapper.h>
#include <vtkProp3DCollection.h>
#include <vtkProperty.h>
#include <vtkRenderer.h>
#include <vtkSTLReader.h>
#include <vtkTextActor3D.h>
#include <vtkTextProperty.h>
#include <vtkTransform.h>
#include <vtkTransformFilter.h>

#include <iostream>

namespace orvane {

SceneRegistry::SceneRegistry()
    : modelReader(vtkSmartPointer<vtkSTLReader>::New()), modelAssembly(vtkSmartPointer<vtkAssembly>::New()),
      beamAssembly(vtkSmartPointer<vtkAssembly>::New()), springAssembly(vtkSmartPointer<vtkAssembly>::New()),
      beamPointAssembly(vtkSmartPointer<vtkAssembly>::New()),
      beamMarkerAssembly(vtkSmartPointer<vtkAssembly>::New()),
      beamLabelAssembly(vtkSmartPointer<vtkAssembly>::New()) {}

SceneRegistry::~SceneRegistry() = default;

SlotObjects SceneRegistry::renewSlot(int slotNumber) {
    SlotObjects objects{vtkSmartPointer<vtkPoints>::New(), vtkSmartPointer<vtkPolyData>::New(),
                        vtkSmartPointer<vtkPolyDataMapper>::New(), vtkSmartPointer<vtkActor>::New()};
    pointSets.set(slotNumber, objects.points);
    polyDatas.set(slotNumber, objects.polyData);
    mappers.set(slotNumber, objects.mapper);
    actors.set(slotNumber, objects.actor);
    return objects;
}

bool recolourPart(vtkAssembly* assembly, int part, const Colour& colour, double opacity) {
    vtkProp3DCollection* parts = assembly->GetParts();
    vtkActor* actor = nullptr;
    if (part >= 0 && part < parts->GetNumberOfItems()) {
        actor = vtkActor::SafeDownCast(parts->GetItemAsObject(part));
    }
    if (actor == nullptr) {
        std::cerr << "Failed to retrieve the actor object." << std::endl;
        return false;
    }
    actor->GetProperty()->SetColor(colour[0], colour[1], colour[2]);
    actor->GetProperty()->SetOpacity(opacity);
    return true;
}

} // namespace orvane
