#pragma once

#include "model/Analysis.h"

#include <vtkSmartPointer.h>

#include <functional>
#include <string>
#include <vector>

class vtkRenderer;

namespace orvane {

// Where the entity editor draws: the view's renderer, and a render of the
// window that shows it.
struct EntityCanvas {
    vtkSmartPointer<vtkRenderer> renderer;
    std::function<void()> render;
};

// Adds analysis entities at the picked target of an Analysis: each add
// appends its record and draws its glyph on the canvas. The main window owns
// it beside the Analysis, which it points to and which outlives it; the
// picking style's keys reach it through a pointer as the commands do. The
// boundary conditions are drawn in BoundaryConditions.cpp, the line elements
// in LineElements.cpp.
class EntityEditor {
public:
    EntityEditor(Analysis& analysis, EntityCanvas canvas);

    // Boundary-condition entities.
    bool AddForce();
    void AddConstraint();
    void AddRb3Capture();
    // An RB3 element on a disc at the target, its face written as B-rep.
    bool AddRb3Circle();
    void AddNodeMarker(const Point3& centre, double radius);
    void AddTextMark(const Point3& colour, double fontSize);

    // Line elements: beams, springs and connections.
    struct BeamParameters {
        double segments = 0;
        double length = 0;
        double radius = 0;
        double material = 0;
        double poisson = 0;
        Point3 colour{};
        double nodeRadius = 0;
    };
    bool AddStraightBeam(const Point3& start, const Point3& end, const BeamParameters& beam);
    // A beam through the points collected in the Analysis's beamPolyline,
    // which it empties.
    void AddPolylineBeam(const BeamParameters& beam);
    void AddSpring(const Point3& start, const Point3& end, const Point3& stiffness, const Point3& colour,
                   const std::string& type1, const std::string& type2);
    void AddConnection(const Point3& pointA, const Point3& pointB, const std::string& targetA,
                       const std::string& targetB, const std::array<int32_t, 6>& flags, const Point3& colour);

private:
    void addForceGlyph(const std::string& name, const Point3& at);
    void drawBeam(const std::vector<Point3>& nodes, const BeamParameters& beam);
    void addTwoPointElement(const std::string& name, const Point3& a, const Point3& b, const Point3& colour);

    Analysis& analysis;
    vtkSmartPointer<vtkRenderer> renderer;
    std::function<void()> renderWindow;
};

} // namespace orvane
