// quillmoor-cli run as a program: files, exit statuses, messages, key sources.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <string>
#include <vector>

#include "tests/TestFiles.h"
#include "tests/cli/CliRunner.h"

using namespace quillmoor::test;

namespace {

const std::string kKey = "00112233445566778899aabbccddeeff";
const std::string kOtherKey = "ffeeddccbbaa99887766554433221100";

std::vector<std::uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

std::string Text(const std::vector<std::uint8_t>& bytes) { return {bytes.begin(), bytes.end()}; }

// "f" + std::to_string(n), written so that GCC 12 does not warn falsely (-Wrestrict).
std::string Numbered(const char* prefix, std::size_t n) {
    std::string name = prefix;
    name += std::to_string(n);
    return name;
}

std::size_t LineCount(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

class Cli : public ::testing::Test {
  protected:
    // Runs the program in the test folder; QM_KEY always holds kKey.
    ProcessResult Run(std::vector<std::string> args, std::string input = {},
                      std::vector<std::string> env = {}, bool unprivileged = false,
                      bool inputAsPipe = false) {
        ProcessCall call;
        call.args = std::move(args);
        call.input = std::move(input);
        call.env = std::move(env);
        call.env.push_back("QM_KEY=" + kKey);
        call.cwd = dir.path();
        call.unprivileged = unprivileged;
        call.inputAsPipe = inputAsPipe;
        return RunProcess(call);
    }

    ProcessResult Encrypt(const std::string& file) {
        return Run({"encrypt", "--key-env", "QM_KEY", file});
    }

    void Put(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        WriteFile(dir / name, bytes);
    }
    void Put(const std::string& name, std::string_view text) { Put(name, Bytes(text)); }
    std::vector<std::uint8_t> Get(const std::string& name) { return ReadFile(dir / name); }
    bool Has(const std::string& name) { return fs::exists(dir / name); }

    TempDir dir;
};

// ---------------------------------------------------------------- round trips

TEST_F(Cli, EncryptThenDecryptRestoresEveryBoundarySize) {
    for (const std::size_t size :
         {0u, 1u, 7u, 8u, 9u, 15u, 16u, 17u, 1000u, (1u << 20) - 1, 1u << 20, (1u << 20) + 9}) {
        SCOPED_TRACE("size " + std::to_string(size));
        const std::string name = Numbered("f", size) + ".bin";
        const auto plain = RandomBytes(size, static_cast<std::uint32_t>(size) + 1);
        Put(name, plain);

        const ProcessResult enc = Encrypt(name);
        EXPECT_TRUE(enc.Exited(0)) << enc.err;
        EXPECT_EQ(enc.err, "");
        EXPECT_EQ(enc.out, "encrypted " + name + " -> ./" + name + ".BF\n");
        const auto cipher = Get(name + ".BF");
        EXPECT_EQ(cipher.size(), (size / 8 + 1) * 8); // 1 to 8 filler bytes
        EXPECT_EQ(Get(name), plain) << "the source is only read";
        if (size >= 8) {
            EXPECT_FALSE(std::equal(cipher.begin(), cipher.begin() + 8, plain.begin()));
        }

        fs::remove(dir / name);
        const ProcessResult dec = Run({"decrypt", "--key-env", "QM_KEY", name + ".BF"});
        EXPECT_TRUE(dec.Exited(0)) << dec.err;
        EXPECT_EQ(dec.err, "");
        EXPECT_EQ(dec.out, "decrypted " + name + ".BF -> ./" + name + "\n");
        EXPECT_EQ(Get(name), plain);
    }
}

TEST_F(Cli, TargetsAreNamedAsTheWindowNamesThem) {
    fs::create_directory(dir / "sub");
    Put("sub/a.txt", "in a folder");
    Put("a.BF", "already named like a target");

    ProcessResult r = Encrypt("sub/a.txt");
    EXPECT_TRUE(r.Exited(0)) << r.err;
    EXPECT_EQ(r.out, "encrypted sub/a.txt -> sub/a.txt.BF\n");
    EXPECT_TRUE(Has("sub/a.txt.BF"));

    // Doubled separators are folded as the file list reports folders.
    fs::remove(dir / "sub/a.txt.BF");
    r = Encrypt("sub//a.txt");
    EXPECT_EQ(r.out, "encrypted sub//a.txt -> sub/a.txt.BF\n");
    EXPECT_TRUE(Has("sub/a.txt.BF"));

    const std::string absolute = (dir / "sub/a.txt").string();
    fs::remove(dir / "sub/a.txt.BF");
    r = Encrypt(absolute);
    EXPECT_TRUE(r.Exited(0)) << r.err;
    EXPECT_EQ(r.out, "encrypted " + absolute + " -> " + absolute + ".BF\n");
    EXPECT_TRUE(Has("sub/a.txt.BF"));

    r = Encrypt("a.BF");
    EXPECT_TRUE(r.Exited(0)) << r.err;
    EXPECT_TRUE(Has("a.BF.BF"));

    // The window cuts three characters whatever they are (notes.txt gives
    // "notes."); here a name without .BF asks for the target instead.
    fs::copy_file(dir / "sub/a.txt.BF", dir / "notes.txt");
    r = Run({"decrypt", "--key-env", "QM_KEY", "notes.txt"});
    EXPECT_TRUE(r.Exited(1));
    EXPECT_EQ(r.err, "quillmoor-cli: notes.txt: the name does not end in .BF, so it gives no "
                     "target name; name the target with -o\n");
    EXPECT_FALSE(Has("notes."));
    r = Run({"decrypt", "--key-env", "QM_KEY", "notes.txt", "-o", "notes"});
    EXPECT_TRUE(r.Exited(0)) << r.err;
    EXPECT_EQ(r.out, "decrypted notes.txt -> notes\n");
    EXPECT_EQ(Text(Get("notes")), "in a folder");
    // Any case of .BF will do.
    fs::copy_file(dir / "sub/a.txt.BF", dir / "lower.bf");
    r = Run({"decrypt", "--key-env", "QM_KEY", "lower.bf"});
    EXPECT_TRUE(r.Exited(0)) << r.err;
    EXPECT_EQ(Text(Get("lower")), "in a folder");
}

TEST_F(Cli, ExistingTargetIsReplaced) {
    Put("a.txt", "new contents");
    Put("a.txt.BF", "stale");
    ASSERT_TRUE(Encrypt("a.txt").Exited(0));
    Put("a.txt", "an older file of the same name");
    const ProcessResult r = Run({"decrypt", "--key-env", "QM_KEY", "a.txt.BF"});
    EXPECT_TRUE(r.Exited(0)) << r.err;
    EXPECT_EQ(Text(Get("a.txt")), "new contents");
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"a.txt", "a.txt.BF"}));
}

// ------------------------------------------------------ failures and messages

