#include "app/CheckedFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace orvane {

namespace {

constexpr std::size_t bufferSize = 1 << 20;
constexpr std::size_t largestReserve = 1 << 16;

} // namespace

CheckedFile::CheckedFile(const std::string& path)
    : fd_(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666)),
      buffer_(new char[bufferSize]) {
    if (fd_ < 0) {
        fail("cannot create the file");
    }
}

CheckedFile::~CheckedFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

char* CheckedFile::reserve(std::size_t size) {
    if (bufferSize - used_ < std::min(size, largestReserve)) {
        writeBuffered();
    }
    return buffer_.get() + used_;
}

void CheckedFile::advance(const char* end) {
    used_ = static_cast<std::size_t>(end - buffer_.get());
}

void CheckedFile::append(std::string_view text) {
    while (!text.empty()) {
        const std::size_t part = std::min(text.size(), largestReserve);
        char* at = reserve(part);
        std::memcpy(at, text.data(), part);
        advance(at + part);
        text.remove_prefix(part);
    }
}

std::optional<std::string> CheckedFile::finish() {
    writeBuffered();
    if (fd_ >= 0) {
        const int closed = ::close(fd_);
        fd_ = -1;
        if (closed != 0) {
            fail("cannot close the file");
        }
    }
    return problem_;
}

void CheckedFile::writeBuffered() {
    for (std::size_t written = 0; written < used_ && !problem_;) {
        const ssize_t n = ::write(fd_, buffer_.get() + written, used_ - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n == 0) {
                errno = EIO;
            }
            fail("cannot write the file");
            break;
        }
        written += static_cast<std::size_t>(n);
    }
    used_ = 0;
}

void CheckedFile::fail(const char* what) {
    if (!problem_) {
        problem_ = std::string(what) + ": " + std::strerror(errno);
    }
}

} // namespace orvane
