#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "app/commands/Commands.h"
#include "cli/CliMain.h"
#include "cli/Targets.h"

// Encrypt and decrypt over the FILE operands, once the key is known: where
// each output goes, several files at once, progress and the result lines.
namespace quillmoor::cli {

struct FileRun {
    commands::Operation operation = commands::Operation::Encrypt;
    std::vector<std::string> operands; // "-" is standard input
    OutputOption output;
    bool noClobber = false;
    bool quiet = false;
    bool lenient = false;
    unsigned jobs = 0; // files at once; 0: one per core (encrypt: eight per core)
};

// Runs the command on every operand (OutputProblem already checked) and
// reports each in operand order. Returns the exit status.
int RunFileOperands(const FileRun& run, std::u16string_view keyText, std::ostream& out,
                    std::ostream& err, const CliConsole& console);

} // namespace quillmoor::cli
