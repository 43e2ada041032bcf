// The pieces of quillmoor-cli that are worth testing on their own: splitting
// a FILE argument, UTF-8 to UTF-16, reading one line of a secret, the
// command table and its options, the progress line, the jobs runner, where
// outputs go, and the command line and wildcards as Windows reads them.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include <unistd.h>

#include "app/commands/Utf8.h"
#include "cli/CliMain.h"
#include "cli/Input.h"
#include "cli/Jobs.h"
#include "cli/Progress.h"
#include "cli/Targets.h"
#include "cli/Terminal.h"
#include "cli/Wildcards.h"
#include "tests/TestFiles.h"

using namespace quillmoor::cli;
using quillmoor::SecretText;
using quillmoor::SecretText16;
using quillmoor::commands::Utf8ToUtf16;

namespace {

TEST(SplitFileArgument, GivesFolderAndNameAsTheFileListWould) {
    struct Case {
        const char* argument;
        const char* folder;
        const char* name;
    };
    for (const Case& c : {
             Case{"a.txt", ".", "a.txt"},
             Case{"dir/a.txt", "dir", "a.txt"},
             Case{"dir//a.txt", "dir", "a.txt"},
             Case{"/a.txt", "/", "a.txt"},
             Case{"//a.txt", "/", "a.txt"},
             Case{"/data/x/a.txt.BF", "/data/x", "a.txt.BF"},
             Case{"./a", ".", "a"},
             Case{"../a", "..", "a"},
             Case{"dir/", "dir", ""},
             Case{"/", "/", ""},
             Case{"", ".", ""},
             Case{"-", ".", "-"},
         }) {
        SCOPED_TRACE(c.argument);
        const FileArgument split = SplitFileArgument(c.argument);
        EXPECT_EQ(split.folder, c.folder);
        EXPECT_EQ(split.name, c.name);
    }
}

std::u16string Convert(std::string_view in) {
    SecretText16 out;
    std::size_t bad = 0;
    EXPECT_TRUE(Utf8ToUtf16(in, out, bad)) << "byte " << bad;
    return std::u16string(out.begin(), out.end());
}

std::size_t BadOffset(std::string_view in) {
    SecretText16 out = u"left over";
    std::size_t bad = 12345;
    EXPECT_FALSE(Utf8ToUtf16(in, out, bad));
    EXPECT_TRUE(out.empty());
    return bad;
}

TEST(Utf8ToUtf16, ConvertsEveryLengthAtItsBoundaries) {
    EXPECT_EQ(Convert(""), u"");
    EXPECT_EQ(Convert("abc"), u"abc");
    EXPECT_EQ(Convert(std::string_view("a\0b", 3)), std::u16string(u"a\0b", 3));
    EXPECT_EQ(Convert("\x7F"), u"\u007F");
    EXPECT_EQ(Convert("\xC2\x80"), u"\u0080");
    EXPECT_EQ(Convert("\xC3\xA9"), u"\u00E9");
    EXPECT_EQ(Convert("\xDF\xBF"), u"\u07FF");
    EXPECT_EQ(Convert("\xE0\xA0\x80"), u"\u0800");
    EXPECT_EQ(Convert("\xE2\x82\xAC"), u"\u20AC");
    EXPECT_EQ(Convert("\xED\x9F\xBF"), u"\uD7FF");
    EXPECT_EQ(Convert("\xEE\x80\x80"), u"\uE000");
    EXPECT_EQ(Convert("\xEF\xBF\xBF"), u"\uFFFF");
    EXPECT_EQ(Convert("\xF0\x90\x80\x80"), (std::u16string{0xD800, 0xDC00}));
    EXPECT_EQ(Convert("\xF0\x9F\x98\x80"), (std::u16string{0xD83D, 0xDE00}));
    EXPECT_EQ(Convert("\xF4\x8F\xBF\xBF"), (std::u16string{0xDBFF, 0xDFFF}));
    EXPECT_EQ(Convert("x\xC3\xA9y\xF0\x9F\x98\x80z"),
              (std::u16string{u'x', 0xE9, u'y', 0xD83D, 0xDE00, u'z'}));
}

TEST(Utf8ToUtf16, RefusesWhatIsNotUtf8AndSaysWhere) {
    EXPECT_EQ(BadOffset("\x80"), 0u);             // continuation byte alone
    EXPECT_EQ(BadOffset("ab\xBF"), 2u);           // continuation byte alone
    EXPECT_EQ(BadOffset("\xC0\x80"), 0u);         // overlong NUL
    EXPECT_EQ(BadOffset("\xC1\xBF"), 0u);         // overlong
    EXPECT_EQ(BadOffset("\xE0\x80\x80"), 1u);     // overlong
    EXPECT_EQ(BadOffset("\xE0\x9F\xBF"), 1u);     // overlong, just below U+0800
    EXPECT_EQ(BadOffset("\xF0\x8F\xBF\xBF"), 1u); // overlong, just below U+10000
    EXPECT_EQ(BadOffset("\xED\xA0\x80"), 1u);     // surrogate D800
    EXPECT_EQ(BadOffset("\xED\xBF\xBF"), 1u);     // surrogate DFFF
    EXPECT_EQ(BadOffset("\xF4\x90\x80\x80"), 1u); // above U+10FFFF
    EXPECT_EQ(BadOffset("\xF5\x80\x80\x80"), 0u);
    EXPECT_EQ(BadOffset("\xFE"), 0u);
    EXPECT_EQ(BadOffset("\xFF"), 0u);
    EXPECT_EQ(BadOffset("a\xC3"), 2u);        // cut off at the end
    EXPECT_EQ(BadOffset("\xE2\x82"), 2u);     // cut off at the end
    EXPECT_EQ(BadOffset("\xF0\x9F\x98"), 3u); // cut off at the end
    EXPECT_EQ(BadOffset("\xE2\x82x"), 2u);    // cut off by an ASCII byte
    EXPECT_EQ(BadOffset("\xF0\x9F\x98\xC3\xA9"), 3u);
}

// Feeds `bytes` into a pipe and reads the first line from it.
LineStatus ReadFromPipe(const std::string& bytes, SecretText& line,
                        std::size_t limit = kMaxLineBytes) {
    int fds[2];
    EXPECT_EQ(::pipe(fds), 0);
    std::thread writer([&] {
        std::size_t at = 0;
        while (at < bytes.size()) {
            const ssize_t put = ::write(fds[1], bytes.data() + at, bytes.size() - at);
            if (put <= 0)
                break;
            at += static_cast<std::size_t>(put);
        }
        ::close(fds[1]);
    });
    int error = 0;
    const LineStatus status = ReadFirstLine(fds[0], line, error, {}, limit);
    ::close(fds[0]);
    writer.join();
    return status;
}

std::string FirstLineOf(const std::string& bytes) {
    SecretText line = "previous contents";
    EXPECT_EQ(ReadFromPipe(bytes, line), LineStatus::Ok);
    return std::string(line.begin(), line.end());
}

TEST(ReadFirstLine, StopsAtTheFirstLineFeedAndDropsTheLineEnding) {
    EXPECT_EQ(FirstLineOf(""), "");
    EXPECT_EQ(FirstLineOf("\n"), "");
    EXPECT_EQ(FirstLineOf("key"), "key");
    EXPECT_EQ(FirstLineOf("key\n"), "key");
    EXPECT_EQ(FirstLineOf("key\r\n"), "key");
    EXPECT_EQ(FirstLineOf("key\rmore\n"), "key\rmore"); // a lone CR is text
    EXPECT_EQ(FirstLineOf("key\r\r\n"), "key\r");
    EXPECT_EQ(FirstLineOf("first\nsecond\n"), "first");
    EXPECT_EQ(FirstLineOf(" spaces kept \n"), " spaces kept ");
    // Longer than one read and than the first reservation: the buffer grows.
    std::string longLine;
    for (int i = 0; i < 10000; ++i)
        longLine += static_cast<char>('a' + i % 26);
    EXPECT_EQ(FirstLineOf(longLine + "\nrest"), longLine);
    EXPECT_EQ(FirstLineOf(longLine), longLine);
}

TEST(ReadFirstLine, RefusesALineLongerThanTheLimit) {
    struct Case {
        std::string bytes;
        std::size_t limit;
        LineStatus status;
        std::string line; // wiped to empty unless Ok
    };
    const std::string cap(kMaxLineBytes, 'k');
    for (const Case& c : {
             Case{"abc", 3, LineStatus::Ok, "abc"},
             Case{"abc\r\n", 3, LineStatus::TooLong, ""}, // the CR counts until the LF
             Case{"abcd", 3, LineStatus::TooLong, ""},
             Case{"", 0, LineStatus::Ok, ""},
             Case{"x", 0, LineStatus::TooLong, ""},
             Case{cap, kMaxLineBytes, LineStatus::Ok, cap},
             Case{cap + "k", kMaxLineBytes, LineStatus::TooLong, ""},
         }) {
        SCOPED_TRACE(std::to_string(c.bytes.size()) + " bytes, limit " + std::to_string(c.limit));
        SecretText line = "previous contents";
        EXPECT_EQ(ReadFromPipe(c.bytes, line, c.limit), c.status);
        EXPECT_EQ(std::string_view(line), c.line);
    }
}

TEST(ReadFirstLineOfFile, ReadsKeyFilesAndSaysWhyNot) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                      ("quillmoor-keyfile-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto put = [&](const char* name, const std::string& bytes) {
        std::ofstream(dir / name, std::ios::binary) << bytes;
        return (dir / name).string();
    };
    struct Case {
        std::string path;
        LineStatus status;
        int error; // checked for NotOpened and Failed
        std::string line;
    };
    for (const Case& c : {
             Case{put("plain", "00112233\nsecond line\n"), LineStatus::Ok, 0, "00112233"},
             Case{put("bom-crlf", "\xEF\xBB\xBF"
                                  "00112233\r\n"),
                  LineStatus::Ok, 0, "00112233"},
             Case{put("empty", ""), LineStatus::Ok, 0, ""},
             Case{put("long", std::string(kMaxLineBytes + 1, 'a')), LineStatus::TooLong, 0, ""},
             Case{(dir / "missing").string(), LineStatus::NotOpened, ENOENT, ""},
             Case{dir.string(), LineStatus::Failed, EISDIR, ""},
             Case{"/dev/zero", LineStatus::TooLong, 0, ""},
         }) {
        SCOPED_TRACE(c.path);
        SecretText line = "previous contents";
        int error = 0;
        EXPECT_EQ(ReadFirstLineOfFile(c.path, line, error, {}), c.status);
        if (c.status == LineStatus::NotOpened || c.status == LineStatus::Failed) {
            EXPECT_EQ(error, c.error);
        }
        EXPECT_EQ(std::string_view(line), c.line);
    }
    std::filesystem::remove_all(dir);
}

