// Many files under one key, their chains side by side, against the one-file
// routine: the same bytes, modes and errors, and a failure or a cancel in
// one file leaving the others right.
#include <gtest/gtest.h>

#include <csignal>
#include <map>
#include <memory>
#ifndef _WIN32
#include <sys/resource.h>
#endif

#include "cipher/basBlowfish.h"
#include "common/RuntimeError.h"
#include "convert/basConvert.h"
#include "filecrypt/BlowfishBatch.h"
#include "filecrypt/basBlowfishFileFns.h"
#include "tests/TestFiles.h"

using namespace quillmoor;
using namespace quillmoor::test;

namespace {

constexpr char16_t kKeyText[] = u"0123456789abcdeff0e1d2c3b4a59687";
constexpr std::size_t kChunk = std::size_t{64} << 10; // the batch's chunk
constexpr int kCancelled = -1;

// 0 for Done, kCancelled, or the error number the file failed with.
int CodeOf(const EncryptBatchResult& end) {
    if (!end.error)
        return end.result == FileCryptResult::Done ? 0 : kCancelled;
    try {
        std::rethrow_exception(end.error);
    } catch (const RuntimeError& e) {
        return e.number();
    } catch (...) {
        return -2;
    }
}

// f0, f1.BF...
std::string NameOf(std::size_t i, std::string_view suffix = "") {
    std::string name = std::to_string(i);
    name.insert(name.begin(), 'f');
    name += suffix;
    return name;
}

class BatchRoutine : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(BlowfishSetKey(HexTextToBytes(kKeyText))); }

    // Sources f0, f1... of these sizes (and modes, where files have them),
    // each encrypted alone to fN.one for reference; the batch writes fN.BF.
    std::vector<EncryptBatchFile> MakeFiles(const std::vector<std::size_t>& sizes) {
        std::vector<EncryptBatchFile> files;
        for (std::size_t i = 0; i < sizes.size(); ++i) {
            const std::string name = NameOf(i);
            WriteFile(Dir() / name, RandomBytes(sizes[i], static_cast<std::uint32_t>(i + 1)));
#ifndef _WIN32
            fs::permissions(Dir() / name, i % 2 ? fs::perms(0640) : fs::perms(0604));
#endif
            BlowfishEncryptFile(Dir() / name, Dir() / NameOf(i, ".one"), kKeyText);
            files.push_back({Dir() / name, Dir() / NameOf(i, ".BF"), {}, true});
        }
        return files;
    }

    std::map<std::size_t, int> Run(std::span<const EncryptBatchFile> files,
                                   const EncryptBatchOptions& options = {}) {
        std::map<std::size_t, int> codes;
        BlowfishEncryptFiles(files, kKeyText, options,
                             [&](std::size_t index, const EncryptBatchResult& end) {
                                 EXPECT_TRUE(codes.emplace(index, CodeOf(end)).second)
                                     << "file " << index << " reported twice";
                             });
        return codes;
    }

    // The batch's target is the one-file routine's, to the byte and mode.
    void ExpectAsAlone(std::size_t i) {
        const fs::path one = Dir() / NameOf(i, ".one");
        const fs::path batch = Dir() / NameOf(i, ".BF");
        ASSERT_TRUE(fs::exists(batch)) << batch;
        EXPECT_EQ(ReadFile(batch), ReadFile(one)) << batch;
        EXPECT_EQ(fs::status(batch).permissions(), fs::status(one).permissions()) << batch;
    }

    // A folder of its own for each case of a table.
    void FreshFolder() { temp = std::make_unique<TempDir>(); }

    const TempDir& Dir() const { return *temp; }

    std::unique_ptr<TempDir> temp = std::make_unique<TempDir>();
};

} // namespace

TEST_F(BatchRoutine, EveryFileAsTheOneFileRoutineWritesIt) {
    // Empty files, block and chunk boundaries, and more files than run at once.
    const std::vector<std::size_t> sizes = {
        0, 1, 7, 8, 9, 4095, kChunk - 1, kChunk, kChunk + 1, 2 * kChunk, 3, 200001, 0};
    const auto files = MakeFiles(sizes);
    struct Spread {
        unsigned threads, filesAtOnce;
    };
    for (const Spread spread : {Spread{1, 1}, Spread{1, 3}, Spread{1, 8}, Spread{2, 0},
                                Spread{2, 5}, Spread{3, 13}, Spread{0, 0}}) {
        EncryptBatchOptions options;
        options.threads = spread.threads;
        options.filesAtOnce = spread.filesAtOnce;
        const auto codes = Run(files, options);
        ASSERT_EQ(codes.size(), files.size()) << spread.threads << "/" << spread.filesAtOnce;
        for (std::size_t i = 0; i < files.size(); ++i) {
            EXPECT_EQ(codes.at(i), 0) << "file " << i;
            ExpectAsAlone(i);
        }
    }
}

TEST_F(BatchRoutine, ProgressOfEachFileEndsAtItsLength) {
    auto files = MakeFiles({0, 3 * kChunk + 5, 100});
    std::map<std::size_t, std::pair<std::uint64_t, std::uint64_t>> last;
    for (std::size_t i = 0; i < files.size(); ++i)
        files[i].progress = [&last, i](std::uint64_t done, std::uint64_t total) {
            last[i] = {done, total}; // one thread: no lock needed
            return true;
        };
    EncryptBatchOptions options;
    options.threads = 1;
    EXPECT_EQ(Run(files, options).size(), 3u);
    for (std::size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(last.at(i).first, fs::file_size(files[i].source)) << i;
        EXPECT_EQ(last.at(i).second, fs::file_size(files[i].source)) << i;
    }
}

