#pragma once

#include <array>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace orvane::solver {

enum class Analysis { Static, Modal, Both };

// The four words after INPUT: analysis, mode count, element size, order.
struct RunOptions {
    Analysis analysis = Analysis::Static;
    int modeCount = 0;        // 1 to 50 when modal results are asked for
    double elementSize = 0.0; // model units; 0 lets the solver choose
    int elementOrder = 2;     // 1 or 2
};

// Checks the words; a wrong one yields nullopt and a message naming it.
std::optional<RunOptions> parseRunOptions(const std::string& analysis, const std::string& modes,
                                          const std::string& size, const std::string& order,
                                          std::string& error);

bool wantsStatic(const RunOptions& options);
bool wantsModal(const RunOptions& options);

struct Material {
    double youngsModulus = 0.0; // MPa
    double poisson = 0.0;
    double density = 0.0;       // kg/m^3 in the file; see densityTonnesPerCubicMillimetre
    double yieldStrength = 0.0; // MPa
};

// kg/m^3 to t/mm^3, the density of a consistent mm, N, t, s system.
double densityTonnesPerCubicMillimetre(double kilogramsPerCubicMetre);

struct FaceLoad {
    int face = 0;
    std::array<double, 3> force{};  // N, total over the face
    std::array<double, 3> moment{}; // N mm, about the face's centroid
};

struct FaceSupport {
    int face = 0;
    std::array<int, 3> translation{};
    std::array<int, 3> rotation{};
};

// A rigid element: its centre coupled to faces, with the loads and supports
// given for its target.
struct Rb3Coupling {
    int targetA = 0;
    int targetB = 0;
    std::vector<int> faces;
    std::array<double, 3> centre{};
    std::vector<FaceLoad> loads;       // face field unused
    std::vector<FaceSupport> supports; // face field unused
};

// What preFiles.txt describes.
struct SolverInput {
    std::string address;
    Material material;
    std::vector<FaceLoad> loads;
    std::vector<FaceSupport> supports;
    std::vector<Rb3Coupling> couplings;
    // Beams, springs and connections, one description each: this solver does
    // not analyse them, so a model holding any is refused.
    std::vector<std::string> unsupported;
};

// Reads preFiles.txt as the view writes it (CR LF or LF line ends). Returns
// nullopt with a message for a file that cannot be read or whose numbers or
// material values are wrong.
std::optional<SolverInput> readSolverInput(const std::string& path, std::string& error);
std::optional<SolverInput> parseSolverInput(std::istream& in, std::string& error);

// The base name of a path written with "/" or "\" separators.
std::string pathBaseName(const std::string& path);

} // namespace orvane::solver
