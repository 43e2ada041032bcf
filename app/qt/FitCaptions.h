#pragma once

class QWidget;

namespace quillmoor::app {

// The windows keep their original pixel layout, which was drawn for a small
// system font. Where the toolkit's default font is larger, this lowers the
// window's font in half-point steps until every label, check box and button
// caption fits its control (controls with a font of their own are left as
// they are). At a `layoutScale` above 1 (see LayoutScale.h) the controls
// have grown with the font, and so has the smallest size allowed.
void FitCaptions(QWidget* window, double layoutScale = 1.0);

// Whether the caption of `control` fits inside it with its current font.
bool CaptionFits(const QWidget* control);

} // namespace quillmoor::app
