#pragma once

class vtkRenderWindow;

namespace orvane {

// Multisampling on a renderer that draws on the CPU resolves every sample in
// software: with llvmpipe it costs a third of a frame of a large model (81
// against 54 ms) and 20 ms of an empty one. Such windows draw without it;
// windows on a GPU keep VTK's default.
void fitMultisamplingToRasterizer(vtkRenderWindow* window);

// The same once the window has drawn its first frame, when its GL context
// exists (a Qt widget makes it only when first shown).
void fitMultisamplingAfterFirstFrame(vtkRenderWindow* window);

} // namespace orvane
