#include "app/win32/Form1.h"

#include <exception>
#include <shellapi.h>
#include <stdexcept>

#include "app/win32/BackgroundTask.h"
#include "app/win32/Controls.h"
#include "app/win32/Dpi.h"
#include "app/win32/Form2.h"
#include "app/win32/Layout.h"
#include "app/win32/MessageBox.h"
#include "app/win32/MessageLoop.h"
#include "app/win32/Text.h"
#include "app/win32/resource.h"

namespace quillmoor::win32 {

namespace {

constexpr wchar_t kClassName[] = L"QuillmoorMain";
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kExStyle = WS_EX_CONTROLPARENT | WS_EX_ACCEPTFILES;
constexpr std::size_t kCrosses = 100;

void RegisterClassOnce(WNDPROC proc) {
    static const bool registered = RegisterWindowClass(kClassName, proc);
    (void)registered;
}

std::wstring WorkingFolder() {
    const DWORD size = ::GetCurrentDirectoryW(0, nullptr);
    std::wstring folder(size, L'\0');
    const DWORD length = size ? ::GetCurrentDirectoryW(size, folder.data()) : 0;
    folder.resize(length < size ? length : 0);
    return folder;
}

bool IsFile(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

} // namespace

Form1::Form1(std::function<void()> closed) : closed_(std::move(closed)) {
    RegisterClassOnce(&Form1::Proc);
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    ::CreateWindowExW(kExStyle, kClassName, L"Quillmoor", kStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                      CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, this);
    if (!window_)
        throw std::runtime_error("cannot create the main window");
    CreateControls(window_, kForm1Controls);
    Place(WindowDpi(window_));
    SetClientSize(window_, TwipsToPixels(kForm1Width, dpi_), TwipsToPixels(kForm1Height, dpi_),
                  dpi_);

    ::SendMessageW(Control(IDC_Text1), EM_SETPASSWORDCHAR, L'*', 0);
    ::SendMessageW(Control(IDC_Text2), EM_SETPASSWORDCHAR, L'*', 0);
    ::SendMessageW(Control(IDC_Check1), BM_SETCHECK, BST_CHECKED, 0);
    drive1_.Attach(Control(IDC_Drive1));
    dir1_.Attach(Control(IDC_Dir1));
    file1_.Attach(Control(IDC_File1));

    // The lists start on the working folder.
    const std::wstring start = WorkingFolder();
    std::wstring reason;
    drive1_.ShowDriveOf(start);
    if (dir1_.SetPath(start, reason) || dir1_.SetPath(drive1_.Drive(), reason))
        FolderChanged();
    AddDialogWindow(window_);
    focus_ = Control(IDC_Text1);
    ::SetFocus(focus_);
}

Form1::~Form1() {
    about_.reset();
    if (window_)
        ::DestroyWindow(window_);
    if (font_)
        ::DeleteObject(font_);
}

HWND Form1::AboutWindow() const { return about_ ? about_->Window() : nullptr; }

void Form1::Show(int how) {
    ::ShowWindow(window_, how);
    ::SetFocus(focus_);
}

void Form1::Place(unsigned dpi) {
    dpi_ = dpi;
    const HFONT old = font_;
    font_ = CreateFittingFont(window_, kForm1Controls, dpi);
    PlaceControls(window_, kForm1Controls, dpi, font_);
    if (old)
        ::DeleteObject(old);
}

FileChoice Form1::Choice() const {
    FileChoice choice;
    choice.folder = file1_.Path();
    if (file1_.ListIndex() >= 0)
        choice.fileName = file1_.FileName();
    return choice;
}

void Form1::HideClicked() {
    const bool hide = ::SendMessageW(Control(IDC_Check1), BM_GETCHECK, 0, 0) == BST_CHECKED;
    for (const int box : {IDC_Text1, IDC_Text2}) {
        ::SendMessageW(Control(box), EM_SETPASSWORDCHAR, hide ? L'*' : 0, 0);
        ::InvalidateRect(Control(box), nullptr, TRUE);
    }
}

void Form1::Md5Clicked() {
    SetSecretWindowText(Control(IDC_Text2), KeyTextFor(SecretWindowText(Control(IDC_Text1))));
}

void Form1::RunFileCommand(FileCommand command) {
    SecretText16 key = SecretWindowText(Control(IDC_Text2));
    const FileChoice choice = Choice();
    const std::wstring label = ProgressLabel(command, choice);
    CommandResult result;
    try {
        RunInBackground(window_, label, [&](const ProgressCallback& progress) {
            result = RunFile(command, std::move(key), choice, progress);
        });
    } catch (const std::exception& e) {
        result = {e.what(), true, false};
    }
    key.Wipe();
    ShowResult(result);
    if (result.rereadList)
        file1_.Refresh();
}

void Form1::ShowResult(const CommandResult& result) {
    if (result.message.empty())
        return;
    if (result.failed)
        ShowFailure(window_, result.message);
    else
        ShowMessage(window_, Widen(result.message), L"Quillmoor", MB_OK | MB_ICONINFORMATION);
}

void Form1::WipeClicked() {
    const FileChoice choice = Choice();
    if (!choice.fileName) {
        ShowResult(RunWipe(choice, {}, wipeHooks_));
        return;
    }
    if (ShowMessage(window_, WipeQuestionFor(choice), L"Tolvane",
                    MB_OKCANCEL | MB_ICONWARNING | MB_DEFBUTTON1) != IDOK)
        return;
    CommandResult result;
    try {
        RunInBackground(window_, WipeProgressLabel(choice), [&](const ProgressCallback& progress) {
            result = RunWipe(choice, progress, wipeHooks_);
        });
    } catch (const std::exception& e) {
        result = {e.what(), true, false};
    }
    ShowResult(result);
}

void Form1::AboutClicked() {
    if (AboutWindow()) {
        about_->BringToFront();
        return;
    }
    about_ = std::make_unique<Form2>(window_);
}

void Form1::DriveChanged() {
    const std::wstring drive = drive1_.Drive();
    const std::wstring folder = drive1_.CurrentFolder();
    std::wstring reason;
    // The folder last shown there may have gone; the drive's root may not.
    if (dir1_.SetPath(folder, reason) || (folder != drive && dir1_.SetPath(drive, reason))) {
        FolderChanged();
        return;
    }
    ShowFailure(window_, DriveProblem(drive, reason));
    drive1_.ShowDriveOf(dir1_.Path());
}

void Form1::OpenSelectedFolder() {
    const std::wstring folder = dir1_.SelectedFolder();
    if (folder.empty())
        return;
    std::wstring reason;
    if (dir1_.SetPath(folder, reason))
        FolderChanged();
    else
        ShowFailure(window_, FolderProblem(folder, reason));
}

void Form1::FolderChanged() {
    drive1_.ShowDriveOf(dir1_.Path());
    std::wstring reason;
    if (!file1_.SetPath(dir1_.Path(), reason))
        ShowFailure(window_, FolderProblem(dir1_.Path(), reason));
}

bool Form1::ShowFile(const std::wstring& filePath) {
    const std::wstring full = CleanFolder(filePath);
    const std::size_t cut = full.find_last_of(L'\\');
    if (cut == std::wstring::npos)
        return false;
    const std::wstring folder = full.substr(0, cut + 1);
    std::wstring reason;
    if (!dir1_.SetPath(folder, reason)) {
        ShowFailure(window_, FolderProblem(folder, reason));
        return false;
    }
    FolderChanged();
    return file1_.SelectFile(full.substr(cut + 1));
}

void Form1::FilesDropped(HDROP drop) {
    // Exactly one file is taken; anything else is ignored.
    if (::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) == 1) {
        const UINT length = ::DragQueryFileW(drop, 0, nullptr, 0);
        std::wstring path(length + 1, L'\0');
        path.resize(::DragQueryFileW(drop, 0, path.data(), length + 1));
        if (IsFile(path))
            ShowFile(path);
    }
    ::DragFinish(drop);
}

void Form1::Closing() {
    const std::wstring crosses(kCrosses, L'x');
    SetWindowTextOf(Control(IDC_Text1), crosses);
    SetWindowTextOf(Control(IDC_Text2), crosses);
    about_.reset();
    ClearKey();
    ::DestroyWindow(window_);
}

void Form1::EnterPressed() {
    // Enter opens the folder picked in Dir1, and presses a button that has
    // the focus; no button is pressed by Enter from elsewhere.
    HWND focus = ::GetFocus();
    if (focus == Control(IDC_Dir1)) {
        OpenSelectedFolder();
        return;
    }
    const int id = ::GetDlgCtrlID(focus);
    if (::GetParent(focus) == window_ &&
        (::SendMessageW(focus, WM_GETDLGCODE, 0, 0) & DLGC_UNDEFPUSHBUTTON) != 0)
        Command(id, BN_CLICKED);
}

void Form1::Command(int id, int code) {
    switch (id) {
    case IDOK: EnterPressed(); return;
    case IDC_Check1:
        if (code == BN_CLICKED)
            HideClicked();
        return;
    case IDC_Command1:
        if (code == BN_CLICKED)
            Md5Clicked();
        return;
    case IDC_Command2:
        if (code == BN_CLICKED)
            RunFileCommand(FileCommand::Encrypt);
        return;
    case IDC_Command3:
        if (code == BN_CLICKED)
            RunFileCommand(FileCommand::Decrypt);
        return;
    case IDC_Command4:
        if (code == BN_CLICKED)
            WipeClicked();
        return;
    case IDC_Command5:
        if (code == BN_CLICKED)
            AboutClicked();
        return;
    case IDC_Drive1:
        if (code == CBN_SELCHANGE)
            DriveChanged();
        return;
    case IDC_Dir1:
        if (code == LBN_DBLCLK)
            OpenSelectedFolder();
        return;
    default: return;
    }
}

LRESULT CALLBACK Form1::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = OwnerOfWindow<Form1>(window, message, lParam);
    if (!self)
        return ::DefWindowProcW(window, message, wParam, lParam);
    self->window_ = window;
    return self->Handle(message, wParam, lParam);
}

