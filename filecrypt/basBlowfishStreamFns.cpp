#include "filecrypt/basBlowfishStreamFns.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <utility>
#include <vector>

#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "common/RuntimeError.h"
#include "common/Secret.h"
#include "convert/basConvert.h"
#include "filecrypt/basFileAPI.h"

namespace quillmoor {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kChunkBytes = std::size_t{1} << 20;

[[noreturn]] void Fail(int number, const char* what, const fs::path& path, const std::string& why) {
    throw RuntimeError(number, what, path, why);
}

[[noreturn]] void FailWrongKey(const fs::path& path) {
    Fail(kErrWrongKeyOrDamaged, "cannot decrypt", path, "wrong key or damaged file");
}

#ifdef _WIN32
using StatBuffer = struct _stati64;
int StatOf(int fd, StatBuffer& st) { return ::_fstati64(fd, &st); }
std::int64_t OffsetOf(int fd) { return ::_lseeki64(fd, 0, SEEK_CUR); }
long long ReadSome(int fd, std::uint8_t* p, std::size_t n) {
    return ::_read(fd, p, static_cast<unsigned>(std::min<std::size_t>(n, 1u << 30)));
}
long long WriteSome(int fd, const std::uint8_t* p, std::size_t n) {
    return ::_write(fd, p, static_cast<unsigned>(std::min<std::size_t>(n, 1u << 30)));
}
long long ReadSomeAt(int fd, std::uint8_t* p, std::size_t n, std::uint64_t offset) {
    // No positioned read on a descriptor here: seek there and back.
    const std::int64_t here = OffsetOf(fd);
    if (here < 0 || ::_lseeki64(fd, static_cast<std::int64_t>(offset), SEEK_SET) < 0)
        return -1;
    const long long got = ReadSome(fd, p, n);
    const int error = errno;
    ::_lseeki64(fd, here, SEEK_SET);
    errno = error;
    return got;
}
#else
using StatBuffer = struct stat;
int StatOf(int fd, StatBuffer& st) { return ::fstat(fd, &st); }
std::int64_t OffsetOf(int fd) { return ::lseek(fd, 0, SEEK_CUR); }
long long ReadSome(int fd, std::uint8_t* p, std::size_t n) { return ::read(fd, p, n); }
long long WriteSome(int fd, const std::uint8_t* p, std::size_t n) { return ::write(fd, p, n); }
long long ReadSomeAt(int fd, std::uint8_t* p, std::size_t n, std::uint64_t offset) {
    return ::pread(fd, p, n, static_cast<off_t>(offset));
}
#endif

bool KeepGoing(const FileCryptOptions& options, std::uint64_t done, std::uint64_t total) {
    return !options.progress || options.progress(done, total);
}

const BlowfishState& StateOf(const FileCryptOptions& options) {
    return options.state ? *options.state : blowfishState();
}

} // namespace

DescriptorSource::DescriptorSource(int fd, fs::path name) : fd_(fd), name_(std::move(name)) {
    StatBuffer st{};
    if (StatOf(fd_, st) != 0 || (st.st_mode & S_IFMT) != S_IFREG)
        return;
    const std::int64_t here = OffsetOf(fd_);
    if (here < 0 || here > st.st_size)
        return;
    start_ = static_cast<std::uint64_t>(here);
    size_ = static_cast<std::uint64_t>(st.st_size) - start_;
}

std::size_t DescriptorSource::Read(std::span<std::uint8_t> buffer) {
    std::size_t done = 0;
    while (done < buffer.size()) {
        const long long got = ReadSome(fd_, buffer.data() + done, buffer.size() - done);
        if (got == 0)
            break;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            Fail(kErrDeviceIo, "cannot read", name_, ErrorText(errno));
        }
        done += static_cast<std::size_t>(got);
    }
    return done;
}

void DescriptorSource::ReadAt(std::span<std::uint8_t> buffer, std::uint64_t offset) {
    std::size_t done = 0;
    while (done < buffer.size()) {
        const long long got =
            ReadSomeAt(fd_, buffer.data() + done, buffer.size() - done, start_ + offset + done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            Fail(kErrDeviceIo, "cannot read", name_, ErrorText(errno));
        if (got == 0)
            Fail(kErrChangedWhileRead, "cannot read", name_,
                 "the file became shorter while it was read");
        done += static_cast<std::size_t>(got);
    }
}

FileSource::FileSource(const fs::path& path) : path_(path) {
    int error = 0;
    handle_ = OpenExistingForReading(path_, error);
    if (handle_ < 0)
        Fail(IsKindRefusal(error) ? kErrNotRegularFile : kErrDeviceUnavailable, "cannot open",
             path_, ErrorText(error));
    if (!SizeOfOpenFile(handle_, size_, error)) {
        CloseQuietly(std::exchange(handle_, kInvalidHandle));
        Fail(kErrDeviceIo, "cannot read", path_, ErrorText(error));
    }
}

FileSource::~FileSource() { CloseQuietly(handle_); }

std::size_t FileSource::Read(std::span<std::uint8_t> buffer) {
    const IoResult r = ReadFullyAt(handle_, buffer, offset_);
    if (!r.ok)
        Fail(kErrDeviceIo, "cannot read", path_, ErrorText(r.error));
    offset_ += r.count;
    return r.count;
}

void FileSource::ReadAt(std::span<std::uint8_t> buffer, std::uint64_t offset) {
    const IoResult r = ReadFullyAt(handle_, buffer, offset);
    if (!r.ok)
        Fail(kErrDeviceIo, "cannot read", path_, ErrorText(r.error));
    if (r.count != buffer.size())
        Fail(kErrChangedWhileRead, "cannot read", path_,
             "the file became shorter while it was read");
}

void DescriptorSink::Write(std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const long long put = WriteSome(fd_, bytes.data() + done, bytes.size() - done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0) {
            const int error = put < 0 ? errno : EIO;
            Fail(WriteErrorNumber(error), "cannot write", name_, ErrorText(error));
        }
        done += static_cast<std::size_t>(put);
        written_ += static_cast<std::uint64_t>(put);
    }
}

