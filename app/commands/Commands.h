#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "app/commands/Wipe.h"
#include "common/Progress.h"
#include "common/Secret.h"
#include "filecrypt/basBlowfishFileFns.h"

// The Encrypt, Decrypt and Wipe commands without any widget: a front end
// hands in what the user chose, gets back a CommandOutcome, and shows the
// sentence Messages.h makes of it.
namespace quillmoor::commands {

// What the user asked for: the window's three buttons, the tool's verbs.
// A CommandRequest takes Encrypt or Decrypt; a WipeRequest is the wipe.
enum class Command { Encrypt, Decrypt, Wipe };

struct CommandRequest {
    Command operation = Command::Encrypt; // Encrypt or Decrypt
    SecretText16 keyText;                 // the Key box text
    std::string folder;                   // the file list's folder, as it reports it
    std::optional<std::string> fileName;  // the selected name; none when nothing is selected
    DecryptMode mode = DecryptMode::Strict;
    ProgressCallback progress; // may cancel

    // For the command-line tool; the window leaves these as they are.
    std::optional<std::string> target; // instead of the usual target path
    bool replaceTarget = true;         // false: an existing target is refused, not replaced
    int sourceDescriptor = -1;         // read this (standard input) instead of the file
    int targetDescriptor = -1;         // write here (standard output) instead of a file
    bool discardOutput = false;        // Decrypt: check the file and the key, write nothing
    // A key already set up from keyText, for several files at once: the
    // process-wide key is then left alone.
    const BlowfishState* state = nullptr;
    unsigned threads = 0; // decryption workers; 0: one per core
};

struct WipeRequest {
    std::string folder;                  // as for CommandRequest
    std::optional<std::string> fileName; // none when nothing is selected
    std::uint64_t seed = 0;              // of the random sub-passes; 0 takes ClockSeed()
    ProgressCallback progress;           // may cancel
    AfterWipe after = AfterWipe::Keep;   // the window's Wipe keeps the file
    // Sees every random block before it is written (for tests).
    std::function<void(std::span<const std::uint8_t>)> randomBlockObserver;
};

enum class CommandStatus {
    NoSelection, // nothing touched; for Encrypt and Decrypt the key was set up if it could be
    Done,
    Cancelled,  // Encrypt, Decrypt: nothing changed on disk; Wipe: the file is partly overwritten
    KeyRefused, // no file touched; see keyProblem
    Failed,     // see errorNumber and failure
};

// Why a key text or a password cannot be used.
enum class KeyProblem {
    EmptyKey,
    KeyTooLong,          // more than 56 key bytes
    NotHex,              // Encrypt only: Decrypt takes any text, so old files still open
    EmptyPassword,       // Encrypt only
    EmptyPasswordDigest, // Encrypt only: the MD5 of the empty text, a key anyone can try
    Refused,             // the key setup said no for a reason of its own
};

// A refusal of this layer, before any file is touched.
enum class FileProblem {
    None,         // the failure came from the file routines
    NoNameLeft,   // Decrypt: the name has three characters or fewer
    TargetExists, // the request said not to replace an existing target
};

// A failure in its parts, so that it can be worded without parsing text.
struct Failure {
    FileProblem problem = FileProblem::None;
    std::string action; // lower case, e.g. "cannot open"; empty when the failure had no parts
    std::filesystem::path path;  // the file the action was about
    std::string reason;          // names no file
    std::filesystem::path other; // a second file, e.g. a link's target
};

struct CommandOutcome {
    Command command = Command::Encrypt;
    CommandStatus status = CommandStatus::Done;
    std::optional<KeyProblem> keyProblem; // for KeyRefused
    int errorNumber = 0;                  // for Failed: the RuntimeError number, 0 for a refusal
    Failure failure;                      // for Failed
    std::filesystem::path source;         // the selected file, once there is one
    std::filesystem::path target;         // Encrypt and Decrypt, once it is known
    // The target is a stream (standard output) that already holds part of
    // the output: a failure or cancel could not take it back.
    bool partialOutput = false;
};

// Runs Encrypt or Decrypt: sets up the key from the key text, works out the
// paths and calls the file routine. Never throws.
[[nodiscard]] CommandOutcome RunFileCommand(const CommandRequest& request);

// How RunEncryptCommands spreads its files.
struct EncryptBatchPlan {
    unsigned threads = 0;       // 0: one per core
    unsigned filesAtOnce = 0;   // over all threads; 0: as many as pay
    std::function<bool()> stop; // asked before each file starts: true starts no more
};

// Encrypt over several requests from files to files that share one key
// (state set up from keyText, both as in the first request), several files
// side by side on each thread. finished(i, outcome) comes for every request
// that started, as it ends, one at a time, from any thread, with the outcome
// RunFileCommand would give it. After a cancel no further file starts.
// Never throws.
void RunEncryptCommands(std::span<const CommandRequest> requests, const EncryptBatchPlan& plan,
                        const std::function<void(std::size_t, const CommandOutcome&)>& finished);

// Runs Wipe over the selected file (after the front end has asked). Never throws.
[[nodiscard]] CommandOutcome RunWipeCommand(const WipeRequest& request);

// The MD5 button: the digest of the password as 32 lowercase hex digits,
// ready for the Key box. The working copies are wiped before returning.
[[nodiscard]] SecretText16 KeyTextFromPassword(std::u16string_view password);

// Encrypt with a password typed and a Key box that is not its MD5 digest
// (ignoring case): most likely the key of an earlier password, which the
// user would not know the file is locked with. The window asks first.
[[nodiscard]] bool KeyMayBeStale(std::u16string_view password, std::u16string_view keyText);

// At exit: no key schedule outlives the program.
void ClearKeyState() noexcept;

// Sets up `state` from the key text as RunFileCommand would, without
// touching the process-wide key; the reason when the text cannot be used.
[[nodiscard]] std::optional<KeyProblem>
PrepareKeyState(Command operation, std::u16string_view keyText, BlowfishState& state);

// What ends a folder in a path: either slash on Windows.
#ifdef _WIN32
inline constexpr std::string_view kPathSeparators = "/\\";
#else
inline constexpr std::string_view kPathSeparators = "/";
#endif

// Folder, the separator, the name: the separator is always inserted, so a
// file in "/" gives "//name", which names the same file.
std::string SourcePath(const std::string& folder, const std::string& fileName);
// A path of this layer as a filesystem path. The strings hold the system's
// own bytes, which on Windows are taken as UTF-8.
std::filesystem::path PathFromString(const std::string& path);
// The source path with ".BF" appended.
std::string EncryptTargetPath(const std::string& sourcePath);
// The source path with its file name less the name's last three characters
// (whole characters, as UTF-8), whatever they are; nothing when the name has
// three characters or fewer, so that the cut never reaches the folder.
std::optional<std::string> DecryptTargetPath(const std::string& sourcePath);

// True for the names that mean standard output as a target: "-", and the
// system's names for it (/dev/stdout, /dev/fd/1, /proc/self/fd/1), which
// as files would be replaced rather than written to.
[[nodiscard]] bool MeansStandardOutput(std::string_view target);

// Whether the file at `path` opens for reading as Encrypt and Decrypt open
// a source: 0 when it does, else the file layer's error number (ErrorText
// words it). It is closed at once; a pipe or a device is refused without
// waiting for a writer.
[[nodiscard]] int OpenForReadingError(const std::string& path);

// Why a key text cannot be used, or nothing when it can. Encrypt takes hex
// digits only, and not the digest of the empty password; Decrypt takes any
// text, so files made with odd or empty keys still open.
std::optional<KeyProblem> KeyTextProblem(Command operation, std::u16string_view keyText);
// Why a password cannot be used, or nothing when it can: Encrypt refuses the
// empty one.
std::optional<KeyProblem> PasswordProblem(Command operation, std::u16string_view password);

} // namespace quillmoor::commands
