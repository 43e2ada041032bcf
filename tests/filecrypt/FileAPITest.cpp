#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>
#ifndef _WIN32
#include <sys/stat.h>
#endif

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
    // Another process is kept out the same way.
    EXPECT_EQ(OpenInAnotherProcess(L"create", dir / "f"), OtherProcess::Refused);
    EXPECT_EQ(OpenInAnotherProcess(L"update", dir / "f"), OtherProcess::Refused);
    EXPECT_EQ(OpenInAnotherProcess(L"read", dir / "f"), OtherProcess::Refused);
    EXPECT_EQ(FileLength(dir / "f"), 4);
    EXPECT_TRUE(FlushAndClose(source));
    EXPECT_EQ(ReadFile(dir / "f"), (std::vector<std::uint8_t>{1, 2, 3, 4}));
    EXPECT_EQ(OpenInAnotherProcess(L"read", dir / "f"), OtherProcess::Opened);
    const FileHandle again = OpenExistingForReading(dir / "f");
    EXPECT_NE(again, kInvalidHandle);
    EXPECT_TRUE(FlushAndClose(again));
}

TEST(FileAPI, AFileHeldForWritingKeepsOthersOut) {
    TempDir dir;
    int error = 0;
    const FileHandle written = CreateForWriting(dir / "f", error);
    ASSERT_NE(written, kInvalidHandle) << ErrorText(error);
    ASSERT_TRUE(WriteFully(written, std::vector<std::uint8_t>{5, 6, 7}).ok);
    EXPECT_EQ(OpenExistingForReading(dir / "f", error), kInvalidHandle);
    EXPECT_EQ(error, EBUSY);
    EXPECT_NE(ErrorText(error).find("in use"), std::string::npos) << ErrorText(error);
    EXPECT_EQ(CreateForWriting(dir / "f", error), kInvalidHandle);
    EXPECT_EQ(error, EBUSY);
    EXPECT_EQ(OpenInAnotherProcess(L"create", dir / "f"), OtherProcess::Refused);
    EXPECT_TRUE(FlushAndClose(written));
    EXPECT_EQ(ReadFile(dir / "f"), (std::vector<std::uint8_t>{5, 6, 7}));
}

TEST(FileAPI, ReasonsForFailedOpens) {
    TempDir dir;
    fs::create_directory(dir / "folder");
    int error = 0;
    EXPECT_EQ(OpenExistingForReading(dir / "missing", error), kInvalidHandle);
    EXPECT_EQ(error, ENOENT);
    EXPECT_FALSE(ErrorText(error).empty());
    error = 0;
    EXPECT_EQ(CreateForWriting(dir / "no-such-folder" / "f", error), kInvalidHandle);
    EXPECT_EQ(error, ENOENT);
    EXPECT_FALSE(fs::exists(dir / "no-such-folder"));
    error = 0;
    EXPECT_EQ(CreateForWriting(dir / "folder", error), kInvalidHandle);
    EXPECT_EQ(error, EISDIR);
    EXPECT_TRUE(fs::is_directory(dir / "folder"));
}

// Names outside any 8-bit code page must reach the file they name, by
// every call of the layer.
TEST(FileAPI, NamesOutsideTheAnsiCodePage) {
    TempDir dir;
    const fs::path name =
        fs::path(u8"\u03c9\u03bc\u03ad\u03b3\u03b1-\u65e5\u672c-\u0444\u0430\u0439\u043b");
    const fs::path file = dir.path() / name;
    int error = 0;
    const FileHandle out = CreateForWriting(file, error);
    ASSERT_NE(out, kInvalidHandle) << ErrorText(error);
    EXPECT_TRUE(WriteBytesToFile(out, std::vector<std::uint8_t>{1, 2, 3}, 3));
    EXPECT_TRUE(FlushAndClose(out));
    std::vector<fs::path> entries;
    for (const auto& entry : fs::directory_iterator(dir.path()))
        entries.push_back(entry.path().filename());
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_TRUE(entries[0] == name) << entries[0].string();
    EXPECT_EQ(FileLength(file), 3);

    const FileHandle in = OpenExistingForReading(file, error);
    ASSERT_NE(in, kInvalidHandle) << ErrorText(error);
    std::vector<std::uint8_t> buffer(8, 0);
    EXPECT_TRUE(ReadBytesFromFile(in, buffer, 8));
    EXPECT_EQ(buffer, (std::vector<std::uint8_t>{1, 2, 3, 0, 0, 0, 0, 0}));
    EXPECT_EQ(OpenExistingForUpdate(file, error), kInvalidHandle); // held
    EXPECT_TRUE(FlushAndClose(in));

    fs::path temporary;
    const FileHandle t = CreateTemporaryBeside(file, temporary, error);
    ASSERT_NE(t, kInvalidHandle) << ErrorText(error);
    EXPECT_TRUE(WriteFully(t, std::vector<std::uint8_t>{9}).ok);
    EXPECT_TRUE(SyncOpenFile(t, error));
    EXPECT_TRUE(ReplaceWithTemporary(t, temporary, file, error)) << ErrorText(error);
    EXPECT_EQ(ReadFile(file), std::vector<std::uint8_t>{9});
    EXPECT_EQ(dir.Names().size(), 1u);
}

