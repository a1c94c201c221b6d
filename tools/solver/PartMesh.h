#pragma once

#include "CalculixFiles.h"
#include "FaceLoads.h"

#include <TopoDS_Face.hxx>
#include <TopoDS_Shape.hxx>

#include <array>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace orvane::solver {

// The part's tetrahedral mesh with the surface of every face of the view.
struct PartMesh {
    TetMesh mesh;
    double elementSize = 0.0;
    // Indexed by the view's face index.
    std::vector<SurfacePatch> faces;
    std::vector<std::vector<int>> faceNodes;
    // Corner node ids of every surface triangle, for the part's STL.
    std::vector<std::array<int, 3>> surface;
};

// Meshes `shape` with Gmsh (element size `size`, 0 chooses one from the
// part; order 1 or 2) and finds each of `faces` among the mesh's surfaces by
// its area and centroid. nullopt with a message when meshing fails
// or a face is not found.
std::optional<PartMesh> meshPart(const TopoDS_Shape& shape, const std::vector<TopoDS_Face>& faces,
                                 double size, int order, int threads, std::ostream& log, std::string& error);

} // namespace orvane::solver
