#include <gtest/gtest.h>

#include "common/RuntimeError.h"
#include "filecrypt/basFileAPI.h"
#include "tests/TestFiles.h"

using namespace quillmoor;
using namespace quillmoor::test;

TEST(FileAPI, OpeningAMissingFileFailsAndCreatesNothing) {
    TempDir dir;
    EXPECT_EQ(OpenExistingForReading(dir / "missing"), kInvalidHandle);
    EXPECT_FALSE(fs::exists(dir / "missing"));
}

TEST(FileAPI, CreateTruncatesAtOnce) {
    TempDir dir;
    WriteFile(dir / "f", {1, 2, 3, 4});
    const FileHandle h = CreateForWriting(dir / "f");
    ASSERT_NE(h, kInvalidHandle);
    EXPECT_EQ(fs::file_size(dir / "f"), 0u);
    EXPECT_TRUE(FlushAndClose(h));
}

TEST(FileAPI, CreateOverAFileHeldOpenFailsAndLeavesIt) {
    TempDir dir;
    WriteFile(dir / "f", {1, 2, 3, 4});
    const FileHandle source = OpenExistingForReading(dir / "f");
    ASSERT_NE(source, kInvalidHandle);
    EXPECT_EQ(CreateForWriting(dir / "f"), kInvalidHandle);
    EXPECT_EQ(OpenExistingForReading(dir / "f"), kInvalidHandle); // exclusive for readers too
    EXPECT_EQ(ReadFile(dir / "f"), (std::vector<std::uint8_t>{1, 2, 3, 4}));
    // Another process is kept out the same way.
    const auto path = dir / "f";
    EXPECT_EQ(RunInChild([&] { return CreateForWriting(path) == kInvalidHandle ? 0 : 1; }), 0);
    EXPECT_TRUE(FlushAndClose(source));
    const FileHandle again = OpenExistingForReading(dir / "f");
    EXPECT_NE(again, kInvalidHandle);
    EXPECT_TRUE(FlushAndClose(again));
}

TEST(FileAPI, ShortReadsSucceedAndLeaveTheRest) {
    TempDir dir;
    WriteFile(dir / "f", {1, 2, 3});
    const FileHandle h = OpenExistingForReading(dir / "f");
    ASSERT_NE(h, kInvalidHandle);
    std::vector<std::uint8_t> buffer(8, 0xEE);
    EXPECT_TRUE(ReadBytesFromFile(h, buffer, 8));
    EXPECT_EQ(buffer, (std::vector<std::uint8_t>{1, 2, 3, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}));
    std::fill(buffer.begin(), buffer.end(), 0x77);
    EXPECT_TRUE(ReadBytesFromFile(h, buffer, 8)); // at the end: success, nothing changed
    EXPECT_EQ(buffer, std::vector<std::uint8_t>(8, 0x77));
    EXPECT_TRUE(FlushAndClose(h));
}

TEST(FileAPI, WritesAndZeroCount) {
    TempDir dir;
    const FileHandle h = CreateForWriting(dir / "f");
    ASSERT_NE(h, kInvalidHandle);
    const std::vector<std::uint8_t> bytes = {9, 8, 7, 6, 5, 4, 3, 2};
    EXPECT_TRUE(WriteBytesToFile(h, bytes, 0));
    EXPECT_EQ(fs::file_size(dir / "f"), 0u);
    EXPECT_TRUE(WriteBytesToFile(h, bytes, 5));
    EXPECT_TRUE(FlushAndClose(h));
    EXPECT_EQ(ReadFile(dir / "f"), (std::vector<std::uint8_t>{9, 8, 7, 6, 5}));
}

TEST(FileAPI, BufferTooSmallIsSubscriptError) {
    TempDir dir;
    WriteFile(dir / "f", {1, 2, 3});
    const FileHandle h = OpenExistingForReading(dir / "f");
    ASSERT_NE(h, kInvalidHandle);
    std::vector<std::uint8_t> empty, four(4);
    EXPECT_THROW(ReadBytesFromFile(h, empty, 0), RuntimeError);
    EXPECT_THROW(ReadBytesFromFile(h, four, 8), RuntimeError);
    EXPECT_THROW(WriteBytesToFile(h, empty, 1), RuntimeError);
    EXPECT_TRUE(FlushAndClose(h));
}

TEST(FileAPI, ReadOrWriteOnTheWrongHandleFails) {
    TempDir dir;
    WriteFile(dir / "f", {1, 2, 3});
    const FileHandle h = OpenExistingForReading(dir / "f");
    ASSERT_NE(h, kInvalidHandle);
    const std::vector<std::uint8_t> bytes(8, 1);
    EXPECT_FALSE(WriteBytesToFile(h, bytes, 8)); // opened for reading only
    EXPECT_TRUE(FlushAndClose(h));
    EXPECT_FALSE(FlushAndClose(h)); // already closed
}

TEST(FileAPI, FileLength) {
    TempDir dir;
    WriteFile(dir / "empty", {});
    EXPECT_EQ(FileLength(dir / "empty"), 0);
    WriteFile(dir / "f", std::vector<std::uint8_t>(12345, 1));
    const FileHandle h = OpenExistingForReading(dir / "f");
    EXPECT_EQ(FileLength(dir / "f"), 12345); // while held open
    EXPECT_TRUE(FlushAndClose(h));
    try {
        (void)FileLength(dir / "missing");
        ADD_FAILURE() << "no error for a missing file";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), kErrFileNotFound);
    }
}

TEST(FileAPI, TemporaryBesideTargetAndReplace) {
    TempDir dir;
    WriteFile(dir / "target", {1});
    // A leftover of a run that died: nobody holds its lock, so it goes.
    WriteFile(dir / ".target.quillmoor-AbC123", {7});
    fs::path temporary;
    int error = 0;
    const FileHandle h = CreateTemporaryBeside(dir / "target", 0640, temporary, error);
    ASSERT_NE(h, kInvalidHandle) << ErrorText(error);
    EXPECT_FALSE(fs::exists(dir / ".target.quillmoor-AbC123"));
    EXPECT_EQ(temporary.parent_path(), dir.path());
    EXPECT_EQ((fs::status(temporary).permissions() & fs::perms::all),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_TRUE(WriteFully(h, std::vector<std::uint8_t>{5, 6}).ok);
    EXPECT_TRUE(FlushAndClose(h, error));
    EXPECT_TRUE(ReplaceWithTemporary(temporary, dir / "target", error));
    EXPECT_EQ(ReadFile(dir / "target"), (std::vector<std::uint8_t>{5, 6}));
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"target"});
}

TEST(FileAPI, ClaimingATargetHeldElsewhereFails) {
    TempDir dir;
    WriteFile(dir / "f", {1});
    fs::create_directory(dir / "folder");
    const FileHandle held = OpenExistingForReading(dir / "f");
    int error = 0;
    EXPECT_EQ(OpenExistingForUpdate(dir / "f", error), kInvalidHandle);
    EXPECT_EQ(OpenExistingForUpdate(dir / "folder", error), kInvalidHandle);
    EXPECT_EQ(error, EISDIR);
    EXPECT_EQ(OpenExistingForUpdate(dir / "none", error), kInvalidHandle);
    EXPECT_EQ(error, ENOENT);
    EXPECT_TRUE(FlushAndClose(held));
}
