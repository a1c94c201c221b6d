#include "app/StartupOptions.h"

#include <cstring>

namespace orvane {

namespace {

bool onlyArgumentIs(int argc, const char* const* argv, const char* expected) {
    return argc == 2 && argv[1] != nullptr && std::strcmp(argv[1], expected) == 0;
}

} // namespace

bool hideRequested(int argc, const char* const* argv) {
    return onlyArgumentIs(argc, argv, "hide");
}

bool commandListingRequested(int argc, const char* const* argv) {
    return onlyArgumentIs(argc, argv, "--commands");
}

} // namespace orvane
