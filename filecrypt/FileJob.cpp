#include "filecrypt/FileJob.h"

#include "common/RuntimeError.h"
#include "filecrypt/RoutineParts.h"

namespace quillmoor {

namespace fs = std::filesystem;

using namespace routines;

FileJob::FileJob(const fs::path& source, const fs::path& target)
    : source_(source), targetPath_(target) {
    sourceHandle_ = OpenSource(source, sourceSize_);
}

FileJob::~FileJob() {
    target_.reset(); // the temporary goes before the source is let go
    CloseQuietly(sourceHandle_);
}

unsigned FileJob::sourcePermissions() const { return PermissionsOfOpenFile(sourceHandle_) & 0777u; }

void FileJob::CreateTarget(unsigned newFileMode, bool replace) {
    target_.emplace(targetPath_, newFileMode, sourceHandle_, source_,
                    replace ? Existing::Replace : Existing::Keep);
}

void FileJob::ReadSource(std::span<std::uint8_t> buffer, std::uint64_t offset) {
    if (ReadSourceUpTo(buffer, offset) != buffer.size())
        FailShorter(source_);
}

std::size_t FileJob::ReadSourceUpTo(std::span<std::uint8_t> buffer, std::uint64_t offset) {
    const IoResult r = ReadFullyAt(sourceHandle_, buffer, offset);
    if (!r.ok)
        FailRead(source_, r.error);
    return r.count;
}

void FileJob::WriteTarget(std::span<const std::uint8_t> bytes, std::uint64_t offset) {
    target_->WriteAt(bytes, offset);
}

void FileJob::Commit() {
    // The length was taken once at the start: a source that has grown
    // since would be cut silently.
    std::uint8_t probe = 0;
    if (ReadSourceUpTo(std::span(&probe, 1), sourceSize_) != 0)
        Fail(kErrChangedWhileRead, "cannot read", source_, "the file grew while it was read");
    target_->Commit();
}

} // namespace quillmoor
