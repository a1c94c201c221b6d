#include "geometry/CoordinateFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class CoordinateFile : public ::testing::Test {
protected:
    std::string write(const std::string& content) {
        const fs::path path = fs::temp_directory_path() / ("orvane-points-" + std::to_string(::getpid()) +
                                                           "-" + std::to_string(count++) + ".txt");
        std::ofstream(path, std::ios::binary) << content;
        written.push_back(path);
        return path.string();
    }
    void TearDown() override {
        for (const fs::path& path : written) {
            fs::remove(path);
        }
    }
    int count = 0;
    std::vector<fs::path> written;
};

using Points = std::vector<orvane::Point3>;

} // namespace

TEST_F(CoordinateFile, TenNumbersGiveThreePoints) {
    EXPECT_EQ(orvane::readCoordinateFile(write("1 2 3\n4 5 6\n7 8 9\n10\n")),
              (Points{{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}));
}

TEST_F(CoordinateFile, LineStructureDoesNotMatter) {
    EXPECT_EQ(orvane::readCoordinateFile(write("  1.5\t-2e1\r\n3\n\n 4 5\n6")),
              (Points{{1.5, -20, 3}, {4, 5, 6}}));
}

TEST_F(CoordinateFile, ANonNumberEndsTheRead) {
    EXPECT_EQ(orvane::readCoordinateFile(write("1 2 3 4 x 6 7 8 9")), (Points{{1, 2, 3}}));
    EXPECT_EQ(orvane::readCoordinateFile(write("1 2 3 4,5 6 7")), (Points{{1, 2, 3}}))
        << "a comma is no decimal separator";
    EXPECT_EQ(orvane::readCoordinateFile(write("1 2 nan 4 5 6")), Points{});
    EXPECT_EQ(orvane::readCoordinateFile(write("")), Points{});
}

TEST_F(CoordinateFile, AMissingFileGivesNoPoints) {
    EXPECT_EQ(orvane::readCoordinateFile("/nonexistent/orvane/points.txt"), Points{});
    EXPECT_EQ(orvane::readCoordinateFile(fs::temp_directory_path().string()), Points{}) << "a directory";
}

TEST_F(CoordinateFile, HostileFilesEndWithAProblemAndBoundedMemory) {
    const auto problemOf = [](const orvane::CoordinateRead& read) { return read.problem.value_or(""); };
    EXPECT_EQ(problemOf(orvane::readCoordinates("/dev/zero")), "not a regular file (a device)");
    const orvane::CoordinateRead missing = orvane::readCoordinates("/nonexistent/orvane/points.txt");
    EXPECT_TRUE(missing.missing);
    EXPECT_FALSE(orvane::readCoordinates("/dev/zero").missing);

    EXPECT_FALSE(orvane::readCoordinates(write("1 2 3 4 5 6\n")).problem);
    EXPECT_EQ(problemOf(orvane::readCoordinates(write("1 2 3 4"))),
              "the file ends inside a point (1 numbers left over)");
    EXPECT_EQ(problemOf(orvane::readCoordinates(write(""))), "the file holds no points");
    EXPECT_EQ(problemOf(orvane::readCoordinates(write("1 2 3 x\x01y"))), "word 4 ('x?y') is no number");
    // A word without end (garbage without white space) is not collected whole.
    const orvane::CoordinateRead endless =
        orvane::readCoordinates(write("1 2 3 " + std::string(5000000, '7')));
    EXPECT_EQ(endless.points, (Points{{1, 2, 3}}));
    EXPECT_EQ(problemOf(endless), "word 4 is longer than 1024 characters");

    const orvane::CoordinateRead many = orvane::readCoordinates(write("1 1 1 2 2 2 3 3 3"), 2);
    EXPECT_TRUE(many.points.empty()) << "a file above the limit gives no points";
    EXPECT_EQ(problemOf(many), "more than 2 points, above the limit of points in one file");
}