TEST(ReadFirstLine, ReportsAReadError) {
    SecretText line = "x";
    int error = 0;
    EXPECT_EQ(ReadFirstLine(-1, line, error, {}), LineStatus::Failed);
    EXPECT_EQ(error, EBADF);
    EXPECT_EQ(line, "");
}

TEST(DropByteOrderMark, OnlyAtTheStart) {
    SecretText a = "\xEF\xBB\xBFkey";
    DropByteOrderMark(a);
    EXPECT_EQ(a, "key");
    SecretText b = "k\xEF\xBB\xBFy";
    DropByteOrderMark(b);
    EXPECT_EQ(b, "k\xEF\xBB\xBFy");
    SecretText c = "\xEF\xBB";
    DropByteOrderMark(c);
    EXPECT_EQ(c, "\xEF\xBB");
}

// The options each command takes, as the command table says.
TEST(Verbs, EachTakesItsOwnOptionsOnly) {
    struct Case {
        const char* verb;
        std::vector<std::string> options;
        bool taken;
    };
    for (const Case& c : {
             Case{"encrypt", {"--key-env", "K"}, true},
             Case{"encrypt", {"--quiet"}, true},
             Case{"encrypt", {"--lenient"}, false},
             Case{"encrypt", {"--yes"}, false},
             Case{"decrypt", {"--key-file", "k"}, true},
             Case{"decrypt", {"--lenient"}, true},
             Case{"decrypt", {"-y"}, false},
             Case{"wipe", {"--yes"}, true},
             Case{"wipe", {"-y"}, true},
             Case{"wipe", {"--password-env", "P"}, false},
             Case{"md5", {"--quiet"}, false},
             Case{"md5", {"--key-file", "k"}, false},
             Case{"md5", {"--help"}, true},
             Case{"md5", {"-V"}, true},
             Case{"encrypt", {"-qnj2", "-oOUT"}, true},
             Case{"decrypt", {"--jobs=3", "--output", "-"}, true},
             Case{"wipe", {"-o", "x"}, false},
             Case{"wipe", {"-yn"}, false},
             Case{"keygen", {"--bytes", "4", "-qo", "k"}, true},
             Case{"keygen", {"--key-env", "K"}, false},
         }) {
        SCOPED_TRACE(std::string(c.verb) + " " + c.options.front());
        const Verb* verb = FindVerb(c.verb);
        ASSERT_NE(verb, nullptr);
        EXPECT_EQ(verb->name, c.verb);
        if (c.taken)
            EXPECT_NO_THROW((void)ParseArguments(verb->name, verb->options, c.options));
        else
            EXPECT_THROW((void)ParseArguments(verb->name, verb->options, c.options), UsageError);
    }
    for (const char* unknown : {"", "Encrypt", "help", "--help", "encrypt "})
        EXPECT_EQ(FindVerb(unknown), nullptr) << unknown;
}

