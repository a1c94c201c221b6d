#include "model/SolverFiles.h"

#include "geometry/MeshFiles.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <functional>
#include <iomanip>
#include <iostream>
#include <locale>

namespace orvane {

namespace {

// The title of preFiles.txt, in GBK as the solver expects it.
const char* const kPreFilesTitle =
    "\xBD\xE1\xB9\xB9\xBE\xB2\xC1\xA6\xD1\xA7\xC7\xB0\xB4\xA6\xC0\xED\xCE\xC4\xBC\xFE";
// "matched" in GBK, printed for each beam-node record written.
const char* const kMatched = "\xC6\xA5\xC5\xE4\xB5\xBD";

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

bool isAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// At least one blank, then an integer; pos moves past it.
bool readBlankThenInteger(const std::string& text, std::size_t& pos, int& value) {
    const std::size_t start = pos;
    while (pos < text.size() && isBlank(text[pos])) {
        ++pos;
    }
    if (pos == start) {
        return false;
    }
    // from_chars ignores the locale, unlike the stream extractors.
    const char* first = text.data() + pos;
    const auto [end, error] = std::from_chars(first, text.data() + text.size(), value);
    if (error != std::errc()) {
        return false;
    }
    pos += static_cast<std::size_t>(end - first);
    return true;
}

// The fields of one data line, one space between them; an array gives one
// field per element, an empty string an empty field.
class Fields {
public:
    explicit Fields(std::ostream& out) : out_(out) {}

    template <typename T> void add(const T& value) {
        if (!first_) {
            out_ << ' ';
        }
        first_ = false;
        out_ << value;
    }

