#include "results/GridFileChecks.h"
#include "results/ResultCalculations.h"
#include "results/ResultFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

namespace {

using orvane::Colour;

TEST(ResultFiles, EigenvalueLines) {
    std::istringstream text("Eigenvalues\n"
                            "Mode 1: 6168.5\r\n"
                            "12.5\n"
                            "Mode 2:   2.5e3 rad^2/s^2\n"
                            "Mode 3: n/a\n"
                            "a:b: 7\n"
                            "Mode 4:\n");
    const orvane::EigenvalueText parsed = orvane::parseEigenvalueText(text);
    // A line without a colon is skipped; the text after the first colon is
    // read as a stream reads a double, trailing words ignored.
    EXPECT_EQ(parsed.values, (std::vector<double>{6168.5, 2500.0}));
    EXPECT_EQ(parsed.unparsed, (std::vector<std::string>{" n/a", "b: 7", ""}));
}

TEST(ResultFiles, LineMeshSectionsInEitherOrder) {
    std::istringstream linesFirst("title\n$line\n0 1\n1 2\nx y\n2 7\n\n5 5\n"
                                  "$Points\n0 0 0\n1 0 0\n2 0.5 0\nnot a point\n$End\n3 3 3\n");
    const orvane::LineMesh mesh = orvane::parseLineMesh(linesFirst);
    EXPECT_EQ(mesh.points, (std::vector<orvane::Point3>{{0, 0, 0}, {1, 0, 0}, {2, 0.5, 0}}));
    // "5 5" stands after the empty line that ended the section; "2 7" names
    // a point the file does not have.
    EXPECT_EQ(mesh.lines, (std::vector<std::array<std::int64_t, 2>>{{0, 1}, {1, 2}}));
    EXPECT_EQ(mesh.invalidLines, 1);

    std::istringstream pointsFirst("$Points\n0 0 0\n1 0 0\n2 0.5 0\n$line\n0 1\n1 2\n");
    const orvane::LineMesh same = orvane::parseLineMesh(pointsFirst);
    EXPECT_EQ(same.points, mesh.points);
    EXPECT_EQ(same.lines, mesh.lines);
}

TEST(ResultFiles, StressIndexAndValues) {
    std::istringstream indexText("2\n0.9\n\nnot a number\n1.0\n");
    const orvane::StressIndex index = orvane::parseStressIndex(indexText);
    EXPECT_EQ(index.points, (std::vector<std::int64_t>{2, 0, 1}));
    EXPECT_EQ(index.skippedLines, 2);

    std::istringstream valuesText("5 6\n7 x 9");
    const std::vector<double> values = orvane::parseNumbers(valuesText);
    EXPECT_EQ(values, (std::vector<double>{5, 6, 7}));

    const orvane::StressField field = orvane::assignStressValues(index.points, values, 3);
    EXPECT_EQ(field.values, (std::vector<double>{6, 7, 5}));
    EXPECT_EQ(field.skippedIndices, 0);

    // Index 3 is outside both the index list and the points; a fifth value
    // has no index line; the point without a value holds 0.
    const orvane::StressField broken = orvane::assignStressValues({3, -1, 0}, {1, 2, 3, 4}, 4);
    EXPECT_EQ(broken.values, (std::vector<double>{3, 0, 0, 0}));
    EXPECT_EQ(broken.skippedIndices, 2);
    EXPECT_EQ(broken.surplusValues, 1);
}

TEST(ResultFiles, TrianglesCountFromOne) {
    const orvane::TriangleList list =
        orvane::trianglesFromOneBased({1, 2, 3, 3, 4, 1, 0, 1, 2, 1.5, 2, 3, 9}, 4);
    EXPECT_EQ(list.triangles, (std::vector<std::array<std::int64_t, 3>>{{0, 1, 2}, {2, 3, 0}}));
    EXPECT_EQ(list.skipped, 2);
}

TEST(ResultFiles, GridExtentsWithinTheLimit) {
    EXPECT_FALSE(orvane::gridExtentProblem({0, 9, 0, 9, 0, 9}, 1000));
    EXPECT_TRUE(orvane::gridExtentProblem({0, 10, 0, 9, 0, 9}, 1000));
    EXPECT_TRUE(orvane::gridExtentProblem({0, -1, 0, 9, 0, 9}, 1000));
}

// The legacy frame walk on hand-made frames (files VTK writes are checked
// in the view tests); also run under a comma-decimal locale.
TEST(ResultFiles, LegacyFrameStructure) {
    const auto frameProblem = [](const std::string& bytes) {
        std::istringstream in(bytes);
        return orvane::legacyVtkStructureProblem(in, bytes.size()).value_or("");
    };
    const std::string header = "# vtk DataFile Version 3.0\nx\nASCII\nDATASET POLYDATA\n";
    EXPECT_EQ(frameProblem(header + "POINTS 2 float\n0 0 0 1 1 x\n"),
              "POINTS holds 'x', not a value of type float");
    // Cells naming points the frame does not have: the mapper's bounds
    // would read beyond the points.
    const std::string triangle = header + "POINTS 3 float\n0 0 0 1 0 0 0 1 0\n";
    EXPECT_EQ(frameProblem(triangle + "POLYGONS 1 4\n3 0 1 2\n"), "");
    EXPECT_EQ(frameProblem(triangle + "POLYGONS 1 4\n3 0 1 7\nPOINT_DATA 3\n"), "a cell names point 7 of 3");
    EXPECT_EQ(frameProblem(triangle + "POLYGONS 1 4\n3 0 -1 2\n"), "POLYGONS names point -1");
    EXPECT_EQ(frameProblem(triangle + "POLYGONS 2 4\n3 0 1 2\n"),
              "POLYGONS cell 1 runs past the list's size");
    EXPECT_EQ(frameProblem(triangle + "LINES 1 3\n2 0 1\nCELL_DATA 2\n"),
              "CELL_DATA gives 2 values where the file has 1 cells");
    EXPECT_EQ(
        frameProblem(triangle + "POINT_DATA 3\nSCALARS s float\nLOOKUP_TABLE default\n0.5 -1e38 1e-3\n"), "");
    EXPECT_EQ(frameProblem(triangle + "POINT_DATA 3\nSCALARS s float\nLOOKUP_TABLE default\n0.5 1e39 1\n"),
              "SCALARS holds '1e39', not a value of type float");
    EXPECT_EQ(frameProblem(triangle + "POINT_DATA 3\nSCALARS s int\nLOOKUP_TABLE default\n1 2 2.5\n"),
              "SCALARS holds '2.5', not a value of type int");
    EXPECT_EQ(frameProblem(triangle + "POINT_DATA 3\nSCALARS s float\nLOOKUP_TABLE default\n1 2 3\nFIELD"),
              "FIELD has no name");
    // Counts declared far beyond what the file holds: the reader would
    // allocate for them before reading a value.
    const std::string binary = "# vtk DataFile Version 3.0\nx\nBINARY\nDATASET POLYDATA\n";
    for (const std::string& hostile :
         {std::string(
              "# vtk DataFile Version 3.0\nx\nASCII\nDATASET STRUCTURED_POINTS\nDIMENSIONS 100 100 100\n"),
          triangle + "POINT_DATA 3\nFIELD f 1\nstress 9 1000000000 float\n",
          triangle + "POINT_DATA 3\nSCALARS s float\nLOOKUP_TABLE t 100000\n",
          binary + "POINTS 999999999 float\n" + std::string(5000, '\x7f'),
          binary + "POINTS 1 float\n" + std::string(12, '\x7f') + "\nPOLYGONS 1 999999999\n"}) {
        EXPECT_NE(frameProblem(hostile), "") << hostile.substr(0, 120);
    }
}

TEST(ResultCalculations, RampsAndStops) {
    const auto blueToRed = orvane::blueToRedRamp(2.0, 6.0);
    const double positions[] = {2.0, 3.0, 4.0, 5.0, 6.0};
    const Colour colours[] = {{0, 0, 1}, {0, 1, 1}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0}};
    const auto redToBlue = orvane::redToBlueRamp(2.0, 6.0);
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_DOUBLE_EQ(blueToRed[i].position, positions[i]);
        EXPECT_EQ(blueToRed[i].colour, colours[i]);
        EXPECT_DOUBLE_EQ(redToBlue[i].position, positions[i]);
        EXPECT_EQ(redToBlue[i].colour, colours[4 - i]);
    }
    EXPECT_DOUBLE_EQ(orvane::divergingRamp(-228.129, 63.7251)[1].position, (-228.129 + 63.7251) * 0.5);

    EXPECT_EQ(orvane::evenStopPositions(2, 0, 12), (std::vector<double>{0, 12}));
    EXPECT_EQ(orvane::evenStopPositions(3, 0, 12), (std::vector<double>{0, 6, 12}));
    EXPECT_EQ(orvane::evenStopPositions(4, 0, 12), (std::vector<double>{0, 4, 8, 12}));
    EXPECT_EQ(orvane::evenStopPositions(5, 0, 12), (std::vector<double>{0, 3, 6, 9, 12}));
    EXPECT_TRUE(orvane::evenStopPositions(1, 0, 12).empty());
    EXPECT_TRUE(orvane::evenStopPositions(6, 0, 12).empty());
}

