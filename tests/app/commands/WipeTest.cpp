#include <gtest/gtest.h>

#include <csignal>
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
