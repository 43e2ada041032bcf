#pragma once

#include <span>

#include "app/win32/Controls.h"
#include "app/win32/Win32.h"

// Makes the controls of a layout table as child windows, in tab order, and
// places them at a DPI.
namespace quillmoor::win32 {

void CreateControls(HWND parent, std::span<const ControlLayout> controls);
// Moves and sizes every control for `dpi` and gives it `font` (none: keep).
void PlaceControls(HWND parent, std::span<const ControlLayout> controls, unsigned dpi, HFONT font);

} // namespace quillmoor::win32
