// The "screenshot" command: the render window as a PNG file, written whole or
// not at all.

#include "RecordingChannel.h"
#include "ViewReady.h"
#include "app/Orvane.h"

#include <QVTKOpenGLStereoWidget.h>

#include <vtkImageData.h>
#include <vtkPNGReader.h>
#include <vtkRenderWindow.h>
#include <vtkSmartPointer.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

using Rgb = std::array<int, 3>;

Rgb pixelAt(vtkImageData* image, int x, int y) {
    Rgb rgb{};
    for (int c = 0; c < 3; ++c) {
        rgb[static_cast<std::size_t>(c)] = static_cast<int>(image->GetScalarComponentAsDouble(x, y, 0, c));
    }
    return rgb;
}

bool near(const Rgb& actual, const Rgb& expected, int tolerance) {
    for (std::size_t c = 0; c < 3; ++c) {
        if (std::abs(actual[c] - expected[c]) > tolerance) {
            return false;
        }
    }
    return true;
}

std::string describe(const Rgb& rgb) {
    return std::to_string(rgb[0]) + "," + std::to_string(rgb[1]) + "," + std::to_string(rgb[2]);
}

std::vector<std::string> directoryNames(const fs::path& directory) {
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(directory)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class Screenshot : public ::testing::Test {
protected:
    void SetUp() override {
        scratch = fs::temp_directory_path() / ("orvane-screenshot-" + std::to_string(::getpid()));
        fs::remove_all(scratch);
        fs::create_directories(scratch);
        ::setenv("ORVANE_GAUSS_DATA_DIR", scratch.c_str(), 1);
        view = std::make_unique<Orvane>(false, std::make_unique<RecordingChannel>(events));
        ::unsetenv("ORVANE_GAUSS_DATA_DIR");
        ASSERT_TRUE(waitUntilExposed(*view));
    }
    void TearDown() override {
        view.reset();
        fs::remove_all(scratch);
    }
    void run(const std::string& command) {
        view->OnReceiveMessage(QString::fromStdString(command));
        EXPECT_TRUE(waitUntilSettled(*view)) << command;
    }

    fs::path scratch;
    std::vector<RecordingChannel::Event> events;
    std::unique_ptr<Orvane> view;
};

} // namespace

TEST_F(Screenshot, WritesTheWindowAtItsSizeWithBackgroundAndModel) {
    run("readStl 1 " ORVANE_TEST_DATA_DIR "/cube.stl");
    const fs::path png = scratch / "view.png";
    events.clear();
    run("screenshot " + png.string());
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].name, "screenshot");
    EXPECT_EQ(events[0].args, std::vector<std::string>{png.string()});
    EXPECT_EQ(directoryNames(scratch), std::vector<std::string>{"view.png"})
        << "no partial file stays behind";

    auto reader = vtkSmartPointer<vtkPNGReader>::New();
    ASSERT_TRUE(reader->CanReadFile(png.c_str()));
    reader->SetFileName(png.c_str());
    reader->Update();
    vtkImageData* image = reader->GetOutput();
    const int* windowSize = view->vtkWidget->renderWindow()->GetSize();
    const int width = image->GetDimensions()[0];
    const int height = image->GetDimensions()[1];
    EXPECT_EQ(width, windowSize[0]);
    EXPECT_EQ(height, windowSize[1]);
    ASSERT_GT(width, 100);
    ASSERT_GT(height, 100);

    // Image row 0 is the bottom of the view: the light end of the gradient.
    const Rgb bottom = pixelAt(image, width - 3, 2);
    const Rgb top = pixelAt(image, width - 3, height - 3);
    EXPECT_TRUE(near(bottom, {167, 167, 188}, 12)) << describe(bottom);
    EXPECT_TRUE(near(top, {52, 52, 103}, 12)) << describe(top);
    const Rgb centre = pixelAt(image, width / 2, height / 2);
    EXPECT_TRUE(centre[0] > 120 && centre[1] > 120 && centre[2] < 60)
        << "yellow cube expected: " << describe(centre);
}

TEST_F(Screenshot, AnUnwritablePathRepliesEmptyAndLeavesNothing) {
    const fs::path missingDirectory = scratch / "missing" / "view.png";
    const fs::path occupied = scratch / "occupied";
    fs::create_directories(occupied / "inside");
    ::testing::internal::CaptureStderr();
    run("screenshot " + missingDirectory.string());
    run("screenshot " + occupied.string());
    run("screenshot");
    const std::string diagnostics = ::testing::internal::GetCapturedStderr();

    ASSERT_EQ(events.size(), 2u) << "a command without its path word is not run";
    for (const RecordingChannel::Event& event : events) {
        EXPECT_EQ(event.name, "screenshot");
        EXPECT_EQ(event.args, std::vector<std::string>{""});
    }
    EXPECT_NE(diagnostics.find("cannot write " + missingDirectory.string()), std::string::npos)
        << diagnostics;
    EXPECT_NE(diagnostics.find("cannot write " + occupied.string()), std::string::npos) << diagnostics;
    EXPECT_EQ(directoryNames(scratch), std::vector<std::string>{"occupied"});
    EXPECT_TRUE(fs::is_directory(occupied / "inside"));
}
