#include "model/EntityRules.h"

#include "channel/ReplyText.h"

#include <algorithm>
#include <cmath>

namespace orvane {

namespace {

double distance(const Point3& a, const Point3& b) {
    const double dx = a[0] - b[0];
    const double dy = a[1] - b[1];
    const double dz = a[2] - b[2];
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

} // namespace

ForceParameters forceParameters(const std::array<double, 6>& components) {
    const double magnitude = std::sqrt(components[0] * components[0] + components[1] * components[1] +
                                       components[2] * components[2]);
    ForceParameters parameters{sixDigits(magnitude), std::nullopt};
    if (std::isfinite(magnitude) && magnitude > 0.0) {
        parameters.direction =
            Point3{components[0] / magnitude, components[1] / magnitude, components[2] / magnitude};
    }
    return parameters;
}

Capture captureWithinRadius(const std::vector<GaussPoint>& gaussPoints, const Point3& centre, double radius) {
    Capture capture;
    for (const GaussPoint& point : gaussPoints) {
        const Point3 p{point.x, point.y, point.z};
        if (distance(p, centre) <= radius) {
            capture.points.push_back(p);
            if (std::find(capture.faceIds.begin(), capture.faceIds.end(), point.faceIndex) ==
                capture.faceIds.end()) {
                capture.faceIds.push_back(point.faceIndex);
            }
        }
    }
    return capture;
}

std::vector<int> judgeSelection(const Point3& picked, const std::vector<Point3>& points, const Point3& normal,
                                double radius) {
    std::vector<int> selected;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const Point3& p = points[i];
        const double along =
            (picked[0] - p[0]) * normal[0] + (picked[1] - p[1]) * normal[1] + (picked[2] - p[2]) * normal[2];
        if (-5.0 < along && along < 5.0 && distance(p, picked) < radius) {
            selected.push_back(static_cast<int>(i));
        }
    }
    return selected;
}

std::vector<Point3> beamMeshNodes(double segments, double length, const std::array<int, 3>& axisFlags,
                                  const Point3& start) {
    std::vector<Point3> nodes;
    const auto axis =
        static_cast<std::size_t>(std::find(axisFlags.begin(), axisFlags.end(), 1) - axisFlags.begin());
    if (!(segments > 0.0) || axis > 2 || !std::isfinite(segments) || segments > 1e7) {
        return nodes;
    }
    const double step = length / segments;
    const auto moved = [&](double distance) {
        Point3 p = start;
        p[axis] += distance;
        return p;
    };
    for (int i = 0; i < segments; ++i) {
        if (i == 0) {
            nodes.push_back(start);
            nodes.push_back(moved(step));
        } else {
            nodes.push_back(moved(step * (i + 1)));
        }
    }
    return nodes;
}

std::vector<Point3> spacedPoints(const Point3& first, const Point3& last, int count, int divisor) {
    std::vector<Point3> points;
    if (divisor < 1) {
        return points;
    }
    for (int k = 0; k < count; ++k) {
        const double t = static_cast<double>(k) / divisor;
        points.push_back({first[0] + t * (last[0] - first[0]), first[1] + t * (last[1] - first[1]),
                          first[2] + t * (last[2] - first[2])});
    }
    return points;
}

std::optional<std::vector<Point3>> straightBeamNodes(const Point3& start, const Point3& end, int segments) {
    if (segments < 1) {
        return std::nullopt;
    }
    return spacedPoints(start, end, segments + 1, segments);
}

} // namespace orvane
