#pragma once

#include "commands/CommandDispatcher.h"

#include <vector>

class Orvane;

namespace orvane {

// The complete command vocabulary: the rows of every subsystem's family.
// Building the rows only keeps the pointer in the handlers, so the table can
// be listed without a window (view null) as long as no handler runs.
std::vector<CommandRow> commandTable(Orvane* view);

// One family per subsystem, each defined next to its handlers.
std::vector<CommandRow> sceneCommands(Orvane* view);
std::vector<CommandRow> pointFileCommands(Orvane* view);
std::vector<CommandRow> pointPickCommands(Orvane* view);
std::vector<CommandRow> pickingCommands(Orvane* view);
std::vector<CommandRow> stepImportCommands(Orvane* view);
std::vector<CommandRow> boundaryConditionCommands(Orvane* view);
std::vector<CommandRow> lineElementCommands(Orvane* view);
std::vector<CommandRow> beamNodeCommands(Orvane* view);
std::vector<CommandRow> pickedPointArrowCommands(Orvane* view);
std::vector<CommandRow> rotationCentreCommands(Orvane* view);
std::vector<CommandRow> resultCommands(Orvane* view);
std::vector<CommandRow> animationCommands(Orvane* view);
std::vector<CommandRow> clippingCommands(Orvane* view);
std::vector<CommandRow> meshAndStressCommands(Orvane* view);
std::vector<CommandRow> solverRunCommands(Orvane* view);

} // namespace orvane
