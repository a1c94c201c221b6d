#pragma once

#include <cstdint>
#include <istream>
#include <optional>
#include <streambuf>
#include <string>
#include <string_view>

namespace orvane {

// A private copy of a file's bytes as they were when it was taken, in an
// anonymous memory file of this process. The checks read bytes() and the
// reader is then given readerPath(), so what the reader parses is exactly
// what was checked: a file replaced, truncated or still being written under
// its name after the check never reaches the reader. The copy is made by the
// kernel (no pass through this process's memory) and lives as long as the
// snapshot; a reader that reads again later needs its snapshot kept.
class FileSnapshot {
public:
    // The copy of the regular file at path, of at most maxBytes bytes;
    // nullopt with the reason in `why` when it cannot be opened or copied or
    // is larger.
    static std::optional<FileSnapshot> take(const std::string& path, std::uint64_t maxBytes,
                                            std::string& why);

    FileSnapshot(FileSnapshot&& other) noexcept;
    FileSnapshot& operator=(FileSnapshot&& other) noexcept;
    FileSnapshot(const FileSnapshot&) = delete;
    FileSnapshot& operator=(const FileSnapshot&) = delete;
    ~FileSnapshot();

    std::uint64_t size() const { return size_; }
    // The bytes, mapped read-only until unmap().
    std::string_view bytes() const {
        return {mapped_, static_cast<std::size_t>(mapped_ != nullptr ? size_ : 0)};
    }
    // Drops the mapping once the checks are done; the copy stays for readers.
    void unmap();
    // A path that opens this copy ("/proc/self/fd/N").
    std::string readerPath() const;

private:
    FileSnapshot(int fd, std::uint64_t size, const char* mapped) : fd_(fd), size_(size), mapped_(mapped) {}
    void release();

    int fd_ = -1;
    std::uint64_t size_ = 0;
    const char* mapped_ = nullptr;
};

// An input stream over bytes held elsewhere, without copying them; seeking
// works as in a file.
class ByteInput : public std::istream {
public:
    explicit ByteInput(std::string_view bytes);

private:
    class Buffer : public std::streambuf {
    public:
        explicit Buffer(std::string_view bytes);

    protected:
        pos_type seekoff(off_type offset, std::ios_base::seekdir direction, std::ios_base::openmode) override;
        pos_type seekpos(pos_type position, std::ios_base::openmode mode) override;
    };
    Buffer buffer_;
};

} // namespace orvane
