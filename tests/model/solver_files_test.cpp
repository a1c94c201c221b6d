#include "model/SolverFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <locale>
#include <sstream>
#include <unistd.h>
#include <utility>

namespace fs = std::filesystem;
using orvane::AnalysisModel;

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

const std::string kMatchedLine = "\xC6\xA5\xC5\xE4\xB5\xBD\n";

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

// The lines between header and the next blank line.
std::vector<std::string> section(const std::string& text, const std::string& header) {
    std::istringstream in(text);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line) && line != header) {
    }
    while (std::getline(in, line) && !line.empty()) {
        lines.push_back(line);
    }
    return lines;
}

orvane::ForceRecord force(std::string target, orvane::Point3 position, std::array<double, 6> components) {
    orvane::ForceRecord record;
    record.name = "force";
    record.target = std::move(target);
    record.position = position;
    record.components = components;
    return record;
}

orvane::ConstraintRecord constraint(std::string target, std::array<int32_t, 3> translation,
                                    std::array<int32_t, 3> rotation) {
    orvane::ConstraintRecord record;
    record.name = "constraint";
    record.target = std::move(target);
    record.translation = translation;
    record.rotation = rotation;
    return record;
}

orvane::BeamRecord beam(std::vector<orvane::Point3> points, double radius, double length, double segments,
                        double material, double poisson) {
    return orvane::BeamRecord{"beam", std::move(points), radius, length, segments, material, poisson};
}

// Every kind of record, with targets of every letter among ones that no
// filtered section may take.
AnalysisModel fullModel() {
    AnalysisModel model;
    model.stepPath = "/home/user/my models/bracket.step";
    model.materials = {210000, 0.3, 7850};
    model.bpp = {3, 12};
    model.brepFiles = {"face1.brep", "face2.brep"};
    model.forces = {
        force("F 0 7", {1, 2, 3}, {0, 0, -100, 0, 0, 0}),
        force("B 2 13", {100, 0.5, 1e6}, {10, -0.5, 0, 0, 0, 2.25}),
        force("P 0 4", {7, 8, 9}, {0, 250, 0, 1.5, 0, 0}),
        force("F x 1", {1, 1, 1}, {1, 1, 1, 1, 1, 1}),
        force("B 1 5", {-2.5, 0, 3}, {0, 0, 0, 0, -3, 0}),
        force("f 0 9", {2, 2, 2}, {2, 2, 2, 2, 2, 2}),
    };
    model.constraints = {
        constraint("F 0 3", {1, 1, 1}, {0, 0, 0}),  constraint("B 1 4", {1, 0, 1}, {0, 1, 0}),
        constraint("P 0 2", {0, 1, 0}, {1, 1, 1}),  constraint("", {1, 1, 1}, {1, 1, 1}),
        constraint("B 3 20", {1, 1, 1}, {1, 1, 1}), constraint("7 0 1", {1, 1, 1}, {1, 1, 1}),
    };
    model.beams = {
        beam({{0, 0, 0}, {0, 0, 50.5}}, 5, 50.5, 10, 210000, 0.3),
        beam({{10, 0, 0}, {10, 20, 0}, {10, 40.00001, 0.125}}, 2.5, 40, 8, 70000, 0.33),
    };
    model.springs = {
        orvane::SpringRecord{"spring1", "Fixed", "Beam", {1000, 1000, 1234567}, {0, 0, 0}, {0, 0, -10}},
        orvane::SpringRecord{"spring2", "", "Point", {1e6, 0.5, 0}, {1.5, 2, 3}, {4, 5, 6.25}},
    };
    model.connections = {
        orvane::ConnectionRecord{"c1", "F 0 7", "B 2 13", {1, 2, 3}, {4, 5, 6}, {1, 1, 1, 0, 0, 0}},
        orvane::ConnectionRecord{"c2", "P 0 4", "not a target", {-1, 0, 0}, {0, 0, 0}, {0, 0, 0, 1, 1, 1}},
    };
    model.rb3Elements = {
        orvane::Rb3Record{"P 0 5", {3, 7, 12}, "rb1", {{1, 1, 1}}, {10, 20, 30.5}},
        orvane::Rb3Record{"F 1 2", {}, "rb2", {}, {0, 0, 0}},
        orvane::Rb3Record{"X", {4}, "rb3", {}, {1, 1, 1}},
        orvane::Rb3Record{"", {9}, "rb4", {}, {0, 0, -2}},
    };
    return model;
}

