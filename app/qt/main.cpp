#include <QApplication>
#include <QLocale>

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
    // The toolkit has taken its own options out of argv by now; the name is
    // taken by its bytes, which need not be valid UTF-8.
    if (argc > 1)
        window.openNativeFile(argv[1]);
    return app.exec();
}
