#include "filecrypt/basBlowfishFileFns.h"

#include <algorithm>
#include <cerrno>
#include <utility>
#include <vector>

#include "common/RuntimeError.h"
#include "common/SecureWipe.h"
#include "convert/basConvert.h"
#include "filecrypt/BlowfishCbc.h"
#include "filecrypt/basFileAPI.h"

namespace quillmoor {

namespace fs = std::filesystem;

namespace {

// Large enough that system calls cost nothing next to the cipher, small
// enough to keep memory flat whatever the file size.
constexpr std::size_t kChunkBytes = std::size_t{1} << 20;

[[noreturn]] void Fail(int number, const char* what, const fs::path& path, const std::string& why) {
    throw RuntimeError(number, std::string(what) + " '" + path.string() + "': " + why);
}

[[noreturn]] void FailWrite(const fs::path& path, int error) {
    Fail(WriteErrorNumber(error), "cannot write", path, ErrorText(error));
}

// The first 8 key bytes of the key text, zero-filled.
CbcBlock InitialChainingBlock(std::u16string_view keyText) {
    CbcBlock block{};
    if (auto bytes = HexTextToBytes(keyText)) {
        std::copy_n(bytes->begin(), std::min(bytes->size(), block.size()), block.begin());
        SecureWipe(*bytes);
    }
    return block;
}

// One run over a source and a target: holds the source open, claims an
// existing target so nobody else has it while we work, and writes into a
// temporary file that replaces the target only on Commit(). Whatever ends
// the run early (error, cancel, exception) leaves no trace.
class FileJob {
  public:
    FileJob(const fs::path& source, const fs::path& target) : source_(source), target_(target) {
        int error = 0;
        sourceHandle_ = OpenExistingForReading(source, error);
        if (sourceHandle_ < 0)
            Fail(kErrDeviceUnavailable, "cannot open", source, ErrorText(error));
        if (!SizeOfOpenFile(sourceHandle_, sourceSize_, error))
            Fail(kErrDeviceIo, "cannot read", source, ErrorText(error));
    }

    FileJob(const FileJob&) = delete;
    FileJob& operator=(const FileJob&) = delete;

    ~FileJob() {
        CloseQuietly(sourceHandle_);
        CloseQuietly(targetClaim_);
        if (temporaryHandle_ >= 0) {
            CloseQuietly(temporaryHandle_);
            RemoveQuietly(temporary_);
        }
    }

    [[nodiscard]] std::uint64_t sourceSize() const { return sourceSize_; }

    void CreateTarget() {
        int error = 0;
        if (!target_.has_filename())
            Fail(kErrDeviceUnavailable, "cannot create", target_, "it is a folder");
        targetClaim_ = OpenExistingForUpdate(target_, error);
        if (targetClaim_ < 0 && error != ENOENT)
            Fail(kErrDeviceUnavailable, "cannot create", target_,
                 error == EISDIR ? "it is a folder" : ErrorText(error));
        temporaryHandle_ = CreateTemporaryBeside(
            target_, PermissionsOfOpenFile(sourceHandle_) | 0600u, temporary_, error);
        if (temporaryHandle_ < 0)
            Fail(kErrDeviceUnavailable, "cannot create", target_, ErrorText(error));
    }

    // Reads exactly buffer.size() bytes; a source that ends early has changed
    // under us, and going on would write a file that matches nothing.
    void ReadSource(std::span<std::uint8_t> buffer) {
        const IoResult r = ReadFully(sourceHandle_, buffer);
        if (!r.ok)
            Fail(kErrDeviceIo, "cannot read", source_, ErrorText(r.error));
        if (r.count != buffer.size())
            Fail(kErrDeviceIo, "cannot read", source_, "the file became shorter while it was read");
    }

    // Reads what is there, up to buffer.size() bytes.
    std::size_t ReadSourceUpTo(std::span<std::uint8_t> buffer) {
        const IoResult r = ReadFully(sourceHandle_, buffer);
        if (!r.ok)
            Fail(kErrDeviceIo, "cannot read", source_, ErrorText(r.error));
        return r.count;
    }

    void WriteTarget(std::span<const std::uint8_t> bytes) {
        const IoResult r = WriteFully(temporaryHandle_, bytes);
        if (!r.ok)
            FailWrite(target_, r.error);
    }

    void Commit() {
        int error = 0;
        if (!SyncOpenFile(temporaryHandle_, error))
            FailWrite(target_, error);
        const FileHandle handle = std::exchange(temporaryHandle_, kInvalidHandle);
        if (!FlushAndClose(handle, error)) {
            RemoveQuietly(temporary_);
            FailWrite(target_, error);
        }
        // Windows renames nothing over a file held open, even by us: let the
        // claim go first. Should someone take the target in between, the
        // replace fails and the target stays whole.
        CloseQuietly(std::exchange(targetClaim_, kInvalidHandle));
        if (!ReplaceWithTemporary(temporary_, target_, error)) {
            RemoveQuietly(temporary_);
            Fail(kErrDeviceIo, "cannot replace", target_, ErrorText(error));
        }
    }

