#pragma once

#include <string>

// Between the part of the file layer that is the same everywhere and the
// part each system has of its own.
namespace quillmoor::detail {

// The system's words for an errno value (or, on Windows, a system code).
std::string SystemErrorText(int error);

} // namespace quillmoor::detail
