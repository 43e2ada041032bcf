#include <QApplication>

#include "app/commands/ProcessSafety.h"
#include "app/qt/AppIcon.h"
#include "app/qt/Form1.h"

int main(int argc, char* argv[]) {
    quillmoor::commands::ProtectProcessSecrets();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillmoor"));
    QApplication::setDesktopFileName(QStringLiteral("quillmoor"));
    QApplication::setWindowIcon(quillmoor::app::AppIcon());

    quillmoor::app::Form1 window;
    window.show();
    return app.exec();
}
