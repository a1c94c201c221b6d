#pragma once

#include <unistd.h>
#include <utility>

namespace orvane {

// Owns a file descriptor and closes it when it goes.
class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() { reset(); }
    int get() const { return fd_; }
    // Closes the one held and holds fd instead.
    void reset(int fd = -1) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = fd;
    }
    // Hands the descriptor over; nothing is closed.
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_ = -1;
};

} // namespace orvane
