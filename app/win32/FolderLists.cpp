#include "app/win32/FolderLists.h"

#include <algorithm>
#include <cwctype>
#include <filesystem>

#include "app/win32/Handles.h"
#include "app/win32/Text.h"
#include "filecrypt/basFileAPI.h"

namespace quillmoor::win32 {

namespace {

constexpr std::size_t kIndent = 2;

// Long folders need the prefix that lifts the 260-character limit.
std::wstring Pattern(const std::wstring& folder) {
    std::wstring pattern = folder;
    if (pattern.empty() || pattern.back() != L'\\')
        pattern += L'\\';
    pattern += L'*';
    if (pattern.size() >= MAX_PATH && pattern.rfind(L"\\\\", 0) != 0)
        pattern = L"\\\\?\\" + pattern;
    return pattern;
}

bool NameLess(const std::wstring& a, const std::wstring& b) {
    return ::lstrcmpiW(a.c_str(), b.c_str()) < 0;
}

void SetItems(HWND list, const std::vector<std::wstring>& items) {
    ::SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    ::SendMessageW(list, LB_RESETCONTENT, 0, 0);
    for (const std::wstring& item : items)
        ::SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
    ::SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(list, nullptr, TRUE);
}

bool Holds(const std::wstring& root, const std::wstring& folder) {
    return folder.size() >= root.size() &&
           ::CompareStringOrdinal(root.c_str(), static_cast<int>(root.size()), folder.c_str(),
                                  static_cast<int>(root.size()), TRUE) == CSTR_EQUAL;
}

} // namespace

bool ReadFolder(const std::wstring& folder, EntryKind kind, std::vector<std::wstring>& names,
                std::wstring& reason) {
    WIN32_FIND_DATAW found{};
    const FindHandle search(::FindFirstFileExW(Pattern(folder).c_str(), FindExInfoBasic, &found,
                                               FindExSearchNameMatch, nullptr, 0));
    if (!search) {
        const DWORD code = ::GetLastError();
        if (code == ERROR_FILE_NOT_FOUND) { // an empty drive root
            names.clear();
            return true;
        }
        reason = Widen(SystemMessageText(code));
        return false;
    }
    const bool folders = kind == EntryKind::Folders;
    std::vector<std::wstring> read;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..")
            continue;
        if (((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) == folders)
            read.push_back(name);
    } while (::FindNextFileW(search.get(), &found));
    std::sort(read.begin(), read.end(), NameLess);
    names = std::move(read);
    return true;
}

std::wstring CleanFolder(const std::wstring& folder) {
    const DWORD size = ::GetFullPathNameW(folder.c_str(), 0, nullptr, nullptr);
    std::wstring full(size, L'\0');
    const DWORD length = size ? ::GetFullPathNameW(folder.c_str(), size, full.data(), nullptr) : 0;
    full.resize(length > 0 && length < size ? length : 0);
    if (full.empty())
        full = folder;
    const std::size_t rootLength = std::filesystem::path(full).root_path().native().size();
    while (full.size() > rootLength && (full.back() == L'\\' || full.back() == L'/'))
        full.pop_back();
    return full;
}

std::vector<std::wstring> Ancestry(const std::wstring& folder) {
    std::vector<std::wstring> chain{folder};
    for (std::filesystem::path at(folder);;) {
        const std::filesystem::path parent = at.parent_path();
        if (parent.empty() || parent == at)
            break;
        chain.insert(chain.begin(), parent.native());
        at = parent;
    }
    return chain;
}

void DriveList::Attach(HWND combo) {
    combo_ = combo;
    Fill();
}

void DriveList::Fill() {
    const std::wstring current = Drive();
    roots_.clear();
    folders_.clear();
    ::SendMessageW(combo_, CB_RESETCONTENT, 0, 0);
    wchar_t buffer[512] = {};
    const DWORD length =
        ::GetLogicalDriveStringsW(static_cast<DWORD>(std::size(buffer)) - 1, buffer);
    for (const wchar_t* root = buffer; length > 0 && *root; root += ::lstrlenW(root) + 1) {
        std::wstring label{static_cast<wchar_t>(std::towlower(root[0])), L':'};
        // Only fixed drives are asked for a label: a removable or network
        // drive may wait for a medium or a server.
        const UINT type = ::GetDriveTypeW(root);
        wchar_t name[MAX_PATH + 1] = {};
        if ((type == DRIVE_FIXED || type == DRIVE_RAMDISK) &&
            ::GetVolumeInformationW(root, name, MAX_PATH + 1, nullptr, nullptr, nullptr, nullptr,
                                    0) &&
            name[0] != L'\0')
            label += L" [" + std::wstring(name) + L"]";
        roots_.emplace_back(root);
        folders_.emplace_back();
        ::SendMessageW(combo_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(label.c_str()));
    }
    if (!current.empty())
        ShowDriveOf(current);
}

std::wstring DriveList::Drive() const {
    const auto index = ::SendMessageW(combo_, CB_GETCURSEL, 0, 0);
    return index >= 0 && static_cast<std::size_t>(index) < roots_.size()
               ? roots_[static_cast<std::size_t>(index)]
               : std::wstring();
}

std::wstring DriveList::CurrentFolder() const {
    const auto index = ::SendMessageW(combo_, CB_GETCURSEL, 0, 0);
    if (index < 0 || static_cast<std::size_t>(index) >= roots_.size())
        return {};
    const std::wstring& folder = folders_[static_cast<std::size_t>(index)];
    return folder.empty() ? roots_[static_cast<std::size_t>(index)] : folder;
}

void DriveList::ShowDriveOf(const std::wstring& folder) {
    for (std::size_t i = 0; i < roots_.size(); ++i) {
        const std::wstring& root = roots_[i];
        if (Holds(root, folder)) {
            ::SendMessageW(combo_, CB_SETCURSEL, i, 0);
            folders_[i] = folder;
            return;
        }
    }
}

bool DirList::SetPath(const std::wstring& folder, std::wstring& reason) {
    const std::wstring clean = CleanFolder(folder);
    std::vector<std::wstring> subfolders;
    if (!ReadFolder(clean, EntryKind::Folders, subfolders, reason))
        return false;
    path_ = clean;
    entries_ = Ancestry(clean);
    std::vector<std::wstring> shown;
    for (std::size_t depth = 0; depth < entries_.size(); ++depth) {
        const std::filesystem::path at(entries_[depth]);
        const std::wstring name = at.has_filename() ? at.filename().native() : entries_[depth];
        shown.push_back(std::wstring(depth * kIndent, L' ') + name);
    }
    const std::size_t current = entries_.size() - 1;
    const std::wstring base = clean.back() == L'\\' ? clean : clean + L'\\';
    for (const std::wstring& name : subfolders) {
        entries_.push_back(base + name);
        shown.push_back(std::wstring((current + 1) * kIndent, L' ') + name);
    }
    SetItems(list_, shown);
    ::SendMessageW(list_, LB_SETCURSEL, current, 0);
    return true;
}

std::wstring DirList::SelectedFolder() const {
    const auto index = ::SendMessageW(list_, LB_GETCURSEL, 0, 0);
    return index >= 0 && static_cast<std::size_t>(index) < entries_.size()
               ? entries_[static_cast<std::size_t>(index)]
               : std::wstring();
}

bool FileList::SetPath(const std::wstring& folder, std::wstring& reason) {
    const std::wstring clean = CleanFolder(folder);
    std::vector<std::wstring> names;
    if (!ReadFolder(clean, EntryKind::Files, names, reason))
        return false;
    path_ = clean;
    Fill(names);
    return true;
}

void FileList::Refresh() {
    std::vector<std::wstring> names;
    std::wstring reason;
    if (path_.empty() || !ReadFolder(path_, EntryKind::Files, names, reason))
        return; // keep the last good listing
    const std::wstring selected = FileName();
    Fill(names);
    if (!selected.empty())
        SelectFile(selected);
}

int FileList::ListIndex() const {
    return static_cast<int>(::SendMessageW(list_, LB_GETCURSEL, 0, 0));
}

std::wstring FileList::FileName() const {
    const auto index = ::SendMessageW(list_, LB_GETCURSEL, 0, 0);
    if (index < 0)
        return {};
    const auto length = ::SendMessageW(list_, LB_GETTEXTLEN, index, 0);
    std::wstring name(static_cast<std::size_t>(length) + 1, L'\0');
    const auto copied =
        ::SendMessageW(list_, LB_GETTEXT, index, reinterpret_cast<LPARAM>(name.data()));
    name.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return name;
}

bool FileList::SelectFile(const std::wstring& name) {
    const int count = static_cast<int>(::SendMessageW(list_, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        std::wstring entry(static_cast<std::size_t>(::SendMessageW(list_, LB_GETTEXTLEN, i, 0)) + 1,
                           L'\0');
        entry.resize(static_cast<std::size_t>(
            ::SendMessageW(list_, LB_GETTEXT, i, reinterpret_cast<LPARAM>(entry.data()))));
        if (entry == name) {
            ::SendMessageW(list_, LB_SETCURSEL, i, 0);
            return true;
        }
    }
    return false;
}

void FileList::Fill(const std::vector<std::wstring>& names) { SetItems(list_, names); }

} // namespace quillmoor::win32