TEST_F(Cli, WrongKeyFailsNamingTheFileAndKeepsTheExistingTarget) {
    Put("a.txt", "some plain text of a few blocks");
    ASSERT_TRUE(Encrypt("a.txt").Exited(0));
    Put("a.txt", "keep me");
    const ProcessResult r =
        Run({"decrypt", "--key-env", "OTHER", "a.txt.BF"}, "", {"OTHER=" + kOtherKey});
    EXPECT_TRUE(r.Exited(1));
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err,
              "quillmoor-cli: cannot decrypt ./a.txt.BF: wrong key or damaged file. Check the key; "
              "nothing was written\n");
    EXPECT_EQ(Text(Get("a.txt")), "keep me");
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"a.txt", "a.txt.BF"}));
}

TEST_F(Cli, SeveralFilesWithOneFailingStillProcessesTheOthers) {
    Put("one.txt", "first");
    Put("two.txt", "second");
    ProcessResult r = Run({"encrypt", "--key-env", "QM_KEY", "one.txt", "missing.txt", "two.txt"});
    EXPECT_TRUE(r.Exited(1));
    EXPECT_EQ(LineCount(r.err), 1u) << r.err;
    EXPECT_TRUE(r.err.starts_with("quillmoor-cli: cannot open ./missing.txt: ")) << r.err;
    EXPECT_NE(r.err.find("No such file or directory"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "encrypted one.txt -> ./one.txt.BF\nencrypted two.txt -> ./two.txt.BF\n");
    EXPECT_FALSE(Has("missing.txt.BF"));

    // The same in the other direction, the middle file damaged.
    Put("bad.BF", "seven b");
    fs::remove(dir / "one.txt");
    fs::remove(dir / "two.txt");
    r = Run({"decrypt", "--key-env", "QM_KEY", "one.txt.BF", "bad.BF", "two.txt.BF"});
    EXPECT_TRUE(r.Exited(1));
    EXPECT_EQ(r.err,
              "quillmoor-cli: cannot decrypt ./bad.BF: wrong key or damaged file. Check the key; "
              "nothing was written\n");
    EXPECT_EQ(Text(Get("one.txt")), "first");
    EXPECT_EQ(Text(Get("two.txt")), "second");
    EXPECT_FALSE(Has("bad"));
}

TEST_F(Cli, ArgumentsThatNameNoFileAreReported) {
    fs::create_directory(dir / "sub");
    Put("ok.txt", "fine");
    const ProcessResult r = Run({"encrypt", "--key-env", "QM_KEY", "sub/", "", "ok.txt"});
    EXPECT_TRUE(r.Exited(1));
    EXPECT_EQ(r.err, "quillmoor-cli: sub/: names a folder, not a file\n"
                     "quillmoor-cli: : empty file name\n");
    EXPECT_TRUE(Has("ok.txt.BF"));
}

TEST_F(Cli, UnwritableFolderIsReportedWithTheReason) {
    fs::create_directory(dir / "ro");
    Put("ro/a.txt", "cannot write beside me");
    fs::permissions(dir / "ro/a.txt", fs::perms::owner_read | fs::perms::owner_write |
                                          fs::perms::group_read | fs::perms::others_read);
    fs::permissions(dir / "ro", fs::perms::owner_read | fs::perms::owner_exec |
                                    fs::perms::group_read | fs::perms::group_exec |
                                    fs::perms::others_read | fs::perms::others_exec);
    // Root may write anywhere, so as root the program runs as user nobody.
    const ProcessResult r =
        Run({"encrypt", "--key-env", "QM_KEY", "ro/a.txt", "ro/none.txt"}, "", {}, true);
    if (::geteuid() == 0 && (r.Exited(126) || r.Exited(127)) && r.err.empty())
        GTEST_SKIP() << "user nobody cannot reach the program or the test folder here";
    EXPECT_TRUE(r.Exited(1));
    EXPECT_EQ(LineCount(r.err), 2u) << r.err;
    EXPECT_TRUE(r.err.starts_with("quillmoor-cli: cannot create ro/a.txt.BF: Permission "
                                  "denied. Nothing was written\n"))
        << r.err;
    EXPECT_NE(r.err.find("quillmoor-cli: cannot open ro/none.txt: "), std::string::npos) << r.err;
    EXPECT_FALSE(Has("ro/a.txt.BF"));
}

TEST_F(Cli, LenientRecoversWhatStrictRefuses) {
    const auto plain = RandomBytes(100, 7);
    Put("d", plain);
    ASSERT_TRUE(Encrypt("d").Exited(0));
    fs::remove(dir / "d");

    // Three stray bytes after the last block.
    auto cipher = Get("d.BF");
    cipher.insert(cipher.end(), {1, 2, 3});
    Put("d.BF", cipher);
    ProcessResult r = Run({"decrypt", "--key-env", "QM_KEY", "d.BF"});
    EXPECT_TRUE(r.Exited(1));
    EXPECT_NE(r.err.find("wrong key or damaged file"), std::string::npos) << r.err;
    EXPECT_FALSE(Has("d"));
    r = Run({"decrypt", "--lenient", "--key-env", "QM_KEY", "d.BF"});
    EXPECT_TRUE(r.Exited(0)) << r.err;
    EXPECT_EQ(Get("d"), plain);

    // A damaged last block: the blocks before it still come back.
    cipher.resize(cipher.size() - 3);
    cipher.back() ^= 0x5A;
    Put("e.BF", cipher);
    r = Run({"decrypt", "--key-env", "QM_KEY", "e.BF"});
    EXPECT_TRUE(r.Exited(1));
    EXPECT_FALSE(Has("e"));
    r = Run({"decrypt", "--lenient", "--key-env", "QM_KEY", "e.BF"});
    EXPECT_TRUE(r.Exited(0)) << r.err;
    const auto recovered = Get("e");
    const std::size_t intact = cipher.size() - 8;
    ASSERT_GE(recovered.size(), intact);
    ASSERT_LE(recovered.size(), cipher.size());
    EXPECT_TRUE(std::equal(plain.begin(), plain.begin() + static_cast<std::ptrdiff_t>(intact),
                           recovered.begin()));
}

// --------------------------------------------------------------- key sources

TEST_F(Cli, EveryKeySourceGivesTheSameCiphertext) {
    const auto plain = RandomBytes(77, 3);
    Put("p.bin", plain);
    ASSERT_TRUE(Encrypt("p.bin").Exited(0));
    const auto reference = Get("p.bin.BF");

    Put("k1", kKey + "\n");
    Put("k2", kKey + "\r\nsecond line is not read\n");
    Put("k3", kKey);
    Put("k4", "\xEF\xBB\xBF" + kKey + "\n");
    const std::vector<std::pair<std::vector<std::string>, std::string>> variants = {
        {{"--key-file", "k1"}, ""},   {{"--key-file", "k2"}, ""},
        {{"--key-file", "k3"}, ""},   {{"--key-file", "k4"}, ""},
        {{"--key-file=k1"}, ""},      {{"--key-file", "-"}, kKey + "\n"},
        {{"--key-file", "-"}, kKey},  {{"--key-env=QM_KEY"}, ""},
        {{"--key-env", "UPPER"}, ""}, // hex digits in either case
    };
    for (const auto& [options, input] : variants) {
        SCOPED_TRACE(options.front() + (options.size() > 1 ? " " + options.back() : ""));
        fs::remove(dir / "p.bin.BF");
        std::vector<std::string> args{"encrypt"};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back("p.bin");
        const ProcessResult r = Run(args, input, {"UPPER=00112233445566778899AABBCCDDEEFF"});
        EXPECT_TRUE(r.Exited(0)) << r.err;
        EXPECT_EQ(Get("p.bin.BF"), reference);
    }

    // And the key really is what counts.
    fs::remove(dir / "p.bin.BF");
    ASSERT_TRUE(
        Run({"encrypt", "--key-env", "OTHER", "p.bin"}, "", {"OTHER=" + kOtherKey}).Exited(0));
    EXPECT_NE(Get("p.bin.BF"), reference);
}

TEST_F(Cli, PasswordModeEqualsTheMd5OutputUsedAsKey) {
    const std::string password = "correct horse";
    const ProcessResult md5 = Run({"md5"}, password + "\n");
    ASSERT_TRUE(md5.Exited(0)) << md5.err;
    ASSERT_EQ(md5.out, "3cb4e732631f47e6eb961f34554b7cde\n");
    const std::string digest = md5.out.substr(0, 32);

    const auto plain = RandomBytes(300, 5);
    Put("p.bin", plain);
    ASSERT_TRUE(Run({"encrypt", "--key-env", "DK", "p.bin"}, "", {"DK=" + digest}).Exited(0));
    const auto byKey = Get("p.bin.BF");

    Put("pw.txt", password + "\n");
    const std::vector<std::pair<std::vector<std::string>, std::string>> variants = {
        {{"--password-env", "PW"}, ""},
        {{"--password-file", "pw.txt"}, ""},
        {{"--password-file", "-"}, password + "\n"},
    };
    for (const auto& [options, input] : variants) {
        SCOPED_TRACE(options.front());
        fs::remove(dir / "p.bin.BF");
        std::vector<std::string> args{"encrypt"};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back("p.bin");
        const ProcessResult r = Run(args, input, {"PW=" + password});
        EXPECT_TRUE(r.Exited(0)) << r.err;
        EXPECT_EQ(Get("p.bin.BF"), byKey);
    }

    // A password file decrypts with its md5 key, and the other way round.
    fs::remove(dir / "p.bin");
    ProcessResult r = Run({"decrypt", "--password-env", "PW", "p.bin.BF"}, "", {"PW=" + password});
    EXPECT_TRUE(r.Exited(0)) << r.err;
    EXPECT_EQ(Get("p.bin"), plain);

    // Non-ASCII: the UTF-8 text becomes UTF-16, whose low bytes are digested.
    const std::string umlauts = "p\xC3\xA4ssw\xC3\xB6rd"; // pässwörd
    const ProcessResult md5u = Run({"md5", umlauts});
    EXPECT_EQ(md5u.out, "2ca67a2dbf3a2f52ef5126a2ae8f8a2f\n"); // MD5 of its ISO-8859-1 bytes
    fs::remove(dir / "p.bin.BF");
    ASSERT_TRUE(Run({"encrypt", "--password-env", "PW", "p.bin"}, "", {"PW=" + umlauts}).Exited(0));
    const auto byPassword = Get("p.bin.BF");
    fs::remove(dir / "p.bin.BF");
    ASSERT_TRUE(Run({"encrypt", "--key-env", "DK", "p.bin"}, "", {"DK=" + md5u.out.substr(0, 32)})
                    .Exited(0));
    EXPECT_EQ(Get("p.bin.BF"), byPassword);
}

TEST_F(Cli, DecryptTakesAnyKeyTextAsTheWindowConvertsIt) {
    Put("a.txt", "odd keys still open");
    ASSERT_TRUE(Run({"encrypt", "--key-env", "K", "a.txt"}, "", {"K=0011"}).Exited(0));
    fs::remove(dir / "a.txt");
    // "zz" and "0x" both give the byte 0, so these are the key 00 11.
    for (const char* key : {"zz11", "0x11"}) {
        SCOPED_TRACE(key);
        const ProcessResult r =
            Run({"decrypt", "--key-env", "K", "a.txt.BF"}, "", {std::string("K=") + key});
        EXPECT_TRUE(r.Exited(0)) << r.err;
        EXPECT_EQ(Text(Get("a.txt")), "odd keys still open");
        fs::remove(dir / "a.txt");
    }
    // Encrypt refuses such a text, and touches nothing.
    fs::remove(dir / "a.txt.BF");
    Put("a.txt", "x");
    const ProcessResult r = Run({"encrypt", "--key-env", "K", "a.txt"}, "", {"K=zz11"});
    EXPECT_TRUE(r.Exited(2));
    EXPECT_NE(r.err.find("hexadecimal digits only"), std::string::npos) << r.err;
    EXPECT_FALSE(Has("a.txt.BF"));
}

TEST_F(Cli, KeyLengthBoundaries) {
    Put("a.txt", "boundaries");
    const std::string longest(112, 'a'); // 56 bytes
    for (const std::string& key : {std::string("7"), longest}) {
        SCOPED_TRACE(key.size());
        fs::remove(dir / "a.txt.BF");
        ASSERT_TRUE(Run({"encrypt", "--key-env", "K", "a.txt"}, "", {"K=" + key}).Exited(0));
        fs::rename(dir / "a.txt", dir / "orig");
        const ProcessResult r = Run({"decrypt", "--key-env", "K", "a.txt.BF"}, "", {"K=" + key});
        EXPECT_TRUE(r.Exited(0)) << r.err;
        EXPECT_EQ(Text(Get("a.txt")), "boundaries");
        fs::remove(dir / "orig");
    }
    fs::remove(dir / "a.txt.BF");
    const ProcessResult r =
        Run({"encrypt", "--key-env", "K", "a.txt"}, "", {"K=" + longest + "bb"});
    EXPECT_TRUE(r.Exited(2));
    EXPECT_NE(r.err.find("too long"), std::string::npos) << r.err;
    EXPECT_FALSE(Has("a.txt.BF"));
}

TEST_F(Cli, UnusableKeysExitWithTwoAndTouchNothing) {
    Put("a.txt", "plain");
    Put("empty", "");
    Put("blank-line", "\nsecond\n");
    Put("bad-utf8", std::string("00\xC0\xAF\n"));
    fs::create_directory(dir / "folder");
    struct Case {
        std::vector<std::string> args;
        std::string message; // the whole of standard error, or its start
        bool whole;
    };
    const std::vector<Case> cases = {
        {{"encrypt", "--key-env", "BAD", "a.txt"},
         "quillmoor-cli: the key must be hexadecimal digits only (0-9, a-f). For a password use "
         "--password-env or --password-file\n",
         true},
        {{"encrypt", "--key-file", "empty", "a.txt"},
         "quillmoor-cli: the key is empty. Give a hexadecimal key, or use --password-env or "
         "--password-file for a password\n",
         true},
        {{"decrypt", "--key-file", "blank-line", "a.txt"},
         "quillmoor-cli: the key is empty.",
         false},
        {{"encrypt", "--key-env", "EMPTY_MD5", "a.txt"},
         "quillmoor-cli: the key is the MD5 digest of an empty password, so the file would open "
         "for anyone. Choose a password that is not empty\n",
         true},
        {{"decrypt", "--key-env", "UNSET", "a.txt"},
         "quillmoor-cli: --key-env UNSET: the environment variable is not set\n",
         true},
        {{"encrypt", "--password-env", "UNSET", "a.txt"},
         "quillmoor-cli: --password-env UNSET: the environment variable is not set\n",
         true},
        {{"encrypt", "--key-file", "nofile", "a.txt"},
         "quillmoor-cli: --key-file nofile: cannot open: No such file or directory\n",
         true},
        {{"encrypt", "--key-file", "folder", "a.txt"},
         "quillmoor-cli: --key-file folder: cannot read: it is a folder, not a regular file\n",
         true},
        {{"encrypt", "--key-file", "bad-utf8", "a.txt"},
         "quillmoor-cli: --key-file bad-utf8: not valid UTF-8 (byte 3)\n",
         true},
        {{"decrypt", "--password-file", "-", "a.txt"},
         "quillmoor-cli: --password-file -: not valid UTF-8 (byte 2)\n",
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[1] + " " + c.args[2]);
        const ProcessResult r = Run(
            c.args, "a\xFF\n", {"BAD=hello world", "EMPTY_MD5=D41D8CD98F00B204E9800998ECF8427E"});
        EXPECT_TRUE(r.Exited(2)) << r.err;
        EXPECT_EQ(r.out, "");
        if (c.whole)
            EXPECT_EQ(r.err, c.message);
        else
            EXPECT_TRUE(r.err.starts_with(c.message)) << r.err;
        EXPECT_EQ(dir.Names(),
                  (std::vector<std::string>{"a.txt", "bad-utf8", "blank-line", "empty", "folder"}));
    }
}

TEST_F(Cli, KeysAreNeverTakenFromTheCommandLine) {
    Put("a.txt", "plain");
    const std::vector<std::vector<std::string>> attempts = {
        {"encrypt", "--key", kKey, "a.txt"},        {"encrypt", "--key=" + kKey, "a.txt"},
        {"encrypt", "-k", kKey, "a.txt"},           {"decrypt", "--password", "hunter2", "a.txt"},
        {"decrypt", "--password=hunter2", "a.txt"}, {"--key=" + kKey, "encrypt", "a.txt"},
    };
    for (const auto& args : attempts) {
        SCOPED_TRACE(args[0] + " " + args[1]);
        const ProcessResult r = Run(args);
        EXPECT_TRUE(r.Exited(2));
        EXPECT_NE(r.err.find("never taken from the command line"), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find(kKey), std::string::npos) << "the secret is not repeated";
        EXPECT_EQ(r.err.find("hunter2"), std::string::npos) << "the secret is not repeated";
        EXPECT_EQ(dir.Names(), std::vector<std::string>{"a.txt"});
    }
}

TEST_F(Cli, NoKeyOptionWithoutATerminalIsAUsageError) {
    Put("a.txt", "plain");
    for (const char* command : {"encrypt", "decrypt"}) {
        // A key waiting on standard input is not taken without "-".
        const ProcessResult r = Run({command, "a.txt"}, kKey + "\n");
        EXPECT_TRUE(r.Exited(2));
        EXPECT_TRUE(r.err.starts_with("quillmoor-cli: no key given, and no terminal to ask for "
                                      "a password on: use --key-env, --key-file, "
                                      "--password-env or --password-file\n"))
            << r.err;
        EXPECT_EQ(dir.Names(), std::vector<std::string>{"a.txt"});
    }
}

TEST_F(Cli, UsageErrorsExitWithTwoAndTouchNothing) {
    Put("a.txt", "plain");
    Put("k", kKey);
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"frobnicate", "a.txt"},
        {"--frob"},
        {"encrypt", "--key-env"},
        {"encrypt", "--key-env", "QM_KEY"},
        {"encrypt", "--key-env=", "a.txt"},
        {"encrypt", "--key-env", "QM_KEY", "--key-file", "k", "a.txt"},
        {"encrypt", "--lenient", "--key-env", "QM_KEY", "a.txt"},
        {"encrypt", "--yes", "--key-env", "QM_KEY", "a.txt"},
        {"decrypt", "--quiet=1", "--key-env", "QM_KEY", "a.txt"},
        {"encrypt", "--bogus", "--key-env", "QM_KEY", "a.txt"},
        {"wipe", "--key-env", "QM_KEY", "a.txt"},
        {"wipe", "--yes"},
        {"md5", "a", "b"},
        {"md5", "--quiet"},
        {"encrypt", "-x", "--key-env", "QM_KEY", "a.txt"},
        {"encrypt", "-qx", "--key-env", "QM_KEY", "a.txt"},
        {"encrypt", "--key-env", "QM_KEY", "-o", "t", "a.txt", "k"},
        {"encrypt", "--key-env", "QM_KEY", "-o", "-", "a.txt", "k"},
        {"encrypt", "--key-env", "QM_KEY", "-o", "-", "-o", "t", "a.txt"},
        {"encrypt", "--key-env", "QM_KEY", "-", "-"},
        {"encrypt", "--key-env", "QM_KEY", "-", "a.txt"},
        {"encrypt", "--key-file", "-", "-"},
        {"encrypt", "--key-env", "QM_KEY", "-o"},
        {"encrypt", "--key-env", "QM_KEY", "-j", "0", "a.txt"},
        {"encrypt", "--key-env", "QM_KEY", "-jx", "a.txt"},
        {"encrypt", "--key-env", "QM_KEY", "--jobs=65", "a.txt"},
        {"encrypt", "--key-env", "QM_KEY", "--bytes", "4", "a.txt"},
        {"wipe", "-n", "--yes", "a.txt"},
        {"keygen", "--bytes", "0"},
        {"keygen", "--bytes=57"},
        {"keygen", "--bytes", "-1"},
        {"keygen", "a.txt"},
        {"keygen", "--key-env", "QM_KEY"},
    };
    for (const auto& args : cases) {
        std::string joined;
        for (const auto& a : args)
            joined += a + " ";
        SCOPED_TRACE(joined);
        const ProcessResult r = Run(args);
        EXPECT_TRUE(r.Exited(2)) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_TRUE(r.err.starts_with("quillmoor-cli: ")) << r.err;
        EXPECT_NE(r.err.find("quillmoor-cli --help"), std::string::npos) << r.err;
        EXPECT_EQ(dir.Names(), (std::vector<std::string>{"a.txt", "k"}));
        EXPECT_EQ(Text(Get("a.txt")), "plain");
    }
}

