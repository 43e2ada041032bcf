#pragma once

#include <cstddef>
#include <exception>
#include <filesystem>
#include <functional>
#include <span>
#include <string_view>

#include "cipher/basBlfArrays.h"
#include "common/Progress.h"
#include "filecrypt/basBlowfishFileFns.h"

// Many files encrypted with one key. CBC encryption is one serial chain per
// file, so one file keeps a core waiting on S-box loads; here each thread
// runs several files' chains side by side (CbcEncryptChains) and the core
// works at the cipher's throughput. Each file is read, enciphered and
// written in small chunks on its thread, so memory stays flat, and replaces
// its target as BlowfishEncryptFile does (claimed, written to a temporary,
// forced to the device, renamed in place), with the same bytes and mode.
namespace quillmoor {

// Files at once on one thread: enough for the S-box loads of the others to
// cover one chain's wait (measured: bench/BlockBench.cpp).
inline constexpr unsigned kEncryptBatchChainsPerThread = 8;

struct EncryptBatchFile {
    std::filesystem::path source, target;
    ProgressCallback progress; // this file's; false cancels it, and no later file starts
    bool replaceTarget = true; // false: an existing target is kept, and the file fails (326)
};

struct EncryptBatchOptions {
    const BlowfishState* state = nullptr; // nullptr: the process-wide key
    unsigned threads = 0;                 // 0: one per core
    unsigned filesAtOnce = 0;             // over all threads; 0: kEncryptBatchChainsPerThread each
    std::function<bool()> stop;           // asked before each file starts: true starts no more
};

// One file's end, as BlowfishEncryptFile would have ended: Done or
// Cancelled, or the error it would have raised (a RuntimeError).
struct EncryptBatchResult {
    FileCryptResult result = FileCryptResult::Done;
    std::exception_ptr error;
};

// Called for every file that started, as it ends (not in order), one call at
// a time, on whichever thread ran it. A file that never started (after a
// cancel or a stop) gets no call.
using EncryptBatchReport = std::function<void(std::size_t index, const EncryptBatchResult&)>;

// Files start in index order. The key must already be set up from
// `keyText`, which gives every file its IV. Raises only before any file
// starts (std::bad_alloc for the buffers).
void BlowfishEncryptFiles(std::span<const EncryptBatchFile> files, std::u16string_view keyText,
                          const EncryptBatchOptions& options, const EncryptBatchReport& report);

} // namespace quillmoor
