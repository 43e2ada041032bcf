// The parts of the file layer that are the same on every system: the calls
// without a reason, and their buffer checks.
#include "filecrypt/basFileAPI.h"

#include <cerrno>
#include <type_traits>

#include "common/RuntimeError.h"
#include "filecrypt/FileAPISystem.h"

namespace quillmoor {

namespace fs = std::filesystem;

namespace {

void CheckBuffer(std::size_t size, std::int32_t count) {
    if (size == 0 || (count > 0 && static_cast<std::size_t>(count) > size))
        throw RuntimeError(kErrSubscriptOutOfRange,
                           "Subscript out of range: buffer of " + std::to_string(size) + " bytes");
}

} // namespace

FileHandle OpenExistingForReading(const fs::path& path) {
    int error = 0;
    return OpenExistingForReading(path, error);
}

FileHandle CreateForWriting(const fs::path& path) {
    int error = 0;
    return CreateForWriting(path, error);
}

bool ReadBytesFromFile(FileHandle handle, std::span<std::uint8_t> buffer, std::int32_t count) {
    CheckBuffer(buffer.size(), count);
    if (count <= 0)
        return true;
    return ReadFully(handle, buffer.first(static_cast<std::size_t>(count))).ok;
}

bool WriteBytesToFile(FileHandle handle, std::span<const std::uint8_t> buffer, std::int32_t count) {
    CheckBuffer(buffer.size(), count);
    if (count <= 0)
        return true;
    return WriteFully(handle, buffer.first(static_cast<std::size_t>(count))).ok;
}

bool FlushAndClose(FileHandle handle) {
    int error = 0;
    return FlushAndClose(handle, error);
}

bool IsKindRefusal(int error) noexcept {
    return error == EISDIR ||
           (error >= kRefusedFifo && error <= kRefusedOtherKind && error != kRefusedSymbolicLink);
}

std::string ErrorText(int error) {
    switch (error) {
    case EBUSY: return "the file is in use by another program";
    case EISDIR: return "it is a folder, not a regular file";
    case kRefusedFifo: return "it is a FIFO (named pipe), not a regular file";
    case kRefusedCharacterDevice: return "it is a character device, not a regular file";
    case kRefusedBlockDevice: return "it is a block device, not a regular file";
    case kRefusedSocket: return "it is a socket, not a regular file";
    case kRefusedSymbolicLink: return "it is a symbolic link";
    case kRefusedKernelFile: return "it is a file of the kernel (/proc, /sys), not a regular file";
    case kRefusedOtherKind: return "it is not a regular file";
    case kRefusedSameFile: return "source and target are the same file";
    case kRefusedSystemFolder: return "it is in /dev, /proc or /sys, where no file is written";
    default: return detail::SystemErrorText(error);
    }
}

std::vector<fs::path> TemporaryCandidates(const fs::path& target) {
    // FNV-1a over the name's code units (bytes here, UTF-16 units on Windows).
    std::uint32_t hash = 2166136261u;
    const fs::path name = target.filename();
    for (const fs::path::value_type unit : name.native()) {
        const std::uint32_t value = static_cast<std::make_unsigned_t<fs::path::value_type>>(unit);
        for (int shift = 0; shift < 32 && (value >> shift) != 0; shift += 8)
            hash = (hash ^ ((value >> shift) & 0xFFu)) * 16777619u;
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string temporary = ".quillmoor-00000000-00";
    for (int i = 0; i < 8; ++i)
        temporary[11 + static_cast<std::size_t>(i)] = kHex[(hash >> (28 - 4 * i)) & 0xFu];
    std::vector<fs::path> names;
    for (unsigned slot = 0; slot < kTemporarySlots; ++slot) {
        temporary[20] = kHex[slot >> 4 & 0xFu];
        temporary[21] = kHex[slot & 0xFu];
        names.push_back(target.parent_path() / fs::path(temporary));
    }
    return names;
}

bool detail::IsFree(const fs::path& path) {
    std::error_code ec;
    return fs::symlink_status(path, ec).type() == fs::file_type::not_found;
}

int detail::WhatIsInTheWay(const std::vector<fs::path>& candidates, fs::path& first) {
    for (const fs::path& candidate : candidates) {
        std::error_code ec;
        switch (fs::symlink_status(candidate, ec).type()) {
        case fs::file_type::not_found:
        case fs::file_type::regular: continue;
        case fs::file_type::directory: first = candidate; return EISDIR;
        case fs::file_type::symlink: first = candidate; return kRefusedSymbolicLink;
        case fs::file_type::fifo: first = candidate; return kRefusedFifo;
        case fs::file_type::socket: first = candidate; return kRefusedSocket;
        case fs::file_type::character: first = candidate; return kRefusedCharacterDevice;
        case fs::file_type::block: first = candidate; return kRefusedBlockDevice;
        default: first = candidate; return kRefusedOtherKind;
        }
    }
    return EBUSY;
}

int WriteErrorNumber(int error) noexcept {
#ifdef EDQUOT
    if (error == EDQUOT)
        return kErrDiskFull;
#endif
    return error == ENOSPC || error == EFBIG ? kErrDiskFull : kErrDeviceIo;
}

} // namespace quillmoor