TEST_F(Cli, HelpAndVersion) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--help"}, {"-h"}, {"help"}, {"encrypt", "--help"}}) {
        const ProcessResult r = Run(args);
        EXPECT_TRUE(r.Exited(0));
        EXPECT_EQ(r.err, "");
        for (const char* needle :
             {"Usage:", "quillmoor-cli encrypt", "quillmoor-cli decrypt", "quillmoor-cli wipe",
              "quillmoor-cli md5", "--key-env VAR", "--key-file PATH", "--password-env VAR",
              "--password-file PATH", "--lenient", "--quiet", "--yes", "Exit status:", "Examples:"})
            EXPECT_NE(r.out.find(needle), std::string::npos) << needle;
    }
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--version"},
                                                 {"-V"},
                                                 {"encrypt", "-V"},
                                                 {"keygen", "--version"}}) {
        const ProcessResult v = Run(args);
        EXPECT_TRUE(v.Exited(0));
        EXPECT_EQ(v.out, std::string("quillmoor-cli ") + QUILLMOOR_VERSION + "\n");
    }
}

// Every option the manual page names: the help names it too, and the other way round.
TEST_F(Cli, HelpAndManualPageNameTheSameOptions) {
    const auto options = [](const std::string& text, const std::string& dash) {
        std::set<std::string> found;
        for (std::size_t at = text.find(dash); at != std::string::npos;
             at = text.find(dash, at + 1)) {
            std::size_t end = at + dash.size();
            while (end < text.size() && (std::islower(static_cast<unsigned char>(text[end])) ||
                                         text[end] == '-' || text[end] == '\\')) {
                ++end;
            }
            std::string name = text.substr(at + dash.size(), end - at - dash.size());
            std::erase(name, '\\');
            if (name.size() > 1)
                found.insert(name);
        }
        return found;
    };
    const ProcessResult help = Run({"--help"});
    const auto page = ReadFile(QUILLMOOR_MAN_PAGE);
    const auto inHelp = options(help.out, "--");
    EXPECT_EQ(options(std::string(page.begin(), page.end()), "\\-\\-"), inHelp);
    for (const char* expected : {"output", "no-clobber", "jobs", "bytes", "version", "quiet"})
        EXPECT_TRUE(inHelp.contains(expected)) << expected;
}

