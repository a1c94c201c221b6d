// orvane_step_handover_benchmark STEP_FILE [RUNS]
// The cost of reading a STEP model in a child process: the read and meshing
// in place (readStepModel, meshStepModel) and the isolated read
// (readStepModelIsolated: the child's start, its read and meshing, the
// hand-over file written and read back), alternating, RUNS times each.
// Prints every run and the medians; asserts nothing.

#include "geometry/IsolatedStepRead.h"
#include "geometry/ModelFiles.h"
#include "geometry/StepModel.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <vector>

namespace {

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

template <typename Read> double timed(Read read) {
    const auto start = std::chrono::steady_clock::now();
    std::optional<orvane::StepModel> model = read();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!model) {
        std::cerr << "the read failed\n";
        std::exit(1);
    }
    orvane::closeDocument(model->document);
    return seconds;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc < 2) {
        std::cerr << "usage: orvane_step_handover_benchmark STEP_FILE [RUNS]\n";
        return 2;
    }
    const std::string path = argv[1];
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    std::vector<double> inPlace;
    std::vector<double> isolated;
    for (int run = 0; run < runs; ++run) {
        std::ostringstream console;
        inPlace.push_back(timed([&] {
            std::optional<orvane::StepModel> model = orvane::readStepModel(path, console);
            if (model) {
                orvane::meshStepModel(*model);
            }
            return model;
        }));
        isolated.push_back(timed([&] { return orvane::readStepModelIsolated(path, console); }));
        std::cout << "run " << run + 1 << ": in place " << inPlace.back() << " s, isolated "
                  << isolated.back() << " s\n";
    }
    const double a = median(inPlace);
    const double b = median(isolated);
    std::cout << "median: in place " << a << " s, isolated " << b << " s, hand-over " << b - a << " s ("
              << (a > 0 ? 100.0 * (b - a) / a : 0.0) << " %)\n";
    return 0;
}
