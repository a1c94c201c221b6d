#include "geometry/CoordinateFile.h"

#include "app/FileChecks.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <fstream>
#include <iterator>

namespace orvane {

bool parseFiniteReal(std::string_view word, double& value) {
    const char* begin = word.data();
    const char* end = word.data() + word.size();
    if (begin != end && *begin == '+') {
        ++begin;
    }
    const auto [stop, error] = std::from_chars(begin, end, value, std::chars_format::general);
    return error == std::errc() && stop == end && std::isfinite(value);
}

namespace {

std::string excerpt(const std::string& word) {
    constexpr std::size_t shown = 20;
    std::string text;
    for (const char c : word.substr(0, shown)) {
        text += std::isprint(static_cast<unsigned char>(c)) != 0 ? c : '?';
    }
    return word.size() > shown ? text + "..." : text;
}

} // namespace

CoordinateRead readCoordinates(const std::string& path, std::size_t maxPoints) {
    CoordinateRead read;
    if (std::optional<std::string> problem = readableFileProblem(path)) {
        read.missing = pathMissing(path);
        read.problem = problem;
        return read;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        read.problem = "cannot open the file";
        return read;
    }
    std::vector<Point3>& points = read.points;
    Point3 point{};
    int filled = 0;
    long long wordNumber = 0;
    std::string word;
    char c = 0;
    // False (with the problem set) when reading must stop.
    const auto takeWord = [&]() {
        ++wordNumber;
        double value = 0.0;
        if (!parseFiniteReal(word, value)) {
            read.problem = "word " + std::to_string(wordNumber) + " ('" + excerpt(word) + "') is no number";
            return false;
        }
        point[static_cast<std::size_t>(filled++)] = value;
        if (filled == 3) {
            if (points.size() >= maxPoints) {
                points.clear();
                read.problem = "more than " + std::to_string(maxPoints) +
                               " points, above the limit of points in one file";
                return false;
            }
            points.push_back(point);
            filled = 0;
        }
        word.clear();
        return true;
    };
    while (file.get(c)) {
        if (std::isspace(static_cast<unsigned char>(c)) != 0) {
            if (!word.empty() && !takeWord()) {
                return read;
            }
        } else if (word.size() < limits::coordinateWordLength) {
            word += c;
        } else {
            ++wordNumber;
            read.problem = "word " + std::to_string(wordNumber) + " is longer than " +
                           std::to_string(limits::coordinateWordLength) + " characters";
            return read;
        }
    }
    if (!word.empty() && !takeWord()) {
        return read;
    }
    if (filled != 0) {
        read.problem = "the file ends inside a point (" + std::to_string(filled) + " numbers left over)";
    } else if (points.empty()) {
        read.problem = "the file holds no points";
    }
    return read;
}

std::vector<Point3> readCoordinateFile(const std::string& path) {
    return readCoordinates(path).points;
}

} // namespace orvane
