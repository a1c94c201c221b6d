#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>

namespace orvane {

// Checks made on result files before a VTK reader sees them. VTK's readers
// trust what a file declares (array types, component counts, block tables,
// extents) and crash, hang or allocate without bound on hostile values, so
// every value they would act on is checked against the file itself first.
// Each returns nullopt for a file the reader may be given, or a short reason.

// Components a result array may have: up to a full 3 x 3 tensor.
constexpr int maxResultComponents = 9;

// A VTK XML structured grid (".vts") of fileBytes bytes, read from in (which
// must be seekable): the element structure (VTKFile of type StructuredGrid,
// StructuredGrid, Piece, PointData, CellData, Points, FieldData, DataArray,
// AppendedData), the file attributes (byte_order, header_type, compressor),
// the extents (within maxPoints), every array's type (a number type),
// NumberOfComponents (1 to maxResultComponents, 3 for the points), format and
// offset, and its data: the ASCII values it must hold, and for binary and
// appended data the size header or the compressed block table against the
// bytes the array must hold and the bytes the file has.
std::optional<std::string> structuredGridFileProblem(std::istream& in, std::uint64_t fileBytes,
                                                     double maxPoints);

// A legacy VTK file (as the series frames are) whose keyword structure does
// not hold over the whole file: walking it as the reader does, every
// keyword must be one the reader knows in a place it takes it, every data
// block (ASCII values or binary bytes, as the declared count and type need)
// must be there in full, and what follows a block must be the next keyword.
// Declared counts are bounded by the file's size on the way. Binary arrays
// of strings or bits are refused; the frames hold numbers.
std::optional<std::string> legacyVtkStructureProblem(std::istream& in, std::uint64_t fileBytes);

} // namespace orvane
