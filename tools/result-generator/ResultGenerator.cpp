#include "ResultGenerator.h"

#include <vtkCellArray.h>
#include <vtkCleanPolyData.h>
#include <vtkDoubleArray.h>
#include <vtkIdList.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkSTLReader.h>
#include <vtkSTLWriter.h>
#include <vtkSmartPointer.h>
#include <vtkStructuredGrid.h>
#include <vtkStructuredGridWriter.h>
#include <vtkTessellatedBoxSource.h>
#include <vtkTriangleFilter.h>
#include <vtkXMLStructuredGridReader.h>
#include <vtkXMLStructuredGridWriter.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <locale>
#include <ostream>

namespace fs = std::filesystem;

namespace orvane::resultgen {

namespace {

const char* const modelStem = "locomotive_bogieassembly_sldasm2";
const char* const modalDir = "modelAnsys/unitfcm5-0-1e-10-451";

// beta_m * L of the first cantilever modes.
constexpr double cantileverRoots[] = {1.87510407,  4.69409113,  7.85475744,  10.99554073,
                                      14.13716839, 17.27875953, 20.42035225, 23.56194490};
constexpr int knownModes = static_cast<int>(sizeof(cantileverRoots) / sizeof(cantileverRoots[0]));
constexpr double firstFrequency = 12.5; // Hz
constexpr double youngsModulus = 210000.0;

// Cantilever mode shape at s in [0, 1] (clamped at 0).
double cantileverShape(int mode, double s) {
    const double beta = cantileverRoots[std::min(mode, knownModes - 1)];
    const double sigma = (std::cosh(beta) + std::cos(beta)) / (std::sinh(beta) + std::sin(beta));
    const double x = beta * s;
    return std::cosh(x) - std::cos(x) - sigma * (std::sinh(x) - std::sin(x));
}

// Beyond the free end the beam's last slope continues, so that a grid
// reaching past the tip interpolates the tip values closely.
template <typename Shape> double extended(Shape shape, double s) {
    if (s <= 1.0) {
        return shape(std::max(s, 0.0));
    }
    constexpr double step = 1e-4;
    const double tipValue = shape(1.0);
    return tipValue + (tipValue - shape(1.0 - step)) / step * (s - 1.0);
}

double largestShape(int mode) {
    // Sampled once per mode: grids ask for it at every point.
    static const std::array<double, knownModes> largest = [] {
        std::array<double, knownModes> values{};
        for (int m = 0; m < knownModes; ++m) {
            for (int i = 0; i <= 400; ++i) {
                values[static_cast<std::size_t>(m)] =
                    std::max(values[static_cast<std::size_t>(m)], std::fabs(cantileverShape(m, i / 400.0)));
            }
        }
        return values;
    }();
    return largest[static_cast<std::size_t>(std::min(mode, knownModes - 1))];
}

Bounds withMargin(const Bounds& bounds) {
    const double extent =
        std::max({bounds[1] - bounds[0], bounds[3] - bounds[2], bounds[5] - bounds[4], 1e-9});
    Bounds grown = bounds;
    for (int i = 0; i < 3; ++i) {
        grown[2 * i] -= 0.02 * extent;
        grown[2 * i + 1] += 0.02 * extent;
    }
    return grown;
}

vtkSmartPointer<vtkStructuredGrid> makeGrid(const Bounds& bounds, const GridSize& size) {
    const Bounds box = withMargin(bounds);
    auto points = vtkSmartPointer<vtkPoints>::New();
    points->SetDataTypeToDouble();
    points->SetNumberOfPoints(static_cast<vtkIdType>(size.nx) * size.ny * size.nz);
    vtkIdType id = 0;
    const auto at = [&box](int axis, int i, int n) {
        return box[2 * axis] + (box[2 * axis + 1] - box[2 * axis]) * i / std::max(n - 1, 1);
    };
    for (int k = 0; k < size.nz; ++k) {
        for (int j = 0; j < size.ny; ++j) {
            for (int i = 0; i < size.nx; ++i) {
                points->SetPoint(id++, at(0, i, size.nx), at(1, j, size.ny), at(2, k, size.nz));
            }
        }
    }
    auto grid = vtkSmartPointer<vtkStructuredGrid>::New();
    grid->SetDimensions(size.nx, size.ny, size.nz);
    grid->SetPoints(points);
    return grid;
}

vtkSmartPointer<vtkDoubleArray>
vectorField(vtkPoints* points, const char* name,
            const std::function<std::array<double, 3>(const double*)>& field) {
    auto array = vtkSmartPointer<vtkDoubleArray>::New();
    array->SetName(name);
    array->SetNumberOfComponents(3);
    array->SetNumberOfTuples(points->GetNumberOfPoints());
    double point[3];
    for (vtkIdType i = 0; i < points->GetNumberOfPoints(); ++i) {
        points->GetPoint(i, point);
        const std::array<double, 3> value = field(point);
        array->SetTypedTuple(i, value.data());
    }
    return array;
}

bool writeGrid(vtkStructuredGrid* grid, const std::string& path, std::ostream& diagnostics) {
    auto writer = vtkSmartPointer<vtkXMLStructuredGridWriter>::New();
    writer->SetFileName(path.c_str());
    writer->SetInputData(grid);
    writer->SetDataModeToAppended();
    writer->EncodeAppendedDataOff();
    writer->SetCompressorTypeToNone();
    if (writer->Write() != 1) {
        diagnostics << "orvane-result-generator: cannot write " << path << "\n";
        return false;
    }
    return true;
}

// A text file in the C locale with enough digits to round-trip the values.
bool writeText(const std::string& path, const std::function<void(std::ostream&)>& body,
               std::ostream& diagnostics) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.imbue(std::locale::classic());
    file.precision(10);
    body(file);
    file.close();
    if (!file) {
        diagnostics << "orvane-result-generator: cannot write " << path << "\n";
        return false;
    }
    return true;
}

vtkSmartPointer<vtkPolyData> readSurface(const std::string& stlPath, std::ostream& diagnostics) {
    auto reader = vtkSmartPointer<vtkSTLReader>::New();
    reader->SetFileName(stlPath.c_str());
    reader->Update();
    vtkSmartPointer<vtkPolyData> surface = reader->GetOutput();
    if (surface->GetNumberOfPoints() == 0) {
        diagnostics << "orvane-result-generator: no triangles in " << stlPath << "\n";
        return nullptr;
    }
    return surface;
}

} // namespace

