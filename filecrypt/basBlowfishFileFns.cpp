#include "filecrypt/basBlowfishFileFns.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <future>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "common/RuntimeError.h"
#include "common/Secret.h"
#include "convert/basConvert.h"
#include "filecrypt/BlowfishCbc.h"
#include "filecrypt/FileJob.h"
#include "filecrypt/RoutineParts.h"
#include "filecrypt/TargetFile.h"
#include "filecrypt/basFileAPI.h"

namespace quillmoor {

namespace fs = std::filesystem;
using namespace routines;

namespace {

constexpr std::size_t kInlineChunkBytes = std::size_t{1} << 17;

} // namespace

void ChainingBlockOfKeyText(std::u16string_view keyText, CbcBlock& block) {
    block.fill(0);
    const SecretBytes bytes = HexTextToKeyBytes(keyText);
    std::copy_n(bytes.begin(), std::min(bytes.size(), block.size()), block.begin());
}

std::size_t FillerCount(std::span<const std::uint8_t> finalBlock, DecryptMode mode) {
    const std::uint8_t p = finalBlock[7];
    if (mode == DecryptMode::Lenient)
        return p > 8 ? 0 : p; // only byte 7 counts; above 8 it means "keep the whole block"
    if (p < 1 || p > 8)
        return 0;
    for (std::size_t i = 8 - p; i < 8; ++i)
        if (finalBlock[i] != p)
            return 0;
    return p;
}

// CBC encryption is one serial chain, so it runs on one core. Given a second
// core, a helper thread writes the previous chunk and reads the next one
// meanwhile, and the cipher never waits for the disk. Given one (several
// files side by side), the I/O runs on the same thread in chunks small
// enough that the bytes read, enciphered and written never leave the cache.
FileCryptResult BlowfishEncryptFile(const fs::path& source, const fs::path& target,
                                    std::u16string_view keyText, const FileCryptOptions& options) {
    FileJob job(source, target);
    job.CreateEncryptedTarget(options.replaceTarget);
    const BlowfishState& state = StateOf(options);
    const bool overlap = options.threads != 1;
    const std::uint64_t chunkBytes = overlap ? kChunkBytes : kInlineChunkBytes;
    const std::uint64_t total = job.sourceSize();
    // The last chunk holds what is left (possibly nothing) and the filler.
    const std::uint64_t chunks = total / chunkBytes + 1;
    const auto plainBytes = [&](std::uint64_t chunk) {
        return static_cast<std::size_t>(chunk + 1 < chunks ? chunkBytes : total % chunkBytes);
    };
    SecretObject<CbcBlock> iv;
    CbcBlock& chain = *iv;
    ChainingBlockOfKeyText(keyText, chain);
    std::array<SecretBytes, 3> buffers; // plain text
    for (auto& buffer : buffers)
        buffer.resize(std::min<std::uint64_t>(total, chunkBytes) + 8);

    job.ReadSource(std::span(buffers[0]).first(plainBytes(0)), 0);
    std::size_t previousBytes = 0;
    for (std::uint64_t chunk = 0; chunk < chunks; ++chunk) {
        SecretBytes& current = buffers[chunk % 3];
        std::size_t length = plainBytes(chunk);
        if (chunk + 1 == chunks)
            length = AppendFiller(current, length);
        const auto io = [&, chunk, previousBytes] {
            if (chunk > 0)
                job.WriteTarget(std::span(buffers[(chunk - 1) % 3]).first(previousBytes),
                                (chunk - 1) * chunkBytes);
            if (chunk + 1 < chunks)
                job.ReadSource(std::span(buffers[(chunk + 1) % 3]).first(plainBytes(chunk + 1)),
                               (chunk + 1) * chunkBytes);
        };
        std::future<void> pending;
        if (overlap && (chunk > 0 || chunk + 1 < chunks))
            pending = std::async(std::launch::async, io);
        CbcEncrypt(state, std::span(current).first(length), chain);
        if (pending.valid())
            pending.get();
        else
            io();
        previousBytes = length;
        if (!KeepGoing(options, std::min(total, (chunk + 1) * chunkBytes), total))
            return FileCryptResult::Cancelled;
    }
    job.WriteTarget(std::span(buffers[(chunks - 1) % 3]).first(previousBytes),
                    (chunks - 1) * chunkBytes);
    job.Commit();
    return FileCryptResult::Done;
}

namespace {

// CBC decryption has no chain: each chunk needs only the ciphertext block
// before it. Workers take chunks in turn, each reading its chunk with that
// block in front and writing the plain bytes in place in the target.
class ParallelDecryption {
  public:
    ParallelDecryption(FileJob& job, const FileCryptOptions& options, std::u16string_view keyText)
        : job_(job), options_(options), state_(StateOf(options)), total_(job.sourceSize()),
          // Lenient: bytes after the last whole block are ignored, and a
          // source shorter than one block is read into a zero-filled block.
          blockBytes_(total_ < 8 ? 8 : total_ - total_ % 8),
          chunks_((blockBytes_ + kChunkBytes - 1) / kChunkBytes) {
        ChainingBlockOfKeyText(keyText, *iv_);
    }

