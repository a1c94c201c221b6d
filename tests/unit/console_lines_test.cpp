#include "app/ConsoleLines.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <ostream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

// Threads writing lines in many small pieces, with flushes in the middle, as
// `std::cerr << "orvane: " << path << ": " << problem << "\n"` does.
TEST(ConsoleLines, LinesOfManyThreadsArriveWholeAndFlushesKeepPartialLines) {
    char name[] = "/tmp/orvane-console-XXXXXX";
    const int fd = ::mkstemp(name);
    ASSERT_GE(fd, 0);
    constexpr int threadCount = 8;
    constexpr int linesPerThread = 300;
    {
        orvane::ConsoleLineBuffer buffer(fd);
        std::ostream console(&buffer);
        std::vector<std::thread> threads;
        for (int t = 0; t < threadCount; ++t) {
            threads.emplace_back([&console, t] {
                for (int line = 0; line < linesPerThread; ++line) {
                    console << "thread " << t << std::flush << " line " << line;
                    for (int piece = 0; piece < 10; ++piece) {
                        console << ' ' << piece;
                    }
                    console << std::endl;
                }
                console << "unfinished " << t;
            });
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
    }
    ::close(fd);

    std::ifstream written(name);
    std::set<std::string> lines;
    std::string line;
    int count = 0;
    while (std::getline(written, line)) {
        ++count;
        lines.insert(line);
    }
    std::remove(name);
    EXPECT_EQ(count, threadCount * (linesPerThread + 1));
    for (int t = 0; t < threadCount; ++t) {
        for (int l = 0; l < linesPerThread; ++l) {
            std::ostringstream expected;
            expected << "thread " << t << " line " << l << " 0 1 2 3 4 5 6 7 8 9";
            EXPECT_EQ(lines.count(expected.str()), 1U) << expected.str();
        }
        EXPECT_EQ(lines.count("unfinished " + std::to_string(t)), 1U) << "ended at the thread's exit";
    }
}

namespace {

std::ostream* lateConsole = nullptr;

// Made before the thread's first line, so it goes after the thread's line
// store: it writes as the destructors of statics do at exit.
struct WritesWhenDestroyed {
    ~WritesWhenDestroyed() {
        *lateConsole << "written "
                     << "at the thread's end" << std::endl;
    }
};

} // namespace

TEST(ConsoleLines, WritesAfterTheThreadsLineStoreWentStillArrive) {
    char name[] = "/tmp/orvane-console-XXXXXX";
    const int fd = ::mkstemp(name);
    ASSERT_GE(fd, 0);
    {
        orvane::ConsoleLineBuffer buffer(fd);
        std::ostream console(&buffer);
        lateConsole = &console;
        std::thread([&console] {
            thread_local WritesWhenDestroyed late;
            (void)&late;
            console << "first" << std::endl;
        }).join();
    }
    ::close(fd);
    std::ifstream written(name);
    std::ostringstream text;
    text << written.rdbuf();
    std::remove(name);
    EXPECT_EQ(text.str(), "first\nwritten at the thread's end\n");
}
