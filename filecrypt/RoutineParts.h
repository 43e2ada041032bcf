#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "common/RuntimeError.h"
#include "filecrypt/basBlowfishFileFns.h"
#include "filecrypt/basFileAPI.h"

// What the file, stream and batch routines share: the chunk size, the
// progress call, the key they use, the filler, the opening of a source and
// the wording of their failures. Internal to the routines of filecrypt/.
namespace quillmoor::routines {

// Large enough that system calls cost nothing next to the cipher, small
// enough to keep memory flat whatever the file size.
inline constexpr std::size_t kChunkBytes = std::size_t{1} << 20;

[[noreturn]] inline void Fail(int number, const char* what, const std::filesystem::path& path,
                              const std::string& why) {
    throw RuntimeError(number, what, path, why);
}

[[noreturn]] inline void FailWrongKey(const std::filesystem::path& path) {
    Fail(kErrWrongKeyOrDamaged, "cannot decrypt", path, "wrong key or damaged file");
}

[[noreturn]] inline void FailRead(const std::filesystem::path& path, int error) {
    Fail(kErrDeviceIo, "cannot read", path, ErrorText(error));
}

// The source ended before the length taken at the start: it changed under us.
[[noreturn]] inline void FailShorter(const std::filesystem::path& path) {
    Fail(kErrChangedWhileRead, "cannot read", path, "the file became shorter while it was read");
}

inline bool KeepGoing(const FileCryptOptions& options, std::uint64_t done, std::uint64_t total) {
    return !options.progress || options.progress(done, total);
}

inline const BlowfishState& StateOf(const FileCryptOptions& options) {
    return options.state ? *options.state : blowfishState();
}

// Puts the final block's 1 to 8 filler bytes, each holding their count,
// after `length` plain bytes; the length with them.
inline std::size_t AppendFiller(std::span<std::uint8_t> buffer, std::size_t length) {
    const std::size_t filler = 8 - length % 8;
    for (std::size_t i = 0; i < filler; ++i)
        buffer[length + i] = static_cast<std::uint8_t>(filler);
    return length + filler;
}

// Opens a source held exclusively, with its size; raises the usual failures.
inline FileHandle OpenSource(const std::filesystem::path& path, std::uint64_t& size) {
    int error = 0;
    const FileHandle handle = OpenExistingForReading(path, error);
    if (handle < 0)
        Fail(IsKindRefusal(error) ? kErrNotRegularFile : kErrDeviceUnavailable, "cannot open", path,
             ErrorText(error));
    if (!SizeOfOpenFile(handle, size, error)) {
        CloseQuietly(handle);
        FailRead(path, error);
    }
    return handle;
}

} // namespace quillmoor::routines
