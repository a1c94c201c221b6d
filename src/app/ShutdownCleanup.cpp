#include "app/ShutdownCleanup.h"

#include "app/FileChecks.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace orvane {

namespace {

std::string parentOf(const std::string& file) {
    const std::string::size_type slash = file.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : file.substr(0, slash);
}

} // namespace

CleanupOutcome removeWrittenFiles(const std::vector<std::string>& files, std::ostream& diagnostics) {
    CleanupOutcome outcome;
    for (const std::string& file : files) {
        struct stat status {};
        if (pathProblem(file) || ::lstat(file.c_str(), &status) != 0) {
            ++outcome.skipped;
            continue;
        }
        if (!S_ISREG(status.st_mode)) {
            diagnostics << "orvane: clean-up leaves " << file << ": not a regular file\n";
            ++outcome.skipped;
            continue;
        }
        const std::string directory = parentOf(file);
        struct stat directoryStatus {};
        if (::lstat(directory.c_str(), &directoryStatus) != 0 || !S_ISDIR(directoryStatus.st_mode)) {
            diagnostics << "orvane: clean-up leaves " << file << ": " << directory
                        << " is not a directory of its own (a link?)\n";
            ++outcome.skipped;
            continue;
        }
        if (std::remove(file.c_str()) == 0) {
            ++outcome.removed;
        } else {
            diagnostics << "orvane: cannot delete " << file << ": " << std::strerror(errno) << "\n";
            ++outcome.failed;
        }
    }
    return outcome;
}

} // namespace orvane