LRESULT Form1::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        if (!Busy())
            Command(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE) {
            if (HWND focus = ::GetFocus(); focus && ::IsChild(window_, focus))
                focus_ = focus;
        } else if (focus_) {
            ::SetFocus(focus_);
        }
        return 0;
    case WM_DROPFILES:
        if (Busy())
            ::DragFinish(reinterpret_cast<HDROP>(wParam));
        else
            FilesDropped(reinterpret_cast<HDROP>(wParam));
        return 0;
    case WM_DPICHANGED: {
        Place(HIWORD(wParam));
        const auto* suggested = reinterpret_cast<const RECT*>(lParam);
        const POINT at{suggested->left, suggested->top};
        SetClientSize(window_, TwipsToPixels(kForm1Width, dpi_), TwipsToPixels(kForm1Height, dpi_),
                      dpi_, &at);
        return 0;
    }
    case WM_CLOSE:
        // A file operation must finish or be cancelled first.
        if (!Busy())
            Closing();
        return 0;
    case WM_NCDESTROY: {
        RemoveDialogWindow(window_);
        const HWND gone = window_;
        window_ = nullptr;
        ::SetWindowLongPtrW(gone, GWLP_USERDATA, 0);
        const LRESULT result = ::DefWindowProcW(gone, message, wParam, lParam);
        if (closed_)
            closed_();
        return result;
    }
    default: break;
    }
    return ::DefWindowProcW(window_, message, wParam, lParam);
}

} // namespace quillmoor::win32
