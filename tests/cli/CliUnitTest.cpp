// The pieces of quillmoor-cli that are worth testing on their own: splitting
// a FILE argument, UTF-8 to UTF-16, reading one line of a secret.

#include <gtest/gtest.h>

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
std::string FirstLineOf(const std::string& bytes) {
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
    std::string line = "previous contents";
    int error = 0;
    EXPECT_EQ(ReadFirstLine(fds[0], line, error, {}), LineStatus::Ok);
    ::close(fds[0]);
    writer.join();
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

TEST(WipeString, ZerosTheWholeBufferAndEmptiesIt) {
    std::string s(100, 'k');
    s.resize(10); // 90 key bytes still sit past the end
    const char* data = s.data();
    const std::size_t capacity = s.capacity();
    WipeString(s);
    EXPECT_TRUE(s.empty());
    ASSERT_EQ(s.data(), data) << "the same buffer, wiped in place";
    for (std::size_t i = 0; i < capacity; ++i)
        EXPECT_EQ(data[i], '\0') << i;
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
