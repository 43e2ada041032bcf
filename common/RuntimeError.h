#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <utility>

namespace quillmoor {

// Error numbers the core raises. Those below 100 are the run-time error
// numbers callers already know (overflow, subscript out of range, file not
// found, device I/O, disk full, device unavailable); from 321 on they name
// the failures the file routines report instead of silently losing data.
enum ErrorNumber : int {
    kErrOverflow = 6,
    kErrSubscriptOutOfRange = 9,
    kErrFileNotFound = 53,
    kErrDeviceIo = 57,
    kErrDiskFull = 61,
    kErrDeviceUnavailable = 68,
    kErrWrongKeyOrDamaged = 321,
    kErrNotRegularFile = 322,    // a FIFO, device, socket, folder or kernel file
    kErrSymbolicLink = 323,      // wipe refuses a link; other() is what it points to
    kErrSameFile = 324,          // source and target are one file; other() is the source
    kErrChangedWhileRead = 325,  // the source grew or shrank while it was read
    kErrTargetExists = 326,      // a target that was to be kept exists, or appeared meanwhile
    kErrTemporaryInTheWay = 327, // no name free for the temporary file; other() is in the way
};

// The one exception type of the core: an error number and a message. A
// failure about a file also carries its parts (what was being done, the
// file, the reason, and a second file where one is involved, such as a
// link's target), so the command layer can word it for the user without
// parsing the message or trusting the name to be printable.
class RuntimeError : public std::runtime_error {
  public:
    RuntimeError(int number, const std::string& message)
        : std::runtime_error(message), number_(number) {}

    // `action` is lower case ("cannot open"); `reason` names no file.
    RuntimeError(int number, std::string action, std::filesystem::path path, std::string reason,
                 std::filesystem::path other = {})
        : std::runtime_error(action + " '" + path.string() + "': " + reason +
                             (other.empty() ? std::string() : " ('" + other.string() + "')")),
          number_(number), action_(std::move(action)), path_(std::move(path)),
          reason_(std::move(reason)), other_(std::move(other)) {}

    [[nodiscard]] int number() const noexcept { return number_; }
    [[nodiscard]] const std::string& action() const noexcept { return action_; }
    [[nodiscard]] const std::filesystem::path& path() const noexcept { return path_; }
    [[nodiscard]] const std::string& reason() const noexcept { return reason_; }
    [[nodiscard]] const std::filesystem::path& other() const noexcept { return other_; }

  private:
    int number_;
    std::string action_;
    std::filesystem::path path_;
    std::string reason_;
    std::filesystem::path other_;
};

} // namespace quillmoor
