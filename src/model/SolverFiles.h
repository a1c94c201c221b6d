#pragma once

#include "model/AnalysisModel.h"

#include <iosfwd>
#include <string>

namespace orvane {

// The solver input files. Each is written to a temporary sibling and renamed
// over path, so none is ever left half-written; when it cannot be written one
// diagnostic line goes to standard error and false is returned. Numbers are
// written the same whatever the process locale, lines end in "\n".
//
// Sections that take records by target letter (F face, B beam node, P point)
// skip the records with another letter and those whose target parseTarget
// cannot read.

// preFiles.txt: the whole model, every double fixed with six decimals. Prints
// the GBK text for "matched" on console once per beam-node constraint and
// force it writes. A spring's empty type leaves its field empty (the line
// then holds two spaces in a row). An RB3 element whose target cannot be read
// is written with the target's first character (an empty field when the
// target is empty) and 0 0.
bool writePreFiles(const AnalysisModel& model, const std::string& path, std::ostream& console);

// beam.txt: the beams, the beam-node constraints and the beam-node forces
// (with their positions), doubles as a default C++ stream writes them.
bool writeBeamFile(const AnalysisModel& model, const std::string& path);

// spring.txt: every spring's end points, then every spring's stiffness,
// doubles as a default C++ stream writes them.
bool writeSpringFile(const AnalysisModel& model, const std::string& path);

} // namespace orvane
