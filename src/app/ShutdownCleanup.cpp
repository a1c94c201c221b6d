#include "app/ShutdownCleanup.h"

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace orvane {

CleanupOutcome removeRegularFiles(const std::vector<std::string>& directories, std::ostream& diagnostics) {
    CleanupOutcome outcome;
    for (const std::string& directory : directories) {
        std::error_code error;
        if (directory.empty() || !fs::is_directory(fs::u8path(directory), error)) {
            continue;
        }
        fs::directory_iterator entries(fs::u8path(directory), error);
        if (error) {
            diagnostics << "orvane: cannot list " << directory << ": " << error.message() << "\n";
            ++outcome.failed;
            continue;
        }
        // Collect first: deleting while iterating leaves the iteration order unspecified.
        std::vector<fs::path> files;
        for (auto entry = entries; entry != fs::directory_iterator(); entry.increment(error)) {
            if (error) {
                break;
            }
            std::error_code statusError;
            if (fs::is_regular_file(entry->path(), statusError)) {
                files.push_back(entry->path());
            }
        }
        for (const fs::path& file : files) {
            std::error_code removeError;
            if (fs::remove(file, removeError)) {
                ++outcome.removed;
            } else {
                diagnostics << "orvane: cannot delete " << file.u8string() << ": " << removeError.message()
                            << "\n";
                ++outcome.failed;
            }
        }
    }
    return outcome;
}

} // namespace orvane
