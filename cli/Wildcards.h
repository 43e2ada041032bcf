#pragma once

#include <string>
#include <string_view>
#include <vector>

// On Windows no shell splits the command line or expands wildcards: a console
// program does both itself. These are the rules it follows, kept free of
// system calls but for the folder listing, so they are tested everywhere.
namespace quillmoor::cli {

// A word of the command line with its quotes and escapes taken away.
// `pattern`: it holds * or ? outside quotes and none inside, so it stands for
// the files it matches when it is a FILE operand.
struct CommandWord {
    std::string text;
    bool pattern = false;
};

// The words after the program name, split as the C runtime splits a command
// line: spaces and tabs outside quotes separate words; 2n backslashes before
// a quote give n and the quote opens or closes a quoted part, 2n+1 give n and
// a literal quote; "" inside a quoted part is a literal quote. UTF-8 in, as
// every special character is ASCII.
std::vector<CommandWord> SplitCommandLine(std::string_view line);

#ifdef _WIN32
// This process's command line so split.
std::vector<CommandWord> CommandLineWords();
#endif

// Whether `name` matches `pattern`: * any run of characters, ? one character,
// letters compared without regard to case (ASCII, Latin-1, Greek, Cyrillic).
// A pattern ending in ".*" also matches the name without an extension, so
// "*.*" matches every name, as on Windows.
bool MatchesWildcard(std::string_view pattern, std::string_view name);

// The plain files of a folder given as typed ("" for the current one, "C:",
// "sub\"), leaving out folders and, on Windows, hidden and system files.
// Empty when it cannot be read.
std::vector<std::string> ListPlainFiles(const std::string& folder);

// A FILE operand typed as a pattern: the files it matches, its folder part
// kept as typed, sorted by name; or the word itself when nothing matches or
// the wildcard is in the folder part, so that it fails as a missing file.
std::vector<std::string> ExpandWildcard(const std::string& word);

} // namespace quillmoor::cli
