#include "filecrypt/basFileAPI.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#ifdef __linux__
#include <sys/vfs.h>
#endif
#include <unistd.h>

#include "common/RuntimeError.h"
#include "filecrypt/FileAPISystem.h"

namespace quillmoor {

namespace fs = std::filesystem;

namespace {

// Takes the exclusive lock; on failure closes the descriptor.
FileHandle Locked(int fd, int& error) {
    if (fd < 0)
        return kInvalidHandle;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        error = errno == EWOULDBLOCK ? EBUSY : errno;
        ::close(fd);
        return kInvalidHandle;
    }
    return fd;
}

// Repeats a read or write call until `size` bytes are through, the file
// ends (reads only) or the call fails; interrupted calls are retried.
template <typename Call> IoResult Transfer(std::size_t size, bool isRead, Call call) {
    IoResult result;
    while (result.count < size) {
        const ssize_t moved = call(result.count);
        if (moved < 0 && errno == EINTR)
            continue;
        if (moved <= 0) {
            // A write that moves nothing would loop for ever: report it.
            if (moved < 0 || !isRead) {
                result.ok = false;
                result.error = moved < 0 ? errno : EIO;
            }
            break;
        }
        result.count += static_cast<std::size_t>(moved);
    }
    return result;
}

// 0 for a regular file, else the reason that names what it is.
int KindRefusalOf(mode_t mode) noexcept {
    if (S_ISREG(mode))
        return 0;
    if (S_ISDIR(mode))
        return EISDIR;
    if (S_ISFIFO(mode))
        return kRefusedFifo;
    if (S_ISCHR(mode))
        return kRefusedCharacterDevice;
    if (S_ISBLK(mode))
        return kRefusedBlockDevice;
    if (S_ISSOCK(mode))
        return kRefusedSocket;
    if (S_ISLNK(mode))
        return kRefusedSymbolicLink;
    return kRefusedOtherKind;
}

// /proc and /sys files call themselves regular but have no size: they read
// as a stream the file length knows nothing of.
bool IsKernelFile(int fd) noexcept {
#ifdef __linux__
    constexpr decltype(statfs::f_type) kProc = 0x9fa0, kSysfs = 0x62656572;
    struct statfs fsInfo {};
    return ::fstatfs(fd, &fsInfo) == 0 && (fsInfo.f_type == kProc || fsInfo.f_type == kSysfs);
#else
    (void)fd;
    return false;
#endif
}

// Opens `path` only when it is a regular file. O_NONBLOCK keeps a FIFO or a
// device from blocking the open; the kind is then checked on the descriptor
// itself, so a name swapped in between cannot slip through.
int OpenRegular(const fs::path& path, int flags, mode_t mode, int& error) {
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, mode);
    if (fd < 0) {
        error = errno;
        // A FIFO without a reader refuses a writer, a socket refuses any
        // open, O_NOFOLLOW refuses a link: say what the name is instead.
        struct stat st {};
        const bool follow = (flags & O_NOFOLLOW) == 0;
        if ((error == ENXIO || error == ELOOP || error == EOPNOTSUPP) &&
            (follow ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st)) == 0 &&
            KindRefusalOf(st.st_mode) != 0)
            error = KindRefusalOf(st.st_mode);
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        error = errno;
    else if (const int kind = KindRefusalOf(st.st_mode))
        error = kind;
    else if (IsKernelFile(fd))
        error = kRefusedKernelFile;
    else if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) == 0)
        return fd;
    else
        error = errno;
    ::close(fd);
    return -1;
}

struct FileId {
    dev_t device;
    ino_t inode;
};

bool IdOf(int fd, FileId& id) noexcept {
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return false;
    id = {st.st_dev, st.st_ino};
    return true;
}

// True while `path` still names the file open as `fd` (not followed).
bool NameStillRefersTo(const fs::path& path, int fd) noexcept {
    struct stat byName {};
    FileId open{};
    return IdOf(fd, open) && ::lstat(path.c_str(), &byName) == 0 && byName.st_dev == open.device &&
           byName.st_ino == open.inode;
}

// Removes a temporary file that an earlier run left behind: a regular file
// whose lock nobody holds. Opened without blocking and without following
// links, so a FIFO or a link planted under the name is neither waited on nor
// followed, and left alone. A live run holds its lock until its temporary
// file is renamed; once we hold the lock, the name must still refer to the
// file we locked, or it now belongs to someone else.
void RemoveIfStale(const fs::path& candidate) {
    int error = 0;
    const int fd = Locked(OpenRegular(candidate, O_RDONLY | O_NOFOLLOW, 0, error), error);
    if (fd < 0)
        return;
    if (NameStillRefersTo(candidate, fd))
        ::unlink(candidate.c_str());
    ::close(fd);
}

