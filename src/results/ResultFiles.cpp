#include "results/ResultFiles.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <iomanip>
#include <istream>
#include <iterator>
#include <limits>
#include <locale>
#include <sstream>
#include <string_view>

namespace orvane {

namespace {

bool isBlank(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

// The next whitespace-separated word of line from position at, or empty.
std::string_view nextWord(std::string_view line, std::size_t& at) {
    while (at < line.size() && isBlank(line[at])) {
        ++at;
    }
    const std::size_t start = at;
    while (at < line.size() && !isBlank(line[at])) {
        ++at;
    }
    return line.substr(start, at - start);
}

bool parseInteger(std::string_view word, std::int64_t& value) {
    const char* begin = word.data();
    const char* end = word.data() + word.size();
    if (begin != end && *begin == '+') {
        ++begin;
    }
    const auto [stop, error] = std::from_chars(begin, end, value);
    return error == std::errc() && stop == end;
}

// A section ends at an empty line or a line starting with "$".
bool endsSection(const std::string& line) {
    return line.empty() || line == "\r" || line[0] == '$';
}

} // namespace

EigenvalueText parseEigenvalueText(std::istream& text) {
    EigenvalueText parsed;
    for (std::string line; std::getline(text, line);) {
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos) {
            continue;
        }
        std::string after = line.substr(colon + 1);
        if (!after.empty() && after.back() == '\r') {
            after.pop_back();
        }
        std::istringstream value(after);
        value.imbue(std::locale::classic());
        double number = 0.0;
        if (value >> number) {
            parsed.values.push_back(number);
        } else {
            parsed.unparsed.push_back(after);
        }
    }
    return parsed;
}

LineMesh parseLineMesh(std::istream& text) {
    enum class Section { None, Points, Lines };
    LineMesh mesh;
    Section section = Section::None;
    for (std::string line; std::getline(text, line);) {
        std::size_t at = 0;
        const std::string_view first = nextWord(line, at);
        if (first == "$Points") {
            section = Section::Points;
            continue;
        }
        if (first == "$line") {
            section = Section::Lines;
            continue;
        }
        if (endsSection(line)) {
            section = Section::None;
            continue;
        }
        if (section == Section::Points) {
            Point3 point{};
            bool ok = parseFiniteReal(first, point[0]);
            for (std::size_t word = 1; ok && word < 3; ++word) {
                ok = parseFiniteReal(nextWord(line, at), point[word]);
            }
            if (ok) {
                mesh.points.push_back(point);
            }
        } else if (section == Section::Lines) {
            std::array<std::int64_t, 2> cell{};
            if (parseInteger(first, cell[0]) && parseInteger(nextWord(line, at), cell[1])) {
                mesh.lines.push_back(cell);
            }
        }
    }
    const auto points = static_cast<std::int64_t>(mesh.points.size());
    std::vector<std::array<std::int64_t, 2>> valid;
    valid.reserve(mesh.lines.size());
    for (const auto& cell : mesh.lines) {
        if (cell[0] >= 0 && cell[0] < points && cell[1] >= 0 && cell[1] < points) {
            valid.push_back(cell);
        } else {
            ++mesh.invalidLines;
        }
    }
    mesh.lines = std::move(valid);
    return mesh;
}

StressIndex parseStressIndex(std::istream& text) {
    StressIndex index;
    for (std::string line; std::getline(text, line);) {
        std::size_t at = 0;
        const std::string_view word = nextWord(line, at);
        double value = 0.0;
        // The integer part names the point; a line that is no number, or one
        // beyond any point count, names nothing.
        if (parseFiniteReal(word, value) && nextWord(line, at).empty() && std::fabs(value) < 9.0e18) {
            index.points.push_back(static_cast<std::int64_t>(value));
        } else {
            ++index.skippedLines;
        }
    }
    return index;
}

std::vector<double> parseNumbers(std::istream& text) {
    std::vector<double> numbers;
    for (std::string word; text >> word;) {
        double value = 0.0;
        if (!parseFiniteReal(word, value)) {
            break;
        }
        numbers.push_back(value);
    }
    return numbers;
}

StressField assignStressValues(const std::vector<std::int64_t>& index, const std::vector<double>& values,
                               std::size_t pointCount) {
    StressField field;
    field.values.assign(pointCount, 0.0);
    const std::size_t assigned = std::min(index.size(), values.size());
    field.surplusValues = static_cast<int>(values.size() - assigned);
    const auto indexLines = static_cast<std::int64_t>(index.size());
    const auto points = static_cast<std::int64_t>(pointCount);
    for (std::size_t k = 0; k < assigned; ++k) {
        const std::int64_t point = index[k];
        if (point < 0 || point >= indexLines || point >= points) {
            ++field.skippedIndices;
            continue;
        }
        field.values[static_cast<std::size_t>(point)] = values[k];
    }
    return field;
}

bool isRegularFile(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

TriangleList trianglesFromOneBased(const std::vector<double>& numbers, std::size_t pointCount) {
    TriangleList list;
    const auto points = static_cast<double>(pointCount);
    for (std::size_t i = 0; i + 2 < numbers.size(); i += 3) {
        std::array<std::int64_t, 3> triangle{};
        bool valid = true;
        for (std::size_t corner = 0; corner < 3; ++corner) {
            const double number = numbers[i + corner];
            valid = valid && number >= 1.0 && number <= points && std::floor(number) == number;
            triangle[corner] = valid ? static_cast<std::int64_t>(number) - 1 : 0;
        }
        if (valid) {
            list.triangles.push_back(triangle);
        } else {
            ++list.skipped;
        }
    }
    return list;
}

std::optional<std::string> gridExtentProblem(const std::array<long long, 6>& extent, double maxPoints) {
    double points = 1;
    for (int axis = 0; axis < 3; ++axis) {
        points *= static_cast<double>(extent[2 * axis + 1]) - static_cast<double>(extent[2 * axis]) + 1;
    }
    std::ostringstream text;
    text.imbue(std::locale::classic());
    text << "extent " << extent[0] << " " << extent[1] << " " << extent[2] << " " << extent[3] << " "
         << extent[4] << " " << extent[5];
    if (!(points >= 1)) {
        return "the grid's " + text.str() + " holds no points";
    }
    if (points > maxPoints) {
        text << std::fixed << std::setprecision(0) << " holds " << points << " points, above the limit of "
             << maxPoints;
        return "the grid's " + text.str();
    }
    return std::nullopt;
}

} // namespace orvane
