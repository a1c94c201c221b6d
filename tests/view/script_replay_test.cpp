// Replays command scripts through the view, as the UI server would send them,
// and checks every reply, every console line and selected scene state.
//
//   > COMMAND                 send one command text
//   < EVENT [TEXT]            the next reply of that command
//   ! TEXT                    a line the command wrote to standard error
//   = TEXT                    a line the command wrote to standard output
//   ? parts ASSEMBLY N        number of parts of an assembly
//   ? colour ASSEMBLY I R G B A   colour and opacity of part I
//   ? props N                 number of 3-D props in the renderer
//   ? camera                  the view looks along +z with +y up
//
// Replies and console lines that the script does not expect fail the test.
// ${DATA}, ${TMP} and ${OCC} expand to the test data, a scratch directory and
// the OpenCASCADE sample data.

#include "RecordingChannel.h"
#include "ViewReady.h"
#include "app/Orvane.h"
#include "scene/SceneRegistry.h"

#include <QCoreApplication>

#include <vtkActor.h>
#include <vtkAssembly.h>
#include <vtkCamera.h>
#include <vtkProp3DCollection.h>
#include <vtkPropCollection.h>
#include <vtkProperty.h>
#include <vtkRenderer.h>

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::string expand(std::string text, const fs::path& scratch) {
    const std::pair<std::string, std::string> variables[] = {{"${DATA}", ORVANE_TEST_DATA_DIR},
                                                             {"${TMP}", scratch.string()},
                                                             {"${OCC}", "/usr/share/opencascade/data"}};
    for (const auto& [name, value] : variables) {
        for (std::size_t at; (at = text.find(name)) != std::string::npos;) {
            text.replace(at, name.size(), value);
        }
    }
    return text;
}

class ScriptReplay : public ::testing::TestWithParam<std::string> {
protected:
    struct CommandOutcome {
        std::vector<RecordingChannel::Event> replies;
        std::vector<std::string> stdoutLines;
        std::vector<std::string> stderrLines;
    };

    void SetUp() override {
        scratch = fs::temp_directory_path() / ("orvane-script-" + std::to_string(::getpid()));
        fs::remove_all(scratch);
        fs::create_directories(scratch);
        auto channel = std::make_unique<RecordingChannel>(events);
        recorder = channel.get();
        view = std::make_unique<Orvane>(false, std::move(channel));
    }

    void TearDown() override {
        view.reset();
        fs::remove_all(scratch);
    }

    // Sends the text from another thread, as the network thread does, so the
    // queued hop into the GUI thread is part of every replay.
    CommandOutcome run(const std::string& text) {
        std::ostringstream out;
        std::ostringstream err;
        std::streambuf* const oldOut = std::cout.rdbuf(out.rdbuf());
        std::streambuf* const oldErr = std::cerr.rdbuf(err.rdbuf());
        events.clear();
        std::thread network([&] { recorder->commandReceiver(text); });
        network.join();
        QCoreApplication::processEvents();
        EXPECT_TRUE(waitUntilSettled(*view)) << text;
        std::cout.rdbuf(oldOut);
        std::cerr.rdbuf(oldErr);
        return {events, linesOf(out.str()), linesOf(err.str())};
    }

    vtkAssembly* assemblyNamed(const std::string& name) {
        if (name == "modelAssembly")
            return view->scene->modelAssembly;
        if (name == "beamAssembly")
            return view->scene->beamAssembly;
        if (name == "springAssembly")
            return view->scene->springAssembly;
        if (name == "beamPointAssembly")
            return view->scene->beamPointAssembly;
        ADD_FAILURE() << "unknown assembly " << name;
        return nullptr;
    }

