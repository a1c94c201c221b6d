#pragma once

#include <string>

class vtkProp;

namespace orvane {

// Names props so that interaction and deletion can find entities again.
// Uses VTK's own object name where VTK has one.
void setActorName(vtkProp* prop, const std::string& name);
std::string actorName(vtkProp* prop);

} // namespace orvane
