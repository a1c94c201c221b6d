#pragma once

#include "commands/CommandDispatcher.h"

#include <string>
#include <vector>

namespace orvane {

// The command table as a JSON array, one object per row and line, in table
// order: {"word", "selector", "arguments" (conversion names: "text", "int",
// "real"), "usage", "description"}. Texts are taken as UTF-8 and copied
// unchanged apart from JSON escapes.
std::string commandReferenceJson(const std::vector<CommandRow>& rows);

} // namespace orvane