TEST(FileAPI, PositionedWritesAndSize) {
    TempDir dir;
    int error = 0;
    WriteFile(dir / "f", std::vector<std::uint8_t>(10, 0));
    const FileHandle h = OpenExistingForUpdate(dir / "f", error);
    ASSERT_NE(h, kInvalidHandle) << ErrorText(error);
    ASSERT_TRUE(WriteFullyAt(h, std::vector<std::uint8_t>{7, 7}, 4).ok);
    ASSERT_TRUE(WriteFullyAt(h, std::vector<std::uint8_t>{1}, 0).ok);
    ASSERT_TRUE(WriteFullyAt(h, std::vector<std::uint8_t>{3, 3}, 12).ok); // past the end
    std::uint64_t size = 0;
    ASSERT_TRUE(SizeOfOpenFile(h, size, error));
    EXPECT_EQ(size, 14u);
    EXPECT_TRUE(SyncOpenFile(h, error));
    EXPECT_TRUE(FlushAndClose(h, error));
    EXPECT_EQ(ReadFile(dir / "f"),
              (std::vector<std::uint8_t>{1, 0, 0, 0, 7, 7, 0, 0, 0, 0, 0, 0, 3, 3}));

    const FileHandle r = OpenExistingForReading(dir / "f", error);
    ASSERT_NE(r, kInvalidHandle);
    std::vector<std::uint8_t> buffer(4, 0xEE);
    IoResult got = ReadFullyAt(r, buffer, 3);
    EXPECT_TRUE(got.ok);
    EXPECT_EQ(got.count, 4u);
    EXPECT_EQ(buffer, (std::vector<std::uint8_t>{0, 7, 7, 0}));
    got = ReadFullyAt(r, buffer, 11); // three bytes left
    EXPECT_TRUE(got.ok);
    EXPECT_EQ(got.count, 3u);
    got = ReadFullyAt(r, buffer, 20); // past the end
    EXPECT_TRUE(got.ok);
    EXPECT_EQ(got.count, 0u);
    EXPECT_TRUE(FlushAndClose(r));
}

TEST(FileAPI, TemporaryHeldByARunningJobIsNotTakenForALeftover) {
    TempDir dir;
    fs::path first, second;
    int error = 0;
    const FileHandle a = CreateTemporaryBeside(dir / "target", first, error);
    ASSERT_NE(a, kInvalidHandle) << ErrorText(error);
    const FileHandle b = CreateTemporaryBeside(dir / "target", second, error);
    ASSERT_NE(b, kInvalidHandle) << ErrorText(error);
    // Unnamed (where the file system has such files), or two names.
    EXPECT_TRUE(first.empty() ? second.empty() : first != second && fs::exists(first));
    DiscardTemporary(a, first);
    DiscardTemporary(b, second);
    EXPECT_TRUE(dir.Names().empty());
}

