#include "PartMesh.h"

#include <BRepGProp.hxx>
#include <GProp_GProps.hxx>
#include <gmsh.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <map>
#include <optional>
#include <ostream>

namespace orvane::solver {

namespace {

struct FaceSignature {
    double area = 0.0;
    std::array<double, 3> centroid{};
};

FaceSignature viewFaceSignature(const TopoDS_Face& face) {
    FaceSignature s;
    GProp_GProps props;
    BRepGProp::SurfaceProperties(face, props);
    s.area = props.Mass();
    const gp_Pnt c = props.CentreOfMass();
    s.centroid = {c.X(), c.Y(), c.Z()};
    return s;
}

FaceSignature gmshSurfaceSignature(int tag) {
    FaceSignature s;
    gmsh::model::occ::getMass(2, tag, s.area);
    gmsh::model::occ::getCenterOfMass(2, tag, s.centroid[0], s.centroid[1], s.centroid[2]);
    return s;
}

// Relative mismatch of two faces; about 0 for the same face.
double mismatch(const FaceSignature& a, const FaceSignature& b, double diagonal) {
    double d = std::fabs(a.area - b.area) / std::max(a.area, diagonal * diagonal * 1e-12);
    for (std::size_t k = 0; k < 3; ++k) {
        d += std::fabs(a.centroid[k] - b.centroid[k]) / diagonal;
    }
    return d;
}

struct GmshSession {
    GmshSession() { gmsh::initialize(); }
    ~GmshSession() { gmsh::finalize(); }
    GmshSession(const GmshSession&) = delete;
    GmshSession& operator=(const GmshSession&) = delete;
};

std::optional<PartMesh> meshInSession(const TopoDS_Shape& shape, const std::vector<TopoDS_Face>& faces,
                                      double size, int order, int threads, std::ostream& log,
                                      std::string& error) {
    gmsh::option::setNumber("General.Terminal", 0);
    gmsh::option::setNumber("General.NumThreads", threads);
    gmsh::model::add("part");
    const auto importStarted = std::chrono::steady_clock::now();
    gmsh::vectorpair imported;
    gmsh::model::occ::importShapesNativePointer(&shape, imported, true);
    gmsh::model::occ::synchronize();
    const double importSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - importStarted).count();
    gmsh::vectorpair volumes;
    gmsh::model::getEntities(volumes, 3);
    if (volumes.empty()) {
        error = "the STEP model holds no solid to mesh";
        return std::nullopt;
    }
    double xmin = 0, ymin = 0, zmin = 0, xmax = 0, ymax = 0, zmax = 0;
    gmsh::model::getBoundingBox(-1, -1, xmin, ymin, zmin, xmax, ymax, zmax);
    const double diagonal = std::hypot(xmax - xmin, ymax - ymin, zmax - zmin);
    PartMesh part;
    part.elementSize = size > 0.0 ? size : diagonal / 25.0;
    gmsh::option::setNumber("Mesh.MeshSizeMax", part.elementSize);
    gmsh::option::setNumber("Mesh.ElementOrder", order);
    // Edge nodes moved onto curved surfaces can turn a small element inside
    // out (CalculiX: "nonpositive jacobian"); straight edges never do.
    gmsh::option::setNumber("Mesh.SecondOrderLinear", 1);
    const auto started = std::chrono::steady_clock::now();
    gmsh::model::mesh::generate(3);
    const double meshingSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    // Tetrahedra first: only their nodes are numbered, so every node of the
    // deck belongs to an element.
    const int tetType = order == 1 ? 4 : 11;
    const int triangleType = order == 1 ? 2 : 9;
    std::vector<std::size_t> elementTags;
    std::vector<std::size_t> elementNodes;
    gmsh::model::mesh::getElementsByType(tetType, elementTags, elementNodes);
    if (elementTags.empty()) {
        error = "Gmsh made no tetrahedra of the part";
        return std::nullopt;
    }
    std::vector<std::size_t> nodeTags;
    std::vector<double> coordinates;
    std::vector<double> parametric;
    gmsh::model::mesh::getNodes(nodeTags, coordinates, parametric, -1, -1, false, false);
    std::map<std::size_t, std::size_t> position; // gmsh tag -> index in nodeTags
    for (std::size_t i = 0; i < nodeTags.size(); ++i) {
        position[nodeTags[i]] = i;
    }
    std::map<std::size_t, int> nodeId; // gmsh tag -> deck node id
    const auto idOf = [&](std::size_t tag) {
        const auto [it, added] = nodeId.try_emplace(tag, static_cast<int>(part.mesh.nodes.size() + 1));
        if (added) {
            const std::size_t i = position.at(tag);
            part.mesh.nodes.push_back({coordinates[3 * i], coordinates[3 * i + 1], coordinates[3 * i + 2]});
        }
        return it->second;
    };
    const std::size_t perTet = order == 1 ? 4 : 10;
    part.mesh.order = order;
    part.mesh.elements.reserve(elementTags.size());
    for (std::size_t e = 0; e < elementTags.size(); ++e) {
        std::vector<int> ids(perTet);
        for (std::size_t n = 0; n < perTet; ++n) {
            ids[n] = idOf(elementNodes[e * perTet + n]);
        }
        part.mesh.elements.push_back(order == 1 ? ids : calculixTet10FromGmsh(ids));
    }
    const auto knownId = [&](std::size_t tag) {
        const auto it = nodeId.find(tag);
        return it == nodeId.end() ? 0 : it->second;
    };

