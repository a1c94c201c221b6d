// Checks on hostile input: path words, file kinds, STL and STEP headers,
// and the size bounds of command words.

#include "app/FileChecks.h"
#include "commands/InputLimits.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class InputChecks : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("orvane-input-checks-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string write(const std::string& name, const std::string& content) {
        const fs::path path = dir / name;
        std::ofstream(path, std::ios::binary) << content;
        return path.string();
    }

    // A binary STL: 80-byte header, the facet count, then `facets` records of 50 bytes.
    std::string binaryStl(const std::string& name, std::uint32_t claimed, std::size_t facets) {
        std::string bytes(80, '\x01');
        for (int i = 0; i < 4; ++i) {
            bytes += static_cast<char>((claimed >> (8 * i)) & 0xffU);
        }
        bytes += std::string(50 * facets, '\x80');
        return write(name, bytes);
    }

    fs::path dir;
};

} // namespace

TEST_F(InputChecks, PathWordsWithControlCharactersAreRefused) {
    EXPECT_FALSE(orvane::pathProblem("/srv/job 1/模型.stl"));
    EXPECT_TRUE(orvane::pathProblem(""));
    EXPECT_TRUE(orvane::pathProblem(std::string("/srv/a\0b", 8))) << "a NUL would cut the path short";
    EXPECT_TRUE(orvane::pathProblem("/srv/a\nb"));
    EXPECT_TRUE(orvane::pathProblem("/srv/a\x7f"));
    EXPECT_TRUE(orvane::readableFileProblem(std::string(write("p.txt", "1 2 3") + '\0' + "x")));
    EXPECT_TRUE(orvane::replaceableFileProblem("/tmp/x\x1b[2J"));
}

