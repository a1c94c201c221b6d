#pragma once

#include <chrono>
#include <functional>
#include <sys/types.h>

namespace orvane {

// Every child program runs as the leader of a process group of its own: a
// Ctrl+C at the console reaches only the view, which then stops each program
// together with everything the program started.

// Remembers a running group so a second signal can end it at once. Both are
// safe to call from any thread; at most a few groups run at a time, and one
// beyond the table is simply not remembered.
void rememberChildGroup(pid_t group);
void forgetChildGroup(pid_t group);

// SIGKILL to every remembered group. Async-signal-safe: for a signal handler
// that ends the program.
void killRememberedChildGroups();

// True while a process of the group runs (zombies do not count).
bool processGroupAlive(pid_t group);

// Sends SIGTERM to the group, waits up to `grace` for all of it to end, then
// sends SIGKILL to what is left. waitForLeader(timeout) waits for the
// group's leader and reaps it, true once it has ended.
void stopProcessGroup(pid_t group, std::chrono::milliseconds grace,
                      const std::function<bool(std::chrono::milliseconds)>& waitForLeader);

} // namespace orvane
