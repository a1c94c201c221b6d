#include "commands/CommandDispatcher.h"

#include <gtest/gtest.h>

#include <new>
#include <sstream>
#include <stdexcept>

using orvane::ArgKind;
using orvane::CommandArguments;
using orvane::CommandDispatcher;
using orvane::CommandRow;

namespace {

struct Recorder {
    std::vector<std::string> calls;
    std::ostringstream diagnostics;

    CommandDispatcher dispatcher() {
        const ArgKind text = ArgKind::Text;
        const ArgKind integer = ArgKind::Int;
        const ArgKind real = ArgKind::Real;
        return CommandDispatcher(
            {
                {"readStl",
                 "1",
                 {text},
                 "",
                 "",
                 [this](const CommandArguments& a) { calls.push_back("readStl " + a.text(2)); }},
                {"Opacity",
                 "1",
                 {},
                 "",
                 "",
                 [this](const CommandArguments&) { calls.push_back("Opacity on"); }},
                {"Opacity",
                 "0",
                 {},
                 "",
                 "",
                 [this](const CommandArguments&) { calls.push_back("Opacity off"); }},
                {"changeModel",
                 "",
                 {integer, real},
                 "",
                 "",
                 [this](const CommandArguments& a) {
                     calls.push_back("changeModel " + std::to_string(a.integer(1)) + " " +
                                     std::to_string(a.real(2)));
                 }},
                {"reset", "", {}, "", "", [this](const CommandArguments&) { calls.push_back("reset"); }},
                {"throws",
                 "",
                 {},
                 "",
                 "",
                 [](const CommandArguments&) { throw std::runtime_error("disk full"); }},
                {"throwsOther", "", {}, "", "", [](const CommandArguments&) { throw 42; }},
                {"misreads", "", {text}, "", "", [](const CommandArguments& a) { (void)a.real(1); }},
            },
            diagnostics);
    }
};

} // namespace

TEST(CommandDispatcher, RunsTheRowOfTheCommandWordWithConvertedArguments) {
    Recorder recorder;
    const CommandDispatcher dispatcher = recorder.dispatcher();
    dispatcher.execute("changeModel 3 0.25");
    dispatcher.execute("changeModel abc 1,5");
    dispatcher.execute("reset");
    EXPECT_EQ(recorder.calls,
              (std::vector<std::string>{"changeModel 3 0.250000", "changeModel 0 0.000000", "reset"}));
    EXPECT_EQ(recorder.diagnostics.str(), "");
}

TEST(CommandDispatcher, UnknownWordsAndUnmatchedSelectorsAreSilent) {
    Recorder recorder;
    const CommandDispatcher dispatcher = recorder.dispatcher();
    for (const char* text : {"Reset", "unknown 1 2", "", " reset", "readStl 0 a.stl", "readStl true a.stl",
                             "readStl  1", "Opacity 2", "Opacity "}) {
        dispatcher.execute(text);
    }
    EXPECT_TRUE(recorder.calls.empty());
    EXPECT_EQ(recorder.diagnostics.str(), "");
}

TEST(CommandDispatcher, SurplusWordsAreIgnored) {
    Recorder recorder;
    const CommandDispatcher dispatcher = recorder.dispatcher();
    dispatcher.execute("reset now please");
    dispatcher.execute("reset ");
    dispatcher.execute("readStl 1 a.stl b.stl");
    dispatcher.execute("Opacity 0 extra");
    EXPECT_EQ(recorder.calls, (std::vector<std::string>{"reset", "reset", "readStl a.stl", "Opacity off"}));
}

TEST(CommandDispatcher, ShortCommandsAreIgnoredWithOneLineNamingThem) {
    Recorder recorder;
    const CommandDispatcher dispatcher = recorder.dispatcher();
    dispatcher.execute("changeModel 3");
    dispatcher.execute("readStl 1");
    dispatcher.execute("Opacity");
    EXPECT_TRUE(recorder.calls.empty());
    const std::string diagnostics = recorder.diagnostics.str();
    EXPECT_EQ(std::count(diagnostics.begin(), diagnostics.end(), '\n'), 3);
    EXPECT_NE(diagnostics.find("'changeModel'"), std::string::npos);
    EXPECT_NE(diagnostics.find("'readStl'"), std::string::npos);
    EXPECT_NE(diagnostics.find("'Opacity'"), std::string::npos);
}

TEST(CommandDispatcher, EmptyWordsStillCountAsWords) {
    Recorder recorder;
    const CommandDispatcher dispatcher = recorder.dispatcher();
    dispatcher.execute("readStl 1 ");
    EXPECT_EQ(recorder.calls, std::vector<std::string>{"readStl "});
}

TEST(CommandDispatcher, NothingAHandlerThrowsGetsOut) {
    Recorder recorder;
    const CommandDispatcher dispatcher = recorder.dispatcher();
    EXPECT_NO_THROW(dispatcher.execute("throws"));
    EXPECT_NO_THROW(dispatcher.execute("throwsOther"));
    EXPECT_NO_THROW(dispatcher.execute("misreads x"));
    const std::string diagnostics = recorder.diagnostics.str();
    EXPECT_NE(diagnostics.find("'throws' failed: disk full"), std::string::npos);
    EXPECT_NE(diagnostics.find("'throwsOther' failed"), std::string::npos);
    EXPECT_NE(diagnostics.find("'misreads' failed"), std::string::npos);
    // Work the event loop starts itself (a timer tick) has the same boundary.
    EXPECT_NO_THROW(dispatcher.runGuarded("playModel tick", [] { throw std::bad_alloc(); }));
    EXPECT_NE(recorder.diagnostics.str().find("orvane: playModel tick failed: std::bad_alloc"),
              std::string::npos);
    dispatcher.execute("reset");
    EXPECT_EQ(recorder.calls, std::vector<std::string>{"reset"});
}

TEST(CommandDispatcher, DuplicateRowsAreRejectedAtStartUp) {
    std::ostringstream diagnostics;
    const auto nothing = [](const CommandArguments&) {};
    EXPECT_THROW(CommandDispatcher({{"reset", "", {}, "", "", nothing}, {"reset", "", {}, "", "", nothing}},
                                   diagnostics),
                 std::logic_error);
    EXPECT_THROW(
        CommandDispatcher({{"Opacity", "1", {}, "", "", nothing}, {"Opacity", "1", {}, "", "", nothing}},
                          diagnostics),
        std::logic_error);
    EXPECT_THROW(
        CommandDispatcher({{"Opacity", "1", {}, "", "", nothing}, {"Opacity", "", {}, "", "", nothing}},
                          diagnostics),
        std::logic_error);
    EXPECT_THROW(CommandDispatcher({{"", "", {}, "", "", nothing}}, diagnostics), std::logic_error);
    EXPECT_THROW(CommandDispatcher({{"reset", "", {}, "", "", nullptr}}, diagnostics), std::logic_error);
    EXPECT_NO_THROW(CommandDispatcher(
        {{"Opacity", "1", {}, "", "", nothing}, {"Opacity", "0", {}, "", "", nothing}}, diagnostics));
}
