#include "interaction/PointPickerCallback.h"

#include "scene/PickGeometry.h"

#include <vtkPointPicker.h>
#include <vtkRenderWindow.h>
#include <vtkRenderWindowInteractor.h>
#include <vtkRenderer.h>
#include <vtkRendererCollection.h>

#include <iostream>

namespace orvane {

namespace {
// "Selected", GBK-encoded as the console of the original tool shows it.
const char* const selectedText = "\xd2\xd1\xd1\xa1\xd6\xd0";
} // namespace

void PointPickerCallback::Execute(vtkObject* caller, unsigned long, void*) {
    auto* interactor = vtkRenderWindowInteractor::SafeDownCast(caller);
    vtkRenderer* renderer =
        interactor != nullptr ? interactor->GetRenderWindow()->GetRenderers()->GetFirstRenderer() : nullptr;
    auto* picker = interactor != nullptr ? vtkPointPicker::SafeDownCast(interactor->GetPicker()) : nullptr;
    if (renderer != nullptr && picker != nullptr) {
        const int* event = interactor->GetEventPosition();
        picker->Pick(event[0], event[1], 0.0, renderer);
        const vtkIdType id = picker->GetPointId();
        if (id >= 0) {
            Point3 position{};
            picker->GetPickPosition(position.data());
            std::cout << "Picked Position: " << position[0] << ", " << position[1] << ", " << position[2]
                      << "\n"
                      << id << "\n";
            // The id indexes the picked data set, which need not be the known points.
            if (static_cast<std::size_t>(id) >= points.size()) {
                std::cout << "no known point " << id << std::endl;
            } else {
                const Point3& known = points[static_cast<std::size_t>(id)];
                std::cout << known[0] << ", " << known[1] << ", " << known[2] << std::endl;
                if (agreesWhenTruncated(position, known)) {
                    std::cout << selectedText << std::endl;
                    pickedPosition = position;
                    interactor->GetRenderWindow()->AddRenderer(renderer);
                }
            }
        }
    }
    picked = true;
    pickedValid = true;
}

} // namespace orvane
