#include <QApplication>
#include <QLocale>
#include <QStringList>

#include "app/commands/ProcessSafety.h"
#include "app/qt/AppIcon.h"
#include "app/qt/Form1.h"
#include "app/qt/Translations.h"

// quillmoor [FILE]: FILE, as a file manager's Open With passes it, starts
// the window on its folder with it selected.
int main(int argc, char* argv[]) {
    quillmoor::commands::ProtectProcessSecrets();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillmoor"));
    QApplication::setDesktopFileName(QStringLiteral("quillmoor"));
    QApplication::setWindowIcon(quillmoor::app::AppIcon());
    quillmoor::app::LoadToolkitTranslations(app, QLocale());

    quillmoor::app::Form1 window;
    window.show();
    // The toolkit has taken its own options out of the list by now.
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() > 1)
        window.openFile(arguments.at(1));
    return app.exec();
}
