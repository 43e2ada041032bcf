#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "app/commands/WindowDecisions.h"
#include "common/Progress.h"
#include "common/Secret.h"

// Every call this window makes into the command layer, in one place. The
// window passes what the controls hold and shows what comes back; the
// wording of every sentence it shows, and what follows an outcome, are the
// command layer's.
namespace quillmoor::win32 {

// Encrypt or Decrypt: the command layer's one name for a command.
using commands::Command;

// What the file list holds at the click.
struct FileChoice {
    std::wstring folder;
    std::optional<std::wstring> fileName; // none when nothing is selected
};

struct CommandResult {
    std::optional<commands::Box> box; // none: nothing to say
    bool rereadList = false;          // a file may have been written beside the source
};

// Encrypt or Decrypt with the Key box text.
CommandResult RunFile(Command command, SecretText16 keyText, const FileChoice& choice,
                      const ProgressCallback& progress);

// Asked before Encrypt when the key may be an earlier password's.
std::optional<commands::Box> StaleKeyQuestionFor(Command command, const FileChoice& choice,
                                                 std::u16string_view password,
                                                 std::u16string_view keyText);

struct WipeTestHooks {
    std::uint64_t seed = 0; // 0: from the clock
    std::function<void(std::span<const std::uint8_t>)> randomBlockObserver;
};

// The question asked before the selected file is wiped.
commands::Box WipeQuestionFor(const FileChoice& choice);
// Wipes the selected file (once the question was answered with OK).
CommandResult RunWipe(const FileChoice& choice, const ProgressCallback& progress,
                      const WipeTestHooks& hooks = {});

// A selected name that UTF-8 cannot carry (half of a surrogate pair): the
// command layer would act on another name, so it is refused with this box.
std::optional<commands::Box> UnnamableChoice(const FileChoice& choice);

// Whether `path` opens as a source does: 0, or the error for the message.
int OpenForReading(const std::wstring& path);

// The MD5 button: the Key box text for a password.
SecretText16 KeyTextFor(std::u16string_view password);
// At exit: no key schedule outlives the window.
void ClearKey();

// The label of the progress dialog: the action and the selected file.
std::wstring ProgressLabel(Command command, const FileChoice& choice);
std::wstring WipeProgressLabel(const FileChoice& choice);

// Sentences for the lists: a folder or drive that cannot be read.
std::string FolderProblem(std::wstring_view folder, std::wstring_view reason);
std::string DriveProblem(std::wstring_view drive, std::wstring_view reason);

} // namespace quillmoor::win32
