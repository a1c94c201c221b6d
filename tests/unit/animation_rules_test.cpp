#include "results/AnimationRules.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace fs = std::filesystem;
using orvane::SeriesStep;

TEST(AnimationRules, ModesAdvanceToTheLastEigenvalueAndStartAgain) {
    EXPECT_EQ(orvane::nextModeIndex(0, 3), 1);
    EXPECT_EQ(orvane::nextModeIndex(1, 3), 2);
    EXPECT_EQ(orvane::nextModeIndex(2, 3), 0);
    // Beyond the list (a large ModelAnsys index), before it, or no list at all.
    EXPECT_EQ(orvane::nextModeIndex(7, 3), 0);
    EXPECT_EQ(orvane::nextModeIndex(-4, 3), 0);
    EXPECT_EQ(orvane::nextModeIndex(0, 0), 0);
    EXPECT_EQ(orvane::nextModeIndex(0, 1), 0);
    EXPECT_EQ(orvane::nextModeIndex(2147483647, 3), 0);
}

TEST(AnimationRules, ModeLabelShowsTheFrequencyOnlyForAnEigenvalueOfTheList) {
    // sqrt(eigenvalue) / 6.2831852, six decimals with a point in any locale.
    const std::vector<double> eigenvalues{6.2831852 * 6.2831852 * 12.5 * 12.5, 39.47841770, 1e6};
    EXPECT_EQ(orvane::modeLabelText(0, eigenvalues), "1 rate: 12.500000");
    EXPECT_EQ(orvane::modeLabelText(1, eigenvalues), "2 rate: 1.000000");
    EXPECT_EQ(orvane::modeLabelText(2, eigenvalues), "3 rate: 159.154946");
    EXPECT_EQ(orvane::modeLabelText(3, eigenvalues), "4");
    EXPECT_EQ(orvane::modeLabelText(0, {}), "1");
    EXPECT_EQ(orvane::modeLabelText(-1, eigenvalues), "0");
    EXPECT_EQ(orvane::modeLabelText(2147483647, eigenvalues), "2147483648");
}

TEST(AnimationRules, OnlyExactFrameNamesAreFrames) {
    EXPECT_EQ(orvane::seriesFrameNumber("box3D_FEMmpData1.vtk"), 1);
    EXPECT_EQ(orvane::seriesFrameNumber("box3D_FEMmpData120.vtk"), 120);
    for (const char* stray :
         {"box3D_FEMmpData.vtk", "box3D_FEMmpData0.vtk", "box3D_FEMmpData01.vtk", "box3D_FEMmpData1.vtk.bak",
          "box3D_FEMmpData1.VTK", "box3D_FEMmpData-1.vtk", "box3D_FEMmpData+1.vtk", "box3D_FEMmpData1a.vtk",
          "xbox3D_FEMmpData1.vtk", "box3D_FEMmpData99999999999.vtk", "notes.txt", ""}) {
        EXPECT_EQ(orvane::seriesFrameNumber(stray), std::nullopt) << stray;
    }
    // A gap ends the series; duplicates and strays add nothing.
    EXPECT_EQ(orvane::consecutiveFrameCount({"box3D_FEMmpData2.vtk", "box3D_FEMmpData1.vtk", "a.vtk",
                                             "box3D_FEMmpData3.vtk", "box3D_FEMmpData5.vtk"}),
              3);
    EXPECT_EQ(orvane::consecutiveFrameCount({"box3D_FEMmpData2.vtk"}), 0);
    EXPECT_EQ(orvane::consecutiveFrameCount({}), 0);
}

TEST(AnimationRules, SeriesDirectoryCountsRegularFrameFilesOnly) {
    const fs::path dir = fs::temp_directory_path() / ("orvane-series-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "box3D_FEMmpData3.vtk");
    for (const char* name :
         {"box3D_FEMmpData1.vtk", "box3D_FEMmpData2.vtk", "box3D_FEMmpData4.vtk", "x.vtk"}) {
        std::ofstream(dir / name) << "frame\n";
    }
    std::string error;
    // Frame 3 is a directory: frames 1 and 2 exist, 4 lies beyond the gap.
    EXPECT_EQ(orvane::countSeriesFrames(dir.string(), error), 2);
    fs::remove(dir / "box3D_FEMmpData3.vtk");
    fs::create_symlink(dir / "box3D_FEMmpData1.vtk", dir / "box3D_FEMmpData3.vtk");
    EXPECT_EQ(orvane::countSeriesFrames(dir.string(), error), 4);
    fs::remove_all(dir);
    EXPECT_EQ(orvane::countSeriesFrames(dir.string(), error), std::nullopt);
    EXPECT_FALSE(error.empty());
}

TEST(AnimationRules, StepTableOfTheSeriesCommands) {
    const auto move = [](SeriesStep step, int frame, int count) {
        const std::optional<orvane::SeriesMove> m = orvane::moveInSeries(step, frame, count);
        return m ? std::make_pair(m->shown, m->next) : std::make_pair(-1, -1);
    };
    using P = std::pair<int, int>;
    // play shows the current frame, then advances and wraps.
    EXPECT_EQ(move(SeriesStep::Play, 1, 3), P(1, 2));
    EXPECT_EQ(move(SeriesStep::Play, 3, 3), P(3, 1));
    EXPECT_EQ(move(SeriesStep::Play, 1, 1), P(1, 1));
    EXPECT_EQ(move(SeriesStep::LeftFastPlay, 2, 3), P(1, 1));
    EXPECT_EQ(move(SeriesStep::RightFastPlay, 2, 3), P(3, 3));
    EXPECT_EQ(move(SeriesStep::LeftPlay, 1, 3), P(3, 3));
    EXPECT_EQ(move(SeriesStep::LeftPlay, 3, 3), P(2, 2));
    EXPECT_EQ(move(SeriesStep::RightPlay, 3, 3), P(1, 1));
    EXPECT_EQ(move(SeriesStep::RightPlay, 2, 3), P(3, 3));
    // A series that shrank under the current frame starts from frame 1.
    EXPECT_EQ(move(SeriesStep::Play, 7, 3), P(1, 2));
    EXPECT_EQ(move(SeriesStep::LeftPlay, 7, 3), P(3, 3));
    // Without frames no step shows anything.
    for (SeriesStep step : {SeriesStep::Play, SeriesStep::LeftFastPlay, SeriesStep::RightFastPlay,
                            SeriesStep::LeftPlay, SeriesStep::RightPlay}) {
        EXPECT_EQ(move(step, 1, 0), P(-1, -1));
    }
}