// ------------------------------------------------- standard input and output

TEST_F(Cli, StreamsGiveTheBytesOfTheFileRoutines) {
    const auto plain = RandomBytes((1u << 20) * 2 + 13, 21);
    Put("p", plain);
    ASSERT_TRUE(Encrypt("p").Exited(0));
    const std::string cipher = Text(Get("p.BF"));
    const std::string plainText = Text(plain);
    struct Case {
        std::vector<std::string> args;
        bool pipe;
        std::string input, out;
    };
    const std::vector<Case> cases = {
        {{"encrypt", "-"}, false, plainText, cipher},
        {{"encrypt", "-"}, true, plainText, cipher},
        {{"encrypt", "p", "-o", "-"}, false, "", cipher},
        {{"decrypt", "-"}, false, cipher, plainText},
        {{"decrypt", "-"}, true, cipher, plainText},
        {{"decrypt", "p.BF", "-o", "-"}, false, "", plainText},
        {{"decrypt", "-o-", "-"}, true, cipher, plainText},
        {{"encrypt", "p", "-o", "/dev/stdout"}, false, "", cipher},
        {{"decrypt", "p.BF", "-o", "/dev/fd/1"}, false, "", plainText},
        {{"decrypt", "-o/proc/self/fd/1", "-"}, true, cipher, plainText},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args[1] + (c.pipe ? " from a pipe" : ""));
        std::vector<std::string> args = c.args;
        args.insert(args.begin() + 1, {"--key-env", "QM_KEY"});
        const ProcessResult r = Run(args, c.input, {}, false, c.pipe);
        EXPECT_TRUE(r.Exited(0)) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_TRUE(r.out == c.out) << "standard output differs: " << r.out.size() << " bytes";
    }
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"p", "p.BF"}));
}