    FileCryptResult Run() {
        unsigned threads =
            options_.threads ? options_.threads : std::thread::hardware_concurrency();
        threads = static_cast<unsigned>(
            std::clamp<std::uint64_t>(threads, 1, std::min<std::uint64_t>(chunks_, kMaxThreads)));
        std::vector<std::thread> helpers;
        for (unsigned i = 1; i < threads; ++i)
            helpers.emplace_back([this] { Work(false); });
        Work(true); // this thread also reports progress, so callbacks stay on the caller's thread
        for (auto& helper : helpers)
            helper.join();
        if (error_)
            std::rethrow_exception(error_);
        if (cancelled_)
            return FileCryptResult::Cancelled;
        KeepGoing(options_, total_, total_);
        return FileCryptResult::Done;
    }

  private:
    static constexpr std::uint64_t kMaxThreads = 8; // bounds memory: one chunk buffer each

    void Work(bool reportsProgress) {
        SecretBytes buffer; // the plain text of the last chunk
        try {
            buffer.resize(std::min<std::uint64_t>(blockBytes_, kChunkBytes) + 8, 0);
            for (std::uint64_t chunk; !stop_ && (chunk = next_++) < chunks_;) {
                DecryptChunk(chunk, buffer);
                done_ += kChunkBytes;
                if (reportsProgress &&
                    !KeepGoing(options_, std::min(total_, done_.load()), total_)) {
                    cancelled_ = true;
                    stop_ = true;
                }
            }
        } catch (...) {
            std::lock_guard lock(errorMutex_);
            if (!error_)
                error_ = std::current_exception();
            stop_ = true;
        }
    }

    void DecryptChunk(std::uint64_t chunk, SecretBytes& buffer) {
        const std::uint64_t offset = chunk * kChunkBytes;
        const auto length =
            static_cast<std::size_t>(std::min<std::uint64_t>(kChunkBytes, blockBytes_ - offset));
        SecretObject<CbcBlock> block(*iv_);
        CbcBlock& chain = *block;
        const std::span<std::uint8_t> data = std::span(buffer).subspan(8, length);
        if (total_ < 8) {
            (void)job_.ReadSourceUpTo(data.first(static_cast<std::size_t>(total_)), 0);
        } else if (chunk == 0) {
            job_.ReadSource(data, 0);
        } else {
            job_.ReadSource(std::span(buffer).first(length + 8), offset - 8);
            std::copy_n(buffer.begin(), 8, chain.begin());
        }
        CbcDecrypt(state_, data, chain);
        std::size_t keep = length;
        if (chunk + 1 == chunks_)
            keep -= FillerOf(data.last(8));
        job_.WriteTarget(data.first(keep), offset);
    }

    std::size_t FillerOf(std::span<const std::uint8_t> finalBlock) const {
        const std::size_t filler = FillerCount(finalBlock, options_.mode);
        if (filler == 0 && options_.mode == DecryptMode::Strict)
            FailWrongKey(sourcePath());
        return filler;
    }

    const fs::path& sourcePath() const { return job_.sourcePath(); }

    FileJob& job_;
    const FileCryptOptions& options_;
    const BlowfishState& state_;
    SecretObject<CbcBlock> iv_;
    const std::uint64_t total_, blockBytes_, chunks_;
    std::atomic<std::uint64_t> next_{0}, done_{0};
    std::atomic<bool> stop_{false}, cancelled_{false};
    std::mutex errorMutex_;
    std::exception_ptr error_;
};

} // namespace

FileCryptResult BlowfishDecryptFile(const fs::path& source, const fs::path& target,
                                    std::u16string_view keyText, const FileCryptOptions& options) {
    FileJob job(source, target);
    const std::uint64_t total = job.sourceSize();
    if (options.mode == DecryptMode::Strict && (total == 0 || total % 8 != 0))
        FailWrongKey(source);
    // Plain text is private until its owner says otherwise.
    job.CreateTarget(0600, options.replaceTarget);
    const FileCryptResult result = ParallelDecryption(job, options, keyText).Run();
    if (result == FileCryptResult::Done)
        job.Commit();
    return result;
}

void BlowfishEncryptFile(const fs::path& source, const fs::path& target,
                         std::u16string_view keyText) {
    (void)BlowfishEncryptFile(source, target, keyText, FileCryptOptions{});
}

void BlowfishDecryptFile(const fs::path& source, const fs::path& target,
                         std::u16string_view keyText) {
    (void)BlowfishDecryptFile(source, target, keyText, FileCryptOptions{});
}

} // namespace quillmoor
