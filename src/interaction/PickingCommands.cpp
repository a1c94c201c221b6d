// Hover mode, face highlighting and the selection reply of the picking style.

#include "app/Orvane.h"
#include "commands/CommandTable.h"
#include "interaction/MouseInteractorHighLightActor.h"

namespace orvane {

std::vector<CommandRow> pickingCommands(Orvane* view) {
    constexpr ArgKind integer = ArgKind::Int;
    // The style is created after the command table, so it is looked up per command.
    const auto style = [view]() -> MouseInteractorHighLightActor& { return *view->pickingStyle; };
    return {
        {"solidPickup",
         "",
         {},
         "solidPickup",
         "Hover and right click pick whole solids",
         [style](const CommandArguments&) { style().setFaceMode(false); }},
        {"facePickup",
         "",
         {},
         "facePickup",
         "Hover and right click pick single faces",
         [style](const CommandArguments&) { style().setFaceMode(true); }},
        {"rendererFace",
         "",
         {integer},
         "rendererFace FACE",
         "Highlight one face by index and make it the selection",
         [style](const CommandArguments& a) { style().HighlightFace(a.integer(1)); }},
        {"BadFace",
         "",
         {integer},
         "BadFace FACE",
         "Mark a bad face with a line, a sphere and a label",
         [style](const CommandArguments& a) { style().MarkBadFace(a.integer(1)); }},
        {"HightLightPoint",
         "",
         {ArgKind::Text},
         "HightLightPoint POINT_FILE",
         "Mark every point of a point file with a green sphere",
         [style](const CommandArguments& a) { style().HighlightPoints(a.text(1)); }},
        {"selectId",
         "",
         {},
         "selectId",
         "Reply \"selectFace\" with the indices of the selected faces",
         [view, style](const CommandArguments&) {
             view->sendReply("selectFace", style().selectedIdsText());
         }},
    };
}

} // namespace orvane
