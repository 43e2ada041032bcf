#include <gtest/gtest.h>

#include <cstring>

#include "app/commands/Commands.h"
#include "cipher/basBlowfish.h"
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
    request.keyText = std::move(key);
    request.folder = folder.string();
    request.fileName = std::move(name);
    return RunFileCommand(request);
}

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

TEST(CommandPaths, DecryptDropsTheLastThreeCharactersWhateverTheyAre) {
    EXPECT_EQ(DecryptTargetPath("/data/a.txt.BF"), "/data/a.txt");
    EXPECT_EQ(DecryptTargetPath("/data/a.BF.BF"), "/data/a.BF");
    EXPECT_EQ(DecryptTargetPath("/data/notes.txt"), "/data/notes.");
    EXPECT_EQ(DecryptTargetPath("//ab"), "/");
    // Whole characters go, not bytes of them.
    EXPECT_EQ(DecryptTargetPath("/d/caf\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"), "/d/caf");
}

TEST(CommandKeys, EncryptTakesHexDigitsOnly) {
    EXPECT_FALSE(KeyTextProblem(Operation::Encrypt, kKey));
    EXPECT_TRUE(KeyTextProblem(Operation::Encrypt, u"password"));
    EXPECT_TRUE(KeyTextProblem(Operation::Encrypt, u"00 11 22"));
    EXPECT_NE(KeyTextProblem(Operation::Encrypt, u"secret")->find("MD5"), std::string::npos);
    // Decrypt takes any text, so files made under such keys still open.
    EXPECT_FALSE(KeyTextProblem(Operation::Decrypt, u"00 11 22"));
}

TEST(CommandKeys, EmptyAndOverlongKeysAreRefusedForBoth) {
    for (Operation op : {Operation::Encrypt, Operation::Decrypt}) {
        EXPECT_TRUE(KeyTextProblem(op, u""));
        EXPECT_FALSE(KeyTextProblem(op, std::u16string(112, u'a')));
        EXPECT_TRUE(KeyTextProblem(op, std::u16string(113, u'a')));
    }
}

TEST(Commands, RoundTripRestoresNameAndBytes) {
    TempDir dir;
    const auto plain = RandomBytes(5000, 1);
    WriteFile(dir / "a.txt", plain);
    auto out = RunCommand(Operation::Encrypt, kKey, dir.path(), "a.txt");
    ASSERT_EQ(out.status, CommandStatus::Done) << out.message;
    EXPECT_EQ(out.target, dir.path().string() + "/a.txt.BF");
    fs::remove(dir / "a.txt");
    out = RunCommand(Operation::Decrypt, kKey, dir.path(), "a.txt.BF");
    ASSERT_EQ(out.status, CommandStatus::Done) << out.message;
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
        EXPECT_FALSE(out.message.empty());
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
    ASSERT_EQ(out.status, CommandStatus::Done) << out.message;
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
    ASSERT_EQ(out.status, CommandStatus::Done) << out.message;
    EXPECT_EQ(ReadFile(dir / "notes."), plain);
}

TEST(Commands, FolderWithTrailingSeparatorGivesADoubledOneThatStillWorks) {
    TempDir dir;
    WriteFile(dir / "r", {5});
    const auto out = RunCommand(Operation::Encrypt, kKey, dir.path().string() + "/", "r");
    ASSERT_EQ(out.status, CommandStatus::Done) << out.message;
    EXPECT_EQ(out.source.string(), dir.path().string() + "//r");
    EXPECT_TRUE(fs::exists(dir / "r.BF"));
}

TEST(Commands, FailureNamesTheFileAndTheReason) {
    TempDir dir;
    const auto out = RunCommand(Operation::Encrypt, kKey, dir.path(), "missing.txt");
    EXPECT_EQ(out.status, CommandStatus::Failed);
    EXPECT_EQ(out.errorNumber, 68);
    EXPECT_NE(out.message.find("missing.txt"), std::string::npos) << out.message;
    EXPECT_NE(out.message.find("No such file"), std::string::npos) << out.message;
    EXPECT_TRUE(dir.Names().empty());
}

TEST(Commands, ShortNameInRootCutsToAFolderAndFails) {
    // "//ab" less three characters is "/", a folder: nothing may be written.
    const auto out = RunCommand(Operation::Decrypt, kKey, "/", "ab");
    EXPECT_EQ(out.status, CommandStatus::Failed);
}
