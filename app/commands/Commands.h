#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "filecrypt/basBlowfishFileFns.h"

// The Encrypt and Decrypt commands without any widget: the window and the
// command-line tool hand in what the user chose and show the outcome.
namespace quillmoor::commands {

enum class Operation { Encrypt, Decrypt };

struct CommandRequest {
    Operation operation = Operation::Encrypt;
    std::u16string keyText;              // the Key box text
    std::string folder;                  // the file list's folder, as it reports it
    std::optional<std::string> fileName; // the selected name; none when nothing is selected
    DecryptMode mode = DecryptMode::Strict;
    ProgressCallback progress; // may cancel

    // For the command-line tool; the window leaves these as they are.
    std::optional<std::string> target; // instead of the usual target path
    bool replaceTarget = true;         // false: an existing target is refused, not replaced
    int sourceDescriptor = -1;         // read this (standard input) instead of the file
    int targetDescriptor = -1;         // write here (standard output) instead of a file
    // A key already set up from keyText, for several files at once: the
    // process-wide key is then left alone.
    const BlowfishState* state = nullptr;
    unsigned threads = 0; // decryption workers; 0: one per core
};

enum class CommandStatus {
    NoSelection, // the key was set up; nothing else to do
    Done,
    Cancelled,  // nothing changed on disk
    KeyRefused, // no file touched; message says why
    Failed,     // message names the file and the reason
};

struct CommandOutcome {
    CommandStatus status = CommandStatus::Done;
    std::string message; // for KeyRefused and Failed
    int errorNumber = 0; // the RuntimeError number for Failed
    std::filesystem::path source, target;
};

// Runs one command: sets up the key from the key text, works out the paths
// and calls the file routine. Never throws for a user error.
CommandOutcome RunFileCommand(const CommandRequest& request);

// Sets up `state` from the key text as RunFileCommand would, without
// touching the process-wide key; the reason when the text cannot be used.
std::optional<std::string> PrepareKeyState(Operation operation, std::u16string_view keyText,
                                           BlowfishState& state);

// Folder, the separator, the name: the separator is always inserted, so a
// file in "/" gives "//name", which names the same file.
std::string SourcePath(const std::string& folder, const std::string& fileName);
// A path of this layer as a filesystem path. The strings hold the system's
// own bytes, which on Windows are taken as UTF-8.
std::filesystem::path PathFromString(const std::string& path);
// The source path with ".BF" appended.
std::string EncryptTargetPath(const std::string& sourcePath);
// The source path less its last three characters, whatever they are.
std::string DecryptTargetPath(const std::string& sourcePath);

// Why a key text cannot be used, or nothing when it can. Encrypt takes hex
// digits only; Decrypt takes any text, so files made with odd keys still open.
std::optional<std::string> KeyTextProblem(Operation operation, std::u16string_view keyText);

} // namespace quillmoor::commands
