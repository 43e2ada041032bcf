#pragma once

#include "app/win32/Win32.h"

// DPI and the system's message font. The per-monitor calls exist from
// Windows 10 on; they are looked up at run time, so the program still starts
// where they are missing (the system's DPI is then used).
namespace quillmoor::win32 {

inline constexpr unsigned kBaseDpi = 96;

unsigned WindowDpi(HWND window);
// The message font of NONCLIENTMETRICS at `dpi`; the caller deletes it.
LOGFONTW MessageFont(unsigned dpi);
HFONT CreateMessageFont(unsigned dpi);
// A font of `points` size at `dpi`; the caller deletes it.
HFONT CreatePointFont(const wchar_t* face, int points, bool bold, unsigned dpi);
// Outer size of a window whose client area is `width` x `height` pixels.
SIZE WindowSizeForClient(int width, int height, DWORD style, DWORD exStyle, unsigned dpi);
// Sizes `window` so its client area is `width` x `height` (and moves its
// top left corner to `at` when given).
void SetClientSize(HWND window, int width, int height, unsigned dpi, const POINT* at = nullptr);

} // namespace quillmoor::win32
