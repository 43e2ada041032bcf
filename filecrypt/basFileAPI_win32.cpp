#include "filecrypt/basFileAPI.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>
#include <system_error>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "common/WindowsApi.h"

#include <io.h>
#include <sys/stat.h>

#include "common/RuntimeError.h"
#include "common/ScopedHandle.h"
#include "filecrypt/FileAPISystem.h"

// The Win32 side of the layer. Paths go to the "W" calls as UTF-16 (the
// native form of std::filesystem::path here), so a name outside the ANSI code
// page reaches the file it names. Every open uses share mode 0: while a handle
// is held, no other open of the file succeeds, in this process or another,
// and that includes a create that would truncate it.
namespace quillmoor {

namespace fs = std::filesystem;

namespace {

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

// 0 for a file on disk, else the reason that names what the handle is: a
// device name such as NUL or COM1 and a pipe open too.
int KindRefusalOf(HANDLE handle, bool refuseLinks) {
    switch (::GetFileType(handle)) {
    case FILE_TYPE_DISK: break;
    case FILE_TYPE_CHAR: return kRefusedCharacterDevice;
    case FILE_TYPE_PIPE: return kRefusedFifo;
    default: return kRefusedOtherKind;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (refuseLinks && ::GetFileInformationByHandle(handle, &info) &&
        (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return kRefusedSymbolicLink;
    return 0;
}

// CreateFileW with share mode 0, on regular files only; -1 and the reason on
// failure. A folder is refused by the system with "access denied", which is
// reported as EISDIR. With `refuseLinks`, a reparse point (a symbolic link,
// a junction) is opened itself, not followed, and then refused.
FileHandle Open(const fs::path& path, DWORD access, DWORD disposition, int& error,
                bool refuseLinks = false, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
    const DWORD flags = attributes | (refuseLinks ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
    ScopedFileHandle handle(
        ::CreateFileW(SystemPath(path).c_str(), access, 0, nullptr, disposition, flags, nullptr));
    if (!handle.valid()) {
        const DWORD code = ::GetLastError();
        error = code == ERROR_ACCESS_DENIED && IsFolder(path) ? EISDIR : ErrnoOf(code);
        // A name Windows cannot hold (a wildcard that matched nothing, say)
        // names no existing file: it is missing, as anywhere else.
        if (code == ERROR_INVALID_NAME && disposition == OPEN_EXISTING)
            error = ENOENT;
        return kInvalidHandle;
    }
    if (const int kind = KindRefusalOf(handle.get(), refuseLinks)) {
        error = kind;
        return kInvalidHandle;
    }
    return Handles().Add(handle.release());
}

// A handle that only asks about a file (following links): it needs no share
// mode, so it opens even while the file is held with share mode 0.
ScopedFileHandle QueryHandle(const fs::path& path) {
    return ScopedFileHandle(::CreateFileW(
        SystemPath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

// Only a plain file left behind is taken for a leftover: not a folder, not a
// link planted under the name.
bool IsPlainFile(const fs::path& path) {
    const DWORD attributes = ::GetFileAttributesW(SystemPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
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

} // namespace

FileHandle OpenExistingForReading(const fs::path& path, int& error) {
    return Open(path, GENERIC_READ, OPEN_EXISTING, error);
}

// CREATE_ALWAYS truncates only once the open itself has succeeded, and share
// mode 0 makes the open fail on a file held open anywhere: such a file is left whole.
FileHandle CreateForWriting(const fs::path& path, int& error) {
    return Open(path, GENERIC_WRITE, CREATE_ALWAYS, error);
}

// CREATE_NEW never replaces a file, nor opens one through a link at the name.
FileHandle CreateNewPrivateFile(const fs::path& path, int& error) {
    return Open(path, GENERIC_WRITE, CREATE_NEW, error);
}

FileHandle OpenExistingForUpdate(const fs::path& path, int& error, Links links) {
    return Open(path, GENERIC_WRITE, OPEN_EXISTING, error, links == Links::Refuse);
}

fs::path LinkTargetOf(const fs::path& path) {
    const DWORD attributes = ::GetFileAttributesW(SystemPath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
        return {};
    const ScopedFileHandle handle = QueryHandle(path);
    if (!handle.valid())
        return {};
    std::wstring target(MAX_PATH, L'\0');
    DWORD length = ::GetFinalPathNameByHandleW(handle.get(), target.data(),
                                               static_cast<DWORD>(target.size()), 0);
    if (length >= target.size()) {
        target.resize(length + 1);
        length = ::GetFinalPathNameByHandleW(handle.get(), target.data(),
                                             static_cast<DWORD>(target.size()), 0);
    }
    if (length == 0 || length >= target.size())
        return {};
    target.resize(length);
    if (target.rfind(L"\\\\?\\", 0) == 0) // the long-path prefix the call puts in front
        target.erase(0, 4);
    return target;
}

bool IsSameFile(FileHandle number, const fs::path& path) noexcept {
    const HANDLE open = Handles().Find(number);
    const ScopedFileHandle byName = QueryHandle(path);
    if (open == INVALID_HANDLE_VALUE || !byName.valid())
        return false;
    BY_HANDLE_FILE_INFORMATION a{}, b{};
    return ::GetFileInformationByHandle(open, &a) &&
           ::GetFileInformationByHandle(byName.get(), &b) &&
           a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
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

bool RegularFileAhead(int fd, std::uint64_t& offset, std::uint64_t& size) noexcept {
    struct _stati64 st {};
    if (::_fstati64(fd, &st) != 0 || (st.st_mode & _S_IFMT) != _S_IFREG)
        return false;
    const std::int64_t here = ::_lseeki64(fd, 0, SEEK_CUR);
    if (here < 0 || here > st.st_size)
        return false;
    offset = static_cast<std::uint64_t>(here);
    size = static_cast<std::uint64_t>(st.st_size - here);
    return true;
}

namespace {

// Repeats a C runtime read or write until `size` bytes are through, the
// input ends (reads only) or the call fails.
template <typename Call> IoResult DescriptorTransfer(std::size_t size, bool isRead, Call call) {
    IoResult result;
    while (result.count < size) {
        const unsigned want =
            static_cast<unsigned>(std::min<std::size_t>(size - result.count, kMaxTransfer));
        const int moved = call(result.count, want);
        if (moved <= 0) {
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

} // namespace

IoResult ReadDescriptor(int fd, std::span<std::uint8_t> buffer) {
    return DescriptorTransfer(buffer.size(), true, [&](std::size_t done, unsigned want) {
        return ::_read(fd, buffer.data() + done, want);
    });
}

// No positioned read on a descriptor here: seek there and back.
IoResult ReadDescriptorAt(int fd, std::span<std::uint8_t> buffer, std::uint64_t offset) {
    const std::int64_t here = ::_lseeki64(fd, 0, SEEK_CUR);
    if (here < 0 || ::_lseeki64(fd, static_cast<std::int64_t>(offset), SEEK_SET) < 0)
        return IoResult{false, 0, errno};
    const IoResult result = ReadDescriptor(fd, buffer);
    ::_lseeki64(fd, here, SEEK_SET);
    return result;
}

IoResult WriteDescriptor(int fd, std::span<const std::uint8_t> bytes) {
    return DescriptorTransfer(bytes.size(), false, [&](std::size_t done, unsigned want) {
        return ::_write(fd, bytes.data() + done, want);
    });
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
// there: Windows has no mode bits to copy, so `permissions` is not used. A
// live temporary file is held with share mode 0, so the clean-up of another
// run cannot delete it; DELETE access lets it be renamed and removed through
// its own handle, never by a name that may by then be someone else's.
FileHandle CreateTemporaryBeside(const fs::path& target, fs::path& temporary, int& error) {
    const std::vector<fs::path> candidates = TemporaryCandidates(target);
    for (const fs::path& candidate : candidates)
        if (IsPlainFile(candidate))
            ::DeleteFileW(SystemPath(candidate).c_str()); // fails while a running job holds it
    temporary.clear();
    for (const fs::path& candidate : candidates) {
        // Hidden until it takes the target's name, so a run ended by force
        // leaves nothing in the way of a folder view.
        const FileHandle handle = Open(candidate, GENERIC_WRITE | DELETE, CREATE_NEW, error, false,
                                       FILE_ATTRIBUTE_HIDDEN);
        if (handle < 0 && (error == EEXIST || error == EISDIR))
            continue;
        if (handle >= 0)
            temporary = candidate;
        return handle;
    }
    error = detail::WhatIsInTheWay(candidates, temporary);
    return kInvalidHandle;
}

// Windows keeps no mode bits, and a read-only target is refused before this.
// The file only stops being hidden.
void SetFinalMode(FileHandle temporary, FileHandle /*replaced*/,
                  unsigned /*newFileMode*/) noexcept {
    const HANDLE handle = Handles().Find(temporary);
    FILE_BASIC_INFO info{};
    if (handle == INVALID_HANDLE_VALUE ||
        !::GetFileInformationByHandleEx(handle, FileBasicInfo, &info, sizeof info))
        return;
    info.FileAttributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN);
    if (info.FileAttributes == 0)
        info.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    (void)::SetFileInformationByHandle(handle, FileBasicInfo, &info, sizeof info);
}

// No /dev, /proc or /sys here; device names are refused by the file's kind.
bool IsInSystemFolder(const fs::path& /*target*/) { return false; }

// A rename within one folder, so it is atomic; write-through makes it durable
// before the call returns. Fails while anyone holds the target open.
bool ReplaceWithTemporary(const fs::path& temporary, const fs::path& target, int& error,
                          Existing existing) {
    const bool replace = existing == Existing::Replace;
    if (::MoveFileExW(SystemPath(temporary).c_str(), SystemPath(target).c_str(),
                      (replace ? MOVEFILE_REPLACE_EXISTING : 0) | MOVEFILE_WRITE_THROUGH))
        return true;
    error = LastError();
    return false;
}

// Renamed through its handle, so it stays held (and safe from clean-ups)
// until it carries the target's name; where the system cannot do that, it is
// closed and renamed by name.
bool ReplaceWithTemporary(FileHandle number, const fs::path& temporary, const fs::path& target,
                          int& error, Existing existing) {
    const bool replace = existing == Existing::Replace;
    const HANDLE handle = Handles().Find(number);
    std::error_code ec;
    const fs::path full = fs::absolute(target, ec);
    const std::wstring name = SystemPath(ec ? target : full);
    std::vector<std::uint8_t> buffer(sizeof(FILE_RENAME_INFO) + name.size() * sizeof(wchar_t));
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = replace ? TRUE : FALSE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(name.size() * sizeof(wchar_t));
    std::copy(name.begin(), name.end(), info->FileName);
    if (handle != INVALID_HANDLE_VALUE &&
        ::SetFileInformationByHandle(handle, FileRenameInfo, info,
                                     static_cast<DWORD>(buffer.size()))) {
        CloseQuietly(number);
        return true;
    }
    CloseQuietly(number);
    if (ReplaceWithTemporary(temporary, target, error, existing))
        return true;
    ::DeleteFileW(SystemPath(temporary).c_str());
    return false;
}

// Marked for deletion through its own handle, so it goes when closed.
void DiscardTemporary(FileHandle number, const fs::path& temporary) noexcept {
    const HANDLE handle = Handles().Find(number);
    FILE_DISPOSITION_INFO dispose{};
    dispose.DeleteFile = TRUE;
    const bool marked =
        handle != INVALID_HANDLE_VALUE &&
        ::SetFileInformationByHandle(handle, FileDispositionInfo, &dispose, sizeof dispose);
    CloseQuietly(number);
    if (!marked)
        ::DeleteFileW(SystemPath(temporary).c_str());
}

void RemoveQuietly(const fs::path& path) noexcept { ::DeleteFileW(SystemPath(path).c_str()); }

std::string SystemMessageText(unsigned long code) {
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message = length > 0 ? Utf8Of(text, static_cast<int>(length)) : std::string();
    ::LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.'))
        message.pop_back();
    return message.empty() ? "system error " + std::to_string(code) : message;
}

std::string detail::SystemErrorText(int error) {
    if (error >= kSystemErrorBase)
        return SystemMessageText(static_cast<unsigned long>(error - kSystemErrorBase));
    return std::strerror(error);
}

namespace {

std::optional<FileIdentity> IdentityOfHandle(HANDLE handle) noexcept {
    BY_HANDLE_FILE_INFORMATION info{};
    if (handle == INVALID_HANDLE_VALUE || ::GetFileType(handle) != FILE_TYPE_DISK ||
        !::GetFileInformationByHandle(handle, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return std::nullopt;
    return FileIdentity{info.dwVolumeSerialNumber,
                        (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

} // namespace

std::optional<FileIdentity> IdentityOfDescriptor(int fd) noexcept {
    return IdentityOfHandle(reinterpret_cast<HANDLE>(::_get_osfhandle(fd)));
}

std::optional<FileIdentity> IdentityOfPath(const fs::path& path) noexcept {
    const auto handle = QueryHandle(path); // closed when it goes
    return IdentityOfHandle(handle.get());
}

} // namespace quillmoor
