#include "app/TemporarySibling.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

namespace orvane {

namespace {

std::string uniqueSiblingPath(const std::string& target) {
    static std::atomic<unsigned> counter{0};
    return target + ".orvane-tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
}

} // namespace

TemporarySibling::TemporarySibling(std::string target)
    : target_(std::move(target)), path_(uniqueSiblingPath(target_)) {}

TemporarySibling::TemporarySibling(std::string target, std::string temporaryPath)
    : target_(std::move(target)), path_(std::move(temporaryPath)) {}

TemporarySibling::~TemporarySibling() {
    if (!committed_) {
        std::remove(path_.c_str());
    }
}

std::optional<std::string> TemporarySibling::commit() {
    if (std::rename(path_.c_str(), target_.c_str()) != 0) {
        return std::string(std::strerror(errno));
    }
    committed_ = true;
    return std::nullopt;
}

} // namespace orvane
