#pragma once

#include <atomic>
#include <chrono>
#include <iosfwd>
#include <string>
#include <vector>

namespace orvane {

// When a running program is stopped: after `timeLimit` (zero: never), or
// as soon as `stop` (when given) becomes true. A stopped program's process
// group gets SIGTERM, then SIGKILL after `grace`.
struct RunLimits {
    std::chrono::milliseconds timeLimit{0};
    const std::atomic<bool>* stop = nullptr;
    std::chrono::milliseconds grace{3000};
};

// Starts program (a path, or a name looked up in PATH) with args, without a
// shell: every argument reaches the program unchanged, whatever characters it
// holds. The program leads a process group of its own. Waits for the program
// to end and returns its exit status; a program ended by signal N gives
// 128 + N with a diagnostic. Returns -1 with a diagnostic when the program
// cannot be started (missing, not executable) or was stopped by the limits.
int runProgram(const std::string& program, const std::vector<std::string>& args, std::ostream& diagnostics,
               const RunLimits& limits = {});

} // namespace orvane
