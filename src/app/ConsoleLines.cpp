#include "app/ConsoleLines.h"

#include <cerrno>
#include <iostream>
#include <map>

#include <unistd.h>

namespace orvane {

namespace {

void writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return; // a closed console loses the line, as a stream would
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
}

// Ends a line that its thread left unfinished, so that it cannot run into
// another thread's line.
void writeUnfinished(int fd, std::string& text) {
    if (text.empty()) {
        return;
    }
    text.push_back('\n');
    const std::lock_guard<std::mutex> lock(consoleMutex());
    writeAll(fd, text.data(), text.size());
    text.clear();
}

// Set when the thread's lines are gone: what the thread writes after that
// (the destructors of statics at exit) goes out at once. A flag without a
// destructor stays usable until the thread ends.
thread_local bool threadLinesGone = false;

// The unfinished line of each descriptor, per thread.
struct ThreadLines {
    std::map<int, std::string> byDescriptor;
    ~ThreadLines() {
        for (auto& [fd, text] : byDescriptor) {
            writeUnfinished(fd, text);
        }
        threadLinesGone = true;
    }
};

} // namespace

std::mutex& consoleMutex() {
    static std::mutex mutex;
    return mutex;
}

ConsoleLineBuffer::ConsoleLineBuffer(int fileDescriptor) : fd_(fileDescriptor) {}

ConsoleLineBuffer::~ConsoleLineBuffer() {
    if (std::string* rest = pending()) {
        writeUnfinished(fd_, *rest);
    }
}

std::string* ConsoleLineBuffer::pending() {
    if (threadLinesGone) {
        return nullptr;
    }
    thread_local ThreadLines lines;
    return &lines.byDescriptor[fd_];
}

void ConsoleLineBuffer::writeNow(const char* data, std::size_t size) {
    const std::lock_guard<std::mutex> lock(consoleMutex());
    writeAll(fd_, data, size);
}

void ConsoleLineBuffer::writeCompleteLines(std::string& text) {
    const std::size_t end = text.rfind('\n');
    if (end == std::string::npos) {
        return;
    }
    {
        const std::lock_guard<std::mutex> lock(consoleMutex());
        writeAll(fd_, text.data(), end + 1);
    }
    text.erase(0, end + 1);
}

ConsoleLineBuffer::int_type ConsoleLineBuffer::overflow(int_type character) {
    if (traits_type::eq_int_type(character, traits_type::eof())) {
        return traits_type::not_eof(character);
    }
    const char c = traits_type::to_char_type(character);
    std::string* text = pending();
    if (text == nullptr) {
        writeNow(&c, 1);
        return character;
    }
    text->push_back(c);
    if (c == '\n') {
        writeCompleteLines(*text);
    }
    return character;
}

std::streamsize ConsoleLineBuffer::xsputn(const char* data, std::streamsize count) {
    std::string* text = pending();
    if (text == nullptr) {
        writeNow(data, static_cast<std::size_t>(count));
        return count;
    }
    text->append(data, static_cast<std::size_t>(count));
    writeCompleteLines(*text);
    return count;
}

int ConsoleLineBuffer::sync() {
    if (std::string* text = pending()) {
        writeCompleteLines(*text);
    }
    return 0;
}

void installConsoleLines() {
    // Never destroyed: threads may still write while statics go away.
    static auto* const out = new ConsoleLineBuffer(STDOUT_FILENO);
    static auto* const err = new ConsoleLineBuffer(STDERR_FILENO);
    std::cout.flush();
    std::cerr.flush();
    std::cout.rdbuf(out);
    std::cerr.rdbuf(err);
}

} // namespace orvane
