#pragma once

#include <fstream>
#include <string>

// A memory figure of this process from /proc/self/status in MiB: "VmRSS:"
// (resident now) or "VmHWM:" (the resident peak); 0 when it is missing.
inline double processMebibytes(const std::string& field) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(field, 0) == 0) {
            return std::stod(line.substr(field.size())) / 1024.0;
        }
    }
    return 0.0;
}
