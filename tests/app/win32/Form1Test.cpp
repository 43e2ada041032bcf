// The main window driven through messages: layout and tab order, Hide, MD5,
// Encrypt and Decrypt against the core, Wipe, drops, the worker and close.
#include "WindowTest.h"
#include "app/win32/Dpi.h"
#include "app/win32/Layout.h"
#include "app/win32/MessageLoop.h"
#include "app/win32/TaskbarProgress.h"

#include "cipher/basBlfArrays.h"
#include "cipher/basBlowfish.h"
#include "convert/basConvert.h"
#include "filecrypt/basBlowfishFileFns.h"
#include <atomic>
#include <cstring>
#include <shellapi.h>
#include <shlobj.h>
#include <thread>

using namespace quillmoor;
using namespace quillmoor::test;
using namespace quillmoor::win32;
using commands::ControlKind;

namespace {

// MD5 of "password": what the MD5 button puts in the Key box for it.
const std::wstring kKey = L"5f4dcc3b5aa765d61d8327deb882cf99";

RECT ClientRectOf(HWND control) {
    RECT rect{};
    ::GetWindowRect(control, &rect);
    ::MapWindowPoints(nullptr, ::GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    ::GetClassNameW(window, name, 64);
    return name;
}

const wchar_t* ClassFor(commands::ControlKind kind) {
    using commands::ControlKind;
    switch (kind) {
    case ControlKind::Label:
    case ControlKind::Picture: return L"Static";
    case ControlKind::TextBox: return L"Edit";
    case ControlKind::Button:
    case ControlKind::CheckBox: return L"Button";
    case ControlKind::DriveList: return L"ComboBox";
    case ControlKind::FolderList:
    case ControlKind::FileList: return L"ListBox";
    }
    return L"";
}

// A drop of `paths` from Explorer, as WM_DROPFILES carries it.
HDROP MakeDrop(const std::vector<std::wstring>& paths) {
    std::size_t chars = 1;
    for (const std::wstring& path : paths)
        chars += path.size() + 1;
    const HGLOBAL memory = ::GlobalAlloc(GHND, sizeof(DROPFILES) + chars * sizeof(wchar_t));
    auto* drop = static_cast<DROPFILES*>(::GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    auto* at = reinterpret_cast<wchar_t*>(drop + 1);
    for (const std::wstring& path : paths) {
        std::memcpy(at, path.c_str(), (path.size() + 1) * sizeof(wchar_t));
        at += path.size() + 1;
    }
    ::GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
}

} // namespace

using Form1Test = WindowTest;

// One case per control of the windows' one layout.
class Form1Layout : public WindowTest, public ::testing::WithParamInterface<std::size_t> {};

TEST_P(Form1Layout, TheControlSitsWhereTheTableSaysAtEachDpiWithItsCaption) {
    const commands::ControlLayout& control = commands::kForm1.controls[GetParam()];
    HWND child = Control(ControlId(kForm1FirstId, GetParam()));
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(ClassOf(child), ClassFor(control.kind));
    if (control.kind == ControlKind::Label || control.kind == ControlKind::Button ||
        control.kind == ControlKind::CheckBox) {
        EXPECT_EQ(WindowText(child), Widen(control.caption));
    }
    const auto font = reinterpret_cast<HFONT>(::SendMessageW(child, WM_GETFONT, 0, 0));
    EXPECT_TRUE(CaptionFits(child, control, font, 96));
    ASSERT_EQ(::GetDpiForWindow(form_->Window()), 96u) << "the layout is checked at 96 dpi";
    for (const unsigned dpi : {96u, 144u}) {
        if (dpi != 96) {
            RECT suggested{0, 0, 600, 500};
            ::SendMessageW(form_->Window(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                           reinterpret_cast<LPARAM>(&suggested));
        }
        RECT client{};
        ::GetClientRect(form_->Window(), &client);
        EXPECT_EQ(client.right, TwipsToPixels(commands::kForm1.width, dpi)) << dpi;
        EXPECT_EQ(client.bottom, TwipsToPixels(commands::kForm1.height, dpi)) << dpi;
        const RECT rect = ClientRectOf(child);
        EXPECT_EQ(rect.left, TwipsToPixels(control.left, dpi)) << dpi;
        EXPECT_EQ(rect.top, TwipsToPixels(control.top, dpi)) << dpi;
        EXPECT_EQ(rect.right - rect.left, TwipsToPixels(control.width, dpi)) << dpi;
        // A drop-down's field cannot be lower than its font needs, which
        // away from 96 dpi may round up by a pixel or two.
        EXPECT_NEAR(rect.bottom - rect.top, TwipsToPixels(control.height, dpi),
                    control.kind == ControlKind::DriveList && dpi != 96 ? 2 : 0)
            << dpi;
    }
}

INSTANTIATE_TEST_SUITE_P(EachControl, Form1Layout,
                         ::testing::Range<std::size_t>(0, commands::kForm1.controls.size()),
                         [](const auto& info) {
                             return std::string(commands::kForm1.controls[info.param].name);
                         });

TEST_F(Form1Test, TabVisitsTheControlsInTableOrder) {
    const int order[] = {IDC_Text1,    IDC_Text2,    IDC_Command1, IDC_Check1,
                         IDC_Drive1,   IDC_Dir1,     IDC_File1,    IDC_Command2,
                         IDC_Command3, IDC_Command4, IDC_Command5, IDC_Text1};
    for (std::size_t i = 1; i < std::size(order); ++i)
        EXPECT_EQ(
            ::GetDlgCtrlID(::GetNextDlgTabItem(form_->Window(), Control(order[i - 1]), FALSE)),
            order[i])
            << "after " << order[i - 1];
}

TEST_F(Form1Test, HideMasksAndUnmasksBothBoxesWithoutTouchingTheTexts) {
    SetText(IDC_Text1, L"secret");
    SetText(IDC_Text2, L"00ff");
    struct Step {
        bool ticked;
        wchar_t mask;
    };
    for (const Step step : {Step{true, L'*'}, Step{false, 0}, Step{true, L'*'}}) {
        if (step.ticked != (::SendMessageW(Control(IDC_Check1), BM_GETCHECK, 0, 0) == BST_CHECKED))
            Click(IDC_Check1);
        EXPECT_EQ(::SendMessageW(Control(IDC_Text1), EM_GETPASSWORDCHAR, 0, 0), step.mask);
        EXPECT_EQ(::SendMessageW(Control(IDC_Text2), EM_GETPASSWORDCHAR, 0, 0), step.mask);
        EXPECT_EQ(Text(IDC_Text1), L"secret");
        EXPECT_EQ(Text(IDC_Text2), L"00ff");
    }
}

TEST_F(Form1Test, Md5PutsTheDigestOfThePasswordInTheKeyBox) {
    struct Case {
        const wchar_t* password;
        const wchar_t* key;
    };
    for (const Case c : {Case{L"", L"d41d8cd98f00b204e9800998ecf8427e"},
                         Case{L"password", L"5f4dcc3b5aa765d61d8327deb882cf99"},
                         Case{L"abc", L"900150983cd24fb0d6963f7d28e17f72"}}) {
        SetText(IDC_Text1, c.password);
        SetText(IDC_Text2, L"typed by hand");
        Click(IDC_Command1);
        EXPECT_EQ(Text(IDC_Text2), c.key) << c.password;
        EXPECT_EQ(Text(IDC_Text1), c.password);
    }
}

TEST_F(Form1Test, EncryptThenDecryptGivesBackTheFileAndMatchesTheCore) {
    const std::vector<char> plain = Pattern(1000);
    WriteBytes(At(L"a.txt"), plain);
    SetText(IDC_Text2, kKey);
    ASSERT_TRUE(Select(L"a.txt"));

    Click(IDC_Command2);

    EXPECT_TRUE(shown_.empty());
    const std::vector<char> cipher = ReadBytes(At(L"a.txt.BF"));
    EXPECT_EQ(cipher.size(), 1008u); // 1000 bytes and 8 filler bytes
    EXPECT_TRUE(Listed(L"a.txt.BF"));
    const std::u16string key(kKey.begin(), kKey.end());
    ASSERT_TRUE(BlowfishSetKey(HexTextToBytes(key)));
    BlowfishEncryptFile(At(L"a.txt"), At(L"expected.BF"), key);
    EXPECT_EQ(cipher, ReadBytes(At(L"expected.BF")));

    fs::remove(At(L"a.txt"));
    ASSERT_TRUE(Select(L"a.txt.BF"));
    Click(IDC_Command3);
    EXPECT_TRUE(shown_.empty());
    EXPECT_EQ(ReadBytes(At(L"a.txt")), plain);
    EXPECT_TRUE(Listed(L"a.txt"));
}

TEST_F(Form1Test, AFailureIsReportedInABoxAndLosesNothing) {
    const std::vector<char> plain = Pattern(300), earlier = Pattern(17);
    WriteBytes(At(L"a.txt"), plain);
    SetText(IDC_Text2, kKey);
    ASSERT_TRUE(Select(L"a.txt"));
    Click(IDC_Command2);
    WriteBytes(At(L"a.txt"), earlier);
    ASSERT_TRUE(Select(L"a.txt.BF"));

    struct Case {
        const wchar_t* key;
        const char* why;
    };
    for (const Case c : {Case{L"00112233445566778899aabbccddeeff", "wrong key"},
                         Case{L"", "empty key"}, Case{L"not hex", "key not hexadecimal"}}) {
        shown_.clear();
        SetText(IDC_Text2, c.key);
        Click(IDC_Command3);
        ASSERT_EQ(shown_.size(), 1u) << c.why;
        EXPECT_EQ(shown_[0].flags & MB_ICONMASK, static_cast<UINT>(MB_ICONERROR)) << c.why;
        EXPECT_NE(shown_[0].text.find(L"a.txt"), std::wstring::npos) << c.why;
        EXPECT_EQ(ReadBytes(At(L"a.txt")), earlier) << c.why;
    }
}

TEST_F(Form1Test, WipeAsksAndOverwritesOnlyOnOk) {
    struct Case {
        int answer;
        std::size_t length, expected; // bytes before and after
    };
    for (const Case c : {Case{IDCANCEL, 251, 251}, Case{IDOK, 251, 500}, Case{IDOK, 0, 250},
                         Case{IDOK, 500, 500}}) {
        SCOPED_TRACE(std::to_string(c.answer) + " " + std::to_string(c.length));
        const std::vector<char> before = Pattern(c.length);
        WriteBytes(At(L"victim.bin"), before);
        ASSERT_TRUE(Select(L"victim.bin"));
        shown_.clear();
        answer_ = c.answer;
        std::atomic<bool> saw255{false};
        form_->SetWipeTestHooks({7, [&](std::span<const std::uint8_t> block) {
                                     for (const std::uint8_t byte : block)
                                         if (byte == 255)
                                             saw255 = true;
                                 }});

        Click(IDC_Command4);

        ASSERT_EQ(shown_.size(), 1u);
        EXPECT_EQ(shown_[0].title, L"Tolvane");
        EXPECT_EQ(shown_[0].text, L"Do you want to wipe file: " + At(L"victim.bin").native());
        EXPECT_EQ(shown_[0].flags, static_cast<UINT>(MB_OKCANCEL | MB_ICONWARNING | MB_DEFBUTTON1));
        const std::vector<char> after = ReadBytes(At(L"victim.bin"));
        if (c.answer != IDOK) {
            EXPECT_EQ(after, before);
            continue;
        }
        EXPECT_EQ(after, std::vector<char>(c.expected, static_cast<char>(0xFF)));
        EXPECT_FALSE(saw255.load());
    }
}

TEST_F(Form1Test, WithNothingSelectedTheWindowSaysSoAndWritesNothing) {
    WriteBytes(At(L"a.txt"), Pattern(10));
    ASSERT_TRUE(Select(L"a.txt"));
    ::SendMessageW(Control(IDC_File1), LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    SetText(IDC_Text2, L"0123456789abcdef");
    for (const int button : {IDC_Command2, IDC_Command3, IDC_Command4}) {
        shown_.clear();
        BlowfishClearState(blowfishState());
        Click(button);
        ASSERT_EQ(shown_.size(), 1u) << button;
        EXPECT_NE(shown_[0].title, L"Tolvane") << "no question without a file";
        EXPECT_EQ(shown_[0].flags & MB_ICONMASK, static_cast<UINT>(MB_ICONINFORMATION));
        // Encrypt and Decrypt still set the key up.
        const BlowfishState zero{};
        EXPECT_EQ(std::memcmp(&blowfishState(), &zero, sizeof zero) != 0, button != IDC_Command4)
            << button;
    }
    EXPECT_EQ(ReadBytes(At(L"a.txt")), Pattern(10));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1);
}

TEST_F(Form1Test, ADropSelectsTheFirstFileAndSaysSoWhenMoreCame) {
    fs::create_directories(At(L"sub"));
    WriteBytes(At(L"sub\\dropped.txt"), Pattern(5));
    WriteBytes(At(L"other.txt"), Pattern(5));
    struct Case {
        std::vector<std::wstring> paths;
        std::wstring selected;
        bool told; // one file is taken at a time
    };
    const std::wstring sub = At(L"sub").native();
    for (const Case& c :
         {Case{{At(L"sub\\dropped.txt").native()}, L"dropped.txt", false},
          Case{{At(L"other.txt").native(), At(L"sub\\dropped.txt").native()}, L"other.txt", true},
          Case{{sub, At(L"sub\\dropped.txt").native()}, L"dropped.txt", true},
          Case{{sub}, L"dropped.txt", false}}) { // a folder alone is passed over
        shown_.clear();
        ::SendMessageW(form_->Window(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop(c.paths)),
                       0);
        const int index = static_cast<int>(::SendMessageW(Control(IDC_File1), LB_GETCURSEL, 0, 0));
        wchar_t name[MAX_PATH] = {};
        ::SendMessageW(Control(IDC_File1), LB_GETTEXT, index, reinterpret_cast<LPARAM>(name));
        EXPECT_EQ(std::wstring(name), c.selected);
        ASSERT_EQ(shown_.size(), c.told ? 1u : 0u) << c.paths.size();
        if (c.told) {
            EXPECT_NE(shown_[0].text.find(L"One file is taken at a time"), std::wstring::npos);
        }
    }
}

TEST_F(Form1Test, AFileGivenAtStartIsSelectedOrItsFailureSaid) {
    WriteBytes(At(L"a.BF"), Pattern(16));
    struct Case {
        std::wstring given;
        const wchar_t* selected; // nullptr: none
        const wchar_t* said;     // nullptr: no box
    } cases[] = {
        {At(L"a.BF").native(), L"a.BF", nullptr},
        {At(L"NOSUCHFILE").native(), nullptr, L"Cannot open"},
        {folder_.native(), nullptr, nullptr},
    };
    for (const Case& c : cases) {
        shown_.clear();
        ::SendMessageW(Control(IDC_File1), LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
        EXPECT_EQ(form_->OpenFile(c.given), c.said == nullptr);
        const auto index = ::SendMessageW(Control(IDC_File1), LB_GETCURSEL, 0, 0);
        EXPECT_EQ(index >= 0, c.selected != nullptr) << c.given;
        ASSERT_EQ(shown_.size(), c.said ? 1u : 0u) << c.given;
        if (c.said) {
            EXPECT_EQ(shown_[0].flags & MB_ICONMASK, static_cast<UINT>(MB_ICONERROR));
            EXPECT_NE(shown_[0].text.find(c.said), std::wstring::npos) << shown_[0].text;
            EXPECT_NE(shown_[0].text.find(L"NOSUCHFILE"), std::wstring::npos) << shown_[0].text;
        }
    }
}

TEST_F(Form1Test, AKeyThatIsNotThePasswordsDigestIsQuestionedOnEncrypt) {
    struct Case {
        const wchar_t* password;
        int button, answer;
        bool asked, written;
    } cases[] = {
        {L"other", IDC_Command2, IDNO, true, false},    {L"other", IDC_Command2, IDYES, true, true},
        {L"password", IDC_Command2, IDNO, false, true}, {L"", IDC_Command2, IDNO, false, true},
        {L"other", IDC_Command3, IDNO, false, false},
    };
    for (const Case& c : cases) {
        WriteBytes(At(L"a.txt"), Pattern(16));
        WriteBytes(At(L"a.txt.BF"), Pattern(16));
        ASSERT_TRUE(Select(c.button == IDC_Command2 ? L"a.txt" : L"a.txt.BF"));
        SetText(IDC_Text1, c.password);
        SetText(IDC_Text2, L"5F4DCC3B5AA765D61D8327DEB882CF99"); // of "password"
        shown_.clear();
        answer_ = c.answer;
        Click(c.button);
        answer_ = 0;
        const bool asked = !shown_.empty() &&
                           shown_[0].text ==
                               L"The key is not the MD5 of the password. Encrypt with the key in "
                               L"the Key box anyway?";
        EXPECT_EQ(asked, c.asked) << c.password << " " << c.button;
        if (asked) {
            EXPECT_EQ(shown_[0].flags & (MB_TYPEMASK | MB_DEFMASK),
                      static_cast<UINT>(MB_YESNO | MB_DEFBUTTON2));
        }
        if (c.button == IDC_Command2) {
            EXPECT_EQ(ReadBytes(At(L"a.txt.BF")) != Pattern(16), c.written) << c.password;
        }
    }
}

TEST_F(Form1Test, F5ReadsTheListsAgain) {
    fs::create_directories(At(L"sub"));
    WriteBytes(At(L"late.txt"), Pattern(3));
    EXPECT_FALSE(Listed(L"late.txt"));
    for (const int id : {IDC_Text1, IDC_File1, IDC_Command2}) {
        fs::remove(At(L"late.txt"));
        MSG msg{Control(id), WM_KEYDOWN, VK_F5, 0, 0, {}};
        EXPECT_TRUE(RouteDialogMessage(msg)) << id;
        EXPECT_FALSE(Listed(L"late.txt")) << id;
        WriteBytes(At(L"late.txt"), Pattern(3));
        EXPECT_TRUE(RouteDialogMessage(msg)) << id;
        EXPECT_TRUE(Listed(L"late.txt")) << id;
    }
}

TEST_F(Form1Test, ADriveThatCannotBeReadIsReportedAndTheListsStayUsable) {
    // A drive letter whose folder is missing, as a drive without a medium.
    ASSERT_TRUE(::DefineDosDeviceW(DDD_RAW_TARGET_PATH, L"Q:", L"\\??\\C:\\quillmoor-no-medium"));
    form_ = std::make_unique<Form1>();
    WriteBytes(At(L"a.txt"), Pattern(4));
    ASSERT_TRUE(Select(L"a.txt"));
    HWND drive1 = Control(IDC_Drive1);
    const auto before = ::SendMessageW(drive1, CB_GETCURSEL, 0, 0);
    ASSERT_NE(::SendMessageW(drive1, CB_SELECTSTRING, static_cast<WPARAM>(-1),
                             reinterpret_cast<LPARAM>(L"q:")),
              CB_ERR);

    ::SendMessageW(form_->Window(), WM_COMMAND, MAKEWPARAM(IDC_Drive1, CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(drive1));

    ::DefineDosDeviceW(DDD_REMOVE_DEFINITION | DDD_RAW_TARGET_PATH, L"Q:",
                       L"\\??\\C:\\quillmoor-no-medium");
    ASSERT_EQ(shown_.size(), 1u);
    EXPECT_EQ(shown_[0].flags & MB_ICONMASK, static_cast<UINT>(MB_ICONERROR));
    EXPECT_NE(shown_[0].text.find(L"Q:"), std::wstring::npos) << shown_[0].text;
    EXPECT_EQ(::SendMessageW(drive1, CB_GETCURSEL, 0, 0), before);
    EXPECT_TRUE(Listed(L"a.txt"));
    EXPECT_TRUE(Select(L"a.txt"));
}

TEST_F(Form1Test, TheFolderListOpensAFolderOnDoubleClickOrEnter) {
    fs::create_directories(At(L"inner"));
    WriteBytes(At(L"inner\\deep.txt"), Pattern(3));
    HWND dir1 = Control(IDC_Dir1);
    for (const bool enter : {false, true}) {
        ASSERT_TRUE(form_->ShowFile(At(L"nothing-here").native()) == false);
        LRESULT row = LB_ERR;
        for (LRESULT i = 0; i < ::SendMessageW(dir1, LB_GETCOUNT, 0, 0); ++i) {
            wchar_t text[MAX_PATH] = {};
            ::SendMessageW(dir1, LB_GETTEXT, static_cast<WPARAM>(i),
                           reinterpret_cast<LPARAM>(text));
            const std::wstring entry(text);
            if (entry.substr(entry.find_first_not_of(L' ')) == L"inner")
                row = i;
        }
        ASSERT_NE(row, LB_ERR);
        ::SendMessageW(dir1, LB_SETCURSEL, static_cast<WPARAM>(row), 0);
        EXPECT_FALSE(Listed(L"deep.txt")) << "picking a folder moves nothing";
        if (enter) {
            ::SetFocus(dir1);
            ::SendMessageW(form_->Window(), WM_COMMAND, IDOK, 0);
        } else {
            ::SendMessageW(form_->Window(), WM_COMMAND, MAKEWPARAM(IDC_Dir1, LBN_DBLCLK),
                           reinterpret_cast<LPARAM>(dir1));
        }
        EXPECT_TRUE(Listed(L"deep.txt")) << enter;
    }
}

TEST_F(Form1Test, TheWorkShowsProgressAfterTheDelayCancelStopsItAndNothingElseStarts) {
    SetProgressDialogDelay(0);
    std::atomic<bool> stopped{false};
    std::vector<int> taskbar;
    std::atomic<bool> onTaskbar{false};
    TaskbarProgress::SetObserver([&](int permille) {
        taskbar.push_back(permille);
        onTaskbar = permille >= 0;
    });
    RECT inside{};
    // At the left edge of the screen, as far out as the system lets it go.
    ::SetWindowPos(form_->Window(), nullptr, -200, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    RunInBackground(form_->Window(), L"Testing", [&](const ProgressCallback& progress) {
        // Nothing else starts meanwhile: neither a click that reaches the
        // queue nor one sent to the button.
        ::PostMessageW(Control(IDC_Command5), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
        ::PostMessageW(Control(IDC_Command5), WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
        ::SendMessageW(Control(IDC_Command5), BM_CLICK, 0, 0);
        HWND dialog = nullptr;
        for (int i = 0; i < 2000 && !(dialog = ProgressWindow()); ++i)
            ::Sleep(5);
        // Halfway, and seen on the taskbar button, before Cancel.
        progress(1000, 2000);
        for (int i = 0; i < 2000 && !onTaskbar; ++i)
            ::Sleep(5);
        if (dialog) {
            ::GetWindowRect(dialog, &inside);
            ::PostMessageW(dialog, WM_COMMAND, kProgressCancel, 0);
        }
        for (int i = 0; i < 2000 && !stopped; ++i) {
            stopped = !progress(static_cast<std::uint64_t>(i), 2000);
            ::Sleep(5);
        }
    });
    TaskbarProgress::SetObserver(nullptr);
    EXPECT_TRUE(stopped.load());
    EXPECT_EQ(form_->AboutWindow(), nullptr);
    const RECT area = WorkAreaNear(form_->Window());
    EXPECT_GE(inside.left, area.left);
    EXPECT_LE(inside.right, area.right);
    ASSERT_GE(taskbar.size(), 2u);
    EXPECT_EQ(taskbar.front(), 500);
    EXPECT_EQ(taskbar.back(), -1) << "the taskbar button shows no progress afterwards";
    EXPECT_TRUE(::IsWindowEnabled(form_->Window()));
    EXPECT_EQ(ProgressWindow(), nullptr);
    EXPECT_FALSE(Busy());
}

TEST_F(Form1Test, ACloseDuringTheWorkAsksAndAYesClosesOnceItStops) {
    // Large enough that the work is still running when the close is taken.
    WriteBytes(At(L"big.bin"), Pattern(32 << 20));
    SetText(IDC_Text2, kKey);
    ASSERT_TRUE(Select(L"big.bin"));
    SetProgressDialogDelay(0);
    for (const int answer : {IDNO, IDYES}) {
        fs::remove(At(L"big.bin.BF"));
        shown_.clear();
        answer_ = answer;
        // A close from outside (the taskbar, taskkill) while the work runs.
        ::PostMessageW(form_->Window(), WM_CLOSE, 0, 0);
        Click(IDC_Command2);
        answer_ = 0;
        ASSERT_FALSE(shown_.empty()) << answer;
        EXPECT_NE(shown_[0].text.find(L"Cancel it now?"), std::wstring::npos);
        EXPECT_EQ(shown_[0].flags & (MB_TYPEMASK | MB_DEFMASK),
                  static_cast<UINT>(MB_YESNO | MB_DEFBUTTON2));
        EXPECT_EQ(closed_, answer == IDYES);
        EXPECT_EQ(fs::exists(At(L"big.bin.BF")), answer == IDNO);
    }
}

TEST(WindowBoxes, TheWipeQuestionForALongPathFitsTheScreen) {
    // The program's own box, not the tests' hook: found, measured, closed.
    std::wstring path = L"C:\\";
    while (path.size() < 380)
        path += L"folder" + std::to_wstring(path.size()) + L"\\";
    path += L"a.txt";
    std::atomic<bool> done{false};
    RECT box{};
    std::thread closer([&] {
        for (int i = 0; i < 1000 && !done; ++i, ::Sleep(10))
            if (HWND found = ::FindWindowW(L"#32770", L"Tolvane")) {
                ::GetWindowRect(found, &box);
                ::PostMessageW(found, WM_COMMAND, IDCANCEL, 0);
                return;
            }
    });
    const std::wstring text = L"Do you want to wipe file: " + path;
    EXPECT_EQ(ShowMessage(nullptr, text, L"Tolvane", MB_OKCANCEL | MB_ICONWARNING), IDCANCEL);
    done = true;
    closer.join();
    const RECT area = WorkAreaNear(nullptr);
    EXPECT_GT(box.right, box.left) << "the box was not found";
    EXPECT_GE(box.left, area.left);
    EXPECT_LE(box.right, area.right);
    EXPECT_GE(box.top, area.top);
}

TEST_F(Form1Test, ClosingOverwritesTheBoxesClosesAboutAndClearsTheKey) {
    // The texts the boxes are given from here on.
    static std::vector<std::wstring> texts;
    static WNDPROC original = nullptr;
    texts.clear();
    const auto record = [](HWND w, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
        if (m == WM_SETTEXT)
            texts.emplace_back(reinterpret_cast<const wchar_t*>(lp));
        return ::CallWindowProcW(original, w, m, wp, lp);
    };
    SetText(IDC_Text1, L"password");
    Click(IDC_Command1);
    WriteBytes(At(L"a.txt"), Pattern(8));
    ASSERT_TRUE(Select(L"a.txt"));
    Click(IDC_Command2); // sets up the key
    const BlowfishState zero{};
    ASSERT_NE(std::memcmp(&blowfishState(), &zero, sizeof zero), 0);
    Click(IDC_Command5);
    HWND about = form_->AboutWindow();
    ASSERT_NE(about, nullptr);
    original = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(Control(IDC_Text1), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(+record)));
    ::SetWindowLongPtrW(Control(IDC_Text2), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(+record));

    ::SendMessageW(form_->Window(), WM_CLOSE, 0, 0);

    EXPECT_EQ(texts, std::vector<std::wstring>(2, std::wstring(100, L'x')));
    EXPECT_FALSE(::IsWindow(about));
    EXPECT_EQ(form_->Window(), nullptr);
    EXPECT_TRUE(closed_);
    EXPECT_EQ(std::memcmp(&blowfishState(), &zero, sizeof zero), 0);
}
