#include <gtest/gtest.h>

#include "cipher/basBlowfish.h"
#include "common/RuntimeError.h"
#include "convert/basConvert.h"
#include "filecrypt/basBlowfishFileFns.h"
#include "filecrypt/basBlowfishStreamFns.h"
#include "tests/TestFiles.h"

using namespace quillmoor;
using namespace quillmoor::test;

namespace {

constexpr char16_t kKeyText[] = u"0123456789abcdeff0e1d2c3b4a59687";
constexpr char16_t kOtherKeyText[] = u"f0e1d2c3b4a596870123456789abcdef";
constexpr std::size_t kChunk = std::size_t{1} << 20;

// Bytes in memory, as a pipe (no size) or as a regular file (with one).
class MemorySource final : public StreamSource {
  public:
    MemorySource(std::vector<std::uint8_t> bytes, bool sized)
        : bytes_(std::move(bytes)), sized_(sized) {}
    std::size_t Read(std::span<std::uint8_t> buffer) override {
        const std::size_t count = std::min(buffer.size(), bytes_.size() - front_);
        std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(front_), count, buffer.begin());
        front_ += count;
        return count;
    }
    std::optional<std::uint64_t> Size() const override {
        return sized_ ? std::optional<std::uint64_t>(bytes_.size()) : std::nullopt;
    }
    void ReadAt(std::span<std::uint8_t> buffer, std::uint64_t offset) override {
        ASSERT_TRUE(sized_) << "out-of-order read from a pipe";
        std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset), buffer.size(),
                    buffer.begin());
    }
    const fs::path& Name() const override { return name_; }

  private:
    std::vector<std::uint8_t> bytes_;
    bool sized_;
    std::size_t front_ = 0;
    fs::path name_ = "-";
};

struct MemorySink final : StreamSink {
    void Write(std::span<const std::uint8_t> b) override {
        bytes.insert(bytes.end(), b.begin(), b.end());
    }
    void Commit() override { committed = true; }
    std::vector<std::uint8_t> bytes;
    bool committed = false;
};

class StreamRoutines : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(BlowfishSetKey(HexTextToBytes(kKeyText))); }

    std::vector<std::uint8_t> EncryptFile(const std::vector<std::uint8_t>& plain) {
        WriteFile(dir / "plain", plain);
        BlowfishEncryptFile(dir / "plain", dir / "plain.BF", kKeyText);
        return ReadFile(dir / "plain.BF");
    }

    // The error number a stream run raised, or 0; `sink` keeps what was written.
    static int DecryptInto(MemorySource& source, MemorySink& sink,
                           DecryptMode mode = DecryptMode::Strict,
                           std::u16string_view keyText = kKeyText) {
        FileCryptOptions options;
        options.mode = mode;
        try {
            EXPECT_EQ(BlowfishDecryptStream(source, sink, keyText, options), FileCryptResult::Done);
        } catch (const RuntimeError& e) {
            return e.number();
        }
        return 0;
    }

    TempDir dir;
};

TEST_F(StreamRoutines, RoundTripGivesTheFileRoutinesBytesForEveryBoundary) {
    for (const std::size_t size :
         {std::size_t{0}, std::size_t{1}, std::size_t{7}, std::size_t{8}, std::size_t{9},
          kChunk - 8, kChunk - 1, kChunk, kChunk + 1, kChunk + 7, kChunk + 8, 2 * kChunk + 3}) {
        for (const bool sized : {false, true}) {
            SCOPED_TRACE("size " + std::to_string(size) + (sized ? " sized" : " pipe"));
            const auto plain = RandomBytes(size, static_cast<std::uint32_t>(size));
            const auto expected = EncryptFile(plain);

            MemorySource plainSource(plain, sized);
            MemorySink cipher;
            ASSERT_EQ(BlowfishEncryptStream(plainSource, cipher, kKeyText, {}),
                      FileCryptResult::Done);
            EXPECT_TRUE(cipher.committed);
            EXPECT_EQ(cipher.bytes, expected);

            MemorySource cipherSource(expected, sized);
            MemorySink back;
            EXPECT_EQ(DecryptInto(cipherSource, back), 0);
            EXPECT_TRUE(back.committed);
            EXPECT_EQ(back.bytes, plain);
        }
    }
}

