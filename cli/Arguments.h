#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// The command line after the command word: options and operands. Which
// options a command takes is said once, in its entry of the command table
// (CliMain.cpp); this file only knows the options themselves.
namespace quillmoor::cli {

// What an option sets. A command names the ones it takes as an OptionSet.
enum class Option : std::uint16_t {
    Key = 1U << 0, // one of --key-env, --key-file, --password-env, --password-file
    Quiet = 1U << 1,
    Lenient = 1U << 2,
    Yes = 1U << 3,
    Output = 1U << 4, // -o PATH
    NoClobber = 1U << 5,
    Jobs = 1U << 6,  // -j N
    Bytes = 1U << 7, // --bytes N
    Help = 1U << 8,  // every command takes these two
    Version = 1U << 9,
    Force = 1U << 10,         // -f: replace existing targets without asking
    Stdout = 1U << 11,        // -c: to standard output, as -o -
    Remove = 1U << 12,        // wipe -u
    FilesFrom = 1U << 13,     // --files-from LIST
    NullSeparated = 1U << 14, // -0: the list's names end in a zero byte
};

class OptionSet {
  public:
    constexpr OptionSet() = default;
    constexpr OptionSet(Option option) : bits_(static_cast<std::uint16_t>(option)) {}
    [[nodiscard]] constexpr bool Has(Option option) const {
        return (bits_ & static_cast<std::uint16_t>(option)) != 0;
    }
    constexpr OptionSet operator|(OptionSet other) const { return OptionSet(bits_ | other.bits_); }

  private:
    constexpr explicit OptionSet(unsigned bits) : bits_(static_cast<std::uint16_t>(bits)) {}
    std::uint16_t bits_ = 0;
};

constexpr OptionSet operator|(Option a, Option b) { return OptionSet(a) | OptionSet(b); }

enum class KeyKind { None, KeyEnv, KeyFile, PasswordEnv, PasswordFile };

struct KeyChoice {
    KeyKind kind = KeyKind::None;
    std::string option; // as typed, for messages
    std::string value;  // variable name or path
};

struct Invocation {
    std::string command;
    KeyChoice key;
    bool quiet = false;
    bool lenient = false;
    bool yes = false;
    bool help = false;
    bool version = false;
    bool noClobber = false;
    bool force = false;
    bool toStdout = false;
    bool remove = false;
    bool nullSeparated = false;
    std::optional<std::string> filesFrom; // --files-from as given; "-" is standard input
    std::optional<std::string> output;    // -o as given
    unsigned jobs = 0;                    // files at once; 0: one per core
    std::size_t bytes = 16;               // keygen's key length
    std::vector<std::string> operands;
    std::vector<std::size_t> operandPlaces; // where each operand stood among the arguments
};

// A mistake on the command line; what() is the message, which never holds
// an option's value.
class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// How an option argument may be named in a message: a short option by its
// letter ("-k" of "-kSecret"), a long one by its name before any "=". The
// rest may be a key someone tried to pass.
std::string OptionName(std::string_view argument);

// A word from the command line as a message shows it: in single quotes, with
// control characters and invalid UTF-8 escaped.
std::string Quoted(std::string_view text);

// True for names that look like an attempt to pass a key or password itself.
bool LooksLikeSecretOption(std::string_view name);

// The option a name ("--output", "-o") stands for, or nothing.
std::optional<Option> OptionNamed(std::string_view name);

// Reads the arguments after `command`, accepting the options in `accepted`
// (and --help and --version, which every command takes). Short options
// bundle (-qy); a value follows its option as the next argument, after "="
// (--jobs=2) or right after the letter (-j2, -oFILE). "--" ends the options;
// "-" alone is an operand. Throws UsageError.
Invocation ParseArguments(std::string_view command, OptionSet accepted,
                          std::span<const std::string> rest);

} // namespace quillmoor::cli
