#include "app/commands/Wipe.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <utility>
#include <vector>

#include "app/commands/WipeRandomLoop.h"
#include "common/RuntimeError.h"
#include "filecrypt/basFileAPI.h"

namespace quillmoor::commands {

#if QUILLMOOR_HAVE_AVX2_WIPE
// WipeRandomAvx2.cpp: the same loop built for AVX2.
void WipeRandomStepsAvx2(WipeRandom::Lanes& lanes, std::uint8_t* out, std::size_t steps) noexcept;
#endif

namespace fs = std::filesystem;

namespace {

enum class SubPass { Zero, Random, Full };

[[noreturn]] void Fail(int number, const char* what, const fs::path& path, int error) {
    throw RuntimeError(number, what, path, ErrorText(error));
}

#if QUILLMOOR_HAVE_AVX2_WIPE
const bool kHasAvx2 = __builtin_cpu_supports("avx2");
#else
constexpr bool kHasAvx2 = false;
#endif

std::uint64_t SplitMix64(std::uint64_t& x) {
    std::uint64_t z = (x += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// The name goes too, as far as renames can take it: the file takes names of
// its name's length made of one repeated character, each one shorter, so the
// folder keeps no trace of what it was called, and is then removed. A name
// in use is never taken (the renames do not replace).
void RemoveWiped(const fs::path& path) {
    std::error_code ec;
    fs::resize_file(path, 0, ec);
    if (ec)
        throw RuntimeError(kErrDeviceIo, "cannot remove", path, ec.message());
    constexpr std::string_view kFill = "0123456789abcdefghijklmnopqrstuvwxyz";
    fs::path current = path;
    for (std::size_t length = path.filename().native().size(); length > 0; --length)
        for (const char fill : kFill) {
            const fs::path next =
                path.parent_path() /
                fs::path::string_type(length, static_cast<fs::path::value_type>(fill));
            int error = 0;
            if (ReplaceWithTemporary(current, next, error, Existing::Keep)) {
                current = next;
                break;
            }
            if (error != EEXIST)
                throw RuntimeError(kErrDeviceIo, "cannot remove", current, ErrorText(error));
        }
    if (!fs::remove(current, ec) || ec)
        throw RuntimeError(kErrDeviceIo, "cannot remove", current, ec.message());
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
        buffer_.resize(std::min<std::uint64_t>(blocks_, kWipeBlocksPerWrite) * kWipeBlockBytes);
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
            const std::uint64_t count =
                std::min<std::uint64_t>(blocks_ - block, kWipeBlocksPerWrite);
            const std::span<std::uint8_t> bytes(buffer_.data(), count * kWipeBlockBytes);
            // Made right before the write, so the system copies them from
            // this core's cache (a helper thread cost more than it saved).
            if (sub == SubPass::Random)
                FillRandomBlocks(bytes);
            const IoResult r = WriteFullyAt(handle_, bytes, block * kWipeBlockBytes);
            if (!r.ok)
                Fail(WriteErrorNumber(r.error), "cannot write", path_, r.error);
            // The device writes this batch while the next one is made; the
            // sync at the end of the sub-pass then has less left to wait for.
            StartWriteBack(handle_, block * kWipeBlockBytes, bytes.size());
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

    // One call for the whole batch: each block is still 250 fresh bytes, and
    // the generator keeps its lanes in registers across all of them.
    void FillRandomBlocks(std::span<std::uint8_t> bytes) {
        random_.Fill(bytes);
        if (options_.randomBlockObserver)
            for (std::size_t at = 0; at < bytes.size(); at += kWipeBlockBytes)
                options_.randomBlockObserver(bytes.subspan(at, kWipeBlockBytes));
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

WipeRandom::WipeRandom(std::uint64_t seed, Kernel kernel)
    : wide_(kernel == Kernel::Best && kHasAvx2) {
    // Two successive SplitMix64 outputs are never both zero, so no lane
    // starts in the all-zero state xoshiro cannot leave.
    for (std::size_t i = 0; i < kLanes; ++i) {
        const std::uint64_t low = SplitMix64(seed), high = SplitMix64(seed);
        lanes_.s0[i] = static_cast<std::uint32_t>(low);
        lanes_.s1[i] = static_cast<std::uint32_t>(low >> 32);
        lanes_.s2[i] = static_cast<std::uint32_t>(high);
        lanes_.s3[i] = static_cast<std::uint32_t>(high >> 32);
    }
}

bool WipeRandom::WideKernelAvailable() noexcept { return kHasAvx2; }

void WipeRandom::Fill(std::span<std::uint8_t> bytes) {
    const auto steps = [&](std::uint8_t* out, std::size_t count) {
#if QUILLMOOR_HAVE_AVX2_WIPE
        if (wide_)
            return WipeRandomStepsAvx2(lanes_, out, count);
#endif
        wipe::RandomStepsLoop(lanes_, out, count);
    };
    const std::size_t whole = bytes.size() / kStepBytes;
    steps(bytes.data(), whole);
    if (const std::size_t rest = bytes.size() % kStepBytes; rest != 0) {
        std::uint8_t last[kStepBytes];
        steps(last, 1);
        std::memcpy(bytes.data() + whole * kStepBytes, last, rest);
    }
}

WipeResult WipeFile(const fs::path& path, const WipeOptions& options) {
    const WipeResult result = WipeRun(path, options).Run();
    if (result == WipeResult::Done && options.after == AfterWipe::Remove)
        RemoveWiped(path);
    return result;
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