void FileSink::Write(std::span<const std::uint8_t> bytes) {
    target_.WriteAt(bytes, offset_);
    offset_ += bytes.size();
}

FileCryptResult BlowfishEncryptStream(StreamSource& source, StreamSink& sink,
                                      std::u16string_view keyText,
                                      const FileCryptOptions& options) {
    const BlowfishState& state = StateOf(options);
    const std::uint64_t total = source.Size().value_or(0);
    SecretObject<CbcBlock> iv;
    CbcBlock& chain = *iv;
    ChainingBlockOfKeyText(keyText, chain);
    SecretBytes buffer(kChunkBytes + 8); // plain text
    std::uint64_t done = 0;
    for (;;) {
        std::size_t length = source.Read(std::span(buffer).first(kChunkBytes));
        done += length;
        const bool last = length < kChunkBytes;
        if (last) {
            // The final block: 1 to 8 filler bytes, each holding their count.
            const std::size_t filler = 8 - length % 8;
            std::fill_n(buffer.begin() + static_cast<std::ptrdiff_t>(length), filler,
                        static_cast<std::uint8_t>(filler));
            length += filler;
        }
        CbcEncrypt(state, std::span(buffer).first(length), chain);
        sink.Write(std::span(buffer).first(length));
        if (!KeepGoing(options, done, total))
            return FileCryptResult::Cancelled;
        if (last)
            break;
    }
    sink.Commit();
    return FileCryptResult::Done;
}

namespace {

// Strict mode on a source with a size: the length and the final block's
// filler, checked before anything is written.
void CheckFinalBlockFirst(StreamSource& source, const BlowfishState& state, const CbcBlock& iv) {
    const std::uint64_t size = *source.Size();
    if (size == 0 || size % 8 != 0)
        FailWrongKey(source.Name());
    // The block before the final one is its chaining block.
    SecretObject<std::array<std::uint8_t, 16>> tailBlocks;
    std::array<std::uint8_t, 16>& tail = *tailBlocks;
    const std::size_t count = size >= 16 ? 16 : 8;
    source.ReadAt(std::span(tail).first(count), size - count);
    SecretObject<CbcBlock> block(iv);
    CbcBlock& chain = *block;
    if (count == 16)
        std::copy_n(tail.begin(), 8, chain.begin());
    const std::span<std::uint8_t> last = std::span(tail).subspan(count - 8, 8);
    CbcDecrypt(state, last, chain);
    const bool valid = FillerCount(last, DecryptMode::Strict) != 0;
    if (!valid)
        FailWrongKey(source.Name());
}

} // namespace

FileCryptResult BlowfishDecryptStream(StreamSource& source, StreamSink& sink,
                                      std::u16string_view keyText,
                                      const FileCryptOptions& options) {
    const BlowfishState& state = StateOf(options);
    const bool strict = options.mode == DecryptMode::Strict;
    const std::optional<std::uint64_t> size = source.Size();
    SecretObject<CbcBlock> iv;
    CbcBlock& chain = *iv;
    ChainingBlockOfKeyText(keyText, chain);
    // A chunk is the final one when fewer than 8 bytes follow it; those
    // stray bytes are ignored (lenient) or refused (strict).
    SecretBytes current(kChunkBytes), next(kChunkBytes); // plain text
    if (strict && size)
        CheckFinalBlockFirst(source, state, chain);

    std::size_t length = source.Read(current);
    std::size_t stray = 0;
    std::uint64_t done = length;
    const std::uint64_t total = size.value_or(0);
    for (;;) {
        std::size_t following = 0;
        if (length == kChunkBytes) {
            following = source.Read(next);
            done += following;
        }
        if (following < 8) {
            stray = length % 8 + following;
            break;
        }
        CbcDecrypt(state, current, chain);
        sink.Write(current);
        if (!KeepGoing(options, done, total))
            return FileCryptResult::Cancelled;
        current.swap(next);
        length = following;
    }
    if (size && done != *size)
        Fail(kErrChangedWhileRead, "cannot read", source.Name(),
             "the file changed in length while it was read");

    std::size_t whole = length - length % 8;
    if (whole == 0) { // the whole input is shorter than one block
        if (strict)
            FailWrongKey(source.Name());
        std::fill(current.begin() + static_cast<std::ptrdiff_t>(length), current.begin() + 8, 0);
        whole = 8;
        stray = 0;
    }
    const std::span<std::uint8_t> blocks = std::span(current).first(whole);
    CbcDecrypt(state, blocks, chain);
    sink.Write(blocks.first(whole - 8));
    const std::size_t filler = FillerCount(blocks.last(8), options.mode);
    if (strict && (stray != 0 || filler == 0))
        FailWrongKey(source.Name());
    sink.Write(blocks.last(8).first(8 - filler));
    if (!KeepGoing(options, done, total))
        return FileCryptResult::Cancelled;
    sink.Commit();
    return FileCryptResult::Done;
}

} // namespace quillmoor
