#pragma once

#include "app/CheckedFile.h"
#include "geometry/CoordinateFile.h"
#include "geometry/MeshFiles.h"

#include <optional>
#include <string>
#include <vector>

namespace orvane {

// Writes an ASCII STL file facet by facet, with the bytes OpenCASCADE's STL
// writer gives for the same triangles: "solid " first; per facet the unit
// normal of (b - a) x (c - a), zero for a degenerate triangle, and the three
// corners, each number as printf's "% 12e" in the C locale; "endsolid" last.
// The numbers are formatted by std::to_chars, which is exact like printf,
// three times faster and blind to the process locale: the import writes
// eleven million of them for the 4,000-face benchmark model. Every write is
// checked, so a full disk is reported, not found later in a short file.
class AsciiStlWriter {
public:
    // Creates or truncates the file; a failure is reported by finish.
    explicit AsciiStlWriter(const std::string& path);

    void addFacet(const Point3& a, const Point3& b, const Point3& c);

    // Writes the rest and closes the file: nothing when every byte was
    // written, else what went wrong ("the STL writer failed: ...").
    std::optional<std::string> finish();

private:
    CheckedFile file_;
};

// The faces' triangles as one ASCII STL file, in the order and orientation
// OpenCASCADE's writer gives the shape they come from (see meshFaces): a
// reversed face's triangles turn the other way, an untriangulated face adds
// nothing. Nothing when the file is whole, else what went wrong; a failed
// file is left as far as it got, so write to a temporary (writeExport).
std::optional<std::string> writeAsciiStl(const std::vector<MeshFace>& faces, const std::string& path);

} // namespace orvane
