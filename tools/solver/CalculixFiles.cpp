#include "CalculixFiles.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <locale>
#include <ostream>
#include <sstream>

namespace orvane::solver {

namespace {

void writeIdLines(std::ostream& out, const std::vector<int>& ids) {
    for (std::size_t i = 0; i < ids.size(); ++i) {
        out << ids[i] << ((i + 1) % 16 == 0 || i + 1 == ids.size() ? ",\n" : ", ");
    }
}

bool anyFlag(const std::array<int, 3>& flags) {
    return flags[0] != 0 || flags[1] != 0 || flags[2] != 0;
}

void writeBoundary(std::ostream& out, const std::string& set, const std::array<int, 3>& flags) {
    for (int d = 0; d < 3; ++d) {
        if (flags[static_cast<std::size_t>(d)] != 0) {
            out << set << ", " << d + 1 << ", " << d + 1 << "\n";
        }
    }
}

// A fixed-width field of a .frd line as a number (from_chars: no locale, no
// stream per field in files of millions of fields).
double field(const std::string& line, std::size_t start, std::size_t width, bool& ok) {
    if (start >= line.size()) {
        ok = false;
        return 0.0;
    }
    const char* first = line.data() + start;
    const char* last = line.data() + std::min(line.size(), start + width);
    while (first < last && *first == ' ') {
        ++first;
    }
    if (first < last && *first == '+') {
        ++first;
    }
    double value = 0.0;
    const auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last || first == last) {
        ok = false;
    }
    return value;
}

} // namespace

std::vector<int> calculixTet10FromGmsh(const std::vector<int>& g) {
    return {g[0], g[1], g[2], g[3], g[4], g[5], g[6], g[7], g[9], g[8]};
}

int couplingNodeId(const TetMesh& mesh, std::size_t coupling) {
    return static_cast<int>(mesh.nodes.size() + 1 + coupling);
}

void writeDeck(const Deck& deck, std::ostream& out) {
    const TetMesh& mesh = *deck.mesh;
    out.imbue(std::locale::classic());
    out.precision(12);
    out << "** Written by orvane-solver: units mm, N, t, s\n";
    out << "*NODE, NSET=NALL\n";
    for (std::size_t k = 0; k < mesh.nodes.size(); ++k) {
        const auto& p = mesh.nodes[k];
        out << k + 1 << ", " << p[0] << ", " << p[1] << ", " << p[2] << "\n";
    }
    for (std::size_t c = 0; c < deck.couplings.size(); ++c) {
        const auto& p = deck.couplings[c].centre;
        out << couplingNodeId(mesh, c) << ", " << p[0] << ", " << p[1] << ", " << p[2] << "\n";
    }
    out << "*ELEMENT, TYPE=" << (mesh.order == 1 ? "C3D4" : "C3D10") << ", ELSET=EALL\n";
    for (std::size_t e = 0; e < mesh.elements.size(); ++e) {
        out << e + 1;
        for (const int node : mesh.elements[e]) {
            out << ", " << node;
        }
        out << "\n";
    }
    for (const NodeSupport& support : deck.supports) {
        out << "*NSET, NSET=" << support.name << "\n";
        writeIdLines(out, support.nodes);
    }
    for (std::size_t c = 0; c < deck.couplings.size(); ++c) {
        const Coupling& coupling = deck.couplings[c];
        out << "*NSET, NSET=" << coupling.name << "\n";
        writeIdLines(out, coupling.nodes);
        out << "*NSET, NSET=" << coupling.name << "REF\n" << couplingNodeId(mesh, c) << ",\n";
        out << "*ELEMENT, TYPE=DCOUP3D, ELSET=" << coupling.name << "E\n"
            << mesh.elements.size() + 1 + c << ", " << couplingNodeId(mesh, c) << "\n";
    }
    const Material& m = deck.material;
    out << "*MATERIAL, NAME=PART\n*ELASTIC\n" << m.youngsModulus << ", " << m.poisson << "\n";
    out << "*DENSITY\n" << densityTonnesPerCubicMillimetre(m.density) << "\n";
    out << "*SOLID SECTION, ELSET=EALL, MATERIAL=PART\n";
    for (const Coupling& coupling : deck.couplings) {
        out << "*DISTRIBUTING COUPLING, ELSET=" << coupling.name << "E\n" << coupling.name << ", 1.\n";
    }
    out << "*BOUNDARY\n";
    for (const NodeSupport& support : deck.supports) {
        writeBoundary(out, support.name, support.translation);
    }
    for (const Coupling& coupling : deck.couplings) {
        writeBoundary(out, coupling.name + "REF", coupling.translation);
    }

    if (deck.staticStep) {
        out << "*STEP\n*STATIC\n";
        bool header = false;
        const auto cload = [&](int node, int dof, double value) {
            if (value == 0.0) {
                return;
            }
            if (!header) {
                out << "*CLOAD\n";
                header = true;
            }
            out << node << ", " << dof << ", " << value << "\n";
        };
        for (const NodalForce& f : deck.forces) {
            for (int d = 0; d < 3; ++d) {
                cload(f.node, d + 1, f.force[static_cast<std::size_t>(d)]);
            }
        }
        for (std::size_t c = 0; c < deck.couplings.size(); ++c) {
            for (int d = 0; d < 3; ++d) {
                cload(couplingNodeId(mesh, c), d + 1, deck.couplings[c].force[static_cast<std::size_t>(d)]);
            }
        }
        out << "*NODE FILE, NSET=NALL\nU\n*EL FILE, ELSET=EALL\nS\n";
        for (const NodeSupport& support : deck.supports) {
            out << "*NODE PRINT, NSET=" << support.name << ", TOTALS=ONLY\nRF\n";
        }
        for (const Coupling& coupling : deck.couplings) {
            if (anyFlag(coupling.translation)) {
                out << "*NODE PRINT, NSET=" << coupling.name << "REF, TOTALS=ONLY\nRF\n";
            }
        }
        out << "*END STEP\n";
    }
    if (deck.modeCount > 0) {
        out << "*STEP\n*FREQUENCY\n" << deck.modeCount << "\n*NODE FILE, NSET=NALL\nU\n*END STEP\n";
    }
}

