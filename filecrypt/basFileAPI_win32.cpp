#include "filecrypt/basFileAPI.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <random>
#include <string>
#include <system_error>
#include <type_traits>
#include <unordered_map>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "common/RuntimeError.h"

// The Win32 side of the layer. Paths go to the "W" calls as UTF-16 (the
// native form of std::filesystem::path here), so a name outside the ANSI code
// page reaches the file it names. Every open uses share mode 0: while a handle
// is held, no other open of the file succeeds, in this process or another,
// and that includes a create that would truncate it.
namespace quillmoor {

namespace fs = std::filesystem;

namespace {

constexpr wchar_t kTemporaryMark[] = L".quillmoor-";

// ReadFile and WriteFile count in DWORDs; larger transfers go in pieces.
constexpr std::size_t kMaxTransfer = std::size_t{1} << 30;

// Win32 error codes without an errno counterpart travel as this base plus the
// code, so ErrorText can still give the system's own words for them.
constexpr int kSystemErrorBase = 0x10000;

// The errno value the callers test for (ENOENT, EISDIR, EBUSY, ENOSPC...).
int ErrnoOf(DWORD code) {
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME: return ENOENT;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE: return EBUSY;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_PRIVILEGE_NOT_HELD:
    case ERROR_NETWORK_ACCESS_DENIED:
    case ERROR_CANNOT_MAKE: return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_FILE_TOO_LARGE: return EFBIG;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return EEXIST;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_DIRECTORY:
    case ERROR_INVALID_PARAMETER: return EINVAL;
    case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
    case ERROR_INVALID_HANDLE: return EBADF;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return ENOMEM;
    case ERROR_TOO_MANY_OPEN_FILES: return EMFILE;
    case ERROR_NOT_SAME_DEVICE: return EXDEV;
    case ERROR_DIR_NOT_EMPTY: return ENOTEMPTY;
    case ERROR_NOT_READY:
    case ERROR_CRC:
    case ERROR_SEEK:
    case ERROR_SECTOR_NOT_FOUND:
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT:
    case ERROR_GEN_FAILURE:
    case ERROR_IO_DEVICE:
    case ERROR_DEV_NOT_EXIST: return EIO;
    default: return code < 0x10000 ? kSystemErrorBase + static_cast<int>(code) : EIO;
    }
}

int LastError() { return ErrnoOf(::GetLastError()); }

// FileHandle is a signed 32-bit number, a HANDLE is pointer-sized. Rather than
// squeeze HANDLEs into 32 bits, the layer keeps the ones it opened in a table
// and hands out numbers from a counter that does not come back to a number
// until 2^31 opens later. A stale, closed or foreign number then finds nothing
// and fails with EBADF, instead of reaching a HANDLE that the system has since
// given to another file. The lock guards only the table, never the I/O.
class HandleTable {
  public:
    FileHandle Add(HANDLE handle) {
        const std::lock_guard lock(mutex_);
        do
            next_ = next_ == INT32_MAX ? 1 : next_ + 1;
        while (handles_.count(next_) != 0);
        handles_.emplace(next_, handle);
        return next_;
    }

    HANDLE Find(FileHandle number) const {
        const std::lock_guard lock(mutex_);
        const auto it = handles_.find(number);
        return it == handles_.end() ? INVALID_HANDLE_VALUE : it->second;
    }

    HANDLE Take(FileHandle number) {
        const std::lock_guard lock(mutex_);
        const auto it = handles_.find(number);
        if (it == handles_.end())
            return INVALID_HANDLE_VALUE;
        const HANDLE handle = it->second;
        handles_.erase(it);
        return handle;
    }

