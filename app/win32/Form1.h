#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/win32/BackgroundTask.h"
#include "app/win32/CommandLayer.h"
#include "app/win32/FolderLists.h"
#include "app/win32/Handles.h"
#include "app/win32/Win32.h"
#include <shellapi.h>

// The main window. It keeps the drive, folder and file lists in step, reads
// its boxes and list at each click, hands them to the command layer and
// shows the outcome; it decides nothing about keys, paths or file contents.
namespace quillmoor::win32 {

class Form2;

class Form1 {
  public:
    // `closed` runs once the window has gone (the program ends there).
    explicit Form1(std::function<void()> closed = {});
    ~Form1();
    Form1(const Form1&) = delete;
    Form1& operator=(const Form1&) = delete;

    // The window while it is open, else nullptr.
    HWND Window() const { return window_; }
    HWND Control(int id) const { return ::GetDlgItem(window_, id); }
    // The About window while it is open, else nullptr.
    HWND AboutWindow() const;
    void Show(int how);
    // Moves the three lists to the folder of `filePath` and selects the file.
    bool ShowFile(const std::wstring& filePath);
    // The file given at start or dropped: as ShowFile(), and a file that
    // cannot be found or read is reported (its folder still shown when it
    // can be); a folder is shown. True when the file is selected or the
    // folder shown, without a message.
    bool OpenFile(const std::wstring& path);

    // For tests: a fixed seed and a look at the random blocks of a wipe.
    void SetWipeTestHooks(WipeTestHooks hooks) { wipeHooks_ = std::move(hooks); }

  private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void Place(unsigned dpi);
    void Command(int id, int code);
    void EnterPressed();

    void HideClicked();
    void Md5Clicked();
    void RunFileCommand(commands::Command command);
    void WipeClicked();
    void AboutClicked();
    void DriveChanged();
    void OpenSelectedFolder();
    void FolderChanged();
    void FilesDropped(HDROP drop);
    void Closing();
    // A close request while the work runs.
    void AskToCancelWork();
    // F5: the drives, folders and files read again.
    void RefreshLists();
    FileChoice Choice() const;
    // Runs `job` in the background; what it throws becomes `result`.
    void RunWork(const std::wstring& label, const Job& job, CommandResult& result);
    // Shows the result's box, re-reads the list where it asks, and closes
    // the window when a close waited for the work.
    void FinishCommand(const CommandResult& result);

    HWND window_ = nullptr;
    HWND focus_ = nullptr; // where the focus goes back to on activation
    Font font_;
    unsigned dpi_ = 96;
    DriveList drive1_;
    DirList dir1_;
    FileList file1_;
    std::unique_ptr<Form2> about_;
    std::function<void()> closed_;
    WipeTestHooks wipeHooks_;
    bool closeWhenDone_ = false;
    bool asking_ = false;
};

} // namespace quillmoor::win32
