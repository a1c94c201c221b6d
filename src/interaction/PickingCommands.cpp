// Hover mode, face highlighting and the selection reply of the picking style.

#include "app/Orvane.h"
#include "commands/CommandTable.h"
#include "interaction/MouseInteractorHighLightActor.h"

namespace orvane {

std::vector<CommandRow> pickingCommands(Orvane& view) {
    constexpr ArgKind integer = ArgKind::Int;
    // The style is created after the command table, so it is looked up per command.
    const auto style = [&view]() -> MouseInteractorHighLightActor& { return *view.pickingStyle; };
    return {
        {"solidPickup", "", {}, [style](const CommandArguments&) { style().setFaceMode(false); }},
        {"facePickup", "", {}, [style](const CommandArguments&) { style().setFaceMode(true); }},
        {"rendererFace",
         "",
         {integer},
         [style](const CommandArguments& a) { style().HighlightFace(a.integer(1)); }},
        {"BadFace", "", {integer}, [style](const CommandArguments& a) { style().MarkBadFace(a.integer(1)); }},
        {"HightLightPoint",
         "",
         {ArgKind::Text},
         [style](const CommandArguments& a) { style().HighlightPoints(a.text(1)); }},
        {"selectId",
         "",
         {},
         [&view, style](const CommandArguments&) {
             view.sendReply("selectFace", style().selectedIdsText());
         }},
    };
}

} // namespace orvane
