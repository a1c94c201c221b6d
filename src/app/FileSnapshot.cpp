#include "app/FileSnapshot.h"

#include "app/Descriptor.h"

#include <cerrno>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvane {

namespace {

// Copies up to `bytes` bytes from `from` to `to` in the kernel; falls back to
// reading and writing where the file system cannot send. Returns the bytes
// copied (fewer when the file shrank), or -1 with errno set.
long long copyBytes(int from, int to, std::uint64_t bytes) {
    std::uint64_t copied = 0;
    while (copied < bytes) {
        const std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>(bytes - copied, 1U << 30));
        const ssize_t n = ::sendfile(to, from, nullptr, chunk);
        if (n > 0) {
            copied += static_cast<std::uint64_t>(n);
            continue;
        }
        if (n == 0) {
            break;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EINVAL && errno != ENOSYS) {
            return -1;
        }
        char buffer[1 << 16];
        const ssize_t got =
            ::read(from, buffer, std::min(sizeof buffer, static_cast<std::size_t>(bytes - copied)));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            if (got < 0) {
                return -1;
            }
            break;
        }
        for (ssize_t written = 0; written < got;) {
            const ssize_t w = ::write(to, buffer + written, static_cast<std::size_t>(got - written));
            if (w < 0 && errno == EINTR) {
                continue;
            }
            if (w <= 0) {
                return -1;
            }
            written += w;
        }
        copied += static_cast<std::uint64_t>(got);
    }
    return static_cast<long long>(copied);
}

} // namespace

std::optional<FileSnapshot> FileSnapshot::take(const std::string& path, std::uint64_t maxBytes,
                                               std::string& why) {
    const Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat status {};
    if (file.get() < 0 || ::fstat(file.get(), &status) != 0) {
        why = std::strerror(errno);
        return std::nullopt;
    }
    // Checked on the opened file: the path may have changed since it was checked.
    if (!S_ISREG(status.st_mode)) {
        why = "it is not a regular file";
        return std::nullopt;
    }
    const auto fileBytes = static_cast<std::uint64_t>(status.st_size);
    if (fileBytes > maxBytes) {
        why = "it is larger than " + std::to_string(maxBytes) + " bytes";
        return std::nullopt;
    }
    Descriptor copy(::memfd_create("orvane-file-snapshot", MFD_CLOEXEC));
    if (copy.get() < 0) {
        why = std::string("no memory for a copy: ") + std::strerror(errno);
        return std::nullopt;
    }
    const long long copied = copyBytes(file.get(), copy.get(), fileBytes);
    if (copied < 0) {
        why = std::strerror(errno);
        return std::nullopt;
    }
    const char* mapped = nullptr;
    if (copied > 0) {
        void* at = ::mmap(nullptr, static_cast<std::size_t>(copied), PROT_READ, MAP_SHARED, copy.get(), 0);
        if (at == MAP_FAILED) {
            why = std::string("no memory for a copy: ") + std::strerror(errno);
            return std::nullopt;
        }
        mapped = static_cast<const char*>(at);
    }
    return FileSnapshot(copy.release(), static_cast<std::uint64_t>(copied), mapped);
}

FileSnapshot::FileSnapshot(FileSnapshot&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), size_(std::exchange(other.size_, 0)),
      mapped_(std::exchange(other.mapped_, nullptr)) {}

FileSnapshot& FileSnapshot::operator=(FileSnapshot&& other) noexcept {
    if (this != &other) {
        release();
        fd_ = std::exchange(other.fd_, -1);
        size_ = std::exchange(other.size_, 0);
        mapped_ = std::exchange(other.mapped_, nullptr);
    }
    return *this;
}

FileSnapshot::~FileSnapshot() {
    release();
}

void FileSnapshot::unmap() {
    if (mapped_ != nullptr) {
        ::munmap(const_cast<char*>(mapped_), static_cast<std::size_t>(size_));
        mapped_ = nullptr;
    }
}

void FileSnapshot::release() {
    unmap();
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

std::string FileSnapshot::readerPath() const {
    return "/proc/self/fd/" + std::to_string(fd_);
}

ByteInput::Buffer::Buffer(std::string_view bytes) {
    char* begin = const_cast<char*>(bytes.data());
    setg(begin, begin, begin + bytes.size());
}

ByteInput::Buffer::pos_type ByteInput::Buffer::seekoff(off_type offset, std::ios_base::seekdir direction,
                                                       std::ios_base::openmode) {
    off_type base = 0;
    if (direction == std::ios_base::cur) {
        base = gptr() - eback();
    } else if (direction == std::ios_base::end) {
        base = egptr() - eback();
    }
    const off_type target = base + offset;
    if (target < 0 || target > egptr() - eback()) {
        return pos_type(off_type(-1));
    }
    setg(eback(), eback() + target, egptr());
    return pos_type(target);
}

ByteInput::Buffer::pos_type ByteInput::Buffer::seekpos(pos_type position, std::ios_base::openmode mode) {
    return seekoff(off_type(position), std::ios_base::beg, mode);
}

ByteInput::ByteInput(std::string_view bytes) : std::istream(nullptr), buffer_(bytes) {
    rdbuf(&buffer_);
}

} // namespace orvane