TEST(ResultCalculations, ExtremesKeepTheEarlierTie) {
    EXPECT_FALSE(orvane::scanExtremes({}).has_value());
    const orvane::Extremes first = *orvane::scanExtremes({5, 1, 5, 1});
    EXPECT_EQ(first.maxIndex, 0u);
    EXPECT_EQ(first.minIndex, 1u);
    EXPECT_EQ(first.max, 5);
    EXPECT_EQ(first.min, 1);
    const orvane::Extremes single = *orvane::scanExtremes({-2});
    EXPECT_EQ(single.maxIndex, 0u);
    EXPECT_EQ(single.minIndex, 0u);
}

TEST(ResultCalculations, DisplacementSplitAndFrequency) {
    const float tuples[] = {3, 4, 0, 0, 0, -2};
    double x[2], y[2], z[2], m[2];
    orvane::splitDisplacement(tuples, 2, 2.0, x, y, z, m);
    EXPECT_EQ(x[0], 6);
    EXPECT_EQ(y[0], 8);
    EXPECT_EQ(z[1], -4);
    EXPECT_EQ(m[0], 10);
    EXPECT_EQ(m[1], 4);
    EXPECT_NEAR(orvane::modeFrequency(4 * 6.2831852 * 6.2831852), 2.0, 1e-12);
}

// The fingerprint that tells one grid geometry from another: any changed
// byte, in the words of any lane or in the tail, and words that trade
// places change it; so does the length.
TEST(ResultCalculations, FingerprintChangesWithAnyByte) {
    std::vector<unsigned char> bytes(101);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<unsigned char>(i * 37 + 11);
    }
    const std::uint64_t original = orvane::fingerprintBytes(bytes.data(), bytes.size());
    EXPECT_EQ(orvane::fingerprintBytes(bytes.data(), bytes.size()), original);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::vector<unsigned char> changed = bytes;
        changed[i] ^= 1;
        ASSERT_NE(orvane::fingerprintBytes(changed.data(), changed.size()), original) << i;
    }
    std::vector<unsigned char> traded = bytes;
    std::swap_ranges(traded.begin(), traded.begin() + 8, traded.begin() + 8);
    EXPECT_NE(orvane::fingerprintBytes(traded.data(), traded.size()), original);
    EXPECT_NE(orvane::fingerprintBytes(bytes.data(), bytes.size() - 1), original);
}

} // namespace
