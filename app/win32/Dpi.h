#pragma once

#include "app/win32/Handles.h"
#include "app/win32/Win32.h"

// DPI and the system's message font. The per-monitor calls exist from
// Windows 10 on; they are looked up at run time, so the program still starts
// where they are missing (the system's DPI is then used).
namespace quillmoor::win32 {

inline constexpr unsigned kBaseDpi = 96;

unsigned WindowDpi(HWND window);
// The message font of NONCLIENTMETRICS at `dpi`.
LOGFONTW MessageFont(unsigned dpi);
Font CreateMessageFont(unsigned dpi);
// A font of `points` size at `dpi`.
Font CreatePointFont(const wchar_t* face, int points, bool bold, unsigned dpi);
// Outer size of a window whose client area is `width` x `height` pixels.
SIZE WindowSizeForClient(int width, int height, DWORD style, DWORD exStyle, unsigned dpi);
// Sizes `window` so its client area is `width` x `height` (and moves its
// top left corner to `at` when given).
void SetClientSize(HWND window, int width, int height, unsigned dpi, const POINT* at = nullptr);

// The work area (the screen less the taskbar) of the monitor nearest to
// `beside` (the primary one for none).
RECT WorkAreaNear(HWND beside);
// Where a `width` x `height` window centred on `centre` opens so that it
// lies inside `area` (its top left corner kept inside when it is larger).
POINT PlaceInside(const RECT& area, POINT centre, int width, int height);
// Moves `window` inside the work area of the monitor nearest to it.
void KeepInsideWorkArea(HWND window);

} // namespace quillmoor::win32
