#pragma once

#include "geometry/GaussPoint.h"

#include <TopoDS_Shape.hxx>

#include <string>
#include <vector>

namespace orvane {

// Writes the face as a BRep file. Prints "Successfully saved face to PATH"
// on standard output, or "Failed to save face to PATH" on standard error and
// returns false (a null shape, an unwritable path; the file is then left as
// it was).
bool writeFaceBrep(const TopoDS_Shape& face, const std::string& path);

// The points of a coordinate file (see readCoordinateFile), each tagged with
// faceIndex. A file that does not open gives no points and a diagnostic.
std::vector<GaussPoint> readGaussPoints(const std::string& path, int faceIndex);

} // namespace orvane
