// The About window: one at most, laid out as the table says, closed by OK
// or Enter on OK but not by Escape.
#include "WindowTest.h"
#include "app/win32/Layout.h"
#include "app/win32/resource.h"

#include <set>
#include <utility>

using namespace quillmoor;
using namespace quillmoor::test;
using namespace quillmoor::win32;

namespace {

int AboutWindowsOpen() {
    int count = 0;
    for (HWND at = nullptr; (at = ::FindWindowExW(nullptr, at, L"QuillmoorAbout", nullptr));)
        ++count;
    return count;
}

} // namespace

using Form2Test = WindowTest;

// The icon resource carries every size from 16 to 256 pixels, and a 32 x 32
// image in 256 colours beside the full-colour one.
TEST(Resources, TheIconHasEverySizeAndA256ColourOne) {
#pragma pack(push, 2)
    struct Entry {
        BYTE width, height, colours, reserved;
        WORD planes, bits;
        DWORD bytes;
        WORD id;
    };
#pragma pack(pop)
    const HMODULE self = ::GetModuleHandleW(nullptr);
    const HRSRC found = ::FindResourceW(self, MAKEINTRESOURCEW(IDI_QUILLMOOR), RT_GROUP_ICON);
    ASSERT_NE(found, nullptr);
    const auto* header = static_cast<const WORD*>(::LockResource(::LoadResource(self, found)));
    const auto* entries = reinterpret_cast<const Entry*>(header + 3);
    std::set<std::pair<int, int>> images; // size, bits per pixel
    for (WORD i = 0; i < header[2]; ++i)
        images.insert({entries[i].width == 0 ? 256 : entries[i].width, entries[i].bits});
    for (const int size : {16, 24, 32, 48, 64, 128, 256})
        EXPECT_TRUE(images.count({size, 32})) << size;
    EXPECT_TRUE(images.count({32, 8}));
    EXPECT_NE(::LoadImageW(self, MAKEINTRESOURCEW(IDI_QUILLMOOR), IMAGE_ICON, 256, 256, 0),
              nullptr);
    EXPECT_NE(
        ::LoadImageW(self, MAKEINTRESOURCEW(IDB_LOGO), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION),
        nullptr);
}

TEST_F(Form2Test, OneAboutWindowAtMost) {
    for (int click = 1; click <= 3; ++click) {
        Click(IDC_Command5);
        EXPECT_EQ(AboutWindowsOpen(), 1) << click;
    }
    HWND about = form_->AboutWindow();
    EXPECT_TRUE(::IsWindowEnabled(form_->Window())) << "the main window stays usable";
    ::SendMessageW(::GetDlgItem(about, IDC_Form2_Command1), BM_CLICK, 0, 0);
    EXPECT_FALSE(::IsWindow(about));
    EXPECT_EQ(AboutWindowsOpen(), 0);
    Click(IDC_Command5);
    EXPECT_EQ(AboutWindowsOpen(), 1);
}

TEST_F(Form2Test, ShowsTheTextsWhereTheTableSays) {
    Click(IDC_Command5);
    HWND about = form_->AboutWindow();
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(WindowText(about), L"Quillmoor - About");
    RECT client{};
    ::GetClientRect(about, &client);
    EXPECT_EQ(client.right, 345);
    EXPECT_EQ(client.bottom, 209);
    EXPECT_EQ(::GetFocus(), ::GetDlgItem(about, IDC_Form2_Command1));
    // Centred on the screen, and kept out of the task bar by a hidden owner.
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    ::GetMonitorInfoW(::MonitorFromWindow(about, MONITOR_DEFAULTTOPRIMARY), &monitor);
    RECT frame{};
    ::GetWindowRect(about, &frame);
    EXPECT_NEAR(frame.left + frame.right, monitor.rcWork.left + monitor.rcWork.right, 1);
    EXPECT_NEAR(frame.top + frame.bottom, monitor.rcWork.top + monitor.rcWork.bottom, 1);
    HWND owner = ::GetWindow(about, GW_OWNER);
    EXPECT_TRUE(owner && owner != form_->Window() && !::IsWindowVisible(owner));
    EXPECT_FALSE(::GetWindowLongPtrW(about, GWL_STYLE) & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
}

// One case per control of the windows' one layout.
class Form2Layout : public WindowTest, public ::testing::WithParamInterface<std::size_t> {};

TEST_P(Form2Layout, TheControlShowsItsTextWhereTheTableSays) {
    const commands::ControlLayout& control = commands::kForm2.controls[GetParam()];
    Click(IDC_Command5);
    HWND about = form_->AboutWindow();
    ASSERT_NE(about, nullptr);
    HWND child = ::GetDlgItem(about, ControlId(kForm2FirstId, GetParam()));
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(WindowText(child), Widen(control.caption));
    RECT rect{};
    ::GetWindowRect(child, &rect);
    ::MapWindowPoints(nullptr, about, reinterpret_cast<POINT*>(&rect), 2);
    const RECT expected{control.left / 15, control.top / 15, (control.left + control.width) / 15,
                        (control.top + control.height) / 15};
    EXPECT_TRUE(::EqualRect(&rect, &expected))
        << rect.left << "," << rect.top << "," << rect.right << "," << rect.bottom;
    const auto font = reinterpret_cast<HFONT>(::SendMessageW(child, WM_GETFONT, 0, 0));
    EXPECT_TRUE(CaptionFits(child, control, font, 96));
}

INSTANTIATE_TEST_SUITE_P(EachControl, Form2Layout,
                         ::testing::Range<std::size_t>(0, commands::kForm2.controls.size()),
                         [](const auto& info) {
                             return std::string(commands::kForm2.controls[info.param].name);
                         });

TEST_F(Form2Test, EnterOnOkClosesEscapeDoesNot) {
    Click(IDC_Command5);
    HWND about = form_->AboutWindow();
    ASSERT_NE(about, nullptr);
    ::SendMessageW(about, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(::IsWindow(about));
    ::SetFocus(::GetDlgItem(about, IDC_Form2_Command1));
    ::SendMessageW(about, WM_COMMAND, IDOK, 0);
    EXPECT_FALSE(::IsWindow(about));
}
