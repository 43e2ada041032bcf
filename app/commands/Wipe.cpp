#include "app/commands/Wipe.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <future>
#include <utility>
#include <vector>

#include "common/RuntimeError.h"
#include "filecrypt/basFileAPI.h"

namespace quillmoor::commands {

namespace fs = std::filesystem;

namespace {

// Whole 250-byte blocks per system call: the bytes on disk are exactly those
// of single-block writes at offsets 0, 250, 500, ...
constexpr std::size_t kBlocksPerWrite = 4096;

enum class SubPass { Zero, Random, Full };

[[noreturn]] void Fail(int number, const char* what, const fs::path& path, int error) {
    throw RuntimeError(number, what, path, ErrorText(error));
}

std::uint64_t SplitMix64(std::uint64_t& x) {
    std::uint64_t z = (x += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

class WipeRun {
  public:
    WipeRun(const fs::path& path, const WipeOptions& options)
        : path_(path), options_(options), random_(options.seed) {
        int error = 0;
        // A link is refused, not followed: it could point anywhere, at a
        // file its owner never meant to name. What it points to is passed
        // on, so the user can wipe that file by its own name.
        handle_ = OpenExistingForUpdate(path, error, Links::Refuse);
        if (handle_ < 0) {
            if (error == kRefusedSymbolicLink)
                throw RuntimeError(kErrSymbolicLink, "cannot wipe", path, ErrorText(error),
                                   LinkTargetOf(path));
            Fail(error == ENOENT        ? kErrFileNotFound
                 : IsKindRefusal(error) ? kErrNotRegularFile
                                        : kErrDeviceUnavailable,
                 "cannot wipe", path, error);
        }
        std::uint64_t length = 0;
        if (!SizeOfOpenFile(handle_, length, error))
            Fail(kErrDeviceIo, "cannot wipe", path, error);
        blocks_ = WipeBlockCount(length);
        total_ = 9 * blocks_ * kWipeBlockBytes;
        for (auto& buffer : buffers_)
            buffer.resize(std::min<std::uint64_t>(blocks_, kBlocksPerWrite) * kWipeBlockBytes);
    }

    WipeRun(const WipeRun&) = delete;
    WipeRun& operator=(const WipeRun&) = delete;
    ~WipeRun() { CloseQuietly(handle_); }

    WipeResult Run() {
        for (int pass = 0; pass < 3; ++pass)
            for (SubPass sub : {SubPass::Zero, SubPass::Random, SubPass::Full})
                if (!Write(sub))
                    return WipeResult::Cancelled;
        int error = 0;
        const FileHandle handle = std::exchange(handle_, kInvalidHandle);
        if (!FlushAndClose(handle, error))
            Fail(WriteErrorNumber(error), "cannot write", path_, error);
        return WipeResult::Done;
    }

  private:
    bool Write(SubPass sub) {
        const bool random = sub == SubPass::Random;
        if (!random)
            std::fill(buffers_[0].begin(), buffers_[0].end(), sub == SubPass::Zero ? 0x00 : 0xFF);
        const auto bytesOf = [&](std::uint64_t block, std::vector<std::uint8_t>& buffer) {
            const std::uint64_t count = std::min<std::uint64_t>(blocks_ - block, kBlocksPerWrite);
            return std::span<std::uint8_t>(buffer.data(), count * kWipeBlockBytes);
        };
        if (random)
            FillRandomBlocks(bytesOf(0, buffers_[0]));
        for (std::uint64_t block = 0, batch = 0; block < blocks_; ++batch) {
            const std::span<std::uint8_t> bytes = bytesOf(block, buffers_[random ? batch % 2 : 0]);
            const std::uint64_t next = block + bytes.size() / kWipeBlockBytes;
            // The next random batch is made while this one is written.
            std::future<void> nextBatch;
            if (random && next < blocks_)
                nextBatch = std::async(std::launch::async, [&, next, batch] {
                    FillRandomBlocks(bytesOf(next, buffers_[(batch + 1) % 2]));
                });
            const IoResult r = WriteFullyAt(handle_, bytes, block * kWipeBlockBytes);
            if (nextBatch.valid())
                nextBatch.get();
            if (!r.ok)
                Fail(WriteErrorNumber(r.error), "cannot write", path_, r.error);
            block = next;
            done_ += bytes.size();
            if (options_.progress && !options_.progress(done_, total_))
                return false;
        }
        // Without this the sub-passes merge in the cache and only the last
        // one might ever reach the disk.
        int error = 0;
        if (!SyncOpenFile(handle_, error))
            Fail(WriteErrorNumber(error), "cannot write", path_, error);
        return true;
    }

    void FillRandomBlocks(std::span<std::uint8_t> bytes) {
        for (std::size_t at = 0; at < bytes.size(); at += kWipeBlockBytes) {
            const auto block = bytes.subspan(at, kWipeBlockBytes);
            random_.Fill(block);
            if (options_.randomBlockObserver)
                options_.randomBlockObserver(block);
        }
    }

    fs::path path_;
    const WipeOptions& options_;
    WipeRandom random_;
    FileHandle handle_ = kInvalidHandle;
    std::uint64_t blocks_ = 0, total_ = 0, done_ = 0;
    std::vector<std::uint8_t> buffers_[2];
};

} // namespace

std::uint64_t WipeBlockCount(std::uint64_t length) {
    return length == 0 ? 1 : (length + kWipeBlockBytes - 1) / kWipeBlockBytes;
}

WipeRandom::WipeRandom(std::uint64_t seed) {
    for (auto& word : s_)
        word = SplitMix64(seed);
}

// xoshiro256**: fast, well distributed, and plenty for overwriting bytes
// (it makes no claim of cryptographic quality, and needs none here).
std::uint64_t WipeRandom::Next() {
    const auto rotl = [](std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); };
    const std::uint64_t result = rotl(s_[1] * 5, 7) * 9;
    const std::uint64_t t = s_[1] << 17;
    s_[2] ^= s_[0];
    s_[3] ^= s_[1];
    s_[1] ^= s_[2];
    s_[0] ^= s_[3];
    s_[2] ^= t;
    s_[3] = rotl(s_[3], 45);
    return result;
}

void WipeRandom::Fill(std::span<std::uint8_t> bytes) {
    // Each 64-bit draw gives four 16-bit fractions r = u / 2^16, and
    // floor(255 r) = (255 u) >> 16 is 0 to 254, each value about equally often.
    std::size_t i = 0;
    for (; i + 4 <= bytes.size(); i += 4) {
        const std::uint64_t draw = Next();
        for (int lane = 0; lane < 4; ++lane)
            bytes[i + lane] =
                static_cast<std::uint8_t>(((draw >> (16 * lane)) & 0xFFFF) * 255 >> 16);
    }
    for (std::uint64_t draw = Next(); i < bytes.size(); ++i, draw >>= 16)
        bytes[i] = static_cast<std::uint8_t>((draw & 0xFFFF) * 255 >> 16);
}

WipeResult WipeFile(const fs::path& path, const WipeOptions& options) {
    return WipeRun(path, options).Run();
}

std::uint64_t ClockSeed() {
    // The two clocks advance together, so a plain XOR of them often repeats
    // between calls made close together; mixing each first, and counting the
    // calls, makes seeds taken close together differ.
    static std::atomic<std::uint64_t> calls{0};
    std::uint64_t wall =
        static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count());
    std::uint64_t steady =
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) +
        calls.fetch_add(1, std::memory_order_relaxed);
    return SplitMix64(wall) ^ SplitMix64(steady);
}

} // namespace quillmoor::commands
