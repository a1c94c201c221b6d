#include "results/SelectionFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

fs::path scratchFile(const char* name) {
    return fs::temp_directory_path() / ("orvane-selection-" + std::to_string(::getpid()) + "-" + name);
}

} // namespace

TEST(SelectionFile, LabelDirectionMeanAndEveryChosenPoint) {
    const fs::path path = scratchFile("two.txt");
    ASSERT_TRUE(orvane::writeSelectionFile(path.string(), "F1", {0, 0, 1}, {3, 7},
                                           {{1.5, 0, -2}, {2.5, 1e6, 0.00001}}));
    EXPECT_EQ(readAll(path), "$ F1 0 0 1\n# 2 500000 -0.999995\n* 3 1.5 0 -2\n* 7 2.5 1e+06 1e-05\n");
    fs::remove(path);
}

TEST(SelectionFile, NoChosenPointWritesAZeroMean) {
    const fs::path path = scratchFile("none.txt");
    ASSERT_TRUE(orvane::writeSelectionFile(path.string(), "", {0.5, 0, 0}, {}, {}));
    EXPECT_EQ(readAll(path), "$  0.5 0 0\n# 0 0 0\n");
    fs::remove(path);
}

TEST(SelectionFile, AFileThatCannotBeWrittenIsReported) {
    testing::internal::CaptureStderr();
    EXPECT_FALSE(orvane::writeSelectionFile("/nonexistent/dir/sel.txt", "F", {0, 0, 1}, {}, {}));
    EXPECT_NE(testing::internal::GetCapturedStderr(), "");
}
