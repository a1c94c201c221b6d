#include "SolverInput.h"

#include <cmath>
#include <fstream>
#include <locale>
#include <sstream>

namespace orvane::solver {

namespace {

// Numbers are read in the C locale, whatever the process's locale says.
std::istringstream numberStream(const std::string& text) {
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    return in;
}

bool parseWholeNumber(const std::string& text, double& value) {
    auto in = numberStream(text);
    return static_cast<bool>(in >> value) && (in >> std::ws).eof() && std::isfinite(value);
}

bool parseWholeInteger(const std::string& text, int& value) {
    auto in = numberStream(text);
    return static_cast<bool>(in >> value) && (in >> std::ws).eof();
}

// Which block of preFiles.txt a header line opens.
enum class Section {
    None,
    Address,
    Materials,
    Skipped, // BPP, B-rep files, beam points
    ForceFaces,
    FixFaces,
    Beam,
    BeamConstraints,
    BeamForces,
    Springs,
    Connections,
    Rb3Faces,
    Rb3Centre,
    Rb3Constraints,
    Rb3Forces,
};

Section sectionOf(const std::string& header) {
    static const std::pair<const char*, Section> headers[] = {
        {"$ address", Section::Address},
        {"$ materials", Section::Materials},
        {"$ BPP", Section::Skipped},
        {"$ brepFiles", Section::Skipped},
        {"$ forceFace id xn yn zn xr yr zr", Section::ForceFaces},
        {"$ fixFace id xn yn zn xr yr zr", Section::FixFaces},
        {"$ mat poi radius len seg Beam", Section::Beam},
        {"$ x y z Beam", Section::Skipped},
        {"$ con ids id xd yd zd xr yr zr Beam", Section::BeamConstraints},
        {"$ arrow ids id xn yn zn xr yr zr Beam", Section::BeamForces},
        {"$ x y z X Y Z stiffness_x stiffness_y stiffness_z type1 type2 Spring", Section::Springs},
        {"$ type id1 id x1 y1 z1 type id1 id x2 y2 z2 xn yn zn xr yr zr Connect", Section::Connections},
        {"$ id RB3", Section::Rb3Faces},
        {"$ type id ids x y z RB3", Section::Rb3Centre},
        {"$ con type id ids xd yd zd xr yr zr RB3", Section::Rb3Constraints},
        {"$ arrow type id ids xn yn zn xr yr zr RB3", Section::Rb3Forces},
    };
    for (const auto& [text, section] : headers) {
        if (header == text) {
            return section;
        }
    }
    return Section::None;
}

template <typename T, std::size_t N> bool readArray(std::istream& in, std::array<T, N>& values) {
    for (T& value : values) {
        if (!(in >> value)) {
            return false;
        }
    }
    return true;
}

bool endOfLine(std::istream& in) {
    return (in >> std::ws).eof();
}

bool finite(const std::array<double, 3>& values) {
    return std::isfinite(values[0]) && std::isfinite(values[1]) && std::isfinite(values[2]);
}

} // namespace

std::optional<RunOptions> parseRunOptions(const std::string& analysis, const std::string& modes,
                                          const std::string& size, const std::string& order,
                                          std::string& error) {
    RunOptions options;
    if (analysis == "static") {
        options.analysis = Analysis::Static;
    } else if (analysis == "modal") {
        options.analysis = Analysis::Modal;
    } else if (analysis == "both") {
        options.analysis = Analysis::Both;
    } else {
        error = "unknown analysis '" + analysis + "' (A1 must be static, modal or both)";
        return std::nullopt;
    }
    if (!parseWholeInteger(modes, options.modeCount) ||
        (wantsModal(options) && (options.modeCount < 1 || options.modeCount > 50))) {
        error = "unknown number of modes '" + modes + "' (A2 must be a whole number from 1 to 50)";
        return std::nullopt;
    }
    if (!parseWholeNumber(size, options.elementSize) || options.elementSize < 0.0) {
        error = "unknown element size '" + size + "' (A3 must be a length >= 0, 0 chooses one)";
        return std::nullopt;
    }
    if (order == "1" || order == "2") {
        options.elementOrder = order == "1" ? 1 : 2;
    } else {
        error = "unknown element order '" + order + "' (A4 must be 1 or 2)";
        return std::nullopt;
    }
    return options;
}

bool wantsStatic(const RunOptions& options) {
    return options.analysis != Analysis::Modal;
}

bool wantsModal(const RunOptions& options) {
    return options.analysis != Analysis::Static;
}

double densityTonnesPerCubicMillimetre(double kilogramsPerCubicMetre) {
    // 1 kg/m^3 = 1e-3 t / 1e9 mm^3.
    return kilogramsPerCubicMetre * 1e-12;
}

std::optional<SolverInput> readSolverInput(const std::string& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read " + path;
        return std::nullopt;
    }
    return parseSolverInput(in, error);
}

