// File snapshots: a reader opening the snapshot sees the bytes that were
// checked, whatever happens to the file under its name afterwards.

#include "app/FileSnapshot.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string readWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(FileSnapshot, ReadersSeeTheCheckedBytesWhateverHappensToTheFile) {
    const fs::path dir = fs::temp_directory_path() / ("orvane-snapshot-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string path = (dir / "frame.vtk").string();
    std::string original = "# vtk DataFile Version 3.0\nchecked\nBINARY\n";
    original += std::string(200000, '\x7f');
    std::ofstream(path, std::ios::binary) << original;

    std::string why;
    std::optional<orvane::FileSnapshot> snapshot = orvane::FileSnapshot::take(path, 1 << 20, why);
    ASSERT_TRUE(snapshot) << why;
    EXPECT_EQ(snapshot->size(), original.size());
    EXPECT_EQ(snapshot->bytes(), original);

    // Rewritten in place, then replaced under its name: the snapshot's
    // reader path still gives the checked bytes, also after unmapping and
    // after the snapshot moved.
    std::ofstream(path, std::ios::binary | std::ios::trunc) << "hostile";
    fs::rename(dir / "frame.vtk", dir / "old.vtk");
    std::ofstream(path, std::ios::binary) << "replaced";
    snapshot->unmap();
    EXPECT_TRUE(snapshot->bytes().empty());
    orvane::FileSnapshot moved = std::move(*snapshot);
    EXPECT_EQ(readWhole(moved.readerPath()), original);

    // Refused: too large, not a regular file (a FIFO must not block),
    // missing. An empty file is an empty snapshot.
    EXPECT_FALSE(orvane::FileSnapshot::take(path, 3, why));
    EXPECT_EQ(why, "it is larger than 3 bytes");
    const std::string fifo = (dir / "fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(orvane::FileSnapshot::take(fifo, 1 << 20, why));
    EXPECT_EQ(why, "it is not a regular file");
    EXPECT_FALSE(orvane::FileSnapshot::take((dir / "missing").string(), 1 << 20, why));
    EXPECT_EQ(why, "No such file or directory");
    std::ofstream((dir / "empty").string());
    std::optional<orvane::FileSnapshot> empty = orvane::FileSnapshot::take((dir / "empty").string(), 10, why);
    ASSERT_TRUE(empty) << why;
    EXPECT_EQ(empty->size(), 0U);
    EXPECT_EQ(readWhole(empty->readerPath()), "");
    fs::remove_all(dir);
}

TEST(FileSnapshot, ByteInputReadsAndSeeksLikeAFile) {
    const std::string bytes = "POINTS 3 float\n0 1 2";
    orvane::ByteInput in(bytes);
    std::string word;
    int count = 0;
    in >> word >> count;
    EXPECT_EQ(word, "POINTS");
    EXPECT_EQ(count, 3);
    EXPECT_EQ(in.tellg(), 8);
    in.seekg(-1, std::ios::end);
    EXPECT_EQ(in.get(), '2');
    EXPECT_EQ(in.get(), std::char_traits<char>::eof());
    in.clear();
    in.seekg(7);
    EXPECT_EQ(in.get(), '3');
    in.seekg(100);
    EXPECT_TRUE(in.fail());
}

} // namespace
