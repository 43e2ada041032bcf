#pragma once

#include <ostream>

#include "cli/Arguments.h"
#include "cli/CliMain.h"

// --files-from LIST: names read from a file (or standard input) join the
// FILE operands of one run, one per line or, with -0, ending in a zero byte,
// so any name at all can be listed.
namespace quillmoor::cli {

// Appends the listed names to inv.operands; 0, or the status after saying
// why the list cannot be read.
int AddListedFiles(Invocation& inv, std::ostream& err, const CliConsole& console);

} // namespace quillmoor::cli
