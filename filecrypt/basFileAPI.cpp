// The parts of the file layer that are the same on every system: the
// classic calls without a reason, and their buffer checks.
#include "filecrypt/basFileAPI.h"

#include <cerrno>

#include "common/RuntimeError.h"

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

int WriteErrorNumber(int error) noexcept {
#ifdef EDQUOT
    if (error == EDQUOT)
        return kErrDiskFull;
#endif
    return error == ENOSPC || error == EFBIG ? kErrDiskFull : kErrDeviceIo;
}

} // namespace quillmoor
