// orvane_step_handover_benchmark STEP_FILE [RUNS]
// The cost of reading a STEP model in a child process: the read and meshing
// in place (readStepModel, meshStepModel) and the isolated read
// (readStepModelIsolated: the child's start, its read and meshing, the
// hand-over file written and read back), alternating, RUNS times each.
// Then, once, the hand-over file's own costs in this process: writing it,
// its size, and reading it back. Prints every run and the medians; asserts
// nothing.

#include "geometry/IsolatedStepRead.h"
#include "geometry/ModelFiles.h"
#include "geometry/StepModel.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <thread>
#include <unistd.h>
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

    std::ostringstream quiet;
    std::optional<orvane::StepModel> model = orvane::readStepModel(path, quiet);
    orvane::meshStepModel(*model);
    const std::filesystem::path directory =
        std::filesystem::temp_directory_path() / ("orvane-handover-" + std::to_string(::getpid()));
    std::filesystem::create_directories(directory);
    const std::clock_t startCpu = std::clock();
    const auto start = std::chrono::steady_clock::now();
    const bool saved = orvane::saveStepModel(*model, directory.string(), std::cerr);
    const auto written = std::chrono::steady_clock::now();
    const std::clock_t writtenCpu = std::clock();
    std::optional<orvane::StepModel> back = orvane::loadStepModel(directory.string(), std::cerr);
    const auto read = std::chrono::steady_clock::now();
    const std::clock_t readCpu = std::clock();
    std::uintmax_t bytes = 0;
    for (const auto& entry : std::filesystem::directory_iterator(directory)) {
        bytes += entry.file_size();
    }
    orvane::closeDocument(model->document);
    if (!saved || !back) {
        std::cerr << "the hand-over file could not be written or read\n";
        return 1;
    }
    std::cout << "hand-over file: " << bytes / 1048576.0 << " MiB, written in "
              << std::chrono::duration<double>(written - start).count() << " s, read in "
              << std::chrono::duration<double>(read - written).count() << " s (processor time "
              << double(writtenCpu - startCpu) / CLOCKS_PER_SEC << " s and "
              << double(readCpu - writtenCpu) / CLOCKS_PER_SEC << " s)\n";

    // The import's files, from the model read in place and from the one
    // handed over, alternating.
    const unsigned threads = std::max(1u, std::thread::hardware_concurrency());
    const std::atomic<bool> stop{false};
    for (int run = 0; run < runs; ++run) {
        for (const auto* which : {&*model, &*back}) {
            const std::filesystem::path root = directory / "root";
            std::filesystem::create_directories(root / "data/step");
            std::filesystem::create_directories(root / "data/solid");
            std::ostringstream lines;
            const auto filesStart = std::chrono::steady_clock::now();
            orvane::writeModelFiles(*which, root.string(), threads, lines, stop);
            std::cout << "files from the model " << (which == &*model ? "read in place" : "handed over")
                      << ": "
                      << std::chrono::duration<double>(std::chrono::steady_clock::now() - filesStart).count()
                      << " s\n";
            std::filesystem::remove_all(root);
        }
    }
    std::filesystem::remove_all(directory);
    return 0;
}
