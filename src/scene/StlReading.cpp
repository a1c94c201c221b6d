#include "scene/StlReading.h"

#include "app/FileChecks.h"

#include <vtkSTLReader.h>

#include <iostream>
#include <optional>

namespace orvane {

bool readStlFile(vtkSTLReader* reader, const std::string& path) {
    if (std::optional<std::string> problem = stlFileProblem(path)) {
        std::cerr << "orvane: cannot read STL file '" << path << "': " << *problem << "\n";
        // Without a file name the reader yields nothing, as for a missing file.
        reader->SetFileName(nullptr);
        reader->Update();
        return false;
    }
    reader->SetFileName(path.c_str());
    reader->Update();
    return true;
}

} // namespace orvane
