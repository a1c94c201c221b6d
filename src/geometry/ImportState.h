#pragma once

#include "commands/CommandHold.h"

#include <TopoDS_Shape.hxx>

#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace orvane {

struct PreparedImport;

// What the last STEP import left for the commands after it (its directories,
// counts and shape, the files to delete at shutdown), and the import under
// way, if any. The import's operations are the window's (StepImportCommands.cpp).
struct ImportState {
    // Faces and solids of the imported model (one STL file each).
    int faceFileCount = 0;
    int solidFileCount = 0;
    std::string stepDir;
    std::string solidDir;
    std::string cutDir;
    // The STL files the last STEP import and the cuts after it wrote (all
    // files of an import the shutdown stopped); the shutdown deletes these
    // and nothing else.
    std::vector<std::string> importFiles;
    // The imported shape that faces and solids were taken from.
    TopoDS_Shape workingShape;
    // Number of the next sphere cut.
    int cutCount = 0;

    // The import in progress: its worker, its hold on the commands and what
    // it prepares.
    std::thread worker;
    CommandHold::Lease hold;
    std::shared_ptr<PreparedImport> running;

    bool inProgress() const { return worker.joinable(); }
};

} // namespace orvane
