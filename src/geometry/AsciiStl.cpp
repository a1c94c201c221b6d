#include "geometry/AsciiStl.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <utility>

namespace orvane {

namespace {

// More than the longest facet: twelve numbers of at most 14 characters
// ("-1.797693e+308") and the keywords.
constexpr std::size_t longestFacet = 512;

// A separating space and printf's "% 12e": a space where there is no minus
// sign, six digits after the point. A finite number is never narrower than
// 12 characters, so the width only pads "inf" and "nan", which printf
// formats itself.
char* putNumber(char* at, double value) {
    *at++ = ' ';
    if (!std::isfinite(value)) {
        return at + std::snprintf(at, 16, "% 12e", value);
    }
    if (!std::signbit(value)) {
        *at++ = ' ';
    }
    return std::to_chars(at, at + 16, value, std::chars_format::scientific, 6).ptr;
}

char* putText(char* at, const char* text) {
    const std::size_t size = std::strlen(text);
    std::memcpy(at, text, size);
    return at + size;
}

char* putPoint(char* at, const char* keyword, const Point3& point) {
    at = putText(at, keyword);
    for (const double coordinate : point) {
        at = putNumber(at, coordinate);
    }
    return putText(at, "\n");
}

} // namespace

AsciiStlWriter::AsciiStlWriter(const std::string& path) : file_(path) {
    // The space after "solid" is what OpenCASCADE writes, for readers that
    // need it.
    file_.append("solid \n");
}

void AsciiStlWriter::addFacet(const Point3& a, const Point3& b, const Point3& c) {
    // The operations and their order are those of OpenCASCADE's gp_Vec, so
    // that the normal comes out bit for bit the same.
    const double ux = b[0] - a[0];
    const double uy = b[1] - a[1];
    const double uz = b[2] - a[2];
    const double vx = c[0] - a[0];
    const double vy = c[1] - a[1];
    const double vz = c[2] - a[2];
    Point3 normal{uy * vz - uz * vy, uz * vx - ux * vz, ux * vy - uy * vx};
    const double square = normal[0] * normal[0] + normal[1] * normal[1] + normal[2] * normal[2];
    if (square > std::numeric_limits<double>::min()) {
        const double length = std::sqrt(square);
        for (double& coordinate : normal) {
            coordinate /= length;
        }
    } else {
        normal = {0.0, 0.0, 0.0};
    }
    char* at = file_.reserve(longestFacet);
    at = putPoint(at, " facet normal", normal);
    at = putText(at, "   outer loop\n");
    at = putPoint(at, "     vertex", a);
    at = putPoint(at, "     vertex", b);
    at = putPoint(at, "     vertex", c);
    file_.advance(putText(at, "   endloop\n endfacet\n"));
}

std::optional<std::string> AsciiStlWriter::finish() {
    file_.append("endsolid\n");
    if (std::optional<std::string> problem = file_.finish()) {
        return "the STL writer failed: " + *problem;
    }
    return std::nullopt;
}

std::optional<std::string> writeAsciiStl(const std::vector<MeshFace>& faces, const std::string& path) {
    AsciiStlWriter file(path);
    for (const MeshFace& face : faces) {
        const auto nodeCount = static_cast<int>(face.nodes.size());
        for (std::array<int, 3> corners : face.triangles) {
            if (face.reversed) {
                std::swap(corners[1], corners[2]);
            }
            for (const int corner : corners) {
                if (corner < 1 || corner > nodeCount) {
                    return "a triangle refers to node " + std::to_string(corner) + " of " +
                           std::to_string(nodeCount);
                }
            }
            file.addFacet(face.nodes[static_cast<std::size_t>(corners[0] - 1)],
                          face.nodes[static_cast<std::size_t>(corners[1] - 1)],
                          face.nodes[static_cast<std::size_t>(corners[2] - 1)]);
        }
    }
    return file.finish();
}

} // namespace orvane
