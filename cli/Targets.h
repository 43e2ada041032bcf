#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "app/commands/Commands.h"

// Where the output of each FILE operand goes: beside it under the usual
// name, to the file or folder -o names, or to standard output.
namespace quillmoor::cli {

struct OutputOption {
    std::optional<std::string> path; // -o as given; "-" is standard output
    bool isFolder = false;           // it names an existing folder
};

struct Target {
    bool standardOutput = false;
    std::string path; // the target file, unless standardOutput
};

// ".BF" at the end, in any case.
bool HasEncryptedSuffix(std::string_view name);

// Why -o and the operands do not go together, or nothing. Checked before
// anything is touched.
std::optional<std::string> OutputProblem(std::span<const std::string> operands,
                                         const OutputOption& output);

// The target of one operand, or why it has none (a refusal of this operand
// alone). "-" is standard input; without -o its output is standard output.
std::variant<Target, std::string>
ChooseTarget(commands::Command operation, const std::string& operand, const OutputOption& output);

} // namespace quillmoor::cli
