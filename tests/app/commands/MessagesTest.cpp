#include <gtest/gtest.h>

#include <cctype>
#include <cerrno>

#include "app/commands/Messages.h"
#include "common/RuntimeError.h"
#include "tests/TestFiles.h"

using namespace quillmoor;
using namespace quillmoor::commands;
using namespace quillmoor::test;

namespace {

CommandOutcome Outcome(Command command, CommandStatus status, const char* source = "/d/a.txt") {
    CommandOutcome outcome;
    outcome.command = command;
    outcome.status = status;
    outcome.source = source;
    return outcome;
}

CommandOutcome Refused(KeyProblem problem) {
    CommandOutcome outcome = Outcome(Command::Encrypt, CommandStatus::KeyRefused);
    outcome.keyProblem = problem;
    return outcome;
}

CommandOutcome Failed(Command command, int number, const char* action, const char* path,
                      const char* reason) {
    CommandOutcome outcome = Outcome(command, CommandStatus::Failed);
    outcome.errorNumber = number;
    outcome.failure = {FileProblem::None, action, path, reason, {}};
    return outcome;
}

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

} // namespace

TEST(Messages, EachOutcomeInEachFrame) {
    CommandOutcome noName = Outcome(Command::Decrypt, CommandStatus::Failed, "/d/a.B");
    noName.failure = {FileProblem::NoNameLeft, {}, "/d/a.B", {}, {}};
    CommandOutcome link =
        Failed(Command::Wipe, kErrSymbolicLink, "cannot wipe", "/d/link", "it is a symbolic link");
    link.failure.other = "/etc/passwd";
    CommandOutcome linkTarget = Failed(Command::Decrypt, kErrSymbolicLink, "cannot create",
                                       "/d/a.txt", "it is a symbolic link");
    linkTarget.failure.other = "/x/a.txt";
    CommandOutcome noParts = Outcome(Command::Encrypt, CommandStatus::Failed);
    noParts.failure.reason = "std::bad_alloc";
    CommandOutcome exists = Outcome(Command::Encrypt, CommandStatus::Failed);
    exists.failure = {FileProblem::TargetExists, {}, "/d/a.txt.BF", {}, {}};
    CommandOutcome cutShort = Failed(Command::Decrypt, kErrWrongKeyOrDamaged, "cannot decrypt",
                                     "standard input", "wrong key or damaged file");
    cutShort.partialOutput = true;
    CommandOutcome interruptedStream = Outcome(Command::Decrypt, CommandStatus::Cancelled);
    interruptedStream.partialOutput = true;
    const struct {
        CommandOutcome outcome;
        Frame frame;
        std::string said;
    } cases[] = {
        {Outcome(Command::Encrypt, CommandStatus::Done), Frame::Window, ""},
        {Outcome(Command::Encrypt, CommandStatus::NoSelection), Frame::Window,
         "No file is selected. Select the file to encrypt in the file list, then press Encrypt."},
        {Outcome(Command::Decrypt, CommandStatus::NoSelection), Frame::Cli,
         "no file given to decrypt"},
        {Outcome(Command::Decrypt, CommandStatus::Cancelled), Frame::Window, ""},
        {Outcome(Command::Encrypt, CommandStatus::Cancelled), Frame::Cli,
         "encrypting /d/a.txt was interrupted; nothing was changed"},
        {Outcome(Command::Wipe, CommandStatus::Cancelled), Frame::Window,
         "Wiping /d/a.txt was cancelled; it is only partly overwritten."},
        {Refused(KeyProblem::EmptyKey), Frame::Window,
         "Cannot encrypt /d/a.txt: the Key box is empty. Type a hexadecimal key, or type a "
         "password in the Password box and press MD5."},
        {Refused(KeyProblem::NotHex), Frame::Cli,
         "cannot encrypt /d/a.txt: the key must be hexadecimal digits only (0-9, a-f). For a "
         "password use --password-env or --password-file"},
        {Failed(Command::Decrypt, kErrWrongKeyOrDamaged, "cannot decrypt", "/d/a.BF",
                "wrong key or damaged file"),
         Frame::Window,
         "Cannot decrypt /d/a.BF: wrong key or damaged file. Check the key; nothing was written."},
        {Failed(Command::Encrypt, kErrDiskFull, "cannot write", "/d/a.txt.BF",
                "No space left on device"),
         Frame::Cli,
         "cannot write /d/a.txt.BF: No space left on device. Nothing was written; make room and "
         "try again"},
        {Failed(Command::Encrypt, kErrChangedWhileRead, "cannot read", "/d/a.txt",
                "the file grew while it was read"),
         Frame::Window,
         "Cannot read /d/a.txt: the file grew while it was read. Nothing was written; try again "
         "once nothing else is writing to it."},
        {Failed(Command::Wipe, kErrDeviceIo, "cannot write", "/d/a.txt", "Input/output error"),
         Frame::Window,
         "Cannot write /d/a.txt: Input/output error. The file is only partly overwritten."},
        {Failed(Command::Wipe, kErrFileNotFound, "cannot wipe", "/d/a.txt",
                "No such file or directory"),
         Frame::Cli, "cannot wipe /d/a.txt: No such file or directory. Nothing was overwritten"},
        {link, Frame::Cli,
         "cannot wipe /d/link: it is a symbolic link to /etc/passwd; wipe that file by its own "
         "name. Nothing was overwritten"},
        {linkTarget, Frame::Cli,
         "cannot create /d/a.txt: it is a symbolic link to /x/a.txt; decrypt to that file by its "
         "own name with -o, or remove the link. Nothing was written"},
        {linkTarget, Frame::Window,
         "Cannot create /d/a.txt: it is a symbolic link to /x/a.txt; remove the link, then press "
         "Decrypt again. Nothing was written."},
        {noName, Frame::Window,
         "Cannot decrypt /d/a.B: the decrypted file takes this name less its last three "
         "characters, and the name has no more than three. Rename it, for example with .BF at "
         "the end; nothing was written."},
        {noParts, Frame::Window, "Cannot encrypt /d/a.txt: std::bad_alloc. Nothing was written."},
        {exists, Frame::Cli,
         "cannot create /d/a.txt.BF: the file exists, and it is to be kept. Nothing was written"},
        {cutShort, Frame::Cli,
         "cannot decrypt standard input: wrong key or damaged file. Check the key; the output "
         "stops before the final block"},
        {interruptedStream, Frame::Cli,
         "decrypting /d/a.txt was interrupted; the output is incomplete"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(OutcomeMessage(c.outcome, c.frame), c.said);
}

TEST(Messages, EachFrameSpeaksOnlyOfItsOwnControls) {
    for (const KeyProblem problem :
         {KeyProblem::EmptyKey, KeyProblem::KeyTooLong, KeyProblem::NotHex,
          KeyProblem::EmptyPassword, KeyProblem::EmptyPasswordDigest, KeyProblem::Refused}) {
        const std::string window = KeyProblemMessage(problem, Frame::Window);
        const std::string cli = KeyProblemMessage(problem, Frame::Cli);
        EXPECT_EQ(window.find("--"), std::string::npos) << window;
        for (const char* word : {"box", "Box", "press", "button"})
            EXPECT_EQ(cli.find(word), std::string::npos) << cli;
        EXPECT_TRUE(std::islower(static_cast<unsigned char>(cli.front()))) << cli;
        EXPECT_NE(cli.back(), '.') << cli;
    }
    EXPECT_EQ(KeyProblemMessage(KeyProblem::EmptyPassword, Frame::Cli),
              "the password is empty, and a file encrypted under it opens for anyone. Choose a "
              "password that is not empty");
}

TEST(Messages, AFailureOfTheFileRoutinesNamesTheFileOnce) {
    TempDir dir;
    for (const Operation op : {Operation::Encrypt, Operation::Decrypt}) {
        CommandRequest request;
        request.operation = op;
        request.keyText = u"00112233445566778899aabbccddeeff";
        request.folder = dir.path().string();
        request.fileName = "missing.BF";
        const CommandOutcome outcome = RunFileCommand(request);
        ASSERT_EQ(outcome.status, CommandStatus::Failed);
        for (const Frame frame : {Frame::Window, Frame::Cli}) {
            const std::string said = OutcomeMessage(outcome, frame);
            EXPECT_EQ(Count(said, "missing.BF"), 1u) << said;
            EXPECT_NE(said.find("No such file or directory"), std::string::npos) << said;
        }
    }
}

TEST(Messages, DisplayNameEscapesWhatWouldMisleadATerminal) {
    const struct {
        std::string name, shown;
    } cases[] = {
        {"a.txt", "a.txt"},
        {"/d/my file's.txt", "/d/my file's.txt"},
        {"caf\xC3\xA9 \xE2\x82\xAC", "caf\xC3\xA9 \xE2\x82\xAC"},
        {"", ""},
        {"a\nb", "'a'$'\\n''b'"},
        {"\x1B[31mred", "$'\\033''[31mred'"},
        {"bad\xFF", "'bad'$'\\377'"},
        {"it's\t", "'it'$'\\'''s'$'\\t'"},
        {"\xE2\x80\xAE"
         "evil",
         "$'\\342\\200\\256''evil'"},           // right-to-left override
        {"\xC2\x85", "$'\\302\\205'"},          // C1 next line
        {"\xC0\xAF", "$'\\300\\257'"},          // overlong '/'
        {"\xED\xA0\x80", "$'\\355\\240\\200'"}, // surrogate
        {"cut\xE2\x82", "'cut'$'\\342\\202'"},
        {"\x7F\r", "$'\\177\\r'"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DisplayName(c.name), c.shown);
    EXPECT_EQ(WipeQuestion("/d/a.txt"), "Do you want to wipe file: /d/a.txt");
    EXPECT_EQ(WipeQuestion("/d/a\nb"), "Do you want to wipe file: '/d/a'$'\\n''b'");
}

TEST(Messages, TheWindowsSentencesAboutFilesHandedToIt) {
    const struct {
        std::string said, expected;
    } cases[] = {
        {OpenFailedMessage("/d/gone.BF", ENOENT),
         "Cannot open /d/gone.BF: No such file or directory."},
        {OpenFailedMessage("/d/a\nb", EACCES), "Cannot open '/d/a'$'\\n''b': Permission denied."},
        {OneFileAtATimeMessage("/d/a.BF"), "One file is taken at a time: /d/a.BF is selected."},
        {OneFileAtATimeMessage("/d/\x1b[2J"),
         "One file is taken at a time: '/d/'$'\\033''[2J' is selected."},
        {ProgressLabel(Command::Decrypt, "/d/a\tb.BF"), "Decrypting '/d/a'$'\\t''b.BF'"},
        {ProgressLabel(Command::Wipe, "/d/a"), "Wiping /d/a"},
        {ListFailureMessage(ListEntry::Drive, "Q:\\", "The device is not ready."),
         "Cannot read drive Q:\\:\nThe device is not ready."},
        {ListFailureMessage(ListEntry::Folder, "/d/\x1b", "Permission denied"),
         "Cannot read folder '/d/'$'\\033':\nPermission denied"},
        {StaleKeyQuestion(), "The key is not the MD5 of the password. Encrypt with the key in "
                             "the Key box anyway?"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.said, c.expected);
    EXPECT_NE(CloseWhileBusyQuestion().find("must finish or be cancelled"), std::string::npos);
}