TEST(ParseArguments, MessagesNameTheOptionNeverItsValue) {
    struct Case {
        std::vector<std::string> args;
        const char* message;
    };
    const OptionSet all = Option::Key | Option::Quiet | Option::Lenient | Option::Yes;
    for (const Case& c : {
             Case{{"--quiet=Secret1"}, "option '--quiet' takes no value"},
             Case{{"-xSecret1"}, "unknown option '-x'"},
             Case{{"--frob=Secret1"}, "unknown option '--frob'"},
             Case{{"-kSecret1"}, "keys and passwords are never taken from the command line"},
             Case{{"--password=Secret1"},
                  "keys and passwords are never taken from the command line"},
             Case{{"--key-env"}, "option '--key-env' needs a value"},
             Case{{"--key-env="}, "option '--key-env' needs a value that is not empty"},
             Case{{"--key-env=A", "--key-file=Secret1"}, "give only one of --key-env"},
         }) {
        SCOPED_TRACE(c.args.front());
        try {
            (void)ParseArguments("decrypt", all, c.args);
            ADD_FAILURE() << "taken";
        } catch (const UsageError& e) {
            const std::string message = e.what();
            EXPECT_TRUE(message.starts_with(c.message)) << message;
            EXPECT_EQ(message.find("Secret1"), std::string::npos) << message;
        }
    }
}

