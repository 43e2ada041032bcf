#include "cli/Wildcards.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "app/commands/Commands.h"
#include "app/commands/Utf8.h"
#include "common/ScopedHandle.h"
#include "common/WindowsApi.h"

namespace quillmoor::cli {

namespace {

constexpr std::string_view kWildcards = "*?";

// A word being read: its text so far and where its wildcards stood.
struct WordBuilder {
    CommandWord word;
    bool quotedWildcard = false;
    bool unquotedWildcard = false;

    void Add(char c, bool inQuotes) {
        if (kWildcards.find(c) != std::string_view::npos)
            (inQuotes ? quotedWildcard : unquotedWildcard) = true;
        word.text.push_back(c);
    }
    CommandWord Take() {
        word.pattern = unquotedWildcard && !quotedWildcard;
        return std::move(word);
    }
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The program name ends at the first blank, or, when it starts with a quote,
// at the next quote: backslashes are path separators there, not escapes.
std::size_t AfterProgramName(std::string_view line) {
    std::size_t at = 0;
    bool inQuotes = false;
    for (; at < line.size() && (inQuotes || !IsBlank(line[at])); ++at)
        if (line[at] == '"')
            inQuotes = !inQuotes;
    return at;
}

// One word from `at`, which is not blank, up to the blank that ends it.
CommandWord ReadWord(std::string_view line, std::size_t& at) {
    WordBuilder builder;
    bool inQuotes = false;
    while (at < line.size()) {
        std::size_t slashes = 0;
        while (at < line.size() && line[at] == '\\')
            ++slashes, ++at;
        bool literal = true;
        if (at < line.size() && line[at] == '"') {
            if (slashes % 2 == 0) {
                if (inQuotes && at + 1 < line.size() && line[at + 1] == '"')
                    ++at; // "" inside quotes: one literal quote
                else
                    literal = false, inQuotes = !inQuotes;
            }
            slashes /= 2;
        }
        builder.word.text.append(slashes, '\\');
        if (at == line.size() || (!inQuotes && IsBlank(line[at])))
            break;
        if (literal)
            builder.Add(line[at], inQuotes);
        ++at;
    }
    return builder.Take();
}

// Letters of one case: ASCII, Latin-1, Greek and Cyrillic, the scripts whose
// file names most often differ in case only. Other characters stay as they are.
char32_t Folded(char32_t c) {
    if ((c >= U'a' && c <= U'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7) ||
        (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) || (c >= 0x430 && c <= 0x44F))
        return c - 0x20;
    if (c == 0x3C2) // final sigma
        return 0x3A3;
    if (c >= 0x450 && c <= 0x45F)
        return c - 0x50;
    return c == 0xFF ? 0x178 : c;
}

// The characters of a name, folded; a byte that starts no character stands
// for itself, outside the range of characters, so it matches only itself.
std::u32string FoldedCharacters(std::string_view text) {
    std::u32string characters;
    for (std::size_t i = 0; i < text.size();) {
        char32_t c = 0;
        std::size_t bad = 0;
        std::size_t length = commands::Utf8CharacterAt(text, i, c, bad);
        if (length == 0) {
            c = 0x110000 + static_cast<unsigned char>(text[i]);
            length = 1;
        }
        characters.push_back(Folded(c));
        i += length;
    }
    return characters;
}

// The usual glob walk: on a mismatch, the last * takes one character more.
bool Matches(std::u32string_view pattern, std::u32string_view name) {
    constexpr std::size_t kNone = std::u32string_view::npos;
    std::size_t p = 0, n = 0, star = kNone, resume = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == U'*') {
            star = p++;
            resume = n;
        } else if (p < pattern.size() && (pattern[p] == U'?' || pattern[p] == name[n])) {
            ++p, ++n;
        } else if (star != kNone) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == U'*')
        ++p;
    return p == pattern.size();
}

// Where the name starts in a FILE as typed: after the last separator, or
// after a drive letter's colon ("C:*.txt").
std::size_t NameStart(std::string_view word) {
    const std::size_t slash = word.find_last_of(commands::kPathSeparators);
    if (slash != std::string_view::npos)
        return slash + 1;
#ifdef _WIN32
    if (word.size() >= 2 && word[1] == ':')
        return 2;
#endif
    return 0;
}

#ifdef _WIN32
std::string Utf8Of(const wchar_t* wide) {
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(size > 0 ? size : 1), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide, -1, text.data(), size, nullptr, nullptr);
    text.pop_back(); // the terminating zero
    return text;
}
#endif

} // namespace

std::vector<CommandWord> SplitCommandLine(std::string_view line) {
    std::vector<CommandWord> words;
    std::size_t at = AfterProgramName(line);
    while (true) {
        while (at < line.size() && IsBlank(line[at]))
            ++at;
        if (at == line.size())
            return words;
        words.push_back(ReadWord(line, at));
    }
}

#ifdef _WIN32
std::vector<CommandWord> CommandLineWords() {
    return SplitCommandLine(Utf8Of(::GetCommandLineW()));
}
#endif

bool MatchesWildcard(std::string_view pattern, std::string_view name) {
    const std::u32string folded = FoldedCharacters(pattern), folder = FoldedCharacters(name);
    if (Matches(folded, folder))
        return true;
    // "name.*" also finds "name", as Windows' own wildcards do.
    return folded.ends_with(U".*") && folder.find(U'.') == std::u32string::npos &&
           Matches(std::u32string_view(folded).substr(0, folded.size() - 2), folder);
}

#ifdef _WIN32
// Hidden and system files are left out as dir and del leave them out: a
// pattern should not reach desktop.ini or a file the user never sees.
std::vector<std::string> ListPlainFiles(const std::string& folder) {
    constexpr DWORD kLeftOut =
        FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    const std::wstring search = commands::PathFromString(folder + "*").native();
    WIN32_FIND_DATAW found{};
    const ScopedFindHandle handle(::FindFirstFileExW(search.c_str(), FindExInfoBasic, &found,
                                                     FindExSearchNameMatch, nullptr, 0));
    std::vector<std::string> names;
    if (!handle)
        return names;
    do
        if ((found.dwFileAttributes & kLeftOut) == 0)
            names.push_back(Utf8Of(found.cFileName));
    while (::FindNextFileW(handle.get(), &found));
    return names;
}
#else
std::vector<std::string> ListPlainFiles(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    std::filesystem::directory_iterator at(folder.empty() ? "." : folder, error);
    for (; !error && at != std::filesystem::directory_iterator(); at.increment(error))
        if (at->is_regular_file(error))
            names.push_back(at->path().filename().string());
    return names;
}
#endif

std::vector<std::string> ExpandWildcard(const std::string& word) {
    const std::size_t nameStart = NameStart(word);
    const std::string folder = word.substr(0, nameStart), pattern = word.substr(nameStart);
    if (pattern.empty() || folder.find_first_of(kWildcards) != std::string::npos)
        return {word};
    std::vector<std::pair<std::u32string, std::string>> matches;
    for (std::string& name : ListPlainFiles(folder))
        if (MatchesWildcard(pattern, name))
            matches.emplace_back(FoldedCharacters(name), std::move(name));
    if (matches.empty())
        return {word};
    std::ranges::sort(matches);
    std::vector<std::string> files;
    for (const auto& match : matches)
        files.push_back(folder + match.second);
    return files;
}

} // namespace quillmoor::cli