Cantilever::Cantilever(const Bounds& box) : bounds(box) {
    const double extents[3] = {box[1] - box[0], box[3] - box[2], box[5] - box[4]};
    axis = static_cast<int>(std::max_element(extents, extents + 3) - extents);
    bending = axis == 2 ? 0 : 2;
    lateral = 3 - axis - bending;
    length = std::max(extents[axis], 1e-9);
    tip = 0.02 * length;
}

std::array<double, 3> Cantilever::displacement(const double* point) const {
    const double s = (point[axis] - bounds[2 * axis]) / length;
    const double centre = 0.5 * (bounds[2 * bending] + bounds[2 * bending + 1]);
    // Tip-loaded cantilever: w = tip * s^2 (3 - s) / 2; sections turn with w'.
    const double deflection = extended([this](double t) { return tip * t * t * (3.0 - t) / 2.0; }, s);
    const double slope = tip * 1.5 * std::clamp(s, 0.0, 1.0) * (2.0 - std::clamp(s, 0.0, 1.0)) / length;
    std::array<double, 3> u{0.0, 0.0, 0.0};
    u[static_cast<std::size_t>(bending)] = deflection;
    u[static_cast<std::size_t>(axis)] = -(point[bending] - centre) * slope;
    return u;
}

double Cantilever::stress(const double* point) const {
    const double s = std::clamp((point[axis] - bounds[2 * axis]) / length, 0.0, 1.0);
    const double centre = 0.5 * (bounds[2 * bending] + bounds[2 * bending + 1]);
    const double curvature = 3.0 * tip * (1.0 - s) / (length * length);
    return std::fabs(youngsModulus * (point[bending] - centre) * curvature);
}

