// The entity editor's line elements: beams, springs and connections.

#include "commands/InputLimits.h"
#include "model/EntityEditor.h"
#include "model/EntityRules.h"
#include "scene/ActorNames.h"
#include "scene/Glyphs.h"

#include <vtkActor.h>
#include <vtkPolyDataMapper.h>
#include <vtkProperty.h>
#include <vtkRenderer.h>
#include <vtkSphereSource.h>

#include <cmath>
#include <iostream>

namespace orvane {

void EntityEditor::drawBeam(const std::vector<Point3>& nodes, const BeamParameters& beam) {
    const std::string name = "B " + std::to_string(analysis.beamCounter);
    for (std::size_t k = 0; k < nodes.size(); ++k) {
        auto sphere = vtkSmartPointer<vtkSphereSource>::New();
        sphere->SetCenter(nodes[k].data());
        sphere->SetRadius(beam.nodeRadius);
        auto mapper = vtkSmartPointer<vtkPolyDataMapper>::New();
        mapper->SetInputConnection(sphere->GetOutputPort());
        auto node = vtkSmartPointer<vtkActor>::New();
        node->SetMapper(mapper);
        node->GetProperty()->SetColor(beam.colour[0], beam.colour[1], beam.colour[2]);
        setActorName(node, name + " " + std::to_string(k));
        renderer->AddActor(node);
    }
    vtkSmartPointer<vtkActor> line = polylineActor(nodes, beam.colour);
    line->GetProperty()->SetLineWidth(2.0);
    setActorName(line, name);
    renderer->AddActor(line);
    renderWindow();
    analysis.model.beams.push_back(
        {name, nodes, beam.radius, beam.length, beam.segments, beam.material, beam.poisson});
    ++analysis.beamCounter;
}

bool EntityEditor::AddStraightBeam(const Point3& start, const Point3& end, const BeamParameters& beam) {
    if (std::optional<std::string> problem =
            overLimit("SEGMENTS", std::trunc(beam.segments), limits::markersPerCommand - 1)) {
        std::cerr << "orvane: beamHightLight: refused: " << *problem
                  << " (one node marker per segment end)\n";
        return false;
    }
    const int segments = std::isfinite(beam.segments) && std::abs(beam.segments) < 1e9
                             ? static_cast<int>(std::trunc(beam.segments))
                             : 0;
    const std::optional<std::vector<Point3>> nodes = straightBeamNodes(start, end, segments);
    if (!nodes) {
        std::cerr << "orvane: beamHightLight: a beam needs at least one segment, got " << beam.segments
                  << "\n";
        return false;
    }
    drawBeam(*nodes, beam);
    return true;
}

void EntityEditor::AddPolylineBeam(const BeamParameters& beam) {
    const std::vector<Point3> nodes = analysis.beamPolyline;
    drawBeam(nodes, beam);
    analysis.beamPolyline.clear();
}

void EntityEditor::addTwoPointElement(const std::string& name, const Point3& a, const Point3& b,
                                      const Point3& colour) {
    vtkSmartPointer<vtkActor> line = polylineActor({a, b}, colour);
    setActorName(line, name);
    renderer->AddActor(line);
    renderWindow();
}

void EntityEditor::AddSpring(const Point3& start, const Point3& end, const Point3& stiffness,
                             const Point3& colour, const std::string& type1, const std::string& type2) {
    const std::string name = "S " + std::to_string(analysis.springCounter);
    addTwoPointElement(name, start, end, colour);
    analysis.model.springs.push_back({name, type1, type2, stiffness, start, end});
    ++analysis.springCounter;
}

void EntityEditor::AddConnection(const Point3& pointA, const Point3& pointB, const std::string& targetA,
                                 const std::string& targetB, const std::array<int32_t, 6>& flags,
                                 const Point3& colour) {
    const std::string name = "C " + std::to_string(analysis.connectionCounter);
    addTwoPointElement(name, pointA, pointB, colour);
    analysis.model.connections.push_back({name, targetA, targetB, pointA, pointB, flags});
    ++analysis.connectionCounter;
}

} // namespace orvane