class SolverFiles : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("orvane-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    // Writes the three files into dir; returns what preFiles printed.
    std::string writeAll(const AnalysisModel& model) {
        std::ostringstream console;
        EXPECT_TRUE(orvane::writePreFiles(model, (dir / "preFiles.txt").string(), console));
        EXPECT_TRUE(orvane::writeBeamFile(model, (dir / "beam.txt").string()));
        EXPECT_TRUE(orvane::writeSpringFile(model, (dir / "spring.txt").string()));
        return console.str();
    }

    // The three files must equal the hand-written golden ones, byte for byte,
    // and be all that is left in dir.
    void expectGolden(const std::string& prefix) {
        for (const std::string name : {"preFiles.txt", "beam.txt", "spring.txt"}) {
            EXPECT_EQ(slurp(dir / name), slurp(fs::path(ORVANE_GOLDEN_DIR) / (prefix + "_" + name))) << name;
        }
        EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 3)
            << "no temporary is left";
    }

    fs::path dir;
};

} // namespace

TEST(SolverFilesLocale, CommaDecimalLocaleIsActiveWhenRequested) {
    ASSERT_TRUE(localeAdopted);
    if (std::getenv("ORVANE_TEST_SET_LOCALE") == nullptr) {
        GTEST_SKIP() << "runs in the comma-decimal locale pass";
    }
    std::ostringstream stream;
    stream << 0.5;
    EXPECT_EQ(stream.str(), "0,5") << "fr_FR.UTF-8 is not installed";
    EXPECT_STREQ(std::localeconv()->decimal_point, ",");
}

TEST_F(SolverFiles, EmptyModelWritesOnlyTheFixedHeaders) {
    EXPECT_EQ(writeAll(AnalysisModel{}), "");
    expectGolden("empty");
}

TEST_F(SolverFiles, FullModelWritesEverySectionInOrder) {
    EXPECT_EQ(writeAll(fullModel()), kMatchedLine + kMatchedLine + kMatchedLine + kMatchedLine)
        << "once per beam-node constraint and force";
    expectGolden("full");
}

TEST_F(SolverFiles, FaceLoadsAndBeamSizesAppearWhereTheSolverReadsThem) {
    AnalysisModel model;
    model.forces = {force("F 0 7", {1, 2, 3}, {0, 0, -100, 0, 0, 0})};
    model.constraints = {constraint("F 0 3", {1, 1, 1}, {0, 0, 0})};
    model.beams = {beam({{0, 0, 0}}, 5, 100, 10, 210000, 0.3)};
    EXPECT_EQ(writeAll(model), "");

    const std::string preFiles = slurp(dir / "preFiles.txt");
    const std::string forceLine = "7 0.000000 0.000000 -100.000000 0.000000 0.000000 0.000000";
    EXPECT_EQ(section(preFiles, "$ forceFace id xn yn zn xr yr zr"), std::vector<std::string>{forceLine});
    EXPECT_EQ(occurrences(preFiles, "-100.000000"), 1U) << "in no other section";
    EXPECT_EQ(section(preFiles, "$ fixFace id xn yn zn xr yr zr"),
              std::vector<std::string>{"3 0 1 1 1 0 0 0"});
    EXPECT_EQ(section(preFiles, "$ mat poi radius len seg Beam"),
              std::vector<std::string>{"210000.000000 0.300000 5.000000 100.000000 10.000000"});

    const std::string beamFile = slurp(dir / "beam.txt");
    EXPECT_EQ(beamFile, "$ mat poi radius len seg // x y z\n"
                        "210000 0.3 5 100 10\n"
                        "0 0 0\n"
                        "$ con // mark // id xd yd zd xr yr zr Beam\n"
                        "$ arrow // mark // id xn yn zn xr yr zr Beam\n");
}

TEST_F(SolverFiles, PathInAMissingDirectoryFailsWithOneDiagnosticAndNoFile) {
    const AnalysisModel model = fullModel();
    std::ostringstream console;
    const std::vector<std::pair<std::string, std::function<bool(const std::string&)>>> writers = {
        {"preFiles.txt",
         [&](const std::string& path) { return orvane::writePreFiles(model, path, console); }},
        {"beam.txt", [&](const std::string& path) { return orvane::writeBeamFile(model, path); }},
        {"spring.txt", [&](const std::string& path) { return orvane::writeSpringFile(model, path); }},
    };
    for (const auto& [name, write] : writers) {
        const std::string path = (dir / "missing" / name).string();
        ::testing::internal::CaptureStderr();
        EXPECT_FALSE(write(path)) << name;
        const std::string diagnostics = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(std::count(diagnostics.begin(), diagnostics.end(), '\n'), 1) << diagnostics;
        EXPECT_NE(diagnostics.find(path + ": "), std::string::npos) << diagnostics;
    }
    EXPECT_EQ(console.str(), "") << "nothing was matched into a file";
    EXPECT_TRUE(fs::is_empty(dir));
}

TEST_F(SolverFiles, ExistingFilesAreReplacedWhole) {
    const std::string longer(4096, 'x');
    for (const std::string name : {"preFiles.txt", "beam.txt", "spring.txt"}) {
        std::ofstream(dir / name) << longer;
    }
    writeAll(AnalysisModel{});
    expectGolden("empty");
}