std::array<double, 3> Cantilever::modeShape(int mode, const double* point) const {
    const double s = (point[axis] - bounds[2 * axis]) / length;
    const double value =
        0.9 * extended([mode](double t) { return cantileverShape(mode, t); }, s) / largestShape(mode);
    std::array<double, 3> v{0.0, 0.0, 0.0};
    v[static_cast<std::size_t>(mode % 2 == 0 ? bending : lateral)] = value;
    return v;
}

double Cantilever::eigenvalue(int mode) const {
    const double ratio = cantileverRoots[std::min(mode, knownModes - 1)] / cantileverRoots[0];
    const double frequency =
        firstFrequency * ratio * ratio * (1.0 + 0.05 * std::max(0, mode - knownModes + 1));
    const double omega = 2.0 * M_PI * frequency;
    return omega * omega;
}

bool writeBoxSurface(const std::string& stlPath, const Bounds& bounds, int level, std::ostream& diagnostics) {
    auto box = vtkSmartPointer<vtkTessellatedBoxSource>::New();
    box->SetBounds(bounds.data());
    box->SetLevel(std::max(level, 0));
    box->QuadsOff();
    auto writer = vtkSmartPointer<vtkSTLWriter>::New();
    writer->SetInputConnection(box->GetOutputPort());
    writer->SetFileName(stlPath.c_str());
    writer->SetFileTypeToBinary();
    if (writer->Write() != 1) {
        diagnostics << "orvane-result-generator: cannot write " << stlPath << "\n";
        return false;
    }
    return true;
}

bool writeModalSet(const std::string& resultDir, const Bounds& bounds, int modeCount,
                   std::ostream& diagnostics) {
    return writeModalSet(resultDir, bounds, modeCount, GridSize{}, diagnostics);
}

bool writeModalSet(const std::string& resultDir, const Bounds& bounds, int modeCount, const GridSize& size,
                   std::ostream& diagnostics, ModeFileNumbering numbering) {
    const int firstFileNumber = numbering == ModeFileNumbering::Animation ? 6 : 1;
    const Cantilever beam(bounds);
    const bool eigenvaluesWritten = writeText(
        resultDir + "/eigenvalues.txt",
        [&](std::ostream& out) {
            out.precision(17);
            out << "Eigenvalues of the clamped beam\n";
            for (int m = 0; m < modeCount; ++m) {
                out << "Mode " << m + 1 << ": " << beam.eigenvalue(m) << "\n";
            }
        },
        diagnostics);
    if (!eigenvaluesWritten) {
        return false;
    }
    for (int m = 0; m < modeCount; ++m) {
        vtkSmartPointer<vtkStructuredGrid> grid = makeGrid(bounds, size);
        auto shape = vectorField(grid->GetPoints(), "Displacement",
                                 [&](const double* p) { return beam.modeShape(m, p); });
        grid->GetPointData()->SetVectors(shape);
        if (!writeGrid(grid, resultDir + "/postprocess" + std::to_string(m + firstFileNumber) + "0.vts",
                       diagnostics)) {
            return false;
        }
    }
    return true;
}

const char* const seriesScalarNames[3] = {"sigma_xx", "sigma_yy", "sigma_xy"};
const char* const seriesVectorName = "displacement";

namespace {

// Legacy binary files hold big-endian values.
void putBigEndian(std::string& out, float value) {
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<char>((bits >> shift) & 0xffu));
    }
}

} // namespace

