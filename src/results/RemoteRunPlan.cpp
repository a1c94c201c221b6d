#include "results/RemoteRunPlan.h"

#include <cstdlib>
#include <ostream>
#include <pwd.h>
#include <unistd.h>

namespace orvane {

namespace {

const char* const resultDirectory = "unitfcm5-0-1e-10-451";
// Long enough for a slow network, short enough that a dead host cannot hang a run.
const char* const connectTimeoutSeconds = "15";

bool isPlainCharacter(char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
        return true;
    }
    for (const char allowed : std::string("_./:@%+=,-")) {
        if (c == allowed) {
            return true;
        }
    }
    return false;
}

std::string currentUser() {
    if (const passwd* entry = ::getpwuid(::geteuid()); entry != nullptr && entry->pw_name != nullptr) {
        return entry->pw_name;
    }
    const char* user = std::getenv("USER");
    return user != nullptr ? user : "";
}

// scp takes any operand with a ":" before its first "/" for a remote one.
std::string localOperand(const std::string& path) {
    const auto colon = path.find(':');
    if (colon != std::string::npos && path.find('/') > colon) {
        return "./" + path;
    }
    return path;
}

bool refuseOption(const std::string& what, const std::string& value, std::ostream& diagnostics) {
    if (!value.empty() && value.front() == '-') {
        diagnostics << "orvane: openSSh: refused: the " << what << " '" << value
                    << "' starts with '-' and would be taken for an option; nothing runs\n";
        return true;
    }
    return false;
}

} // namespace

RemoteSettings RemoteSettings::fromEnvironment(const std::function<std::string(const char*)>& lookup) {
    RemoteSettings settings;
    settings.host = lookup("ORVANE_REMOTE_HOST");
    settings.account = lookup("ORVANE_REMOTE_ACCOUNT");
    if (settings.account.empty()) {
        settings.account = currentUser();
    }
    if (std::string mpirun = lookup("ORVANE_MPIRUN"); !mpirun.empty()) {
        settings.mpirun = mpirun;
    }
    settings.sshConfig = lookup("ORVANE_SSH_CONFIG");
    return settings;
}

RemoteSettings RemoteSettings::fromEnvironment() {
    return fromEnvironment([](const char* name) {
        const char* value = std::getenv(name);
        return std::string(value != nullptr ? value : "");
    });
}

std::string PathBaseName(const std::string& path) {
    const auto separator = path.find_last_of("/\\");
    return separator == std::string::npos ? path : path.substr(separator + 1);
}

std::string quoteForRemoteShell(const std::string& word) {
    bool plain = !word.empty();
    for (const char c : word) {
        plain = plain && isPlainCharacter(c);
    }
    if (plain) {
        return word;
    }
    std::string quoted = "'";
    for (const char c : word) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

std::string remoteSolverCommand(const RemoteSettings& settings, const RemoteRunRequest& request) {
    const std::string& account = settings.account;
    std::string command =
        "cd ..;cd " + quoteForRemoteShell(account + "/project/output") + ";" +
        quoteForRemoteShell(settings.mpirun) + " -n " + quoteForRemoteShell(request.processCount) +
        " ./demo " +
        quoteForRemoteShell("/home/" + account + "/project/motai/" + PathBaseName(request.input));
    for (const std::string& argument : request.solverArguments) {
        command += " " + quoteForRemoteShell(argument);
    }
    return command;
}

std::vector<std::string> sshClientOptions(const RemoteSettings& settings) {
    std::vector<std::string> options;
    if (!settings.sshConfig.empty()) {
        options.insert(options.end(), {"-F", settings.sshConfig});
    }
    options.insert(options.end(),
                   {"-o", "BatchMode=yes", "-o", std::string("ConnectTimeout=") + connectTimeoutSeconds});
    return options;
}

std::optional<std::vector<ProgramCall>>
remoteRunSteps(const RemoteSettings& settings, const RemoteRunRequest& request, std::ostream& diagnostics) {
    if (settings.host.empty()) {
        diagnostics << "orvane: openSSh: ORVANE_REMOTE_HOST is not set, so there is no solver machine; "
                       "nothing runs\n";
        return std::nullopt;
    }
    if (settings.account.empty()) {
        diagnostics << "orvane: openSSh: no remote account (set ORVANE_REMOTE_ACCOUNT); nothing runs\n";
        return std::nullopt;
    }
    if (refuseOption("host (ORVANE_REMOTE_HOST)", settings.host, diagnostics) ||
        refuseOption("account (ORVANE_REMOTE_ACCOUNT)", settings.account, diagnostics) ||
        refuseOption("input directory", request.input, diagnostics) ||
        refuseOption("target directory", request.target, diagnostics)) {
        return std::nullopt;
    }

    const std::string login = settings.account + "@" + settings.host;
    const std::string home = "/home/" + settings.account;
    const std::vector<std::string> options = sshClientOptions(settings);
    auto withOptions = [&options](std::vector<std::string> head, std::vector<std::string> tail) {
        head.insert(head.end(), options.begin(), options.end());
        // "--" ends the options, so no later word can become one.
        head.emplace_back("--");
        head.insert(head.end(), tail.begin(), tail.end());
        return head;
    };

    std::vector<ProgramCall> steps;
    steps.push_back(
        {"upload", "scp",
         withOptions({"-r"}, {localOperand(request.input), login + ":" + home + "/project/motai"})});
    // A terminal on the remote side: when the view stops ssh, the remote
    // shell and mpirun lose it and are hung up, so the solver stops there too.
    steps.push_back({"solve", "ssh", withOptions({"-tt"}, {login, remoteSolverCommand(settings, request)})});
    steps.push_back({"download", "scp",
                     withOptions({"-r"}, {login + ":" + home + "/project/output/" + resultDirectory,
                                          localOperand(request.target)})});
    return steps;
}

} // namespace orvane
