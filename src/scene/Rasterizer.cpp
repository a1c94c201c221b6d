#include "scene/Rasterizer.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <sstream>
#include <string_view>

namespace orvane {

bool rasterizesOnCpu(const std::string& capabilityReport) {
    constexpr std::string_view label = "OpenGL renderer string:";
    std::istringstream lines(capabilityReport);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.compare(0, label.size(), label) != 0) {
            continue;
        }
        std::string name = line.substr(label.size());
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        constexpr std::array<std::string_view, 6> softwareRenderers = {
            "llvmpipe", "softpipe", "swrast", "software rasterizer", "swiftshader", "gdi generic"};
        return std::any_of(
            softwareRenderers.begin(), softwareRenderers.end(),
            [&name](std::string_view software) { return name.find(software) != std::string::npos; });
    }
    return false;
}

} // namespace orvane
