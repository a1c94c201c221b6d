#include "geometry/CircleFace.h"

#include "geometry/MeshFiles.h"
#include "geometry/ShapeExporter.h"

#include <BRepBuilderAPI_MakeEdge.hxx>
#include <BRepBuilderAPI_MakeFace.hxx>
#include <BRepBuilderAPI_MakeWire.hxx>
#include <Geom_Circle.hxx>
#include <Precision.hxx>
#include <Standard_Failure.hxx>
#include <TopoDS_Face.hxx>
#include <gp_Ax2.hxx>
#include <gp_Dir.hxx>
#include <gp_Pln.hxx>
#include <gp_Pnt.hxx>

#include <cmath>
#include <iostream>

namespace orvane {

namespace {

// OpenCASCADE's tolerances and its plane fitting break down on values beyond
// its "infinite" (they crash on a NaN): such a disc is refused first.
bool modelled(double value) {
    return std::isfinite(value) && std::abs(value) < Precision::Infinite();
}

} // namespace

bool writeCircleFaceBrep(const std::string& path, const Point3& centre, const Point3& normal, double radius) {
    TopoDS_Face face;
    try {
        if (!(radius > Precision::Confusion()) || !modelled(radius)) {
            throw Standard_Failure("the radius is not positive");
        }
        for (int i = 0; i < 3; ++i) {
            if (!modelled(centre[i]) || !modelled(normal[i])) {
                throw Standard_Failure("the centre or the normal is not a finite model value");
            }
        }
        const gp_Ax2 axis(gp_Pnt(centre[0], centre[1], centre[2]), gp_Dir(normal[0], normal[1], normal[2]));
        Handle(Geom_Circle) circle = new Geom_Circle(axis, radius);
        BRepBuilderAPI_MakeWire wire(BRepBuilderAPI_MakeEdge(circle).Edge());
        // The disc's plane is known: no plane is fitted to the wire.
        BRepBuilderAPI_MakeFace disc(gp_Pln(axis.Location(), axis.Direction()), wire.Wire(), true);
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
