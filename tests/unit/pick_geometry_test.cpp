#include "scene/PickGeometry.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(PickGeometry, PickAgreesWithKnownPointAfterTruncation) {
    EXPECT_TRUE(orvane::agreesWhenTruncated({10.9, 2.2, 3.0}, {10.1, 2.8, 3.9}));
    EXPECT_TRUE(orvane::agreesWhenTruncated({-0.9, 0.9, -0.1}, {0.5, 0.1, 0.0})) << "toward zero, not down";
    EXPECT_FALSE(orvane::agreesWhenTruncated({10.9, 2.2, 3.0}, {11.0, 2.2, 3.0}));
    EXPECT_FALSE(orvane::agreesWhenTruncated({-1.0, 0, 0}, {-0.99, 0, 0}));
}

TEST(PickGeometry, CoincidenceIsStrictlyBelowTheTolerance) {
    const std::vector<orvane::Point3> known{
        {0, 0, 0}, {0.005, 0, 0}, {0.01, 0, 0}, {1, 1, 1}, {0, 0.0099, 0}};
    EXPECT_EQ(orvane::pointsWithin({0, 0, 0}, known, 0.01), (std::vector<int>{0, 1, 4}));
    EXPECT_TRUE(orvane::pointsWithin({5, 5, 5}, known, 0.01).empty());
    EXPECT_TRUE(orvane::pointsWithin({0, 0, 0}, {}, 0.01).empty());
}

TEST(PickGeometry, ArrowAlongTheXAxisNeedsNoRotation) {
    const auto rotation = orvane::rotationFromXAxis({2, 0, 0});
    ASSERT_TRUE(rotation);
    EXPECT_DOUBLE_EQ(rotation->angleDegrees, 0.0);
}

TEST(PickGeometry, OppositeArrowTurnsHalfWayAboutAPerpendicularAxis) {
    const auto rotation = orvane::rotationFromXAxis({-1, 0, 0});
    ASSERT_TRUE(rotation);
    EXPECT_DOUBLE_EQ(rotation->angleDegrees, 180.0);
    EXPECT_EQ(rotation->axis, (orvane::Point3{0, 0, 1}));
}

TEST(PickGeometry, ObliqueArrowTurnsAboutTheCrossProduct) {
    const auto rotation = orvane::rotationFromXAxis({1, 1, 0});
    ASSERT_TRUE(rotation);
    EXPECT_NEAR(rotation->angleDegrees, 45.0, 1e-12);
    EXPECT_EQ(rotation->axis, (orvane::Point3{0, 0, 1}));

    const auto down = orvane::rotationFromXAxis({0, 0, -3});
    ASSERT_TRUE(down);
    EXPECT_NEAR(down->angleDegrees, 90.0, 1e-12);
    EXPECT_EQ(down->axis, (orvane::Point3{0, 3, 0}));
}

TEST(PickGeometry, ZeroDirectionHasNoRotation) {
    EXPECT_FALSE(orvane::rotationFromXAxis({0, 0, 0}));
    EXPECT_FALSE(orvane::rotationFromXAxis({NAN, 1, 0}));
}

TEST(PickGeometry, LineMeetsATriangleInsideOnItsEdgesAndNowhereElse) {
    const double a[3] = {0, 0, 0};
    const double b[3] = {2, 0, 0};
    const double c[3] = {0, 2, 0};
    const double down[3] = {0, 0, -1};
    double along = 0;
    const double above[3] = {0.5, 0.5, 3};
    ASSERT_TRUE(orvane::lineCrossesTriangle(above, down, a, b, c, along));
    EXPECT_DOUBLE_EQ(along, 3.0);
    // The line is infinite: a point behind the triangle meets it at a negative distance.
    const double below[3] = {0.5, 0.5, -1};
    ASSERT_TRUE(orvane::lineCrossesTriangle(below, down, a, b, c, along));
    EXPECT_DOUBLE_EQ(along, -1.0);
    // The shared edge x + y = 2 and a corner belong to the triangle.
    const double onEdge[3] = {1, 1, 1};
    EXPECT_TRUE(orvane::lineCrossesTriangle(onEdge, down, a, b, c, along));
    const double onCorner[3] = {2, 0, 1};
    EXPECT_TRUE(orvane::lineCrossesTriangle(onCorner, down, a, b, c, along));
    const double outside[3] = {1.01, 1.01, 1};
    EXPECT_FALSE(orvane::lineCrossesTriangle(outside, down, a, b, c, along));
    // A line in the triangle's plane does not cross it.
    const double sideways[3] = {1, 0, 0};
    EXPECT_FALSE(orvane::lineCrossesTriangle(above, sideways, a, b, c, along));
}
