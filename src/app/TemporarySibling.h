#pragma once

#include <optional>
#include <string>

namespace orvane {

// A file written beside its target and renamed over it once whole, so that a
// reader of the target never sees half a file and a failed write leaves the
// old one. Being a sibling keeps the rename on one file system, in one step.
// The file is removed unless committed.
class TemporarySibling {
public:
    // The temporary path is the target's with a suffix unique to this
    // process and call.
    explicit TemporarySibling(std::string target);
    // A temporary path of the caller's choosing, in the target's directory
    // (for a writer that cannot be given the target's own directory name).
    TemporarySibling(std::string target, std::string temporaryPath);
    TemporarySibling(const TemporarySibling&) = delete;
    TemporarySibling& operator=(const TemporarySibling&) = delete;
    ~TemporarySibling();

    const std::string& path() const { return path_; }
    const std::string& target() const { return target_; }

    // Renames the file over the target; the reason (the system's error text)
    // when that fails, and the file is then removed as if not committed.
    std::optional<std::string> commit();

private:
    std::string target_;
    std::string path_;
    bool committed_ = false;
};

} // namespace orvane