    gmsh::vectorpair surfaces;
    gmsh::model::getEntities(surfaces, 2);
    const std::size_t perTriangle = order == 1 ? 3 : 6;
    std::vector<SurfacePatch> patches(surfaces.size());
    std::vector<FaceSignature> meshSignatures(surfaces.size());
    for (std::size_t s = 0; s < surfaces.size(); ++s) {
        std::vector<std::size_t> tags;
        std::vector<std::size_t> nodes;
        gmsh::model::mesh::getElementsByType(triangleType, tags, nodes, surfaces[s].second);
        for (std::size_t t = 0; t < tags.size(); ++t) {
            std::vector<int> triangle(perTriangle);
            for (std::size_t n = 0; n < perTriangle; ++n) {
                triangle[n] = knownId(nodes[t * perTriangle + n]);
            }
            part.surface.push_back({triangle[0], triangle[1], triangle[2]});
            patches[s].triangles.push_back(std::move(triangle));
        }
        const PatchProperties p = patchProperties(part.mesh.nodes, patches[s]);
        meshSignatures[s] = {p.area, p.centroid};
    }

    // The mesh's own area and centroid of a surface find the candidate
    // cheaply; OpenCASCADE's exact ones decide when the mesh leaves a doubt
    // (a coarse mesh cuts the chords of curved faces).
    std::vector<std::optional<FaceSignature>> exactSignatures(surfaces.size());
    const auto exact = [&](std::size_t s) -> const FaceSignature& {
        if (!exactSignatures[s]) {
            exactSignatures[s] = gmshSurfaceSignature(surfaces[s].second);
        }
        return *exactSignatures[s];
    };
    part.faces.resize(faces.size());
    part.faceNodes.resize(faces.size());
    double worst = 0.0;
    std::vector<std::size_t> ranked(surfaces.size());
    for (std::size_t f = 0; f < faces.size(); ++f) {
        const FaceSignature wanted = viewFaceSignature(faces[f]);
        std::vector<double> cost(surfaces.size());
        for (std::size_t s = 0; s < surfaces.size(); ++s) {
            cost[s] = mismatch(wanted, meshSignatures[s], diagonal);
            ranked[s] = s;
        }
        std::sort(ranked.begin(), ranked.end(),
                  [&](std::size_t a, std::size_t b) { return cost[a] < cost[b]; });
        std::size_t best = surfaces.size();
        double bestMismatch = 0.0;
        const bool clear = !ranked.empty() && cost[ranked[0]] < 0.3 &&
                           (ranked.size() == 1 || cost[ranked[1]] > 3.0 * cost[ranked[0]]);
        if (clear) {
            best = ranked[0];
            bestMismatch = cost[best];
        } else {
            for (const std::size_t s : ranked) {
                const double m = mismatch(wanted, exact(s), diagonal);
                if (m <= 1e-3) {
                    best = s;
                    bestMismatch = m;
                    break;
                }
            }
        }
        if (best == surfaces.size()) {
            error = "face " + std::to_string(f) + " of the part has no matching surface in the mesh";
            return std::nullopt;
        }
        worst = std::max(worst, bestMismatch);
        part.faces[f] = patches[best];
        // The nodes of the face's triangles are all its nodes, edges included.
        for (const auto& triangle : part.faces[f].triangles) {
            part.faceNodes[f].insert(part.faceNodes[f].end(), triangle.begin(), triangle.end());
        }
        std::sort(part.faceNodes[f].begin(), part.faceNodes[f].end());
        part.faceNodes[f].erase(std::unique(part.faceNodes[f].begin(), part.faceNodes[f].end()),
                                part.faceNodes[f].end());
    }
    log << "mesh: " << part.mesh.nodes.size() << " nodes, " << part.mesh.elements.size() << " "
        << (order == 1 ? "C3D4" : "C3D10") << " elements, element size " << part.elementSize << ", "
        << volumes.size() << " solid(s), " << surfaces.size() << " surfaces; " << faces.size()
        << " faces of the view found (largest area and centroid mismatch " << worst << ")\n"
        << "Gmsh import " << importSeconds << " s, meshing " << meshingSeconds << " s\n";
    return part;
}

} // namespace

std::optional<PartMesh> meshPart(const TopoDS_Shape& shape, const std::vector<TopoDS_Face>& faces,
                                 double size, int order, int threads, std::ostream& log, std::string& error) {
    try {
        GmshSession session;
        return meshInSession(shape, faces, size, order, threads, log, error);
    } catch (const std::exception& e) {
        error = std::string("Gmsh failed: ") + e.what();
    } catch (const std::string& e) {
        error = "Gmsh failed: " + e;
    } catch (...) {
        error = "Gmsh failed";
    }
    std::string last;
    try {
        gmsh::logger::getLastError(last);
    } catch (...) {
    }
    if (!last.empty()) {
        error += ": " + last;
    }
    return std::nullopt;
}

} // namespace orvane::solver
