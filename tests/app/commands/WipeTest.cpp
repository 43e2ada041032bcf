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
    struct Case {
        WipeRandom::Kernel kernel;
        std::uint64_t seed;
        std::size_t fill; // bytes per Fill call
    };
    constexpr std::size_t kTotal = 4'000'000;
    for (const Case c :
         {Case{WipeRandom::Kernel::Portable, 12345, 250},
          Case{WipeRandom::Kernel::Best, 12345, 250}, Case{WipeRandom::Kernel::Best, 7, kTotal}}) {
        WipeRandom random(c.seed, c.kernel);
        std::vector<std::uint8_t> bytes(kTotal);
        for (std::size_t at = 0; at < kTotal; at += c.fill)
            random.Fill(std::span(bytes).subspan(at, c.fill));
        std::array<int, 256> histogram{};
        std::size_t repeats = 0; // a byte equal to the one two before: lanes in step
        for (std::size_t i = 0; i < kTotal; ++i) {
            ++histogram[bytes[i]];
            repeats += i >= 2 && bytes[i] == bytes[i - 2];
        }
        EXPECT_EQ(histogram[255], 0) << c.fill;
        // About 15686 of each value; 10% either way is over 12 standard deviations.
        for (int v = 0; v < 255; ++v) {
            EXPECT_GT(histogram[v], 14100) << v << " " << c.fill;
            EXPECT_LT(histogram[v], 17300) << v << " " << c.fill;
        }
        EXPECT_LT(repeats, kTotal / 100) << c.fill; // about 1 in 255 for independent lanes
    }
}

TEST(Wipe, WideKernelGivesThePortableBytes) {
    if (!WipeRandom::WideKernelAvailable())
        GTEST_SKIP() << "no wider build of the generator on this processor";
    for (const std::size_t size : {std::size_t{1}, std::size_t{31}, std::size_t{32},
                                   std::size_t{33}, std::size_t{250}, std::size_t{1'000'007}}) {
        for (const std::uint64_t seed : {std::uint64_t{0}, std::uint64_t{99}, ~std::uint64_t{0}}) {
            WipeRandom best(seed, WipeRandom::Kernel::Best);
            WipeRandom portable(seed, WipeRandom::Kernel::Portable);
            std::vector<std::uint8_t> a(size), b(size);
            for (int fill = 0; fill < 3; ++fill) {
                best.Fill(a);
                portable.Fill(b);
                ASSERT_EQ(a, b) << size << " " << seed << " " << fill;
            }
        }
    }
}

TEST(Wipe, RandomSubPassLandsAsSingleBlockWrites) {
    // Stopped right after the first random sub-pass, the file must hold
    // exactly the random blocks, in order, at offsets 0, 250, 500, ...
    for (const std::size_t length :
         {std::size_t{1}, std::size_t{250}, std::size_t{1'024'001}, std::size_t{2'600'000}}) {
        TempDir dir;
        WriteFile(dir / "f", RandomBytes(length, 4));
        const std::uint64_t subPass = WipeBlockCount(length) * kWipeBlockBytes;
        std::vector<std::uint8_t> blocks;
        WipeOptions options;
        options.seed = length;
        options.randomBlockObserver = [&](std::span<const std::uint8_t> block) {
            blocks.insert(blocks.end(), block.begin(), block.end());
        };
        options.progress = [&](std::uint64_t done, std::uint64_t) { return done < 2 * subPass; };
        ASSERT_EQ(WipeFile(dir / "f", options), WipeResult::Cancelled) << length;
        EXPECT_EQ(blocks.size(), subPass) << length;
        EXPECT_TRUE(ReadFile(dir / "f") == blocks) << length;
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
            (void)WipeFile(dir / name, {});
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
            (void)WipeFile(path, {});
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
