#include "scene/Multisampling.h"

#include "scene/Rasterizer.h"

#include <vtkCallbackCommand.h>
#include <vtkCommand.h>
#include <vtkRenderWindow.h>
#include <vtkSmartPointer.h>

namespace orvane {

void fitMultisamplingToRasterizer(vtkRenderWindow* window) {
    const char* report = window->ReportCapabilities();
    if (report != nullptr && rasterizesOnCpu(report)) {
        window->SetMultiSamples(0);
    }
}

void fitMultisamplingAfterFirstFrame(vtkRenderWindow* window) {
    auto firstFrameDrawn = vtkSmartPointer<vtkCallbackCommand>::New();
    firstFrameDrawn->SetClientData(firstFrameDrawn.Get());
    firstFrameDrawn->SetCallback([](vtkObject* caller, unsigned long, void* self, void*) {
        auto* drawn = static_cast<vtkRenderWindow*>(caller);
        // Only once: the observer goes before the window changes.
        drawn->RemoveObserver(static_cast<vtkCommand*>(self));
        fitMultisamplingToRasterizer(drawn);
    });
    window->AddObserver(vtkCommand::EndEvent, firstFrameDrawn);
}

} // namespace orvane
