#pragma once

#include <array>
#include <iosfwd>
#include <string>

namespace orvane::resultgen {

// xmin, xmax, ymin, ymax, zmin, zmax.
using Bounds = std::array<double, 6>;

// Points of a structured grid along x, y and z.
struct GridSize {
    int nx = 41;
    int ny = 9;
    int nz = 9;
};

// A cantilever along the longest axis of its bounds, clamped at the lower end
// of that axis and bent by a load at the free end: displacement magnitudes
// grow smoothly from 0 at the clamped end to their largest at the free end.
struct Cantilever {
    explicit Cantilever(const Bounds& bounds);

    // Static displacement and bending stress (von Mises) at a point.
    std::array<double, 3> displacement(const double* point) const;
    double stress(const double* point) const;
    // Mode shape m (0-based) at a point, scaled so that its largest
    // magnitude over the beam is 0.9.
    std::array<double, 3> modeShape(int mode, const double* point) const;
    // Eigenvalue (2 pi f)^2 of mode m.
    double eigenvalue(int mode) const;

    Bounds bounds;
    int axis = 0;    // beam axis
    int bending = 2; // load direction of the static case and of odd modes
    int lateral = 1; // direction of even modes
    double length = 1.0;
    double tip = 0.0; // static tip deflection
};

// A closed box surface of about 12 * (level + 1)^2 triangles, as binary STL.
bool writeBoxSurface(const std::string& stlPath, const Bounds& bounds, int level, std::ostream& diagnostics);

// How mode grids are numbered: as ModelAnsys reads them (mode m in the file
// numbered m + 1, before "0.vts") or as the mode animation reads them (m + 6).
enum class ModeFileNumbering { Load, Animation };

// eigenvalues.txt ("Mode N: VALUE" lines) and the mode grids postprocess10.vts,
// postprocess20.vts, ... (or postprocess60.vts, ... for the animation), each
// with its mode shape as point array 0, the grid's active vectors.
bool writeModalSet(const std::string& resultDir, const Bounds& bounds, int modeCount,
                   std::ostream& diagnostics);
bool writeModalSet(const std::string& resultDir, const Bounds& bounds, int modeCount, const GridSize& size,
                   std::ostream& diagnostics, ModeFileNumbering numbering = ModeFileNumbering::Load);

// Scalar arrays of every series frame, in file order, and its vector array.
extern const char* const seriesScalarNames[3];
extern const char* const seriesVectorName;

// A series of frames box3D_FEMmpData1.vtk ... box3D_FEMmpDataN.vtk in dir
// (created when missing): legacy binary structured grids over the bounds
// carrying the scalars sigma_xx, sigma_yy, sigma_xy and the vectors
// displacement of a beam loaded a little more in every frame (frame k of N
// at k/N of the full load). sigma_xx spans -228.129 to 63.7251 at full load.
bool writeFrameSeries(const std::string& dir, const Bounds& bounds, const GridSize& size, int frameCount,
                      std::ostream& diagnostics);

// A grid with the static displacement (point array 0, three components) and
// the stress (point array 1, one component).
bool writeStaticGrid(const std::string& vtsPath, const Bounds& bounds, const GridSize& size,
                     std::ostream& diagnostics);

// The small static grid of writeStaticGrid in every encoding VTK's XML
// writer has, and as legacy frames, for the readers' robustness tests:
// grid-ascii.vts, grid-binary.vts, grid-appended-raw.vts,
// grid-appended-base64.vts, grid-zlib.vts, grid-lz4.vts, grid-lzma.vts (the
// three compressed ones appended raw, in blocks of 256 bytes, so that their
// block tables have several entries), frame-ascii.vtk and frame-binary.vtk,
// with the model surface model.stl that they span.
bool writeEncodingSamples(const std::string& dir, std::ostream& diagnostics);

// Everything a data root needs to show results of the model surface
// (an STL file; empty for a generated box beam):
//   data/locomotive_bogieassembly_sldasm2.stl, data/postprocess0.vts,
//   data/modelAnsys/unitfcm5-0-1e-10-451/ (eigenvalues, mode grids),
//   data/pointCloud/ (Cord.txt, Deformation.txt), data/mesh/beam.txt,
//   data/stress/ (point and triangle lists, index_point.txt, vonmises.txt).
struct ResultSetOptions {
    std::string surfaceStl;
    Bounds boxBounds{0.0, 200.0, -10.0, 10.0, -10.0, 10.0};
    int boxLevel = 12;
    GridSize grid;
    int modeCount = 3;
    // Also the mode grids numbered for the animation; at most 5 modes, so
    // that the two numberings do not share a file.
    bool animationModeFiles = false;
};
bool writeResultSet(const std::string& root, const ResultSetOptions& options, std::ostream& diagnostics);

} // namespace orvane::resultgen
