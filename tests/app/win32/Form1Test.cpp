// The main window driven through messages: layout and tab order, Hide, MD5,
// Encrypt and Decrypt against the core, Wipe, drops, the worker and close.
#include "WindowTest.h"
#include "app/win32/Layout.h"

#include "cipher/basBlfArrays.h"
#include "cipher/basBlowfish.h"
#include "convert/basConvert.h"
#include "filecrypt/basBlowfishFileFns.h"
#include <atomic>
#include <cstring>
#include <shellapi.h>
#include <shlobj.h>

using namespace quillmoor;
using namespace quillmoor::test;
using namespace quillmoor::win32;

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

const wchar_t* ClassFor(Kind kind) {
    switch (kind) {
    case Kind::Label:
    case Kind::Picture: return L"Static";
    case Kind::TextBox: return L"Edit";
    case Kind::Button:
    case Kind::CheckBox: return L"Button";
    case Kind::DriveList: return L"ComboBox";
    case Kind::FolderList:
    case Kind::FileList: return L"ListBox";
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

TEST_F(Form1Test, ControlsSitWhereTheTableSaysAtEachDpi) {
    ASSERT_EQ(::GetDpiForWindow(form_->Window()), 96u) << "the layout is checked at 96 dpi";
    for (const unsigned dpi : {96u, 144u}) {
        if (dpi != 96) {
            RECT suggested{0, 0, 600, 500};
            ::SendMessageW(form_->Window(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                           reinterpret_cast<LPARAM>(&suggested));
        }
        RECT client{};
        ::GetClientRect(form_->Window(), &client);
        EXPECT_EQ(client.right, TwipsToPixels(kForm1Width, dpi)) << dpi;
        EXPECT_EQ(client.bottom, TwipsToPixels(kForm1Height, dpi)) << dpi;
        for (const ControlLayout& control : kForm1Controls) {
            SCOPED_TRACE(std::string(control.name) + " at " + std::to_string(dpi));
            HWND child = Control(control.id);
            ASSERT_NE(child, nullptr);
            EXPECT_EQ(ClassOf(child), ClassFor(control.kind));
            const RECT rect = ClientRectOf(child);
            EXPECT_EQ(rect.left, TwipsToPixels(control.left, dpi));
            EXPECT_EQ(rect.top, TwipsToPixels(control.top, dpi));
            EXPECT_EQ(rect.right - rect.left, TwipsToPixels(control.width, dpi));
            // A drop-down's field cannot be lower than its font needs, which
            // away from 96 dpi may round up by a pixel or two.
            EXPECT_NEAR(rect.bottom - rect.top, TwipsToPixels(control.height, dpi),
                        control.kind == Kind::DriveList && dpi != 96 ? 2 : 0);
        }
    }
    // At 96 dpi the table gives exact pixels.
    EXPECT_EQ(TwipsToPixels(4920, 96), 328);
    EXPECT_EQ(TwipsToPixels(2235, 96), 149);
}

TEST_F(Form1Test, StartsAsLaidOutWithTheFocusInThePasswordBox) {
    EXPECT_EQ(win32::WindowText(form_->Window()), L"Quillmoor");
    const LONG_PTR style = ::GetWindowLongPtrW(form_->Window(), GWL_STYLE);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & (WS_MAXIMIZEBOX | WS_THICKFRAME));
    for (const ControlLayout& control : kForm1Controls) {
        if (control.kind == Kind::Label || control.kind == Kind::Button ||
            control.kind == Kind::CheckBox) {
            EXPECT_EQ(Text(control.id), control.caption) << control.name;
        }
        const auto font =
            reinterpret_cast<HFONT>(::SendMessageW(Control(control.id), WM_GETFONT, 0, 0));
        EXPECT_TRUE(CaptionFits(Control(control.id), control, font, 96)) << control.name;
    }
    EXPECT_EQ(::GetFocus(), Control(IDC_Text1));
    EXPECT_EQ(Text(IDC_Text1), L"");
    EXPECT_EQ(Text(IDC_Text2), L"");
}

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

TEST_F(Form1Test, ADroppedFileIsSelectedAndAnythingElseIgnored) {
    fs::create_directories(At(L"sub"));
    WriteBytes(At(L"sub\\dropped.txt"), Pattern(5));
    WriteBytes(At(L"other.txt"), Pattern(5));
    struct Case {
        std::vector<std::wstring> paths;
        std::wstring folder, selected;
    };
    const std::wstring sub = At(L"sub").native(), top = folder_.native();
    for (const Case& c :
         {Case{{At(L"sub\\dropped.txt").native()}, sub, L"dropped.txt"},
          Case{{At(L"other.txt").native(), At(L"sub\\dropped.txt").native()}, sub, L"dropped.txt"},
          Case{{sub}, sub, L"dropped.txt"}}) {
        ::SendMessageW(form_->Window(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop(c.paths)),
                       0);
        const int index = static_cast<int>(::SendMessageW(Control(IDC_File1), LB_GETCURSEL, 0, 0));
        wchar_t name[MAX_PATH] = {};
        ::SendMessageW(Control(IDC_File1), LB_GETTEXT, index, reinterpret_cast<LPARAM>(name));
        EXPECT_EQ(std::wstring(name), c.selected);
        EXPECT_TRUE(Listed(L"dropped.txt"));
    }
    (void)top;
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
    std::atomic<bool> ownerDisabled{false}, stopped{false};
    RunInBackground(form_->Window(), L"Testing", [&](const ProgressCallback& progress) {
        ownerDisabled = !::IsWindowEnabled(form_->Window());
        // Nothing else starts meanwhile, and the window does not close.
        ::SendMessageW(Control(IDC_Command5), BM_CLICK, 0, 0);
        ::SendMessageW(form_->Window(), WM_CLOSE, 0, 0);
        HWND dialog = nullptr;
        for (int i = 0; i < 2000 && !(dialog = ProgressWindow()); ++i)
            ::Sleep(5);
        if (dialog)
            ::PostMessageW(dialog, WM_COMMAND, kProgressCancel, 0);
        for (int i = 0; i < 2000 && !stopped; ++i) {
            stopped = !progress(static_cast<std::uint64_t>(i), 2000);
            ::Sleep(5);
        }
    });
    EXPECT_TRUE(ownerDisabled.load());
    EXPECT_TRUE(stopped.load());
    EXPECT_EQ(form_->AboutWindow(), nullptr);
    EXPECT_TRUE(::IsWindow(form_->Window()));
    EXPECT_FALSE(closed_);
    EXPECT_TRUE(::IsWindowEnabled(form_->Window()));
    EXPECT_EQ(ProgressWindow(), nullptr);
    EXPECT_FALSE(Busy());
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
