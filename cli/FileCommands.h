#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "app/commands/Commands.h"
#include "cli/CliMain.h"
#include "cli/Replace.h"
#include "cli/Targets.h"

// Encrypt and decrypt over the FILE operands, once the key is known: where
// each output goes, several files at once, progress and the result lines.
namespace quillmoor::cli {

struct FileRun {
    commands::Command operation = commands::Command::Encrypt;
    std::vector<std::string> operands; // "-" is standard input
    OutputOption output;
    ExistingTarget existing = ExistingTarget::Ask;
    bool quiet = false;
    bool lenient = false;
    unsigned jobs = 0; // files at once; 0: one per core (encrypt: eight per core)
};

// Runs the command on every operand (OutputProblem already checked) and
// reports each in operand order. Returns the exit status.
int RunFileOperands(const FileRun& run, std::u16string_view keyText, std::ostream& out,
                    std::ostream& err, const CliConsole& console);

// Whether some operand's data goes to standard output.
bool WritesStandardOutput(const FileRun& run);

// Says which operands already end in .BF: encrypting one again is seldom meant.
void WarnOfEncryptedNames(const std::vector<std::string>& operands, std::ostream& err);

// The test command: deciphers each operand with the key and checks its
// filler as decrypt would, writing nothing; reports each in order. Returns
// the exit status (0 when every file passes).
int TestOperands(const std::vector<std::string>& operands, bool quiet, std::u16string_view keyText,
                 std::ostream& out, std::ostream& err, const CliConsole& console);

} // namespace quillmoor::cli