// The umask, read without changing it (a change would race with other
// threads creating files); where /proc has no such line, set and put back.
mode_t ProcessUmask() noexcept {
#ifdef __linux__
    if (std::FILE* status = std::fopen("/proc/self/status", "re")) {
        char line[256];
        unsigned mask = 0;
        bool found = false;
        while (!found && std::fgets(line, sizeof line, status))
            found = std::sscanf(line, "Umask: %o", &mask) == 1;
        std::fclose(status);
        if (found)
            return static_cast<mode_t>(mask);
    }
#endif
    const mode_t mask = ::umask(077);
    ::umask(mask);
    return mask;
}

fs::path FolderOf(const fs::path& target) {
    return target.parent_path().empty() ? fs::path(".") : target.parent_path();
}

// A file without a name in `folder` (O_TMPFILE), private to its owner: a
// run killed before it is linked in leaves nothing. -1 where the system or
// the file system has none; the named form is used there.
int CreateUnnamedIn(const fs::path& folder) {
#ifdef O_TMPFILE
    return ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, S_IRUSR | S_IWUSR);
#else
    (void)folder;
    return -1;
#endif
}

bool IsFileSystemOfTheKernel(const fs::path& folder) noexcept {
#ifdef __linux__
    constexpr decltype(statfs::f_type) kProc = 0x9fa0, kSysfs = 0x62656572;
    struct statfs fsInfo {};
    return ::statfs(folder.c_str(), &fsInfo) == 0 &&
           (fsInfo.f_type == kProc || fsInfo.f_type == kSysfs);
#else
    (void)folder;
    return false;
#endif
}

} // namespace

FileHandle OpenExistingForReading(const fs::path& path, int& error) {
    return Locked(OpenRegular(path, O_RDONLY, 0, error), error);
}

FileHandle CreateForWriting(const fs::path& path, int& error) {
    // Truncate only once the lock is held, so a file held open elsewhere is left whole.
    const int fd = Locked(OpenRegular(path, O_WRONLY | O_CREAT, 0666, error), error);
    if (fd >= 0 && ::ftruncate(fd, 0) != 0) {
        error = errno;
        ::close(fd);
        return kInvalidHandle;
    }
    return fd;
}

// O_EXCL never replaces a file and, with O_NOFOLLOW, never follows a link
// someone left in the way.
FileHandle CreateNewPrivateFile(const fs::path& path, int& error) {
    const int fd =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY,
               S_IRUSR | S_IWUSR);
    if (fd < 0)
        error = errno;
    return fd;
}

FileHandle OpenExistingForUpdate(const fs::path& path, int& error, Links links) {
    const int flags = O_WRONLY | (links == Links::Refuse ? O_NOFOLLOW : 0);
    return Locked(OpenRegular(path, flags, 0, error), error);
}

fs::path LinkTargetOf(const fs::path& path) {
    std::string target(256, '\0');
    for (;;) {
        const ssize_t length = ::readlink(path.c_str(), target.data(), target.size());
        if (length < 0)
            return {};
        if (static_cast<std::size_t>(length) < target.size()) {
            target.resize(static_cast<std::size_t>(length));
            return target;
        }
        target.resize(target.size() * 2);
    }
}

bool IsSameFile(FileHandle handle, const fs::path& path) noexcept {
    struct stat byName {};
    FileId open{};
    return IdOf(handle, open) && ::stat(path.c_str(), &byName) == 0 &&
           byName.st_dev == open.device && byName.st_ino == open.inode;
}

IoResult ReadFully(FileHandle handle, std::span<std::uint8_t> buffer) {
    return Transfer(buffer.size(), true, [&](std::size_t done) {
        return ::read(handle, buffer.data() + done, buffer.size() - done);
    });
}

IoResult WriteFully(FileHandle handle, std::span<const std::uint8_t> buffer) {
    return Transfer(buffer.size(), false, [&](std::size_t done) {
        return ::write(handle, buffer.data() + done, buffer.size() - done);
    });
}

IoResult ReadFullyAt(FileHandle handle, std::span<std::uint8_t> buffer, std::uint64_t offset) {
    return Transfer(buffer.size(), true, [&](std::size_t done) {
        return ::pread(handle, buffer.data() + done, buffer.size() - done,
                       static_cast<off_t>(offset + done));
    });
}

IoResult WriteFullyAt(FileHandle handle, std::span<const std::uint8_t> buffer,
                      std::uint64_t offset) {
    return Transfer(buffer.size(), false, [&](std::size_t done) {
        return ::pwrite(handle, buffer.data() + done, buffer.size() - done,
                        static_cast<off_t>(offset + done));
    });
}