std::optional<std::vector<FrdBlock>> readFrd(const std::string& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read " + path;
        return std::nullopt;
    }
    return parseFrd(in, error);
}

std::optional<std::vector<FrdBlock>> parseFrd(std::istream& in, std::string& error) {
    std::vector<FrdBlock> blocks;
    std::string line;
    bool modal = false;
    FrdBlock* current = nullptr;
    long long lineNumber = 0;
    while (std::getline(in, line)) {
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.rfind("  100C", 0) == 0) {
            modal = line.find("MODAL") != std::string::npos;
        } else if (line.rfind(" -4", 0) == 0) {
            std::istringstream words(line.substr(3));
            words.imbue(std::locale::classic());
            FrdBlock block;
            words >> block.name >> block.components;
            block.modal = modal;
            blocks.push_back(std::move(block));
            current = &blocks.back();
        } else if (line.rfind(" -3", 0) == 0) {
            current = nullptr;
        } else if (current && line.rfind(" -1", 0) == 0) {
            bool ok = true;
            const int node = static_cast<int>(field(line, 3, 10, ok));
            // A DISP block counts its magnitude ("ALL") among the components
            // but does not write it: read the fields the line holds.
            const std::size_t fields = line.size() > 13 ? (line.size() - 13 + 11) / 12 : 0;
            std::vector<double> values(std::min(fields, static_cast<std::size_t>(current->components)));
            ok = ok && !values.empty();
            for (std::size_t i = 0; i < values.size(); ++i) {
                values[i] = field(line, 13 + 12 * i, 12, ok);
            }
            if (!ok) {
                error = ".frd line " + std::to_string(lineNumber) + " holds no node values: '" + line + "'";
                return std::nullopt;
            }
            current->values[node] = std::move(values);
        }
    }
    return blocks;
}

std::optional<DatSummary> readDat(const std::string& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read " + path;
        return std::nullopt;
    }
    return parseDat(in);
}

DatSummary parseDat(std::istream& in) {
    DatSummary summary;
    enum class Reading { Nothing, Eigenvalues, Totals } reading = Reading::Nothing;
    std::string set;
    std::string line;
    // Print requests carry over into a frequency step; only the static
    // step's totals are reactions to the applied loads.
    bool frequencyStep = false;
    while (std::getline(in, line)) {
        if (line.find("E I G E N V A L U E   O U T P U T") != std::string::npos) {
            reading = Reading::Eigenvalues;
            frequencyStep = true;
            continue;
        }
        const std::size_t totals = line.find("total force (fx,fy,fz) for set ");
        if (totals != std::string::npos && !frequencyStep) {
            std::istringstream words(line.substr(totals + 31));
            words.imbue(std::locale::classic());
            words >> set;
            reading = Reading::Totals;
            continue;
        }
        std::istringstream words(line);
        words.imbue(std::locale::classic());
        if (reading == Reading::Eigenvalues) {
            // Data lines: mode number, eigenvalue, then frequencies. The
            // first line of words after the table ends it.
            int mode = 0;
            double eigenvalue = 0.0;
            if (words >> mode >> eigenvalue) {
                summary.eigenvalues.push_back(eigenvalue);
            } else if (!summary.eigenvalues.empty() && line.find_first_not_of(' ') != std::string::npos) {
                reading = Reading::Nothing;
            }
        } else if (reading == Reading::Totals) {
            std::array<double, 3> force{};
            if (words >> force[0] >> force[1] >> force[2]) {
                summary.reactionTotals.emplace_back(set, force);
                reading = Reading::Nothing;
            }
        }
    }
    return summary;
}

double vonMises(const std::vector<double>& s) {
    const double a = s[0] - s[1];
    const double b = s[1] - s[2];
    const double c = s[2] - s[0];
    return std::sqrt(0.5 * (a * a + b * b + c * c) + 3.0 * (s[3] * s[3] + s[4] * s[4] + s[5] * s[5]));
}

} // namespace orvane::solver
