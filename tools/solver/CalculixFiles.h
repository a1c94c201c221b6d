#pragma once

#include "SolverInput.h"

#include <array>
#include <iosfwd>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace orvane::solver {

// A tetrahedral mesh with CalculiX node numbering: node ids count from 1,
// element connectivity in CalculiX's order (C3D4 or C3D10).
struct TetMesh {
    std::vector<std::array<double, 3>> nodes; // node id k + 1 is nodes[k]
    std::vector<std::vector<int>> elements;   // node ids
    int order = 2;
};

// Gmsh numbers the last two edge nodes of a 10-node tetrahedron the other
// way round from CalculiX (edges 2-3 and 1-3, 0-based corners).
std::vector<int> calculixTet10FromGmsh(const std::vector<int>& gmshNodes);

struct NodalForce {
    int node = 0;
    std::array<double, 3> force{};
};

// A set of nodes held in the directions whose flag is set.
struct NodeSupport {
    std::string name;
    std::vector<int> nodes;
    std::array<int, 3> translation{};
};

// A distributing coupling: a reference node at the centre carries the loads
// and supports and passes them to the coupled nodes.
struct Coupling {
    std::string name;
    std::array<double, 3> centre{};
    std::vector<int> nodes;
    std::array<double, 3> force{};
    std::array<double, 3> moment{};
    std::array<int, 3> translation{};
};

struct Deck {
    const TetMesh* mesh = nullptr;
    Material material;
    std::vector<NodalForce> forces;
    std::vector<NodeSupport> supports;
    std::vector<Coupling> couplings;
    bool staticStep = true;
    int modeCount = 0; // a frequency step follows when positive
};

// The CalculiX input deck (mm, N, t, s: the density in t/mm^3). The static
// step prints the reaction totals of every support set to the .dat file.
void writeDeck(const Deck& deck, std::ostream& out);

// The id the deck gives to the reference node of coupling k.
int couplingNodeId(const TetMesh& mesh, std::size_t coupling);

// One result block of a .frd file: values per node id.
struct FrdBlock {
    std::string name; // DISP, STRESS, ...
    bool modal = false;
    int components = 0;
    std::map<int, std::vector<double>> values;
};

// Reads the ASCII .frd result file (fixed-width fields; neighbouring numbers
// may touch). nullopt with a message for a file that cannot be read.
std::optional<std::vector<FrdBlock>> readFrd(const std::string& path, std::string& error);
std::optional<std::vector<FrdBlock>> parseFrd(std::istream& in, std::string& error);

// What the .dat file reports: eigenvalues (rad^2/s^2) and the totals of
// reaction forces per node set, in the order printed.
struct DatSummary {
    std::vector<double> eigenvalues;
    std::vector<std::pair<std::string, std::array<double, 3>>> reactionTotals;
};
std::optional<DatSummary> readDat(const std::string& path, std::string& error);
DatSummary parseDat(std::istream& in);

// Von Mises stress of sxx, syy, szz, sxy, syz, szx.
double vonMises(const std::vector<double>& stress);

} // namespace orvane::solver