#ifdef _WIN32
// Windows' own access check (root on POSIX would ignore a read-only mode).
TEST(FileAPI, ReadOnlyFileRefusesWritersAndKeepsItsBytes) {
    TempDir dir;
    WriteFile(dir / "f", {1, 2});
    fs::permissions(dir / "f",
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    int error = 0;
    EXPECT_EQ(CreateForWriting(dir / "f", error), kInvalidHandle)
        << "read-only not enforced: wine as root ignores it; run through tools/wine-run.sh";
    EXPECT_EQ(error, EACCES);
    EXPECT_EQ(OpenExistingForUpdate(dir / "f", error), kInvalidHandle);
    EXPECT_EQ(error, EACCES);
    EXPECT_EQ(ReadFile(dir / "f"), (std::vector<std::uint8_t>{1, 2}));
}

// Past 260 characters a path needs the \\?\ prefix, which the layer adds;
// "." and ".." and "/" still work as they do in a short path.
TEST(FileAPI, PathsLongerThanMaxPath) {
    TempDir dir;
    std::wstring folder = L"\\\\?\\" + fs::absolute(dir.path()).native();
    for (int level = 0; level < 6; ++level) {
        folder += L"\\" + std::wstring(50, static_cast<wchar_t>(L'a' + level));
        ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr)) << level;
    }
    const std::wstring deep = folder.substr(4);
    for (const std::wstring& file :
         {deep + L"\\file.bin",
          deep + L"\\..\\" + deep.substr(deep.size() - 50) + L"/./other.bin"}) {
        SCOPED_TRACE(fs::path(file).filename().string());
        ASSERT_GT(file.size(), 300u);
        int error = 0;
        const FileHandle out = CreateForWriting(file, error);
        ASSERT_NE(out, kInvalidHandle) << ErrorText(error);
        EXPECT_TRUE(WriteFully(out, std::vector<std::uint8_t>{1, 2, 3}).ok);
        EXPECT_TRUE(FlushAndClose(out, error));
        EXPECT_EQ(FileLength(file), 3);
        fs::path temporary;
        const FileHandle t = CreateTemporaryBeside(file, temporary, error);
        ASSERT_NE(t, kInvalidHandle) << ErrorText(error);
        EXPECT_TRUE(WriteFully(t, std::vector<std::uint8_t>{9}).ok);
        EXPECT_TRUE(FlushAndClose(t, error));
        EXPECT_TRUE(ReplaceWithTemporary(temporary, file, error)) << ErrorText(error);
        const FileHandle in = OpenExistingForReading(file, error);
        ASSERT_NE(in, kInvalidHandle) << ErrorText(error);
        std::vector<std::uint8_t> buffer(2, 0);
        EXPECT_EQ(ReadFully(in, buffer).count, 1u);
        EXPECT_EQ(buffer[0], 9);
        EXPECT_TRUE(FlushAndClose(in));
        RemoveQuietly(file);
        EXPECT_EQ(
            ::GetFileAttributesW((L"\\\\?\\" + fs::path(file).lexically_normal().native()).c_str()),
            INVALID_FILE_ATTRIBUTES);
    }
    for (; folder.size() > 4 + fs::absolute(dir.path()).native().size();
         folder.resize(folder.rfind(L'\\')))
        ::RemoveDirectoryW(folder.c_str());
}

TEST(FileAPI, SystemErrorsWithoutAnErrnoKeepTheirText) {
    // A handle that was never opened is EBADF; an unmapped system code keeps
    // the system's words rather than a made-up errno text.
    EXPECT_FALSE(FlushAndClose(12345));
    EXPECT_FALSE(ErrorText(0x10000 + ERROR_NOT_SUPPORTED).empty());
    EXPECT_EQ(ErrorText(0x10000 + ERROR_NOT_SUPPORTED).find("Unknown"), std::string::npos);
}
#endif

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
    EXPECT_THROW((void)ReadBytesFromFile(h, empty, 0), RuntimeError);
    EXPECT_THROW((void)ReadBytesFromFile(h, four, 8), RuntimeError);
    EXPECT_THROW((void)WriteBytesToFile(h, empty, 1), RuntimeError);
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
    // Leftovers of runs that died: nobody holds their locks, so they go.
    const std::vector<fs::path> candidates = TemporaryCandidates(dir / "target");
    WriteFile(candidates[0], {7});
    WriteFile(candidates[kTemporarySlots - 1], {7});
    fs::path temporary;
    int error = 0;
    const FileHandle h = CreateTemporaryBeside(dir / "target", temporary, error);
    ASSERT_NE(h, kInvalidHandle) << ErrorText(error);
    // No name where the file system takes unnamed files; else the first free one.
    EXPECT_TRUE(temporary.empty() || temporary == candidates[0]) << temporary;
    EXPECT_EQ(dir.Names(), (temporary.empty() ? std::vector<std::string>{"target"}
                                              : std::vector<std::string>{
                                                    candidates[0].filename().string(), "target"}));
    // Private while written, whatever mode the target will have.
    EXPECT_EQ(PermissionsOfOpenFile(h), 0600u);
