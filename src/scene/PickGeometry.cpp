#include "scene/PickGeometry.h"

#include <algorithm>
#include <cmath>

namespace orvane {

bool agreesWhenTruncated(const Point3& picked, const Point3& known) {
    for (std::size_t i = 0; i < 3; ++i) {
        if (std::trunc(picked[i]) != std::trunc(known[i])) {
            return false;
        }
    }
    return true;
}

std::vector<int> pointsWithin(const Point3& position, const std::vector<Point3>& known, double tolerance) {
    std::vector<int> indices;
    for (std::size_t i = 0; i < known.size(); ++i) {
        const double dx = known[i][0] - position[0];
        const double dy = known[i][1] - position[1];
        const double dz = known[i][2] - position[2];
        if (std::sqrt(dx * dx + dy * dy + dz * dz) < tolerance) {
            indices.push_back(static_cast<int>(i));
        }
    }
    return indices;
}

std::optional<AxisRotation> rotationFromXAxis(const Point3& direction) {
    const double length =
        std::sqrt(direction[0] * direction[0] + direction[1] * direction[1] + direction[2] * direction[2]);
    if (!std::isfinite(length) || length == 0.0) {
        return std::nullopt;
    }
    constexpr double pi = 3.14159265358979323846;
    const double cosine = std::clamp(direction[0] / length, -1.0, 1.0);
    AxisRotation rotation;
    rotation.angleDegrees = std::acos(cosine) * 180.0 / pi;
    // (1, 0, 0) x n
    rotation.axis = {0.0, -direction[2], direction[1]};
    if (rotation.axis[1] == 0.0 && rotation.axis[2] == 0.0 && cosine < 0.0) {
        rotation.axis = {0.0, 0.0, 1.0};
    }
    return rotation;
}

bool lineCrossesTriangle(const double point[3], const double direction[3], const double a[3],
                         const double b[3], const double c[3], double& along) {
    // Moller-Trumbore, with the barycentric bounds relaxed by a few rounding
    // steps so that a line through a shared edge meets both triangles.
    constexpr double slack = 1e-9;
    const auto sub = [](const double* u, const double* v) {
        return Point3{u[0] - v[0], u[1] - v[1], u[2] - v[2]};
    };
    const auto cross = [](const Point3& u, const Point3& v) {
        return Point3{u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
    };
    const auto dot = [](const Point3& u, const Point3& v) { return u[0] * v[0] + u[1] * v[1] + u[2] * v[2]; };
    const Point3 edge1 = sub(b, a);
    const Point3 edge2 = sub(c, a);
    const Point3 dir{direction[0], direction[1], direction[2]};
    const Point3 h = cross(dir, edge2);
    const double det = dot(edge1, h);
    const double scale = std::sqrt(dot(edge1, edge1) * dot(edge2, edge2) * dot(dir, dir));
    if (!(std::abs(det) > 1e-12 * scale)) {
        return false;
    }
    const Point3 s = sub(point, a);
    const double u = dot(s, h) / det;
    if (u < -slack || u > 1.0 + slack) {
        return false;
    }
    const Point3 q = cross(s, edge1);
    const double v = dot(dir, q) / det;
    if (v < -slack || u + v > 1.0 + slack) {
        return false;
    }
    along = dot(edge2, q) / det;
    return true;
}

} // namespace orvane
