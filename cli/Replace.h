#pragma once

#include <string>
#include <string_view>

#include "cli/CliMain.h"

// Questions on the terminal, and whether an existing target may be replaced:
// the tool replaces a file only when the user says so (-f, or "y" to the
// question), as the tools its users know do.
namespace quillmoor::cli {

enum class Answer { Yes, No, Interrupted };

// Asks `question` followed by " [y/N] " on the controlling terminal and
// reads the answer there; anything but a yes (or no terminal) is No.
Answer AskOnTerminal(const CliConsole& console, std::string_view question);

// What -f and -n say about existing targets.
enum class ExistingTarget { Ask, Replace, Keep };

// What becomes of one operand's target, settled before any job starts.
enum class TargetDecision {
    Create,  // none there now: one that appears meanwhile is kept
    Replace, // -f, or the user said yes
    Skip,    // the user said no
    Refuse,  // it exists, and there is no terminal to ask on
    Stop,    // interrupted while asking
};

// The decision for `target` (a path; standard output is never asked about).
TargetDecision DecideTarget(ExistingTarget rule, const std::string& target,
                            const CliConsole& console);

// `path` as the user thinks of it: without the "./" the tool puts before a
// bare name.
std::string ShownPath(const std::string& path);

} // namespace quillmoor::cli