TEST_F(Cli, WrongKeyWritesNothingUnlessTheSourceIsAPipe) {
    Put("p", RandomBytes(5000, 22));
    ASSERT_TRUE(Encrypt("p").Exited(0));
    const std::string cipher = Text(Get("p.BF"));
    const std::string wrong = "quillmoor-cli: cannot decrypt standard input: wrong key or damaged "
                              "file. Check the key; nothing was written\n";
    struct Case {
        std::vector<std::string> args;
        bool pipe;
        std::size_t written; // to standard output
        std::string err;
    };
    const std::vector<Case> cases = {
        {{"p.BF", "-o", "-"},
         false,
         0,
         "quillmoor-cli: cannot decrypt ./p.BF: wrong key or damaged file. Check the key; nothing "
         "was written\n"},
        {{"-"}, false, 0, wrong},
        // From a pipe the check comes last: everything but the final block is out.
        {{"-"},
         true,
         cipher.size() - 8,
         "quillmoor-cli: cannot decrypt standard input: wrong key or damaged file. Check the key; "
         "the output stops before the final block\n"},
        {{"-", "-o", "out"}, true, 0, wrong},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.front() + (c.pipe ? " from a pipe" : ""));
        std::vector<std::string> args{"decrypt", "--key-env", "OTHER"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const ProcessResult r =
            Run(args, c.args.front() == "-" ? cipher : "", {"OTHER=" + kOtherKey}, false, c.pipe);
        EXPECT_TRUE(r.Exited(1));
        EXPECT_EQ(r.out.size(), c.written);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(dir.Names(), (std::vector<std::string>{"p", "p.BF"})) << "no file, no temporary";
    }
}

TEST_F(Cli, StandardInputToAFileIsForItsOwnerOnly) {
    const ProcessResult r =
        Run({"encrypt", "--key-env", "QM_KEY", "-", "-o", "x.BF"}, "secret", {}, false, true);
    EXPECT_TRUE(r.Exited(0)) << r.err;
    EXPECT_EQ(r.out, "encrypted - -> x.BF\n");
    EXPECT_EQ(fs::status(dir / "x.BF").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    const ProcessResult back = Run({"decrypt", "--key-env", "QM_KEY", "x.BF", "-o", "-"});
    EXPECT_EQ(back.out, "secret");
}

// ------------------------------------------------------------- -o and -n

TEST_F(Cli, OutputNamesAFileOrAFolder) {
    Put("a.txt", "first");
    Put("b.txt", "second");
    fs::create_directory(dir / "out");
    ProcessResult r = Run({"encrypt", "--key-env", "QM_KEY", "a.txt", "-o", "sealed"});
    EXPECT_TRUE(r.Exited(0)) << r.err;
    EXPECT_EQ(r.out, "encrypted a.txt -> sealed\n");
    r = Run({"encrypt", "--key-env", "QM_KEY", "--output=out/", "a.txt", "b.txt"});
    EXPECT_TRUE(r.Exited(0)) << r.err;
    EXPECT_EQ(r.out, "encrypted a.txt -> out/a.txt.BF\nencrypted b.txt -> out/b.txt.BF\n");
    EXPECT_EQ(Get("out/a.txt.BF"), Get("sealed"));
    r = Run({"decrypt", "--key-env", "QM_KEY", "-oout", "out/a.txt.BF", "out/b.txt.BF"});
    EXPECT_TRUE(r.Exited(0)) << r.err;
    EXPECT_EQ(Text(Get("out/a.txt")), "first");
    EXPECT_EQ(Text(Get("out/b.txt")), "second");
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"a.txt", "b.txt", "out", "sealed"}));
}