TEST_F(BatchRoutine, AFailingFileLeavesTheOthersRight) {
    struct Case {
        const char* name;
        std::function<void(const TempDir&, EncryptBatchFile&)> spoil; // file 2 of 6
        int code;
        std::size_t names; // left in the folder: sources, references, targets
    };
    const Case cases[] = {
        {"source gone", [](const TempDir&, EncryptBatchFile& f) { fs::remove(f.source); },
         kErrDeviceUnavailable, 17},
        {"source a folder",
         [](const TempDir&, EncryptBatchFile& f) {
             fs::remove(f.source);
             fs::create_directory(f.source);
         },
         kErrNotRegularFile, 18},
        {"target kept", [](const TempDir&, EncryptBatchFile& f) { f.replaceTarget = false; },
         kErrTargetExists, 18},
        {"target folder missing",
         [](const TempDir& d, EncryptBatchFile& f) { f.target = d / "none" / "f2.BF"; },
         kErrDeviceUnavailable, 18},
#ifndef _WIN32 // there the source is held exclusively while it is read
        {"source cut while read",
         [](const TempDir&, EncryptBatchFile& f) {
             f.progress = [path = f.source](std::uint64_t, std::uint64_t) {
                 fs::resize_file(path, kChunk + 3);
                 return true;
             };
         },
         kErrChangedWhileRead, 18},
        {"source grown while read",
         [](const TempDir&, EncryptBatchFile& f) {
             f.progress = [path = f.source](std::uint64_t, std::uint64_t) {
                 fs::resize_file(path, 9 * kChunk);
                 return true;
             };
         },
         kErrChangedWhileRead, 18},
#endif
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FreshFolder();
        auto files = MakeFiles({3 * kChunk, 10, 5 * kChunk + 1, kChunk, 0, 70000});
        WriteFile(Dir() / "f2.BF", {9, 9});
        c.spoil(Dir(), files[2]);
        EncryptBatchOptions options;
        options.threads = 1;
        options.filesAtOnce = 4;
        const auto codes = Run(files, options);
        ASSERT_EQ(codes.size(), files.size());
        EXPECT_EQ(codes.at(2), c.code);
        EXPECT_EQ(ReadFile(Dir() / "f2.BF"), (std::vector<std::uint8_t>{9, 9})); // kept
        for (std::size_t i : {0u, 1u, 3u, 4u, 5u}) {
            EXPECT_EQ(codes.at(i), 0) << i;
            ExpectAsAlone(i);
        }
        EXPECT_EQ(Dir().Names().size(), c.names); // no temporary left
    }
}

TEST_F(BatchRoutine, AFullDiskFailsTheFileThatMeetsIt) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no per-process file size limit to make a write fail half-way";
#else
    const auto files = MakeFiles({kChunk, 6 * kChunk, 100, 2 * kChunk, 9 * kChunk + 8, 0});
    const int code = RunInChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4 * kChunk, 4 * kChunk};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        EncryptBatchOptions options;
        options.threads = 2;
        const auto codes = Run(files, options);
        const std::map<std::size_t, int> expected = {{0, 0}, {1, kErrDiskFull}, {2, 0},
                                                     {3, 0}, {4, kErrDiskFull}, {5, 0}};
        return codes == expected ? 0 : 1;
    });
    EXPECT_EQ(code, 0);
    for (std::size_t i : {0u, 2u, 3u, 5u})
        ExpectAsAlone(i);
    EXPECT_FALSE(fs::exists(Dir() / "f1.BF"));
    EXPECT_FALSE(fs::exists(Dir() / "f4.BF"));
    EXPECT_EQ(Dir().Names().size(), 3 * files.size() - 2); // sources, references, four targets
#endif
}

TEST_F(BatchRoutine, ACancelStartsNoFurtherFile) {
    struct Case {
        const char* name;
        bool byStop; // the stop question, rather than a file's progress
    };
    for (const Case c : {Case{"a file's progress", false}, Case{"the stop question", true}}) {
        SCOPED_TRACE(c.name);
        FreshFolder();
        auto files = MakeFiles(std::vector<std::size_t>(12, 4 * kChunk));
        std::size_t started = 0;
        EncryptBatchOptions options;
        options.threads = 1;
        options.filesAtOnce = 4;
        if (c.byStop) // asked once before each file: files 0 to 5 start
            options.stop = [&] { return started++ >= 6; };
        else // file 5 cancels at its second chunk
            files[5].progress = [](std::uint64_t done, std::uint64_t) { return done < 2 * kChunk; };
        const auto codes = Run(files, options);
        // 0-3 ran together, then 4-7 took their places; 8-11 never started.
        const std::size_t ran = c.byStop ? 6 : 8;
        ASSERT_EQ(codes.size(), ran);
        for (std::size_t i = 0; i < ran; ++i)
            if (i == 5 && !c.byStop) {
                EXPECT_EQ(codes.at(i), kCancelled);
                EXPECT_FALSE(fs::exists(files[i].target));
            } else {
                EXPECT_EQ(codes.at(i), 0) << i;
                ExpectAsAlone(i);
            }
        for (std::size_t i = ran; i < files.size(); ++i)
            EXPECT_FALSE(fs::exists(files[i].target)) << i;
        EXPECT_EQ(Dir().Names().size(), 2 * files.size() + (c.byStop ? 6 : 7));
    }
}
