#pragma once

#include <string>

namespace orvane {

// True when the GL renderer named in a render window's capability report
// ("OpenGL renderer string: ..." line) draws on the CPU: Mesa's llvmpipe,
// softpipe and swrast, SwiftShader, Windows' GDI Generic. A report without
// that line names no software renderer.
bool rasterizesOnCpu(const std::string& capabilityReport);

} // namespace orvane
