#pragma once

#include <vtkCommand.h>

#include <array>
#include <vector>

namespace orvane {

// Observer of left-button presses: picks the nearest mesh point and, when it
// coincides with the known point of the same id, records it as the picked
// position.
class PointPickerCallback : public vtkCommand {
public:
    static PointPickerCallback* New() { return new PointPickerCallback; }
    vtkTypeMacro(PointPickerCallback, vtkCommand)

    void Execute(vtkObject* caller, unsigned long eventId, void* callData) override;

    // Known points, indexed by the point id of the picked data set.
    std::vector<std::array<double, 3>> points;
    bool picked = false;
    bool pickedValid = false;
    std::array<double, 3> pickedPosition{0.0, 0.0, 0.0};

protected:
    PointPickerCallback() = default;
};

} // namespace orvane
