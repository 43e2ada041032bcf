#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/commands/Commands.h"
#include "app/commands/Messages.h"
#include "app/commands/Wipe.h"
#include "cipher/basBlowfish.h"
#include "common/RuntimeError.h"
#include "convert/basConvert.h"
#include "tests/TestFiles.h"

using namespace quillmoor;
using namespace quillmoor::commands;
using namespace quillmoor::test;

namespace {

constexpr char16_t kKey[] = u"00112233445566778899aabbccddeeff";

CommandOutcome RunCommand(Operation op, std::u16string key, const fs::path& folder,
                          std::optional<std::string> name) {
    CommandRequest request;
    request.operation = op;
    request.keyText = key;
    request.folder = folder.string();
    request.fileName = std::move(name);
    return RunFileCommand(request);
}

std::string Said(const CommandOutcome& outcome) { return OutcomeMessage(outcome, Frame::Cli); }

bool StateEquals(const BlowfishState& a, const BlowfishState& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

} // namespace

TEST(CommandPaths, SeparatorIsAlwaysInserted) {
    EXPECT_EQ(SourcePath("/data", "a.txt"), "/data/a.txt");
    EXPECT_EQ(SourcePath("/", "a.txt"), "//a.txt");
    EXPECT_EQ(EncryptTargetPath("/data/a.txt"), "/data/a.txt.BF");
    EXPECT_EQ(EncryptTargetPath("/data/a.BF"), "/data/a.BF.BF");
}

TEST(CommandPaths, NamesOfStandardOutput) {
    const std::pair<const char*, bool> rows[] = {{"-", true},
                                                 {"/dev/stdout", true},
                                                 {"/dev/fd/1", true},
                                                 {"/proc/self/fd/1", true},
                                                 {"/dev/stderr", false},
                                                 {"./-", false},
                                                 {"/dev/fd/10", false},
                                                 {"stdout", false},
                                                 {"", false}};
    for (const auto& [name, means] : rows)
        EXPECT_EQ(MeansStandardOutput(name), means) << name;
}

TEST(CommandPaths, DecryptCutsTheLastThreeCharactersOfTheNameOnly) {
    const struct {
        const char* source;
        std::optional<std::string> target;
    } cases[] = {
        {"/data/a.txt.BF", "/data/a.txt"},
        {"/data/a.BF.BF", "/data/a.BF"},
        {"/data/X.BF", "/data/X"},
        {"/data/notes.txt", "/data/notes."}, // whatever the three are
        {"./abcd", "./a"},
        {"/data/abc", std::nullopt}, // no name would be left
        {"notes/a", std::nullopt},   // never reaches into the folder
        {"//ab", std::nullopt},
        {"/d/\xC3\xA9.BF", "/d/\xC3\xA9"}, // whole characters, not bytes of them
        {"/d/caf\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", "/d/caf"},
        {"/d/\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DecryptTargetPath(c.source), c.target) << c.source;
}

TEST(CommandKeys, WhatEachOperationRefuses) {
    const std::u16string tooLong(113, u'a');
    const struct {
        Operation op;
        std::u16string key;
        std::optional<KeyProblem> problem;
    } cases[] = {
        {Operation::Encrypt, kKey, std::nullopt},
        {Operation::Encrypt, std::u16string(112, u'a'), std::nullopt},
        {Operation::Encrypt, u"", KeyProblem::EmptyKey},
        {Operation::Encrypt, tooLong, KeyProblem::KeyTooLong},
        {Operation::Encrypt, u"password", KeyProblem::NotHex},
        {Operation::Encrypt, u"00 11 22", KeyProblem::NotHex},
        {Operation::Encrypt, u"d41d8cd98f00b204e9800998ecf8427e", KeyProblem::EmptyPasswordDigest},
        {Operation::Encrypt, u"D41D8CD98F00B204E9800998ECF8427E", KeyProblem::EmptyPasswordDigest},
        // Decrypt takes any text, so files made under such keys still open.
        {Operation::Decrypt, u"", KeyProblem::EmptyKey},
        {Operation::Decrypt, tooLong, KeyProblem::KeyTooLong},
        {Operation::Decrypt, u"00 11 22", std::nullopt},
        {Operation::Decrypt, u"d41d8cd98f00b204e9800998ecf8427e", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(KeyTextProblem(c.op, c.key), c.problem)
            << static_cast<int>(c.op) << " " << std::string(c.key.begin(), c.key.end());
    EXPECT_EQ(PasswordProblem(Operation::Encrypt, u""), KeyProblem::EmptyPassword);
    EXPECT_EQ(PasswordProblem(Operation::Encrypt, u" "), std::nullopt);
    EXPECT_EQ(PasswordProblem(Operation::Decrypt, u""), std::nullopt);
}

TEST(CommandKeys, KeyTextFromPasswordIsTheMd5Digest) {
    EXPECT_EQ(KeyTextFromPassword(u""), u"d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(KeyTextFromPassword(u"abc"), u"900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(KeyTextFromPassword(u"\u00E9"),
              u"3406877694691ddd1dfb0aca54681407"); // its Latin-1 byte
    // What the MD5 button makes of an empty Password box: Decrypt only.
    EXPECT_EQ(KeyTextProblem(Operation::Encrypt, KeyTextFromPassword(u"")),
              KeyProblem::EmptyPasswordDigest);
}

TEST(CommandKeys, AKeyThatIsNotTheDigestOfATypedPasswordMayBeStale) {
    const struct {
        const char16_t* password;
        const char16_t* key;
        bool stale;
    } cases[] = {
        {u"abc", u"900150983cd24fb0d6963f7d28e17f72", false},
        {u"abc", u"900150983CD24FB0D6963F7D28E17F72", false}, // case does not count
        {u"abd", u"900150983cd24fb0d6963f7d28e17f72", true},  // the password changed
        {u"abc", u"", true},
        {u"abc", u"900150983cd24fb0d6963f7d28e17f7", true}, // one digit short
        {u"abc", u"00112233445566778899aabbccddeeff", true},
        {u"", u"00112233445566778899aabbccddeeff", false}, // a key typed alone
        {u"", u"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(KeyMayBeStale(c.password, c.key), c.stale)
            << std::string(c.key, c.key + std::char_traits<char16_t>::length(c.key));
}

TEST(Commands, RoundTripRestoresNameAndBytes) {
    TempDir dir;
    const auto plain = RandomBytes(5000, 1);
    WriteFile(dir / "a.txt", plain);
    auto out = RunCommand(Operation::Encrypt, kKey, dir.path(), "a.txt");
    ASSERT_EQ(out.status, CommandStatus::Done) << Said(out);
    EXPECT_EQ(out.target, dir.path().string() + "/a.txt.BF");
    fs::remove(dir / "a.txt");
    out = RunCommand(Operation::Decrypt, kKey, dir.path(), "a.txt.BF");
    ASSERT_EQ(out.status, CommandStatus::Done) << Said(out);
    EXPECT_EQ(ReadFile(dir / "a.txt"), plain);
}

TEST(Commands, NoSelectionStillSetsTheKey) {
    BlowfishClearState(blowfishState());
    TempDir dir;
    const auto out = RunCommand(Operation::Encrypt, kKey, dir.path(), std::nullopt);
    EXPECT_EQ(out.status, CommandStatus::NoSelection);
    BlowfishState expected{};
    ASSERT_TRUE(BlowfishSetKey(expected, *HexTextToBytes(kKey)));
    EXPECT_TRUE(StateEquals(blowfishState(), expected));
    EXPECT_TRUE(dir.Names().empty());
}

TEST(Commands, RefusedKeyTouchesNothingAndSaysWhy) {
    TempDir dir;
    WriteFile(dir / "a.txt", {1, 2, 3});
    ASSERT_TRUE(BlowfishSetKey(HexTextToBytes(u"0102")));
    const BlowfishState before = blowfishState();
    for (const std::u16string& key :
         {std::u16string(), std::u16string(114, u'1'), std::u16string(u"hunter2")}) {
        const auto out = RunCommand(Operation::Encrypt, key, dir.path(), "a.txt");
        EXPECT_EQ(out.status, CommandStatus::KeyRefused);
        EXPECT_TRUE(out.keyProblem.has_value());
        EXPECT_TRUE(StateEquals(blowfishState(), before));
    }
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"a.txt"});
}

TEST(Commands, DecryptAcceptsAnyKeyTextAsConverted) {
    TempDir dir;
    WriteFile(dir / "a", RandomBytes(100, 2));
    // A file made under "00 11 22", as the window used to allow.
    const std::u16string odd = u"00 11 22";
    ASSERT_TRUE(BlowfishSetKey(HexTextToBytes(odd)));
    BlowfishEncryptFile(dir / "a", dir / "a.BF", odd);
    fs::rename(dir / "a", dir / "orig");
    const auto out = RunCommand(Operation::Decrypt, odd, dir.path(), "a.BF");
    ASSERT_EQ(out.status, CommandStatus::Done) << Said(out);
    EXPECT_EQ(ReadFile(dir / "a"), ReadFile(dir / "orig"));
}

TEST(Commands, NameWithoutBfGetsTheThreeCharacterCut) {
    TempDir dir;
    const auto plain = RandomBytes(10, 3);
    WriteFile(dir / "notes.txt", plain);
    ASSERT_EQ(RunCommand(Operation::Encrypt, kKey, dir.path(), "notes.txt").status,
              CommandStatus::Done);
    fs::rename(dir / "notes.txt.BF", dir / "notes.txt");
    const auto out = RunCommand(Operation::Decrypt, kKey, dir.path(), "notes.txt");
    ASSERT_EQ(out.status, CommandStatus::Done) << Said(out);
    EXPECT_EQ(ReadFile(dir / "notes."), plain);
}

TEST(Commands, FolderWithTrailingSeparatorGivesADoubledOneThatStillWorks) {
    TempDir dir;
    WriteFile(dir / "r", {5});
    const auto out = RunCommand(Operation::Encrypt, kKey, dir.path().string() + "/", "r");
    ASSERT_EQ(out.status, CommandStatus::Done) << Said(out);
    EXPECT_EQ(out.source.string(), dir.path().string() + "//r");
    EXPECT_TRUE(fs::exists(dir / "r.BF"));
}

TEST(Commands, FailureKeepsItsParts) {
    TempDir dir;
    const auto out = RunCommand(Operation::Encrypt, kKey, dir.path(), "missing.txt");
    EXPECT_EQ(out.status, CommandStatus::Failed);
    EXPECT_EQ(out.errorNumber, 68);
    EXPECT_EQ(out.failure.action, "cannot open");
    EXPECT_EQ(out.failure.path.filename(), "missing.txt");
    EXPECT_NE(out.failure.reason.find("No such file"), std::string::npos) << out.failure.reason;
    EXPECT_TRUE(dir.Names().empty());
}

TEST(Commands, NameOfThreeCharactersOrFewerIsNotDecrypted) {
    for (const char* name : {"ab", "a.B", "\xE2\x82\xAC.B"}) {
        TempDir dir;
        WriteFile(dir / name, RandomBytes(16, 4));
        const auto out = RunCommand(Operation::Decrypt, kKey, dir.path(), name);
        EXPECT_EQ(out.status, CommandStatus::Failed) << name;
        EXPECT_EQ(out.failure.problem, FileProblem::NoNameLeft) << name;
        EXPECT_EQ(dir.Names(), std::vector<std::string>{name});
    }
}

// What the command-line tool asks beyond the window: another target, no
// replacing, a key of its own, standard input and output.
TEST(Commands, RequestsOfTheCommandLineTool) {
    TempDir dir;
    WriteFile(dir / "a.txt", RandomBytes(3000, 4));
    ASSERT_EQ(RunCommand(Operation::Encrypt, kKey, dir.path(), "a.txt").status,
              CommandStatus::Done);
    const auto sealed = ReadFile(dir / "a.txt.BF");
    BlowfishState own{};
    ASSERT_FALSE(PrepareKeyState(Operation::Encrypt, kKey, own));
    EXPECT_EQ(PrepareKeyState(Operation::Encrypt, u"xyz", own), KeyProblem::NotHex);

    const auto request = [&](auto&& adjust) {
        CommandRequest r;
        r.operation = Operation::Encrypt;
        r.keyText = kKey;
        r.folder = dir.path().string();
        r.fileName = "a.txt";
        adjust(r);
        return r;
    };
    // Another target; with a key of our own, the process-wide one stays as it was.
    BlowfishClearState(blowfishState());
    const BlowfishState before = blowfishState();
    CommandOutcome outcome = RunFileCommand(request([&](CommandRequest& r) {
        r.target = (dir / "elsewhere").string();
        r.state = &own;
        r.threads = 1;
    }));
    EXPECT_EQ(outcome.status, CommandStatus::Done) << Said(outcome);
    EXPECT_EQ(ReadFile(dir / "elsewhere"), sealed);
    EXPECT_TRUE(StateEquals(blowfishState(), before));

    // Not replacing: the target is kept, and said to be.
    outcome = RunFileCommand(request([&](CommandRequest& r) { r.replaceTarget = false; }));
    EXPECT_EQ(outcome.status, CommandStatus::Failed);
    EXPECT_EQ(outcome.failure.problem, FileProblem::TargetExists);
    EXPECT_EQ(ReadFile(dir / "a.txt.BF"), sealed);

    // Standard input to a file: named so in messages.
    std::FILE* in = std::fopen((dir / "a.txt").string().c_str(), "rb");
    ASSERT_NE(in, nullptr);
    outcome = RunFileCommand(request([&](CommandRequest& r) {
        r.fileName = "-";
        r.sourceDescriptor = ::fileno(in);
        r.target = (dir / "piped.BF").string();
    }));
    std::fclose(in);
    EXPECT_EQ(outcome.status, CommandStatus::Done) << Said(outcome);
    EXPECT_EQ(outcome.source, "standard input");
    EXPECT_EQ(ReadFile(dir / "piped.BF"), sealed);
    BlowfishClearState(own);
}

TEST(Commands, WipeOutcomes) {
    TempDir dir;
    WriteFile(dir / "f", RandomBytes(300, 5));
    fs::create_directory(dir / "sub");
    const auto wipe = [&](std::optional<std::string> name, ProgressCallback progress = {}) {
        WipeRequest request;
        request.folder = dir.path().string();
        request.fileName = std::move(name);
        request.progress = std::move(progress);
        return RunWipeCommand(request);
    };
    const auto stop = [](std::uint64_t done, std::uint64_t) { return done == 0; };
    const struct {
        std::optional<std::string> name;
        ProgressCallback progress;
        CommandStatus status;
        int errorNumber;
    } cases[] = {
        {std::nullopt, {}, CommandStatus::NoSelection, 0},
        {"f", stop, CommandStatus::Cancelled, 0},
        {"f", {}, CommandStatus::Done, 0},
        {"gone", {}, CommandStatus::Failed, kErrFileNotFound}, // not created
        {"sub", {}, CommandStatus::Failed, kErrNotRegularFile},
    };
    for (const auto& c : cases) {
        const CommandOutcome out = wipe(c.name, c.progress);
        EXPECT_EQ(out.command, Command::Wipe);
        EXPECT_EQ(out.status, c.status) << c.name.value_or("(none)") << ": " << Said(out);
        EXPECT_EQ(out.errorNumber, c.errorNumber) << c.name.value_or("(none)");
        if (c.name) {
            EXPECT_EQ(out.source, dir.path().string() + "/" + *c.name);
        }
    }
    EXPECT_EQ(ReadFile(dir / "f"), std::vector<std::uint8_t>(500, 0xFF));
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"f", "sub"}));
}

TEST(Commands, OpenForReadingErrorRefusesWhatASourceCannotBe) {
    TempDir dir;
    WriteFile(dir.path() / "plain.txt", {1, 2, 3});
    fs::create_directory(dir.path() / "folder");
    const struct {
        const char* name;
        bool opens;
    } cases[] = {
        {"plain.txt", true},
        {"gone.txt", false},
        {"folder", false},
        {"pipe", false}, // refused at once: nobody will ever write to it
    };
    ASSERT_EQ(::mkfifo((dir.path() / "pipe").c_str(), 0600), 0);
    for (const auto& c : cases) {
        const int error = OpenForReadingError((dir.path() / c.name).string());
        EXPECT_EQ(error == 0, c.opens) << c.name << ": " << error;
    }
    EXPECT_EQ(OpenForReadingError((dir.path() / "gone.txt").string()), ENOENT);
    // The check leaves the file free for the command that follows.
    EXPECT_EQ(OpenForReadingError((dir.path() / "plain.txt").string()), 0);
}

// Several files at once give each request the outcome, and so the message,
// that it gets alone.
TEST(Commands, BatchOutcomesAreThoseOfOneRequestAlone) {
    TempDir dir;
    BlowfishState state{};
    ASSERT_FALSE(PrepareKeyState(Operation::Encrypt, kKey, state));
    WriteFile(dir / "a", RandomBytes(300000, 1));
    WriteFile(dir / "b", {});
    WriteFile(dir / "c", {3});
    WriteFile(dir / "kept", {1});
    WriteFile(dir / "kept.BF", {2});
    fs::create_directory(dir / "folder");
    struct Case {
        const char* name;
        std::optional<std::string> target; // instead of NAME.BF
        bool replace = true;
    };
    const Case cases[] = {
        {"a", std::nullopt},           {"missing", std::nullopt}, {"b", "b.out"},
        {"kept", std::nullopt, false}, {"folder", std::nullopt},  {"c", "no-such-folder/c.BF"},
    };
    std::vector<CommandRequest> requests;
    for (const Case& c : cases) {
        CommandRequest& r = requests.emplace_back();
        r.keyText = kKey;
        r.state = &state;
        r.folder = dir.path().string();
        r.fileName = c.name;
        if (c.target)
            r.target = (dir / *c.target).string();
        r.replaceTarget = c.replace;
    }
    requests.emplace_back(); // nothing selected
    requests.back().keyText = kKey;
    requests.back().state = &state;
    std::vector<CommandOutcome> alone;
    std::vector<std::vector<std::uint8_t>> written;
    for (const CommandRequest& r : requests) {
        alone.push_back(RunFileCommand(r));
        const fs::path target = alone.back().target;
        written.push_back(fs::is_regular_file(target) ? ReadFile(target)
                                                      : std::vector<std::uint8_t>{});
        if (alone.back().status == CommandStatus::Done)
            fs::remove(target);
    }
    std::vector<std::optional<CommandOutcome>> together(requests.size());
    RunEncryptCommands(requests, EncryptBatchPlan{1, 3, {}},
                       [&](std::size_t i, const CommandOutcome& outcome) {
                           EXPECT_FALSE(together.at(i)) << i << " reported twice";
                           together.at(i) = outcome;
                       });
    for (std::size_t i = 0; i < requests.size(); ++i) {
        ASSERT_TRUE(together[i]) << i;
        const CommandOutcome& o = *together[i];
        EXPECT_EQ(o.status, alone[i].status) << i;
        EXPECT_EQ(o.errorNumber, alone[i].errorNumber) << i;
        EXPECT_EQ(o.target, alone[i].target) << i;
        EXPECT_EQ(Said(o), Said(alone[i])) << i;
        if (fs::is_regular_file(o.target)) {
            EXPECT_EQ(ReadFile(o.target), written[i]) << i;
        }
    }
    EXPECT_EQ(ReadFile(dir / "kept.BF"), std::vector<std::uint8_t>{2});
}