TEST_F(InputChecks, OnlyRegularFilesAreReadAndReplaced) {
    const std::string file = write("p.txt", "1 2 3");
    const std::string fifo = (dir / "fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    fs::create_symlink(file, dir / "link");

    EXPECT_FALSE(orvane::readableFileProblem(file));
    EXPECT_FALSE(orvane::readableFileProblem((dir / "link").string())) << "a link to a regular file";
    EXPECT_EQ(orvane::readableFileProblem(fifo).value_or(""), "not a regular file (a FIFO)");
    EXPECT_EQ(orvane::readableFileProblem("/dev/zero").value_or(""), "not a regular file (a device)");
    EXPECT_EQ(orvane::readableFileProblem(dir.string()).value_or(""), "not a regular file (a directory)");
    EXPECT_EQ(orvane::readableFileProblem((dir / "missing").string()).value_or(""),
              "No such file or directory");
    EXPECT_TRUE(orvane::pathMissing((dir / "missing").string()));
    EXPECT_FALSE(orvane::pathMissing(file));

    EXPECT_FALSE(orvane::replaceableFileProblem(file));
    EXPECT_FALSE(orvane::replaceableFileProblem((dir / "new.txt").string())) << "a missing file is created";
    EXPECT_TRUE(orvane::replaceableFileProblem(fifo));
    EXPECT_TRUE(orvane::replaceableFileProblem("/dev/null"));
    EXPECT_TRUE(orvane::replaceableFileProblem(dir.string()));
}

TEST_F(InputChecks, JoinPathAddsOneSeparator) {
    EXPECT_EQ(orvane::joinPath("/srv/job", "data/x"), "/srv/job/data/x");
    EXPECT_EQ(orvane::joinPath("/srv/job/", "data/x"), "/srv/job/data/x");
    EXPECT_EQ(orvane::joinPath("C:\\job\\", "data/x"), "C:\\job\\data/x");
    EXPECT_EQ(orvane::joinPath("", "data/x"), "data/x");
}

TEST_F(InputChecks, WrittenBinaryStlMustHoldEveryFacet) {
    EXPECT_FALSE(orvane::writtenBinaryStlProblem(binaryStl("two.stl", 2, 2), 2));
    EXPECT_TRUE(orvane::writtenBinaryStlProblem(binaryStl("cut.stl", 2, 1), 2));
    EXPECT_TRUE(orvane::writtenBinaryStlProblem(binaryStl("more.stl", 2, 3), 2));
}

TEST_F(InputChecks, StlFacetCountMustFitTheFileSize) {
    EXPECT_FALSE(orvane::stlFileProblem(binaryStl("two.stl", 2, 2)));
    EXPECT_FALSE(orvane::stlFileProblem(binaryStl("trailing.stl", 1, 2))) << "extra bytes are harmless";
    EXPECT_FALSE(orvane::stlFileProblem(write("ascii.stl", "solid x\nendsolid x\n")));
    // 134 bytes whose header claims 711 million facets (25 GB for the reader).
    const std::optional<std::string> claimed = orvane::stlFileProblem(binaryStl("huge.stl", 711000000, 1));
    ASSERT_TRUE(claimed);
    EXPECT_NE(claimed->find("claims 711000000 facets"), std::string::npos) << *claimed;
    EXPECT_TRUE(orvane::stlFileProblem(binaryStl("short.stl", 3, 2)));
    EXPECT_TRUE(orvane::stlFileProblem(write("header.stl", std::string(40, '\x90'))));
    EXPECT_EQ(orvane::stlFileProblem(write("empty.stl", "")).value_or(""), "the file is empty");
    EXPECT_TRUE(orvane::stlFileProblem("/dev/urandom"));
}

TEST_F(InputChecks, TextOrBinaryAsTheStlReaderDecides) {
    EXPECT_FALSE(orvane::looksBinary("solid cube\n  facet normal 0 0 1\r\n\t"));
    EXPECT_TRUE(orvane::looksBinary(""));
    EXPECT_TRUE(orvane::looksBinary(std::string(19, 'a') + '\x80')) << "one byte in twenty is 5 %";
    EXPECT_FALSE(orvane::looksBinary(std::string(20, 'a') + '\x80'));
}

TEST_F(InputChecks, StepNestingIsBoundedBeforeParsing) {
    const auto deepest = [](const std::string& text, int limit = 1000) {
        std::istringstream in(text);
        return orvane::scanStepNesting(in, limit);
    };
    EXPECT_EQ(deepest("#1=A((1.,2.),(3.));").deepest, 2);
    EXPECT_EQ(deepest("#1=A('((((',(1.));").deepest, 2) << "brackets in strings do not count";
    EXPECT_EQ(deepest("#1=A('it''s (',(1.));").deepest, 2) << "a doubled quote stays inside the string";
    EXPECT_EQ(deepest("/* ((((( */ #1=A((1.));").deepest, 2) << "nor do brackets in comments";
    EXPECT_EQ(deepest("#1=A('/*',(1.)); /* ) */").deepest, 2);
    const orvane::StepNesting deep = deepest(std::string(100000, '(') + std::string(100000, ')'));
    EXPECT_TRUE(deep.exceeded);
    EXPECT_EQ(deep.deepest, 1001) << "the scan stops past the limit";

    EXPECT_FALSE(
        orvane::stepFileProblem(write("ok.step", "ISO-10303-21;\nDATA;\n#1=A((1.));\nENDSEC;\n"), 1000));
    const std::optional<std::string> refused =
        orvane::stepFileProblem(write("deep.step", std::string(100000, '(')), 1000);
    ASSERT_TRUE(refused);
    EXPECT_EQ(*refused, "brackets nested deeper than the limit of 1000");
    EXPECT_TRUE(orvane::stepFileProblem("/dev/zero", 1000));
}

TEST(InputLimits, SizesAboveTheLimitsAreRefusedWithTheLimitNamed) {
    EXPECT_FALSE(orvane::overLimit("COUNT", 1000, orvane::limits::markersPerCommand));
    EXPECT_EQ(orvane::overLimit("COUNT", 3e9, orvane::limits::markersPerCommand).value_or(""),
              "COUNT 3000000000 is above the limit of 1000");

    EXPECT_FALSE(orvane::textMarkProblem(20, 10));
    EXPECT_FALSE(orvane::textMarkProblem(1000, 25));
    EXPECT_EQ(orvane::textMarkProblem(8047, 4).value_or(""), "font size 8047 is above the limit of 1000");
    EXPECT_TRUE(orvane::textMarkProblem(0, 4));
    EXPECT_TRUE(orvane::textMarkProblem(-5, 4));
    EXPECT_TRUE(orvane::textMarkProblem(100, 100000)) << "a long text at a moderate size";

    const std::array<double, 6> box{0, 0, 0, 300, 400, 0};
    EXPECT_FALSE(orvane::sphereCutProblem(box, {150, 200, 0}, 30));
    EXPECT_FALSE(orvane::sphereCutProblem(box, {150, 200, 0}, 500000)) << "1000 diagonals of 500";
    EXPECT_TRUE(orvane::sphereCutProblem(box, {0, 0, 0}, 1e300));
    EXPECT_TRUE(orvane::sphereCutProblem(box, {1.7976931348623157e308, -1.5, 7159}, 3555));
    EXPECT_TRUE(orvane::sphereCutProblem(box, {-1e300, 0, 0}, 1)) << "the offset overflows to infinity";
    EXPECT_FALSE(orvane::sphereCutProblem({}, {10, 0, 0}, 5)) << "without a model: unit scale";
}
