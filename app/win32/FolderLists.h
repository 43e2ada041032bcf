#pragma once

#include <string>
#include <vector>

#include "app/win32/Win32.h"

// The three lists of the file picker over plain system controls: a drop-down
// of drives, a list of folders and a list of files.
namespace quillmoor::win32 {

enum class EntryKind { Files, Folders };

// The names in `folder` of one kind, sorted without regard to case; false
// and the system's reason when the folder cannot be read.
bool ReadFolder(const std::wstring& folder, EntryKind kind, std::vector<std::wstring>& names,
                std::wstring& reason);
// A folder as a full path without a trailing separator, except a root's.
std::wstring CleanFolder(const std::wstring& folder);
// The folder and every folder above it, from the root down.
std::vector<std::wstring> Ancestry(const std::wstring& folder);

// Drive1: the machine's drives, letters with their volume labels.
class DriveList {
  public:
    void Attach(HWND combo);
    void Fill();
    // The root of the current drive, such as "C:\".
    std::wstring Drive() const;
    // The folder last shown on the current drive, else its root.
    std::wstring CurrentFolder() const;
    // Makes the drive holding `folder` current and remembers the folder.
    void ShowDriveOf(const std::wstring& folder);

  private:
    HWND combo_ = nullptr;
    std::vector<std::wstring> roots_, folders_;
};

// Dir1: the current folder with its ancestors above it and its subfolders
// below. Double click or Enter opens an entry.
class DirList {
  public:
    void Attach(HWND list) { list_ = list; }
    const std::wstring& Path() const { return path_; }
    // Moves to `folder`; when it cannot be read nothing changes, false is
    // returned and `reason` says why.
    bool SetPath(const std::wstring& folder, std::wstring& reason);
    // The folder of the selected entry, or empty.
    std::wstring SelectedFolder() const;

  private:
    HWND list_ = nullptr;
    std::wstring path_;
    std::vector<std::wstring> entries_;
};

// File1: the files of one folder.
class FileList {
  public:
    void Attach(HWND list) { list_ = list; }
    const std::wstring& Path() const { return path_; }
    bool SetPath(const std::wstring& folder, std::wstring& reason);
    // Re-reads the folder, keeping the selected name selected if it is still there.
    void Refresh();
    int ListIndex() const;
    std::wstring FileName() const;
    bool SelectFile(const std::wstring& name);

  private:
    void Fill(const std::vector<std::wstring>& names);
    HWND list_ = nullptr;
    std::wstring path_;
};

} // namespace quillmoor::win32
