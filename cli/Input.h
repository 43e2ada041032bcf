#pragma once

#include <cstddef>
#include <functional>
#include <string>

#ifndef _WIN32
#include <termios.h>
#endif

#include "common/Secret.h"

// Reading keys and passwords: one line from a file, a pipe or a terminal,
// into a SecretText, so no copy of it is left behind in released memory.
namespace quillmoor::cli {

// The longest key or password line taken, in bytes. Without a cap a
// key file such as /dev/zero would be read until memory ran out.
inline constexpr std::size_t kMaxLineBytes = std::size_t{64} << 10;

enum class LineStatus {
    Ok,
    NotOpened,   // ReadFirstLineOfFile only; `error` says why
    Failed,      // a read failed; `error` says why
    Interrupted, // the user asked to stop
    TooLong,     // no line feed within the first `limit` bytes
};

// Reads up to the first line feed or the end of input. The line feed, and a
// carriage return before it, are not part of the line. `error` is the errno
// value when NotOpened or Failed. A read cut short by a signal is retried
// unless `interrupted` says the user asked to stop. Reading stops after
// `limit` bytes without a line ending. On anything but Ok, `line` is wiped.
LineStatus ReadFirstLine(int fd, SecretText& line, int& error,
                         const std::function<bool()>& interrupted,
                         std::size_t limit = kMaxLineBytes);

// The first line of the file at `path`, as ReadFirstLine reads it, without
// a leading UTF-8 byte-order mark. For key and password files.
LineStatus ReadFirstLineOfFile(const std::string& path, SecretText& line, int& error,
                               const std::function<bool()>& interrupted);

// Drops a UTF-8 byte-order mark at the start, as some editors write one.
void DropByteOrderMark(SecretText& line);

// Turns terminal echo off for as long as it lives, so a typed key is not
// shown; restores the previous settings, also when reading failed.
class EchoOff {
  public:
    explicit EchoOff(int fd);
    ~EchoOff();
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

  private:
    int fd_;
    bool restore_ = false;
#ifdef _WIN32
    unsigned long saved_ = 0; // the console's input mode
#else
    struct termios saved_ {};
#endif
};

} // namespace quillmoor::cli
