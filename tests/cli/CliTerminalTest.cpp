// quillmoor-cli on a pseudo-terminal: prompts without echo on the
// controlling terminal, the wipe question, the progress bar, and interrupts.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/TestFiles.h"
#include "tests/cli/CliRunner.h"

using namespace quillmoor::test;

namespace {

const std::string kKey = "00112233445566778899aabbccddeeff";

class CliTerminal : public ::testing::Test {
  protected:
    ProcessCall Call(std::vector<std::string> args) {
        ProcessCall call;
        call.args = std::move(args);
        call.env = {"QM_KEY=" + kKey, "QM_PASSWORD=swordfish"};
        call.cwd = dir.path();
        return call;
    }

    // The ciphertext that --key-env (or --password-env) makes, to compare
    // prompted keys against.
    std::vector<std::uint8_t> ReferenceCipher(const std::string& name,
                                              const char* option = "--key-env") {
        const bool password = std::string(option) == "--password-env";
        ProcessCall call = Call({"encrypt", option, password ? "QM_PASSWORD" : "QM_KEY", name});
        call.args.back() = name + ".ref";
        fs::copy_file(dir / name, dir / (name + ".ref"));
        EXPECT_TRUE(RunProcess(call).Exited(0));
        auto bytes = ReadFile(dir / (name + ".ref.BF"));
        fs::remove(dir / (name + ".ref"));
        fs::remove(dir / (name + ".ref.BF"));
        return bytes;
    }

    TempDir dir;
};

TEST_F(CliTerminal, EncryptAsksForAPasswordTwiceWithoutEcho) {
    WriteFile(dir / "a.txt", RandomBytes(40, 1));
    const auto reference = ReferenceCipher("a.txt", "--password-env");

    TerminalSession tty(Call({"encrypt", "a.txt"}));
    ASSERT_TRUE(tty.Expect("Password: ")) << tty.transcript();
    EXPECT_FALSE(tty.EchoIsOn());
    tty.Send("swordfish\n");
    ASSERT_TRUE(tty.Expect("Repeat the password: ")) << tty.transcript();
    tty.Send("swordfish\n");
    const ProcessResult r = tty.Finish();
    EXPECT_TRUE(r.Exited(0)) << r.out;
    EXPECT_EQ(r.out.find("swordfish"), std::string::npos) << "echoed: " << r.out;
    EXPECT_NE(r.out.find("encrypted a.txt -> ./a.txt.BF"), std::string::npos) << r.out;
    EXPECT_EQ(ReadFile(dir / "a.txt.BF"), reference);
    EXPECT_TRUE(tty.EchoIsOn()) << "echo is back after the prompt";
}

TEST_F(CliTerminal, DifferingEntriesStopEncryptBeforeAnyFile) {
    WriteFile(dir / "a.txt", RandomBytes(40, 1));
    TerminalSession tty(Call({"encrypt", "a.txt"}));
    ASSERT_TRUE(tty.Expect("Password: "));
    tty.Send("swordfish\n");
    ASSERT_TRUE(tty.Expect("Repeat the password: "));
    tty.Send("swordfist\n");
    const ProcessResult r = tty.Finish();
    EXPECT_TRUE(r.Exited(2)) << r.out;
    EXPECT_NE(r.out.find("quillmoor-cli: password: the two entries differ"), std::string::npos)
        << r.out;
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"a.txt"});
}

TEST_F(CliTerminal, DecryptAsksOnceAndPasswordFromATerminalIsNotEchoed) {
    WriteFile(dir / "a.txt", RandomBytes(40, 2));
    {
        TerminalSession tty(Call({"encrypt", "--password-file", "-", "a.txt"}));
        ASSERT_TRUE(tty.Expect("Password: "));
        EXPECT_FALSE(tty.EchoIsOn());
        tty.Send("swordfish\n");
        ASSERT_TRUE(tty.Expect("Repeat the password: "));
        tty.Send("swordfish\n");
        const ProcessResult r = tty.Finish();
        EXPECT_TRUE(r.Exited(0)) << r.out;
        EXPECT_EQ(r.out.find("swordfish"), std::string::npos) << r.out;
    }
    const auto plain = ReadFile(dir / "a.txt");
    fs::remove(dir / "a.txt");
    TerminalSession tty(Call({"decrypt", "--password-file", "-", "a.txt.BF"}));
    ASSERT_TRUE(tty.Expect("Password: "));
    tty.Send("swordfish\n");
    const ProcessResult r = tty.Finish();
    EXPECT_TRUE(r.Exited(0)) << r.out;
    EXPECT_EQ(r.out.find("Repeat"), std::string::npos) << "decrypt asks once: " << r.out;
    EXPECT_EQ(ReadFile(dir / "a.txt"), plain);
}

