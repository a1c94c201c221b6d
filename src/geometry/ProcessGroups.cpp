#include "geometry/ProcessGroups.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include <dirent.h>

namespace orvane {

namespace {

// Lock-free, so the signal handler may read it.
std::array<std::atomic<pid_t>, 16> rememberedGroups{};
static_assert(std::atomic<pid_t>::is_always_lock_free);

constexpr std::chrono::milliseconds pollInterval{20};

} // namespace

void rememberChildGroup(pid_t group) {
    for (std::atomic<pid_t>& slot : rememberedGroups) {
        pid_t empty = 0;
        if (slot.compare_exchange_strong(empty, group)) {
            return;
        }
    }
}

void forgetChildGroup(pid_t group) {
    for (std::atomic<pid_t>& slot : rememberedGroups) {
        pid_t expected = group;
        slot.compare_exchange_strong(expected, 0);
    }
}

void killRememberedChildGroups() {
    for (std::atomic<pid_t>& slot : rememberedGroups) {
        const pid_t group = slot.load();
        if (group > 0) {
            ::kill(-group, SIGKILL);
        }
    }
}

bool processGroupAlive(pid_t group) {
    if (group <= 0 || (::kill(-group, 0) != 0 && errno != EPERM)) {
        return false;
    }
    // Orphans of the group wait as zombies until PID 1 reaps them, which
    // some container init processes never do: those are not alive.
    DIR* processes = ::opendir("/proc");
    if (processes == nullptr) {
        return true;
    }
    bool alive = false;
    while (const dirent* entry = ::readdir(processes)) {
        if (entry->d_name[0] < '1' || entry->d_name[0] > '9') {
            continue;
        }
        std::ifstream stat(std::string("/proc/") + entry->d_name + "/stat");
        std::string line;
        if (!std::getline(stat, line)) {
            continue;
        }
        // "pid (name) state ppid pgrp ...": the name may hold anything, even ')'.
        std::istringstream fields(line.substr(line.rfind(')') + 1));
        char state = 0;
        long parent = 0;
        long processGroup = 0;
        if (fields >> state >> parent >> processGroup && processGroup == group && state != 'Z' &&
            state != 'X') {
            alive = true;
            break;
        }
    }
    ::closedir(processes);
    return alive;
}

void stopProcessGroup(pid_t group, std::chrono::milliseconds grace,
                      const std::function<bool(std::chrono::milliseconds)>& waitForLeader) {
    if (group <= 0) {
        return;
    }
    const auto deadline = std::chrono::steady_clock::now() + grace;
    ::kill(-group, SIGTERM);
    bool leaderEnded = waitForLeader(grace);
    // The leader may end at once and leave its own children behind.
    while (processGroupAlive(group) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(pollInterval);
    }
    if (processGroupAlive(group)) {
        ::kill(-group, SIGKILL);
    }
    if (!leaderEnded) {
        waitForLeader(grace);
    }
    // SIGKILL takes effect a moment after kill() returns.
    const auto killDeadline = std::chrono::steady_clock::now() + grace;
    while (processGroupAlive(group) && std::chrono::steady_clock::now() < killDeadline) {
        std::this_thread::sleep_for(pollInterval);
    }
}

} // namespace orvane