bool writeFrameSeries(const std::string& dir, const Bounds& bounds, const GridSize& size, int frameCount,
                      std::ostream& diagnostics) {
    std::error_code error;
    fs::create_directories(dir, error);
    if (error) {
        diagnostics << "orvane-result-generator: cannot create " << dir << ": " << error.message() << "\n";
        return false;
    }
    const Cantilever beam(bounds);
    vtkSmartPointer<vtkStructuredGrid> grid = makeGrid(bounds, size);
    const vtkIdType count = grid->GetNumberOfPoints();
    const double centre = 0.5 * (bounds[2 * beam.bending] + bounds[2 * beam.bending + 1]);
    const double half = std::max(0.5 * (bounds[2 * beam.bending + 1] - bounds[2 * beam.bending]), 1e-9);
    for (int frame = 1; frame <= frameCount; ++frame) {
        const double load = static_cast<double>(frame) / frameCount;
        std::string points;
        std::string xx;
        std::string yy;
        std::string xy;
        std::string moved;
        double p[3];
        for (vtkIdType i = 0; i < count; ++i) {
            grid->GetPoint(i, p);
            const double s = std::clamp((p[beam.axis] - bounds[2 * beam.axis]) / beam.length, 0.0, 1.0);
            const double zeta = std::clamp((p[beam.bending] - centre) / half, -1.0, 1.0);
            for (int c = 0; c < 3; ++c) {
                putBigEndian(points, static_cast<float>(p[c]));
            }
            // Bending stress, tension on top, largest at the clamp.
            putBigEndian(xx, static_cast<float>(load * (1.0 - s) * zeta * (zeta >= 0 ? 63.7251 : 228.129)));
            putBigEndian(yy, static_cast<float>(load * 50.0 * std::sin(M_PI * s) * (1.0 - zeta * zeta)));
            putBigEndian(xy, static_cast<float>(load * 20.0 * (1.0 - zeta * zeta)));
            const std::array<double, 3> u = beam.displacement(p);
            for (int c = 0; c < 3; ++c) {
                putBigEndian(moved, static_cast<float>(load * u[static_cast<std::size_t>(c)]));
            }
        }
        const std::string path = dir + "/box3D_FEMmpData" + std::to_string(frame) + ".vtk";
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        file << "# vtk DataFile Version 3.0\nbox3D frame " << frame << "\nBINARY\nDATASET STRUCTURED_GRID\n"
             << "DIMENSIONS " << size.nx << " " << size.ny << " " << size.nz << "\n"
             << "POINTS " << count << " float\n"
             << points << "\nPOINT_DATA " << count << "\n";
        const std::string* scalars[] = {&xx, &yy, &xy};
        for (int a = 0; a < 3; ++a) {
            file << "SCALARS " << seriesScalarNames[a] << " float 1\nLOOKUP_TABLE default\n"
                 << *scalars[a] << "\n";
        }
        file << "VECTORS " << seriesVectorName << " float\n" << moved << "\n";
        file.close();
        if (!file) {
            diagnostics << "orvane-result-generator: cannot write " << path << "\n";
            return false;
        }
    }
    return true;
}

bool writeStaticGrid(const std::string& vtsPath, const Bounds& bounds, const GridSize& size,
                     std::ostream& diagnostics) {
    const Cantilever beam(bounds);
    vtkSmartPointer<vtkStructuredGrid> grid = makeGrid(bounds, size);
    grid->GetPointData()->AddArray(vectorField(grid->GetPoints(), "Displacement",
                                               [&](const double* p) { return beam.displacement(p); }));
    auto stress = vtkSmartPointer<vtkDoubleArray>::New();
    stress->SetName("VonMises");
    stress->SetNumberOfTuples(grid->GetNumberOfPoints());
    double point[3];
    for (vtkIdType i = 0; i < grid->GetNumberOfPoints(); ++i) {
        grid->GetPoint(i, point);
        stress->SetValue(i, beam.stress(point));
    }
    grid->GetPointData()->AddArray(stress);
    return writeGrid(grid, vtsPath, diagnostics);
}

