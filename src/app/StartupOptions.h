#pragma once

namespace orvane {

// The window starts minimised and off-screen only when "hide" is the one and
// only argument, spelled exactly so.
bool hideRequested(int argc, const char* const* argv);

// "--commands" as the one and only argument prints the command reference
// instead of starting the view.
bool commandListingRequested(int argc, const char* const* argv);

} // namespace orvane
