// The ASCII STL writer on its own: the layout, every kind of number printf
// formats, normals of plain and degenerate triangles, and write failures.
// Its bytes against OpenCASCADE's writer on real meshes: shape_files_test.

#include "geometry/AsciiStl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;
using orvane::Point3;

namespace {

// Like the view, adopt the environment's locale (a comma-decimal pass runs too).
const bool localeAdopted = [] {
    std::setlocale(LC_ALL, "");
    return true;
}();

// What OpenCASCADE's writer prints for a number, which is a space and
// printf's "% 12e" in the C locale: printf here, with the decimal comma of
// the test's locale put back.
std::string printed(double value) {
    char text[64];
    std::snprintf(text, sizeof text, " % 12e", value);
    std::string result = text;
    std::replace(result.begin(), result.end(), ',', '.');
    return result;
}

std::string facetText(const Point3& normal, const Point3& a, const Point3& b, const Point3& c) {
    std::string text = " facet normal";
    for (double v : normal) {
        text += printed(v);
    }
    text += "\n   outer loop\n";
    for (const Point3* corner : {&a, &b, &c}) {
        text += "     vertex";
        for (double v : *corner) {
            text += printed(v);
        }
        text += "\n";
    }
    return text + "   endloop\n endfacet\n";
}

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

} // namespace

TEST(AsciiStl, FacetsAreWrittenAsOpenCascadePrintsThem) {
    ASSERT_TRUE(localeAdopted);
    const fs::path path =
        fs::temp_directory_path() / ("orvane-ascii-stl-" + std::to_string(::getpid()) + ".stl");
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    // Ties at the seventh digit (1234567.5 is exact), carries into the
    // exponent, subnormals, the extremes, negative zero, three-digit
    // exponents, and what is no number at all.
    const std::vector<double> numbers = {
        0.0,     -0.0,     1234567.5, 1234568.5,  9.9999995, -9.99999951, 1e-5, -1e-5, DBL_MIN, 4.9e-324,
        DBL_MAX, -DBL_MAX, 1e100,     123.456789, -0.1,      inf,         -inf, nan,   2.5e-7,  99999995.0};
    // A right angle in the plane z = 5, both ways round; a face without
    // triangles; every number in a corner of a triangle collapsed to a point,
    // whose normal is zero; and enough facets to fill the buffer more than once.
    const std::vector<Point3> rightAngle = {{0, 0, 5}, {2, 0, 5}, {0, 3, 5}};
    orvane::MeshFace up{true, rightAngle, {{1, 2, 3}}};
    orvane::MeshFace down = up;
    down.reversed = true;
    orvane::MeshFace points{true, {}, {}};
    for (std::size_t i = 0; i + 2 < numbers.size(); ++i) {
        points.nodes.push_back({numbers[i], numbers[i + 1], numbers[i + 2]});
        const int node = static_cast<int>(points.nodes.size());
        points.triangles.push_back({node, node, node});
    }
    orvane::MeshFace many{true, {}, {}};
    for (int i = 0; i < 5000; ++i) {
        const double x = i * 0.001;
        many.nodes.insert(many.nodes.end(), {{x, 0, 0}, {x, 1, 0}, {x, 0, 1}});
        many.triangles.push_back({3 * i + 1, 3 * i + 2, 3 * i + 3});
    }
    ASSERT_EQ(orvane::writeAsciiStl({up, down, orvane::MeshFace{}, points, many}, path.string()),
              std::nullopt);

    std::string expected = "solid \n" + facetText({0, 0, 1}, rightAngle[0], rightAngle[1], rightAngle[2]) +
                           facetText({0, 0, -1}, rightAngle[0], rightAngle[2], rightAngle[1]);
    for (const Point3& point : points.nodes) {
        expected += facetText({0, 0, 0}, point, point, point);
    }
    for (int i = 0; i < 5000; ++i) {
        const double x = i * 0.001;
        expected += facetText({1, 0, 0}, {x, 0, 0}, {x, 1, 0}, {x, 0, 1});
    }
    expected += "endsolid\n";
    const std::string actual = slurp(path);
    fs::remove(path);
    std::istringstream actualLines(actual);
    std::istringstream expectedLines(expected);
    int line = 0;
    for (std::string got, want; std::getline(expectedLines, want); ++line) {
        ASSERT_TRUE(std::getline(actualLines, got)) << "line " << line;
        ASSERT_EQ(got, want) << "line " << line;
    }
    EXPECT_EQ(actual.size(), expected.size());
}

TEST(AsciiStl, BadTrianglesAndFailedWritesAreReported) {
    // A triangle past its face's nodes (they are counted per face) is refused, not read.
    const fs::path path = fs::temp_directory_path() / ("orvane-faces-" + std::to_string(::getpid()) + ".stl");
    const orvane::MeshFace triangle{true, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}, {{1, 2, 3}}};
    const orvane::MeshFace overreaching{true, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}, {{1, 2, 4}}};
    EXPECT_EQ(orvane::writeAsciiStl({triangle, overreaching}, path.string()),
              "a triangle refers to node 4 of 3");
    const orvane::MeshFace zero{true, {{0, 0, 0}}, {{0, 1, 1}}};
    EXPECT_EQ(orvane::writeAsciiStl({zero}, path.string()), "a triangle refers to node 0 of 1");
    fs::remove(path);

    orvane::AsciiStlWriter missing("/nonexistent-directory/a.stl");
    missing.addFacet({0, 0, 0}, {1, 0, 0}, {0, 1, 0});
    const std::optional<std::string> refused = missing.finish();
    ASSERT_TRUE(refused);
    EXPECT_NE(refused->find("the STL writer failed: cannot create the file: "), std::string::npos)
        << *refused;

    if (!fs::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full";
    }
    orvane::AsciiStlWriter full("/dev/full");
    for (int i = 0; i < 10000; ++i) {
        full.addFacet({0, 0, 0}, {1, 0, 0}, {0, 1, 0});
    }
    const std::optional<std::string> problem = full.finish();
    ASSERT_TRUE(problem);
    EXPECT_NE(problem->find("cannot write the file: " + std::string(std::strerror(ENOSPC))),
              std::string::npos)
        << *problem;
}
