#include "scene/Rasterizer.h"

#include <gtest/gtest.h>

TEST(Rasterizer, OnlyTheRendererLineNamesASoftwareRasterizer) {
    const auto report = [](const std::string& renderer) {
        return "OpenGL vendor string: Mesa\nOpenGL renderer string: " + renderer +
               "\nOpenGL version string: 4.5 (Core Profile) Mesa 22.3.6\n";
    };
    EXPECT_TRUE(orvane::rasterizesOnCpu(report("llvmpipe (LLVM 15.0.6, 256 bits)")));
    EXPECT_TRUE(orvane::rasterizesOnCpu(report("Software Rasterizer")));
    EXPECT_TRUE(orvane::rasterizesOnCpu(report("Google SwiftShader")));
    EXPECT_TRUE(orvane::rasterizesOnCpu(report("GDI Generic")));
    EXPECT_FALSE(orvane::rasterizesOnCpu(report("NVIDIA GeForce RTX 3060/PCIe/SSE2")));
    EXPECT_FALSE(orvane::rasterizesOnCpu(report("Mesa Intel(R) UHD Graphics 620 (KBL GT2)")));
    EXPECT_FALSE(orvane::rasterizesOnCpu("OpenGL vendor string: llvmpipe\n")) << "not the renderer line";
    EXPECT_FALSE(orvane::rasterizesOnCpu(""));
    EXPECT_FALSE(orvane::rasterizesOnCpu("Not Implemented"));
}
