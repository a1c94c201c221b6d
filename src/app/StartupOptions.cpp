#include "app/StartupOptions.h"

#include <cstring>

namespace orvane {

bool hideRequested(int argc, const char* const* argv) {
    return argc == 2 && argv[1] != nullptr && std::strcmp(argv[1], "hide") == 0;
}

} // namespace orvane