TEST_F(StreamRoutines, WrongKeyWritesNothingFromASizedSourceAndAllButTheLastBlockFromAPipe) {
    const auto cipher = EncryptFile(RandomBytes(3 * kChunk + 21, 5));
    ASSERT_TRUE(BlowfishSetKey(HexTextToBytes(kOtherKeyText)));
    struct Case {
        bool sized;
        std::size_t written;
    };
    for (const Case c : {Case{true, 0}, Case{false, cipher.size() - 8}}) {
        SCOPED_TRACE(c.sized ? "sized" : "pipe");
        MemorySource source(cipher, c.sized);
        MemorySink sink;
        EXPECT_EQ(DecryptInto(source, sink, DecryptMode::Strict, kOtherKeyText),
                  kErrWrongKeyOrDamaged);
        EXPECT_EQ(sink.bytes.size(), c.written);
        EXPECT_FALSE(sink.committed);
    }
}

TEST_F(StreamRoutines, DamagedLengthsAreRefusedStrictlyAndReadLikeTheFileRoutinesLeniently) {
    const auto cipher = EncryptFile(RandomBytes(kChunk + 40, 9));
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
    };
    auto stray = cipher;
    stray.insert(stray.end(), {1, 2, 3});
    auto strayAfterChunk = std::vector<std::uint8_t>(cipher.begin(), cipher.begin() + kChunk);
    strayAfterChunk.insert(strayAfterChunk.end(), {4, 5});
    const std::vector<Case> cases{{"empty", {}},
                                  {"three bytes", {1, 2, 3}},
                                  {"stray bytes", stray},
                                  {"stray bytes after a whole chunk", strayAfterChunk}};
    for (const auto& c : cases) {
        for (const bool sized : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (sized ? " sized" : " pipe"));
            MemorySource strictSource(c.bytes, sized);
            MemorySink strictSink;
            EXPECT_EQ(DecryptInto(strictSource, strictSink), kErrWrongKeyOrDamaged);
            EXPECT_FALSE(strictSink.committed);
            if (sized) {
                EXPECT_TRUE(strictSink.bytes.empty());
            }

            WriteFile(dir / "in.BF", c.bytes);
            FileCryptOptions options;
            options.mode = DecryptMode::Lenient;
            ASSERT_EQ(BlowfishDecryptFile(dir / "in.BF", dir / "out", kKeyText, options),
                      FileCryptResult::Done);
            MemorySource source(c.bytes, sized);
            MemorySink sink;
            EXPECT_EQ(DecryptInto(source, sink, DecryptMode::Lenient), 0);
            EXPECT_EQ(sink.bytes, ReadFile(dir / "out"));
        }
    }
}

TEST_F(StreamRoutines, FillerCountFollowsEachMode) {
    struct Case {
        std::array<std::uint8_t, 8> block;
        std::size_t strict, lenient;
    };
    const Case cases[] = {
        {{9, 9, 9, 9, 9, 9, 9, 1}, 1, 1}, {{8, 8, 8, 8, 8, 8, 8, 8}, 8, 8},
        {{7, 8, 8, 8, 8, 8, 8, 8}, 0, 8}, {{1, 2, 3, 4, 5, 3, 3, 3}, 3, 3},
        {{1, 2, 3, 4, 5, 6, 2, 3}, 0, 3}, {{0, 0, 0, 0, 0, 0, 0, 0}, 0, 0},
        {{9, 9, 9, 9, 9, 9, 9, 9}, 0, 0}, {{1, 1, 1, 1, 1, 1, 1, 200}, 0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FillerCount(c.block, DecryptMode::Strict), c.strict);
        EXPECT_EQ(FillerCount(c.block, DecryptMode::Lenient), c.lenient);
    }
}

TEST_F(StreamRoutines, CancelStopsBeforeCommit) {
    MemorySource source(RandomBytes(3 * kChunk, 2), false);
    MemorySink sink;
    FileCryptOptions options;
    options.progress = [](std::uint64_t done, std::uint64_t total) {
        EXPECT_EQ(total, 0u) << "a pipe has no total";
        return done < kChunk;
    };
    EXPECT_EQ(BlowfishEncryptStream(source, sink, kKeyText, options), FileCryptResult::Cancelled);
    EXPECT_FALSE(sink.committed);
}

TEST_F(StreamRoutines, FileSinkReplacesTheTargetOnlyOnCommit) {
    WriteFile(dir / "target", {'o', 'l', 'd'});
    const auto plain = RandomBytes(100, 3);
    {
        FileSink sink(dir / "target", 0600);
        sink.Write(plain);
    } // dropped without Commit: a failed run
    EXPECT_EQ(ReadFile(dir / "target"), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"target"});
    {
        FileSink sink(dir / "target", 0600);
        sink.Write(plain);
        sink.Commit();
    }
    EXPECT_EQ(ReadFile(dir / "target"), plain);
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"target"});
    EXPECT_THROW(FileSink(dir.path() / "", 0600), RuntimeError);
}

} // namespace
