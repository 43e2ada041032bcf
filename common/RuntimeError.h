#pragma once

#include <stdexcept>
#include <string>

namespace quillmoor {

// Error numbers the core raises. The first four are the classic run-time
// errors callers already know; the rest name the failures that the file
// routines report instead of silently losing data.
enum ErrorNumber : int {
    kErrOverflow = 6,
    kErrSubscriptOutOfRange = 9,
    kErrFileNotFound = 53,
    kErrDeviceIo = 57,
    kErrDiskFull = 61,
    kErrDeviceUnavailable = 68,
    kErrWrongKeyOrDamaged = 321,
};

// The one exception type of the core: an error number and a message that
// names the file and the reason where there is one.
class RuntimeError : public std::runtime_error {
  public:
    RuntimeError(int number, const std::string& message)
        : std::runtime_error(message), number_(number) {}

    [[nodiscard]] int number() const noexcept { return number_; }

  private:
    int number_;
};

} // namespace quillmoor
