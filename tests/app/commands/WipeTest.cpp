#include <gtest/gtest.h>

#include <csignal>
#include <iostream>
#include <tuple>
#ifndef _WIN32
#include <sys/resource.h>
#endif

#include "app/commands/Wipe.h"
#include "common/RuntimeError.h"
#include "tests/TestFiles.h"

using namespace quillmoor;
using namespace quillmoor::commands;
using namespace quillmoor::test;

namespace {

struct Counts {
    int randomBlocks = 0;
    bool sawFF = false;
    std::array<int, 256> histogram{};
};

WipeResult Wipe(const fs::path& path, Counts& counts, std::uint64_t seed = 1) {
    WipeOptions options;
    options.seed = seed;
    options.randomBlockObserver = [&](std::span<const std::uint8_t> block) {
        EXPECT_EQ(block.size(), kWipeBlockBytes);
        ++counts.randomBlocks;
        for (auto b : block) {
            counts.sawFF |= b == 0xFF;
            ++counts.histogram[b];
        }
    };
    return WipeFile(path, options);
}

} // namespace

TEST(Wipe, LengthsGrowToWholeBlocksAllFF) {
    struct Case {
        std::size_t length, blocks;
    };
    for (const Case c : {Case{0, 1}, Case{1, 1}, Case{250, 1}, Case{251, 2}, Case{500, 2},
                         Case{1'000'001, 4001}}) {
        TempDir dir;
        WriteFile(dir / "f", RandomBytes(c.length, 1));
        Counts counts;
        ASSERT_EQ(Wipe(dir / "f", counts), WipeResult::Done);
        const auto bytes = ReadFile(dir / "f");
        EXPECT_EQ(bytes.size(), c.blocks * 250) << c.length;
        EXPECT_EQ(std::count(bytes.begin(), bytes.end(), 0xFF),
                  static_cast<std::ptrdiff_t>(bytes.size()));
        EXPECT_EQ(counts.randomBlocks, static_cast<int>(3 * c.blocks)) << c.length;
        EXPECT_FALSE(counts.sawFF);
        EXPECT_EQ(WipeBlockCount(c.length), c.blocks);
    }
}

TEST(Wipe, RandomBytesCoverZeroTo254Evenly) {
    WipeRandom random(12345);
    std::array<int, 256> histogram{};
    std::vector<std::uint8_t> block(250);
    for (int i = 0; i < 4000; ++i) {
        random.Fill(block);
        for (auto b : block)
            ++histogram[b];
    }
    EXPECT_EQ(histogram[255], 0);
    // 1,000,000 draws over 255 values: about 3922 each.
    for (int v = 0; v < 255; ++v) {
        EXPECT_GT(histogram[v], 3500) << v;
        EXPECT_LT(histogram[v], 4350) << v;
    }
}

TEST(Wipe, SeedsGiveDifferentStreams) {
    std::vector<std::uint8_t> a(250), b(250), c(250);
    WipeRandom(1).Fill(a);
    WipeRandom(2).Fill(b);
    WipeRandom(1).Fill(c);
    EXPECT_NE(a, b);
    EXPECT_EQ(a, c);
    EXPECT_NE(ClockSeed(), 0u);
}

TEST(Wipe, VanishedFileIsReportedNotCreated) {
    TempDir dir;
    try {
        WipeFile(dir / "gone", {});
        ADD_FAILURE() << "no error";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), kErrFileNotFound);
        EXPECT_NE(std::string(e.what()).find("gone"), std::string::npos);
    }
    EXPECT_TRUE(dir.Names().empty());
}

TEST(Wipe, FolderIsRefused) {
    TempDir dir;
    fs::create_directory(dir / "sub");
    EXPECT_THROW(WipeFile(dir / "sub", {}), RuntimeError);
}

// A link is never followed: what it points to keeps its bytes, and the error
// says where it points, so that file can be wiped by its own name. Nothing
// but a regular file is wiped, and a FIFO does not block.
TEST(Wipe, LinksAndSpecialFilesAreRefused) {
    TempDir dir;
    const auto bytes = RandomBytes(300, 3);
    WriteFile(dir / "file", bytes);
#ifdef _WIN32
    // A device name opens the device in any folder. Links need a privilege
    // (or developer mode), and wine makes none.
    std::vector<std::tuple<const char*, int, fs::path>> rows = {{"NUL", kErrNotRegularFile, {}}};
    std::error_code ec;
    if (::CreateSymbolicLinkW((dir / "absolute").c_str(), (dir / "file").c_str(),
                              SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) &&
        fs::file_size(dir / "absolute", ec) == bytes.size() && !ec)
        rows.emplace_back("absolute", kErrSymbolicLink, dir / "file");
    else
        std::cout << "[   note   ] no working symbolic link could be made: only NUL is tried\n";
#else
    fs::create_symlink(dir / "file", dir / "absolute");
    fs::create_symlink("file", dir / "link");
    fs::create_symlink("/dev/null", dir / "null");
    MakeFifo(dir / "fifo");
    const std::tuple<const char*, int, fs::path> rows[] = {
        {"link", kErrSymbolicLink, "file"},
        {"absolute", kErrSymbolicLink, dir / "file"},
        {"null", kErrSymbolicLink, "/dev/null"},
        {"fifo", kErrNotRegularFile, {}}};
#endif
    for (const auto& [name, number, other] : rows) {
        try {
            WipeFile(dir / name, {});
            ADD_FAILURE() << name << " was wiped";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), number) << e.what();
#ifdef _WIN32 // there the link is resolved to the file's full name
            EXPECT_TRUE(other.empty() ? e.other().empty() : fs::equivalent(e.other(), other))
                << e.what();
#else
            EXPECT_EQ(e.other(), other) << e.what();
#endif
        }
    }
    EXPECT_EQ(ReadFile(dir / "file"), bytes);
}

TEST(Wipe, WriteFailureIsReported) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no per-process file size limit to make a write fail";
#else
    TempDir dir;
    WriteFile(dir / "f", RandomBytes(1000, 2));
    const fs::path path = dir / "f";
    // Growing 1000 bytes to 1000 is fine; 1001 must grow past the limit.
    WriteFile(path, RandomBytes(1001, 2));
    const int code = RunInChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{1100, 1100};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        try {
            WipeFile(path, {});
        } catch (const RuntimeError& e) {
            return e.number();
        }
        return 0;
    });
    EXPECT_EQ(code, kErrDiskFull);
#endif
}

TEST(Wipe, ProgressCountsNinePassesAndCanCancel) {
    TempDir dir;
    WriteFile(dir / "f", RandomBytes(2'000'000, 3));
    std::uint64_t last = 0, total = 0;
    WipeOptions options;
    options.progress = [&](std::uint64_t done, std::uint64_t all) {
        last = done;
        total = all;
        return true;
    };
    ASSERT_EQ(WipeFile(dir / "f", options), WipeResult::Done);
    EXPECT_EQ(total, 9u * 8000u * 250u);
    EXPECT_EQ(last, total);

    options.progress = [](std::uint64_t done, std::uint64_t) { return done < 1'000'000; };
    EXPECT_EQ(WipeFile(dir / "f", options), WipeResult::Cancelled);
}
