#include "geometry/ProcessRunner.h"

#include <cerrno>
#include <cstring>
#include <ostream>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>

extern char** environ;

namespace orvane {

int runProgram(const std::string& program, const std::vector<std::string>& args, std::ostream& diagnostics) {
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

    pid_t child = 0;
    const int error = ::posix_spawnp(&child, program.c_str(), nullptr, nullptr, argv.data(), environ);
    if (error != 0) {
        diagnostics << "cannot run " << program << ": " << std::strerror(error) << '\n';
        return -1;
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            diagnostics << "cannot wait for " << program << ": " << std::strerror(errno) << '\n';
            return -1;
        }
    }
    if (WIFSIGNALED(status)) {
        diagnostics << program << " ended by signal " << WTERMSIG(status) << '\n';
        return 128 + WTERMSIG(status);
    }
    return WEXITSTATUS(status);
}

} // namespace orvane
