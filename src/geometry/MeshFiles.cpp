#include "geometry/MeshFiles.h"

#include "app/CheckedFile.h"
#include "app/FileChecks.h"
#include "app/TemporarySibling.h"

#include <charconv>
#include <functional>
#include <iostream>
#include <locale>
#include <optional>
#include <sstream>

namespace orvane {

namespace {

bool commit(TemporarySibling& file, std::ostream& diagnostics) {
    if (const std::optional<std::string> why = file.commit()) {
        diagnostics << "cannot replace " << file.target() << ": " << *why << '\n';
        return false;
    }
    return true;
}

// The number as a default-formatted C++ stream writes it: printf's "%g",
// which std::to_chars gives exactly and without a locale.
char* putStreamDefault(char* at, double value) {
    return std::to_chars(at, at + 32, value, std::chars_format::general, 6).ptr;
}

// Writes a file through `put` and reports a failure naming shownPath.
bool writeChecked(const std::string& path, const std::string& shownPath,
                  const std::function<void(CheckedFile&)>& put) {
    CheckedFile file(path);
    put(file);
    if (const std::optional<std::string> problem = file.finish()) {
        std::cerr << "cannot write " << shownPath << ": " << *problem << '\n';
        return false;
    }
    return true;
}

} // namespace

std::string pointTriangleBase(const std::string& stlPath) {
    const std::string::size_type dot = stlPath.rfind('.');
    return dot == std::string::npos ? stlPath : stlPath.substr(0, dot);
}

std::string formatStreamDefault(double value) {
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << value;
    return out.str();
}

bool writePointTriangleFiles(const std::string& base, const std::vector<MeshFace>& faces,
                             std::ostream& console) {
    const std::string pointPath = base + ".pts";
    const std::string trianglePath = base + ".tri";
    for (const std::string* path : {&pointPath, &trianglePath}) {
        if (std::optional<std::string> problem = replaceableFileProblem(*path)) {
            std::cerr << "cannot write " << *path << ": " << *problem << '\n';
            return false;
        }
    }
    for (const MeshFace& face : faces) {
        if (!face.triangulated) {
            console << "triFace is Null\n";
        }
    }

    // Lines of at most three numbers of 13 characters ("-1.23457e+308") each.
    constexpr std::size_t longestLine = 64;
    TemporarySibling pointFile(pointPath);
    const bool pointsWritten = writeChecked(pointFile.path(), pointPath, [&](CheckedFile& points) {
        for (const MeshFace& face : faces) {
            if (!face.triangulated) {
                continue;
            }
            for (const Point3& node : face.nodes) {
                char* at = points.reserve(longestLine);
                at = putStreamDefault(at, node[0]);
                *at++ = ' ';
                at = putStreamDefault(at, node[1]);
                *at++ = ' ';
                at = putStreamDefault(at, node[2]);
                *at++ = '\n';
                points.advance(at);
            }
        }
    });
    if (!pointsWritten) {
        return false;
    }

    TemporarySibling triangleFile(trianglePath);
    const bool trianglesWritten =
        writeChecked(triangleFile.path(), trianglePath, [&](CheckedFile& triangles) {
            long long offset = 0;
            for (const MeshFace& face : faces) {
                if (!face.triangulated) {
                    continue;
                }
                for (const std::array<int, 3>& triangle : face.triangles) {
                    char* at = triangles.reserve(longestLine);
                    for (std::size_t corner = 0; corner < 3; ++corner) {
                        at = std::to_chars(at, at + 20, offset + triangle[corner]).ptr;
                        *at++ = corner < 2 ? ' ' : '\n';
                    }
                    triangles.advance(at);
                }
                offset += static_cast<long long>(face.nodes.size());
            }
        });
    if (!trianglesWritten) {
        return false;
    }

    return commit(pointFile, std::cerr) && commit(triangleFile, std::cerr);
}

bool writeFileReplacing(const std::string& path,
                        const std::function<bool(const std::string& temporaryPath)>& write,
                        std::ostream& diagnostics) {
    if (std::optional<std::string> problem = replaceableFileProblem(path)) {
        diagnostics << "cannot write " << path << ": " << *problem << '\n';
        return false;
    }
    TemporarySibling file(path);
    return write(file.path()) && commit(file, diagnostics);
}

} // namespace orvane