bool RegularFileAhead(int fd, std::uint64_t& offset, std::uint64_t& size) noexcept {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    const off_t here = ::lseek(fd, 0, SEEK_CUR);
    if (here < 0 || here > st.st_size)
        return false;
    offset = static_cast<std::uint64_t>(here);
    size = static_cast<std::uint64_t>(st.st_size - here);
    return true;
}

// A descriptor is a FileHandle here.
IoResult ReadDescriptor(int fd, std::span<std::uint8_t> buffer) { return ReadFully(fd, buffer); }

IoResult ReadDescriptorAt(int fd, std::span<std::uint8_t> buffer, std::uint64_t offset) {
    return ReadFullyAt(fd, buffer, offset);
}

IoResult WriteDescriptor(int fd, std::span<const std::uint8_t> bytes) {
    return WriteFully(fd, bytes);
}

bool SyncOpenFile(FileHandle handle, int& error) {
    if (::fsync(handle) == 0)
        return true;
    error = errno;
    return false;
}

void StartWriteBack(FileHandle handle, std::uint64_t offset, std::uint64_t length) noexcept {
#ifdef __linux__
    (void)::sync_file_range(handle, static_cast<off_t>(offset), static_cast<off_t>(length),
                            SYNC_FILE_RANGE_WRITE);
#else
    (void)handle, (void)offset, (void)length;
#endif
}

bool FlushAndClose(FileHandle handle, int& error) {
    // A read-only descriptor may refuse fsync harmlessly; only close decides.
    (void)::fsync(handle);
    if (::close(handle) == 0)
        return true;
    error = errno;
    return false;
}

void CloseQuietly(FileHandle handle) noexcept {
    if (handle >= 0)
        ::close(handle);
}

bool SizeOfOpenFile(FileHandle handle, std::uint64_t& size, int& error) {
    struct stat st {};
    if (::fstat(handle, &st) != 0) {
        error = errno;
        return false;
    }
    size = static_cast<std::uint64_t>(st.st_size);
    return true;
}

unsigned PermissionsOfOpenFile(FileHandle handle) noexcept {
    struct stat st {};
    if (::fstat(handle, &st) != 0)
        return 0600;
    return static_cast<unsigned>(st.st_mode) & 07777u;
}

bool IsInSystemFolder(const fs::path& target) {
    std::error_code ec;
    const fs::path absolute = fs::absolute(target, ec);
    const fs::path folder = ec ? fs::path() : fs::weakly_canonical(absolute.parent_path(), ec);
    if (ec || folder.empty())
        return false;
    auto part = ++folder.begin(); // past the root "/"
    if (part != folder.end() && (*part == "proc" || *part == "sys"))
        return true;
    // /dev/shm is the one folder of plain files there (a RAM disk).
    if (part != folder.end() && *part == "dev")
        return ++part == folder.end() || *part != "shm";
    return IsFileSystemOfTheKernel(folder);
}

std::int64_t FileLength(const fs::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        throw RuntimeError(kErrFileNotFound, "File not found: '" + path.string() + "'");
    return static_cast<std::int64_t>(st.st_size);
}

FileHandle CreateTemporaryBeside(const fs::path& target, fs::path& temporary, int& error) {
    const std::vector<fs::path> candidates = TemporaryCandidates(target);
    for (const fs::path& candidate : candidates)
        RemoveIfStale(candidate);
    temporary.clear();
    int unnamedError = 0;
    const int unnamed = Locked(CreateUnnamedIn(FolderOf(target)), unnamedError);
    if (unnamed >= 0) {
        // Replacing takes one free name at the end: see now that there is one.
        if (std::any_of(candidates.begin(), candidates.end(), detail::IsFree))
            return unnamed;
        ::close(unnamed);
        error = detail::WhatIsInTheWay(candidates, temporary);
        return kInvalidHandle;
    }
    for (const fs::path& candidate : candidates) {
        // Private while it is written: whoever could open it now would read
        // all that is written into it later.
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY,
                              S_IRUSR | S_IWUSR);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            error = errno;
            return kInvalidHandle;
        }
        // Between the create and the lock another run's clean-up may have
        // taken the new file for a leftover and removed it: then the name
        // no longer refers to it, and the next name is tried.
        int lockError = 0;
        const FileHandle handle = Locked(fd, lockError);
        if (handle < 0)
            continue;
        if (!NameStillRefersTo(candidate, handle)) {
            ::close(handle);
            continue;
        }
        temporary = candidate;
        return handle;
    }
    error = detail::WhatIsInTheWay(candidates, temporary);
    return kInvalidHandle;
}

