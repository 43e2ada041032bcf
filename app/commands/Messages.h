#pragma once

#include <string>
#include <string_view>

#include "app/commands/Commands.h"

// Every sentence a front end shows about an outcome or a key, in one place,
// so the window and the command-line tool say the same thing in their own
// frame. All results are UTF-8 and name a file at most once, through
// DisplayName.
namespace quillmoor::commands {

// Where a sentence is shown: the window speaks of boxes and buttons, the
// command-line tool of options; the tool's sentences start in lower case
// and end without a full stop, to follow "quillmoor-cli: ".
enum class Frame { Window, Cli };

// The one sentence for an outcome, or an empty string when there is
// nothing to say (Done; a cancelled Encrypt or Decrypt in the window).
std::string OutcomeMessage(const CommandOutcome& outcome, Frame frame);

// Why a key or password was refused, for a front end that checks the key
// before it has a file (the command-line tool).
std::string KeyProblemMessage(KeyProblem problem, Frame frame);

// The confirmation asked before a wipe.
std::string WipeQuestion(const std::string& path);

// The window's own sentences about files handed to it and about closing.
// A file it was started on, or had dropped on it, that cannot be opened
// (`error` as from OpenForReadingError).
std::string OpenFailedMessage(const std::string& path, int error);
// Several files were dropped at once; `selected` is the one taken.
std::string OneFileAtATimeMessage(const std::string& selected);
// Asked when the window is closed while a file operation runs.
std::string CloseWhileBusyQuestion();
// A name the system holds in UTF-16 with half a surrogate pair: UTF-8
// cannot carry it, so it would reach a different file.
std::string NotUnicodeMessage(const std::string& path);
// Asked before Encrypt when the key may be stale (KeyMayBeStale).
std::string StaleKeyQuestion();
// The progress window's line while `command` works on `path`.
std::string ProgressLabel(Command command, const std::string& path);
// A drive or folder the lists cannot show; `reason` is the system's text.
enum class ListEntry { Drive, Folder };
std::string ListFailureMessage(ListEntry entry, const std::string& path, const std::string& reason);

// A name as it may safely be shown on one line: unchanged when it is valid
// UTF-8 without control characters; otherwise quoted the way ls does, with
// the printable runs in single quotes and the rest as $'\n', $'\033' or
// $'\377'.
std::string DisplayName(std::string_view nativePath);
// The same for a path of the outcome (its UTF-8 form on Windows).
std::string DisplayPath(const std::filesystem::path& path);

} // namespace quillmoor::commands
