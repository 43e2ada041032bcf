#include "app/Wipe.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <utility>
#include <vector>

#include "common/RuntimeError.h"
#include "filecrypt/basFileAPI.h"

namespace quillmoor::app {

namespace fs = std::filesystem;

namespace {

// Whole 250-byte blocks per system call: the bytes on disk are exactly those
// of single-block writes at offsets 0, 250, 500, ...
constexpr std::size_t kBlocksPerWrite = 4096;

enum class SubPass { Zero, Random, Full };

[[noreturn]] void Fail(int number, const char* what, const fs::path& path, int error) {
    throw RuntimeError(number, std::string(what) + " '" + path.string() + "': " + ErrorText(error));
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
        handle_ = OpenExistingForUpdate(path, error);
        if (handle_ < 0)
            Fail(error == ENOENT ? kErrFileNotFound : kErrDeviceUnavailable, "cannot wipe", path,
                 error);
        std::uint64_t length = 0;
        if (!SizeOfOpenFile(handle_, length, error))
            Fail(kErrDeviceIo, "cannot wipe", path, error);
        blocks_ = WipeBlockCount(length);
        total_ = 9 * blocks_ * kWipeBlockBytes;
        buffer_.resize(std::min<std::uint64_t>(blocks_, kBlocksPerWrite) * kWipeBlockBytes);
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
        if (sub != SubPass::Random)
            std::fill(buffer_.begin(), buffer_.end(), sub == SubPass::Zero ? 0x00 : 0xFF);
        for (std::uint64_t block = 0; block < blocks_;) {
            const std::uint64_t count = std::min<std::uint64_t>(blocks_ - block, kBlocksPerWrite);
            const std::span<std::uint8_t> bytes(buffer_.data(), count * kWipeBlockBytes);
            if (sub == SubPass::Random)
                FillRandomBlocks(bytes);
            const IoResult r = WriteFullyAt(handle_, bytes, block * kWipeBlockBytes);
            if (!r.ok)
                Fail(WriteErrorNumber(r.error), "cannot write", path_, r.error);
            block += count;
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
    std::vector<std::uint8_t> buffer_;
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
    // r = u / 2^32 for a 32-bit draw u, so floor(255 r) = (255 u) >> 32.
    std::size_t i = 0;
    for (; i + 2 <= bytes.size(); i += 2) {
        const std::uint64_t draw = Next();
        bytes[i] = static_cast<std::uint8_t>(((draw & 0xFFFFFFFFu) * 255) >> 32);
        bytes[i + 1] = static_cast<std::uint8_t>(((draw >> 32) * 255) >> 32);
    }
    if (i < bytes.size())
        bytes[i] = static_cast<std::uint8_t>(((Next() & 0xFFFFFFFFu) * 255) >> 32);
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

} // namespace quillmoor::app
