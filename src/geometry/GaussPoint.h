#pragma once

#include <cstdint>

namespace orvane {

// A point generated on (or read for) one face of the model.
struct GaussPoint {
    std::int32_t faceIndex = 0;
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
};

} // namespace orvane