bool writeEncodingSamples(const std::string& dir, std::ostream& diagnostics) {
    std::error_code error;
    fs::create_directories(dir, error);
    const Bounds bounds{0.0, 200.0, -10.0, 10.0, -10.0, 10.0};
    const GridSize size{5, 3, 3};
    const std::string staticPath = dir + "/grid-appended-raw.vts";
    if (error || !writeStaticGrid(staticPath, bounds, size, diagnostics) ||
        !writeBoxSurface(dir + "/model.stl", bounds, 1, diagnostics)) {
        diagnostics << "orvane-result-generator: cannot write the samples into " << dir << "\n";
        return false;
    }
    auto reader = vtkSmartPointer<vtkXMLStructuredGridReader>::New();
    reader->SetFileName(staticPath.c_str());
    reader->Update();
    vtkStructuredGrid* grid = reader->GetOutput();
    struct Encoding {
        const char* name;
        int dataMode;
        bool encoded;
        int compressor;
    };
    const Encoding encodings[] = {
        {"ascii", vtkXMLWriter::Ascii, false, vtkXMLWriter::NONE},
        {"binary", vtkXMLWriter::Binary, true, vtkXMLWriter::NONE},
        {"appended-base64", vtkXMLWriter::Appended, true, vtkXMLWriter::NONE},
        {"zlib", vtkXMLWriter::Appended, false, vtkXMLWriter::ZLIB},
        {"lz4", vtkXMLWriter::Appended, false, vtkXMLWriter::LZ4},
        {"lzma", vtkXMLWriter::Appended, false, vtkXMLWriter::LZMA},
    };
    for (const Encoding& encoding : encodings) {
        auto writer = vtkSmartPointer<vtkXMLStructuredGridWriter>::New();
        const std::string path = dir + "/grid-" + encoding.name + ".vts";
        writer->SetFileName(path.c_str());
        writer->SetInputData(grid);
        writer->SetDataMode(encoding.dataMode);
        writer->SetEncodeAppendedData(encoding.encoded);
        writer->SetCompressorType(encoding.compressor);
        writer->SetBlockSize(256);
        if (writer->Write() != 1) {
            diagnostics << "orvane-result-generator: cannot write " << path << "\n";
            return false;
        }
    }
    for (const bool ascii : {true, false}) {
        auto writer = vtkSmartPointer<vtkStructuredGridWriter>::New();
        const std::string path = dir + (ascii ? "/frame-ascii.vtk" : "/frame-binary.vtk");
        writer->SetFileName(path.c_str());
        writer->SetInputData(grid);
        writer->SetFileType(ascii ? VTK_ASCII : VTK_BINARY);
        if (writer->Write() != 1) {
            diagnostics << "orvane-result-generator: cannot write " << path << "\n";
            return false;
        }
    }
    return true;
}

