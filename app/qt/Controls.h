#pragma once

#include <QRect>

#include "app/commands/WindowLayout.h"

class QWidget;

namespace quillmoor::app {

// A control's place in pixels at the reference font (see LayoutScale.h).
QRect PixelRect(const commands::ControlLayout& control);

// Gives `window` the layout's name, title and fixed size, and makes its
// controls as laid out, each named like its entry, in tab order; the
// captions are translated in the window's context.
void BuildWindow(QWidget* window, const commands::WindowLayout& layout);

} // namespace quillmoor::app
