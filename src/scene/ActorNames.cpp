#include "scene/ActorNames.h"

#include <vtkProp.h>
#include <vtkVersion.h>

#if VTK_VERSION_NUMBER < VTK_VERSION_CHECK(9, 3, 0)
#include <vtkInformation.h>
#include <vtkInformationStringKey.h>
#include <vtkSmartPointer.h>
#endif

namespace orvane {

#if VTK_VERSION_NUMBER >= VTK_VERSION_CHECK(9, 3, 0)

void setActorName(vtkProp* prop, const std::string& name) {
    prop->SetObjectName(name);
}

std::string actorName(vtkProp* prop) {
    return prop->GetObjectName();
}

#else

namespace {
// VTK before 9.3 has no object name: keep it in the prop's information keys.
vtkInformationStringKey* nameKey() {
    static vtkInformationStringKey* const key = new vtkInformationStringKey("ORVANE_ACTOR_NAME", "orvane");
    return key;
}
} // namespace

void setActorName(vtkProp* prop, const std::string& name) {
    vtkInformation* keys = prop->GetPropertyKeys();
    if (keys == nullptr) {
        auto fresh = vtkSmartPointer<vtkInformation>::New();
        prop->SetPropertyKeys(fresh);
        keys = fresh;
    }
    keys->Set(nameKey(), name.c_str());
}

std::string actorName(vtkProp* prop) {
    vtkInformation* keys = prop->GetPropertyKeys();
    const char* name = keys != nullptr ? keys->Get(nameKey()) : nullptr;
    return name != nullptr ? name : "";
}

#endif

} // namespace orvane
