#pragma once

#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace orvane {

// One program of a solver run: started directly, without a shell, so every
// argument reaches it unchanged.
struct ProgramCall {
    std::string step; // "upload", "solve", "download"; the program name for a local run
    std::string program;
    std::vector<std::string> arguments;
};

// Where the solver runs. Read from ORVANE_REMOTE_HOST, ORVANE_REMOTE_ACCOUNT,
// ORVANE_MPIRUN and ORVANE_SSH_CONFIG; an empty value counts as unset.
struct RemoteSettings {
    std::string host;    // no default
    std::string account; // default: the current user
    std::string mpirun = "/usr/local/openmpi/bin/mpirun";
    std::string sshConfig; // optional; passed to ssh and scp with -F

    // `lookup` returns an empty string for an unset variable.
    static RemoteSettings fromEnvironment(const std::function<std::string(const char*)>& lookup);
    static RemoteSettings fromEnvironment();
};

// The seven words of `openSSh`.
struct RemoteRunRequest {
    std::string input;
    std::string processCount;
    std::string solverArguments[4];
    std::string target;
};

// The part of path after its last "/" or "\"; the whole path without either.
std::string PathBaseName(const std::string& path);

// The word as the remote shell must see it to take it literally: unchanged
// when it holds only letters, digits and _./:@%+=,- ; otherwise in single
// quotes (a quote inside becomes '\''). An empty word becomes ''.
std::string quoteForRemoteShell(const std::string& word);

// The command line the remote shell runs, starting in the account's home:
// "cd ..;cd A/project/output;MPIRUN -n P ./demo /home/A/project/motai/B A1 A2 A3 A4",
// every variable word quoted by quoteForRemoteShell.
std::string remoteSolverCommand(const RemoteSettings& settings, const RemoteRunRequest& request);

// The options given to both ssh and scp: never prompt, fail fast on a host
// that does not answer, and the optional configuration file.
std::vector<std::string> sshClientOptions(const RemoteSettings& settings);

// The three programs of a remote run (upload, solve, download), or nothing
// with a diagnostic when the settings or words are unusable: no host, or a
// host, account, input or target starting with "-".
std::optional<std::vector<ProgramCall>>
remoteRunSteps(const RemoteSettings& settings, const RemoteRunRequest& request, std::ostream& diagnostics);

} // namespace orvane
