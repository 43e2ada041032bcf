#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/Arguments.h"
#include "cli/Report.h"
#include "cli/Terminal.h"
#include "cli/Wildcards.h"

// quillmoor-cli: a command-line front end over the same commands the window
// runs. Everything here is argument handling and reporting; paths, key checks,
// file routines and wiping come from the command layer.
namespace quillmoor::cli {

// What the program talks to besides its arguments.
struct CliConsole {
    int inFd = 0;                // standard input: data, or a key or password with --key-file -
    int outFd = 1;               // standard output, for data
    int ttyIn = -1, ttyOut = -1; // the controlling terminal, for prompts; -1 when there is none
    bool inIsTerminal = false;
    bool outIsTerminal = false;
    bool errIsTerminal = false;
    std::function<bool()> interrupted;    // true once the user asked to stop
    std::function<std::size_t()> columns; // of the terminal standard error shows on
};

// A FILE argument as the window's file list would give it: the folder
// (without a trailing separator, except "/" itself; "." for a bare name) and
// the bare name (empty when the argument ends in a separator).
struct FileArgument {
    std::string folder;
    std::string name;
};
FileArgument SplitFileArgument(std::string_view argument);

// A command of the tool: its word, the options it takes and what runs it.
struct Verb {
    using Run = int (*)(const Invocation&, std::ostream& out, std::ostream& err, const CliConsole&);
    std::string_view name;
    OptionSet options;
    Run run;
};

// The command called `name`, or nothing.
const Verb* FindVerb(std::string_view name);

// `args` are the arguments after the program name. Output that cannot be
// written (a full disk, a closed pipe) makes the status at least 1.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           const CliConsole& console);
// The same with the words of a Windows command line: a FILE operand typed as
// a pattern stands for the files it matches.
int RunCommandLine(const std::vector<CommandWord>& words, std::ostream& out, std::ostream& err,
                   const CliConsole& console);

// The help as this system shows it; HelpTextFor gives another system's.
std::string_view HelpText();
std::string HelpTextFor(System system);
// The part of the help about one command: its usage, what it does and the
// options it takes.
std::string VerbHelp(const Verb& verb);

} // namespace quillmoor::cli