std::optional<SolverInput> parseSolverInput(std::istream& in, std::string& error) {
    SolverInput input;
    Section section = Section::None;
    bool addressRead = false;
    bool materialsRead = false;
    int lineNumber = 0;
    int beamCount = 0;
    const auto fail = [&](const std::string& why) {
        error = "preFiles.txt line " + std::to_string(lineNumber) + ": " + why;
        return std::nullopt;
    };
    const auto findCoupling = [&](int a, int b) -> Rb3Coupling* {
        for (Rb3Coupling& coupling : input.couplings) {
            if (coupling.targetA == a && coupling.targetB == b) {
                return &coupling;
            }
        }
        return nullptr;
    };

    std::string line;
    while (std::getline(in, line)) {
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.rfind("$ ", 0) == 0) {
            section = sectionOf(line);
            if (section == Section::Beam) {
                input.unsupported.push_back("beam " + std::to_string(++beamCount));
            } else if (section == Section::Rb3Faces) {
                input.couplings.emplace_back();
            }
            continue;
        }
        if (section == Section::Address && !addressRead) {
            input.address = line;
            addressRead = true;
            continue;
        }
        if (line.find_first_not_of(" \t") == std::string::npos) {
            continue;
        }
        auto words = numberStream(line);
        switch (section) {
        case Section::None:
        case Section::Address:
        case Section::Skipped:
        case Section::Beam:
            break;
        case Section::Materials: {
            if (materialsRead) {
                break;
            }
            materialsRead = true;
            std::vector<double> values;
            double value = 0.0;
            while (words >> value) {
                values.push_back(value);
            }
            if (!endOfLine(words)) {
                return fail("the materials line holds a word that is not a number");
            }
            if (values.size() < 4) {
                return fail("the materials line holds " + std::to_string(values.size()) +
                            " values; it needs four: Young's modulus (MPa), Poisson's ratio, density "
                            "(kg/m3) and yield strength (MPa)");
            }
            const std::size_t first = values.size() - 4;
            input.material = {values[first], values[first + 1], values[first + 2], values[first + 3]};
            break;
        }
        case Section::ForceFaces: {
            FaceLoad load;
            if (!(words >> load.face) || !readArray(words, load.force) || !readArray(words, load.moment) ||
                !endOfLine(words) || !finite(load.force) || !finite(load.moment)) {
                return fail("a force line needs a face index and six numbers: '" + line + "'");
            }
            input.loads.push_back(load);
            break;
        }
        case Section::FixFaces: {
            FaceSupport support;
            int unused = 0;
            if (!(words >> support.face >> unused) || !readArray(words, support.translation) ||
                !readArray(words, support.rotation) || !endOfLine(words)) {
                return fail("a constraint line needs a face index, 0 and six flags: '" + line + "'");
            }
            input.supports.push_back(support);
            break;
        }
        case Section::BeamConstraints:
            input.unsupported.push_back("beam constraint '" + line + "'");
            break;
        case Section::BeamForces:
            input.unsupported.push_back("beam force '" + line + "'");
            break;
        case Section::Springs:
            input.unsupported.push_back("spring '" + line + "'");
            break;
        case Section::Connections:
            input.unsupported.push_back("connection '" + line + "'");
            break;
        case Section::Rb3Faces: {
            int face = 0;
            if (!(words >> face) || !endOfLine(words)) {
                return fail("an RB3 face line needs one face index: '" + line + "'");
            }
            input.couplings.back().faces.push_back(face);
            break;
        }
        case Section::Rb3Centre: {
            char letter = 0;
            Rb3Coupling* coupling = input.couplings.empty() ? nullptr : &input.couplings.back();
            if (!coupling || !(words >> letter >> coupling->targetA >> coupling->targetB) ||
                !readArray(words, coupling->centre) || !endOfLine(words)) {
                return fail("an RB3 centre line needs a target and three coordinates: '" + line + "'");
            }
            break;
        }
        case Section::Rb3Constraints:
        case Section::Rb3Forces: {
            char letter = 0;
            int a = 0;
            int b = 0;
            if (!(words >> letter >> a >> b)) {
                return fail("an RB3 line needs a target: '" + line + "'");
            }
            Rb3Coupling* coupling = findCoupling(a, b);
            if (!coupling) {
                // A picked point that is no RB3 centre: nothing of the solid
                // carries it.
                input.unsupported.push_back(
                    std::string(section == Section::Rb3Constraints ? "constraint" : "force") +
                    " on a point that is no RB3 centre '" + line + "'");
                break;
            }
            if (section == Section::Rb3Constraints) {
                FaceSupport support;
                if (!readArray(words, support.translation) || !readArray(words, support.rotation) ||
                    !endOfLine(words)) {
                    return fail("an RB3 constraint line needs six flags: '" + line + "'");
                }
                coupling->supports.push_back(support);
            } else {
                FaceLoad load;
                if (!readArray(words, load.force) || !readArray(words, load.moment) || !endOfLine(words) ||
                    !finite(load.force) || !finite(load.moment)) {
                    return fail("an RB3 force line needs six numbers: '" + line + "'");
                }
                coupling->loads.push_back(load);
            }
            break;
        }
        }
    }
    const auto failFile = [&](const std::string& why) {
        error = "preFiles.txt: " + why;
        return std::nullopt;
    };
    if (!addressRead || input.address.empty()) {
        return failFile("no STEP file is named under '$ address'");
    }
    if (!materialsRead) {
        return failFile("no '$ materials' line");
    }
    const Material& m = input.material;
    if (!(m.youngsModulus > 0.0) || !std::isfinite(m.youngsModulus)) {
        return failFile("Young's modulus must be positive (MPa)");
    }
    if (!(m.poisson > -1.0 && m.poisson < 0.5)) {
        return failFile("Poisson's ratio must lie between -1 and 0.5");
    }
    if (!(m.density > 0.0) || !std::isfinite(m.density)) {
        return failFile("the density must be positive (kg/m3)");
    }
    return input;
}

std::string pathBaseName(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace orvane::solver
