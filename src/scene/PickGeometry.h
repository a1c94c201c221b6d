#pragma once

#include <array>
#include <optional>
#include <vector>

namespace orvane {

using Point3 = std::array<double, 3>;

// A picked point is accepted when it agrees with the known point after every
// coordinate has been truncated toward zero.
bool agreesWhenTruncated(const Point3& picked, const Point3& known);

// Indices of the known points closer than `tolerance` to `position`, in order.
std::vector<int> pointsWithin(const Point3& position, const std::vector<Point3>& known, double tolerance);

// The rotation that turns the arrow's own axis (1, 0, 0) onto `direction`.
// For the opposite direction the axis is (0, 0, 1); a zero or non-finite
// direction has no rotation.
struct AxisRotation {
    double angleDegrees = 0.0;
    Point3 axis{0.0, 0.0, 0.0};
};
std::optional<AxisRotation> rotationFromXAxis(const Point3& direction);

// Where the infinite line point + s * direction crosses the triangle a b c:
// true with s in `along` when it meets the triangle, edges and corners
// included; false for a line parallel to the triangle's plane.
bool lineCrossesTriangle(const double point[3], const double direction[3], const double a[3],
                         const double b[3], const double c[3], double& along);

} // namespace orvane
