#pragma once

#include <QIcon>
#include <QPixmap>

namespace quillmoor::app {

// The window icon (32 x 32, with a larger size for desktops that want one).
QIcon AppIcon();
// The About window's 55 x 53 logo.
QPixmap AppLogo();

} // namespace quillmoor::app
