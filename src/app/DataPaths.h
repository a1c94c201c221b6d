#pragma once

#include <string>

namespace orvane {

// Every path of the working-directory tree is formed here, by plain
// concatenation with "/" separators. The data root comes with the command.
namespace datapaths {

std::string stepDir(const std::string& root);
std::string solidDir(const std::string& root);
std::string cutDir(const std::string& root);

std::string faceStl(const std::string& root, int face);
std::string solidStl(const std::string& root, int solid);
std::string cutStl(const std::string& root, int cut);
std::string cutBrep(const std::string& root, int cut);
std::string faceBrep(const std::string& root, int face);

// The whole model as STL, and its point and triangle files.
std::string modelStl(const std::string& root);
std::string modelPoints(const std::string& root);
std::string modelTriangles(const std::string& root);

std::string gaussProgram(const std::string& root);
std::string gaussPoints(const std::string& root);
std::string beamFile(const std::string& root);
std::string springFile(const std::string& root);
// The UI server sends this root with a trailing "/"; a root without one gets
// the separator, so the file always lands inside the root.
std::string solverInputFile(const std::string& rootWithSlash);

std::string modalEigenvalues(const std::string& root);
// Mode files carry a number followed by "0": mode number 1 is postprocess10.vts.
std::string modalResult(const std::string& root, long long modeNumber);
std::string staticResult(const std::string& root);
// The mode animation numbers the same files from 6: mode index 0 is postprocess60.vts.
std::string animatedModeResult(const std::string& root, int modeIndex);

// Files of a result directory (not a data root).
std::string resultGrid(const std::string& resultDir);
std::string resultModelStl(const std::string& resultDir);
std::string pointCloudCoordinates(const std::string& resultDir);
std::string pointCloudDeformation(const std::string& resultDir);
std::string stressIndex(const std::string& resultDir);
std::string stressValues(const std::string& resultDir);
std::string stressModelPoints(const std::string& resultDir);
std::string stressModelTriangles(const std::string& resultDir);

} // namespace datapaths

// Locations that do not depend on a data root, each set by an environment
// variable; an unset one is empty, and what needs it says so on standard
// error instead of writing or reading beside the working directory.
struct FixedLocations {
    std::string defaultDataRoot; // ORVANE_DEFAULT_DATA_ROOT
    std::string rb3BrepDir;      // ORVANE_RB3_BREP_DIR
    std::string gaussDataDir;    // ORVANE_GAUSS_DATA_DIR
    std::string seriesDir;       // ORVANE_SERIES_DIR

    static FixedLocations defaults();
    static FixedLocations fromEnvironment();

    std::string rb3Brep(int circle) const;
    std::string gaussData(int index) const;
    std::string seriesFrame(int frame) const;
};

} // namespace orvane
