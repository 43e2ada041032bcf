// The pieces of quillmoor-cli that are worth testing on their own: splitting
// a FILE argument, UTF-8 to UTF-16, reading one line of a secret, the
// command table and its options.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include <unistd.h>

#include "cli/CliMain.h"
#include "cli/Input.h"
#include "cli/Utf8.h"

using namespace quillmoor::cli;

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
    std::u16string out;
    std::size_t bad = 0;
    EXPECT_TRUE(Utf8ToUtf16(in, out, bad)) << "byte " << bad;
    return out;
}

std::size_t BadOffset(std::string_view in) {
    std::u16string out = u"left over";
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
LineStatus ReadFromPipe(const std::string& bytes, std::string& line,
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
    std::string line = "previous contents";
    EXPECT_EQ(ReadFromPipe(bytes, line), LineStatus::Ok);
    return line;
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
        std::string line = "previous contents";
        EXPECT_EQ(ReadFromPipe(c.bytes, line, c.limit), c.status);
        EXPECT_EQ(line, c.line);
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
        std::string line = "previous contents";
        int error = 0;
        EXPECT_EQ(ReadFirstLineOfFile(c.path, line, error, {}), c.status);
        if (c.status == LineStatus::NotOpened || c.status == LineStatus::Failed) {
            EXPECT_EQ(error, c.error);
        }
        EXPECT_EQ(line, c.line);
    }
    std::filesystem::remove_all(dir);
}

TEST(ReadFirstLine, ReportsAReadError) {
    std::string line = "x";
    int error = 0;
    EXPECT_EQ(ReadFirstLine(-1, line, error, {}), LineStatus::Failed);
    EXPECT_EQ(error, EBADF);
    EXPECT_EQ(line, "");
}

TEST(DropByteOrderMark, OnlyAtTheStart) {
    std::string a = "\xEF\xBB\xBFkey";
    DropByteOrderMark(a);
    EXPECT_EQ(a, "key");
    std::string b = "k\xEF\xBB\xBFy";
    DropByteOrderMark(b);
    EXPECT_EQ(b, "k\xEF\xBB\xBFy");
    std::string c = "\xEF\xBB";
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

} // namespace
