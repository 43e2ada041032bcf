#include "app/commands/WindowDecisions.h"

#include "app/commands/Messages.h"

namespace quillmoor::commands {

namespace {

constexpr std::string_view kTitle = "Quillmoor";
// The wipe question keeps the title it always had.
constexpr std::string_view kWipeTitle = "Tolvane";

Box Question(std::string text, BoxIcon icon) {
    return {std::string(kTitle), std::move(text), icon, BoxButtons::YesNo, BoxAnswer::No};
}

} // namespace

Box ErrorBox(std::string text) {
    return {std::string(kTitle), std::move(text), BoxIcon::Error, BoxButtons::Ok, BoxAnswer::Ok};
}

std::optional<Box> OutcomeBox(const CommandOutcome& outcome) {
    std::string text = OutcomeMessage(outcome, Frame::Window);
    if (text.empty())
        return std::nullopt;
    const bool failed =
        outcome.status == CommandStatus::Failed || outcome.status == CommandStatus::KeyRefused;
    if (failed)
        return ErrorBox(std::move(text));
    return Box{std::string(kTitle), std::move(text), BoxIcon::Information, BoxButtons::Ok,
               BoxAnswer::Ok};
}

bool RereadsFileList(const CommandOutcome& outcome) {
    return outcome.command != Command::Wipe &&
           (outcome.status == CommandStatus::Done || outcome.status == CommandStatus::Cancelled ||
            outcome.status == CommandStatus::Failed);
}

Box WipeQuestionBox(const std::string& path) {
    return {std::string(kWipeTitle), WipeQuestion(path), BoxIcon::Warning, BoxButtons::OkCancel,
            BoxAnswer::Ok};
}

std::optional<Box> StaleKeyBox(Operation operation, bool fileSelected, std::u16string_view password,
                               std::u16string_view keyText) {
    if (operation != Operation::Encrypt || !fileSelected || !KeyMayBeStale(password, keyText))
        return std::nullopt;
    return Question(StaleKeyQuestion(), BoxIcon::Warning);
}

Box CloseDuringWorkBox() { return Question(CloseWhileBusyQuestion(), BoxIcon::Question); }

CloseDecision DecideCloseDuringWork(BoxAnswer answer) {
    const bool yes = answer == BoxAnswer::Yes;
    return {yes, yes};
}

HandedPlan PlanForHandedPath(const std::string& path, HandedKind kind, int openError,
                             bool folderExists) {
    HandedPlan plan;
    if (kind == HandedKind::Folder) {
        plan.showFolder = true;
        return plan;
    }
    // What cannot be opened is still shown where it can be, and said.
    plan.showFolder = openError == 0 || folderExists;
    plan.selectFile = plan.showFolder;
    if (openError != 0)
        plan.box = ErrorBox(OpenFailedMessage(path, openError));
    return plan;
}

DropChoice ChooseDropped(std::span<const HandedKind> dropped) {
    DropChoice choice;
    for (std::size_t i = 0; i < dropped.size() && !choice.take; ++i)
        if (dropped[i] == HandedKind::File)
            choice.take = i;
    choice.tellOneAtATime = choice.take && dropped.size() > 1;
    return choice;
}

Box OneFileAtATimeBox(const std::string& taken) {
    return {std::string(kTitle), OneFileAtATimeMessage(taken), BoxIcon::Information, BoxButtons::Ok,
            BoxAnswer::Ok};
}

} // namespace quillmoor::commands
