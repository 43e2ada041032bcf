#include "app/win32/Form1.h"

#include <exception>
#include <shellapi.h>
#include <stdexcept>
#include <utility>
#include <vector>

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

commands::HandedKind KindOf(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return commands::HandedKind::Missing;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? commands::HandedKind::Folder
                                                        : commands::HandedKind::File;
}

} // namespace

Form1::Form1(std::function<void()> closed) : closed_(std::move(closed)) {
    RegisterClassOnce(&Form1::Proc);
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    ::CreateWindowExW(kExStyle, kClassName, Widen(commands::kForm1.caption).c_str(), kStyle,
                      CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                      instance, this);
    if (!window_)
        throw std::runtime_error("cannot create the main window");
    CreateControls(window_, commands::kForm1, kForm1FirstId);
    Place(WindowDpi(window_));
    SetClientSize(window_, TwipsToPixels(commands::kForm1.width, dpi_),
                  TwipsToPixels(commands::kForm1.height, dpi_), dpi_);

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
}

HWND Form1::AboutWindow() const { return about_ ? about_->Window() : nullptr; }

void Form1::Show(int how) {
    ::ShowWindow(window_, how);
    ::SetFocus(focus_);
}

void Form1::Place(unsigned dpi) {
    dpi_ = dpi;
    // The old font goes once the controls hold the new one.
    Font font = CreateFittingFont(window_, commands::kForm1, kForm1FirstId, dpi);
    PlaceControls(window_, commands::kForm1, kForm1FirstId, dpi, font.get());
    font_ = std::move(font);
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

void Form1::RunFileCommand(commands::Command command) {
    const FileChoice choice = Choice();
    if (const std::optional<commands::Box> refused = UnnamableChoice(choice)) {
        ShowMessage(window_, *refused);
        return;
    }
    SecretText16 key = SecretWindowText(Control(IDC_Text2));
    const std::optional<commands::Box> stale =
        StaleKeyQuestionFor(command, choice, SecretWindowText(Control(IDC_Text1)), key);
    if (stale && ShowMessage(window_, *stale) != commands::BoxAnswer::Yes)
        return;
    CommandResult result;
    RunWork(
        ProgressLabel(command, choice),
        [&](const ProgressCallback& progress) {
            result = RunFile(command, std::move(key), choice, progress);
        },
        result);
    key.Wipe();
    FinishCommand(result);
}

void Form1::RunWork(const std::wstring& label, const Job& job, CommandResult& result) {
    try {
        RunInBackground(window_, label, job);
    } catch (const std::exception& e) {
        result = {commands::ErrorBox(e.what()), false};
    }
}

void Form1::FinishCommand(const CommandResult& result) {
    if (result.box)
        ShowMessage(window_, *result.box);
    if (result.rereadList)
        file1_.Refresh();
    // A close asked for during the work, and answered with its cancel.
    if (std::exchange(closeWhenDone_, false))
        Closing();
}

void Form1::WipeClicked() {
    const FileChoice choice = Choice();
    if (!choice.fileName) {
        FinishCommand(RunWipe(choice, {}, wipeHooks_));
        return;
    }
    if (const std::optional<commands::Box> refused = UnnamableChoice(choice)) {
        ShowMessage(window_, *refused);
        return;
    }
    if (ShowMessage(window_, WipeQuestionFor(choice)) != commands::BoxAnswer::Ok)
        return;
    CommandResult result;
    RunWork(
        WipeProgressLabel(choice),
        [&](const ProgressCallback& progress) { result = RunWipe(choice, progress, wipeHooks_); },
        result);
    FinishCommand(result);
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

bool Form1::OpenFile(const std::wstring& given) {
    const std::wstring path = CleanFolder(given);
    const commands::HandedKind kind = KindOf(path);
    const std::wstring folder = path.substr(0, path.find_last_of(L'\\') + 1);
    const commands::HandedPlan plan = commands::PlanForHandedPath(
        Narrow(path), kind, kind == commands::HandedKind::Folder ? 0 : OpenForReading(path),
        KindOf(folder) == commands::HandedKind::Folder);
    bool shown = false;
    std::wstring reason;
    if (plan.showFolder && kind == commands::HandedKind::Folder) {
        shown = dir1_.SetPath(path, reason);
        if (shown)
            FolderChanged();
    } else if (plan.showFolder) {
        shown = ShowFile(path);
    }
    if (plan.box)
        ShowMessage(window_, *plan.box);
    return shown && !plan.box;
}

void Form1::FilesDropped(HDROP drop) {
    const UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    std::vector<std::wstring> paths;
    std::vector<commands::HandedKind> kinds;
    for (UINT i = 0; i < count; ++i) {
        const UINT length = ::DragQueryFileW(drop, i, nullptr, 0);
        std::wstring path(length + 1, L'\0');
        path.resize(::DragQueryFileW(drop, i, path.data(), length + 1));
        kinds.push_back(KindOf(path));
        paths.push_back(std::move(path));
    }
    ::DragFinish(drop);
    const commands::DropChoice choice = commands::ChooseDropped(kinds);
    if (!choice.take)
        return;
    const std::wstring& file = paths[*choice.take];
    if (OpenFile(file) && choice.tellOneAtATime)
        ShowMessage(window_, commands::OneFileAtATimeBox(Narrow(CleanFolder(file))));
}

void Form1::AskToCancelWork() {
    // One question at a time, however often the close is asked for.
    if (asking_)
        return;
    asking_ = true;
    const commands::CloseDecision decision =
        commands::DecideCloseDuringWork(ShowMessage(window_, commands::CloseDuringWorkBox()));
    asking_ = false;
    if (decision.cancelWork)
        CancelWork();
    closeWhenDone_ = closeWhenDone_ || decision.closeWhenDone;
}

void Form1::RefreshLists() {
    drive1_.Fill();
    std::wstring reason;
    if (dir1_.SetPath(dir1_.Path(), reason))
        FolderChanged();
    else
        ShowFailure(window_, FolderProblem(dir1_.Path(), reason));
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
    case kRefreshCommand: RefreshLists(); return;
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
            RunFileCommand(commands::Command::Encrypt);
        return;
    case IDC_Command3:
        if (code == BN_CLICKED)
            RunFileCommand(commands::Command::Decrypt);
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
        SetClientSize(window_, TwipsToPixels(commands::kForm1.width, dpi_),
                      TwipsToPixels(commands::kForm1.height, dpi_), dpi_, &at);
        return 0;
    }
    case WM_CLOSE:
        // A file operation must finish or be cancelled first: asked, and a
        // Yes closes the window once the work has stopped.
        if (!Busy())
            Closing();
        else
            AskToCancelWork();
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
