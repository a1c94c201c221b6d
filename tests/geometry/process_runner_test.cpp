#include "geometry/ProcessRunner.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class ProcessRunner : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("orvane-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    fs::path dir;
};

} // namespace

TEST_F(ProcessRunner, ShellCharactersReachTheProgramAsSingleArguments) {
    // The script records its arguments, NUL-separated, next to itself.
    const fs::path script = dir / "record; touch pwned $(x) 'q'.sh";
    std::ofstream(script) << "#!/bin/sh\nprintf '%s\\0' \"$@\" > \"$(dirname \"$0\")/argv\"\nexit 7\n";
    fs::permissions(script, fs::perms::owner_all);
    const std::string trap = (dir / "pwned").string();
    const std::vector<std::string> args{"a b; touch " + trap,
                                        "$(touch " + trap + ")",
                                        "`touch " + trap + "`",
                                        "'single' \"double\" \\",
                                        "",
                                        "*",
                                        "模型 ü.stl"};
    std::ostringstream diagnostics;
    EXPECT_EQ(orvane::runProgram(script.string(), args, diagnostics), 7);
    EXPECT_EQ(diagnostics.str(), "");

    std::ifstream recorded(dir / "argv", std::ios::binary);
    std::vector<std::string> received;
    for (std::string arg; std::getline(recorded, arg, '\0');) {
        received.push_back(arg);
    }
    EXPECT_EQ(received, args);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2) << "nothing else ran";
}

TEST_F(ProcessRunner, ReturnsTheExitStatusOfProgramsFoundOnThePath) {
    std::ostringstream diagnostics;
    EXPECT_EQ(orvane::runProgram("sh", {"-c", "exit 3"}, diagnostics), 3);
    EXPECT_EQ(orvane::runProgram("true", {}, diagnostics), 0);
    EXPECT_EQ(diagnostics.str(), "");
    EXPECT_EQ(orvane::runProgram("/bin/sh", {"-c", "kill -TERM $$"}, diagnostics), 128 + 15);
    EXPECT_NE(diagnostics.str().find("signal 15"), std::string::npos) << diagnostics.str();
}

TEST_F(ProcessRunner, ProgramThatCannotStartGivesMinusOneAndADiagnostic) {
    const fs::path plain = dir / "not executable.sh";
    std::ofstream(plain) << "#!/bin/sh\ntouch \"$(dirname \"$0\")/ran\"\n";
    for (const std::string& program :
         {(dir / "missing").string(), plain.string(), dir.string(), std::string()}) {
        std::ostringstream diagnostics;
        EXPECT_EQ(orvane::runProgram(program, {}, diagnostics), -1) << program;
        const std::string message = diagnostics.str();
        EXPECT_TRUE(message.find(program) != std::string::npos && message.find('\n') == message.size() - 1)
            << message;
    }
    EXPECT_FALSE(fs::exists(dir / "ran")) << "no execute bit stops even root";
}
