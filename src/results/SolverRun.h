#pragma once

#include "commands/CommandHold.h"
#include "results/RemoteRunPlan.h"

#include <QObject>
#include <QProcess>

#include <sys/types.h>

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace orvane {

// Runs the programs of one solver run as child processes, one after the
// other, while the event loop goes on; each leads a process group of its own. The command hold is held from
// the start to the end of the run, so commands that arrive meanwhile run afterwards. The run stops at the
// first program that cannot start, ends by a signal or exits with a status other than 0.
class SolverRun : public QObject {
    Q_OBJECT

public:
    // Told "solve", the steps done and the step count as the run goes on,
    // and once more with done = count when it ends, however it ends.
    using ProgressReport = std::function<void(const std::string& phase, long long done, long long total)>;

    SolverRun(CommandHold& hold, std::ostream& diagnostics, ProgressReport progress,
              QObject* parent = nullptr);
    ~SolverRun() override;

    SolverRun(const SolverRun&) = delete;
    SolverRun& operator=(const SolverRun&) = delete;

    // `name` prefixes the diagnostics ("openSSh", "SolveModel").
    void start(const std::string& name, std::vector<ProgramCall> steps);
    bool running() const { return process != nullptr; }
    // Ends the running program with its whole process group (SIGTERM, then
    // SIGKILL) and runs no further step; the hold stays as it is, for the
    // shutdown that follows.
    void stop();

private:
    void startStep();
    void onFinished(int exitCode, QProcess::ExitStatus status);
    void nextStep(int exitCode, QProcess::ExitStatus status);
    void onError(QProcess::ProcessError error);
    void endRun();
    void forgetGroup();
    // Runs a step change of the event loop; what it throws ends the run.
    template <typename Work> void endRunOnFailure(const Work& work);

    CommandHold& hold;
    // Holds the commands from the start of a run to its end.
    CommandHold::Lease lease;
    std::ostream& diagnostics;
    ProgressReport progress;
    std::string runName;
    std::vector<ProgramCall> steps;
    std::size_t current = 0;
    QProcess* process = nullptr;
    // The running program's process group (its process id); 0 when none runs.
    pid_t group = 0;
};

} // namespace orvane