TEST_F(CliTerminal, Md5AsksForThePasswordWithoutEcho) {
    TerminalSession tty(Call({"md5"}));
    ASSERT_TRUE(tty.Expect("Password: "));
    EXPECT_FALSE(tty.EchoIsOn());
    tty.Send("abc\n");
    const ProcessResult r = tty.Finish();
    EXPECT_TRUE(r.Exited(0)) << r.out;
    EXPECT_NE(r.out.find("900150983cd24fb0d6963f7d28e17f72"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("abc"), std::string::npos) << r.out;
}

TEST_F(CliTerminal, WipeAsksForEachFileAndOnlyYesWipes) {
    const auto keep = RandomBytes(300, 3);
    WriteFile(dir / "keep", keep);
    WriteFile(dir / "go", RandomBytes(300, 4));
    TerminalSession tty(Call({"wipe", "keep", "go"}));
    ASSERT_TRUE(tty.Expect("Do you want to wipe file: ./keep [y/N] ")) << tty.transcript();
    tty.Send("n\n");
    ASSERT_TRUE(tty.Expect("Do you want to wipe file: ./go [y/N] ")) << tty.transcript();
    tty.Send("y\n");
    const ProcessResult r = tty.Finish();
    EXPECT_TRUE(r.Exited(0)) << r.out;
    EXPECT_NE(r.out.find("skipped keep"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("wiped go"), std::string::npos) << r.out;
    EXPECT_EQ(ReadFile(dir / "keep"), keep);
    EXPECT_EQ(ReadFile(dir / "go"), std::vector<std::uint8_t>(500, 0xFF));
}

TEST_F(CliTerminal, ProgressBarOnATerminalUnlessQuiet) {
    WriteFile(dir / "big.bin", RandomBytes((17u << 20) + 3, 5)); // above the bar's threshold
    {
        TerminalSession tty(Call({"encrypt", "--key-env", "QM_KEY", "big.bin"}));
        const ProcessResult r = tty.Finish();
        EXPECT_TRUE(r.Exited(0)) << r.out;
        EXPECT_NE(r.out.find("big.bin ["), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("] 100%"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("\r\033[K"), std::string::npos) << "the bar is cleared at the end";
    }
    fs::remove(dir / "big.bin.BF");
    TerminalSession tty(Call({"encrypt", "--quiet", "--key-env", "QM_KEY", "big.bin"}));
    const ProcessResult r = tty.Finish();
    EXPECT_TRUE(r.Exited(0)) << r.out;
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(fs::exists(dir / "big.bin.BF"));

    // Small work draws no bar.
    WriteFile(dir / "small.bin", RandomBytes(1000, 6));
    TerminalSession small(Call({"encrypt", "--key-env", "QM_KEY", "small.bin"}));
    const ProcessResult s = small.Finish();
    EXPECT_TRUE(s.Exited(0)) << s.out;
    EXPECT_EQ(s.out.find('%'), std::string::npos) << s.out;
}

TEST_F(CliTerminal, InterruptAtThePromptRestoresEcho) {
    WriteFile(dir / "a.txt", RandomBytes(40, 1));
    TerminalSession tty(Call({"encrypt", "a.txt"}));
    ASSERT_TRUE(tty.Expect("Password: "));
    ASSERT_FALSE(tty.EchoIsOn());
    ::kill(tty.pid(), SIGINT);
    const ProcessResult r = tty.Finish();
    EXPECT_EQ(r.signal, SIGINT) << "exit " << r.exitCode << ": " << r.out;
    EXPECT_TRUE(tty.EchoIsOn());
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"a.txt"});
}

TEST_F(CliTerminal, InterruptDuringEncryptLeavesNothingBehind) {
    struct Case {
        std::vector<std::string> args; // the files in flight come first
    };
    const Case cases[] = {
        {{"-j1", "big.bin", "later.bin"}},
        {{"-j2", "big.bin", "big2.bin", "later.bin"}}, // two chains side by side
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0]);
        for (const std::string& name : dir.Names())
            fs::remove(dir / name);
        WriteFile(dir / "big.bin", RandomBytes(96u << 20, 9));
        WriteFile(dir / "later.bin", RandomBytes(10, 9));
        if (c.args.size() > 3)
            WriteFile(dir / "big2.bin", RandomBytes(96u << 20, 8));
        const auto before = dir.Names();
        std::vector<std::string> args{"encrypt", "--key-env", "QM_KEY"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        TerminalSession tty(Call(args));
        ASSERT_TRUE(tty.Expect("big.bin [")) << tty.transcript();
        ::kill(tty.pid(), SIGINT);
        const ProcessResult r = tty.Finish();
        if (r.Exited(0))
            GTEST_SKIP() << "the whole file was done before the interrupt arrived";
        EXPECT_EQ(r.signal, SIGINT) << "exit " << r.exitCode << ": " << r.out;
        const std::string said =
            "quillmoor-cli: encrypting ./big.bin was interrupted; nothing was changed";
        EXPECT_NE(r.out.find(said), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("interrupted", r.out.find(said) + said.size()), std::string::npos)
            << "said once, as one file after another would: " << r.out;
        EXPECT_EQ(dir.Names(), before)
            << "no target, no temporary file, and the later file not started";
    }
}

