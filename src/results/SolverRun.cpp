#include "results/SolverRun.h"

#include "commands/CommandHold.h"

#include <QStringList>

#include <ostream>

namespace orvane {

namespace {

constexpr int terminateGraceMs = 3000;

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
    hold.hold();
    startStep();
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
    process = new QProcess(this);
    process->setProgram(fromStd(call.program));
    process->setArguments(arguments);
    // Output goes to the view's console; nothing may wait for input.
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->setStandardInputFile(QProcess::nullDevice());
    connect(process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), this, &SolverRun::onFinished);
    connect(process, &QProcess::errorOccurred, this, &SolverRun::onError);
    process->start();
}

void SolverRun::onFinished(int exitCode, QProcess::ExitStatus status) {
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

void SolverRun::endRun() {
    if (process != nullptr) {
        process->disconnect(this);
        process->deleteLater();
        process = nullptr;
    }
    const auto total = static_cast<long long>(steps.size());
    progress("solve", total, total);
    steps.clear();
    current = 0;
    hold.release();
}

void SolverRun::stop() {
    if (process == nullptr) {
        return;
    }
    process->disconnect(this);
    diagnostics << "orvane: " << runName << ": stopping " << steps[current].program << "\n";
    process->terminate();
    if (!process->waitForFinished(terminateGraceMs)) {
        process->kill();
        process->waitForFinished(terminateGraceMs);
    }
    delete process;
    process = nullptr;
    steps.clear();
}

} // namespace orvane
