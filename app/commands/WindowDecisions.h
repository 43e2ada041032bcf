#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "app/commands/Commands.h"

// What both windows decide, once: which box follows an outcome and whether
// the file list is read again, what a file handed to the window selects and
// says, what is asked before Encrypt, Wipe and a close during work, and the
// progress dialog's pace. A window asks these and only draws the answer.
namespace quillmoor::commands {

enum class BoxIcon { Information, Warning, Question, Error };
enum class BoxButtons { Ok, OkCancel, YesNo };
enum class BoxAnswer { Ok, Cancel, Yes, No };

// A modal message box; texts are UTF-8.
struct Box {
    std::string title;
    std::string text;
    BoxIcon icon = BoxIcon::Information;
    BoxButtons buttons = BoxButtons::Ok;
    BoxAnswer defaultAnswer = BoxAnswer::Ok;
};

// A failure the window reports (a list that cannot be read, a file that
// cannot be opened): an error box with OK.
Box ErrorBox(std::string text);

// The box after a command, or none when there is nothing to say.
std::optional<Box> OutcomeBox(const CommandOutcome& outcome);
// Whether the file list is read again after the command: whatever Encrypt
// or Decrypt did, the list shows the folder as it is now. Wipe changes no
// name, so it is not.
bool RereadsFileList(const CommandOutcome& outcome);

// Asked before a wipe of `path`.
Box WipeQuestionBox(const std::string& path);

// Asked before Encrypt when a file is selected, a password typed and the
// Key box does not hold its digest; none otherwise. Yes goes on.
std::optional<Box> StaleKeyBox(Operation operation, bool fileSelected, std::u16string_view password,
                               std::u16string_view keyText);

// A close request (the close box, the taskbar, another program) while a
// file operation runs: the question, and what each answer does.
Box CloseDuringWorkBox();
struct CloseDecision {
    bool cancelWork = false;
    bool closeWhenDone = false; // the request stands: the window closes once the work stops
};
CloseDecision DecideCloseDuringWork(BoxAnswer answer);

// A path handed to the window, on its command line or by a drop.
enum class HandedKind { File, Folder, Missing };
struct HandedPlan {
    bool showFolder = false; // move the lists to the path's folder (the path itself for a folder)
    bool selectFile = false; // and select the file there, where it is listed
    std::optional<Box> box;
};
// `openError` as from OpenForReadingError; `folderExists` tells whether the
// file's folder can be shown.
HandedPlan PlanForHandedPath(const std::string& path, HandedKind kind, int openError,
                             bool folderExists);

// A drop of several paths: the first file is taken (folders are passed
// over); when anything else came with it the window says one file is taken
// at a time, once the file is shown.
struct DropChoice {
    std::optional<std::size_t> take;
    bool tellOneAtATime = false;
};
DropChoice ChooseDropped(std::span<const HandedKind> dropped);
Box OneFileAtATimeBox(const std::string& taken);

// The progress dialog: shown once the work has taken `delayMs`, its bar
// read every `refreshMs` and counted in `steps`, `widthPixels` wide at the
// reference font.
struct ProgressPace {
    unsigned delayMs;
    unsigned refreshMs;
    int steps;
    int widthPixels;
};
inline constexpr ProgressPace kProgressPace{500, 50, 1000, 360};

} // namespace quillmoor::commands