TEST(RunCliInProcess, LostOutputIsAFailure) {
    std::ostringstream out, err;
    out.setstate(std::ios::badbit); // as a full disk leaves std::cout
    CliConsole console;
    console.inFd = -1;
    EXPECT_EQ(RunCli({"md5", "abc"}, out, err, console), kExitFailed);
    EXPECT_EQ(err.str(), "quillmoor-cli: standard output: cannot write; some output was lost\n");
}

TEST(RunCliInProcess, Md5OfATextArgument) {
    std::ostringstream out, err;
    CliConsole console;
    console.inFd = -1; // nothing may be read
    EXPECT_EQ(RunCli({"md5", "abc"}, out, err, console), kExitOk);
    EXPECT_EQ(out.str(), "900150983cd24fb0d6963f7d28e17f72\n");
    EXPECT_EQ(err.str(), "");
}

TEST(RunCliInProcess, InterruptBeforeTheFirstFileStartsNothing) {
    std::ostringstream out, err;
    CliConsole console;
    console.inFd = -1;
    console.interrupted = [] { return true; };
    ::setenv("QM_UNIT_KEY", "00112233445566778899aabbccddeeff", 1);
    EXPECT_EQ(RunCli({"encrypt", "--key-env", "QM_UNIT_KEY", "/nonexistent/never-touched"}, out,
                     err, console),
              kExitFailed);
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(err.str(), "") << "no file was attempted";
}

