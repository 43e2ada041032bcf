#include "app/qt/AppIcon.h"

namespace quillmoor::app {

QIcon AppIcon() {
    QIcon icon;
    icon.addFile(QStringLiteral(":/quillmoor/icon32.png"), QSize(32, 32));
    icon.addFile(QStringLiteral(":/quillmoor/icon128.png"), QSize(128, 128));
    return icon;
}

QPixmap AppLogo() { return QPixmap(QStringLiteral(":/quillmoor/logo.png")); }

} // namespace quillmoor::app