TEST_F(Cli, NoClobberKeepsAnExistingTarget) {
    Put("a.txt", "new");
    Put("a.txt.BF", "old");
    Put("dangling-target", "x");
    fs::create_symlink("nowhere", dir / "link.BF");
    struct Case {
        std::vector<std::string> args;
        std::string target;
    };
    const std::vector<Case> cases = {
        {{"encrypt", "-n", "a.txt"}, "./a.txt.BF"},
        {{"encrypt", "--no-clobber", "a.txt", "-o", "link.BF"}, "link.BF"},
        {{"encrypt", "-qn", "-", "-o", "a.txt.BF"}, "a.txt.BF"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[1]);
        std::vector<std::string> args = c.args;
        args.insert(args.begin() + 1, {"--key-env", "QM_KEY"});
        const ProcessResult r = Run(args, "piped");
        EXPECT_TRUE(r.Exited(1));
        EXPECT_NE(r.err.find("cannot create " + c.target +
                             ": the file exists, and it is to be "
                             "kept. Nothing was written"),
                  std::string::npos)
            << r.err;
        EXPECT_EQ(Text(Get("a.txt.BF")), "old");
        EXPECT_TRUE(fs::is_symlink(dir / "link.BF"));
    }
    EXPECT_TRUE(Run({"encrypt", "--key-env", "QM_KEY", "a.txt"}).Exited(0)) << "without -n";
    EXPECT_NE(Text(Get("a.txt.BF")), "old");
}

// ----------------------------------------------------------------- keygen

