#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

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

// The interface without reasons: -1 on a failed open or create, false on a failed
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

// Reasons of the layer's own, for what the system has no error number: a
// name that is not a regular file says what it is instead. They travel in
// the same `error` as the errno values, and ErrorText words them.
enum FileRefusal : int {
    kRefusedFifo = 0x20001,
    kRefusedCharacterDevice,
    kRefusedBlockDevice,
    kRefusedSocket,
    kRefusedSymbolicLink,
    kRefusedKernelFile, // /proc, /sys: regular by its mode, but its size means nothing
    kRefusedOtherKind,
    kRefusedSameFile,
    kRefusedSystemFolder, // inside /dev, /proc or /sys: never created, replaced or renamed over
};

// True when what the name leads to is not a regular file: EISDIR for a
// folder, or one of the above other than a link or the same file.
bool IsKindRefusal(int error) noexcept;

// Only regular files open: anything else fails with EISDIR or a FileRefusal,
// without blocking on a FIFO or a device. Links are followed.
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

// Creates a file that must not exist yet (nor a link at its name), readable
// and writable by its owner only: EEXIST when something is there.
[[nodiscard]] FileHandle CreateNewPrivateFile(const std::filesystem::path& path, int& error);

enum class Links { Follow, Refuse };

// What becomes of a file already at a target's name: replaced, or kept (and
// the run refused).
enum class Existing { Replace, Keep };

// Opens an existing regular file for writing without truncating it,
// exclusively. Used to claim a target before it is replaced, so one held
// open elsewhere is refused, and by the wipe, which refuses a symbolic link
// (kRefusedSymbolicLink) rather than overwrite what it points to. Fails with
// ENOENT when there is no file, EISDIR or a FileRefusal for anything else.
[[nodiscard]] FileHandle OpenExistingForUpdate(const std::filesystem::path& path, int& error,
                                               Links links = Links::Follow);

// What a symbolic link points to, as it is written in the link; empty when
// `path` is no link or cannot be read.
std::filesystem::path LinkTargetOf(const std::filesystem::path& path);

// True when `path` names the very file open as `handle` (same device and
// inode; on Windows same volume and file index), through a link or a hard
// link as well.
[[nodiscard]] bool IsSameFile(FileHandle handle, const std::filesystem::path& path) noexcept;

// The names a temporary file for `target` may take: ".quillmoor-HHHHHHHH-SS"
// in its folder, H a hash of the target's name and S a slot number. They are
// the same few for every run over that target, so leftovers are found
// without reading the folder, and short, so any target name that fits the
// file system has room for them.
inline constexpr unsigned kTemporarySlots = 16;
std::vector<std::filesystem::path> TemporaryCandidates(const std::filesystem::path& target);

// True when `target` would land in /dev, /proc or /sys (links and ".."
// resolved): no file is written there, whatever its name.
[[nodiscard]] bool IsInSystemFolder(const std::filesystem::path& target);

// Creates a new, exclusively locked temporary file for `target`, readable
// and writable by its owner only (less the umask) until SetFinalMode. Where
// the file system can, it has no name until it replaces the target
// (`temporary` is then empty), so a killed run leaves nothing; elsewhere it
// takes one of the candidate names. Leftovers of earlier runs under those
// names that died (regular files that nobody holds locked) are removed
// first; anything else there is left alone. When no name is free because
// something other than a file is there, `temporary` names the first such
// thing and `error` says what it is. The lock is held from creation until
// the file is closed, so no other run's clean-up ever takes a live one.
[[nodiscard]] FileHandle CreateTemporaryBeside(const std::filesystem::path& target,
                                               std::filesystem::path& temporary, int& error);
// The mode the temporary file takes just before it replaces the target. A
// replaced target (`replaced`, open) that is a regular file of the running
// user passes on its mode and group; anything else, and a new name, gives
// `newFileMode` less the umask. The owner is always the running user.
void SetFinalMode(FileHandle temporary, FileHandle replaced, unsigned newFileMode) noexcept;
// Puts `temporary` in place of `target` in one step and makes the rename
// durable. With Existing::Keep, a file (or link) at `target` stays and the
// call fails with EEXIST, however late it appeared.
[[nodiscard]] bool ReplaceWithTemporary(const std::filesystem::path& temporary,
                                        const std::filesystem::path& target, int& error,
                                        Existing existing = Existing::Replace);
// The same for a temporary file still open and synced: it stays locked
// through the rename and is closed afterwards; on failure it is removed.
[[nodiscard]] bool ReplaceWithTemporary(FileHandle handle, const std::filesystem::path& temporary,
                                        const std::filesystem::path& target, int& error,
                                        Existing existing = Existing::Replace);
// Removes a temporary file that is still open, then closes it.
void DiscardTemporary(FileHandle handle, const std::filesystem::path& temporary) noexcept;
void RemoveQuietly(const std::filesystem::path& path) noexcept;
// Permission bits of an open file (0600 when they cannot be read).
unsigned PermissionsOfOpenFile(FileHandle handle) noexcept;

// What makes a file itself whatever names reach it: device and inode (on
// Windows volume serial and file index). Two names, two descriptors or a
// name and a descriptor reach one file exactly when these agree.
struct FileIdentity {
    std::uint64_t device = 0, inode = 0;
    auto operator<=>(const FileIdentity&) const = default;
};
// Only regular files have one here: a terminal or /dev/null at both ends of
// a stream is no conflict.
// Of the file a C runtime descriptor (standard input or output) is open on.
[[nodiscard]] std::optional<FileIdentity> IdentityOfDescriptor(int fd) noexcept;
// Of the file `path` leads to (links followed); nothing when there is none.
[[nodiscard]] std::optional<FileIdentity>
IdentityOfPath(const std::filesystem::path& path) noexcept;
// C runtime descriptors (standard input and output), which the streams use
// as they come; failures give the errno value.
// The part of a regular file still to be read from `fd`: where its offset
// stands and how many bytes follow; false for anything else (a pipe, a
// terminal).
[[nodiscard]] bool RegularFileAhead(int fd, std::uint64_t& offset, std::uint64_t& size) noexcept;
// Reads until the buffer is full or the input ends.
[[nodiscard]] IoResult ReadDescriptor(int fd, std::span<std::uint8_t> buffer);
// The same at `offset`, leaving the descriptor's own offset where it was.
[[nodiscard]] IoResult ReadDescriptorAt(int fd, std::span<std::uint8_t> buffer,
                                        std::uint64_t offset);
// Writes all of `bytes`; count says how many went out, also on a failure.
[[nodiscard]] IoResult WriteDescriptor(int fd, std::span<const std::uint8_t> bytes);

#ifdef _WIN32
// The system's own words for a Win32 error code (GetLastError), as UTF-8,
// without the line end and full stop it ends with; "system error N" when
// the system has none.
std::string SystemMessageText(unsigned long code);
#endif

// The system's text for an error number.
std::string ErrorText(int error);

// The RuntimeError number for a failed write: disk full (61) when space or
// a size limit ran out, a device I/O error (57) otherwise.
int WriteErrorNumber(int error) noexcept;

} // namespace quillmoor
