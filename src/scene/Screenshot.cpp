// The "screenshot" command: the render window's pixels as a PNG file.

#include "app/FileChecks.h"
#include "app/Orvane.h"

#include <QCoreApplication>
#include <QVTKOpenGLStereoWidget.h>

#include <vtkImageData.h>
#include <vtkPNGWriter.h>
#include <vtkRenderWindow.h>
#include <vtkWindowToImageFilter.h>

#include <filesystem>
#include <iostream>
#include <system_error>

namespace fs = std::filesystem;

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

    // Written beside the target and renamed over it, so a reader of the path
    // never sees half a picture and a failed write leaves the old file.
    const std::string partial = path + "." + std::to_string(QCoreApplication::applicationPid()) + ".partial";
    auto writer = vtkSmartPointer<vtkPNGWriter>::New();
    writer->SetFileName(partial.c_str());
    writer->SetInputConnection(capture->GetOutputPort());
    writer->Write();
    std::error_code error;
    if (writer->GetErrorCode() != 0) {
        fs::remove(fs::u8path(partial), error);
        fail("the PNG writer failed (missing directory, no permission or disk full?)");
        return;
    }
    fs::rename(fs::u8path(partial), fs::u8path(path), error);
    if (error) {
        std::error_code ignored;
        fs::remove(fs::u8path(partial), ignored);
        fail(error.message());
        return;
    }
    sendReply("screenshot", path);
}
