#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

// Thin, unbuffered access to whole files. Both opens are exclusive: while a
// handle is held no other open of the same file succeeds, in this process or
// another, so a create over a file held open as a source fails instead of
// truncating it. On POSIX the exclusion is an advisory flock(), which other
// Quillmoor processes and flock-aware programs honour; on Windows it is share
// mode 0, which every program meets. Paths reach the system unconverted
// (UTF-16 on Windows), so any name the file system holds can be opened.
namespace quillmoor {

using FileHandle = std::int32_t;
inline constexpr FileHandle kInvalidHandle = -1;

// The classic interface: -1 on a failed open or create, false on a failed
// read, write or close, and no reason given. Kept for its callers and as the
// tests' reference; the file routines use the forms with a reason below
// (ReadFullyAt, WriteFullyAt, FlushAndClose with an error).
[[nodiscard]] FileHandle OpenExistingForReading(const std::filesystem::path& path);
[[nodiscard]] FileHandle
CreateForWriting(const std::filesystem::path& path); // truncates once locked
// A short read at the end of the file succeeds; the rest of the buffer is left
// as it was. Error 9 if the buffer is empty or smaller than count.
[[nodiscard]] bool ReadBytesFromFile(FileHandle handle, std::span<std::uint8_t> buffer,
                                     std::int32_t count);
[[nodiscard]] bool WriteBytesToFile(FileHandle handle, std::span<const std::uint8_t> buffer,
                                    std::int32_t count);
// Forces written data to the device, then closes.
[[nodiscard]] bool FlushAndClose(FileHandle handle);
// Size by path; works while the file is held open. Error 53 when there is no file.
std::int64_t FileLength(const std::filesystem::path& path);

// The same calls with the system's reason (an errno value) for a failure, and
// the few more that safe replacement of a target needs.
struct IoResult {
    bool ok = true;
    std::size_t count = 0; // bytes transferred
    int error = 0;         // the reason when !ok
};

[[nodiscard]] FileHandle OpenExistingForReading(const std::filesystem::path& path, int& error);
[[nodiscard]] FileHandle CreateForWriting(const std::filesystem::path& path, int& error);
// Reads until the buffer is full or the file ends (count < size then).
[[nodiscard]] IoResult ReadFully(FileHandle handle, std::span<std::uint8_t> buffer);
[[nodiscard]] IoResult WriteFully(FileHandle handle, std::span<const std::uint8_t> buffer);
// Positioned forms, for several threads working on one file at once.
[[nodiscard]] IoResult ReadFullyAt(FileHandle handle, std::span<std::uint8_t> buffer,
                                   std::uint64_t offset);
[[nodiscard]] IoResult WriteFullyAt(FileHandle handle, std::span<const std::uint8_t> buffer,
                                    std::uint64_t offset);
[[nodiscard]] bool FlushAndClose(FileHandle handle, int& error);
void CloseQuietly(FileHandle handle) noexcept; // for clean-up on a failure path
[[nodiscard]] bool SizeOfOpenFile(FileHandle handle, std::uint64_t& size, int& error);
[[nodiscard]] bool SyncOpenFile(FileHandle handle, int& error);
// Starts writing a just-written range to the device without waiting, so the
// device works while the caller writes on; SyncOpenFile still waits for all
// of it. Only a hint: it does nothing where the system has no such call.
void StartWriteBack(FileHandle handle, std::uint64_t offset, std::uint64_t length) noexcept;

// Opens an existing file for writing without truncating it, exclusively. Used
// to claim a target before it is replaced, so one held open elsewhere is
// refused. Fails with ENOENT when there is no file, EISDIR for a folder.
[[nodiscard]] FileHandle OpenExistingForUpdate(const std::filesystem::path& path, int& error);

// Creates a new, exclusively locked temporary file beside `target`, named
// ".NAME.quillmoor-XXXXXX", with the given permission bits. Leftovers of
// earlier runs that died (no longer locked) are removed first.
[[nodiscard]] FileHandle CreateTemporaryBeside(const std::filesystem::path& target,
                                               unsigned permissions,
                                               std::filesystem::path& temporary, int& error);
// Puts `temporary` in place of `target` in one step and makes the rename durable.
[[nodiscard]] bool ReplaceWithTemporary(const std::filesystem::path& temporary,
                                        const std::filesystem::path& target, int& error);
void RemoveQuietly(const std::filesystem::path& path) noexcept;
// Permission bits of an open file (0600 when they cannot be read).
unsigned PermissionsOfOpenFile(FileHandle handle) noexcept;

// The system's text for an error number.
std::string ErrorText(int error);

// The RuntimeError number for a failed write: disk full (61) when space or
// a size limit ran out, a device I/O error (57) otherwise.
int WriteErrorNumber(int error) noexcept;

} // namespace quillmoor
