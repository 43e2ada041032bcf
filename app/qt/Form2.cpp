#include "app/qt/Form2.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include "app/qt/Accessibility.h"
#include "app/qt/AppIcon.h"
#include "app/qt/Controls.h"
#include "app/qt/FitCaptions.h"
#include "app/qt/LayoutScale.h"

namespace quillmoor::app {

Form2::Form2(QWidget* parent) : QDialog(parent) {
    setWindowIcon(AppIcon());
    // A tool window stays out of the task bar; title and close box only.
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    BuildWindow(this, commands::kForm2);

    auto* ok = findChild<QPushButton*>(QStringLiteral("Command1"));
    // Enter presses it while it has the focus, as Space does; it is not a
    // default button that Enter would press from elsewhere.
    ok->setAutoDefault(true);
    connect(ok, &QPushButton::clicked, this, &Form2::close);

    auto* picture = findChild<QLabel*>(QStringLiteral("Picture1"));
    picture->setPixmap(AppLogo());
    // The texts, some of two lines, start at the top left of their boxes.
    for (QLabel* label : findChildren<QLabel*>(Qt::FindDirectChildrenOnly))
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    QFont nameFont(QLatin1String(commands::kForm2NameFont), commands::kForm2NamePoints);
    nameFont.setBold(true);
    findChild<QLabel*>(QStringLiteral("Label1"))->setFont(nameFont);

    ok->setFocus();

    const double scale = LayoutScaleFor(this);
    ScaleLayout(this, scale);
    if (scale > 1.0) // the logo grows with its box
        picture->setPixmap(AppLogo().scaled(ScaledSize(AppLogo().size(), scale),
                                            Qt::KeepAspectRatio, Qt::SmoothTransformation));
    FitCaptions(this, scale);
    DescribeControls(this);

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void Form2::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace quillmoor::app
