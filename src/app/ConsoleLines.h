#pragma once

#include <mutex>
#include <streambuf>
#include <string>

namespace orvane {

// The one lock every console line is written under, standard output and
// standard error alike.
std::mutex& consoleMutex();

// A stream buffer that collects what each thread writes until the end of a
// line and then writes the whole line to the file descriptor under
// consoleMutex(), so lines from the import threads never interleave. A flush
// writes only complete lines; the rest of a line waits for its end, and a
// thread that exits in the middle of a line has it ended for it.
class ConsoleLineBuffer : public std::streambuf {
public:
    explicit ConsoleLineBuffer(int fileDescriptor);
    ConsoleLineBuffer(const ConsoleLineBuffer&) = delete;
    ConsoleLineBuffer& operator=(const ConsoleLineBuffer&) = delete;
    ~ConsoleLineBuffer() override;

protected:
    int_type overflow(int_type character) override;
    std::streamsize xsputn(const char* text, std::streamsize count) override;
    int sync() override;

private:
    // This thread's unfinished line; null once the thread's lines are gone.
    std::string* pending();
    // Writes the complete lines of `text` and keeps the rest in it.
    void writeCompleteLines(std::string& text);
    void writeNow(const char* data, std::size_t size);

    int fd_;
};

// Puts std::cout and std::cerr on line buffers of descriptors 1 and 2 for
// the rest of the process.
void installConsoleLines();

} // namespace orvane
