#include "app/DataPaths.h"

#include "app/FileChecks.h"
#include "results/AnimationRules.h"

#include <cstdlib>

namespace orvane {

namespace datapaths {

namespace {
const char* const modelStem = "/locomotive_bogieassembly_sldasm2";
}

std::string stepDir(const std::string& root) {
    return root + "/data/step";
}
std::string solidDir(const std::string& root) {
    return root + "/data/solid";
}
std::string cutDir(const std::string& root) {
    return root + "/data/cut";
}

std::string faceStl(const std::string& root, int face) {
    return stepDir(root) + "/model" + std::to_string(face) + ".stl";
}
std::string solidStl(const std::string& root, int solid) {
    return solidDir(root) + "/solid" + std::to_string(solid) + ".stl";
}
std::string cutStl(const std::string& root, int cut) {
    return cutDir(root) + "/cut" + std::to_string(cut) + ".stl";
}
std::string cutBrep(const std::string& root, int cut) {
    return root + "/data/brep/cut" + std::to_string(cut) + ".brep";
}
std::string faceBrep(const std::string& root, int face) {
    return root + "/data/brep/face" + std::to_string(face) + ".brep";
}

std::string modelStl(const std::string& root) {
    return root + "/data" + modelStem + ".stl";
}
std::string modelPoints(const std::string& root) {
    return root + "/data" + modelStem + ".pts";
}
std::string modelTriangles(const std::string& root) {
    return root + "/data" + modelStem + ".tri";
}

std::string gaussProgram(const std::string& root) {
    return root + "/src/guass/demo1.exe";
}
std::string gaussPoints(const std::string& root) {
    return root + "/data/guass/guass.txt";
}
std::string beamFile(const std::string& root) {
    return root + "/data/beam/beam.txt";
}
std::string springFile(const std::string& root) {
    return root + "/data/spring/spring.txt";
}
std::string solverInputFile(const std::string& rootWithSlash) {
    return joinPath(rootWithSlash, "data/preFiles.txt");
}

std::string modalEigenvalues(const std::string& root) {
    return root + "/data/modelAnsys/unitfcm5-0-1e-10-451/eigenvalues.txt";
}
std::string modalResult(const std::string& root, long long modeNumber) {
    return root + "/data/modelAnsys/unitfcm5-0-1e-10-451/postprocess" + std::to_string(modeNumber) + "0.vts";
}
std::string animatedModeResult(const std::string& root, int modeIndex) {
    return modalResult(root, static_cast<long long>(modeIndex) + 6);
}
std::string staticResult(const std::string& root) {
    return root + "/data/postprocess0.vts";
}

std::string resultGrid(const std::string& resultDir) {
    return resultDir + "/postprocess0.vts";
}
std::string resultModelStl(const std::string& resultDir) {
    return resultDir + modelStem + ".stl";
}
std::string pointCloudCoordinates(const std::string& resultDir) {
    return resultDir + "/Cord.txt";
}
std::string pointCloudDeformation(const std::string& resultDir) {
    return resultDir + "/Deformation.txt";
}
std::string stressIndex(const std::string& resultDir) {
    return resultDir + "/index_point.txt";
}
std::string stressValues(const std::string& resultDir) {
    return resultDir + "/vonmises.txt";
}
std::string stressModelPoints(const std::string& resultDir) {
    return resultDir + modelStem + ".pts";
}
std::string stressModelTriangles(const std::string& resultDir) {
    return resultDir + modelStem + ".tri";
}

} // namespace datapaths

namespace {

std::string environmentOr(const char* name, const std::string& fallback) {
    const char* value = std::getenv(name);
    return (value != nullptr && *value != '\0') ? std::string(value) : fallback;
}

} // namespace

FixedLocations FixedLocations::defaults() {
    // No built-in location: a drive-letter path would be a relative path here.
    return {};
}

FixedLocations FixedLocations::fromEnvironment() {
    const FixedLocations builtIn = defaults();
    return {environmentOr("ORVANE_DEFAULT_DATA_ROOT", builtIn.defaultDataRoot),
            environmentOr("ORVANE_RB3_BREP_DIR", builtIn.rb3BrepDir),
            environmentOr("ORVANE_GAUSS_DATA_DIR", builtIn.gaussDataDir),
            environmentOr("ORVANE_SERIES_DIR", builtIn.seriesDir)};
}

std::string FixedLocations::rb3Brep(int circle) const {
    return rb3BrepDir + "/circle" + std::to_string(circle) + ".brep";
}
std::string FixedLocations::gaussData(int index) const {
    return gaussDataDir + "/guass_data_" + std::to_string(index) + ".txt";
}
std::string FixedLocations::seriesFrame(int frame) const {
    return seriesDir + "/" + seriesFileStem + std::to_string(frame) + ".vtk";
}

} // namespace orvane
