#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace orvane {

// Starts program (a path, or a name looked up in PATH) with args, without a
// shell: every argument reaches the program unchanged, whatever characters it
// holds. Waits for the program to end and returns its exit status; a program
// ended by signal N gives 128 + N with a diagnostic. Returns -1 with a
// diagnostic when the program cannot be started (missing, not executable).
int runProgram(const std::string& program, const std::vector<std::string>& args, std::ostream& diagnostics);

} // namespace orvane
