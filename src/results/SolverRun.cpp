#include "results/SolverRun.h"

#include "commands/CommandHold.h"
#include "geometry/ProcessGroups.h"

#include <QStringList>
#include <QtGlobal>

#include <chrono>
#include <ostream>

#include <unistd.h>

namespace orvane {

namespace {

constexpr std::chrono::milliseconds terminateGrace{3000};

QString fromStd(const std::string& text) {
    return QString::fromStdString(text);
}

std::string commandLineForHumans(const ProgramCall& call) {
    std::string line = call.program;
    for (const std::string& argument : call.arguments) {
        line += " " + argument;
    }
    return line;
}

} // namespace

// A QProcess whose program leads a process group of its own.
class GroupLeaderProcess : public QProcess {
public:
    explicit GroupLeaderProcess(QObject* parent) : QProcess(parent) {
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
        setChildProcessModifier([] { ::setpgid(0, 0); });
#endif
    }

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
protected:
    void setupChildProcess() override {
        ::setpgid(0, 0);
    }
#endif
};

SolverRun::SolverRun(CommandHold& commandHold, std::ostream& diagnosticStream, ProgressReport progressReport,
                     QObject* parent)
    : QObject(parent), hold(commandHold), diagnostics(diagnosticStream), progress(std::move(progressReport)) {
}

SolverRun::~SolverRun() {
    stop();
}

void SolverRun::start(const std::string& name, std::vector<ProgramCall> programs) {
    if (running()) {
        // The hold keeps every command until a run ends, so this is a caller error.
        diagnostics << "orvane: " << name << ": a run is already in progress; nothing more runs\n";
        return;
    }
    runName = name;
    steps = std::move(programs);
    current = 0;
    if (steps.empty()) {
        return;
    }
    lease = hold.lease();
    endRunOnFailure([this] { startStep(); });
}

template <typename Work> void SolverRun::endRunOnFailure(const Work& work) {
    try {
        work();
    } catch (const std::exception& error) {
        diagnostics << "orvane: " << runName << ": " << error.what() << "; the run ends\n";
        endRun();
    } catch (...) {
        diagnostics << "orvane: " << runName << ": an unknown error; the run ends\n";
        endRun();
    }
}

void SolverRun::startStep() {
    const ProgramCall& call = steps[current];
    progress("solve", static_cast<long long>(current), static_cast<long long>(steps.size()));
    diagnostics << "orvane: " << runName << ": " << call.step << ": " << commandLineForHumans(call)
                << std::endl;

    QStringList arguments;
    for (const std::string& argument : call.arguments) {
        arguments << fromStd(argument);
    }
    process = new GroupLeaderProcess(this);
    process->setProgram(fromStd(call.program));
    process->setArguments(arguments);
    // Output goes to the view's console; nothing may wait for input.
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->setStandardInputFile(QProcess::nullDevice());
    connect(process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), this, &SolverRun::onFinished);
    connect(process, &QProcess::errorOccurred, this, &SolverRun::onError);
    process->start();
    if (process == nullptr) {
        return; // it could not start and the run has ended
    }
    group = static_cast<pid_t>(process->processId());
    if (group > 0) {
        // Also from this side, so no signal can come before the child's own call.
        ::setpgid(group, group);
        rememberChildGroup(group);
    }
}

void SolverRun::onFinished(int exitCode, QProcess::ExitStatus status) {
    endRunOnFailure([this, exitCode, status] { nextStep(exitCode, status); });
}

void SolverRun::nextStep(int exitCode, QProcess::ExitStatus status) {
    const ProgramCall& call = steps[current];
    if (status == QProcess::CrashExit) {
        diagnostics << "orvane: " << runName << ": " << call.step << " (" << call.program
                    << ") ended by a signal; no later step runs\n";
        endRun();
        return;
    }
    if (exitCode != 0) {
        diagnostics << "orvane: " << runName << ": " << call.step << " (" << call.program
                    << ") failed with exit status " << exitCode << "; no later step runs\n";
        endRun();
        return;
    }
    forgetGroup();
    process->deleteLater();
    process = nullptr;
    if (++current < steps.size()) {
        startStep();
        return;
    }
    diagnostics << "orvane: " << runName << ": done" << std::endl;
    endRun();
}

void SolverRun::onError(QProcess::ProcessError error) {
    // Only a program that never started gets no `finished`.
    if (error != QProcess::FailedToStart) {
        return;
    }
    const ProgramCall& call = steps[current];
    diagnostics << "orvane: " << runName << ": " << call.step << ": cannot start '" << call.program
                << "': " << process->errorString().toStdString() << "; no later step runs\n";
    endRun();
}

void SolverRun::forgetGroup() {
    forgetChildGroup(group);
    group = 0;
}

void SolverRun::endRun() {
    forgetGroup();
    if (process != nullptr) {
        process->disconnect(this);
        process->deleteLater();
        process = nullptr;
    }
    const auto total = static_cast<long long>(steps.size());
    progress("solve", total, total);
    steps.clear();
    current = 0;
    lease = {};
}

void SolverRun::stop() {
    if (process == nullptr) {
        return;
    }
    process->disconnect(this);
    diagnostics << "orvane: " << runName << ": stopping " << steps[current].program << "\n";
    if (group > 0) {
        stopProcessGroup(group, terminateGrace, [this](std::chrono::milliseconds timeout) {
            return process->state() == QProcess::NotRunning ||
                   process->waitForFinished(static_cast<int>(timeout.count()));
        });
    } else {
        process->kill();
        process->waitForFinished(static_cast<int>(terminateGrace.count()));
    }
    forgetGroup();
    delete process;
    process = nullptr;
    steps.clear();
}

} // namespace orvane
