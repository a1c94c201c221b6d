#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace orvane {

struct CleanupOutcome {
    int removed = 0;
    int failed = 0;
    // Listed files left alone: gone, no longer regular files, or reached
    // through a directory that is a link.
    int skipped = 0;
};

// Deletes the files the program itself wrote (the last STEP import's STL
// files and its cuts; all files of an import stopped before it completed). A file is deleted only when it is still a regular
// file, not a link, and the directory holding it is a real directory, not a
// link to one: nothing outside the tree the import wrote is ever touched.
// Missing files are skipped silently; a file that cannot be deleted is
// reported and the rest are still deleted.
CleanupOutcome removeWrittenFiles(const std::vector<std::string>& files, std::ostream& diagnostics);

} // namespace orvane
