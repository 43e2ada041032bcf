#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>

#include "filecrypt/TargetFile.h"
#include "filecrypt/basFileAPI.h"

// Used by the file routines only (not part of the core's interface).
namespace quillmoor {

// One run over a source and a target: holds the source open, claims an
// existing target so nobody else has it while we work, and writes into a
// temporary file that replaces the target only on Commit(). Whatever ends
// the run early (error, cancel, exception) leaves no trace.
class FileJob {
  public:
    // Opens the source and takes its length; raises RuntimeError.
    FileJob(const std::filesystem::path& source, const std::filesystem::path& target);
    FileJob(const FileJob&) = delete;
    FileJob& operator=(const FileJob&) = delete;
    ~FileJob();

    [[nodiscard]] std::uint64_t sourceSize() const { return sourceSize_; }
    [[nodiscard]] const std::filesystem::path& sourcePath() const { return source_; }
    [[nodiscard]] unsigned sourcePermissions() const;

    // `newFileMode` is for a target that does not exist yet (the umask
    // applies) or one of another user; a regular file of the running user
    // that is replaced keeps its own mode and group (TargetFile).
    void CreateTarget(unsigned newFileMode, bool replace);
    // The target of an encryption: a new one takes the source's mode. One
    // place for the rule, whichever routine encrypts.
    void CreateEncryptedTarget(bool replace) { CreateTarget(sourcePermissions(), replace); }

    // Reads exactly buffer.size() bytes at `offset`; a source that ends early
    // has changed under us, and going on would write a file that matches
    // nothing. Safe to call from several threads at once.
    void ReadSource(std::span<std::uint8_t> buffer, std::uint64_t offset);
    // Reads what is there, up to buffer.size() bytes.
    std::size_t ReadSourceUpTo(std::span<std::uint8_t> buffer, std::uint64_t offset);

    void WriteTarget(std::span<const std::uint8_t> bytes, std::uint64_t offset);
    // Checks the source kept its length, then puts the target in place.
    void Commit();

  private:
    std::filesystem::path source_, targetPath_;
    FileHandle sourceHandle_ = kInvalidHandle;
    std::optional<TargetFile> target_;
    std::uint64_t sourceSize_ = 0;
};

} // namespace quillmoor
