#pragma once

#include <string>
#include <string_view>

#include "app/win32/Win32.h"
#include "common/Secret.h"

// The window speaks UTF-16 (the wide API); the command layer speaks UTF-8.
namespace quillmoor::win32 {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

// A control's whole text, and setting it.
std::wstring WindowText(HWND window);
void SetWindowTextOf(HWND window, std::wstring_view text);
// The same for a box that holds a password or a key: no copy is left behind.
SecretText16 SecretWindowText(HWND window);
void SetSecretWindowText(HWND window, std::u16string_view text);

} // namespace quillmoor::win32
