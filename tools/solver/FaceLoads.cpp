#include "FaceLoads.h"

#include <cmath>

namespace orvane::solver {

namespace {

using Vec = std::array<double, 3>;

Vec sub(const Vec& a, const Vec& b) {
    return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}
Vec cross(const Vec& a, const Vec& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
double norm(const Vec& a) {
    return std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
}

// Three-point rule of degree 2 on the triangle (area coordinates).
constexpr double quadrature[3][3] = {
    {2.0 / 3.0, 1.0 / 6.0, 1.0 / 6.0}, {1.0 / 6.0, 2.0 / 3.0, 1.0 / 6.0}, {1.0 / 6.0, 1.0 / 6.0, 2.0 / 3.0}};

struct QuadraturePoint {
    Vec position;
    double weight;             // area share
    std::vector<double> shape; // one per triangle node
};

// The patch's triangles are taken as flat between their corners.
template <typename Visit> void forEachPoint(const Points& nodes, const SurfacePatch& patch, Visit visit) {
    for (const auto& triangle : patch.triangles) {
        const Vec& a = nodes[static_cast<std::size_t>(triangle[0] - 1)];
        const Vec& b = nodes[static_cast<std::size_t>(triangle[1] - 1)];
        const Vec& c = nodes[static_cast<std::size_t>(triangle[2] - 1)];
        const double area = 0.5 * norm(cross(sub(b, a), sub(c, a)));
        for (const auto& l : quadrature) {
            QuadraturePoint point;
            for (int d = 0; d < 3; ++d) {
                const auto k = static_cast<std::size_t>(d);
                point.position[k] = l[0] * a[k] + l[1] * b[k] + l[2] * c[k];
            }
            point.weight = area / 3.0;
            if (triangle.size() == 6) {
                point.shape = {l[0] * (2 * l[0] - 1), l[1] * (2 * l[1] - 1), l[2] * (2 * l[2] - 1),
                               4 * l[0] * l[1],       4 * l[1] * l[2],       4 * l[2] * l[0]};
            } else {
                point.shape = {l[0], l[1], l[2]};
            }
            visit(triangle, point);
        }
    }
}

// Solves the symmetric 3x3 system m x = b by Cramer's rule.
bool solve3(const double m[3][3], const Vec& b, Vec& x) {
    const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                       m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                       m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    if (!(std::fabs(det) > 0.0)) {
        return false;
    }
    for (int col = 0; col < 3; ++col) {
        double t[3][3];
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c) {
                t[r][c] = c == col ? b[static_cast<std::size_t>(r)] : m[r][c];
            }
        }
        x[static_cast<std::size_t>(col)] = (t[0][0] * (t[1][1] * t[2][2] - t[1][2] * t[2][1]) -
                                            t[0][1] * (t[1][0] * t[2][2] - t[1][2] * t[2][0]) +
                                            t[0][2] * (t[1][0] * t[2][1] - t[1][1] * t[2][0])) /
                                           det;
    }
    return true;
}

} // namespace

PatchProperties patchProperties(const Points& nodes, const SurfacePatch& patch) {
    PatchProperties p;
    Vec moment{};
    forEachPoint(nodes, patch, [&](const std::vector<int>&, const QuadraturePoint& q) {
        p.area += q.weight;
        for (std::size_t k = 0; k < 3; ++k) {
            moment[k] += q.weight * q.position[k];
        }
    });
    if (p.area > 0.0) {
        for (std::size_t k = 0; k < 3; ++k) {
            p.centroid[k] = moment[k] / p.area;
        }
    }
    return p;
}

std::vector<std::array<double, 3>> consistentNodalForces(const Points& nodes, const SurfacePatch& patch,
                                                         const std::array<double, 3>& force,
                                                         const std::array<double, 3>& moment,
                                                         const std::array<double, 3>& about) {
    const PatchProperties p = patchProperties(nodes, patch);
    if (!(p.area > 0.0)) {
        return {};
    }
    // The moment about the centroid g: M_g = M + (about - g) x F. The linear
    // part t = a x r (r from g) has no resultant and the moment J a, with
    // J = integral of (r.r I - r r^T).
    const Vec momentAtCentroid = [&] {
        const Vec shift = cross(sub(about, p.centroid), force);
        return Vec{moment[0] + shift[0], moment[1] + shift[1], moment[2] + shift[2]};
    }();
    double inertia[3][3] = {};
    forEachPoint(nodes, patch, [&](const std::vector<int>&, const QuadraturePoint& q) {
        const Vec r = sub(q.position, p.centroid);
        const double rr = r[0] * r[0] + r[1] * r[1] + r[2] * r[2];
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) {
                inertia[i][j] += q.weight * ((i == j ? rr : 0.0) -
                                             r[static_cast<std::size_t>(i)] * r[static_cast<std::size_t>(j)]);
            }
        }
    });
    Vec a{};
    if (norm(momentAtCentroid) > 0.0 && !solve3(inertia, momentAtCentroid, a)) {
        return {};
    }
    std::vector<std::array<double, 3>> result(nodes.size(), Vec{});
    forEachPoint(nodes, patch, [&](const std::vector<int>& triangle, const QuadraturePoint& q) {
        const Vec linear = cross(a, sub(q.position, p.centroid));
        for (std::size_t n = 0; n < triangle.size(); ++n) {
            auto& f = result[static_cast<std::size_t>(triangle[n] - 1)];
            for (std::size_t k = 0; k < 3; ++k) {
                f[k] += q.weight * q.shape[n] * (force[k] / p.area + linear[k]);
            }
        }
    });
    return result;
}

} // namespace orvane::solver