#ifdef _WIN32 // and hidden there, until it takes the target's name
    EXPECT_NE(::GetFileAttributesW(temporary.c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
#endif
    ASSERT_TRUE(WriteFully(h, std::vector<std::uint8_t>{5, 6}).ok);
    EXPECT_TRUE(SyncOpenFile(h, error));
    // A file that appeared in the meantime is kept when asked; the
    // temporary goes with the failure.
    WriteFile(dir / "target", {1});
    EXPECT_FALSE(ReplaceWithTemporary(h, temporary, dir / "target", error, Existing::Keep));
    EXPECT_EQ(error, EEXIST);
    EXPECT_EQ(ReadFile(dir / "target"), std::vector<std::uint8_t>{1});
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"target"});
    fs::remove(dir / "target");

    const FileHandle again = CreateTemporaryBeside(dir / "target", temporary, error);
    ASSERT_NE(again, kInvalidHandle) << ErrorText(error);
    ASSERT_TRUE(WriteFully(again, std::vector<std::uint8_t>{5, 6}).ok);
    EXPECT_TRUE(SyncOpenFile(again, error));
    SetFinalMode(again, kInvalidHandle, 0640);
    EXPECT_TRUE(ReplaceWithTemporary(again, temporary, dir / "target", error, Existing::Keep))
        << ErrorText(error);
    EXPECT_EQ(ReadFile(dir / "target"), (std::vector<std::uint8_t>{5, 6}));
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"target"});
#ifdef _WIN32
    EXPECT_EQ(::GetFileAttributesW((dir / "target").c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
#else // a new name: the new-file mode less the umask
    const mode_t umask = ::umask(0);
    ::umask(umask);
    EXPECT_EQ(fs::status(dir / "target").permissions() & fs::perms::all, fs::perms(0640 & ~umask));
#endif
}

TEST(FileAPI, TemporaryNamesAreFewShortAndTheTargetsOwn) {
    TempDir dir;
    const std::string longest(255, 'n');
    const std::vector<fs::path> mine = TemporaryCandidates(dir / longest);
    ASSERT_EQ(mine.size(), kTemporarySlots);
    for (const fs::path& name : mine) {
        EXPECT_EQ(name.parent_path(), dir.path());
        EXPECT_EQ(name.filename().string().size(), 22u) << name;
        EXPECT_EQ(name.filename().string().rfind(".quillmoor-", 0), 0u) << name;
    }
    EXPECT_EQ(std::set<fs::path>(mine.begin(), mine.end()).size(), kTemporarySlots);
    // The same names on every run, and none shared with a neighbour's.
    EXPECT_EQ(TemporaryCandidates(dir / longest), mine);
    for (const char* other : {"nnn", "target", "target.BF", "Target"}) {
        for (const fs::path& name : TemporaryCandidates(dir / other))
            EXPECT_EQ(std::count(mine.begin(), mine.end(), name), 0) << other;
    }
    // A target with the longest name the file system takes still works.
    int error = 0;
    fs::path temporary;
    const FileHandle h = CreateTemporaryBeside(dir / longest, temporary, error);
    ASSERT_NE(h, kInvalidHandle) << ErrorText(error);
    EXPECT_TRUE(SyncOpenFile(h, error));
    EXPECT_TRUE(ReplaceWithTemporary(h, temporary, dir / longest, error)) << ErrorText(error);
    EXPECT_EQ(dir.Names(), std::vector<std::string>{longest});
}

#ifndef _WIN32
// Only regular files open, and a FIFO or a device never blocks the open; a
// link is followed, except by the wipe's open, which refuses it.
TEST(FileAPI, OnlyRegularFilesOpen) {
    struct Row {
        const char* name;
        int followed, refused; // the error of each open; 0: it opens
    };
    const Row rows[] = {{"fifo", kRefusedFifo, kRefusedFifo},
                        {"socket", kRefusedSocket, kRefusedSocket},
                        {"folder", EISDIR, EISDIR},
                        {"to-null", kRefusedCharacterDevice, kRefusedSymbolicLink},
                        {"to-cpuinfo", kRefusedKernelFile, kRefusedSymbolicLink},
                        {"to-fifo", kRefusedFifo, kRefusedSymbolicLink},
                        {"to-file", 0, kRefusedSymbolicLink}};
    TempDir dir;
    MakeFifo(dir / "fifo");
    MakeSocket(dir / "socket");
    fs::create_directory(dir / "folder");
    WriteFile(dir / "file", {1, 2});
    for (const auto& [link, to] : {std::pair{"to-null", "/dev/null"},
                                   {"to-cpuinfo", "/proc/cpuinfo"},
                                   {"to-fifo", "fifo"},
                                   {"to-file", "file"}})
        fs::create_symlink(to, dir / link);
    for (const Row& row : rows) {
        const auto expect = [&](FileHandle h, int error, int expected) {
            EXPECT_EQ(h == kInvalidHandle ? error : 0, expected) << row.name << ErrorText(error);
            EXPECT_EQ(IsKindRefusal(error), expected != 0 && expected != kRefusedSymbolicLink);
            CloseQuietly(h);
        };
        int error = 0;
        FileHandle h = OpenExistingForUpdate(dir / row.name, error, Links::Refuse);
        expect(h, error, row.refused);
        EXPECT_EQ(ReadFile(dir / "file"), (std::vector<std::uint8_t>{1, 2}));
        h = OpenExistingForReading(dir / row.name, error = 0);
        expect(h, error, row.followed);
        if (row.followed != kRefusedKernelFile) {
            h = OpenExistingForUpdate(dir / row.name, error = 0);
            expect(h, error, row.followed);
        }
    }
}

TEST(FileAPI, LinkTargetsAndSameFiles) {
    TempDir dir;
    WriteFile(dir / "a", {1});
    WriteFile(dir / "b", {1});
    fs::create_hard_link(dir / "a", dir / "hard");
    fs::create_symlink("a", dir / "soft");
    fs::create_symlink(dir / "nowhere", dir / "dangling");
    EXPECT_EQ(LinkTargetOf(dir / "soft"), fs::path("a"));
    EXPECT_EQ(LinkTargetOf(dir / "dangling"), dir / "nowhere");
    EXPECT_EQ(LinkTargetOf(dir / "a"), fs::path());

    int error = 0;
    const FileHandle a = OpenExistingForReading(dir / "a", error);
    ASSERT_NE(a, kInvalidHandle) << ErrorText(error);
    const std::pair<const char*, bool> rows[] = {{"a", true},         {"hard", true},
                                                 {"soft", true},      {"b", false},
                                                 {"dangling", false}, {"missing", false}};
    for (const auto& [name, same] : rows)
        EXPECT_EQ(IsSameFile(a, dir / name), same) << name;
    CloseQuietly(a);
}

// Clean-up takes only regular files that nobody holds, under the target's
// own names: anything planted there is left as it was, without blocking.
TEST(FileAPI, CleanUpLeavesWhatIsNotAStaleFileOfItsOwn) {
    const std::pair<const char*, std::function<void(const fs::path&)>> rows[] = {
        {"stale file", [](const fs::path& p) { WriteFile(p, {7}); }},
        {"fifo", [](const fs::path& p) { MakeFifo(p); }},
        {"link", [](const fs::path& p) { fs::create_symlink(p.parent_path() / "file", p); }},
        {"folder", [](const fs::path& p) { fs::create_directory(p); }}};
    for (const auto& [what, plant] : rows) {
        SCOPED_TRACE(what);
        TempDir dir;
        WriteFile(dir / "file", {1, 2});
        const std::vector<fs::path> mine = TemporaryCandidates(dir / "t");
        const fs::path neighbours = TemporaryCandidates(dir / "other")[0];
        WriteFile(neighbours, {9}); // a leftover, but not this target's
        plant(mine[0]);
        plant(mine[5]);
        const bool removed = what == std::string("stale file");
        fs::path temporary;
        int error = 0;
        const FileHandle h = CreateTemporaryBeside(dir / "t", temporary, error);
        ASSERT_NE(h, kInvalidHandle) << ErrorText(error);
        EXPECT_TRUE(temporary.empty() || temporary == mine[removed ? 0 : 1]) << temporary;
        EXPECT_EQ(fs::exists(fs::symlink_status(mine[5])), !removed);
        EXPECT_EQ(ReadFile(neighbours), std::vector<std::uint8_t>{9});
        EXPECT_EQ(ReadFile(dir / "file"), (std::vector<std::uint8_t>{1, 2}));
        DiscardTemporary(h, temporary);
        EXPECT_EQ(fs::exists(fs::symlink_status(mine[0])), !removed);
    }
}
#endif

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
