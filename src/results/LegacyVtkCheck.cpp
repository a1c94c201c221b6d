#include "results/GridFileChecks.h"

#include "results/FileCheckText.h"
#include "results/ResultFiles.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <istream>
#include <map>
#include <sstream>
#include <string_view>
#include <vector>

namespace orvane {

namespace {

using namespace filecheck;

// Bytes of one binary value of a legacy type, or 0 for a type the check
// does not let through in binary (bit, string, unknown).
int legacyTypeBytes(const std::string& type) {
    static const std::pair<const char*, int> types[] = {
        {"char", 1},         {"unsigned_char", 1}, {"short", 2},         {"unsigned_short", 2}, {"int", 4},
        {"unsigned_int", 4}, {"long", 8},          {"unsigned_long", 8}, {"float", 4},          {"double", 8},
        {"vtkidtype", 4},    {"vtktypeint64", 8},  {"vtktypeuint64", 8}};
    const std::string l = lower(type);
    for (const auto& [name, bytes] : types) {
        if (l == name) {
            return bytes;
        }
    }
    return 0;
}

struct ValueRange {
    double lowest;
    double largest;
    double smallest; // the smallest magnitude above zero (real types)
};

ValueRange valueRange(const std::string& type) {
    if (type == "float") {
        return {-3.4028234663852886e38, 3.4028234663852886e38, 1.401298464324817e-45};
    }
    if (type == "double") {
        return {-1.7976931348623157e308, 1.7976931348623157e308, 4.9406564584124654e-324};
    }
    if (type == "bit") {
        return {0, 1, 0};
    }
    if (type == "char" || type == "unsigned_char") {
        return {-128, 255, 0};
    }
    if (type == "short") {
        return {-32768, 32767, 0};
    }
    if (type == "unsigned_short") {
        return {0, 65535, 0};
    }
    if (type == "int") {
        return {-2147483648.0, 2147483647.0, 0};
    }
    if (type == "unsigned_int") {
        return {0, 4294967295.0, 0};
    }
    if (type == "unsigned_long" || type == "vtktypeuint64") {
        return {0, 9.2e18, 0};
    }
    return {-9.2e18, 9.2e18, 0};
}

class LegacyWalk {
public:
    LegacyWalk(std::istream& in, std::uint64_t fileBytes) : in_(in), fileBytes_(fileBytes) {}
    std::optional<std::string> run();

private:
    bool word(std::string& w) {
        in_ >> w;
        return !in_.fail() && w.size() < 256;
    }
    // Information on the array before: lines up to an empty one.
    std::optional<std::string> metadata();
    std::optional<std::string> count(const std::string& keyword, long long& value);
    std::optional<std::string> data(const std::string& keyword, double values, const std::string& type);
    std::optional<std::string> bytes(const std::string& keyword, double count);
    std::optional<std::string> attribute(const std::string& key, double tuples);
    std::optional<std::string> fieldArrays(const std::string& keyword);
    std::optional<std::string> integers(const std::string& keyword, long long count, const std::string& type,
                                        std::vector<long long>& values);
    std::optional<std::string> cellList(const std::string& keyword, long long cells, long long size);
    std::optional<std::string> cellTypes(long long count);
    std::optional<std::string> pointsAgree(const char* where, double points) const;