// The prompt and the answers use the terminal even when standard input,
// output and error are files: data in, data out, errors hidden.
TEST_F(CliTerminal, PromptUsesTheTerminalWhileTheStandardStreamsCarryData) {
    const auto plain = RandomBytes(3000, 7);
    WriteFile(dir / "a.txt", plain);
    const auto reference = ReferenceCipher("a.txt", "--password-env");
    ProcessCall call = Call({"encrypt", "-"});
    call.inputFile = dir / "a.txt";
    call.outputFile = dir / "out.BF";
    call.errorFile = dir / "err.txt";
    {
        TerminalSession tty(call);
        ASSERT_TRUE(tty.Expect("Password: ")) << tty.transcript();
        tty.Send("swordfish\n");
        ASSERT_TRUE(tty.Expect("Repeat the password: ")) << tty.transcript();
        tty.Send("swordfish\n");
        const ProcessResult r = tty.Finish();
        EXPECT_TRUE(r.Exited(0)) << r.out;
    }
    EXPECT_EQ(ReadFile(dir / "out.BF"), reference);
    EXPECT_TRUE(ReadFile(dir / "err.txt").empty());

    // Decrypt asks once, and the wipe question comes there too.
    call = Call({"decrypt", "-o", "-", "out.BF"});
    call.inputFile = "/dev/null";
    call.outputFile = dir / "back";
    {
        TerminalSession tty(call);
        ASSERT_TRUE(tty.Expect("Password: ")) << tty.transcript();
        tty.Send("swordfish\n");
        const ProcessResult r = tty.Finish();
        EXPECT_TRUE(r.Exited(0)) << r.out;
        EXPECT_EQ(r.out.find("Repeat"), std::string::npos) << r.out;
    }
    EXPECT_EQ(ReadFile(dir / "back"), plain);
    call = Call({"wipe", "back"});
    call.inputFile = "/dev/null";
    TerminalSession tty(call);
    ASSERT_TRUE(tty.Expect("Do you want to wipe file: ./back [y/N] ")) << tty.transcript();
    tty.Send("y\n");
    EXPECT_TRUE(tty.Finish().Exited(0));
    EXPECT_EQ(ReadFile(dir / "back"), std::vector<std::uint8_t>(3000, 0xFF));
}

TEST_F(CliTerminal, ProgressBarShowsThePlaceAmongSeveralFiles) {
    WriteFile(dir / "one.bin", RandomBytes((17u << 20) + 1, 8));
    WriteFile(dir / "two.bin", RandomBytes((17u << 20) + 2, 9));
    TerminalSession tty(Call({"encrypt", "-j1", "--key-env", "QM_KEY", "one.bin", "two.bin"}));
    const ProcessResult r = tty.Finish();
    EXPECT_TRUE(r.Exited(0)) << r.out;
    EXPECT_NE(r.out.find("[1/2] one.bin ["), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("[2/2] two.bin ["), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(" MiB / 17.0 MiB"), std::string::npos) << r.out;
}

} // namespace
