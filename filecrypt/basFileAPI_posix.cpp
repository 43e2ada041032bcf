#include "filecrypt/basFileAPI.h"

#include <cerrno>
#include <cstring>
#include <random>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/RuntimeError.h"

namespace quillmoor {

namespace fs = std::filesystem;

namespace {

constexpr char kTemporaryMark[] = ".quillmoor-";

// Takes the exclusive lock; on failure closes the descriptor.
FileHandle Locked(int fd, int& error) {
    if (fd < 0) {
        error = errno;
        return kInvalidHandle;
    }
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

// Removes temporary files of `name` that an earlier run left behind: one
// whose lock can be taken belongs to no running process.
void RemoveStaleTemporaries(const fs::path& folder, const std::string& name) {
    const std::string prefix = "." + name + kTemporaryMark;
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir)
        return;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string entryName = entry->d_name;
        if (entryName.size() != prefix.size() + 6 ||
            entryName.compare(0, prefix.size(), prefix) != 0)
            continue;
        const fs::path stale = folder / entryName;
        int error = 0;
        const int fd = Locked(::open(stale.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW), error);
        if (fd >= 0) {
            ::unlink(stale.c_str());
            ::close(fd);
        }
    }
    ::closedir(dir);
}

} // namespace

FileHandle OpenExistingForReading(const fs::path& path, int& error) {
    return Locked(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY), error);
}

FileHandle CreateForWriting(const fs::path& path, int& error) {
    // Truncate only once the lock is held, so a file held open elsewhere is left whole.
    const int fd =
        Locked(::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666), error);
    if (fd >= 0 && ::ftruncate(fd, 0) != 0) {
        error = errno;
        ::close(fd);
        return kInvalidHandle;
    }
    return fd;
}

FileHandle OpenExistingForUpdate(const fs::path& path, int& error) {
    const int fd =
        Locked(::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK), error);
    if (fd < 0)
        return kInvalidHandle;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        return kInvalidHandle;
    }
    return fd;
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

std::int64_t FileLength(const fs::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        throw RuntimeError(kErrFileNotFound, "File not found: '" + path.string() + "'");
    return static_cast<std::int64_t>(st.st_size);
}

FileHandle CreateTemporaryBeside(const fs::path& target, unsigned permissions, fs::path& temporary,
                                 int& error) {
    const fs::path folder = target.parent_path();
    const std::string name = target.filename().string();
    RemoveStaleTemporaries(folder, name);

    static constexpr char kLetters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device device;
    std::uniform_int_distribution<int> pick(0, sizeof kLetters - 2);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string suffix(6, 'x');
        for (char& c : suffix)
            c = kLetters[pick(device)];
        temporary = folder / ("." + name + kTemporaryMark + suffix);
        const int fd =
            ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0600);
        if (fd < 0 && errno == EEXIST)
            continue;
        const FileHandle handle = Locked(fd, error);
        if (handle >= 0)
            (void)::fchmod(handle, permissions & 0777u);
        else
            ::unlink(temporary.c_str());
        return handle;
    }
    error = EEXIST;
    return kInvalidHandle;
}

bool ReplaceWithTemporary(const fs::path& temporary, const fs::path& target, int& error) {
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        error = errno;
        return false;
    }
    // The rename itself must reach the device, or a crash could bring back
    // the old target (or no file at all).
    const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        (void)::fsync(dir);
        ::close(dir);
    }
    return true;
}

void RemoveQuietly(const fs::path& path) noexcept { ::unlink(path.c_str()); }

std::string ErrorText(int error) {
    if (error == EBUSY)
        return "the file is in use by another program";
    return std::strerror(error);
}

} // namespace quillmoor
