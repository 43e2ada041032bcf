#include "cli/Replace.h"

#include <filesystem>

#include "app/commands/Messages.h"
#include "cli/Input.h"
#include "cli/Terminal.h"

namespace quillmoor::cli {

namespace {

bool IsYes(std::string_view answer) {
    return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes" || answer == "YES";
}

bool Exists(const std::string& path) {
    std::error_code ignored; // a link counts, even one that leads nowhere
    return std::filesystem::symlink_status(commands::PathFromString(path), ignored).type() !=
           std::filesystem::file_type::not_found;
}

} // namespace

Answer AskOnTerminal(const CliConsole& console, std::string_view question) {
    if (console.ttyIn < 0)
        return Answer::No;
    (void)WriteAll(console.ttyOut, std::string(question) + " [y/N] ");
    SecretText answer;
    int error = 0;
    const LineStatus status = ReadFirstLine(console.ttyIn, answer, error, console.interrupted);
    if (status == LineStatus::Interrupted)
        return Answer::Interrupted;
    return status == LineStatus::Ok && IsYes(answer) ? Answer::Yes : Answer::No;
}

TargetDecision DecideTarget(ExistingTarget rule, const std::string& target,
                            const CliConsole& console) {
    if (rule == ExistingTarget::Replace)
        return TargetDecision::Replace;
    if (rule == ExistingTarget::Keep || !Exists(target))
        return TargetDecision::Create;
    if (console.ttyIn < 0)
        return TargetDecision::Refuse;
    switch (AskOnTerminal(console, commands::ReplaceQuestion(ShownPath(target)))) {
    case Answer::Yes: return TargetDecision::Replace;
    case Answer::No: return TargetDecision::Skip;
    case Answer::Interrupted: break;
    }
    return TargetDecision::Stop;
}

std::string ShownPath(const std::string& path) {
    return path.starts_with("./") && path.size() > 2 ? path.substr(2) : path;
}

} // namespace quillmoor::cli
