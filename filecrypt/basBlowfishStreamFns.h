#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string_view>
#include <utility>

#include "filecrypt/BlowfishCbc.h"
#include "filecrypt/TargetFile.h"
#include "filecrypt/basBlowfishFileFns.h"
#include "filecrypt/basFileAPI.h"

// The file format of the file routines, written to or read from streams:
// standard input and output, pipes, or a file read front to back. Output
// goes to a sink in order; a file sink replaces its target only when the
// whole run succeeded, as the file routines do. Memory stays at two 1 MiB
// chunks whatever the length.
namespace quillmoor {

// Bytes read front to back. Read and ReadAt raise RuntimeError on failure.
class StreamSource {
  public:
    virtual ~StreamSource() = default;
    // Fills `buffer` unless the input ends first; returns the count.
    [[nodiscard]] virtual std::size_t Read(std::span<std::uint8_t> buffer) = 0;
    // The bytes left from where reading started, when the source can be read
    // out of order (a regular file); nothing for a pipe or a terminal.
    [[nodiscard]] virtual std::optional<std::uint64_t> Size() const { return std::nullopt; }
    // Reads exactly buffer.size() bytes at `offset` (from where reading
    // started) without moving the front. Only for sources with a Size().
    virtual void ReadAt(std::span<std::uint8_t> buffer, std::uint64_t offset) = 0;
    // How messages name the source.
    [[nodiscard]] virtual const std::filesystem::path& Name() const = 0;
};

// Where the output goes. Commit() comes once, after the last Write() of a
// run that succeeded.
class StreamSink {
  public:
    virtual ~StreamSink() = default;
    virtual void Write(std::span<const std::uint8_t> bytes) = 0;
    virtual void Commit() = 0;
};

// A C runtime descriptor (standard input), read as it comes. Regular files
// redirected to it get a Size(), so a wrong key is noticed before any output.
class DescriptorSource final : public StreamSource {
  public:
    DescriptorSource(int fd, std::filesystem::path name);
    std::size_t Read(std::span<std::uint8_t> buffer) override;
    std::optional<std::uint64_t> Size() const override { return size_; }
    void ReadAt(std::span<std::uint8_t> buffer, std::uint64_t offset) override;
    const std::filesystem::path& Name() const override { return name_; }

  private:
    int fd_;
    std::filesystem::path name_;
    std::optional<std::uint64_t> size_;
    std::uint64_t start_ = 0; // the descriptor's offset when we got it
};

// A file opened by path through the file-access layer: held exclusively
// while it is read, always with a Size().
class FileSource final : public StreamSource {
  public:
    explicit FileSource(const std::filesystem::path& path);
    ~FileSource() override;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;
    std::size_t Read(std::span<std::uint8_t> buffer) override;
    std::optional<std::uint64_t> Size() const override { return size_; }
    void ReadAt(std::span<std::uint8_t> buffer, std::uint64_t offset) override;
    const std::filesystem::path& Name() const override { return path_; }

  private:
    std::filesystem::path path_;
    FileHandle handle_ = kInvalidHandle;
    std::uint64_t size_ = 0, offset_ = 0;
};

// A C runtime descriptor (standard output, a pipe): every Write goes out at
// once, so a failure later on cannot take back what was written.
class DescriptorSink final : public StreamSink {
  public:
    DescriptorSink(int fd, std::filesystem::path name) : fd_(fd), name_(std::move(name)) {}
    void Write(std::span<const std::uint8_t> bytes) override;
    void Commit() override {}
    // Bytes that went out, for a caller that must say whether a failure
    // left part of the output behind.
    [[nodiscard]] std::uint64_t Written() const { return written_; }

  private:
    int fd_;
    std::filesystem::path name_;
    std::uint64_t written_ = 0;
};

// A target file, replaced as the file routines replace theirs (TargetFile):
// dropped without Commit(), nothing of it is left and an existing target
// keeps its bytes. `newFileMode` is for a target that does not exist yet.
class FileSink final : public StreamSink {
  public:
    FileSink(const std::filesystem::path& target, unsigned newFileMode,
             Existing existing = Existing::Replace)
        : target_(target, newFileMode, kInvalidHandle, {}, existing) {}
    void Write(std::span<const std::uint8_t> bytes) override;
    void Commit() override { target_.Commit(); }

  private:
    TargetFile target_;
    std::uint64_t offset_ = 0;
};

// Encrypts the source up to its end into the sink. Raise RuntimeError as the
// file routines do. options.threads is not used: one chain, one core.
[[nodiscard]] FileCryptResult BlowfishEncryptStream(StreamSource& source, StreamSink& sink,
                                                    std::u16string_view keyText,
                                                    const FileCryptOptions& options);

// Decrypts the source into the sink. With a Size(), strict mode checks the
// filler of the final block before the first byte is written, so a wrong key
// writes nothing. Without one, the final block is known only at the end: the
// sink then already holds everything before it, and the error comes last.
[[nodiscard]] FileCryptResult BlowfishDecryptStream(StreamSource& source, StreamSink& sink,
                                                    std::u16string_view keyText,
                                                    const FileCryptOptions& options);

} // namespace quillmoor
