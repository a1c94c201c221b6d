// Stand-in for the remote solver "./demo INPUT A1 A2 A3 A4", run under
// mpirun in its working directory. Every rank reads its share of the files
// of INPUT; the totals meet in an MPI_Allreduce. Rank 0 then writes the
// result directory unitfcm5-0-1e-10-451 with the modal result files, its
// arguments (arguments.txt, one per line) and what the ranks saw (run.txt).

#include "ResultGenerator.h"

#include <mpi.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int modeCount = 3;
const char* const resultDirectory = "unitfcm5-0-1e-10-451";

// INPUT/bounds.txt, when present, holds xmin xmax ymin ymax zmin zmax.
std::array<double, 6> readBounds(const fs::path& input) {
    std::array<double, 6> bounds{0.0, 1.0, 0.0, 1.0, 0.0, 1.0};
    std::ifstream in(input / "bounds.txt");
    std::array<double, 6> read{};
    if (in && (in >> read[0] >> read[1] >> read[2] >> read[3] >> read[4] >> read[5])) {
        bounds = read;
    }
    return bounds;
}

int run(int argc, char** argv, int rank, int size) {
    if (argc != 6) {
        if (rank == 0) {
            std::cerr << "usage: demo INPUT A1 A2 A3 A4\n";
        }
        return 2;
    }
    const fs::path input = argv[1];
    std::error_code error;
    std::vector<fs::path> files;
    for (fs::directory_iterator entry(input, error), end; !error && entry != end; entry.increment(error)) {
        if (entry->is_regular_file()) {
            files.push_back(entry->path());
        }
    }
    if (error || !fs::is_directory(input)) {
        if (rank == 0) {
            std::cerr << "demo: cannot read the input directory " << input << '\n';
        }
        return 3;
    }
    std::sort(files.begin(), files.end());

    // Rank r reads files r, r + size, ...
    long long mine[3] = {0, 0, 1}; // bytes, files, ranks
    for (std::size_t i = static_cast<std::size_t>(rank); i < files.size();
         i += static_cast<std::size_t>(size)) {
        mine[0] += static_cast<long long>(fs::file_size(files[i], error));
        mine[1] += 1;
    }
    long long total[3] = {0, 0, 0};
    MPI_Allreduce(mine, total, 3, MPI_LONG_LONG, MPI_SUM, MPI_COMM_WORLD);
    if (rank != 0) {
        return 0;
    }

    const fs::path result = resultDirectory;
    fs::create_directories(result, error);
    std::ofstream arguments(result / "arguments.txt");
    for (int i = 1; i < argc; ++i) {
        arguments << argv[i] << '\n';
    }
    std::ofstream summary(result / "run.txt");
    summary << "ranks " << total[2] << "\nfiles " << total[1] << "\nbytes " << total[0] << '\n';
    if (!arguments || !summary ||
        !orvane::resultgen::writeModalSet(result.string(), readBounds(input), modeCount, std::cerr)) {
        std::cerr << "demo: cannot write the result directory " << fs::absolute(result) << '\n';
        return 4;
    }
    std::cout << "demo: " << total[2] << " ranks read " << total[1] << " files (" << total[0] << " bytes)\n";
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    MPI_Init(&argc, &argv);
    int rank = 0;
    int size = 1;
    MPI_Comm_rank(MPI_COMM_WORLD, &rank);
    MPI_Comm_size(MPI_COMM_WORLD, &size);
    const int status = run(argc, argv, rank, size);
    MPI_Finalize();
    return status;
}
