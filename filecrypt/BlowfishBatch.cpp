#include "filecrypt/BlowfishBatch.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "common/Secret.h"
#include "filecrypt/BlowfishCbc.h"
#include "filecrypt/FileJob.h"
#include "filecrypt/RoutineParts.h"

namespace quillmoor {

namespace {

// Per file in flight: small enough that every chain's chunk of a thread
// stays in its core's cache between the read, the cipher and the write.
constexpr std::size_t kChunkBytes = std::size_t{64} << 10;

// One chain's place on a thread: the file it works on and its chunk.
struct Slot {
    Slot() : buffer(kChunkBytes + 8) {}
    Slot(const Slot&) = delete;
    Slot& operator=(const Slot&) = delete;
    ~Slot() { job.reset(); }

    SecretBytes buffer; // plain text
    std::optional<FileJob> job;
    std::size_t index = 0;
    std::uint64_t offset = 0; // plain bytes enciphered and written so far
    std::size_t plain = 0;    // plain bytes in the buffer
    std::size_t length = 0;   // with the filler, on the file's last chunk
    bool last = false;
    SecretObject<CbcBlock> chain;
};

class EncryptBatch {
  public:
    EncryptBatch(std::span<const EncryptBatchFile> files, std::u16string_view keyText,
                 const EncryptBatchOptions& options, const EncryptBatchReport& report)
        : files_(files), options_(options), report_(report),
          state_(options.state ? *options.state : blowfishState()), iv_() {
        ChainingBlockOfKeyText(keyText, *iv_);
    }
    EncryptBatch(const EncryptBatch&) = delete;
    EncryptBatch& operator=(const EncryptBatch&) = delete;

    void Run() {
        if (files_.empty())
            return;
        unsigned threads =
            options_.threads ? options_.threads : std::thread::hardware_concurrency();
        std::size_t atOnce = options_.filesAtOnce ? options_.filesAtOnce
                                                  : std::size_t{std::max(threads, 1u)} *
                                                        kEncryptBatchChainsPerThread;
        atOnce = std::clamp<std::size_t>(atOnce, 1, files_.size());
        threads = static_cast<unsigned>(std::clamp<std::size_t>(threads, 1, atOnce));
        // Every buffer first, so a shortage fails before any file starts.
        std::vector<std::vector<Slot>> slots(threads);
        for (unsigned t = 0; t < threads; ++t)
            slots[t] = std::vector<Slot>(atOnce / threads + (t < atOnce % threads ? 1 : 0));
        std::vector<std::thread> helpers;
        helpers.reserve(threads);
        for (unsigned t = 1; t < threads; ++t) {
            try {
                helpers.emplace_back([this, &slots, t] { Work(slots[t]); });
            } catch (const std::system_error&) {
                break; // no thread to be had: the ones there are do the work
            }
        }
        Work(slots[0]);
        for (auto& helper : helpers)
            helper.join();
    }

  private:
    void Work(std::vector<Slot>& slots) {
        SecretVector<CbcChain> chains; // their chaining blocks
        std::vector<Slot*> active;
        chains.reserve(slots.size()); // nothing allocated once files are open
        active.reserve(slots.size());
        for (;;) {
            chains.clear();
            active.clear();
            for (Slot& slot : slots)
                if (Feed(slot)) {
                    active.push_back(&slot);
                    chains.push_back({std::span(slot.buffer).first(slot.length), *slot.chain});
                }
            if (active.empty())
                return;
            CbcEncryptChains(state_, chains);
            for (std::size_t k = 0; k < active.size(); ++k) {
                *active[k]->chain = chains[k].chain;
                Deliver(*active[k]);
            }
        }
    }

    // Gives the slot its next chunk of plain bytes, with the filler on the
    // file's last one, starting the next file when the slot has none. False
    // when no file is left for it.
    bool Feed(Slot& slot) {
        for (;;) {
            if (!slot.job && !Start(slot))
                return false;
            try {
                const std::uint64_t left = slot.job->sourceSize() - slot.offset;
                slot.plain = static_cast<std::size_t>(std::min<std::uint64_t>(left, kChunkBytes));
                slot.job->ReadSource(std::span(slot.buffer).first(slot.plain), slot.offset);
                slot.length = slot.plain;
                // A file that fills its last chunk exactly ends with a chunk
                // of filler alone, as the one-file routine's does.
                slot.last = left < kChunkBytes;
                if (slot.last)
                    slot.length = routines::AppendFiller(slot.buffer, slot.plain);
                return true;
            } catch (...) {
                End(slot, {FileCryptResult::Cancelled, std::current_exception()});
            }
        }
    }

    bool Start(Slot& slot) {
        for (std::size_t index; Take(index);) {
            try {
                slot.job.emplace(files_[index].source, files_[index].target);
                slot.job->CreateEncryptedTarget(files_[index].replaceTarget);
                slot.index = index;
                slot.offset = 0;
                *slot.chain = *iv_;
                return true;
            } catch (...) {
                slot.job.reset();
                Report(index, {FileCryptResult::Cancelled, std::current_exception()});
            }
        }
        return false;
    }

    bool Take(std::size_t& index) {
        if (stop_ || (options_.stop && options_.stop()))
            return false;
        index = next_++;
        return index < files_.size();
    }

    // Writes the enciphered chunk, then reports progress; the last one puts
    // the file in place.
    void Deliver(Slot& slot) {
        try {
            slot.job->WriteTarget(std::span(slot.buffer).first(slot.length), slot.offset);
            slot.offset += slot.plain;
            const ProgressCallback& progress = files_[slot.index].progress;
            if (progress && !progress(slot.offset, slot.job->sourceSize())) {
                stop_ = true;
                End(slot, {FileCryptResult::Cancelled, nullptr});
            } else if (slot.last) {
                slot.job->Commit();
                End(slot, {FileCryptResult::Done, nullptr});
            }
        } catch (...) {
            End(slot, {FileCryptResult::Cancelled, std::current_exception()});
        }
    }

    // The temporary goes before the file is reported.
    void End(Slot& slot, const EncryptBatchResult& result) {
        slot.job.reset();
        Report(slot.index, result);
    }

    void Report(std::size_t index, const EncryptBatchResult& result) {
        std::lock_guard lock(reportMutex_);
        report_(index, result);
    }

    std::span<const EncryptBatchFile> files_;
    const EncryptBatchOptions& options_;
    const EncryptBatchReport& report_;
    const BlowfishState& state_;
    SecretObject<CbcBlock> iv_;
    std::atomic<std::size_t> next_{0};
    std::atomic<bool> stop_{false};
    std::mutex reportMutex_;
};

} // namespace

void BlowfishEncryptFiles(std::span<const EncryptBatchFile> files, std::u16string_view keyText,
                          const EncryptBatchOptions& options, const EncryptBatchReport& report) {
    EncryptBatch(files, keyText, options, report).Run();
}

} // namespace quillmoor
