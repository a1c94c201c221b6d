// The "screenshot" command: the render window's pixels as a PNG file.

#include "app/FileChecks.h"
#include "app/Orvane.h"
#include "app/TemporarySibling.h"

#include <QVTKOpenGLStereoWidget.h>

#include <vtkImageData.h>
#include <vtkPNGWriter.h>
#include <vtkRenderWindow.h>
#include <vtkWindowToImageFilter.h>

#include <iostream>

void Orvane::screenshot(const std::string& path) {
    const auto fail = [this, &path](const std::string& why) {
        std::cerr << "orvane: screenshot: cannot write " << path << ": " << why << "\n";
        sendReply("screenshot", "");
    };
    if (path.empty()) {
        fail("no file name");
        return;
    }
    if (std::optional<std::string> problem = orvane::replaceableFileProblem(path)) {
        fail(*problem);
        return;
    }

    renderView();
    auto capture = vtkSmartPointer<vtkWindowToImageFilter>::New();
    capture->SetInput(vtkWidget->renderWindow());
    capture->SetInputBufferTypeToRGB();
    capture->ReadFrontBufferOff();
    capture->Update();
    const int* size = capture->GetOutput()->GetDimensions();
    if (size[0] < 1 || size[1] < 1) {
        fail("the view has no pixels yet");
        return;
    }

    // A reader of the path never sees half a picture, and a failed write
    // leaves the old file.
    orvane::TemporarySibling partial(path);
    auto writer = vtkSmartPointer<vtkPNGWriter>::New();
    writer->SetFileName(partial.path().c_str());
    writer->SetInputConnection(capture->GetOutputPort());
    writer->Write();
    if (writer->GetErrorCode() != 0) {
        fail("the PNG writer failed (missing directory, no permission or disk full?)");
        return;
    }
    if (const std::optional<std::string> why = partial.commit()) {
        fail(*why);
        return;
    }
    sendReply("screenshot", path);
}
