// orvane-result-generator ROOT [--surface FILE.stl] [--box-level N]
//                              [--grid NX NY NZ] [--modes N] [--animation-modes]
//                              [--series DIR N]
// orvane-result-generator --encoding-samples DIR
// Writes a complete, plausible result set for a model surface into a data
// root, so the result commands can be tried and tested without a solver.

#include "ResultGenerator.h"

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

namespace {

int usage() {
    std::cerr << "usage: orvane-result-generator ROOT [--surface FILE.stl] [--box-level N]"
                 " [--grid NX NY NZ] [--modes N] [--animation-modes] [--series DIR N]\n"
                 "  --animation-modes  also the mode grids as playModel reads them (postprocess60.vts, ...)\n"
                 "  --series DIR N     also N frames of a result series in DIR (box3D_FEMmpData1.vtk, ...)\n"
                 "usage: orvane-result-generator --encoding-samples DIR\n"
                 "  a small grid in every XML encoding and as legacy frames, for robustness tests\n";
    return 2;
}

bool positive(const char* word, int& value) {
    char* end = nullptr;
    const long number = std::strtol(word, &end, 10);
    if (end == word || *end != '\0' || number < 1 || number > 100000) {
        return false;
    }
    value = static_cast<int>(number);
    return true;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc == 3 && std::strcmp(argv[1], "--encoding-samples") == 0) {
        return orvane::resultgen::writeEncodingSamples(argv[2], std::cerr) ? EXIT_SUCCESS : EXIT_FAILURE;
    }
    if (argc < 2 || argv[1][0] == '-') {
        return usage();
    }
    orvane::resultgen::ResultSetOptions options;
    std::string seriesDir;
    int seriesFrames = 0;
    for (int i = 2; i < argc; ++i) {
        const std::string option = argv[i];
        const int left = argc - i - 1;
        if (option == "--surface" && left >= 1) {
            options.surfaceStl = argv[++i];
        } else if (option == "--box-level" && left >= 1 && positive(argv[i + 1], options.boxLevel)) {
            ++i;
        } else if (option == "--modes" && left >= 1 && positive(argv[i + 1], options.modeCount)) {
            ++i;
        } else if (option == "--animation-modes") {
            options.animationModeFiles = true;
        } else if (option == "--series" && left >= 2 && positive(argv[i + 2], seriesFrames)) {
            seriesDir = argv[i + 1];
            i += 2;
        } else if (option == "--grid" && left >= 3 && positive(argv[i + 1], options.grid.nx) &&
                   positive(argv[i + 2], options.grid.ny) && positive(argv[i + 3], options.grid.nz)) {
            i += 3;
        } else {
            return usage();
        }
    }
    if (!orvane::resultgen::writeResultSet(argv[1], options, std::cerr)) {
        return EXIT_FAILURE;
    }
    if (!seriesDir.empty() && !orvane::resultgen::writeFrameSeries(seriesDir, options.boxBounds, options.grid,
                                                                   seriesFrames, std::cerr)) {
        return EXIT_FAILURE;
    }
    return EXIT_SUCCESS;
}