void SetFinalMode(FileHandle temporary, FileHandle replaced, unsigned newFileMode) noexcept {
    struct stat st {};
    if (replaced >= 0 && ::fstat(replaced, &st) == 0 && S_ISREG(st.st_mode) &&
        st.st_uid == ::geteuid()) {
        // The group first: changing it may clear mode bits that fchmod then
        // sets. Best effort: a group we are not in is not ours to give.
        [[maybe_unused]] const int groupKept =
            ::fchown(temporary, static_cast<uid_t>(-1), st.st_gid);
        (void)::fchmod(temporary, st.st_mode & 0777u);
        return;
    }
    // Someone else's file, or a new name: ours, as a new file would be.
    (void)::fchmod(temporary, static_cast<mode_t>(newFileMode & ~ProcessUmask() & 0777u));
}

namespace {

// A rename that fails on an existing name: in one step where the file system
// can, else as a hard link (which never replaces) and the old name's removal.
bool RenameWithoutReplacing(const fs::path& from, const fs::path& to) {
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
#endif
    if (::link(from.c_str(), to.c_str()) != 0)
        return false;
    ::unlink(from.c_str());
    return true;
}

} // namespace

namespace {

// Gives the unnamed file `fd` the name `to`; fails with EEXIST where a name
// is taken. Through /proc, or by the descriptor itself where the process
// may (AT_EMPTY_PATH), when /proc is not there.
bool LinkUnnamed(int fd, const fs::path& to) {
    const std::string byProc = "/proc/self/fd/" + std::to_string(fd);
    if (::linkat(AT_FDCWD, byProc.c_str(), AT_FDCWD, to.c_str(), AT_SYMLINK_FOLLOW) == 0)
        return true;
    if (errno != ENOENT)
        return false;
#ifdef AT_EMPTY_PATH
    return ::linkat(fd, "", AT_FDCWD, to.c_str(), AT_EMPTY_PATH) == 0;
#else
    return false;
#endif
}

void SyncFolderOf(const fs::path& target) {
    const int dir = ::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        (void)::fsync(dir);
        ::close(dir);
    }
}

// A link never replaces, so a target to be kept takes the file in one step;
// one to be replaced gets it under a free temporary name, renamed over it.
bool ReplaceWithUnnamed(int fd, const fs::path& target, int& error, Existing existing) {
    bool done = false;
    if (existing == Existing::Keep) {
        done = LinkUnnamed(fd, target);
        error = done ? 0 : errno;
    } else {
        error = EBUSY;
        for (const fs::path& candidate : TemporaryCandidates(target)) {
            if (!LinkUnnamed(fd, candidate)) {
                if (errno == EEXIST)
                    continue;
                error = errno;
                break;
            }
            done = ::rename(candidate.c_str(), target.c_str()) == 0;
            error = done ? 0 : errno;
            if (!done)
                ::unlink(candidate.c_str());
            break;
        }
    }
    ::close(fd);
    if (done)
        SyncFolderOf(target);
    return done;
}

} // namespace

bool ReplaceWithTemporary(const fs::path& temporary, const fs::path& target, int& error,
                          Existing existing) {
    const bool moved = existing == Existing::Replace
                           ? ::rename(temporary.c_str(), target.c_str()) == 0
                           : RenameWithoutReplacing(temporary, target);
    if (!moved) {
        error = errno;
        return false;
    }
    // The rename itself must reach the device, or a crash could bring back
    // the old target (or no file at all).
    SyncFolderOf(target);
    return true;
}

bool ReplaceWithTemporary(FileHandle handle, const fs::path& temporary, const fs::path& target,
                          int& error, Existing existing) {
    if (temporary.empty())
        return ReplaceWithUnnamed(handle, target, error, existing);
    // Held locked through the rename, so no clean-up can take it meanwhile.
    if (ReplaceWithTemporary(temporary, target, error, existing)) {
        ::close(handle); // synced before: nothing is left to report
        return true;
    }
    DiscardTemporary(handle, temporary);
    return false;
}

void DiscardTemporary(FileHandle handle, const fs::path& temporary) noexcept {
    // Removed while still locked: once the lock goes, the name may be
    // another run's. An unnamed file goes with its last descriptor.
    if (!temporary.empty())
        ::unlink(temporary.c_str());
    ::close(handle);
}

void RemoveQuietly(const fs::path& path) noexcept { ::unlink(path.c_str()); }

std::string detail::SystemErrorText(int error) { return std::strerror(error); }

std::optional<FileIdentity> IdentityOfDescriptor(int fd) noexcept {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return FileIdentity{static_cast<std::uint64_t>(st.st_dev),
                        static_cast<std::uint64_t>(st.st_ino)};
}

std::optional<FileIdentity> IdentityOfPath(const fs::path& path) noexcept {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return FileIdentity{static_cast<std::uint64_t>(st.st_dev),
                        static_cast<std::uint64_t>(st.st_ino)};
}

} // namespace quillmoor
