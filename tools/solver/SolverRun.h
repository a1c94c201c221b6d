#pragma once

#include "SolverInput.h"

#include <string>

namespace orvane::solver {

// The directory the view downloads, in the working directory.
extern const char* const resultDirectoryName;

// Solves the model of `input` (a directory holding preFiles.txt and the STEP
// file) and writes the result directory; `cores` threads for CalculiX.
// Returns the exit status: 0 on success, non-zero with the reason in
// solver.log and on standard error.
int runSolver(const std::string& input, const RunOptions& options, int cores);

} // namespace orvane::solver
