#pragma once

#include <cstdint>
#include <filesystem>
#include <span>

#include "filecrypt/basFileAPI.h"

// The target of a file routine or a stream run: written to a temporary file
// beside it that takes its place in one step on Commit(). An existing target
// is claimed (held exclusively) from the start, and whatever ends the run
// early leaves no trace: no partial file, the old target whole.
namespace quillmoor {

class TargetFile {
  public:
    // The file is private to its owner while it is written. On Commit() it
    // takes `newFileMode` less the umask, unless it replaces a regular file
    // of the running user, whose mode and group it keeps (SetFinalMode).
    // `source`, when open, is refused as the target (a hard link, or a link
    // to it), since its own lock would otherwise read as "in use". Refused
    // too: a target that is a symbolic link (323, naming where it points),
    // and one in /dev, /proc or /sys. With Existing::Keep an existing target
    // is refused (326), both here and when one appears before Commit().
    TargetFile(const std::filesystem::path& target, unsigned newFileMode,
               FileHandle source = kInvalidHandle, const std::filesystem::path& sourcePath = {},
               Existing existing = Existing::Replace);
    ~TargetFile();
    TargetFile(const TargetFile&) = delete;
    TargetFile& operator=(const TargetFile&) = delete;

    // Safe to call from several threads at once for different ranges.
    void WriteAt(std::span<const std::uint8_t> bytes, std::uint64_t offset);
    // Forces the bytes to the device and puts the file in place of the target.
    void Commit();

    [[nodiscard]] const std::filesystem::path& path() const { return target_; }

  private:
    std::filesystem::path target_, temporary_;
    FileHandle claim_ = kInvalidHandle, handle_ = kInvalidHandle;
    int registered_ = -1; // a named temporary's slot in TemporaryRegistry
    unsigned newFileMode_;
    Existing existing_;
};

} // namespace quillmoor
