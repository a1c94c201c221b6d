#include "geometry/IsolatedStepRead.h"

#include "app/Descriptor.h"
#include "commands/InputLimits.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <iostream>
#include <poll.h>
#include <spawn.h>
#include <string_view>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace orvane {

namespace {

using Clock = std::chrono::steady_clock;

bool makePipe(Descriptor& readEnd, Descriptor& writeEnd) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        return false;
    }
    readEnd.reset(fds[0]);
    writeEnd.reset(fds[1]);
    return true;
}

// The child and its process group: killed and reaped when this goes,
// unless it was reaped before.
class ChildGroup {
public:
    explicit ChildGroup(pid_t pid) : pid_(pid) {}
    ChildGroup(const ChildGroup&) = delete;
    ChildGroup& operator=(const ChildGroup&) = delete;
    ~ChildGroup() {
        kill();
        wait(true);
    }
    void kill() const {
        if (!reaped_) {
            ::kill(-pid_, SIGKILL);
        }
    }
    // The wait status, or nullopt while it runs (when not blocking).
    std::optional<int> wait(bool block) {
        if (reaped_) {
            return status_;
        }
        for (;;) {
            const pid_t done = ::waitpid(pid_, &status_, block ? 0 : WNOHANG);
            if (done == pid_) {
                reaped_ = true;
                return status_;
            }
            if (done == 0 || (done < 0 && errno != EINTR)) {
                return std::nullopt;
            }
        }
    }

private:
    pid_t pid_;
    int status_ = 0;
    bool reaped_ = false;
};

// A scratch directory for the hand-over, removed with what is in it.
class ScratchDirectory {
public:
    ScratchDirectory() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern =
            std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/orvane-step-XXXXXX";
        if (::mkdtemp(pattern.data()) != nullptr) {
            path_ = pattern;
        }
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;
    ~ScratchDirectory() {
        if (!path_.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(path_, ignored);
        }
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

std::optional<pid_t> spawnReader(const std::string& program, const std::vector<std::string>& args,
                                 int consoleFd, int progressFd, int errorFd, std::ostream& diagnostics) {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_adddup2(&actions, consoleFd, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, progressFd, 3);
    posix_spawn_file_actions_adddup2(&actions, errorFd, STDERR_FILENO);
    // A group of its own, so that a stop reaches everything it started, and
    // the signals the view blocks or handles back at their defaults.
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (const int signal : {SIGINT, SIGTERM, SIGPIPE, SIGHUP, SIGCHLD}) {
        sigaddset(&defaults, signal);
    }
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes,
                             POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<std::string> words{program};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    // A crash in the reader is a signal, also in a sanitizer build, where
    // the sanitizer would otherwise catch it and exit with a status.
    std::vector<std::string> variables;
    std::string sanitizer = "ASAN_OPTIONS=";
    for (char** variable = environ; *variable != nullptr; ++variable) {
        const std::string text = *variable;
        if (text.rfind(sanitizer, 0) == 0) {
            sanitizer = text + ":";
        } else {
            variables.push_back(text);
        }
    }
    variables.push_back(sanitizer + "handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_abort=0");
    std::vector<char*> envp;
    for (std::string& variable : variables) {
        envp.push_back(variable.data());
    }
    envp.push_back(nullptr);
    pid_t pid = 0;
    const int error = ::posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (error != 0) {
        diagnostics << "cannot run the STEP reader " << program << ": " << std::strerror(error) << '\n';
        return std::nullopt;
    }
    return pid;
}

long long memoryLimitMebibytes(const IsolatedReadOptions& options) {
    if (options.memoryLimitMebibytes > 0) {
        return options.memoryLimitMebibytes;
    }
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageBytes = ::sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || pageBytes <= 0) {
        return 0; // unknown: no limit
    }
    return static_cast<long long>(pages) / 2 * pageBytes / (1024 * 1024);
}

std::string signalName(int signal) {
    const char* name = ::strsignal(signal);
    return std::to_string(signal) + (name != nullptr ? std::string(" (") + name + ")" : std::string());
}

} // namespace

std::string stepReaderProgram() {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) {
        const std::filesystem::path beside = self.parent_path() / "orvane-step-reader";
        if (::access(beside.c_str(), X_OK) == 0) {
            return beside.string();
        }
    }
    return ORVANE_STEP_READER_PROGRAM;
}