  private:
    fs::path source_, target_, temporary_;
    FileHandle sourceHandle_ = kInvalidHandle;
    FileHandle targetClaim_ = kInvalidHandle;
    FileHandle temporaryHandle_ = kInvalidHandle;
    std::uint64_t sourceSize_ = 0;
};

bool KeepGoing(const FileCryptOptions& options, std::uint64_t done, std::uint64_t total) {
    return !options.progress || options.progress(done, total);
}

const BlowfishState& StateOf(const FileCryptOptions& options) {
    return options.state ? *options.state : blowfishState();
}

// The filler count of a strictly checked final block, or 0 when it is not
// p bytes of value p with p from 1 to 8.
std::size_t ValidFiller(std::span<const std::uint8_t> finalBlock) {
    const std::uint8_t p = finalBlock[7];
    if (p < 1 || p > 8)
        return 0;
    for (std::size_t i = 8 - p; i < 8; ++i)
        if (finalBlock[i] != p)
            return 0;
    return p;
}

} // namespace

FileCryptResult BlowfishEncryptFile(const fs::path& source, const fs::path& target,
                                    std::u16string_view keyText, const FileCryptOptions& options) {
    FileJob job(source, target);
    job.CreateTarget();
    const BlowfishState& state = StateOf(options);
    const std::uint64_t total = job.sourceSize();
    CbcBlock chain = InitialChainingBlock(keyText);
    std::vector<std::uint8_t> buffer(kChunkBytes + 8);

    for (std::uint64_t remaining = total;;) {
        const std::size_t plain =
            static_cast<std::size_t>(std::min<std::uint64_t>(remaining, kChunkBytes));
        job.ReadSource(std::span(buffer).first(plain));
        remaining -= plain;
        std::size_t length = plain;
        if (remaining == 0) {
            // The final block: 1 to 8 filler bytes, each holding their count.
            const std::size_t filler = 8 - plain % 8;
            std::fill_n(buffer.begin() + static_cast<std::ptrdiff_t>(plain), filler,
                        static_cast<std::uint8_t>(filler));
            length += filler;
        }
        CbcEncrypt(state, std::span(buffer).first(length), chain);
        job.WriteTarget(std::span(buffer).first(length));
        if (!KeepGoing(options, total - remaining, total))
            return FileCryptResult::Cancelled;
        if (remaining == 0)
            break;
    }
    job.Commit();
    return FileCryptResult::Done;
}

FileCryptResult BlowfishDecryptFile(const fs::path& source, const fs::path& target,
                                    std::u16string_view keyText, const FileCryptOptions& options) {
    FileJob job(source, target);
    const std::uint64_t total = job.sourceSize();
    const bool strict = options.mode == DecryptMode::Strict;
    if (strict && (total == 0 || total % 8 != 0))
        Fail(kErrWrongKeyOrDamaged, "cannot decrypt", source, "wrong key or damaged file");
    job.CreateTarget();
    const BlowfishState& state = StateOf(options);
    CbcBlock chain = InitialChainingBlock(keyText);
    std::vector<std::uint8_t> buffer(kChunkBytes, 0);

    // Lenient: bytes after the last whole block are ignored, and a source
    // shorter than one block is read into a zero-filled block.
    const std::uint64_t blocksBytes = total < 8 ? 8 : total - total % 8;
    for (std::uint64_t remaining = blocksBytes;;) {
        const std::size_t length =
            static_cast<std::size_t>(std::min<std::uint64_t>(remaining, kChunkBytes));
        if (total < 8)
            (void)job.ReadSourceUpTo(std::span(buffer).first(static_cast<std::size_t>(total)));
        else
            job.ReadSource(std::span(buffer).first(length));
        remaining -= length;
        CbcDecrypt(state, std::span(buffer).first(length), chain);
        std::size_t keep = length;
        if (remaining == 0) {
            const auto finalBlock = std::span<const std::uint8_t>(buffer).subspan(length - 8, 8);
            std::size_t filler;
            if (strict) {
                filler = ValidFiller(finalBlock);
                if (filler == 0)
                    Fail(kErrWrongKeyOrDamaged, "cannot decrypt", source,
                         "wrong key or damaged file");
            } else {
                // Only byte 7 counts; above 8 it means "keep the whole block".
                filler = finalBlock[7] > 8 ? 0 : finalBlock[7];
            }
            keep -= filler;
        }
        job.WriteTarget(std::span(buffer).first(keep));
        if (!KeepGoing(options, std::min(total, blocksBytes - remaining), total))
            return FileCryptResult::Cancelled;
        if (remaining == 0)
            break;
    }
    job.Commit();
    return FileCryptResult::Done;
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
