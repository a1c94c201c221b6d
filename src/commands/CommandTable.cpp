#include "commands/CommandTable.h"

namespace orvane {

std::vector<CommandRow> commandTable(Orvane* view) {
    std::vector<CommandRow> rows;
    for (auto family : {sceneCommands, pointFileCommands, pointPickCommands, pickingCommands,
                        stepImportCommands, boundaryConditionCommands, lineElementCommands, beamNodeCommands,
                        pickedPointArrowCommands, rotationCentreCommands, resultCommands, animationCommands,
                        meshAndStressCommands, clippingCommands, solverRunCommands}) {
        std::vector<CommandRow> familyRows = family(view);
        rows.insert(rows.end(), std::make_move_iterator(familyRows.begin()),
                    std::make_move_iterator(familyRows.end()));
    }
    return rows;
}

} // namespace orvane
