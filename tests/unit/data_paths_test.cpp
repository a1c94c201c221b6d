#include "app/DataPaths.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace dp = orvane::datapaths;

TEST(DataPaths, TreeBelowADataRoot) {
    const std::string root = "/srv/job 1";
    EXPECT_EQ(dp::stepDir(root), "/srv/job 1/data/step");
    EXPECT_EQ(dp::solidDir(root), "/srv/job 1/data/solid");
    EXPECT_EQ(dp::cutDir(root), "/srv/job 1/data/cut");
    EXPECT_EQ(dp::faceStl(root, 12), "/srv/job 1/data/step/model12.stl");
    EXPECT_EQ(dp::solidStl(root, 0), "/srv/job 1/data/solid/solid0.stl");
    EXPECT_EQ(dp::cutStl(root, 3), "/srv/job 1/data/cut/cut3.stl");
    EXPECT_EQ(dp::cutBrep(root, 3), "/srv/job 1/data/brep/cut3.brep");
    EXPECT_EQ(dp::faceBrep(root, 7), "/srv/job 1/data/brep/face7.brep");
    EXPECT_EQ(dp::modelStl(root), "/srv/job 1/data/locomotive_bogieassembly_sldasm2.stl");
    EXPECT_EQ(dp::modelPoints(root), "/srv/job 1/data/locomotive_bogieassembly_sldasm2.pts");
    EXPECT_EQ(dp::modelTriangles(root), "/srv/job 1/data/locomotive_bogieassembly_sldasm2.tri");
    EXPECT_EQ(dp::gaussProgram(root), "/srv/job 1/src/guass/demo1.exe");
    EXPECT_EQ(dp::gaussPoints(root), "/srv/job 1/data/guass/guass.txt");
    EXPECT_EQ(dp::beamFile(root), "/srv/job 1/data/beam/beam.txt");
    EXPECT_EQ(dp::springFile(root), "/srv/job 1/data/spring/spring.txt");
    EXPECT_EQ(dp::modalEigenvalues(root), "/srv/job 1/data/modelAnsys/unitfcm5-0-1e-10-451/eigenvalues.txt");
    EXPECT_EQ(dp::modalResult(root, 12),
              "/srv/job 1/data/modelAnsys/unitfcm5-0-1e-10-451/postprocess120.vts");
    EXPECT_EQ(dp::modalResult(root, 0), "/srv/job 1/data/modelAnsys/unitfcm5-0-1e-10-451/postprocess00.vts");
    EXPECT_EQ(dp::animatedModeResult(root, 0),
              "/srv/job 1/data/modelAnsys/unitfcm5-0-1e-10-451/postprocess60.vts");
    EXPECT_EQ(dp::animatedModeResult(root, 2),
              "/srv/job 1/data/modelAnsys/unitfcm5-0-1e-10-451/postprocess80.vts");
    EXPECT_EQ(dp::staticResult(root), "/srv/job 1/data/postprocess0.vts");
}

TEST(DataPaths, SolverInputFileNeedsTheRootWithItsTrailingSeparator) {
    EXPECT_EQ(dp::solverInputFile("/srv/job/"), "/srv/job/data/preFiles.txt");
    EXPECT_EQ(dp::solverInputFile("/srv/job"), "/srv/job/data/preFiles.txt") << "the separator is added";
    EXPECT_EQ(dp::solverInputFile("C:\\job\\"), "C:\\job\\data/preFiles.txt");
}

TEST(DataPaths, FilesOfAResultDirectory) {
    const std::string dir = "/r";
    EXPECT_EQ(dp::resultGrid(dir), "/r/postprocess0.vts");
    EXPECT_EQ(dp::resultModelStl(dir), "/r/locomotive_bogieassembly_sldasm2.stl");
    EXPECT_EQ(dp::pointCloudCoordinates(dir), "/r/Cord.txt");
    EXPECT_EQ(dp::pointCloudDeformation(dir), "/r/Deformation.txt");
    EXPECT_EQ(dp::stressIndex(dir), "/r/index_point.txt");
    EXPECT_EQ(dp::stressValues(dir), "/r/vonmises.txt");
    EXPECT_EQ(dp::stressModelPoints(dir), "/r/locomotive_bogieassembly_sldasm2.pts");
    EXPECT_EQ(dp::stressModelTriangles(dir), "/r/locomotive_bogieassembly_sldasm2.tri");
}

TEST(FixedLocations, NoLocationIsBuiltIn) {
    const orvane::FixedLocations builtIn = orvane::FixedLocations::defaults();
    EXPECT_EQ(builtIn.defaultDataRoot, "");
    EXPECT_EQ(builtIn.rb3BrepDir, "");
    EXPECT_EQ(builtIn.gaussDataDir, "");
    EXPECT_EQ(builtIn.seriesDir, "");
}

TEST(FixedLocations, EnvironmentVariablesOverrideEachLocation) {
    ::setenv("ORVANE_DEFAULT_DATA_ROOT", "/data/root", 1);
    ::setenv("ORVANE_RB3_BREP_DIR", "/data/rb3", 1);
    ::setenv("ORVANE_GAUSS_DATA_DIR", "", 1);
    ::unsetenv("ORVANE_SERIES_DIR");
    const orvane::FixedLocations locations = orvane::FixedLocations::fromEnvironment();
    ::unsetenv("ORVANE_DEFAULT_DATA_ROOT");
    ::unsetenv("ORVANE_RB3_BREP_DIR");
    ::unsetenv("ORVANE_GAUSS_DATA_DIR");

    EXPECT_EQ(locations.defaultDataRoot, "/data/root");
    EXPECT_EQ(locations.rb3Brep(0), "/data/rb3/circle0.brep");
    EXPECT_EQ(locations.gaussDataDir, "") << "an empty value sets nothing";
    EXPECT_EQ(locations.seriesDir, "");
}
