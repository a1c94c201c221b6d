#include "app/QuitOnSignal.h"

#include "geometry/ProcessGroups.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace orvane {

namespace {

// A signal handler may only write to a descriptor; the event loop reads it.
int signalPipe[2] = {-1, -1};

// Set by the first signal and when the event loop ends: from then on the
// shutdown is under way, and a signal ends the program at once.
std::atomic<bool> endAtOnce{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void forwardSignal(int signalNumber) {
    if (endAtOnce.exchange(true)) {
        killRememberedChildGroups();
        // Delivered with the default action (the end of the program) once
        // this handler returns.
        ::signal(signalNumber, SIG_DFL);
        ::raise(signalNumber);
        return;
    }
    const char byte = static_cast<char>(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[0], &byte, 1);
}

} // namespace

QuitOnSignal::QuitOnSignal(QObject* parent) : QObject(parent) {
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0) {
        std::perror("orvane: cannot set up signal handling");
        return;
    }
    notifier = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] { onSignalReceived(); });
    connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, [] { endAtOnce = true; });

    struct sigaction action {};
    action.sa_handler = forwardSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

QuitOnSignal::~QuitOnSignal() {
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
}

void QuitOnSignal::onSignalReceived() {
    char byte = 0;
    [[maybe_unused]] const ssize_t received = ::read(signalPipe[1], &byte, 1);
    QCoreApplication::quit();
}

} // namespace orvane