    void check(const std::string& probe, const std::string& where) {
        std::istringstream words(probe);
        std::string kind;
        words >> kind;
        if (kind == "parts") {
            std::string name;
            int expected = -1;
            words >> name >> expected;
            if (vtkAssembly* assembly = assemblyNamed(name)) {
                EXPECT_EQ(assembly->GetParts()->GetNumberOfItems(), expected) << where;
            }
        } else if (kind == "colour") {
            std::string name;
            int part = -1;
            double r = 0, g = 0, b = 0, a = 0;
            words >> name >> part >> r >> g >> b >> a;
            vtkAssembly* assembly = assemblyNamed(name);
            auto* actor =
                assembly ? vtkActor::SafeDownCast(assembly->GetParts()->GetItemAsObject(part)) : nullptr;
            ASSERT_NE(actor, nullptr) << where;
            const double* colour = actor->GetProperty()->GetColor();
            EXPECT_NEAR(colour[0], r, 1e-9) << where;
            EXPECT_NEAR(colour[1], g, 1e-9) << where;
            EXPECT_NEAR(colour[2], b, 1e-9) << where;
            EXPECT_NEAR(actor->GetProperty()->GetOpacity(), a, 1e-9) << where;
        } else if (kind == "props") {
            int expected = -1;
            words >> expected;
            vtkPropCollection* props = view->renderer->GetViewProps();
            std::string classes;
            int count = 0;
            props->InitTraversal();
            while (vtkProp* prop = props->GetNextProp()) {
                classes += std::string(" ") + prop->GetClassName();
                count += vtkProp3D::SafeDownCast(prop) != nullptr ? 1 : 0;
            }
            EXPECT_EQ(count, expected) << where << ": props" << classes;
        } else if (kind == "camera") {
            vtkCamera* camera = view->renderer->GetActiveCamera();
            const double* direction = camera->GetDirectionOfProjection();
            const double* up = camera->GetViewUp();
            EXPECT_NEAR(direction[2], 1.0, 1e-9) << where;
            EXPECT_NEAR(up[1], 1.0, 1e-9) << where;
        } else {
            ADD_FAILURE() << where << ": unknown probe " << probe;
        }
    }

    fs::path scratch;
    std::vector<RecordingChannel::Event> events;
    RecordingChannel* recorder = nullptr;
    std::unique_ptr<Orvane> view;
};

std::string describe(const RecordingChannel::Event& event) {
    std::string text = event.name;
    for (const std::string& arg : event.args) {
        text += " " + arg;
    }
    return text;
}

TEST_P(ScriptReplay, RepliesAndConsoleMatch) {
    const fs::path script = fs::path(ORVANE_SCRIPT_DIR) / GetParam();
    std::ifstream input(script);
    ASSERT_TRUE(input) << script;

    CommandOutcome pending;
    std::string lastCommand;
    std::size_t nextReply = 0;
    const auto finishCommand = [&](const std::string& where) {
        for (std::size_t i = nextReply; i < pending.replies.size(); ++i) {
            ADD_FAILURE() << where << ": unexpected reply '" << describe(pending.replies[i]) << "' to '"
                          << lastCommand << "'";
        }
        for (const std::string& line : pending.stderrLines) {
            ADD_FAILURE() << where << ": unexpected standard error line '" << line << "' from '"
                          << lastCommand << "'";
        }
        for (const std::string& line : pending.stdoutLines) {
            ADD_FAILURE() << where << ": unexpected standard output line '" << line << "' from '"
                          << lastCommand << "'";
        }
        pending = {};
        nextReply = 0;
    };
    const auto takeLine = [](std::vector<std::string>& lines, const std::string& wanted) {
        for (auto it = lines.begin(); it != lines.end(); ++it) {
            if (*it == wanted) {
                lines.erase(it);
                return true;
            }
        }
        return false;
    };

    int lineNumber = 0;
    for (std::string line; std::getline(input, line);) {
        ++lineNumber;
        const std::string where = GetParam() + ":" + std::to_string(lineNumber);
        if (line.empty() || line[0] == '#') {
            continue;
        }
        ASSERT_GE(line.size(), 2u) << where;
        const char tag = line[0];
        const std::string body = expand(line.substr(2), scratch);
        if (tag == '>') {
            finishCommand(where);
            lastCommand = body;
            pending = run(body);
        } else if (tag == '<') {
            ASSERT_LT(nextReply, pending.replies.size()) << where << ": missing reply '" << body << "'";
            EXPECT_EQ(describe(pending.replies[nextReply++]), body) << where;
        } else if (tag == '!') {
            EXPECT_TRUE(takeLine(pending.stderrLines, body))
                << where << ": no standard error line '" << body << "'";
        } else if (tag == '=') {
            EXPECT_TRUE(takeLine(pending.stdoutLines, body))
                << where << ": no standard output line '" << body << "'";
        } else if (tag == '?') {
            check(body, where);
        } else {
            FAIL() << where << ": cannot read '" << line << "'";
        }
    }
    finishCommand(GetParam() + ":end");
}

std::vector<std::string> scripts() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(ORVANE_SCRIPT_DIR)) {
        if (entry.path().extension() == ".script") {
            names.push_back(entry.path().filename().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

INSTANTIATE_TEST_SUITE_P(Scripts, ScriptReplay, ::testing::ValuesIn(scripts()),
                         [](const ::testing::TestParamInfo<std::string>& scriptInfo) {
                             std::string name = fs::path(scriptInfo.param).stem().string();
                             std::replace_if(
                                 name.begin(), name.end(), [](char c) { return !std::isalnum(c); }, '_');
                             return name;
                         });

} // namespace
