// The solver run commands: a remote run over scp and ssh, and a local program.

#include "app/Orvane.h"
#include "commands/CommandTable.h"
#include "results/RemoteRunPlan.h"
#include "results/SolverRun.h"

#include <iostream>

namespace orvane {

std::vector<CommandRow> solverRunCommands(Orvane* view) {
    constexpr ArgKind text = ArgKind::Text;
    return {
        {"openSSh",
         "",
         {text, text, text, text, text, text, text},
         "openSSh INPUT_DIR PROCESSES A1 A2 A3 A4 TARGET_DIR",
         "Upload the input directory, run the solver on the remote host with MPI and download its result "
         "directory into the target",
         [view](const CommandArguments& a) {
             RemoteRunRequest request;
             request.input = a.text(1);
             request.processCount = a.text(2);
             for (int i = 0; i < 4; ++i) {
                 request.solverArguments[i] = a.text(3 + i);
             }
             request.target = a.text(7);
             if (auto steps = remoteRunSteps(RemoteSettings::fromEnvironment(), request, std::cerr)) {
                 view->solverRun->start("openSSh", std::move(*steps));
             }
         }},
        {"SolveModel",
         "",
         {text},
         "SolveModel PROGRAM",
         "Run a local program (by path or on the search path) without arguments; later commands wait for it",
         [view](const CommandArguments& a) {
             const std::string& program = a.text(1);
             if (program.empty()) {
                 std::cerr << "orvane: SolveModel: no program named; nothing runs\n";
                 return;
             }
             // The word is the program itself, never a shell command line.
             view->solverRun->start("SolveModel", {{program, program, {}}});
         }},
    };
}

} // namespace orvane