bool writeResultSet(const std::string& root, const ResultSetOptions& options, std::ostream& diagnostics) {
    const fs::path data = fs::path(root) / "data";
    std::error_code error;
    for (const char* sub : {modalDir, "pointCloud", "mesh", "stress"}) {
        fs::create_directories(data / sub, error);
        if (error) {
            diagnostics << "orvane-result-generator: cannot create " << (data / sub).string() << ": "
                        << error.message() << "\n";
            return false;
        }
    }
    const std::string modelStl = (data / (std::string(modelStem) + ".stl")).string();
    if (options.surfaceStl.empty()) {
        if (!writeBoxSurface(modelStl, options.boxBounds, options.boxLevel, diagnostics)) {
            return false;
        }
    } else {
        vtkSmartPointer<vtkPolyData> given = readSurface(options.surfaceStl, diagnostics);
        if (!given) {
            return false;
        }
        auto writer = vtkSmartPointer<vtkSTLWriter>::New();
        writer->SetInputData(given);
        writer->SetFileName(modelStl.c_str());
        writer->SetFileTypeToBinary();
        if (writer->Write() != 1) {
            diagnostics << "orvane-result-generator: cannot write " << modelStl << "\n";
            return false;
        }
    }

    vtkSmartPointer<vtkPolyData> surface = readSurface(modelStl, diagnostics);
    if (!surface) {
        return false;
    }
    Bounds bounds{};
    surface->GetBounds(bounds.data());
    const Cantilever beam(bounds);

    if (!writeStaticGrid((data / "postprocess0.vts").string(), bounds, options.grid, diagnostics) ||
        !writeModalSet((data / modalDir).string(), bounds, options.modeCount, options.grid, diagnostics)) {
        return false;
    }
    if (options.animationModeFiles) {
        if (options.modeCount > 5) {
            diagnostics << "orvane-result-generator: with more than 5 modes the animation's mode files "
                           "would replace those of ModelAnsys\n";
            return false;
        }
        if (!writeModalSet((data / modalDir).string(), bounds, options.modeCount, options.grid, diagnostics,
                           ModeFileNumbering::Animation)) {
            return false;
        }
    }

    // The surface with shared points, as the mesher's point and triangle lists.
    auto clean = vtkSmartPointer<vtkCleanPolyData>::New();
    clean->SetInputData(surface);
    auto triangles = vtkSmartPointer<vtkTriangleFilter>::New();
    triangles->SetInputConnection(clean->GetOutputPort());
    triangles->Update();
    vtkPolyData* mesh = triangles->GetOutput();
    const vtkIdType pointCount = mesh->GetNumberOfPoints();

    const auto eachPoint = [&](const std::function<void(std::ostream&, const double*)>& line) {
        return [&, line](std::ostream& out) {
            double point[3];
            for (vtkIdType i = 0; i < pointCount; ++i) {
                mesh->GetPoint(i, point);
                line(out, point);
            }
        };
    };
    const fs::path stress = data / "stress";
    const fs::path cloud = data / "pointCloud";
    const bool tablesWritten =
        writeText((stress / (std::string(modelStem) + ".pts")).string(),
                  eachPoint([](std::ostream& out, const double* p) {
                      out << p[0] << " " << p[1] << " " << p[2] << "\n";
                  }),
                  diagnostics) &&
        writeText((stress / (std::string(modelStem) + ".tri")).string(),
                  [&](std::ostream& out) {
                      auto ids = vtkSmartPointer<vtkIdList>::New();
                      for (vtkIdType c = 0; c < mesh->GetNumberOfCells(); ++c) {
                          mesh->GetCellPoints(c, ids);
                          if (ids->GetNumberOfIds() == 3) {
                              out << ids->GetId(0) + 1 << " " << ids->GetId(1) + 1 << " " << ids->GetId(2) + 1
                                  << "\n";
                          }
                      }
                  },
                  diagnostics) &&
        writeText((stress / "index_point.txt").string(),
                  [&](std::ostream& out) {
                      for (vtkIdType i = 0; i < pointCount; ++i) {
                          out << i << "\n";
                      }
                  },
                  diagnostics) &&
        writeText((stress / "vonmises.txt").string(),
                  eachPoint([&](std::ostream& out, const double* p) { out << beam.stress(p) << "\n"; }),
                  diagnostics) &&
        writeText((cloud / "Cord.txt").string(), eachPoint([](std::ostream& out, const double* p) {
                      out << p[0] << " " << p[1] << " " << p[2] << "\n";
                  }),
                  diagnostics) &&
        writeText((cloud / "Deformation.txt").string(), eachPoint([&](std::ostream& out, const double* p) {
                      const std::array<double, 3> u = beam.displacement(p);
                      out << u[0] << " " << u[1] << " " << u[2] << "\n";
                  }),
                  diagnostics);
    if (!tablesWritten) {
        return false;
    }

    // A line mesh of the beam: its axis and one edge, joined by posts.
    return writeText((data / "mesh" / "beam.txt").string(),
                     [&](std::ostream& out) {
                         constexpr int stations = 11;
                         out << "$Points\n";
                         for (int edge = 0; edge < 2; ++edge) {
                             for (int i = 0; i < stations; ++i) {
                                 double p[3] = {0.5 * (bounds[0] + bounds[1]), 0.5 * (bounds[2] + bounds[3]),
                                                0.5 * (bounds[4] + bounds[5])};
                                 p[beam.axis] = bounds[2 * beam.axis] + beam.length * i / (stations - 1);
                                 if (edge == 1) {
                                     p[beam.bending] = bounds[2 * beam.bending + 1];
                                 }
                                 out << p[0] << " " << p[1] << " " << p[2] << "\n";
                             }
                         }
                         out << "\n$line\n";
                         for (int edge = 0; edge < 2; ++edge) {
                             for (int i = 0; i + 1 < stations; ++i) {
                                 out << edge * stations + i << " " << edge * stations + i + 1 << "\n";
                             }
                         }
                         for (int i = 0; i < stations; ++i) {
                             out << i << " " << stations + i << "\n";
                         }
                         out << "$End\n";
                     },
                     diagnostics);
}

} // namespace orvane::resultgen
