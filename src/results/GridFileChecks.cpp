#include "results/GridFileChecks.h"

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

using Attributes = std::map<std::string, std::string>;

bool isSpace(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

std::string lower(std::string word) {
    std::transform(word.begin(), word.end(), word.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return word;
}

bool parseWhole(std::string_view word, long long& value) {
    const char* begin = word.data();
    const char* end = begin + word.size();
    const auto [stop, error] = std::from_chars(begin, end, value);
    return error == std::errc() && stop == end && begin != end;
}

std::string decimal(double value) {
    std::ostringstream text;
    text.imbue(std::locale::classic());
    text.precision(0);
    text << std::fixed << value;
    return text.str();
}

// ------------------------------------------------------------ VTK XML grids

// Bytes of one value of a VTK XML number type, or 0 for any other type.
int xmlTypeBytes(const std::string& type) {
    static const std::pair<const char*, int> types[] = {
        {"Int8", 1},   {"UInt8", 1}, {"Int16", 2},  {"UInt16", 2},  {"Int32", 4},
        {"UInt32", 4}, {"Int64", 8}, {"UInt64", 8}, {"Float32", 4}, {"Float64", 8}};
    for (const auto& [name, bytes] : types) {
        if (type == name) {
            return bytes;
        }
    }
    return 0;
}

int base64Value(int c) {
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

// Decodes base64 text until padding, the end, or a character outside the
// alphabet; whitespace is skipped.
std::vector<unsigned char> decodeBase64(std::string_view text) {
    std::vector<unsigned char> bytes;
    unsigned bits = 0;
    int held = 0;
    for (const char c : text) {
        if (isSpace(static_cast<unsigned char>(c))) {
            continue;
        }
        const int value = base64Value(static_cast<unsigned char>(c));
        if (value < 0) {
            break;
        }
        bits = (bits << 6) | static_cast<unsigned>(value);
        held += 6;
        if (held >= 8) {
            held -= 8;
            bytes.push_back(static_cast<unsigned char>((bits >> held) & 0xff));
        }
    }
    return bytes;
}

struct FileFormat {
    int wordBytes = 4; // header_type
    bool bigEndian = false;
    bool compressed = false;
};

std::uint64_t headerWord(const unsigned char* at, const FileFormat& format) {
    std::uint64_t value = 0;
    for (int i = 0; i < format.wordBytes; ++i) {
        const int index = format.bigEndian ? i : format.wordBytes - 1 - i;
        value = (value << 8) | at[index];
    }
    return value;
}

// Where a binary array's bytes are: inline base64 text, or appended data
// (raw or base64) at an offset.
struct BinaryData {
    // Header bytes as decoded so far; the reader asks for more with `more`.
    std::vector<unsigned char> header;
    // Upper bound of the data bytes after a header of a given size.
    double availableAfter(std::size_t headerBytes) const {
        if (base64) {
            const double headerChars = 4.0 * std::ceil(static_cast<double>(headerBytes) / 3.0);
            return std::max(0.0, (static_cast<double>(textBytes) - headerChars) * 3.0 / 4.0);
        }
        return std::max(0.0, static_cast<double>(textBytes) - static_cast<double>(headerBytes));
    }
    bool base64 = true;
    // Characters (base64) or bytes (raw) from the array's start to the end of its data.
    std::uint64_t textBytes = 0;
};

// The size header or block table of binary data against the bytes the
// array must hold (expected) and the bytes there are.
std::optional<std::string> binaryDataProblem(const BinaryData& data, const FileFormat& format,
                                             double expected) {
    const auto w = static_cast<std::size_t>(format.wordBytes);
    if (!format.compressed) {
        if (data.header.size() < w) {
            return std::string("its data ends before its size header");
        }
        const auto declared = static_cast<double>(headerWord(data.header.data(), format));
        if (declared != expected) {
            return "its size header declares " + decimal(declared) + " bytes where it must hold " +
                   decimal(expected);
        }
        if (declared > data.availableAfter(w)) {
            return "its size header declares " + decimal(declared) + " bytes, more than the file holds";
        }
        return std::nullopt;
    }
    if (data.header.size() < 3 * w) {
        return std::string("its data ends before its compression header");
    }
    const double blocks = static_cast<double>(headerWord(data.header.data(), format));
    const double blockSize = static_cast<double>(headerWord(data.header.data() + w, format));
    const double lastSize = static_cast<double>(headerWord(data.header.data() + 2 * w, format));
    if (blocks < 1 || blockSize < 1) {
        return "its compression header declares " + decimal(blocks) + " blocks of " + decimal(blockSize) +
               " bytes";
    }
    const double whole = (blocks - 1) * blockSize + (lastSize == 0 ? blockSize : lastSize);
    if (lastSize > blockSize || whole != expected) {
        return "its compression header declares " + decimal(whole) + " bytes where it must hold " +
               decimal(expected);
    }
    const double headerBytes = (3 + blocks) * static_cast<double>(w);
    if (static_cast<double>(data.header.size()) < headerBytes) {
        return "its block table of " + decimal(blocks) + " blocks runs past the end of its data";
    }
    double compressed = 0;
    for (std::size_t b = 0; b < static_cast<std::size_t>(blocks); ++b) {
        compressed += static_cast<double>(headerWord(data.header.data() + (3 + b) * w, format));
    }
    if (compressed > data.availableAfter(static_cast<std::size_t>(headerBytes))) {
        return "its block table declares " + decimal(compressed) +
               " compressed bytes, more than the file holds";
    }
    return std::nullopt;
}

std::optional<std::array<long long, 6>> parseExtent(const std::string& text) {
    std::istringstream words(text);
    std::array<long long, 6> extent{};
    std::string word;
    for (long long& value : extent) {
        if (!(words >> word) || !parseWhole(word, value)) {
            return std::nullopt;
        }
    }
    return words >> word ? std::nullopt : std::optional<std::array<long long, 6>>(extent);
}

// Reads characters one by one from a stream, counting the position.
class CharSource {
public:
    explicit CharSource(std::istream& in) : in_(in) {}
    int get() {
        const int c = in_.get();
        if (c != std::char_traits<char>::eof()) {
            ++position_;
        }
        return c;
    }
    int peek() { return in_.peek(); }
    std::uint64_t position() const { return position_; }

private:
    std::istream& in_;
    std::uint64_t position_ = 0;
};

constexpr int eof = std::char_traits<char>::eof();
// Inline base64 text kept per array for its header: enough for a block
// table of more blocks than any grid below the point limit needs.
constexpr std::size_t keptInlineText = 1 << 20;

struct Tag {
    std::string name;
    Attributes attributes;
    bool closing = false;
    bool selfClosing = false;
};

struct ArrayDeclaration {
    Attributes attributes;
    std::string parent;
    double tuples = 0;
    // Inline content: the number words (ASCII) or the first base64 text.
    double asciiWords = 0;
    std::string base64Text;
    std::uint64_t base64Chars = 0;
};

class GridCheck {
public:
    GridCheck(std::istream& in, std::uint64_t fileBytes, double maxPoints)
        : in_(in), source_(in), fileBytes_(fileBytes), maxPoints_(maxPoints) {}

    std::optional<std::string> run();

private:
    std::optional<std::string> readTag(Tag& tag);
    std::optional<std::string> skipMarkup(int second);
    void readContent(ArrayDeclaration* array);
    std::optional<std::string> openElement(const Tag& tag);
    std::optional<std::string> checkArray(const ArrayDeclaration& array);
    std::optional<std::string> checkAppended();

    std::istream& in_;
    CharSource source_;
    std::uint64_t fileBytes_;
    double maxPoints_;
    FileFormat format_;
    std::vector<std::string> open_;
    std::array<long long, 6> wholeExtent_{};
    double piecePoints_ = 0;
    double pieceCells_ = 0;
    int pieceCount_ = 0;
    int pointsArrays_ = 0;
    std::vector<ArrayDeclaration> appended_;
    bool sawAppended_ = false;
    std::uint64_t appendedStart_ = 0;
    std::string appendedEncoding_;
};

std::optional<std::string> GridCheck::skipMarkup(int second) {
    // "<?...?>", "<!--...-->" and "<!...>" declarations.
    const std::string end = second == '?' ? "?>" : (source_.peek() == '-' ? "-->" : ">");
    std::string tail;
    for (int c = source_.get(); c != eof; c = source_.get()) {
        tail.push_back(static_cast<char>(c));
        if (tail.size() > end.size()) {
            tail.erase(tail.begin());
        }
        if (tail == end) {
            return std::nullopt;
        }
    }
    return std::string("the file ends inside markup");
}

std::optional<std::string> GridCheck::readTag(Tag& tag) {
    // Called after '<'.
    int c = source_.get();
    if (c == '/') {
        tag.closing = true;
        c = source_.get();
    }
    while (c != eof && !isSpace(c) && c != '>' && c != '/') {
        tag.name.push_back(static_cast<char>(c));
        if (tag.name.size() > 64) {
            return std::string("an element name runs on");
        }
        c = source_.get();
    }
    if (tag.name.empty()) {
        return std::string("an element has no name");
    }
    for (;;) {
        while (isSpace(c)) {
            c = source_.get();
        }
        if (c == '>') {
            return std::nullopt;
        }
        if (c == '/' && !tag.closing) {
            if (source_.get() != '>') {
                return "element " + tag.name + " is not closed properly";
            }
            tag.selfClosing = true;
            return std::nullopt;
        }
        if (c == eof || tag.closing) {
            return "element " + tag.name + " is cut short";
        }
        std::string name;
        while (c != eof && c != '=' && !isSpace(c) && c != '>' && c != '/') {
            name.push_back(static_cast<char>(c));
            if (name.size() > 64) {
                return "an attribute of " + tag.name + " runs on";
            }
            c = source_.get();
        }
        while (isSpace(c)) {
            c = source_.get();
        }
        if (c != '=') {
            return "attribute " + name + " of " + tag.name + " has no value";
        }
        c = source_.get();
        while (isSpace(c)) {
            c = source_.get();
        }
        if (c != '"' && c != '\'') {
            return "attribute " + name + " of " + tag.name + " is not quoted";
        }
        const int quote = c;
        std::string value;
        for (c = source_.get(); c != quote; c = source_.get()) {
            if (c == eof || c == '<' || value.size() > 4096) {
                return "attribute " + name + " of " + tag.name + " is not closed";
            }
            value.push_back(static_cast<char>(c));
        }
        if (!tag.attributes.emplace(name, value).second) {
            return "attribute " + name + " of " + tag.name + " is given twice";
        }
        c = source_.get();
    }
}

void GridCheck::readContent(ArrayDeclaration* array) {
    // Text up to the next '<'; kept only as a DataArray's content.
    bool inWord = false;
    for (int c = source_.peek(); c != eof && c != '<'; c = source_.peek()) {
        source_.get();
        if (array == nullptr) {
            continue;
        }
        if (isSpace(c)) {
            inWord = false;
            continue;
        }
        if (!inWord) {
            array->asciiWords += 1;
            inWord = true;
        }
        ++array->base64Chars;
        if (array->base64Text.size() < keptInlineText) {
            array->base64Text.push_back(static_cast<char>(c));
        }
    }
}

std::optional<std::string> GridCheck::openElement(const Tag& tag) {
    const std::string parent = open_.empty() ? "" : open_.back();
    static const std::map<std::string, std::vector<std::string>> allowed = {
        {"VTKFile", {""}},
        {"StructuredGrid", {"VTKFile"}},
        {"FieldData", {"StructuredGrid"}},
        {"Piece", {"StructuredGrid"}},
        {"PointData", {"Piece"}},
        {"CellData", {"Piece"}},
        {"Points", {"Piece"}},
        {"DataArray", {"PointData", "CellData", "Points", "FieldData"}},
        {"InformationKey", {"DataArray"}},
        {"Value", {"InformationKey"}},
        {"AppendedData", {"VTKFile"}},
    };
    const auto rule = allowed.find(tag.name);
    if (rule == allowed.end() ||
        std::find(rule->second.begin(), rule->second.end(), parent) == rule->second.end()) {
        return "element " + tag.name + (parent.empty() ? " at the top" : " inside " + parent) +
               " is not part of a structured grid file";
    }
    const auto attribute = [&](const char* name) {
        const auto found = tag.attributes.find(name);
        return found == tag.attributes.end() ? std::optional<std::string>() : found->second;
    };
    if (tag.name == "VTKFile") {
        if (attribute("type").value_or("") != "StructuredGrid") {
            return "the file's type is '" + attribute("type").value_or("") + "', not StructuredGrid";
        }
        const std::string order = attribute("byte_order").value_or("LittleEndian");
        const std::string header = attribute("header_type").value_or("UInt32");
        const std::string compressor = attribute("compressor").value_or("");
        if (order != "LittleEndian" && order != "BigEndian") {
            return "byte_order '" + order + "' is neither LittleEndian nor BigEndian";
        }
        if (header != "UInt32" && header != "UInt64") {
            return "header_type '" + header + "' is neither UInt32 nor UInt64";
        }
        if (!compressor.empty() && compressor != "vtkZLibDataCompressor" &&
            compressor != "vtkLZ4DataCompressor" && compressor != "vtkLZMADataCompressor") {
            return "compressor '" + compressor + "' is not one VTK has";
        }
        format_.bigEndian = order == "BigEndian";
        format_.wordBytes = header == "UInt64" ? 8 : 4;
        format_.compressed = !compressor.empty();
    } else if (tag.name == "StructuredGrid") {
        const std::optional<std::array<long long, 6>> extent =
            parseExtent(attribute("WholeExtent").value_or(""));
        if (!extent) {
            return std::string("WholeExtent is not six whole numbers");
        }
        if (std::optional<std::string> problem = gridExtentProblem(*extent, maxPoints_)) {
            return problem;
        }
        wholeExtent_ = *extent;
    } else if (tag.name == "Piece") {
        const std::optional<std::array<long long, 6>> extent = parseExtent(attribute("Extent").value_or(""));
        if (!extent) {
            return std::string("a piece's Extent is not six whole numbers");
        }
        if (std::optional<std::string> problem = gridExtentProblem(*extent, maxPoints_)) {
            return "a piece: " + *problem;
        }
        for (int axis = 0; axis < 3; ++axis) {
            if ((*extent)[2 * axis] < wholeExtent_[2 * axis] ||
                (*extent)[2 * axis + 1] > wholeExtent_[2 * axis + 1]) {
                return std::string("a piece's Extent reaches outside the WholeExtent");
            }
        }
        piecePoints_ = 1;
        pieceCells_ = 1;
        bool anyCells = false;
        for (int axis = 0; axis < 3; ++axis) {
            const double points = static_cast<double>((*extent)[2 * axis + 1] - (*extent)[2 * axis] + 1);
            piecePoints_ *= points;
            if (points > 1) {
                pieceCells_ *= points - 1;
                anyCells = true;
            }
        }
        pieceCells_ = anyCells ? pieceCells_ : 0;
        ++pieceCount_;
        pointsArrays_ = 0;
    } else if (tag.name == "AppendedData") {
        appendedEncoding_ = attribute("encoding").value_or("");
        if (appendedEncoding_ != "raw" && appendedEncoding_ != "base64") {
            return "AppendedData encoding '" + appendedEncoding_ + "' is neither raw nor base64";
        }
    }
    return std::nullopt;
}

std::optional<std::string> GridCheck::checkArray(const ArrayDeclaration& array) {
    const auto get = [&](const char* name, const char* otherwise) {
        const auto found = array.attributes.find(name);
        return found == array.attributes.end() ? std::string(otherwise) : found->second;
    };
    const std::string name = "array '" + get("Name", "") + "'";
    const std::string type = get("type", "");
    const int valueBytes = xmlTypeBytes(type);
    if (valueBytes == 0) {
        return name + " has type '" + type + "', not a number type";
    }
    long long components = 0;
    if (!parseWhole(get("NumberOfComponents", "1"), components) || components < 1 ||
        components > maxResultComponents) {
        return name + " declares NumberOfComponents '" + get("NumberOfComponents", "1") + "', not 1 to " +
               std::to_string(maxResultComponents);
    }
    if (array.parent == "Points" && components != 3) {
        return std::string("the points array does not have 3 components");
    }
    const double values = array.tuples * static_cast<double>(components);
    const std::string dataFormat = get("format", "ascii");
    if (dataFormat == "ascii") {
        if (array.asciiWords < values) {
            return name + " holds " + decimal(array.asciiWords) + " values where it must hold " +
                   decimal(values);
        }
        return std::nullopt;
    }
    const double expected = values * valueBytes;
    if (dataFormat == "binary") {
        BinaryData data;
        data.textBytes = array.base64Chars;
        data.header = decodeBase64(array.base64Text);
        if (std::optional<std::string> problem = binaryDataProblem(data, format_, expected)) {
            return name + ": " + *problem;
        }
        return std::nullopt;
    }
    if (dataFormat != "appended") {
        return name + " has format '" + dataFormat + "', not ascii, binary or appended";
    }
    long long offset = 0;
    if (!parseWhole(get("offset", ""), offset) || offset < 0) {
        return name + " has no offset into the appended data";
    }
    appended_.push_back(array);
    return std::nullopt;
}

std::optional<std::string> GridCheck::checkAppended() {
    if (appended_.empty()) {
        return std::nullopt;
    }
    if (!sawAppended_) {
        return std::string("arrays name appended data but the file has none");
    }
    // The data runs up to the closing tag, searched for from the file's end.
    const std::uint64_t tailBytes = std::min<std::uint64_t>(fileBytes_ - appendedStart_, 1 << 16);
    std::string tail(tailBytes, '\0');
    in_.clear();
    in_.seekg(static_cast<std::streamoff>(fileBytes_ - tailBytes));
    in_.read(tail.data(), static_cast<std::streamsize>(tailBytes));
    const std::size_t closing = tail.rfind("</AppendedData>");
    if (!in_ || closing == std::string::npos) {
        return std::string("the appended data is not closed");
    }
    const std::uint64_t appendedEnd = fileBytes_ - tailBytes + closing;
    const bool base64 = appendedEncoding_ == "base64";
    for (const ArrayDeclaration& array : appended_) {
        const std::string name = "array '" + array.attributes.at("Name") + "'";
        const std::uint64_t start = appendedStart_ + std::stoull(array.attributes.at("offset"));
        if (start >= appendedEnd) {
            return name + " has its offset past the end of the appended data";
        }
        const int valueBytes = xmlTypeBytes(array.attributes.at("type"));
        long long components = 1;
        const auto declared = array.attributes.find("NumberOfComponents");
        if (declared != array.attributes.end()) {
            parseWhole(declared->second, components);
        }
        const double expected = array.tuples * static_cast<double>(components) * valueBytes;
        BinaryData data;
        data.base64 = base64;
        data.textBytes = appendedEnd - start;
        // The first three words tell how long the block table is.
        const auto readHeader = [&](std::size_t words) {
            const std::size_t bytes = words * static_cast<std::size_t>(format_.wordBytes);
            const std::size_t wanted = base64 ? (bytes + 2) / 3 * 4 : bytes;
            const std::size_t available =
                static_cast<std::size_t>(std::min<std::uint64_t>(wanted, data.textBytes));
            std::string text(available, '\0');
            in_.clear();
            in_.seekg(static_cast<std::streamoff>(start));
            in_.read(text.data(), static_cast<std::streamsize>(available));
            text.resize(static_cast<std::size_t>(std::max<std::streamsize>(in_.gcount(), 0)));
            data.header = base64 ? decodeBase64(text) : std::vector<unsigned char>(text.begin(), text.end());
        };
        readHeader(format_.compressed ? 3 : 1);
        if (format_.compressed && data.header.size() >= 3 * static_cast<std::size_t>(format_.wordBytes)) {
            const double blocks = static_cast<double>(headerWord(data.header.data(), format_));
            // A table longer than the data cannot be whole; do not read for it.
            if (blocks >= 1 && (3 + blocks) * format_.wordBytes <= static_cast<double>(data.textBytes)) {
                readHeader(3 + static_cast<std::size_t>(blocks));
            }
        }
        if (std::optional<std::string> problem = binaryDataProblem(data, format_, expected)) {
            return name + ": " + *problem;
        }
    }
    return std::nullopt;
}

std::optional<std::string> GridCheck::run() {
    std::optional<ArrayDeclaration> current;
    bool sawRoot = false;
    for (;;) {
        readContent(current ? &*current : nullptr);
        if (source_.get() != '<') {
            break;
        }
        const int next = source_.peek();
        if (next == '?' || next == '!') {
            source_.get();
            if (std::optional<std::string> problem = skipMarkup(next)) {
                return problem;
            }
            continue;
        }
        Tag tag;
        if (std::optional<std::string> problem = readTag(tag)) {
            return problem;
        }
        if (tag.closing) {
            if (open_.empty() || open_.back() != tag.name) {
                return "closing tag " + tag.name + " does not match " +
                       (open_.empty() ? "anything" : open_.back());
            }
            open_.pop_back();
            if (tag.name == "DataArray") {
                if (std::optional<std::string> problem = checkArray(*current)) {
                    return problem;
                }
                current.reset();
            }
            if (tag.name == "Piece" && pointsArrays_ != 1) {
                return std::string("a piece does not have exactly one points array");
            }
            if (open_.empty()) {
                break;
            }
            continue;
        }
        if (std::optional<std::string> problem = openElement(tag)) {
            return problem;
        }
        sawRoot = true;
        if (tag.name == "DataArray") {
            current = ArrayDeclaration{};
            current->attributes = tag.attributes;
            current->parent = open_.back();
            if (current->parent == "Points") {
                ++pointsArrays_;
            }
            if (current->parent == "FieldData") {
                long long tuples = 0;
                const auto found = tag.attributes.find("NumberOfTuples");
                if (found == tag.attributes.end() || !parseWhole(found->second, tuples) || tuples < 0 ||
                    static_cast<double>(tuples) > maxPoints_) {
                    return std::string("a field array has no usable NumberOfTuples");
                }
                current->tuples = static_cast<double>(tuples);
            } else {
                current->tuples = current->parent == "CellData" ? pieceCells_ : piecePoints_;
            }
            if (tag.selfClosing) {
                if (std::optional<std::string> problem = checkArray(*current)) {
                    return problem;
                }
                current.reset();
            } else {
                open_.push_back(tag.name);
            }
            continue;
        }
        if (tag.name == "AppendedData") {
            if (tag.selfClosing) {
                return std::string("the appended data is empty");
            }
            // Raw bytes follow the "_" marker; the element structure ends here.
            int c = source_.get();
            while (isSpace(c)) {
                c = source_.get();
            }
            if (c != '_') {
                return std::string("the appended data does not start with '_'");
            }
            sawAppended_ = true;
            appendedStart_ = source_.position();
            break;
        }
        if (!tag.selfClosing) {
            open_.push_back(tag.name);
        }
    }
    if (!sawRoot) {
        return std::string("it holds no VTKFile element");
    }
    if (pieceCount_ == 0) {
        return std::string("it holds no piece");
    }
    if (!sawAppended_ && !open_.empty()) {
        return "the file ends inside " + open_.back();
    }
    return checkAppended();
}

// ------------------------------------------------------------- legacy VTK

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

std::optional<std::string> structuredGridFileProblem(std::istream& in, std::uint64_t fileBytes,
                                                     double maxPoints) {
    GridCheck check(in, fileBytes, maxPoints);
    return check.run();
}

std::optional<std::string> legacyVtkStructureProblem(std::istream& in, std::uint64_t fileBytes) {
    in.imbue(std::locale::classic());
    LegacyWalk walk(in, fileBytes);
    return walk.run();
}

} // namespace orvane
