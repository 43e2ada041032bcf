#include "filecrypt/FileJob.h"

#include "common/RuntimeError.h"

namespace quillmoor {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void Fail(int number, const char* what, const fs::path& path, const std::string& why) {
    throw RuntimeError(number, what, path, why);
}

} // namespace

FileJob::FileJob(const fs::path& source, const fs::path& target)
    : source_(source), targetPath_(target) {
    int error = 0;
    sourceHandle_ = OpenExistingForReading(source, error);
    if (sourceHandle_ < 0)
        Fail(IsKindRefusal(error) ? kErrNotRegularFile : kErrDeviceUnavailable, "cannot open",
             source, ErrorText(error));
    if (!SizeOfOpenFile(sourceHandle_, sourceSize_, error)) {
        CloseQuietly(sourceHandle_);
        Fail(kErrDeviceIo, "cannot read", source, ErrorText(error));
    }
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
        Fail(kErrChangedWhileRead, "cannot read", source_,
             "the file became shorter while it was read");
}

std::size_t FileJob::ReadSourceUpTo(std::span<std::uint8_t> buffer, std::uint64_t offset) {
    const IoResult r = ReadFullyAt(sourceHandle_, buffer, offset);
    if (!r.ok)
        Fail(kErrDeviceIo, "cannot read", source_, ErrorText(r.error));
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