std::optional<StepModel> readStepModelIsolated(const std::string& stepPath, std::ostream& console,
                                               const TransferProgress& progress,
                                               const IsolatedReadOptions& options) {
    const auto refuse = [&](const std::string& why) {
        std::cerr << "cannot read STEP file " << stepPath << ": " << why << '\n';
        return std::nullopt;
    };
    const std::string program = options.readerProgram.empty() ? stepReaderProgram() : options.readerProgram;
    ScratchDirectory scratch;
    if (scratch.path().empty()) {
        return refuse(std::string("no scratch directory for the reader: ") + std::strerror(errno));
    }
    // The child's standard output, its progress lines and its standard error.
    enum Channel { Console, Progress, Errors };
    Descriptor readEnds[3];
    Descriptor writeEnds[3];
    for (int c = 0; c < 3; ++c) {
        if (!makePipe(readEnds[c], writeEnds[c])) {
            return refuse(std::string("no pipe to the reader: ") + std::strerror(errno));
        }
    }
    const std::optional<pid_t> pid = spawnReader(
        program,
        {stepPath, scratch.path(), std::to_string(::getpid()), std::to_string(memoryLimitMebibytes(options))},
        writeEnds[Console].get(), writeEnds[Progress].get(), writeEnds[Errors].get(), std::cerr);
    if (!pid) {
        return refuse("the reader did not start");
    }
    ChildGroup child(*pid);
    for (Descriptor& end : writeEnds) {
        end.reset();
    }

    std::error_code sizeError;
    const auto bytes = static_cast<double>(std::filesystem::file_size(stepPath, sizeError));
    const double limit = options.timeLimitSeconds > 0
                             ? options.timeLimitSeconds
                             : limits::stepReadBaseSeconds +
                                   limits::stepReadSecondsPerMegabyte * (sizeError ? 0.0 : bytes / 1e6);
    const auto started = Clock::now();
    const auto deadline =
        started + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(limit));
    double fraction = 0.0;
    std::string pending[3];
    bool open[3] = {true, true, true};
    auto lastReport = started;
    char buffer[4096];
    // Reads until the child closes its pipes (it ends), the caller stops
    // it, or time runs out.
    while (open[Console] || open[Progress] || open[Errors]) {
        const auto now = Clock::now();
        if (now >= deadline) {
            child.kill();
            return refuse("the reader took longer than " + std::to_string(static_cast<long long>(limit)) +
                          " s and was stopped");
        }
        pollfd fds[3];
        for (int c = 0; c < 3; ++c) {
            fds[c] = {open[c] ? readEnds[c].get() : -1, POLLIN, 0};
        }
        const auto wait = std::min<long long>(
            200, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count() + 1);
        if (::poll(fds, 3, static_cast<int>(wait)) < 0 && errno != EINTR) {
            child.kill();
            return refuse(std::string("cannot watch the reader: ") + std::strerror(errno));
        }
        bool reported = false;
        for (int c = 0; c < 3; ++c) {
            if (fds[c].revents == 0) {
                continue;
            }
            const ssize_t n = ::read(readEnds[c].get(), buffer, sizeof buffer);
            if (n <= 0) {
                open[c] = n < 0 && errno == EINTR;
                continue;
            }
            if (c == Console) {
                console.write(buffer, n);
                continue;
            }
            pending[c].append(buffer, static_cast<std::size_t>(n));
            for (std::size_t end; (end = pending[c].find('\n')) != std::string::npos;) {
                const std::string line = pending[c].substr(0, end);
                pending[c].erase(0, end + 1);
                if (c == Errors) {
                    // Marked as the reader's: what a crash there prints (a
                    // sanitizer's report included) is a refused file.
                    std::cerr << "orvane-step-reader: " << line << '\n';
                    continue;
                }
                const double value = std::strtod(line.c_str(), nullptr);
                if (value >= 0.0 && value <= 1.0) {
                    fraction = value;
                    reported = true;
                }
            }
        }
        if (progress && (reported || Clock::now() - lastReport >= std::chrono::milliseconds(200))) {
            lastReport = Clock::now();
            if (!progress(fraction)) {
                child.kill();
                std::cerr << "reading STEP file " << stepPath << " stopped\n";
                return std::nullopt;
            }
        }
    }
    if (!pending[Errors].empty()) {
        std::cerr << "orvane-step-reader: " << pending[Errors] << '\n';
    }
    console.flush();
    // Both pipes are closed: the child has ended or is about to.
    std::optional<int> status;
    while (!(status = child.wait(false))) {
        if (Clock::now() >= deadline) {
            child.kill();
            return refuse("the reader took longer than " + std::to_string(static_cast<long long>(limit)) +
                          " s and was stopped");
        }
        ::usleep(2000);
    }
    if (WIFSIGNALED(*status)) {
        return refuse("the reader crashed on it (signal " + signalName(WTERMSIG(*status)) + ")");
    }
    if (WEXITSTATUS(*status) != 0) {
        return refuse("the reader refused it (exit status " + std::to_string(WEXITSTATUS(*status)) + ")");
    }
    std::optional<StepModel> model = loadStepModel(scratch.path(), std::cerr);
    if (!model) {
        return refuse("the reader's model could not be taken over");
    }
    return model;
}

} // namespace orvane
