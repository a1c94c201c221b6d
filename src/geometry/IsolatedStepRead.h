#pragma once

#include "geometry/StepModel.h"

#include <iosfwd>
#include <optional>
#include <string>

namespace orvane {

// How readStepModelIsolated runs its reader process.
struct IsolatedReadOptions {
    // The reader program; empty means stepReaderProgram().
    std::string readerProgram;
    // The whole read, parse to hand-over, stops after this long; 0 means
    // the limit for the file's size (see limits::stepReadBaseSeconds).
    double timeLimitSeconds = 0;
    // The most memory the reader may take, in MiB; 0 means half of this
    // machine's memory. A file that makes the translation or the meshing
    // allocate without end then fails the reader alone, instead of the
    // out-of-memory killer choosing among the user's processes.
    long long memoryLimitMebibytes = 0;
};

// The STEP reader program: "orvane-step-reader" beside the running
// executable, or else the one of this build tree.
std::string stepReaderProgram();

// readStepModel in a child process, so that a file that makes OpenCASCADE
// crash or run away costs that process, not the caller: the child parses
// and transfers the file and hands the model back as files (saveStepModel),
// which are loaded here. The child runs in a process group of its own;
// its console lines are copied to `console`, its diagnostics go to standard
// error. `progress` gets the child's transfer fraction, and the last one
// again at least every 0.2 s while the child works; when it returns false,
// or the time limit passes, or this call is left any other way, the child's
// group is killed. A refused file (unreadable, a crash, a stop, the time
// limit) yields nullopt with a diagnostic naming the file and the reason.
std::optional<StepModel> readStepModelIsolated(const std::string& stepPath, std::ostream& console,
                                               const TransferProgress& progress = {},
                                               const IsolatedReadOptions& options = {});

} // namespace orvane
