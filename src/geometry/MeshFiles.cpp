#include "geometry/MeshFiles.h"

#include "app/FileChecks.h"
#include "app/TemporarySibling.h"

#include <cerrno>
#include <cstring>
#include <fstream>
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

bool openText(std::ofstream& out, const std::string& path, const std::string& shownPath) {
    out.open(path, std::ios::binary | std::ios::trunc);
    if (!out) {
        std::cerr << "cannot write " << shownPath << ": " << std::strerror(errno) << '\n';
        return false;
    }
    out.imbue(std::locale::classic());
    return true;
}

bool closeText(std::ofstream& out, const std::string& shownPath) {
    out.close();
    if (!out) {
        std::cerr << "cannot write " << shownPath << ": write failed\n";
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

    TemporarySibling pointFile(pointPath);
    std::ofstream points;
    if (!openText(points, pointFile.path(), pointPath)) {
        return false;
    }
    for (const MeshFace& face : faces) {
        if (!face.triangulated) {
            continue;
        }
        for (const Point3& node : face.nodes) {
            points << node[0] << ' ' << node[1] << ' ' << node[2] << '\n';
        }
    }
    if (!closeText(points, pointPath)) {
        return false;
    }

    TemporarySibling triangleFile(trianglePath);
    std::ofstream triangles;
    if (!openText(triangles, triangleFile.path(), trianglePath)) {
        return false;
    }
    long long offset = 0;
    for (const MeshFace& face : faces) {
        if (!face.triangulated) {
            continue;
        }
        for (const std::array<int, 3>& triangle : face.triangles) {
            triangles << offset + triangle[0] << ' ' << offset + triangle[1] << ' ' << offset + triangle[2]
                      << '\n';
        }
        offset += static_cast<long long>(face.nodes.size());
    }
    if (!closeText(triangles, trianglePath)) {
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
