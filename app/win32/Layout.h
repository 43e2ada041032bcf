#pragma once

#include "app/commands/WindowLayout.h"
#include "app/win32/Controls.h"
#include "app/win32/Handles.h"
#include "app/win32/Win32.h"

// Makes the controls of a window's layout as child windows, in tab order,
// numbered from `firstId`, and places them at a DPI.
namespace quillmoor::win32 {

void CreateControls(HWND parent, const commands::WindowLayout& layout, int firstId);
// Moves and sizes every control for `dpi` and gives it `font` (none: keep).
void PlaceControls(HWND parent, const commands::WindowLayout& layout, int firstId, unsigned dpi,
                   HFONT font);
// The system's message font at `dpi`, made smaller (to 7 points at least)
// until every caption of the layout fits its control; `ownFont` names a
// control that has a font of its own.
Font CreateFittingFont(HWND parent, const commands::WindowLayout& layout, int firstId, unsigned dpi,
                       int ownFont = 0);
// Whether the caption of `control` fits it in `font`.
bool CaptionFits(HWND control, const commands::ControlLayout& layout, HFONT font, unsigned dpi);

} // namespace quillmoor::win32
