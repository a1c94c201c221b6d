#include "geometry/MeshFiles.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <locale>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;
using orvane::MeshFace;

namespace {

// Like the view, adopt the environment's locale; the comma-decimal pass also
// makes it the default of every C++ stream, the harder case.
const bool localeAdopted = [] {
    std::setlocale(LC_ALL, "");
    if (std::getenv("ORVANE_TEST_SET_LOCALE") != nullptr) {
        std::locale::global(std::locale(""));
    }
    return true;
}();

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

MeshFace meshed(std::vector<orvane::Point3> nodes, std::vector<std::array<int, 3>> triangles) {
    return MeshFace{true, std::move(nodes), std::move(triangles)};
}

class MeshFiles : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("orvane-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    // Both files must equal the hand-written golden ones, byte for byte.
    void expectGolden(const std::vector<MeshFace>& faces, const std::string& name,
                      const std::string& console = "") {
        std::ostringstream out;
        ASSERT_TRUE(orvane::writePointTriangleFiles((dir / name).string(), faces, out));
        EXPECT_EQ(out.str(), console);
        for (const std::string& file : {name + ".pts", name + ".tri"}) {
            EXPECT_EQ(slurp(dir / file), slurp(fs::path(ORVANE_GOLDEN_DIR) / file)) << file;
        }
        EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2)
            << "no temporary is left";
    }

    fs::path dir;
};

} // namespace

TEST(MeshFilesLocale, CommaDecimalLocaleIsActiveWhenRequested) {
    ASSERT_TRUE(localeAdopted);
    if (std::getenv("ORVANE_TEST_SET_LOCALE") == nullptr) {
        GTEST_SKIP() << "runs in the comma-decimal locale pass";
    }
    std::ostringstream stream;
    stream << 0.5;
    EXPECT_EQ(stream.str(), "0,5") << "fr_FR.UTF-8 is not installed";
}

TEST_F(MeshFiles, SecondFaceIndicesFollowTheFirstFacesNodes) {
    expectGolden({meshed({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{1, 2, 3}, {1, 3, 4}}),
                  meshed({{0, 0, 1}, {2.5, 0, 1}, {0, -0.5, 1}}, {{1, 2, 3}})},
                 "two_faces");
}

TEST_F(MeshFiles, UntriangulatedFaceIsReportedAndAddsNoOffset) {
    const MeshFace missing{false, {{9, 9, 9}}, {{1, 1, 1}}};
    expectGolden({meshed({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{1, 2, 3}}), missing,
                  meshed({{0, 0, 2}, {1, 0, 2}, {0, 1, 2}}, {{1, 3, 2}})},
                 "untriangulated_between", "triFace is Null\n");
}

TEST_F(MeshFiles, NumbersAreWrittenAsADefaultStreamWritesThem) {
    expectGolden({meshed({{0.00001, -0.5, 1e6},
                          {123456, 0.1 + 0.2, -0.0},
                          {1234567, 0.0001, -1.5e-7},
                          {999999.5, 100000, 3.14159265}},
                         {{1, 2, 3}, {1, 3, 4}})},
                 "number_formats");
    EXPECT_EQ(orvane::formatStreamDefault(0.00001), "1e-05");
    EXPECT_EQ(orvane::formatStreamDefault(1234567), "1.23457e+06");
    EXPECT_EQ(orvane::formatStreamDefault(-0.5), "-0.5");
    EXPECT_EQ(orvane::formatStreamDefault(-0.0), "-0");
    EXPECT_EQ(orvane::formatStreamDefault(123456), "123456") << "no thousands separator";
}

TEST_F(MeshFiles, FailureLeavesNoFileAndKeepsTheOldOne) {
    std::ostringstream out;
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(orvane::writePointTriangleFiles((dir / "missing" / "model").string(), {}, out));
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("missing/model.pts"), std::string::npos);

    const fs::path kept = dir / "kept.txt";
    std::ofstream(kept) << "old";
    const auto halfWritten = [](const std::string& temporary) {
        std::ofstream(temporary) << "half";
        return false;
    };
    EXPECT_FALSE(orvane::writeFileReplacing(kept.string(), halfWritten, out));
    EXPECT_EQ(slurp(kept), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1)
        << "no temporary is left";
}

TEST(MeshFileNames, BaseIsTheTextBeforeTheLastDot) {
    EXPECT_EQ(orvane::pointTriangleBase("/data/step/model.stl"), "/data/step/model");
    EXPECT_EQ(orvane::pointTriangleBase("/data/step/model"), "/data/step/model");
    EXPECT_EQ(orvane::pointTriangleBase("/data/step/model.v2.final.stl"), "/data/step/model.v2.final");
    EXPECT_EQ(orvane::pointTriangleBase("/data/v1.2/model"), "/data/v1") << "the last dot, wherever it is";
}
