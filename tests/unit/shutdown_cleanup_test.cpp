#include "app/ShutdownCleanup.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class ShutdownCleanup : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("orvane-cleanup-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root);
    }
    void TearDown() override {
        ::chmod(root.c_str(), 0700);
        std::error_code ignored;
        for (const auto& entry : fs::recursive_directory_iterator(root, ignored)) {
            ::chmod(entry.path().c_str(), 0700);
        }
        fs::remove_all(root, ignored);
    }

    fs::path makeFile(const fs::path& path) {
        fs::create_directories(path.parent_path());
        std::ofstream(path) << "solid x\nendsolid x\n";
        return path;
    }

    fs::path root;
    std::ostringstream diagnostics;
};

} // namespace

TEST_F(ShutdownCleanup, RemovesOnlyTheListedFiles) {
    const fs::path step = root / "data/step";
    const fs::path written0 = makeFile(step / "model0.stl");
    const fs::path written1 = makeFile(root / "data/solid/solid0.stl");
    const fs::path cut = makeFile(root / "data/cut/cut0.stl");
    const fs::path stray = makeFile(step / "notes.stl");
    const fs::path nested = makeFile(step / "keep/inner.stl");

    const orvane::CleanupOutcome outcome = orvane::removeWrittenFiles(
        {written0.string(), written1.string(), cut.string(), (step / "model9.stl").string(), ""},
        diagnostics);

    EXPECT_EQ(outcome.removed, 3);
    EXPECT_EQ(outcome.failed, 0);
    EXPECT_EQ(outcome.skipped, 2) << "a missing file and an empty path";
    EXPECT_FALSE(fs::exists(written0));
    EXPECT_FALSE(fs::exists(written1));
    EXPECT_FALSE(fs::exists(cut));
    EXPECT_TRUE(fs::exists(stray)) << "a file the import did not write stays";
    EXPECT_TRUE(fs::exists(nested));
    EXPECT_EQ(diagnostics.str(), "");
}

TEST_F(ShutdownCleanup, NeverFollowsALinkToADirectoryOrDeletesThroughALink) {
    // data/step is a link to a directory outside the tree: its files stay.
    const fs::path outside = root / "elsewhere";
    const fs::path precious = makeFile(outside / "model0.stl");
    fs::create_directories(root / "data");
    fs::create_symlink(outside, root / "data/step");
    // A listed file that became a link: the link and its target stay.
    const fs::path target = makeFile(root / "target.stl");
    fs::create_directories(root / "data/solid");
    fs::create_symlink(target, root / "data/solid/solid0.stl");
    // A listed file that became a directory or a FIFO stays.
    fs::create_directories(root / "data/cut/cut0.stl");
    ASSERT_EQ(::mkfifo((root / "data/cut/cut1.stl").c_str(), 0600), 0);

    const orvane::CleanupOutcome outcome = orvane::removeWrittenFiles(
        {(root / "data/step/model0.stl").string(), (root / "data/solid/solid0.stl").string(),
         (root / "data/cut/cut0.stl").string(), (root / "data/cut/cut1.stl").string()},
        diagnostics);

    EXPECT_EQ(outcome.removed, 0);
    EXPECT_EQ(outcome.skipped, 4);
    EXPECT_TRUE(fs::exists(precious));
    EXPECT_TRUE(fs::is_symlink(root / "data/solid/solid0.stl"));
    EXPECT_TRUE(fs::exists(target));
    EXPECT_TRUE(fs::is_directory(root / "data/cut/cut0.stl"));
    EXPECT_TRUE(fs::is_fifo(root / "data/cut/cut1.stl"));
    EXPECT_NE(diagnostics.str().find("data/step is not a directory of its own"), std::string::npos)
        << diagnostics.str();
}

TEST_F(ShutdownCleanup, AFileThatCannotBeDeletedDoesNotStopTheRest) {
    const fs::path locked = root / "data/step";
    const fs::path solid = root / "data/solid";
    makeFile(locked / "model0.stl");
    makeFile(solid / "solid0.stl");

    // Root may delete anything, so the clean-up runs as an unprivileged user then.
    const bool dropPrivileges = ::geteuid() == 0;
    constexpr uid_t nobody = 65534;
    if (dropPrivileges) {
        for (const auto& entry : fs::recursive_directory_iterator(root)) {
            ASSERT_EQ(::chown(entry.path().c_str(), nobody, nobody), 0);
        }
        ASSERT_EQ(::chown(root.c_str(), nobody, nobody), 0);
    }
    ::chmod(locked.c_str(), 0500);

    const auto runCleanup = [&] {
        return orvane::removeWrittenFiles({(locked / "model0.stl").string(), (solid / "solid0.stl").string()},
                                          diagnostics);
    };
    if (!dropPrivileges) {
        const orvane::CleanupOutcome outcome = runCleanup();
        EXPECT_EQ(outcome.failed, 1);
        EXPECT_EQ(outcome.removed, 1);
        EXPECT_NE(diagnostics.str().find("model0.stl"), std::string::npos);
    } else {
        const pid_t child = ::fork();
        ASSERT_NE(child, -1);
        if (child == 0) {
            if (::setgid(nobody) != 0 || ::setuid(nobody) != 0) {
                ::_exit(2);
            }
            const orvane::CleanupOutcome outcome = runCleanup();
            ::_exit(outcome.failed == 1 && outcome.removed == 1 ? 0 : 1);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << "expected one failure and one removal";
    }
    EXPECT_FALSE(fs::exists(solid / "solid0.stl"));
    EXPECT_TRUE(fs::exists(locked / "model0.stl"));
}
