#include "geometry/ProcessRunner.h"

#include "geometry/ProcessGroups.h"

#include <cerrno>
#include <cstring>
#include <ostream>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace orvane {

namespace {

constexpr std::chrono::milliseconds pollInterval{10};

// No wait status is ever -1: marks a child that could not be waited for.
constexpr int unknownStatus = -1;

// Waits up to `timeout` for the child; true once it has ended and is reaped.
bool reap(pid_t child, int& status, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const pid_t ended = ::waitpid(child, &status, WNOHANG);
        if (ended == child) {
            return true;
        }
        if (ended < 0 && errno != EINTR) {
            status = unknownStatus;
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(pollInterval);
    }
}

} // namespace

int runProgram(const std::string& program, const std::vector<std::string>& args, std::ostream& diagnostics,
               const RunLimits& limits) {
    if (program.empty()) {
        diagnostics << "cannot run a program with an empty name\n";
        return -1;
    }
    // posix_spawn takes non-const strings; the copies keep the caller's intact.
    std::vector<std::string> words;
    words.reserve(args.size() + 1);
    words.push_back(program);
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    argv.reserve(words.size() + 1);
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);

    posix_spawnattr_t attributes;
    ::posix_spawnattr_init(&attributes);
    ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    ::posix_spawnattr_setpgroup(&attributes, 0);
    pid_t child = 0;
    const int error = ::posix_spawnp(&child, program.c_str(), nullptr, &attributes, argv.data(), environ);
    ::posix_spawnattr_destroy(&attributes);
    if (error != 0) {
        diagnostics << "cannot run " << program << ": " << std::strerror(error) << '\n';
        return -1;
    }
    rememberChildGroup(child);
    const auto started = std::chrono::steady_clock::now();
    int status = 0;
    bool stopped = false;
    while (!reap(child, status, pollInterval)) {
        const bool stopAsked = limits.stop != nullptr && limits.stop->load();
        const bool overTime =
            limits.timeLimit.count() > 0 && std::chrono::steady_clock::now() - started >= limits.timeLimit;
        if (stopAsked || overTime) {
            diagnostics << program
                        << (overTime ? " ran longer than " + std::to_string(limits.timeLimit.count() / 1000) +
                                           " s; stopping it\n"
                                     : " is stopped\n");
            stopProcessGroup(child, limits.grace,
                             [&](std::chrono::milliseconds timeout) { return reap(child, status, timeout); });
            stopped = true;
            break;
        }
    }
    forgetChildGroup(child);
    if (stopped) {
        return -1;
    }
    if (status == unknownStatus) {
        diagnostics << "cannot wait for " << program << '\n';
        return -1;
    }
    if (WIFSIGNALED(status)) {
        diagnostics << program << " ended by signal " << WTERMSIG(status) << '\n';
        return 128 + WTERMSIG(status);
    }
    return WEXITSTATUS(status);
}

} // namespace orvane
