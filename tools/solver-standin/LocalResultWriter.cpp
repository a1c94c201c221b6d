#include "LocalResultWriter.h"

#include <cmath>
#include <fstream>

namespace standin {

namespace {

constexpr int gridSide = 4; // points per axis
constexpr double pi = 3.14159265358979323846;

double along(const std::array<double, 6>& bounds, int axis, int i) {
    return bounds[2 * axis] + (bounds[2 * axis + 1] - bounds[2 * axis]) * i / (gridSide - 1);
}

bool writeModeGrid(const std::string& path, const std::array<double, 6>& bounds, int mode) {
    std::ofstream out(path);
    const int last = gridSide - 1;
    const std::string extent =
        "0 " + std::to_string(last) + " 0 " + std::to_string(last) + " 0 " + std::to_string(last);
    out << "<?xml version=\"1.0\"?>\n"
        << "<VTKFile type=\"StructuredGrid\" version=\"0.1\" byte_order=\"LittleEndian\">\n"
        << "<StructuredGrid WholeExtent=\"" << extent << "\">\n<Piece Extent=\"" << extent << "\">\n"
        << "<PointData Vectors=\"Displacement\">\n"
        << "<DataArray type=\"Float64\" Name=\"Displacement\" NumberOfComponents=\"3\" format=\"ascii\">\n";
    out.precision(17);
    for (int k = 0; k < gridSide; ++k) {
        for (int j = 0; j < gridSide; ++j) {
            for (int i = 0; i < gridSide; ++i) {
                // A bending shape with mode + 1 half waves along x.
                const double s = std::sin((mode + 1) * pi * i / last);
                out << 0.0 << ' ' << 0.1 * s << ' ' << 0.05 * s * (k + 1) << '\n';
            }
        }
    }
    out << "</DataArray>\n</PointData>\n<CellData>\n</CellData>\n<Points>\n"
        << "<DataArray type=\"Float64\" NumberOfComponents=\"3\" format=\"ascii\">\n";
    for (int k = 0; k < gridSide; ++k) {
        for (int j = 0; j < gridSide; ++j) {
            for (int i = 0; i < gridSide; ++i) {
                out << along(bounds, 0, i) << ' ' << along(bounds, 1, j) << ' ' << along(bounds, 2, k)
                    << '\n';
            }
        }
    }
    out << "</DataArray>\n</Points>\n</Piece>\n</StructuredGrid>\n</VTKFile>\n";
    return static_cast<bool>(out);
}

} // namespace

bool writeModalSet(const std::string& resultDir, const std::array<double, 6>& bounds, int modeCount,
                   std::ostream& diagnostics) {
    std::ofstream eigenvalues(resultDir + "/eigenvalues.txt");
    eigenvalues.precision(10);
    for (int mode = 0; mode < modeCount; ++mode) {
        const double frequency = 12.5 * (mode + 1) * (mode + 1);
        eigenvalues << "Mode " << (mode + 1) << ": " << std::pow(2.0 * pi * frequency, 2) << '\n';
        const std::string grid = resultDir + "/postprocess" + std::to_string(mode + 1) + "0.vts";
        if (!writeModeGrid(grid, bounds, mode)) {
            diagnostics << "cannot write " << grid << '\n';
            return false;
        }
    }
    if (!eigenvalues) {
        diagnostics << "cannot write " << resultDir << "/eigenvalues.txt\n";
        return false;
    }
    return true;
}

} // namespace standin
