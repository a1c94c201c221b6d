#include "app/FileChecks.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <istream>
#include <string>

namespace orvane {

namespace {

// What kind of thing a path names, links followed; nullopt when it does not exist.
std::optional<std::string> kindOfNonRegular(const struct stat& status) {
    if (S_ISREG(status.st_mode)) {
        return std::nullopt;
    }
    if (S_ISDIR(status.st_mode)) {
        return "a directory";
    }
    if (S_ISFIFO(status.st_mode)) {
        return "a FIFO";
    }
    if (S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode)) {
        return "a device";
    }
    if (S_ISSOCK(status.st_mode)) {
        return "a socket";
    }
    return "not a regular file";
}

} // namespace

bool hasControlCharacter(std::string_view word) {
    for (const char c : word) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) {
            return true;
        }
    }
    return false;
}

std::optional<std::string> pathProblem(std::string_view path) {
    if (path.empty()) {
        return "empty path";
    }
    if (hasControlCharacter(path)) {
        return "the path holds a control character";
    }
    return std::nullopt;
}

std::optional<std::string> readableFileProblem(const std::string& path) {
    if (std::optional<std::string> problem = pathProblem(path)) {
        return problem;
    }
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        return std::string(std::strerror(errno));
    }
    if (std::optional<std::string> kind = kindOfNonRegular(status)) {
        return "not a regular file (" + *kind + ")";
    }
    return std::nullopt;
}

bool pathMissing(const std::string& path) {
    struct stat status {};
    return !pathProblem(path) && ::stat(path.c_str(), &status) != 0 && errno == ENOENT;
}

std::optional<std::string> replaceableFileProblem(const std::string& path) {
    if (std::optional<std::string> problem = pathProblem(path)) {
        return problem;
    }
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        return std::nullopt;
    }
    if (std::optional<std::string> kind = kindOfNonRegular(status)) {
        return "not a regular file (" + *kind + "); it is left as it is";
    }
    return std::nullopt;
}

std::string joinPath(const std::string& directory, const std::string& name) {
    if (directory.empty() || directory.back() == '/' || directory.back() == '\\') {
        return directory + name;
    }
    return directory + "/" + name;
}

bool looksBinary(std::string_view head) {
    if (head.empty()) {
        return true;
    }
    std::size_t text = 0;
    for (const char c : head) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 0x20 && byte <= 0x7f) || byte == '\n' || byte == '\r' || byte == '\t') {
            ++text;
        }
    }
    const double binaryShare = static_cast<double>(head.size() - text) / static_cast<double>(head.size());
    return binaryShare >= 0.05;
}

std::optional<std::string> stlFileProblem(const std::string& path) {
    if (std::optional<std::string> problem = readableFileProblem(path)) {
        return problem;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return std::string(std::strerror(errno));
    }
    file.seekg(0, std::ios::end);
    const std::streamoff size = file.tellg();
    file.seekg(0, std::ios::beg);
    if (size <= 0) {
        return "the file is empty";
    }
    char head[256];
    file.read(head, sizeof head);
    const auto headLength = static_cast<std::size_t>(file.gcount());
    if (!looksBinary(std::string_view(head, headLength))) {
        return std::nullopt;
    }
    constexpr std::streamoff headerBytes = 84;
    constexpr std::streamoff facetBytes = 50;
    if (size < headerBytes) {
        return "binary STL shorter than its 84-byte header (" + std::to_string(size) + " bytes)";
    }
    std::uint32_t facets = 0;
    for (int i = 3; i >= 0; --i) {
        facets = (facets << 8U) | static_cast<unsigned char>(head[80 + i]);
    }
    if (static_cast<std::streamoff>(facets) > (size - headerBytes) / facetBytes) {
        return "binary STL header claims " + std::to_string(facets) + " facets, the file of " +
               std::to_string(size) + " bytes holds at most " +
               std::to_string((size - headerBytes) / facetBytes);
    }
    return std::nullopt;
}

std::optional<std::string> writtenBinaryStlProblem(const std::string& path, std::size_t facets) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return "cannot read it back: " + std::string(std::strerror(errno));
    }
    file.seekg(0, std::ios::end);
    const auto size = static_cast<std::uint64_t>(file.tellg());
    file.seekg(80, std::ios::beg);
    unsigned char count[4] = {0, 0, 0, 0};
    file.read(reinterpret_cast<char*>(count), sizeof count);
    const std::uint64_t claimed =
        count[0] | (count[1] << 8U) | (count[2] << 16U) | (static_cast<std::uint64_t>(count[3]) << 24U);
    if (!file || claimed != facets || size != 84 + 50 * static_cast<std::uint64_t>(facets)) {
        return "the written file is incomplete (" + std::to_string(size) + " bytes for " +
               std::to_string(facets) + " facets; disk full?)";
    }
    return std::nullopt;
}

StepNesting scanStepNesting(std::istream& in, int maxDepth) {
    StepNesting nesting;
    enum class Where { Text, String, Comment } where = Where::Text;
    int depth = 0;
    char previous = '\0';
    char buffer[65536];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        const std::streamsize count = in.gcount();
        for (std::streamsize i = 0; i < count; ++i) {
            const char c = buffer[i];
            switch (where) {
            case Where::Text:
                if (c == '\'') {
                    where = Where::String;
                } else if (c == '*' && previous == '/') {
                    where = Where::Comment;
                    previous = '\0';
                    continue;
                } else if (c == '(') {
                    ++depth;
                    if (depth > nesting.deepest) {
                        nesting.deepest = depth;
                    }
                    if (depth > maxDepth) {
                        nesting.exceeded = true;
                        return nesting;
                    }
                } else if (c == ')' && depth > 0) {
                    --depth;
                }
                break;
            case Where::String:
                // A doubled quote inside a string reads as leaving and entering again.
                if (c == '\'') {
                    where = Where::Text;
                }
                break;
            case Where::Comment:
                if (c == '/' && previous == '*') {
                    where = Where::Text;
                    previous = '\0';
                    continue;
                }
                break;
            }
            previous = c;
        }
    }
    return nesting;
}

std::optional<std::string> stepFileProblem(const std::string& path, int maxDepth) {
    if (std::optional<std::string> problem = readableFileProblem(path)) {
        return problem;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return std::string(std::strerror(errno));
    }
    const StepNesting nesting = scanStepNesting(file, maxDepth);
    if (nesting.exceeded) {
        return "brackets nested deeper than the limit of " + std::to_string(maxDepth);
    }
    return std::nullopt;
}

} // namespace orvane
