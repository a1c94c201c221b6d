#include "model/EntityRules.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

TEST(EntityRules, ForceComponentsGiveLabelAndUnitDirection) {
    const orvane::ForceParameters down = orvane::forceParameters({0, 0, -100, 0, 0, 0});
    EXPECT_EQ(down.labelText, "100.000000");
    ASSERT_TRUE(down.direction);
    EXPECT_EQ(*down.direction, (orvane::Point3{0, 0, -1}));

    const orvane::ForceParameters oblique = orvane::forceParameters({3, 4, 0, 7, 8, 9});
    EXPECT_EQ(oblique.labelText, "5.000000");
    EXPECT_DOUBLE_EQ((*oblique.direction)[0], 0.6);
    EXPECT_DOUBLE_EQ((*oblique.direction)[1], 0.8);
}

TEST(EntityRules, AForceWithoutMagnitudeHasNoDirection) {
    const orvane::ForceParameters moment = orvane::forceParameters({0, 0, 0, 1, 0, 0});
    EXPECT_EQ(moment.labelText, "0.000000");
    EXPECT_FALSE(moment.direction);
    EXPECT_FALSE(orvane::forceParameters({std::numeric_limits<double>::max(), 1e308, 0, 0, 0, 0}).direction);
}

TEST(EntityRules, CaptureIncludesTheRadiusAndListsEachFaceOnce) {
    const std::vector<orvane::GaussPoint> points{
        {4, 10, 0, 0}, {4, 0, 10, 0}, {2, 10.0001, 0, 0}, {7, 0, 0, 3}, {4, -6, 0, 0}};
    const orvane::Capture capture = orvane::captureWithinRadius(points, {0, 0, 0}, 10.0);
    EXPECT_EQ(capture.faceIds, (std::vector<int32_t>{4, 7}));
    EXPECT_EQ(capture.points, (std::vector<orvane::Point3>{{10, 0, 0}, {0, 10, 0}, {0, 0, 3}, {-6, 0, 0}}));
    EXPECT_TRUE(orvane::captureWithinRadius({}, {0, 0, 0}, 10.0).faceIds.empty());
}

TEST(EntityRules, JudgeKeepsPointsNearThePlaneAndInsideTheRadius) {
    const std::vector<orvane::Point3> points{{0, 0, 0},    {0, 0, 5},  {0, 0, 4.9},
                                             {29.9, 0, 0}, {30, 0, 0}, {0, 0, -4.99}};
    EXPECT_EQ(orvane::judgeSelection({0, 0, 0}, points, {0, 0, 1}, 30.0), (std::vector<int>{0, 2, 3, 5}));
    EXPECT_TRUE(orvane::judgeSelection({0, 0, 0}, {}, {0, 0, 1}, 30.0).empty());
}

TEST(EntityRules, StraightBeamsIncludeBothEnds) {
    const auto nodes = orvane::straightBeamNodes({0, 0, 0}, {8, 0, 4}, 4);
    ASSERT_TRUE(nodes);
    EXPECT_EQ(*nodes, (std::vector<orvane::Point3>{{0, 0, 0}, {2, 0, 1}, {4, 0, 2}, {6, 0, 3}, {8, 0, 4}}));
    EXPECT_FALSE(orvane::straightBeamNodes({0, 0, 0}, {1, 0, 0}, 0));
    EXPECT_FALSE(orvane::straightBeamNodes({0, 0, 0}, {1, 0, 0}, -3));
}

TEST(EntityRules, LinePointsStopBeforeTheEnd) {
    std::vector<double> xs;
    for (const auto& p : orvane::spacedPoints({0, 0, 0}, {4, 0, 0}, 4, 4)) {
        xs.push_back(p[0]);
    }
    EXPECT_EQ(xs, (std::vector<double>{0, 1, 2, 3}));
    xs.clear();
    for (const auto& p : orvane::spacedPoints({0, 0, 0}, {4, 0, 0}, 5, 5)) {
        xs.push_back(p[0]);
    }
    ASSERT_EQ(xs.size(), 5u);
    EXPECT_DOUBLE_EQ(xs[1], 0.8);
    EXPECT_DOUBLE_EQ(xs[4], 3.2);
    EXPECT_TRUE(orvane::spacedPoints({0, 0, 0}, {4, 0, 0}, 3, 0).empty());
}

TEST(EntityRules, BeamMeshNodesRunAlongTheFlaggedAxis) {
    EXPECT_EQ(orvane::beamMeshNodes(4, 100, {1, 0, 0}, {0, 0, 0}),
              (std::vector<orvane::Point3>{{0, 0, 0}, {25, 0, 0}, {50, 0, 0}, {75, 0, 0}, {100, 0, 0}}));
    EXPECT_EQ(orvane::beamMeshNodes(2, 10, {0, 0, 1}, {1, 1, 1}),
              (std::vector<orvane::Point3>{{1, 1, 1}, {1, 1, 6}, {1, 1, 11}}));
    EXPECT_EQ(orvane::beamMeshNodes(1, 10, {0, 1, 1}, {0, 0, 0}),
              (std::vector<orvane::Point3>{{0, 0, 0}, {0, 10, 0}}))
        << "the first flagged axis";
    EXPECT_TRUE(orvane::beamMeshNodes(0, 10, {1, 0, 0}, {0, 0, 0}).empty());
    EXPECT_TRUE(orvane::beamMeshNodes(-2, 10, {1, 0, 0}, {0, 0, 0}).empty());
    EXPECT_TRUE(orvane::beamMeshNodes(4, 10, {0, 2, 0}, {0, 0, 0}).empty());
    EXPECT_EQ(orvane::beamMeshNodes(2.5, 10, {1, 0, 0}, {0, 0, 0}).size(), 4u);
}