TEST(SplitCommandLine, SplitsAsTheCRuntimeDoesAndMarksUnquotedWildcards) {
    struct Case {
        const char* line;
        std::vector<std::pair<std::string, bool>> words; // text, pattern
    };
    for (const Case& c : {
             Case{"q a b", {{"a", false}, {"b", false}}},
             Case{"q", {}},
             Case{"\"C:\\Program Files\\q.exe\" a\\b", {{"a\\b", false}}},
             Case{"q \"abc\" d e", {{"abc", false}, {"d", false}, {"e", false}}},
             Case{"q a\\\\b d\"e f\"g h", {{"a\\\\b", false}, {"de fg", false}, {"h", false}}},
             Case{"q a\\\\\\\"b c", {{"a\\\"b", false}, {"c", false}}},
             Case{"q a\\\\\\\\\"b c\" d", {{"a\\\\b c", false}, {"d", false}}},
             Case{"q a\"b\"\" c d", {{"ab\" c d", false}}},
             Case{"q \"\" x", {{"", false}, {"x", false}}},
             Case{"q \t a \t ", {{"a", false}}},
             Case{"q *.txt \"*.txt\" x*\"y\"z?",
                  {{"*.txt", true}, {"*.txt", false}, {"x*yz?", true}}},
             Case{"q \"my files\"\\*.BF", {{"my files\\*.BF", true}}},
             Case{"q \"a*\"?", {{"a*?", false}}},
             Case{"q --key-file k*.hex", {{"--key-file", false}, {"k*.hex", true}}},
         }) {
        SCOPED_TRACE(c.line);
        std::vector<std::pair<std::string, bool>> words;
        for (const CommandWord& word : SplitCommandLine(c.line))
            words.emplace_back(word.text, word.pattern);
        EXPECT_EQ(words, c.words);
    }
}

TEST(WholeCharacters, HoldsBackOnlyTheStartOfACharacterStillToCome) {
    struct Case {
        std::string_view text;
        std::size_t whole;
    };
    for (const Case& c : {
             Case{"", 0}, Case{"abc", 3}, Case{"a\xC3", 1},     // é's first byte
             Case{"a\xC3\xA9", 3},                              // é
             Case{"\xE6\x97", 0},                               // two of 日's three bytes
             Case{"x\xE6\x97\xA5", 4},                          // 日
             Case{"\xF0\x9F\x98", 0},                           // three of an emoji's four
             Case{"\xF0\x9F\x98\x80", 4},                       // the emoji
             Case{"a\xA9", 2},                                  // a stray continuation byte
             Case{"\x80\x80\x80\x80\x80", 5}, Case{"a\xFF", 2}, // no character starts with 0xFF
         }) {
        SCOPED_TRACE(::testing::PrintToString(std::string(c.text)));
        EXPECT_EQ(WholeCharacters(c.text), c.whole);
    }
}

TEST(MatchesWildcard, MatchesWholeCharactersWithoutRegardToCase) {
    struct Case {
        const char* pattern;
        const char* name;
        bool matches;
    };
    for (const Case& c : {
             Case{"*.txt", "a.txt", true}, Case{"*.txt", "A.TXT", true},
             Case{"*.txt", "a.txt.BF", false}, Case{"*.bf", "notes.txt.BF", true},
             Case{"?.txt", "ab.txt", false},
             Case{"?.txt", "\xC3\xA9.txt", true}, // é is one character
             Case{"\xC3\x84*", "\xC3\xA4rger.txt", true},
             Case{"\xD0\x96*", "\xD0\xB6\xD1\x83\xD0\xBA", true}, Case{"a*b", "ab", true},
             Case{"*a*b", "xaybzb", true}, Case{"*a*b", "xaybzc", false}, Case{"???", "ab", false},
             Case{"*.*", "README", true}, Case{"a.*", "a", true}, Case{"a.*", "ab", false},
             Case{"a?", "a\xFF", true}, // a byte that is no character still counts as one
         }) {
        SCOPED_TRACE(std::string(c.pattern) + " / " + c.name);
        EXPECT_EQ(MatchesWildcard(c.pattern, c.name), c.matches);
    }
}

TEST(ExpandWildcard, GivesTheMatchingFilesInOrderOrTheWordAsTyped) {
    const quillmoor::test::TempDir dir;
    for (const char* name : {"b.TXT", "a.txt", "c.dat", "a.txt.BF"})
        quillmoor::test::WriteFile(dir.path() / name, {1});
    std::filesystem::create_directory(dir.path() / "folder.txt");
    const std::string at = dir.path().string() + "/";
    struct Case {
        std::string word;
        std::vector<std::string> files;
    };
    for (const Case& c : {
             Case{at + "*.txt", {at + "a.txt", at + "b.TXT"}},
             Case{at + "?.*", {at + "a.txt", at + "a.txt.BF", at + "b.TXT", at + "c.dat"}},
             Case{at + "*.BF", {at + "a.txt.BF"}},
             Case{at + "zz*", {at + "zz*"}},
             Case{at + "*/a.txt", {at + "*/a.txt"}},
         }) {
        SCOPED_TRACE(c.word);
        EXPECT_EQ(ExpandWildcard(c.word), c.files);
    }
}

