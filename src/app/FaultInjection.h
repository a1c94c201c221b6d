#pragma once

#include <string_view>

namespace orvane {

// A debugging aid: ORVANE_DEBUG_FAULT names places, separated by commas
// ("import-worker", "file-writer"), where the program throws once, so that
// the handling of failures on worker threads can be watched. Read once, at
// the first call; true the first time a named place asks, false after.
bool injectedFault(std::string_view place);

} // namespace orvane