    std::istream& in_;
    std::uint64_t fileBytes_;
    bool binary_ = false;
    double version_ = 0;
    // What the geometry declares so far (-1: not yet): the points, the
    // points the dimensions give, the cells, and the largest point number
    // a cell names.
    double points_ = -1;
    double dimensionPoints_ = -1;
    double dimensionCells_ = -1;
    double cells_ = 0;
    long long largestPointNumber_ = -1;
};

std::optional<std::string> LegacyWalk::integers(const std::string& keyword, long long count,
                                                const std::string& type, std::vector<long long>& values) {
    values.clear();
    const std::string l = lower(type);
    const int size = legacyTypeBytes(type);
    if (size == 0 || l == "float" || l == "double") {
        return keyword + " has type '" + type + "', not an integer type";
    }
    if (binary_) {
        in_.ignore(256, '\n');
        const double total = static_cast<double>(count) * size;
        if (total > static_cast<double>(fileBytes_)) {
            return "the binary data of " + keyword + " is longer than the file";
        }
        std::string raw(static_cast<std::size_t>(total), '\0');
        in_.read(raw.data(), static_cast<std::streamsize>(raw.size()));
        if (static_cast<std::size_t>(in_.gcount()) < raw.size()) {
            return "the file ends inside the binary data of " + keyword;
        }
        const bool isSigned = l.rfind("unsigned", 0) != 0 && l != "vtktypeuint64";
        values.reserve(static_cast<std::size_t>(count));
        for (std::size_t at = 0; at < raw.size(); at += static_cast<std::size_t>(size)) {
            std::uint64_t bits = 0;
            for (int b = 0; b < size; ++b) {
                bits = (bits << 8) | static_cast<unsigned char>(raw[at + static_cast<std::size_t>(b)]);
            }
            const int unused = 64 - 8 * size;
            long long value = 0;
            if (isSigned && size < 8) {
                value = static_cast<long long>(bits << unused) >> unused;
            } else {
                value = static_cast<long long>(bits);
            }
            values.push_back(value);
        }
        return std::nullopt;
    }
    std::string w;
    for (long long i = 0; i < count; ++i) {
        long long value = 0;
        if (!word(w) || !parseWhole(w, value)) {
            return keyword + " holds '" + w.substr(0, 40) + "' where a whole number belongs";
        }
        values.push_back(value);
    }
    return std::nullopt;
}

std::optional<std::string> LegacyWalk::cellList(const std::string& keyword, long long cells, long long size) {
    std::vector<long long> values;
    if (version_ < 5.0) {
        // COUNT then the point numbers of each cell, SIZE numbers in all.
        if (std::optional<std::string> problem = integers(keyword, size, "int", values)) {
            return problem;
        }
        std::size_t at = 0;
        for (long long c = 0; c < cells; ++c) {
            const long long corners = at < values.size() ? values[at] : -1;
            if (corners < 0 || static_cast<double>(at) + 1 + static_cast<double>(corners) > values.size()) {
                return keyword + " cell " + std::to_string(c) + " runs past the list's size";
            }
            for (std::size_t k = at + 1; k <= at + static_cast<std::size_t>(corners); ++k) {
                if (values[k] < 0) {
                    return keyword + " names point " + std::to_string(values[k]);
                }
                largestPointNumber_ = std::max(largestPointNumber_, values[k]);
            }
            at += 1 + static_cast<std::size_t>(corners);
        }
        if (at != values.size()) {
            return keyword + " holds more numbers than its cells take";
        }
        cells_ += static_cast<double>(cells);
        return std::nullopt;
    }
    // From version 5: OFFSETS (cells + 1 of them) and CONNECTIVITY (size).
    std::vector<long long> offsets;
    for (const auto& [part, count] :
         {std::pair<const char*, long long>{"offsets", cells}, {"connectivity", size}}) {
        std::string partWord;
        std::string type;
        if (!word(partWord) || lower(partWord) != part || !word(type)) {
            return keyword + " is not followed by " + part + " TYPE";
        }
        if (std::optional<std::string> problem = integers(keyword, count, type, values)) {
            return problem;
        }
        if (offsets.empty() && std::string(part) == "offsets") {
            offsets = values;
            const bool ordered = std::is_sorted(offsets.begin(), offsets.end());
            if (!offsets.empty() && (offsets.front() != 0 || offsets.back() != size || !ordered)) {
                return keyword + " has offsets that do not run from 0 to " + std::to_string(size);
            }
        }
    }
    for (const long long point : values) {
        if (point < 0) {
            return keyword + " names point " + std::to_string(point);
        }
        largestPointNumber_ = std::max(largestPointNumber_, point);
    }
    cells_ += static_cast<double>(std::max(0LL, cells - 1));
    return std::nullopt;
}

std::optional<std::string> LegacyWalk::cellTypes(long long count) {
    if (static_cast<double>(count) != cells_) {
        return "CELL_TYPES gives " + std::to_string(count) + " types for " + decimal(cells_) + " cells";
    }
    std::vector<long long> types;
    if (std::optional<std::string> problem = integers("CELL_TYPES", count, "int", types)) {
        return problem;
    }
    for (const long long type : types) {
        // Linear and quadratic cells: what a solver writes.
        if (!((type >= 1 && type <= 16) || (type >= 21 && type <= 37))) {
            return "CELL_TYPES holds type " + std::to_string(type) + ", not a linear or quadratic cell";
        }
    }
    return std::nullopt;
}

std::optional<std::string> LegacyWalk::pointsAgree(const char* where, double points) const {
    if (points_ >= 0 && points != points_) {
        return std::string(where) + " gives " + decimal(points) + " values where the file has " +
               decimal(points_) + " points";
    }
    if (points_ >= 0 && static_cast<double>(largestPointNumber_) >= points_) {
        return "a cell names point " + std::to_string(largestPointNumber_) + " of " + decimal(points_);
    }
    return std::nullopt;
}

// An array's information, as VTK writes it: component names, one per line,
// after COMPONENT_NAMES, and INFORMATION N followed by N keys of two lines,
// NAME ... LOCATION ... and DATA ..., up to an empty line. The reader trusts
// this layout; a line out of place crashed its metadata read.
std::optional<std::string> LegacyWalk::metadata() {
    const auto bad = [](const std::string& line) {
        return "METADATA holds '" + line.substr(0, 40) + "' out of place";
    };
    in_.ignore(256, '\n');
    bool names = false;
    for (std::string line; std::getline(in_, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.empty()) {
            return std::nullopt;
        }
        if (line == "COMPONENT_NAMES") {
            names = true;
            continue;
        }
        if (line.rfind("INFORMATION ", 0) == 0) {
            names = false;
            long long keys = 0;
            if (!parseWhole(line.substr(12), keys) || keys < 0 || keys > 1000) {
                return bad(line);
            }
            for (long long k = 0; k < keys; ++k) {
                std::string name;
                std::string data;
                if (!std::getline(in_, name) || name.rfind("NAME ", 0) != 0 ||
                    name.find(" LOCATION ") == std::string::npos) {
                    return bad(name);
                }
                if (!std::getline(in_, data) || data.rfind("DATA ", 0) != 0) {
                    return bad(data);
                }
            }
            continue;
        }
        if (!names) {
            return bad(line);
        }
    }
    return std::string("the file ends inside METADATA");
}

std::optional<std::string> LegacyWalk::count(const std::string& keyword, long long& value) {
    std::string w;
    if (!word(w) || !parseWhole(w, value) || value < 0) {
        return keyword + " has no count";
    }
    if (static_cast<double>(value) > static_cast<double>(fileBytes_)) {
        return keyword + " declares " + w + " values, more than the file of " + std::to_string(fileBytes_) +
               " bytes can hold";
    }
    return std::nullopt;
}

std::optional<std::string> LegacyWalk::bytes(const std::string& keyword, double count) {
    // The reader takes the rest of the keyword line, then the raw bytes.
    in_.ignore(256, '\n');
    if (count > static_cast<double>(fileBytes_)) {
        return "the binary data of " + keyword + " is longer than the file";
    }
    in_.ignore(static_cast<std::streamsize>(count));
    if (static_cast<double>(in_.gcount()) < count) {
        return "the file ends inside the binary data of " + keyword;
    }
    return std::nullopt;
}

std::optional<std::string> LegacyWalk::data(const std::string& keyword, double values,
                                            const std::string& type) {
    const std::string l = lower(type);
    if (l == "string") {
        return keyword + " holds strings, not numbers";
    }
    if (binary_) {
        const int size = legacyTypeBytes(type);
        if (size == 0) {
            return keyword + " has type '" + type + "', not a binary number type";
        }
        return bytes(keyword, values * size);
    }
    if (l != "bit" && legacyTypeBytes(type) == 0) {
        return keyword + " has type '" + type + "', not a number type";
    }
    // Each value must be one the reader's stream extraction takes: no
    // "inf" or "nan", nothing out of the type's range; a failed extraction
    // leaves the reader with a half-read file.
    const bool real = l == "float" || l == "double";
    const ValueRange range = valueRange(l);
    std::string w;
    for (double i = 0; i < values; ++i) {
        if (!word(w)) {
            return "the file ends inside the values of " + keyword;
        }
        const std::string_view digits = !w.empty() && w[0] == '+' ? std::string_view(w).substr(1) : w;
        const bool named = w.find_first_of("iInN") != std::string::npos;
        bool valid = !named;
        if (valid && real) {
            double number = 0;
            const auto [stop, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
            valid = error == std::errc() && stop == digits.data() + digits.size() &&
                    std::fabs(number) <= range.largest &&
                    (number == 0 || std::fabs(number) >= range.smallest);
        } else if (valid) {
            long long number = 0;
            valid = parseWhole(digits, number) && static_cast<double>(number) >= range.lowest &&
                    static_cast<double>(number) <= range.largest;
        }
        if (!valid) {
            return keyword + " holds '" + w.substr(0, 40) + "', not a value of type " + type;
        }
    }
    return std::nullopt;
}

std::optional<std::string> LegacyWalk::fieldArrays(const std::string& keyword) {
    std::string name;
    long long arrays = 0;
    if (!word(name)) {
        return keyword + " has no name";
    }
    if (std::optional<std::string> problem = count(keyword, arrays)) {
        return problem;
    }
    for (long long i = 0; i < arrays; ++i) {
        std::string arrayName;
        // An array's information follows its data.
        while (word(arrayName) && lower(arrayName) == "metadata") {
            if (std::optional<std::string> problem = metadata()) {
                return problem;
            }
        }
        if (!in_) {
            return "the file ends before array " + std::to_string(i) + " of " + keyword;
        }
        if (arrayName == "NULL_ARRAY") {
            continue;
        }
        long long components = 0;
        long long tuples = 0;
        std::string type;
        if (count("field array " + arrayName, components) || count("field array " + arrayName, tuples) ||
            !word(type)) {
            return "field array '" + arrayName.substr(0, 40) + "' is not NAME COMPONENTS TUPLES TYPE";
        }
        if (std::optional<std::string> problem = data("field array " + arrayName.substr(0, 40),
                                                      static_cast<double>(components) * tuples, type)) {
            return problem;
        }
    }
    return std::nullopt;
}

std::optional<std::string> LegacyWalk::attribute(const std::string& key, double tuples) {
    std::string name;
    std::string type;
    const std::string upper = [&] {
        std::string u = key;
        std::transform(u.begin(), u.end(), u.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        return u;
    }();
    if (key == "field") {
        return fieldArrays(upper);
    }
    if (key == "scalars") {
        if (!word(name) || !word(type)) {
            return std::string("SCALARS is not SCALARS NAME TYPE");
        }
        std::string next;
        if (!word(next)) {
            return std::string("SCALARS has no LOOKUP_TABLE");
        }
        long long components = 1;
        if (parseWhole(next, components)) {
            if (components < 1 || components > 4) {
                return "SCALARS declares " + next + " components";
            }
            if (!word(next)) {
                return std::string("SCALARS has no LOOKUP_TABLE");
            }
        }
        std::string table;
        if (lower(next) != "lookup_table" || !word(table)) {
            return std::string("SCALARS is not followed by LOOKUP_TABLE NAME");
        }
        return data(upper, tuples * static_cast<double>(components), type);
    }
    if (key == "vectors" || key == "normals" || key == "tensors" || key == "tensors6" ||
        key == "global_ids" || key == "pedigree_ids") {
        if (!word(name) || !word(type)) {
            return upper + " is not " + upper + " NAME TYPE";
        }
        const double per = key == "tensors"                   ? 9
                           : key == "tensors6"                ? 6
                           : (key[0] == 'g' || key[0] == 'p') ? 1
                                                              : 3;
        return data(upper, tuples * per, type);
    }
    if (key == "texture_coordinates") {
        long long dimension = 0;
        if (!word(name) || count(upper, dimension) || dimension < 1 || dimension > 3 || !word(type)) {
            return std::string("TEXTURE_COORDINATES is not TEXTURE_COORDINATES NAME DIMENSION TYPE");
        }
        return data(upper, tuples * static_cast<double>(dimension), type);
    }
    if (key == "color_scalars" || key == "lookup_table") {
        long long per = 0;
        if (!word(name) || count(upper, per)) {
            return upper + " is not " + upper + " NAME COUNT";
        }
        const double values =
            key == "lookup_table" ? 4.0 * static_cast<double>(per) : tuples * static_cast<double>(per);
        return binary_ ? bytes(upper, values) : data(upper, values, "float");
    }
    return "'" + key.substr(0, 40) + "' is not an attribute the reader knows";
}

std::optional<std::string> LegacyWalk::run() {
    std::string line;
    if (!std::getline(in_, line) || line.rfind("# vtk DataFile Version", 0) != 0) {
        return std::string("the first line is not '# vtk DataFile Version'");
    }
    std::istringstream versionText(line.substr(22));
    versionText.imbue(std::locale::classic());
    versionText >> version_;
    std::string title;
    std::getline(in_, title);
    std::string mode;
    if (!word(mode) || (lower(mode) != "ascii" && lower(mode) != "binary")) {
        return std::string("the third line is neither ASCII nor BINARY");
    }
    binary_ = lower(mode) == "binary";

    std::string dataset;
    // Geometry keywords, then attribute sections.
    double attributeTuples = -1;
    for (std::string w; word(w);) {
        const std::string key = lower(w);
        if (key == "dataset") {
            if (!dataset.empty() || !word(dataset)) {
                return std::string("DATASET is given twice or names no type");
            }
            dataset = lower(dataset);
            if (dataset != "structured_points" && dataset != "structured_grid" &&
                dataset != "rectilinear_grid" && dataset != "polydata" && dataset != "unstructured_grid") {
                return "DATASET '" + dataset.substr(0, 40) + "' is not a type the reader knows";
            }
            continue;
        }
        if (key == "point_data" || key == "cell_data") {
            long long tuples = 0;
            if (std::optional<std::string> problem = count(w, tuples)) {
                return problem;
            }
            attributeTuples = static_cast<double>(tuples);
            if (key == "point_data") {
                if (std::optional<std::string> problem = pointsAgree("POINT_DATA", attributeTuples)) {
                    return problem;
                }
            } else if (attributeTuples != cells_) {
                return "CELL_DATA gives " + std::to_string(tuples) + " values where the file has " +
                       decimal(cells_) + " cells";
            }
            continue;
        }
        if (key == "metadata") {
            if (std::optional<std::string> problem = metadata()) {
                return problem;
            }
            continue;
        }
        if (attributeTuples >= 0) {
            if (std::optional<std::string> problem = attribute(key, attributeTuples)) {
                return problem;
            }
            continue;
        }
        if (key == "field") {
            if (std::optional<std::string> problem = fieldArrays("FIELD")) {
                return problem;
            }
            continue;
        }
        if (dataset.empty()) {
            return "'" + w.substr(0, 40) + "' comes before DATASET";
        }
        const auto takes = [&](std::initializer_list<const char*> datasets) {
            return std::any_of(datasets.begin(), datasets.end(), [&](const char* d) { return dataset == d; });
        };
        if (key == "dimensions" && takes({"structured_points", "structured_grid", "rectilinear_grid"})) {
            dimensionPoints_ = 1;
            dimensionCells_ = 1;
            for (int i = 0; i < 3; ++i) {
                long long d = 0;
                if (std::optional<std::string> problem = count(w, d)) {
                    return problem;
                }
                dimensionPoints_ *= static_cast<double>(d);
                dimensionCells_ *= d > 1 ? static_cast<double>(d - 1) : 1.0;
            }
            if (dimensionPoints_ < 1) {
                return std::string("DIMENSIONS hold no points");
            }
            if (dataset != "structured_grid") {
                points_ = dimensionPoints_;
            }
            cells_ = dimensionCells_;
        } else if ((key == "origin" || key == "spacing" || key == "aspect_ratio") &&
                   takes({"structured_points"})) {
            const bool wasBinary = binary_;
            binary_ = false;
            std::optional<std::string> problem = data(w, 3, "double");
            binary_ = wasBinary;
            if (problem) {
                return problem;
            }
        } else if (key == "points" && takes({"structured_grid", "polydata", "unstructured_grid"})) {
            long long points = 0;
            std::string type;
            if (std::optional<std::string> problem = count(w, points)) {
                return problem;
            }
            if (!word(type)) {
                return std::string("POINTS has no type");
            }
            if (std::optional<std::string> problem = data(w, 3.0 * static_cast<double>(points), type)) {
                return problem;
            }
            if (dataset == "structured_grid" && dimensionPoints_ >= 0 &&
                static_cast<double>(points) != dimensionPoints_) {
                return "POINTS gives " + std::to_string(points) + " points where DIMENSIONS give " +
                       decimal(dimensionPoints_);
            }
            points_ = static_cast<double>(points);
        } else if ((key == "x_coordinates" || key == "y_coordinates" || key == "z_coordinates") &&
                   takes({"rectilinear_grid"})) {
            long long values = 0;
            std::string type;
            if (count(w, values) || !word(type)) {
                return w + " is not " + w + " COUNT TYPE";
            }
            if (std::optional<std::string> problem = data(w, static_cast<double>(values), type)) {
                return problem;
            }
        } else if (((key == "vertices" || key == "lines" || key == "polygons" || key == "triangle_strips") &&
                    takes({"polydata"})) ||
                   (key == "cells" && takes({"unstructured_grid"}))) {
            long long cells = 0;
            long long size = 0;
            if (count(w, cells) || count(w, size)) {
                return w + " is not " + w + " COUNT SIZE";
            }
            if (std::optional<std::string> problem = cellList(w, cells, size)) {
                return problem;
            }
        } else if (key == "cell_types" && takes({"unstructured_grid"})) {
            long long types = 0;
            if (std::optional<std::string> problem = count(w, types)) {
                return problem;
            }
            if (std::optional<std::string> problem = cellTypes(types)) {
                return problem;
            }
        } else {
            return "'" + w.substr(0, 40) + "' is not a keyword the reader takes in " + dataset;
        }
    }
    if (!in_.eof()) {
        return std::string("a word runs on past 255 characters");
    }
    if (dataset.empty()) {
        return std::string("it names no DATASET");
    }
    if (points_ < 0) {
        return std::string("it declares no points");
    }
    if (std::optional<std::string> problem = pointsAgree("the file", points_)) {
        return problem;
    }
    return std::nullopt;
}
} // namespace

std::optional<std::string> legacyVtkStructureProblem(std::istream& in, std::uint64_t fileBytes) {
    in.imbue(std::locale::classic());
    LegacyWalk walk(in, fileBytes);
    return walk.run();
}

} // namespace orvane