TEST(RunCliInProcess, OnlyFileOperandsTypedAsPatternsAreExpanded) {
    const quillmoor::test::TempDir dir;
    for (const char* name : {"a.txt", "b.txt"})
        quillmoor::test::WriteFile(dir.path() / name, {1, 2, 3});
    const std::string at = dir.path().string() + "/";
    ::setenv("QM_UNIT_KEY", "00112233445566778899aabbccddeeff", 1);
    CliConsole console;
    console.inFd = -1;
    std::ostringstream out, err;
    EXPECT_EQ(
        RunCommandLine(std::vector<CommandWord>{{"md5", false}, {"a*", true}}, out, err, console),
        kExitOk);
    EXPECT_EQ(out.str(), "536672d3cface3ddbb63666bf1b6030f\n") << "the MD5 of 'a*' itself";
    out.str("");
    EXPECT_EQ(RunCommandLine(std::vector<CommandWord>{{"encrypt", false},
                                                      {"--key-env", false},
                                                      {"QM_UNIT_KEY", false},
                                                      {at + "*.txt", true},
                                                      {at + "*.doc", true}},
                             out, err, console),
              kExitFailed);
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "a.txt.BF"));
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "b.txt.BF"));
    EXPECT_NE(err.str().find("*.doc: No such file or directory"), std::string::npos) << err.str();
}

TEST(HelpText, EachSystemReadsOnlyItsOwnParagraphs) {
    struct Case {
        System system;
        std::vector<std::string_view> has, lacks;
    };
    for (const Case& c : {
             Case{System::Posix,
                  {"/dev/tty", "0600", "SIGTERM", "~/.quillmoor-key", "| less", "man quillmoor-cli",
                   "on the terminal"},
                  {"CONIN$", "%USERPROFILE%", "Ctrl+C", "console", "README.txt", "@posix",
                   "@windows", "{terminal}"}},
             Case{System::Windows,
                  {"CONIN$", "%USERPROFILE%", "Ctrl+C", "on the console", "with no console",
                   "outside quotes", "README.txt", "status 3"},
                  {"/dev/", "0600", "umask", "SIG", "~/", "| less", "Ctrl-Z", "shred", "tar ",
                   "terminal", "man quillmoor-cli", "@posix", "@windows", "{terminal}"}},
         }) {
        const std::string text = HelpTextFor(c.system);
        for (const std::string_view word : c.has)
            EXPECT_NE(text.find(word), std::string::npos) << word;
        for (const std::string_view word : c.lacks)
            EXPECT_EQ(text.find(word), std::string::npos) << word;
    }
}

} // namespace

