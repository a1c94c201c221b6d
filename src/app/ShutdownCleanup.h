#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace orvane {

struct CleanupOutcome {
    int removed = 0;
    int failed = 0;
};

// Deletes the regular files (links followed for the test) directly inside
// each directory; subdirectories and their contents stay. A missing or empty
// path is skipped. A file that cannot be deleted is reported and the rest are
// still deleted.
CleanupOutcome removeRegularFiles(const std::vector<std::string>& directories, std::ostream& diagnostics);

} // namespace orvane
