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

} // namespace orvane