namespace {

TEST(ProgressLine, FitsTheWidthCuttingTheNameOnWholeCharacters) {
    const std::uint64_t mib = 1 << 20;
    struct Case {
        ProgressLine line;
        std::size_t columns;
        const char* expected;
    };
    const Case cases[] = {
        {{"a.txt", 0, 1, 8 * mib, 32 * mib, 0},
         80,
         "a.txt [#####...............] 25%  8.0 MiB / 32.0 MiB"},
        {{"a.txt", 2, 8, 16 * mib, 32 * mib, 100.0 * mib},
         80,
         "[3/8] a.txt [##########..........] 50%  16.0 MiB / 32.0 MiB  100.0 MiB/s"},
        // A pipe: no total, so no bar and no percentage.
        {{"-", 0, 1, 20 * mib, 0, 0}, 80, "-  20.0 MiB"},
        // The bar shrinks, then the name is cut in front on a whole character.
        {{"report-\xC3\xA9t\xC3\xA9.pdf", 0, 1, mib, 4 * mib, 0},
         56,
         "report-\xC3\xA9t\xC3\xA9.pdf [###............] 25%  1.0 MiB / 4.0 MiB"},
        {{"report-\xC3\xA9t\xC3\xA9.pdf", 0, 1, mib, 4 * mib, 0},
         47,
         "...\xC3\xA9t\xC3\xA9.pdf [##........] 25%  1.0 MiB / 4.0 MiB"},
        // Then the bar goes, then the figures from the right.
        {{"abcdefghijkl", 0, 1, mib, 4 * mib, 0}, 32, "...hijkl 25%  1.0 MiB / 4.0 MiB"},
        {{"abcdefghijkl", 0, 1, mib, 4 * mib, 0}, 14, "...ghijkl 25%"},
        {{"abcdefghijkl", 0, 1, mib, 4 * mib, 0}, 10, "...ghijkl"},
        // Control characters never reach the terminal.
        {{"a\nb\033c", 0, 1, 0, 0, 0}, 80, "a?b?c  0 B"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(FormatProgressLine(c.line, c.columns), c.expected);
    }
}

TEST(ProgressLine, ByteCountsAndCharacterTails) {
    EXPECT_EQ(ByteCount(0), "0 B");
    EXPECT_EQ(ByteCount(1023), "1023 B");
    EXPECT_EQ(ByteCount(1024), "1.0 KiB");
    EXPECT_EQ(ByteCount(1536), "1.5 KiB");
    EXPECT_EQ(ByteCount(std::uint64_t{3} << 30), "3.0 GiB");
    EXPECT_EQ(
        TailOnWholeCharacters("\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC", 4),
        "...\xE2\x82\xAC");
    EXPECT_EQ(TailOnWholeCharacters("\xE2\x82\xAC\xE2\x82\xAC", 2), "\xE2\x82\xAC\xE2\x82\xAC");
    EXPECT_EQ(TailOnWholeCharacters("abcdef", 2), "..");
}

TEST(ProgressBar, DrawsOnlyForLongWorkAndClearsBeforeAResultLine) {
    std::ostringstream err;
    {
        ProgressBar bar(err, true, {}, 2, [] { return std::size_t{60}; });
        auto small = bar.For(0, "small");
        EXPECT_TRUE(small(1, 100));
        EXPECT_EQ(err.str(), "") << "short work draws nothing";
        bar.Finished(0);
        auto big = bar.For(1, "big");
        EXPECT_TRUE(big(0, kProgressMinBytes));
        EXPECT_NE(err.str().find("[2/2] big ["), std::string::npos) << err.str();
        bar.Above([&] { err << "result\n"; });
        EXPECT_TRUE(err.str().ends_with("\r\033[Kresult\n")) << err.str();
    }
    const std::string before = err.str();
    {
        ProgressBar bar(err, false, [] { return true; });
        EXPECT_FALSE(bar.For(0, "x")(1, 1));
    }
    EXPECT_EQ(err.str(), before) << "a disabled bar draws nothing, yet passes on an interrupt";
}

TEST(Jobs, WorkersAndThreadBudgetNeverExceedTheFilesOrTheCores) {
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    EXPECT_EQ(JobWorkers(0, 100), cores);
    EXPECT_EQ(JobWorkers(0, 1), 1u);
    EXPECT_EQ(JobWorkers(4, 3), 3u);
    EXPECT_EQ(JobWorkers(1, 8), 1u);
    EXPECT_EQ(JobThreadBudget(1), cores);
    EXPECT_EQ(JobThreadBudget(cores), 1u);
    EXPECT_EQ(JobThreadBudget(cores * 4), 1u);
}

TEST(Jobs, ReportInOperandOrderWhateverOrderTheyFinishIn) {
    struct Case {
        const char* name;
        std::vector<FileResult> results;
        unsigned workers;
        int status;
        std::size_t published; // a Stop ends the run
    };
    using R = FileResult;
    const Case cases[] = {
        {"all done, serial", {R::Done, R::Done, R::Done}, 1, 0, 3},
        {"all done, three workers", {R::Done, R::Done, R::Done, R::Done, R::Done}, 3, 0, 5},
        {"one failed", {R::Done, R::Failed, R::Done, R::Done}, 3, 1, 4},
        {"stop, serial", {R::Done, R::Stop, R::Done, R::Done}, 1, 1, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::size_t> order;
        const int status = RunJobs(
            c.results.size(), c.workers,
            [&](std::size_t i, unsigned) {
                // Later jobs finish first.
                std::this_thread::sleep_for(std::chrono::milliseconds(5 * (c.results.size() - i)));
                return JobReport{c.results[i], "out " + std::to_string(i), ""};
            },
            [&](std::size_t i, const JobReport& report) {
                EXPECT_EQ(report.out, "out " + std::to_string(i));
                order.push_back(i);
            },
            {});
        EXPECT_EQ(status, c.status);
        ASSERT_EQ(order.size(), c.published);
        for (std::size_t i = 0; i < order.size(); ++i)
            EXPECT_EQ(order[i], i);
    }
}

TEST(Jobs, NothingStartsOnceInterrupted) {
    for (const unsigned workers : {1u, 4u}) {
        std::atomic<int> ran{0};
        const int status = RunJobs(
            6, workers,
            [&](std::size_t, unsigned) {
                ++ran;
                return JobReport{};
            },
            [](std::size_t, const JobReport&) {}, [] { return true; });
        EXPECT_EQ(status, 1);
        EXPECT_EQ(ran, 0);
    }
}

} // namespace

namespace {

TEST(Targets, EachOperandGoesWhereTheOptionsSay) {
    using quillmoor::commands::Command;
    constexpr auto E = Command::Encrypt;
    constexpr auto D = Command::Decrypt;
    const std::string out = "OUT";
    struct Case {
        Command operation;
        const char* operand;
        std::optional<std::string> output;
        bool isFolder;
        const char* expected; // "<stdout>", a path, or the start of a refusal
    };
    const Case cases[] = {
        {E, "a.txt", {}, false, "./a.txt.BF"},
        {E, "d/a.txt", {}, false, "d/a.txt.BF"},
        {D, "d/a.txt.BF", {}, false, "d/a.txt"},
        {D, "d/a.txt.bf", {}, false, "d/a.txt"},
        {D, "letter.enc", {}, false, "the name does not end in .BF"},
        {D, "BF", {}, false, "the name does not end in .BF"},
        {D, "d/.bf", {}, false, "nothing is left of the name"},
        {D, "letter.enc", out, false, "OUT"},
        {E, "a.txt", out, false, "OUT"},
        {E, "d/a.txt", std::string("o/"), true, "o/a.txt.BF"},
        {D, "d/a.txt.Bf", std::string("o"), true, "o/a.txt"},
        {D, "a.txt", std::string("o"), true, "the name does not end in .BF"},
        {E, "-", {}, false, "<stdout>"},
        {D, "-", std::string("-"), false, "<stdout>"},
        {D, "x.BF", std::string("-"), false, "<stdout>"},
        {D, "letter.enc", std::string("-"), false, "<stdout>"},
        {E, "-", out, false, "OUT"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.operand) + " -o " + c.output.value_or("(none)"));
        const auto chosen = ChooseTarget(c.operation, c.operand, {c.output, c.isFolder});
        if (const auto* target = std::get_if<Target>(&chosen)) {
            EXPECT_EQ(target->standardOutput ? "<stdout>" : target->path, c.expected);
        } else {
            EXPECT_TRUE(std::get<std::string>(chosen).starts_with(c.expected))
                << std::get<std::string>(chosen);
        }
    }
}

TEST(Targets, OutputOptionMustFitTheOperands) {
    using V = std::vector<std::string>;
    struct Case {
        V operands;
        std::optional<std::string> output;
        bool isFolder;
        const char* problem; // nullptr: none
    };
    const Case cases[] = {
        {V{"a", "b"}, {}, false, nullptr},
        {V{"a"}, std::string("t"), false, nullptr},
        {V{"a", "b"}, std::string("dir"), true, nullptr},
        {V{"a", "b"}, std::string("t"), false,
         "with several FILEs, -o must name an existing folder"},
        {V{"a", "b"}, std::string("-"), false, "'-o -' takes one FILE"},
        {V{"-", "-"}, {}, false, "standard input ('-') can be read only once"},
        {V{"-"}, std::string("dir"), true, "standard input ('-') has no name"},
        {V{"-"}, std::string("-"), false, nullptr},
        {V{"-", "a"}, {}, false, "standard input ('-') goes with no other FILE"},
    };
    for (const Case& c : cases) {
        const auto problem = OutputProblem(c.operands, {c.output, c.isFolder});
        if (!c.problem) {
            EXPECT_FALSE(problem) << *problem;
        } else {
            ASSERT_TRUE(problem) << c.problem;
            EXPECT_TRUE(problem->starts_with(c.problem)) << *problem;
        }
    }
}

} // namespace