TEST_F(Cli, KeygenPrintsOrWritesANewKeyFile) {
    struct Case {
        std::vector<std::string> args;
        std::size_t digits;
    };
    for (const Case& c : {Case{{"keygen"}, 32}, Case{{"keygen", "--bytes", "1"}, 2},
                          Case{{"keygen", "--bytes=56"}, 112}}) {
        SCOPED_TRACE(c.digits);
        const ProcessResult r = Run(c.args);
        EXPECT_TRUE(r.Exited(0)) << r.err;
        ASSERT_EQ(r.out.size(), c.digits + 1);
        EXPECT_EQ(r.out.find_first_not_of("0123456789abcdef"), c.digits);
        EXPECT_EQ(r.out.back(), '\n');
    }
    EXPECT_NE(Run({"keygen"}).out, Run({"keygen"}).out);

    ProcessResult r = Run({"keygen", "-o", "k"});
    EXPECT_TRUE(r.Exited(0)) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(fs::status(dir / "k").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    const auto key = Get("k");
    EXPECT_EQ(key.size(), 33u);
    Put("a.txt", "plain");
    EXPECT_TRUE(Run({"encrypt", "--key-file", "k", "a.txt"}).Exited(0));
    fs::remove(dir / "a.txt");
    EXPECT_TRUE(Run({"decrypt", "--key-file", "k", "a.txt.BF"}).Exited(0));
    EXPECT_EQ(Text(Get("a.txt")), "plain");

    // Never over an existing file, nor through a link.
    fs::create_symlink("elsewhere", dir / "link");
    for (const char* name : {"k", "link"}) {
        r = Run({"keygen", "-o", name});
        EXPECT_TRUE(r.Exited(1));
        EXPECT_TRUE(r.err.starts_with(std::string("quillmoor-cli: ") + name + ": cannot create"))
            << r.err;
    }
    EXPECT_EQ(Get("k"), key);
    EXPECT_FALSE(fs::exists(dir / "elsewhere"));
}

// ------------------------------------------------------------------ jobs

TEST_F(Cli, JobsGiveTheBytesMessagesAndStatusOfOneAfterAnother) {
    std::vector<std::string> files;
    for (std::size_t i = 0; i < 6; ++i) {
        files.push_back(Numbered("f", i));
        Put(files.back(), RandomBytes((i + 1) * 300000, static_cast<std::uint32_t>(i)));
    }
    for (std::size_t i = 0; i < 6; ++i) // a target takes its source's mode
        fs::permissions(dir / files[i], i % 2 ? fs::perms(0640) : fs::perms(0604));
    Put("blocked", "its target is a folder");
    fs::create_directory(dir / "blocked.BF");
    files.insert(files.begin() + 2, "missing");
    files.insert(files.begin() + 4, "sub/");
    files.insert(files.begin() + 6, "blocked");
    struct Run_ {
        std::string out, err;
        int code;
        std::vector<std::vector<std::uint8_t>> bytes;
        std::vector<fs::perms> modes;
    };
    const auto runWith = [&](const std::string& jobs, const char* command,
                             const std::vector<std::string>& operands) {
        std::vector<std::string> args{command, "--key-env", "QM_KEY", jobs};
        args.insert(args.end(), operands.begin(), operands.end());
        for (const auto& f : files) // each run writes its own
            if (fs::is_regular_file(dir / (f + ".BF")))
                fs::remove(dir / (f + ".BF"));
        const ProcessResult r = Run(args);
        Run_ result{r.out, r.err, r.exitCode, {}, {}};
        for (const auto& f : files)
            if (fs::is_regular_file(dir / (f + ".BF"))) {
                result.bytes.push_back(Get(f + ".BF"));
                result.modes.push_back(fs::status(dir / (f + ".BF")).permissions());
            }
        return result;
    };
    const Run_ serial = runWith("-j1", "encrypt", files);
    const Run_ parallel = runWith("--jobs=4", "encrypt", files);
    const Run_ sideBySide = runWith("-j64", "encrypt", files); // every file on one chain
    const Run_ byDefault = runWith("-q", "encrypt", files);
    EXPECT_EQ(serial.code, 1);
    EXPECT_EQ(LineCount(serial.out), 6u);
    EXPECT_EQ(LineCount(serial.err), 3u);
    EXPECT_EQ(serial.bytes.size(), 6u);
    for (const Run_* other : {&parallel, &sideBySide}) {
        EXPECT_EQ(other->code, serial.code);
        EXPECT_EQ(other->out, serial.out);
        EXPECT_EQ(other->err, serial.err);
        EXPECT_EQ(other->bytes, serial.bytes);
        EXPECT_EQ(other->modes, serial.modes);
    }
    EXPECT_EQ(byDefault.code, 1);
    EXPECT_EQ(byDefault.err, serial.err);
    EXPECT_EQ(byDefault.bytes, serial.bytes);

    // And back: decryption shares the cores between the jobs.
    std::vector<std::string> sealed;
    for (const auto& f : files)
        sealed.push_back(f + ".BF");
    const ProcessResult back = Run([&] {
        std::vector<std::string> args{"decrypt", "--key-env", "QM_KEY", "-o", "back"};
        fs::create_directory(dir / "back");
        args.insert(args.end(), sealed.begin(), sealed.end());
        return args;
    }());
    EXPECT_TRUE(back.Exited(1));
    EXPECT_EQ(LineCount(back.out), 6u);
    for (std::size_t i = 0; i < 6; ++i)
        EXPECT_EQ(Get("back/" + Numbered("f", i)), Get(Numbered("f", i)));
}

// Operands that reach one file (twice the same, one's target another's
// source, a link, a hard link) give what one after another gives; a target
// that an earlier operand writes is kept, and the later operand refused.
TEST_F(Cli, JobsOverOneFileGiveWhatOneAfterAnotherGives) {
    Put("a", RandomBytes(3000000, 7));
    fs::create_symlink("a", dir / "link");
    fs::create_hard_link(dir / "a", dir / "hard");
    fs::create_directory(dir / "x");
    fs::create_directory(dir / "y");
    Put("x/a", RandomBytes(2000000, 8));
    Put("y/a", RandomBytes(2000000, 9));
    fs::create_directory(dir / "out");
    const std::vector<std::vector<std::string>> operandSets = {
        {"a", "a"},    {"a", "a.BF"}, {"a", "./a"},
        {"link", "a"}, {"a", "hard"}, {"x/a", "y/a", "-o", "out"}};
    for (const auto& operands : operandSets) {
        SCOPED_TRACE(operands[1]);
        std::vector<std::string> said[2];
        std::vector<std::uint8_t> made[2]; // a.BF.BF (from what the first wrote) or out/a.BF
        for (const char* jobs : {"-j1", "-j2"}) {
            for (const char* old : {"a.BF", "a.BF.BF", "hard.BF", "link.BF", "out/a.BF"})
                fs::remove(dir / old);
            std::vector<std::string> args{"encrypt", "--key-env", "QM_KEY", jobs};
            args.insert(args.end(), operands.begin(), operands.end());
            const ProcessResult r = Run(args);
            const int i = jobs[2] - '1';
            said[i] = {r.out, r.err, std::to_string(r.exitCode)};
            for (const char* name : {"a.BF.BF", "out/a.BF"})
                if (Has(name))
                    made[i] = Get(name);
        }
        EXPECT_EQ(said[1], said[0]);
        EXPECT_TRUE(made[1] == made[0]);
    }
    const ProcessResult r = Run({"encrypt", "--key-env", "QM_KEY", "x/a", "y/a", "-o", "out"});
    EXPECT_TRUE(r.Exited(1));
    EXPECT_EQ(r.err, "quillmoor-cli: y/a: its target out/a.BF is an earlier FILE's target too, "
                     "and is kept; nothing was written\n");
    ASSERT_TRUE(Run({"decrypt", "--key-env", "QM_KEY", "out/a.BF", "-o", "back"}).Exited(0));
    EXPECT_TRUE(Get("back") == Get("x/a"));
}

// -------------------------------------------------------------- options

TEST_F(Cli, WarningsOnWeakKeysUnlessQuiet) {
    Put("a.txt", "plain");
    struct Case {
        std::vector<std::string> args;
        std::string env;
        const char* warning; // nullptr: none
    };
    const std::vector<Case> cases = {
        {{"encrypt", "--key-env", "K", "a.txt"}, "K=0011223344", "the key is 5 bytes"},
        {{"decrypt", "--key-env", "K", "-o", "b", "a.txt.BF"}, "K=0011223344", nullptr},
        {{"encrypt", "-q", "--key-env", "K", "a.txt"}, "K=0011223344", nullptr},
        {{"encrypt", "--key-env", "K", "a.txt"}, "K=" + kKey, nullptr},
        {{"encrypt", "--password-env", "K", "a.txt"}, "K=\xD0\x96", "above U+00FF"},
        {{"encrypt", "-q", "--password-env", "K", "a.txt"}, "K=\xD0\x96", nullptr},
        {{"encrypt", "--password-env", "K", "a.txt"}, "K=caf\xC3\xA9", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[1] + " " + c.env);
        const ProcessResult r = Run(c.args, "", {c.env});
        EXPECT_TRUE(r.Exited(0)) << r.err;
        if (c.warning) {
            EXPECT_TRUE(r.err.starts_with("quillmoor-cli: warning: ")) << r.err;
            EXPECT_NE(r.err.find(c.warning), std::string::npos) << r.err;
        } else {
            EXPECT_EQ(r.err, "");
        }
    }
    // The warning is no refusal: "Ж" and "Ȗ" give the same key.
    ASSERT_TRUE(
        Run({"encrypt", "-q", "--password-env", "K", "a.txt"}, "", {"K=\xD0\x96"}).Exited(0));
    const auto fromZhe = Get("a.txt.BF");
    ASSERT_TRUE(
        Run({"encrypt", "-q", "--password-env", "K", "a.txt"}, "", {"K=\xC8\x96"}).Exited(0));
    EXPECT_EQ(Get("a.txt.BF"), fromZhe);
}

TEST_F(Cli, ShortOptionsBundleAndDoubleDashEndsThem) {
    Put("-q", "a file named like an option");
    Put("y", "plain");
    struct Case {
        std::vector<std::string> args;
        std::string out;
    };
    const std::vector<Case> cases = {
        {{"encrypt", "--key-env", "QM_KEY", "--", "-q"}, "encrypted -q -> ./-q.BF\n"},
        {{"encrypt", "--key-env", "QM_KEY", "-qnj1", "y"}, ""},
        {{"encrypt", "--key-env", "QM_KEY", "-qj", "2", "-oz", "y"}, ""},
    };
    for (const Case& c : cases) {
        const ProcessResult r = Run(c.args);
        EXPECT_TRUE(r.Exited(0)) << r.err;
        EXPECT_EQ(r.out, c.out);
    }
    EXPECT_TRUE(Has("-q.BF"));
    EXPECT_TRUE(Has("y.BF"));
    EXPECT_EQ(Get("z"), Get("y.BF"));
    const ProcessResult r = Run({"wipe", "-qy", "--", "-q"});
    EXPECT_TRUE(r.Exited(0)) << r.err;
    EXPECT_EQ(Get("-q"), std::vector<std::uint8_t>(250, 0xFF));
}

TEST_F(Cli, QuietPrintsNothingButErrors) {
    Put("a.txt", "plain");
    ProcessResult r = Run({"encrypt", "--quiet", "--key-env", "QM_KEY", "a.txt"});
    EXPECT_TRUE(r.Exited(0));
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(Has("a.txt.BF"));
    r = Run({"decrypt", "-q", "--key-env", "QM_KEY", "a.txt.BF", "gone.BF"});
    EXPECT_TRUE(r.Exited(1));
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(LineCount(r.err), 1u);
    EXPECT_TRUE(r.err.starts_with("quillmoor-cli: cannot open ./gone.BF: ")) << r.err;
    r = Run({"wipe", "--yes", "--quiet", "a.txt"});
    EXPECT_TRUE(r.Exited(0));
    EXPECT_EQ(r.out + r.err, "");
}

TEST_F(Cli, NoProgressBarWhenStandardErrorIsNotATerminal) {
    Put("big.bin", RandomBytes((17u << 20) + 5, 11)); // above the bar's threshold
    const ProcessResult r = Encrypt("big.bin");
    EXPECT_TRUE(r.Exited(0));
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "encrypted big.bin -> ./big.bin.BF\n");
}

// ---------------------------------------------------------------------- md5

