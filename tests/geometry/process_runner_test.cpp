#include "geometry/ProcessRunner.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>
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

namespace {

// True while the process runs; a zombie waiting for its parent does not.
bool running(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) {
        return false;
    }
    const char state = line.at(line.rfind(')') + 2);
    return state != 'Z' && state != 'X';
}

} // namespace

TEST_F(ProcessRunner, ATimeLimitOrAStopRequestEndsTheProgramWithEverythingItStarted) {
    // The program's own child is no exec; a child that ignores SIGTERM
    // needs the SIGKILL after the grace period.
    const fs::path pids = dir / "pids";
    const std::string job = "trap '' TERM; sleep 60 & echo $$ $! > '" + pids.string() + "'; wait";
    std::ostringstream diagnostics;
    const auto started = std::chrono::steady_clock::now();
    orvane::RunLimits limits;
    limits.timeLimit = std::chrono::milliseconds(1000);
    limits.grace = std::chrono::milliseconds(300);
    EXPECT_EQ(orvane::runProgram("sh", {"-c", job}, diagnostics, limits), -1);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(4));
    EXPECT_NE(diagnostics.str().find("ran longer than"), std::string::npos) << diagnostics.str();
    pid_t shell = 0;
    pid_t child = 0;
    ASSERT_TRUE(std::ifstream(pids) >> shell >> child);
    EXPECT_FALSE(running(shell));
    EXPECT_FALSE(running(child)) << "the program's child outlived it";

    std::atomic<bool> stop{false};
    std::thread stopper([&stop] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        stop = true;
    });
    limits = {};
    limits.stop = &stop;
    EXPECT_EQ(orvane::runProgram("sh", {"-c", "sleep 60 & wait"}, diagnostics, limits), -1);
    stopper.join();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(6));
    EXPECT_NE(diagnostics.str().find("is stopped"), std::string::npos) << diagnostics.str();
}
