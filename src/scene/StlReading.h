#pragma once

#include <string>

class vtkSTLReader;

namespace orvane {

// Points the reader at an STL file and reads it, unless stlFileProblem
// refuses the file (missing, not a regular file, empty, or a binary file
// shorter than its facet count says). A refused file gets the diagnostic
// "orvane: cannot read STL file 'PATH': REASON" and leaves the reader without
// a file, so that it yields nothing. False when the file was refused.
bool readStlFile(vtkSTLReader* reader, const std::string& path);

} // namespace orvane
