#include "geometry/CircleFace.h"

#include "geometry/MeshFiles.h"
#include "geometry/ShapeExporter.h"

#include <BRepBuilderAPI_MakeEdge.hxx>
#include <BRepBuilderAPI_MakeFace.hxx>
#include <BRepBuilderAPI_MakeWire.hxx>
#include <Geom_Circle.hxx>
#include <Standard_Failure.hxx>
#include <TopoDS_Face.hxx>
#include <gp_Ax2.hxx>
#include <gp_Dir.hxx>
#include <gp_Pnt.hxx>

#include <cmath>
#include <iostream>

namespace orvane {

bool writeCircleFaceBrep(const std::string& path, const Point3& centre, const Point3& normal, double radius) {
    TopoDS_Face face;
    try {
        if (!(radius > 0.0) || !std::isfinite(radius)) {
            throw Standard_Failure("the radius is not positive");
        }
        const gp_Ax2 axis(gp_Pnt(centre[0], centre[1], centre[2]), gp_Dir(normal[0], normal[1], normal[2]));
        Handle(Geom_Circle) circle = new Geom_Circle(axis, radius);
        BRepBuilderAPI_MakeWire wire(BRepBuilderAPI_MakeEdge(circle).Edge());
        BRepBuilderAPI_MakeFace disc(wire.Wire(), true);
        if (!disc.IsDone()) {
            throw Standard_Failure("the face builder failed");
        }
        face = disc.Face();
    } catch (const Standard_Failure&) {
        std::cerr << "Failed to create face!" << std::endl;
        return false;
    }
    return writeBrepReplacing(face, path);
}

} // namespace orvane
