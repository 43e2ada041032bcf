#include "filecrypt/basBlowfishStreamFns.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <utility>
#include <vector>

#include "common/Secret.h"
#include "convert/basConvert.h"
#include "filecrypt/RoutineParts.h"
#include "filecrypt/basFileAPI.h"

namespace quillmoor {

namespace fs = std::filesystem;
using namespace routines;

DescriptorSource::DescriptorSource(int fd, fs::path name) : fd_(fd), name_(std::move(name)) {
    std::uint64_t start = 0, size = 0;
    if (RegularFileAhead(fd_, start, size)) {
        start_ = start;
        size_ = size;
    }
}

std::size_t DescriptorSource::Read(std::span<std::uint8_t> buffer) {
    const IoResult r = ReadDescriptor(fd_, buffer);
    if (!r.ok)
        FailRead(name_, r.error);
    return r.count;
}

void DescriptorSource::ReadAt(std::span<std::uint8_t> buffer, std::uint64_t offset) {
    const IoResult r = ReadDescriptorAt(fd_, buffer, start_ + offset);
    if (!r.ok)
        FailRead(name_, r.error);
    if (r.count != buffer.size())
        FailShorter(name_);
}

FileSource::FileSource(const fs::path& path) : path_(path) { handle_ = OpenSource(path_, size_); }

FileSource::~FileSource() { CloseQuietly(handle_); }

std::size_t FileSource::Read(std::span<std::uint8_t> buffer) {
    const IoResult r = ReadFullyAt(handle_, buffer, offset_);
    if (!r.ok)
        FailRead(path_, r.error);
    offset_ += r.count;
    return r.count;
}

void FileSource::ReadAt(std::span<std::uint8_t> buffer, std::uint64_t offset) {
    const IoResult r = ReadFullyAt(handle_, buffer, offset);
    if (!r.ok)
        FailRead(path_, r.error);
    if (r.count != buffer.size())
        FailShorter(path_);
}

void DescriptorSink::Write(std::span<const std::uint8_t> bytes) {
    const IoResult r = WriteDescriptor(fd_, bytes);
    written_ += r.count;
    if (!r.ok)
        Fail(WriteErrorNumber(r.error), "cannot write", name_, ErrorText(r.error));
}

void FileSink::Write(std::span<const std::uint8_t> bytes) {
    target_.WriteAt(bytes, offset_);
    offset_ += bytes.size();
}

namespace {

// A source with a size that gave more or fewer bytes than that was cut or
// grew while it was read: its output would match nothing.
void CheckLengthRead(const StreamSource& source, std::uint64_t done) {
    if (const auto size = source.Size(); size && done != *size)
        Fail(kErrChangedWhileRead, "cannot read", source.Name(),
             "the file changed in length while it was read");
}

} // namespace

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
            CheckLengthRead(source, done);
            length = AppendFiller(buffer, length);
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
    CheckLengthRead(source, done);

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
