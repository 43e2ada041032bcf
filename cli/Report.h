#pragma once

#include <ostream>
#include <string_view>

// The two shapes of the program's own lines on standard error.
namespace quillmoor::cli {

inline constexpr std::string_view kProgram = "quillmoor-cli";

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1; // at least one file failed
inline constexpr int kExitUsage = 2;  // nothing was touched

// "quillmoor-cli: SUBJECT: REASON", flushed so it keeps its place among the
// result lines on standard output.
inline void Report(std::ostream& err, std::string_view subject, std::string_view reason) {
    err << kProgram << ": " << subject << ": " << reason << '\n' << std::flush;
}

// A mistake on the command line: nothing was touched.
inline int Usage(std::ostream& err, std::string_view message) {
    err << kProgram << ": " << message << "\nTry 'quillmoor-cli --help' for more information.\n";
    return kExitUsage;
}

} // namespace quillmoor::cli
