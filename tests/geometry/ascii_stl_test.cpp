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
    std::string expected = "solid \n";
    {
        orvane::AsciiStlWriter writer(path.string());
        // A right angle in the plane z = 5, both ways round, and a line.
        writer.addFacet({0, 0, 5}, {2, 0, 5}, {0, 3, 5});
        expected += facetText({0, 0, 1}, {0, 0, 5}, {2, 0, 5}, {0, 3, 5});
        writer.addFacet({0, 0, 5}, {0, 3, 5}, {2, 0, 5});
        expected += facetText({0, 0, -1}, {0, 0, 5}, {0, 3, 5}, {2, 0, 5});
        writer.addFacet({1, 1, 1}, {2, 2, 2}, {3, 3, 3});
        expected += facetText({0, 0, 0}, {1, 1, 1}, {2, 2, 2}, {3, 3, 3});
        // Every number in every corner; the normals of such corners are
        // whatever the arithmetic gives, so they are not compared.
        for (std::size_t i = 0; i + 2 < numbers.size(); ++i) {
            const Point3 a{numbers[i], 0.5, 0.25};
            const Point3 b{0.5, numbers[i + 1], 0.25};
            const Point3 c{0.25, 0.5, numbers[i + 2]};
            writer.addFacet(a, b, c);
            expected += facetText({0, 0, 0}, a, b, c);
        }
        // Enough facets to fill the buffer more than once.
        for (int i = 0; i < 5000; ++i) {
            const double x = i * 0.001;
            writer.addFacet({x, 0, 0}, {x, 1, 0}, {x, 0, 1});
            expected += facetText({1, 0, 0}, {x, 0, 0}, {x, 1, 0}, {x, 0, 1});
        }
        EXPECT_EQ(writer.finish(), std::nullopt);
    }
    expected += "endsolid\n";
    const std::string actual = slurp(path);
    fs::remove(path);
    // The facets with numbers in every corner: only their corner lines count.
    std::istringstream actualLines(actual);
    std::istringstream expectedLines(expected);
    int line = 0;
    for (std::string got, want; std::getline(expectedLines, want); ++line) {
        ASSERT_TRUE(std::getline(actualLines, got)) << "line " << line;
        if (want.rfind(" facet normal", 0) == 0 && line > 3 * 7 && line <= 3 * 7 + 18 * 7) {
            continue;
        }
        ASSERT_EQ(got, want) << "line " << line;
    }
    std::string rest;
    EXPECT_FALSE(std::getline(actualLines, rest)) << "more than expected: " << rest;
}

TEST(AsciiStl, FacesKeepTheirOwnNodesAndReversedOnesTurn) {
    const fs::path path = fs::temp_directory_path() / ("orvane-faces-" + std::to_string(::getpid()) + ".stl");
    const std::vector<Point3> square = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    orvane::MeshFace upward{true, square, {{1, 2, 3}}};
    orvane::MeshFace downward{true, {{0, 0, 2}, {1, 0, 2}, {1, 1, 2}}, {{1, 2, 3}}};
    downward.reversed = true;
    const orvane::MeshFace untriangulated{};
    ASSERT_EQ(orvane::writeAsciiStl({upward, untriangulated, downward}, path.string()), std::nullopt);
    EXPECT_EQ(slurp(path), "solid \n" + facetText({0, 0, 1}, {0, 0, 0}, {1, 0, 0}, {1, 1, 0}) +
                               facetText({0, 0, -1}, {0, 0, 2}, {1, 1, 2}, {1, 0, 2}) + "endsolid\n");

    // A triangle past its face's nodes (they are counted per face) is refused, not read.
    const orvane::MeshFace overreaching{true, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}, {{1, 2, 4}}};
    EXPECT_EQ(orvane::writeAsciiStl({upward, overreaching}, path.string()),
              "a triangle refers to node 4 of 3");
    const orvane::MeshFace zero{true, square, {{0, 1, 2}}};
    EXPECT_EQ(orvane::writeAsciiStl({zero}, path.string()), "a triangle refers to node 0 of 4");
    fs::remove(path);
}

TEST(AsciiStl, FailedWritesAreReported) {
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