  private:
    mutable std::mutex mutex_;
    std::unordered_map<FileHandle, HANDLE> handles_;
    FileHandle next_ = 0;
};

HandleTable& Handles() {
    static HandleTable table;
    return table;
}

// The path as the "W" calls take it. From 248 characters on (a folder's limit;
// a file's is 260) it gets the \\?\ prefix that lifts the limit; the prefix
// also turns off the system's tidying of the name, so the path is made full,
// with "." and ".." resolved and "/" turned into "\", first.
std::wstring SystemPath(const fs::path& path) {
    constexpr std::size_t kLimit = MAX_PATH - 12;
    const std::wstring& native = path.native();
    if (native.size() < kLimit || native.rfind(L"\\\\?\\", 0) == 0 ||
        native.rfind(L"\\\\.\\", 0) == 0)
        return native;
    const DWORD size = ::GetFullPathNameW(native.c_str(), 0, nullptr, nullptr);
    std::wstring full(size, L'\0');
    const DWORD length = size ? ::GetFullPathNameW(native.c_str(), size, full.data(), nullptr) : 0;
    if (length == 0 || length >= size)
        return native;
    full.resize(length);
    if (full.rfind(L"\\\\", 0) == 0) // \\server\share\...
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

bool IsFolder(const fs::path& path) {
    const DWORD attributes = ::GetFileAttributesW(SystemPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// CreateFileW with share mode 0; -1 and the reason on failure. A folder is
// refused by the system with "access denied", which is reported as EISDIR.
FileHandle Open(const fs::path& path, DWORD access, DWORD disposition, int& error) {
    const HANDLE handle = ::CreateFileW(SystemPath(path).c_str(), access, 0, nullptr, disposition,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        error = code == ERROR_ACCESS_DENIED && IsFolder(path) ? EISDIR : ErrnoOf(code);
        return kInvalidHandle;
    }
    return Handles().Add(handle);
}

OVERLAPPED At(std::uint64_t offset) {
    OVERLAPPED overlapped{};
    overlapped.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
    overlapped.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return overlapped;
}

// Reads or writes until done; `positioned` gives the file offset of the first
// byte (a synchronous handle still waits for each call to complete).
template <typename Byte>
IoResult Transfer(FileHandle number, std::span<Byte> buffer, const std::uint64_t* positioned) {
    IoResult result;
    const HANDLE handle = Handles().Find(number);
    if (handle == INVALID_HANDLE_VALUE) {
        result.ok = false;
        result.error = EBADF;
        return result;
    }
    while (result.count < buffer.size()) {
        const DWORD want = static_cast<DWORD>(std::min(buffer.size() - result.count, kMaxTransfer));
        DWORD done = 0;
        OVERLAPPED overlapped{};
        if (positioned)
            overlapped = At(*positioned + result.count);
        BOOL ok;
        if constexpr (std::is_const_v<Byte>)
            ok = ::WriteFile(handle, buffer.data() + result.count, want, &done,
                             positioned ? &overlapped : nullptr);
        else
            ok = ::ReadFile(handle, buffer.data() + result.count, want, &done,
                            positioned ? &overlapped : nullptr);
        if (!ok) {
            const DWORD code = ::GetLastError();
            if (code == ERROR_HANDLE_EOF) // a positioned read past the end
                break;
            result.ok = false;
            result.error = ErrnoOf(code);
            break;
        }
        if (done == 0) {
            // A write that moves nothing would loop for ever: report it.
            if constexpr (std::is_const_v<Byte>) {
                result.ok = false;
                result.error = EIO;
            }
            break;
        }
        result.count += done;
    }
    return result;
}

std::string Utf8Of(const wchar_t* text, int length) {
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(std::max(size, 0)), '\0');
    if (size > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), size, nullptr, nullptr);
    return out;
}

std::string Utf8Of(const fs::path& path) {
    return Utf8Of(path.c_str(), static_cast<int>(path.native().size()));
}

// Removes temporary files of `name` that an earlier run left behind. One that
// a running Quillmoor holds open (share mode 0) refuses the delete and stays.
void RemoveStaleTemporaries(const fs::path& folder, const std::wstring& name) {
    const std::wstring prefix = L"." + name + kTemporaryMark;
    std::error_code ec;
    for (fs::directory_iterator it(folder.empty() ? fs::path(L".") : folder, ec), end;
         !ec && it != end; it.increment(ec)) {
        const std::wstring entry = it->path().filename().native();
        if (entry.size() == prefix.size() + 6 && entry.compare(0, prefix.size(), prefix) == 0)
            ::DeleteFileW(SystemPath(it->path()).c_str());
    }
}

} // namespace

FileHandle OpenExistingForReading(const fs::path& path, int& error) {
    return Open(path, GENERIC_READ, OPEN_EXISTING, error);
}

// CREATE_ALWAYS truncates only once the open itself has succeeded, and share
// mode 0 makes the open fail on a file held open anywhere: such a file is left whole.
FileHandle CreateForWriting(const fs::path& path, int& error) {
    return Open(path, GENERIC_WRITE, CREATE_ALWAYS, error);
}

FileHandle OpenExistingForUpdate(const fs::path& path, int& error) {
    const FileHandle number = Open(path, GENERIC_WRITE, OPEN_EXISTING, error);
    if (number < 0)
        return kInvalidHandle;
    // A device name such as NUL or COM1 opens too; only a file on disk will do.
    if (::GetFileType(Handles().Find(number)) != FILE_TYPE_DISK) {
        error = EINVAL;
        CloseQuietly(number);
        return kInvalidHandle;
    }
    return number;
}

IoResult ReadFully(FileHandle handle, std::span<std::uint8_t> buffer) {
    return Transfer(handle, buffer, nullptr);
}

IoResult ReadFullyAt(FileHandle handle, std::span<std::uint8_t> buffer, std::uint64_t offset) {
    return Transfer(handle, buffer, &offset);
}

IoResult WriteFully(FileHandle handle, std::span<const std::uint8_t> buffer) {
    return Transfer(handle, buffer, nullptr);
}

IoResult WriteFullyAt(FileHandle handle, std::span<const std::uint8_t> buffer,
                      std::uint64_t offset) {
    return Transfer(handle, buffer, &offset);
}

bool SyncOpenFile(FileHandle handle, int& error) {
    const HANDLE h = Handles().Find(handle);
    if (h == INVALID_HANDLE_VALUE) {
        error = EBADF;
        return false;
    }
    if (::FlushFileBuffers(h))
        return true;
    error = LastError();
    return false;
}

// FlushFileBuffers is the only way to the device, and it waits.
void StartWriteBack(FileHandle, std::uint64_t, std::uint64_t) noexcept {}

bool FlushAndClose(FileHandle handle, int& error) {
    const HANDLE h = Handles().Take(handle);
    if (h == INVALID_HANDLE_VALUE) {
        error = EBADF;
        return false;
    }
    // Fails harmlessly on a handle opened for reading; only the close decides.
    (void)::FlushFileBuffers(h);
    if (::CloseHandle(h))
        return true;
    error = LastError();
    return false;
}

void CloseQuietly(FileHandle handle) noexcept {
    if (handle < 0)
        return;
    const HANDLE h = Handles().Take(handle);
    if (h != INVALID_HANDLE_VALUE)
        ::CloseHandle(h);
}

bool SizeOfOpenFile(FileHandle handle, std::uint64_t& size, int& error) {
    const HANDLE h = Handles().Find(handle);
    LARGE_INTEGER length{};
    if (h == INVALID_HANDLE_VALUE || !::GetFileSizeEx(h, &length)) {
        error = h == INVALID_HANDLE_VALUE ? EBADF : LastError();
        return false;
    }
    size = static_cast<std::uint64_t>(length.QuadPart);
    return true;
}

// Windows keeps no mode bits: owner read, and owner write unless the file is
// marked read-only.
unsigned PermissionsOfOpenFile(FileHandle handle) noexcept {
    BY_HANDLE_FILE_INFORMATION info{};
    const HANDLE h = Handles().Find(handle);
    if (h == INVALID_HANDLE_VALUE || !::GetFileInformationByHandle(h, &info))
        return 0600;
    return (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0 ? 0400 : 0600;
}

// Reads the size from the folder entry, so it works while the file is held
// open with share mode 0.
std::int64_t FileLength(const fs::path& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(SystemPath(path).c_str(), GetFileExInfoStandard, &data))
        throw RuntimeError(kErrFileNotFound, "File not found: '" + Utf8Of(path) + "'");
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) |
                                     data.nFileSizeLow);
}

