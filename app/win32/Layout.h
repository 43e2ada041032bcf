#pragma once

#include <span>

#include "app/win32/Controls.h"
#include "app/win32/Handles.h"
#include "app/win32/Win32.h"

// Makes the controls of a layout table as child windows, in tab order, and
// places them at a DPI.
namespace quillmoor::win32 {

void CreateControls(HWND parent, std::span<const ControlLayout> controls);
// Moves and sizes every control for `dpi` and gives it `font` (none: keep).
void PlaceControls(HWND parent, std::span<const ControlLayout> controls, unsigned dpi, HFONT font);
// The system's message font at `dpi`, made smaller (to 7 points at least)
// until every caption of `controls` fits its control; `ownFont` names a
// control that has a font of its own.
Font CreateFittingFont(HWND parent, std::span<const ControlLayout> controls, unsigned dpi,
                       int ownFont = 0);
// Whether the caption of `control` fits it in `font`.
bool CaptionFits(HWND control, const ControlLayout& layout, HFONT font, unsigned dpi);

} // namespace quillmoor::win32
