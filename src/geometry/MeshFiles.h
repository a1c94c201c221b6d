#pragma once

#include "geometry/CoordinateFile.h"

#include <array>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace orvane {

// The triangulation of one face as the mesher stored it.
struct MeshFace {
    bool triangulated = false;
    std::vector<Point3> nodes;
    // Node indices, 1-based within the face.
    std::vector<std::array<int, 3>> triangles;
    // The face lies reversed in its shape: its triangles face the other way.
    bool reversed = false;
};

// The text before the last '.' of the path (even when that dot belongs to a
// directory name), or the whole path when it has no dot.
std::string pointTriangleBase(const std::string& stlPath);

// The number as a default-formatted C++ stream writes it ("%g" with six
// significant digits), whatever the process locale: 0.00001 gives "1e-05".
std::string formatStreamDefault(double value);

// Writes base + ".pts" (one "X Y Z" line per node, faces in order) and
// base + ".tri" (one "a b c" line per triangle, node indices counted over the
// whole file from 1). A face that was not triangulated prints
// "triFace is Null" on console and contributes nothing. Each file is written
// to a temporary sibling and renamed into place, so none is ever left
// half-written; a target that is not a regular file is never replaced. On
// failure a diagnostic goes to standard error and false is
// returned.
bool writePointTriangleFiles(const std::string& base, const std::vector<MeshFace>& faces,
                             std::ostream& console);

// Calls write with the path of a temporary sibling of path (a
// TemporarySibling, app/TemporarySibling.h) and, if it returns true, renames
// that file over path. A path holding a control
// character, or naming something other than a regular file (a directory,
// FIFO or device), is refused before anything is written. On failure the temporary file is
// removed, path is left as it was and false is returned; write reports its
// own errors, errors of the rename go to diagnostics.
bool writeFileReplacing(const std::string& path,
                        const std::function<bool(const std::string& temporaryPath)>& write,
                        std::ostream& diagnostics);

} // namespace orvane
