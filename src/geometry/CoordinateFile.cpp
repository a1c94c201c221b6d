#include "geometry/CoordinateFile.h"

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

std::vector<Point3> readCoordinateFile(const std::string& path) {
    std::vector<Point3> points;
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return points;
    }
    Point3 point{};
    int filled = 0;
    std::string word;
    char c = 0;
    const auto takeWord = [&]() {
        double value = 0.0;
        if (!parseFiniteReal(word, value)) {
            return false;
        }
        point[static_cast<std::size_t>(filled++)] = value;
        if (filled == 3) {
            points.push_back(point);
            filled = 0;
        }
        word.clear();
        return true;
    };
    while (file.get(c)) {
        if (std::isspace(static_cast<unsigned char>(c)) != 0) {
            if (!word.empty() && !takeWord()) {
                return points;
            }
        } else {
            word += c;
        }
    }
    if (!word.empty()) {
        takeWord();
    }
    return points;
}

} // namespace orvane
