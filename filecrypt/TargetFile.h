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
    // `newFileMode` is for a target that does not exist yet (the umask
    // applies); one that is replaced keeps its own mode, owner and group.
    // `source`, when open, is refused as the target (a hard link, or a link
    // to it), since its own lock would otherwise read as "in use". With
    // `replace` false an existing target is refused (326), both here and
    // when one appears before Commit().
    TargetFile(const std::filesystem::path& target, unsigned newFileMode,
               FileHandle source = kInvalidHandle, const std::filesystem::path& sourcePath = {},
               bool replace = true);
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
    bool replace_ = true;
};

} // namespace quillmoor
