#include <QApplication>

#include "app/AppIcon.h"
#include "app/Form1.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillmoor"));
    QApplication::setDesktopFileName(QStringLiteral("quillmoor"));
    QApplication::setWindowIcon(quillmoor::app::AppIcon());

    quillmoor::app::Form1 window;
    window.show();
    return app.exec();
}
