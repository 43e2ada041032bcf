#pragma once

#include <QRect>
#include <QSize>

class QFont;
class QWidget;

namespace quillmoor::app {

// The windows are laid out in pixels for the toolkit's default font on a
// stock desktop: 9 points at 96 dots per inch, 12 pixels high. A larger font
// (large-text settings, a higher font DPI) grows the whole layout by the
// same ratio, so the text keeps the size the user chose; a smaller one
// leaves the layout as drawn.
inline constexpr double kReferenceFontPixels = 12.0;

// How much larger than the reference `font` is at `logicalDpi`; never
// below 1.
[[nodiscard]] double LayoutScale(const QFont& font, double logicalDpi);

// A rectangle of the drawn layout at `scale`. Edges are scaled, not sizes,
// so controls that touch or line up still do.
[[nodiscard]] QRect ScaledRect(const QRect& drawn, double scale);
[[nodiscard]] QSize ScaledSize(const QSize& drawn, double scale);

// Scales the fixed size of `window` and the place of each control on it.
void ScaleLayout(QWidget* window, double scale);

// The scale for the application's font on the screen of `widget`.
[[nodiscard]] double LayoutScaleFor(const QWidget* widget);

} // namespace quillmoor::app
