// orvane-solver INPUT A1 A2 A3 A4: the remote solver "./demo". Reads the
// view's preFiles.txt and STEP file from INPUT, meshes the part with Gmsh,
// solves with CalculiX (ccx) and writes unitfcm5-0-1e-10-451/ in the working
// directory. Under mpirun only rank 0 works; CalculiX runs with as many
// threads as there are ranks.

#include "SolverRun.h"

#include <cstdlib>
#include <iostream>
#include <string>

namespace {

int environmentNumber(const char* name, int fallback) {
    const char* text = std::getenv(name);
    if (!text || !*text) {
        return fallback;
    }
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    return *end == '\0' && value >= 0 && value < 100000 ? static_cast<int>(value) : fallback;
}

} // namespace

int main(int argc, char** argv) {
    // Open MPI's mpirun names each rank; one process does the work and the
    // others leave at once, so that CalculiX's threads get the cores.
    if (environmentNumber("OMPI_COMM_WORLD_RANK", 0) != 0) {
        return 0;
    }
    if (argc != 6) {
        std::cerr << "usage: orvane-solver INPUT static|modal|both MODES ELEMENT_SIZE 1|2\n";
        return 2;
    }
    std::string error;
    const auto options = orvane::solver::parseRunOptions(argv[2], argv[3], argv[4], argv[5], error);
    if (!options) {
        std::cerr << "orvane-solver: " << error << "\n";
        return 2;
    }
    const int cores = std::max(1, environmentNumber("OMPI_COMM_WORLD_SIZE", 1));
    return orvane::solver::runSolver(argv[1], *options, cores);
}
