#include "filecrypt/TargetFile.h"

#include <cerrno>
#include <utility>

#include "common/RuntimeError.h"
#include "filecrypt/TemporaryRegistry.h"

namespace quillmoor {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void Fail(int number, const fs::path& path, int error) {
    throw RuntimeError(number, "cannot create", path, ErrorText(error));
}

[[noreturn]] void FailExists(const fs::path& path) {
    throw RuntimeError(kErrTargetExists, "cannot create", path, ErrorText(EEXIST));
}

bool Exists(const fs::path& path) {
    std::error_code ignored; // a link counts, even one that leads nowhere
    return fs::symlink_status(path, ignored).type() != fs::file_type::not_found;
}

[[noreturn]] void FailWrite(const fs::path& path, int error) {
    throw RuntimeError(WriteErrorNumber(error), "cannot write", path, ErrorText(error));
}

} // namespace

TargetFile::TargetFile(const fs::path& target, unsigned newFileMode, FileHandle source,
                       const fs::path& sourcePath, Existing existing)
    : target_(target), newFileMode_(newFileMode), existing_(existing) {
    int error = 0;
    if (!target_.has_filename())
        Fail(kErrNotRegularFile, target_, EISDIR);
    if (IsInSystemFolder(target_))
        Fail(kErrNotRegularFile, target_, kRefusedSystemFolder);
    if (source >= 0 && IsSameFile(source, target_))
        throw RuntimeError(kErrSameFile, "cannot create", target_, ErrorText(kRefusedSameFile),
                           sourcePath);
    if (existing_ == Existing::Keep && Exists(target_))
        FailExists(target_);
    // Not through a link: what it points to would be orphaned, and its
    // owner could be anyone.
    claim_ = OpenExistingForUpdate(target_, error, Links::Refuse);
    if (claim_ < 0 && error == kRefusedSymbolicLink)
        throw RuntimeError(kErrSymbolicLink, "cannot create", target_, ErrorText(error),
                           LinkTargetOf(target_));
    if (claim_ < 0 && error != ENOENT)
        Fail(IsKindRefusal(error) ? kErrNotRegularFile : kErrDeviceUnavailable, target_, error);
    handle_ = CreateTemporaryBeside(target_, temporary_, error);
    if (handle_ < 0) {
        CloseQuietly(std::exchange(claim_, kInvalidHandle));
        if (!temporary_.empty()) // planted where the temporary file goes
            throw RuntimeError(kErrTemporaryInTheWay, "cannot create", target_, ErrorText(error),
                               std::exchange(temporary_, {}));
        Fail(kErrDeviceUnavailable, target_, error);
    }
    // A fatal signal removes a named one; an unnamed one goes by itself.
    if (!temporary_.empty())
        registered_ = RegisterTemporary(temporary_);
}

TargetFile::~TargetFile() {
    ForgetTemporary(registered_);
    CloseQuietly(claim_);
    if (handle_ >= 0)
        DiscardTemporary(handle_, temporary_);
}

void TargetFile::WriteAt(std::span<const std::uint8_t> bytes, std::uint64_t offset) {
    const IoResult r = WriteFullyAt(handle_, bytes, offset);
    if (!r.ok)
        FailWrite(target_, r.error);
}

void TargetFile::Commit() {
    int error = 0;
    if (!SyncOpenFile(handle_, error))
        FailWrite(target_, error);
    SetFinalMode(handle_, claim_, newFileMode_);
    // Windows renames nothing over a file held open, even by us: let the
    // claim go first. Should someone take the target in between, the
    // replace fails and the target stays whole.
    CloseQuietly(std::exchange(claim_, kInvalidHandle));
    // Once renamed, the name is the target's: no fatal signal may remove it.
    ForgetTemporary(std::exchange(registered_, -1));
    const FileHandle handle = std::exchange(handle_, kInvalidHandle);
    if (!ReplaceWithTemporary(handle, temporary_, target_, error, existing_)) {
        if (existing_ == Existing::Keep && error == EEXIST)
            FailExists(target_); // someone made it meanwhile: theirs stays
        throw RuntimeError(kErrDeviceIo, "cannot replace", target_, ErrorText(error));
    }
}

} // namespace quillmoor
