// orvane-step-reader STEP_FILE OUT_DIR PARENT_PID MEMORY_MIB
// Reads and meshes a STEP file for the view in a process of its own and
// hands the model back as files in OUT_DIR (see saveStepModel). Transfer
// progress goes to file descriptor 3 as one fraction per line. Exit status 0 when the model
// was written, 1 when the file was refused (the reason on standard error),
// 2 on a usage error. MEMORY_MIB bounds the memory it may take (0: no
// bound). It ends with the view: a reader outliving the view would only
// keep a core busy.

#include "geometry/ModelFiles.h"
#include "geometry/StepModel.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <limits>
#include <string>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

bool writeProgressLine(double fraction) {
    char line[32];
    const int length = std::snprintf(line, sizeof line, "%.4f\n", fraction);
    for (int written = 0; written < length;) {
        const ssize_t n = ::write(3, line + written, static_cast<std::size_t>(length - written));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        written += static_cast<int>(n);
    }
    return true;
}

// The private writable memory the process holds (VmData), which is what
// RLIMIT_DATA bounds.
rlim_t dataBytesHeld() {
    std::ifstream status("/proc/self/status");
    std::string key;
    for (unsigned long long kibibytes = 0; status >> key;) {
        if (key == "VmData:" && status >> kibibytes) {
            return static_cast<rlim_t>(kibibytes) * 1024;
        }
        status.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    }
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 5) {
        std::cerr << "usage: orvane-step-reader STEP_FILE OUT_DIR PARENT_PID MEMORY_MIB\n";
        return 2;
    }
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (std::to_string(::getppid()) != argv[3]) {
        return 1; // the view is already gone
    }
    // A hostile file can make the translation or the meshing allocate
    // without end: past the bound an allocation fails here, in this process.
    // The bound counts from what the process holds already, which in a
    // sanitizer build is terabytes of reserved shadow memory.
    if (const long long mebibytes = std::atoll(argv[4]); mebibytes > 0) {
        const auto bytes = dataBytesHeld() + static_cast<rlim_t>(mebibytes) * 1024 * 1024;
        const rlimit limit{bytes, bytes};
        ::setrlimit(RLIMIT_DATA, &limit);
    }
    const std::string stepPath = argv[1];
    double reported = -1.0;
    const auto progress = [&reported](double fraction) {
        // The view reads whole thousandths; finer steps only cost writes.
        if (fraction - reported < 0.001 && fraction < 1.0) {
            return true;
        }
        reported = fraction;
        return writeProgressLine(fraction);
    };
    std::optional<orvane::StepModel> model = orvane::readStepModel(stepPath, std::cout, progress);
    std::cout.flush();
    if (!model) {
        return 1;
    }
    // The meshes cross to the view with the shapes; made here, from the
    // geometry as read, they are those of a read in place.
    if (const std::optional<std::string> failure =
            orvane::failureOf([&] { orvane::meshStepModel(*model); })) {
        std::cerr << "cannot mesh the model of " << stepPath << ": " << *failure << '\n';
        orvane::closeDocument(model->document);
        return 1;
    }
    bool saved = false;
    if (const std::optional<std::string> failure =
            orvane::failureOf([&] { saved = orvane::saveStepModel(*model, argv[2], std::cerr); })) {
        std::cerr << "cannot hand the model of " << stepPath << " over: " << *failure << '\n';
    }
    // The view waits for this process to end before it takes the model:
    // taking a large model apart again costs it a second or so, for nothing.
    std::cout.flush();
    std::cerr.flush();
    std::_Exit(saved ? 0 : 1);
}
