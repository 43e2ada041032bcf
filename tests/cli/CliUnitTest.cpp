// The pieces of quillmoor-cli that are worth testing on their own: splitting
// a FILE argument, UTF-8 to UTF-16, reading one line of a secret, the
// progress line, the jobs runner and the key generator.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <thread>

#include <unistd.h>

#include "cli/CliMain.h"
#include "cli/Input.h"
#include "cli/Jobs.h"
#include "cli/Progress.h"
#include "cli/Targets.h"
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
    using quillmoor::commands::Operation;
    constexpr auto E = Operation::Encrypt;
    constexpr auto D = Operation::Decrypt;
    const std::string out = "OUT";
    struct Case {
        Operation operation;
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
