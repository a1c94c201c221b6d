#pragma once

#include "scene/SlotTable.h"

#include <vtkSmartPointer.h>

#include <array>

class vtkActor;
class vtkAssembly;
class vtkGlyph3D;
class vtkPoints;
class vtkPolyData;
class vtkPolyDataMapper;
class vtkRenderer;
class vtkSTLReader;
class vtkTextActor3D;
class vtkTextProperty;
class vtkTransform;
class vtkTransformFilter;

namespace orvane {

using Colour = std::array<double, 3>;

// New points, polydata, mapper and actor in one slot of the slot tables.
struct SlotObjects {
    vtkSmartPointer<vtkPoints> points;
    vtkSmartPointer<vtkPolyData> polyData;
    vtkSmartPointer<vtkPolyDataMapper> mapper;
    vtkSmartPointer<vtkActor> actor;
};

// Where the scene keeps what it shows, so that commands find it again: the
// slot tables, all indexed by one slot number, and the assemblies, whose
// parts are addressed by the order they were added in. Nothing here is
// looked up by name. The renderer showing them belongs to the window.
struct SceneRegistry {
    SceneRegistry();
    ~SceneRegistry();
    SceneRegistry(const SceneRegistry&) = delete;
    SceneRegistry& operator=(const SceneRegistry&) = delete;

    // Puts new points, polydata, mapper and actor into the slot, releasing
    // what was there.
    SlotObjects renewSlot(int slotNumber);

    SlotTable<vtkSmartPointer<vtkPolyDataMapper>> mappers;
    SlotTable<vtkSmartPointer<vtkActor>> actors;
    SlotTable<vtkSmartPointer<vtkRenderer>> modelRenderers;
    SlotTable<vtkSmartPointer<vtkSTLReader>> stlReaders;
    SlotTable<vtkSmartPointer<vtkPoints>> pointSets;
    SlotTable<vtkSmartPointer<vtkPolyData>> polyDatas;
    SlotTable<vtkSmartPointer<vtkTransform>> transforms;
    SlotTable<vtkSmartPointer<vtkTransformFilter>> transformFilters;
    SlotTable<vtkSmartPointer<vtkGlyph3D>> glyphs;
    SlotTable<vtkSmartPointer<vtkTextProperty>> textProperties;
    SlotTable<vtkSmartPointer<vtkTextActor3D>> textActors;

    // The slot the last entity command used.
    int slot = 3;
    // The slot of the last successful readModelSTL.
    int lastModelIndex = 0;

    // The reader of readStl's model (slot 0 takes its output).
    vtkSmartPointer<vtkSTLReader> modelReader;

    vtkSmartPointer<vtkAssembly> modelAssembly;
    vtkSmartPointer<vtkAssembly> beamAssembly;
    vtkSmartPointer<vtkAssembly> springAssembly;
    vtkSmartPointer<vtkAssembly> beamPointAssembly;
    vtkSmartPointer<vtkAssembly> beamMarkerAssembly;
    vtkSmartPointer<vtkAssembly> beamLabelAssembly;
};

// Gives part `part` of the assembly the colour and opacity; a missing part
// or one that is no actor gets the console line "Failed to retrieve the
// actor object." and false.
bool recolourPart(vtkAssembly* assembly, int part, const Colour& colour, double opacity);

} // namespace orvane
