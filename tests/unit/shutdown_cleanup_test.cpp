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

TEST_F(ShutdownCleanup, RemovesRegularFilesAndKeepsSubdirectories) {
    const fs::path step = root / "data/step";
    const fs::path solid = root / "data/solid";
    const fs::path cut = root / "data/cut";
    makeFile(step / "model0.stl");
    makeFile(step / "model1.stl");
    makeFile(solid / "solid0.stl");
    makeFile(cut / "cut0.stl");
    const fs::path nested = makeFile(step / "keep/inner.stl");
    const fs::path brep = makeFile(root / "data/brep/face0.brep");

    const orvane::CleanupOutcome outcome =
        orvane::removeRegularFiles({step.string(), solid.string(), cut.string()}, diagnostics);

    EXPECT_EQ(outcome.removed, 4);
    EXPECT_EQ(outcome.failed, 0);
    EXPECT_FALSE(fs::exists(step / "model0.stl"));
    EXPECT_FALSE(fs::exists(solid / "solid0.stl"));
    EXPECT_FALSE(fs::exists(cut / "cut0.stl"));
    EXPECT_TRUE(fs::exists(nested)) << "subdirectories are left alone";
    EXPECT_TRUE(fs::exists(brep)) << "only the three directories are emptied";
    EXPECT_EQ(diagnostics.str(), "");
}

TEST_F(ShutdownCleanup, EmptyMissingAndNonDirectoryPathsAreSkippedSilently) {
    const fs::path file = makeFile(root / "plain.txt");
    const orvane::CleanupOutcome outcome =
        orvane::removeRegularFiles({"", (root / "missing").string(), file.string()}, diagnostics);
    EXPECT_EQ(outcome.removed, 0);
    EXPECT_EQ(outcome.failed, 0);
    EXPECT_TRUE(fs::exists(file));
    EXPECT_EQ(diagnostics.str(), "");
}

TEST_F(ShutdownCleanup, LinksAreJudgedByWhatTheyPointTo) {
    const fs::path dir = root / "data/step";
    const fs::path target = makeFile(root / "elsewhere/model.stl");
    fs::create_directories(root / "elsewhere/dir");
    fs::create_directories(dir);
    fs::create_symlink(target, dir / "link-to-file.stl");
    fs::create_symlink(root / "elsewhere/dir", dir / "link-to-dir");
    fs::create_symlink(root / "nowhere", dir / "dangling");

    orvane::removeRegularFiles({dir.string()}, diagnostics);

    EXPECT_FALSE(fs::is_symlink(dir / "link-to-file.stl"));
    EXPECT_TRUE(fs::exists(target)) << "removing a link leaves its target";
    EXPECT_TRUE(fs::is_symlink(dir / "link-to-dir"));
    EXPECT_TRUE(fs::is_symlink(dir / "dangling"));
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
        return orvane::removeRegularFiles({locked.string(), solid.string()}, diagnostics);
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
