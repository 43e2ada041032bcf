// What both windows decide, without a window: one row per decision.
#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

#include "app/commands/Messages.h"
#include "app/commands/WindowDecisions.h"

using namespace quillmoor::commands;

namespace {

CommandOutcome Outcome(Command command, CommandStatus status) {
    CommandOutcome outcome;
    outcome.command = command;
    outcome.status = status;
    outcome.source = "/d/a.txt";
    outcome.keyProblem = KeyProblem::EmptyKey;
    outcome.failure.reason = "disk on fire";
    return outcome;
}

} // namespace

TEST(WindowDecisions, WhatEachOutcomeShowsAndWhetherTheListIsReadAgain) {
    const struct {
        Command command;
        CommandStatus status;
        std::optional<BoxIcon> icon; // none: no box
        bool reread;
    } cases[] = {
        {Command::Encrypt, CommandStatus::Done, std::nullopt, true},
        {Command::Decrypt, CommandStatus::Cancelled, std::nullopt, true},
        {Command::Encrypt, CommandStatus::Failed, BoxIcon::Error, true},
        {Command::Decrypt, CommandStatus::KeyRefused, BoxIcon::Error, false},
        {Command::Encrypt, CommandStatus::NoSelection, BoxIcon::Information, false},
        {Command::Wipe, CommandStatus::Done, std::nullopt, false},
        {Command::Wipe, CommandStatus::Cancelled, BoxIcon::Information, false},
        {Command::Wipe, CommandStatus::Failed, BoxIcon::Error, false},
    };
    for (const auto& c : cases) {
        const CommandOutcome outcome = Outcome(c.command, c.status);
        const std::optional<Box> box = OutcomeBox(outcome);
        SCOPED_TRACE(static_cast<int>(c.command) * 10 + static_cast<int>(c.status));
        ASSERT_EQ(box.has_value(), c.icon.has_value());
        if (box) {
            EXPECT_EQ(box->icon, *c.icon);
            EXPECT_EQ(box->title, "Quillmoor");
            EXPECT_EQ(box->text, OutcomeMessage(outcome, Frame::Window));
            EXPECT_EQ(box->buttons, BoxButtons::Ok);
        }
        EXPECT_EQ(RereadsFileList(outcome), c.reread);
    }
}

TEST(WindowDecisions, TheQuestionsAskedBeforeWorkAndWhileItRuns) {
    const Box wipe = WipeQuestionBox("/d/a.txt");
    EXPECT_EQ(wipe.title, "Tolvane");
    EXPECT_EQ(wipe.text, "Do you want to wipe file: /d/a.txt");
    EXPECT_EQ(wipe.icon, BoxIcon::Warning);
    EXPECT_EQ(wipe.buttons, BoxButtons::OkCancel);
    EXPECT_EQ(wipe.defaultAnswer, BoxAnswer::Ok);

    const Box close = CloseDuringWorkBox();
    EXPECT_EQ(close.text, CloseWhileBusyQuestion());
    EXPECT_EQ(close.buttons, BoxButtons::YesNo);
    EXPECT_EQ(close.defaultAnswer, BoxAnswer::No);
    const struct {
        BoxAnswer answer;
        bool cancel, close;
    } answers[] = {{BoxAnswer::Yes, true, true}, {BoxAnswer::No, false, false}};
    for (const auto& a : answers) {
        const CloseDecision decision = DecideCloseDuringWork(a.answer);
        EXPECT_EQ(decision.cancelWork, a.cancel);
        EXPECT_EQ(decision.closeWhenDone, a.close);
    }
}

TEST(WindowDecisions, TheStaleKeyIsAskedAboutOnEncryptOfASelectedFileOnly) {
    constexpr char16_t kDigestOfAbc[] = u"900150983cd24fb0d6963f7d28e17f72";
    const struct {
        Operation operation;
        bool selected;
        const char16_t* password;
        bool asked;
    } cases[] = {
        {Operation::Encrypt, true, u"abd", true},
        {Operation::Encrypt, true, u"abc", false},
        {Operation::Encrypt, true, u"", false},
        {Operation::Encrypt, false, u"abd", false}, // nothing would be encrypted
        {Operation::Decrypt, true, u"abd", false},  // a wrong key is refused there
    };
    for (const auto& c : cases) {
        const std::optional<Box> box =
            StaleKeyBox(c.operation, c.selected, c.password, kDigestOfAbc);
        ASSERT_EQ(box.has_value(), c.asked) << static_cast<int>(c.operation) << c.selected;
        if (box) {
            EXPECT_EQ(box->text, StaleKeyQuestion());
            EXPECT_EQ(box->buttons, BoxButtons::YesNo);
            EXPECT_EQ(box->defaultAnswer, BoxAnswer::No);
        }
    }
}

TEST(WindowDecisions, APathHandedToTheWindow) {
    const struct {
        HandedKind kind;
        int error;
        bool folderExists;
        bool showFolder, selectFile, box;
    } cases[] = {
        {HandedKind::File, 0, true, true, true, false},
        {HandedKind::Folder, 0, true, true, false, false},
        {HandedKind::Missing, ENOENT, true, true, true, true}, // its folder still shown
        {HandedKind::Missing, ENOENT, false, false, false, true},
        {HandedKind::File, EACCES, true, true, true, true},
    };
    for (const auto& c : cases) {
        const HandedPlan plan = PlanForHandedPath("/d/a.BF", c.kind, c.error, c.folderExists);
        SCOPED_TRACE(static_cast<int>(c.kind) * 100 + c.error);
        EXPECT_EQ(plan.showFolder, c.showFolder);
        EXPECT_EQ(plan.selectFile, c.selectFile);
        ASSERT_EQ(plan.box.has_value(), c.box);
        if (plan.box) {
            EXPECT_EQ(plan.box->icon, BoxIcon::Error);
            EXPECT_EQ(plan.box->text, OpenFailedMessage("/d/a.BF", c.error));
        }
    }
}

TEST(WindowDecisions, ADropTakesTheFirstFileAndSaysSoWhenMoreCame) {
    using K = HandedKind;
    const struct {
        std::vector<HandedKind> dropped;
        std::optional<std::size_t> take;
        bool tell;
    } cases[] = {
        {{K::File}, 0, false},
        {{K::File, K::File}, 0, true},
        {{K::Folder, K::File}, 1, true},
        {{K::Folder}, std::nullopt, false},
        {{K::Missing, K::Folder}, std::nullopt, false},
        {{}, std::nullopt, false},
    };
    for (const auto& c : cases) {
        const DropChoice choice = ChooseDropped(c.dropped);
        EXPECT_EQ(choice.take, c.take) << c.dropped.size();
        EXPECT_EQ(choice.tellOneAtATime, c.tell) << c.dropped.size();
    }
    EXPECT_EQ(OneFileAtATimeBox("/d/a.BF").text, OneFileAtATimeMessage("/d/a.BF"));
}