TEST_F(Cli, Md5OfTextOrOfOneLineOfStandardInput) {
    struct Case {
        std::vector<std::string> args;
        std::string input, digest;
    };
    const std::string abc = "900150983cd24fb0d6963f7d28e17f72";
    const std::string empty = "d41d8cd98f00b204e9800998ecf8427e";
    const std::vector<Case> cases = {
        {{"abc"}, "", abc},
        {{}, "abc\n", abc},
        {{}, "abc", abc},
        {{}, "abc\r\n", abc},
        {{}, "abc\nsecond line\n", abc},
        {{},
         "\xEF\xBB\xBF"
         "abc\n",
         abc},
        {{""}, "", empty}, // the empty password
        {{}, "", empty},
        {{}, "\n", empty},
        {{"message digest"}, "", "f96b697d7cb7938d525a2f31aaf161d0"},
        {{"abcdefghijklmnopqrstuvwxyz"}, "", "c3fcd3d76192e4007dfb496cca67e13b"},
        {{"--", "-x"}, "", "d25c186e3f3096a9ff4a918f7b3141d4"},
        // UTF-8 in, UTF-16 units digested by their low bytes:
        {{"\xC3\xA9"}, "", "3406877694691ddd1dfb0aca54681407"},         // U+00E9 -> E9
        {{}, "\xE2\x82\xAC\n", "20a7f30fb9f8e145422b66b3d4f4da70"},     // U+20AC -> AC
        {{"\xF0\x9F\x98\x80"}, "", "c151c5fa0f424dbf71e349896c45ec16"}, // D83D DE00 -> 3D 00
    };
    for (const Case& c : cases) {
        SCOPED_TRACE((c.args.empty() ? "stdin " + c.input : c.args.back()));
        const ProcessResult r = Run(
            [&] {
                std::vector<std::string> args{"md5"};
                args.insert(args.end(), c.args.begin(), c.args.end());
                return args;
            }(),
            c.input);
        EXPECT_TRUE(r.Exited(0)) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out, c.digest + "\n");
    }
}

TEST_F(Cli, Md5RefusesInvalidUtf8) {
    ProcessResult r = Run({"md5", "\xC3("});
    EXPECT_TRUE(r.Exited(2));
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "quillmoor-cli: md5: TEXT: not valid UTF-8 (byte 2)\n");
    r = Run({"md5"}, "ab\xFF\n");
    EXPECT_TRUE(r.Exited(2));
    EXPECT_EQ(r.err, "quillmoor-cli: md5: standard input: not valid UTF-8 (byte 3)\n");
    r = Run({"md5"}, "\xED\xA0\x80\n"); // a UTF-16 surrogate written as UTF-8
    EXPECT_TRUE(r.Exited(2));
    EXPECT_EQ(r.err, "quillmoor-cli: md5: standard input: not valid UTF-8 (byte 2)\n");
}

// --------------------------------------------------------------------- wipe

TEST_F(Cli, WipeWithYesLeavesWholeBlocksOf0xFF) {
    const std::vector<std::pair<std::size_t, std::size_t>> sizes = {
        {0, 250}, {1, 250}, {249, 250}, {250, 250}, {251, 500}, {500, 500}, {1001, 1250}};
    std::vector<std::string> args{"wipe", "--yes"};
    std::string expected;
    for (const auto& [size, after] : sizes) {
        const std::string name = Numbered("w", size);
        Put(name, RandomBytes(size, static_cast<std::uint32_t>(size) + 100));
        args.push_back(name);
        expected += "wiped " + name + "\n";
    }
    const ProcessResult r = Run(args);
    EXPECT_TRUE(r.Exited(0)) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, expected);
    for (const auto& [size, after] : sizes) {
        SCOPED_TRACE(size);
        const auto bytes = Get(Numbered("w", size));
        EXPECT_EQ(bytes.size(), after);
        EXPECT_TRUE(
            std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0xFF; }));
    }
}

TEST_F(Cli, WipeWithoutYesAndWithoutATerminalRefusesBeforeTouchingAnything) {
    Put("a.txt", "precious");
    const ProcessResult r = Run({"wipe", "a.txt"}, "y\n");
    EXPECT_TRUE(r.Exited(2));
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(r.err.starts_with("quillmoor-cli: wipe: refusing to wipe without --yes")) << r.err;
    EXPECT_EQ(Text(Get("a.txt")), "precious");
}

TEST_F(Cli, WipeOfAMissingFileFailsAndCreatesNothing) {
    Put("keep.txt", "to be wiped");
    fs::create_directory(dir / "sub");
    const ProcessResult r = Run({"wipe", "--yes", "gone.txt", "sub", "keep.txt"});
    EXPECT_TRUE(r.Exited(1));
    EXPECT_EQ(LineCount(r.err), 2u) << r.err;
    EXPECT_TRUE(r.err.starts_with("quillmoor-cli: cannot wipe ./gone.txt: No such file or "
                                  "directory. Nothing was overwritten\nquillmoor-cli: cannot wipe "
                                  "./sub: "))
        << r.err;
    EXPECT_FALSE(Has("gone.txt"));
    EXPECT_EQ(r.out, "wiped keep.txt\n");
    EXPECT_EQ(Get("keep.txt"), std::vector<std::uint8_t>(250, 0xFF));
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"keep.txt", "sub"}));
}

// ----------------------------------------------------------- openssl interop

class CliOpenSsl : public Cli {
  protected:
    void SetUp() override {
        for (const char* candidate : {"/usr/bin/openssl", "/usr/local/bin/openssl", "/bin/openssl"})
            if (::access(candidate, X_OK) == 0) {
                openssl_ = candidate;
                return;
            }
        FAIL() << "openssl not found; tools/install-deps.sh installs it";
    }

    ProcessResult OpenSsl(bool decrypt, const std::string& in, const std::string& out) {
        ProcessCall call;
        call.program = openssl_;
        call.args = {"enc",       "-bf-cbc", "-K",        kKey,      "-iv", kKey.substr(0, 16),
                     "-provider", "legacy",  "-provider", "default", "-in", in,
                     "-out",      out};
        if (decrypt)
            call.args.insert(call.args.begin() + 1, "-d");
        call.cwd = dir.path();
        return RunProcess(call);
    }

    std::string openssl_;
};

TEST_F(CliOpenSsl, OpenSslDecryptsOurFilesAndWeDecryptItsFiles) {
    for (const std::size_t size : {0u, 5u, 8u, 4099u}) {
        SCOPED_TRACE("size " + std::to_string(size));
        const std::string name = Numbered("o", size);
        const auto plain = RandomBytes(size, static_cast<std::uint32_t>(size) + 42);
        Put(name, plain);

        ASSERT_TRUE(Encrypt(name).Exited(0));
        ProcessResult r = OpenSsl(true, name + ".BF", name + ".from-ours");
        ASSERT_TRUE(r.Exited(0)) << r.err;
        EXPECT_EQ(Get(name + ".from-ours"), plain);

        r = OpenSsl(false, name, name + ".ossl.BF");
        ASSERT_TRUE(r.Exited(0)) << r.err;
        EXPECT_EQ(Get(name + ".ossl.BF"), Get(name + ".BF")) << "byte for byte the same file";
        r = Run({"decrypt", "--key-env", "QM_KEY", name + ".ossl.BF"});
        EXPECT_TRUE(r.Exited(0)) << r.err;
        EXPECT_EQ(Get(name + ".ossl"), plain);
    }
}

} // namespace