// The new file takes the folder's inherited access rights like any file made
// there: Windows has no mode bits to copy, so `permissions` is not used.
FileHandle CreateTemporaryBeside(const fs::path& target, unsigned /*permissions*/,
                                 fs::path& temporary, int& error) {
    const fs::path folder = target.parent_path();
    const std::wstring name = target.filename().native();
    RemoveStaleTemporaries(folder, name);

    static constexpr wchar_t kLetters[] =
        L"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device device;
    std::uniform_int_distribution<int> pick(0, static_cast<int>(std::size(kLetters)) - 2);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::wstring suffix(6, L'x');
        for (wchar_t& c : suffix)
            c = kLetters[pick(device)];
        temporary = folder / (L"." + name + kTemporaryMark + suffix);
        const FileHandle handle = Open(temporary, GENERIC_WRITE, CREATE_NEW, error);
        if (handle < 0 && error == EEXIST)
            continue;
        return handle;
    }
    error = EEXIST;
    return kInvalidHandle;
}

// A rename within one folder, so it is atomic; write-through makes it durable
// before the call returns. Fails while anyone holds the target open.
bool ReplaceWithTemporary(const fs::path& temporary, const fs::path& target, int& error) {
    if (::MoveFileExW(SystemPath(temporary).c_str(), SystemPath(target).c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    error = LastError();
    return false;
}

void RemoveQuietly(const fs::path& path) noexcept { ::DeleteFileW(SystemPath(path).c_str()); }

std::string ErrorText(int error) {
    if (error == EBUSY)
        return "the file is in use by another program";
    if (error >= kSystemErrorBase) {
        wchar_t* text = nullptr;
        const DWORD length =
            ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, static_cast<DWORD>(error - kSystemErrorBase), 0,
                             reinterpret_cast<wchar_t*>(&text), 0, nullptr);
        std::string message = length > 0 ? Utf8Of(text, static_cast<int>(length)) : std::string();
        ::LocalFree(text);
        while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                    message.back() == ' ' || message.back() == '.'))
            message.pop_back();
        if (message.empty())
            message = "system error " + std::to_string(error - kSystemErrorBase);
        return message;
    }
    return std::strerror(error);
}

} // namespace quillmoor
