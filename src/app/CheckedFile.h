#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace orvane {

// A file written through one buffer, every write and the close checked, so
// that a full disk is reported instead of found later in a short file.
class CheckedFile {
public:
    // Creates or truncates the file; a failure is reported by finish.
    explicit CheckedFile(const std::string& path);
    CheckedFile(const CheckedFile&) = delete;
    CheckedFile& operator=(const CheckedFile&) = delete;
    ~CheckedFile();

    // Room for `size` bytes (at most 64 KiB) after those buffered: write
    // there and hand the end of what was written to `advance`.
    char* reserve(std::size_t size);
    void advance(const char* end);
    void append(std::string_view text);

    // Writes the rest and closes the file: nothing when every byte was
    // written, else what went wrong ("cannot write the file: ...").
    std::optional<std::string> finish();

private:
    void writeBuffered();
    void fail(const char* what);

    int fd_ = -1;
    std::unique_ptr<char[]> buffer_;
    std::size_t used_ = 0;
    std::optional<std::string> problem_;
};

} // namespace orvane
