// The analysis model's own operations: entity parameters, deletion of
// records, and the solver input files of the whole model.

#include "model/Analysis.h"

#include "app/DataPaths.h"
#include "app/FileChecks.h"
#include "model/EntityRules.h"
#include "model/SolverFiles.h"

#include <cmath>
#include <iostream>
#include <optional>

namespace orvane {

namespace {

// Removes the record named `name`, keeping the order of the others.
template <typename Record> bool removeNamed(std::vector<Record>& records, const std::string& name) {
    for (auto it = records.begin(); it != records.end(); ++it) {
        if (it->name == name) {
            records.erase(it);
            return true;
        }
    }
    return false;
}

} // namespace

void Analysis::SetForceParameters(const std::array<double, 6>& forceComponents) {
    components.assign(forceComponents.begin(), forceComponents.end());
    const ForceParameters parameters = forceParameters(forceComponents);
    labelText = parameters.labelText;
    if (parameters.direction) {
        direction = *parameters.direction;
    } else {
        std::cerr << "orvane: the force " << forceComponents[0] << " " << forceComponents[1] << " "
                  << forceComponents[2] << " has no direction; the arrow keeps its direction\n";
    }
}

void Analysis::SetFixParameters(const std::array<double, 6>& words) {
    for (std::size_t i = 0; i < 3; ++i) {
        fixTranslation[i] = static_cast<int32_t>(std::trunc(words[i]));
        fixRotation[i] = static_cast<int32_t>(std::trunc(words[i + 3]));
    }
}

void Analysis::removeEntity(const std::string& name) {
    if (removeNamed(rb3Circles, name)) {
        std::cout << "arrowFrame delete" << std::endl;
    }
    if (removeNamed(model.forces, name)) {
        std::cout << "arrow delete" << std::endl;
    }
    removeNamed(model.constraints, name);
    if (removeNamed(model.beams, name)) {
        std::cout << "beam delete" << std::endl;
    }
    if (removeNamed(model.springs, name)) {
        std::cout << "spring delete" << std::endl;
    }
    if (removeNamed(model.connections, name)) {
        std::cout << "connect delete" << std::endl;
    }
    if (removeNamed(model.rb3Elements, name)) {
        std::cout << "rb delete" << std::endl;
    }
}

bool Analysis::WritePreFiles(const std::string& rootWithSlash) {
    if (std::optional<std::string> problem = pathProblem(rootWithSlash)) {
        std::cerr << "orvane: preFiles: data root refused: " << *problem << "\n";
        return false;
    }
    return writePreFiles(model, datapaths::solverInputFile(rootWithSlash), std::cout);
}

bool Analysis::WriteBeamFile(const std::string& root) {
    if (std::optional<std::string> problem = pathProblem(root)) {
        std::cerr << "orvane: beamSave: data root refused: " << *problem << "\n";
        return false;
    }
    return writeBeamFile(model, datapaths::beamFile(root));
}

bool Analysis::WriteSpringFile(const std::string& root) {
    if (std::optional<std::string> problem = pathProblem(root)) {
        std::cerr << "orvane: springSave: data root refused: " << *problem << "\n";
        return false;
    }
    return writeSpringFile(model, datapaths::springFile(root));
}

} // namespace orvane
