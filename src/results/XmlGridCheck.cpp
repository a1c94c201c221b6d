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
using Attributes = std::map<std::string, std::string>;

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

} // namespace

std::optional<std::string> structuredGridFileProblem(std::istream& in, std::uint64_t fileBytes,
                                                     double maxPoints) {
    GridCheck check(in, fileBytes, maxPoints);
    return check.run();
}

} // namespace orvane
