// The checks made before VTK parses a result file, on files VTK itself wrote
// in every encoding, and on the hostile variants that crashed or hung the
// readers.

#include "ResultGenerator.h"
#include "results/GridFileChecks.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;
namespace gen = orvane::resultgen;

namespace {

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string gridProblem(const std::string& bytes) {
    std::istringstream in(bytes);
    return orvane::structuredGridFileProblem(in, bytes.size(), 1e8).value_or("");
}

std::string frameProblem(const std::string& bytes) {
    std::istringstream in(bytes);
    return orvane::legacyVtkStructureProblem(in, bytes.size()).value_or("");
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

class ResultFileChecks : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("orvane-file-checks-" + std::to_string(::getpid()));
        std::ostringstream diagnostics;
        ASSERT_TRUE(gen::writeEncodingSamples(dir.string(), diagnostics)) << diagnostics.str();
    }
    void TearDown() override { fs::remove_all(dir); }
    fs::path dir;
};

} // namespace

TEST_F(ResultFileChecks, GridsInEveryEncodingPassAndHostileHeadersAreRefused) {
    for (const char* encoding :
         {"ascii", "binary", "appended-raw", "appended-base64", "zlib", "lz4", "lzma"}) {
        const std::string grid = slurp(dir / (std::string("grid-") + encoding + ".vts"));
        EXPECT_EQ(gridProblem(grid), "") << encoding;
        // Cut short anywhere in its data, no encoding passes.
        EXPECT_NE(gridProblem(grid.substr(0, grid.size() * 3 / 4)), "") << encoding;
        EXPECT_NE(
            gridProblem(replaced(grid, "type=\"Float64\"", "type=\"String\"")).find("not a number type"),
            std::string::npos)
            << encoding;
        EXPECT_NE(
            gridProblem(replaced(grid, "NumberOfComponents=\"3\"", "NumberOfComponents=\"2147483647\"")), "")
            << encoding;
    }

    const std::string zlib = slurp(dir / "grid-zlib.vts");
    const std::size_t data = zlib.find('_', zlib.find("<AppendedData")) + 1;
    std::string noBlocks = zlib;
    noBlocks.replace(data, 4, std::string(4, '\0'));
    EXPECT_EQ(gridProblem(noBlocks),
              "array 'Displacement': its compression header declares 0 blocks of 256 bytes");
    std::string longTable = zlib;
    longTable.replace(data, 4, std::string("\xff\xff\xff\x0f", 4));
    EXPECT_NE(gridProblem(longTable), "");
    // The same bytes read with 8-byte header words declare a vast array.
    const std::string lzma = slurp(dir / "grid-lzma.vts");
    EXPECT_NE(gridProblem(replaced(lzma, "header_type=\"UInt32\"", "header_type=\"UInt64\"")), "");
    EXPECT_NE(gridProblem(replaced(lzma, "header_type=\"UInt32\"", "header_type=\"UInt16\"")), "");
    EXPECT_NE(gridProblem(replaced(lzma, "LittleEndian", "BigEndian")), "");

    const std::string ascii = slurp(dir / "grid-ascii.vts");
    EXPECT_EQ(gridProblem(replaced(ascii, "WholeExtent=\"0 4 0 2 0 2\"", "WholeExtent=\"0 4 0 2 0\"")),
              "WholeExtent is not six whole numbers");
    EXPECT_EQ(gridProblem(replaced(ascii, "<Piece Extent=\"0 4 0 2 0 2\"", "<Piece Extent=\"0 5 0 2 0 2\"")),
              "a piece's Extent reaches outside the WholeExtent");
    EXPECT_EQ(gridProblem(replaced(ascii, "<PointData>", "<PointData><Piece Extent=\"0 0 0 0 0 0\">")),
              "element Piece inside PointData is not part of a structured grid file");
    EXPECT_EQ(gridProblem(replaced(ascii, "</Points>", "")), "closing tag Piece does not match Points");
    EXPECT_EQ(gridProblem(replaced(ascii, "format=\"ascii\"", "format=\"appended\" offset=\"0\"")),
              "arrays name appended data but the file has none");
    EXPECT_EQ(gridProblem(replaced(ascii, "type=\"StructuredGrid\"", "type=\"ImageData\"")),
              "the file's type is 'ImageData', not StructuredGrid");

    const std::string base64 = slurp(dir / "grid-appended-base64.vts");
    EXPECT_NE(gridProblem(replaced(base64, "offset=\"0\"", "offset=\"999999\"")), "");
}

TEST_F(ResultFileChecks, LegacyFramesPassAndBrokenStructureIsRefused) {
    ASSERT_TRUE(gen::writeFrameSeries((dir / "series").string(), {0, 200, -10, 10, -10, 10}, {4, 3, 2}, 1,
                                      std::cerr));
    const std::string series = slurp(dir / "series/box3D_FEMmpData1.vtk");
    for (const std::string& frame :
         {slurp(dir / "frame-ascii.vtk"), slurp(dir / "frame-binary.vtk"), series}) {
        EXPECT_EQ(frameProblem(frame), "") << frame.substr(0, 120);
    }
    // A FIELD line inside the binary points: the points' bytes take the
    // line's start, and the next keyword is not where it must be.
    const std::size_t points = series.find("float\n", series.find("POINTS")) + 6;
    EXPECT_NE(frameProblem(std::string(series).insert(points + 20, "FIELD FieldData 1\n")), "");
    EXPECT_EQ(frameProblem(series.substr(0, series.size() - 10)),
              "the file ends inside the binary data of VECTORS");

    const std::string ascii = slurp(dir / "frame-ascii.vtk");
    EXPECT_NE(frameProblem(replaced(ascii, "DATASET STRUCTURED_GRID", "DATASET STRUCTURED_GRIDS")), "");
    EXPECT_NE(frameProblem(replaced(ascii, "POINTS 45", "POINTS 46")), "");
    EXPECT_NE(frameProblem(replaced(ascii, "POINT_DATA 45", "POINT_DATA 44")), "");
    EXPECT_NE(frameProblem(replaced(ascii, "DIMENSIONS", "CELL_TYPES")), "");
    EXPECT_NE(frameProblem(replaced(ascii, "double", "string")).find("holds strings"), std::string::npos);
    // Values the reader's stream extraction fails on: the metadata read then crashed.
    EXPECT_EQ(frameProblem(replaced(ascii, "4.1199999996 0 0 0", "4.1199999996 inf 0 0")),
              "field array Displacement holds 'inf', not a value of type double");
    EXPECT_NE(frameProblem(replaced(ascii, "4.1199999996 0 0 0", "4.1199999996 1e400 0 0")), "");
    // A line inside an array's information block: the metadata read crashed.
    EXPECT_EQ(frameProblem(replaced(ascii, "LOCATION vtkDataArray\nDATA 2 0",
                                    "LOCATION vtkDataArray\nendsolid\nDATA 2 0")),
              "METADATA holds 'endsolid' out of place");
}
