#include "cli/Targets.h"

#include <algorithm>

#include "cli/CliMain.h"

namespace quillmoor::cli {

namespace {

constexpr std::string_view kStandardStream = "-";

// The usual target of `name` in `folder`, as the window would name it;
// nothing when no name would be left.
std::optional<std::string> UsualTarget(commands::Operation operation, const std::string& folder,
                                       const std::string& name) {
    const std::string source = commands::SourcePath(folder, name);
    if (operation == commands::Operation::Encrypt)
        return commands::EncryptTargetPath(source);
    return commands::DecryptTargetPath(source);
}

} // namespace

bool HasEncryptedSuffix(std::string_view name) {
    if (name.size() < 3)
        return false;
    const std::string_view end = name.substr(name.size() - 3);
    return end[0] == '.' && (end[1] == 'B' || end[1] == 'b') && (end[2] == 'F' || end[2] == 'f');
}

std::optional<std::string> OutputProblem(std::span<const std::string> operands,
                                         const OutputOption& output) {
    const bool fromStandardInput =
        std::find(operands.begin(), operands.end(), kStandardStream) != operands.end();
    if (std::count(operands.begin(), operands.end(), kStandardStream) > 1)
        return "standard input ('-') can be read only once";
    // Its output goes to standard output, which result lines would spoil.
    if (fromStandardInput && operands.size() > 1)
        return "standard input ('-') goes with no other FILE";
    if (!output.path)
        return std::nullopt;
    if (output.path->empty())
        return "option '--output' needs a value that is not empty";
    const bool toStandardOutput = commands::MeansStandardOutput(*output.path);
    if (operands.size() > 1 && !output.isFolder)
        return toStandardOutput ? "'-o -' takes one FILE"
                                : "with several FILEs, -o must name an existing folder";
    if (output.isFolder && fromStandardInput)
        return "standard input ('-') has no name to use in a folder; name the target file "
               "with -o";
    return std::nullopt;
}

std::variant<Target, std::string> ChooseTarget(commands::Operation operation,
                                               const std::string& operand,
                                               const OutputOption& output) {
    const bool toStandardOutput = output.path && commands::MeansStandardOutput(*output.path);
    if (operand == kStandardStream || toStandardOutput) {
        if (!output.path || toStandardOutput)
            return Target{true, {}};
        return Target{false, *output.path};
    }
    const FileArgument where = SplitFileArgument(operand);
    if (output.path && !output.isFolder)
        return Target{false, *output.path};
    // The usual name cuts three characters: without ".BF" that would turn
    // letter.enc into "letter.", so the user names the target instead.
    if (operation == commands::Operation::Decrypt && !HasEncryptedSuffix(where.name))
        return std::string("the name does not end in .BF, so it gives no target name; name "
                           "the target with -o");
    const std::string folder =
        output.path ? SplitFileArgument(*output.path + "/x").folder : where.folder;
    const auto usual = UsualTarget(operation, folder, where.name);
    if (!usual)
        return std::string("nothing is left of the name without .BF; name the target with -o");
    return Target{false, *usual};
}

} // namespace quillmoor::cli
