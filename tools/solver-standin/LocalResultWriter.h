#pragma once

// Result files of a modal analysis, written by the stand-in's own small
// writer. Same signature as the shared result generator's, so that it can
// take its place.

#include <array>
#include <ostream>
#include <string>

namespace standin {

// Writes resultDir/eigenvalues.txt ("Mode N: VALUE" lines) and one grid per
// mode, resultDir/postprocess<m+1>0.vts: a structured grid spanning bounds
// (xmin, xmax, ymin, ymax, zmin, zmax) whose point array 0 is a 3-component
// displacement. resultDir must exist.
bool writeModalSet(const std::string& resultDir, const std::array<double, 6>& bounds, int modeCount,
                   std::ostream& diagnostics);

} // namespace standin