    template <typename T, std::size_t N> void add(const std::array<T, N>& values) {
        for (const T& value : values) {
            add(value);
        }
    }

private:
    std::ostream& out_;
    bool first_ = true;
};

template <typename... Values> void writeFields(std::ostream& out, const Values&... values) {
    Fields fields(out);
    (fields.add(values), ...);
}

template <typename... Values> void writeLine(std::ostream& out, const Values&... values) {
    writeFields(out, values...);
    out << '\n';
}

// The target of a record that a section filtered by letter takes.
std::optional<Target> targetWithLetter(const std::string& text, char letter) {
    std::optional<Target> target = parseTarget(text);
    if (target && target->letter != letter) {
        target.reset();
    }
    return target;
}

bool writeText(const std::string& path, const std::function<void(std::ostream&)>& body) {
    return writeFileReplacing(
        path,
        [&](const std::string& temporaryPath) {
            std::ofstream out(temporaryPath, std::ios::binary | std::ios::trunc);
            if (!out) {
                std::cerr << "cannot write " << path << ": " << std::strerror(errno) << '\n';
                return false;
            }
            // The view runs under the user's locale, which may write "0,5".
            out.imbue(std::locale::classic());
            body(out);
            out.close();
            if (!out) {
                std::cerr << "cannot write " << path << ": write failed\n";
                return false;
            }
            return true;
        },
        std::cerr);
}

void writePreFilesText(const AnalysisModel& model, std::ostream& out, std::ostream& console) {
    out << std::fixed << std::setprecision(6);

    out << kPreFilesTitle << "\n\n";

    out << "$ address\n" << model.stepPath << "\n\n";

    out << "$ materials\n";
    for (const double value : model.materials) {
        out << value << ' ';
    }
    out << "\n\n";

    out << "$ BPP\n";
    writeLine(out, model.bpp);
    out << '\n';

    out << "$ brepFiles\n";
    for (const std::string& file : model.brepFiles) {
        out << file << '\n';
    }
    out << '\n';

    out << "$ forceFace id xn yn zn xr yr zr\n";
    for (const ForceRecord& force : model.forces) {
        if (const auto target = targetWithLetter(force.target, 'F')) {
            writeLine(out, target->b, force.components);
        }
    }
    out << '\n';

    out << "$ fixFace id xn yn zn xr yr zr\n";
    for (const ConstraintRecord& constraint : model.constraints) {
        if (const auto target = targetWithLetter(constraint.target, 'F')) {
            writeLine(out, target->b, 0, constraint.translation, constraint.rotation);
        }
    }
    out << '\n';

    for (const BeamRecord& beam : model.beams) {
        out << "$ mat poi radius len seg Beam\n";
        writeLine(out, beam.material, beam.poisson, beam.radius, beam.length, beam.segments);
        out << "\n$ x y z Beam\n";
        for (const Point3& point : beam.points) {
            writeLine(out, point);
        }
        out << '\n';
    }
    out << '\n';

    out << "$ con ids id xd yd zd xr yr zr Beam\n";
    for (const ConstraintRecord& constraint : model.constraints) {
        if (const auto target = targetWithLetter(constraint.target, 'B')) {
            writeLine(out, target->a, target->b, constraint.translation, constraint.rotation);
            console << kMatched << '\n';
        }
    }
    out << '\n';

    out << "$ arrow ids id xn yn zn xr yr zr Beam\n";
    for (const ForceRecord& force : model.forces) {
        if (const auto target = targetWithLetter(force.target, 'B')) {
            writeLine(out, target->a, target->b, force.components);
            console << kMatched << '\n';
        }
    }
    out << '\n';

    out << "$ x y z X Y Z stiffness_x stiffness_y stiffness_z type1 type2 Spring\n";
    for (const SpringRecord& spring : model.springs) {
        // substr(0, 1) of an empty type is empty: its field stays empty.
        writeLine(out, spring.start, spring.end, spring.stiffness, spring.type1.substr(0, 1),
                  spring.type2.substr(0, 1));
    }
    out << '\n';

    out << "$ type id1 id x1 y1 z1 type id1 id x2 y2 z2 xn yn zn xr yr zr Connect\n";
    for (const ConnectionRecord& connection : model.connections) {
        writeLine(out, connection.targetA, connection.pointA, connection.targetB, connection.pointB,
                  connection.flags);
    }
    out << '\n';

    for (const Rb3Record& element : model.rb3Elements) {
        out << "$ id RB3\n";
        for (const int32_t id : element.faceIds) {
            out << id << '\n';
        }
        out << "\n$ type id ids x y z RB3\n";
        if (const auto target = parseTarget(element.target)) {
            writeLine(out, target->letter, target->a, target->b, element.centre);
        } else {
            writeLine(out, element.target.substr(0, 1), 0, 0, element.centre);
        }
        out << '\n';
    }

    out << "$ con type id ids xd yd zd xr yr zr RB3\n";
    for (const ConstraintRecord& constraint : model.constraints) {
        if (const auto target = targetWithLetter(constraint.target, 'P')) {
            writeLine(out, 'P', target->a, target->b, constraint.translation, constraint.rotation);
        }
    }
    out << '\n';

    out << "$ arrow type id ids xn yn zn xr yr zr RB3\n";
    for (const ForceRecord& force : model.forces) {
        if (const auto target = targetWithLetter(force.target, 'P')) {
            writeLine(out, 'P', target->a, target->b, force.components);
        }
    }
    out << '\n';
}

void writeBeamText(const AnalysisModel& model, std::ostream& out) {
    for (const BeamRecord& beam : model.beams) {
        out << "$ mat poi radius len seg // x y z\n";
        writeLine(out, beam.material, beam.poisson, beam.radius, beam.length, beam.segments);
        for (const Point3& point : beam.points) {
            writeLine(out, point);
        }
    }

    out << "$ con // mark // id xd yd zd xr yr zr Beam\n";
    for (const ConstraintRecord& constraint : model.constraints) {
        if (const auto target = targetWithLetter(constraint.target, 'B')) {
            writeLine(out, target->b, constraint.translation, constraint.rotation);
        }
    }

    out << "$ arrow // mark // id xn yn zn xr yr zr Beam\n";
    for (const ForceRecord& force : model.forces) {
        if (const auto target = targetWithLetter(force.target, 'B')) {
            // The beam file locates the load by the force's position, not its
            // components; the " 0 0 0 " tail, trailing space included, is part
            // of its format.
            writeFields(out, target->b, force.position);
            out << " 0 0 0 \n";
        }
    }
}

void writeSpringText(const AnalysisModel& model, std::ostream& out) {
    out << "$ x y z X Y Z \n";
    for (const SpringRecord& spring : model.springs) {
        writeLine(out, spring.start, spring.end);
    }
    for (const SpringRecord& spring : model.springs) {
        writeLine(out, spring.stiffness);
    }
}

} // namespace

std::optional<Target> parseTarget(const std::string& text) {
    if (text.empty() || !isAsciiLetter(text[0])) {
        return std::nullopt;
    }
    Target target{text[0], 0, 0};
    std::size_t pos = 1;
    if (!readBlankThenInteger(text, pos, target.a) || !readBlankThenInteger(text, pos, target.b)) {
        return std::nullopt;
    }
    return target;
}

bool writePreFiles(const AnalysisModel& model, const std::string& path, std::ostream& console) {
    return writeText(path, [&](std::ostream& out) { writePreFilesText(model, out, console); });
}

bool writeBeamFile(const AnalysisModel& model, const std::string& path) {
    return writeText(path, [&](std::ostream& out) { writeBeamText(model, out); });
}

bool writeSpringFile(const AnalysisModel& model, const std::string& path) {
    return writeText(path, [&](std::ostream& out) { writeSpringText(model, out); });
}

} // namespace orvane
