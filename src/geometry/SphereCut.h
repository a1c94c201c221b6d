#pragma once

#include <TopoDS_Shape.hxx>
#include <gp_Pnt.hxx>

#include <string>

namespace orvane {

// Cuts every face of the shape with the solid ball (centre, radius) and
// keeps each cut that holds a face: writes their compound as a BRep file and,
// meshed, as an ASCII STL. A region that holds nothing (no face meets the
// ball, or a null shape) still writes both files: an empty compound and an
// STL without facets. Prints "Start Writing STL 5555555." before the STL and
// "aaa" once both files are written. A radius that is not a positive finite
// number gives a diagnostic on standard error, false, and no file.
bool extractSphereRegion(const gp_Pnt& centre, double radius, const TopoDS_Shape& shape,
                         const std::string& brepPath, const std::string& stlPath);

} // namespace orvane
