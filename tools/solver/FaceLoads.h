#pragma once

#include <array>
#include <vector>

namespace orvane::solver {

// Surface triangles of a face: 3 corner node ids, or 6 with the edge nodes
// (0-1, 1-2, 2-0) after the corners.
struct SurfacePatch {
    std::vector<std::vector<int>> triangles;
};

struct PatchProperties {
    double area = 0.0;
    std::array<double, 3> centroid{};
};

using Points = std::vector<std::array<double, 3>>; // node id k + 1 is points[k]

PatchProperties patchProperties(const Points& nodes, const SurfacePatch& patch);

// Consistent nodal forces (indexed by node id - 1, zero where the patch has
// no node) of a traction spread over the patch whose resultant is `force`
// and whose moment about `about` is `moment`: a uniform part for the force
// and a part varying linearly with the distance from the patch's centroid
// for the moment. Returns an empty list for a patch without area.
std::vector<std::array<double, 3>> consistentNodalForces(const Points& nodes, const SurfacePatch& patch,
                                                         const std::array<double, 3>& force,
                                                         const std::array<double, 3>& moment,
                                                         const std::array<double, 3>& about);

} // namespace orvane::solver
