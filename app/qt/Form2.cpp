#include "app/qt/Form2.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include "app/qt/Accessibility.h"
#include "app/qt/AppIcon.h"
#include "app/qt/FitCaptions.h"
#include "app/qt/LayoutScale.h"

namespace quillmoor::app {

namespace {

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, QRect geometry) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(geometry);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

} // namespace

Form2::Form2(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(tr("Quillmoor - About"));
    setWindowIcon(AppIcon());
    // A tool window stays out of the task bar; title and close box only.
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(345, 209);

    auto* ok = new QPushButton(tr("OK"), this);
    ok->setObjectName(QStringLiteral("Command1"));
    ok->setGeometry(272, 176, 57, 25);
    // Enter presses it while it has the focus, as Space does; it is not a
    // default button that Enter would press from elsewhere.
    ok->setAutoDefault(true);
    connect(ok, &QPushButton::clicked, this, &Form2::close);

    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("Picture1"));
    picture->setGeometry(8, 8, 57, 57);
    picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    picture->setPixmap(AppLogo());

    QLabel* name = MakeLabel(this, "Label1", tr("Quillmoor"), {72, 8, 89, 25});
    QFont nameFont(QStringLiteral("Arial"), 12);
    nameFont.setBold(true);
    name->setFont(nameFont);

    MakeLabel(this, "Label2", tr("by the Quillmoor developers"), {72, 32, 209, 17});
    MakeLabel(this, "Label3",
              tr("Cipher code: Quillmoor's own,\nimplementing the Blowfish cipher."),
              {72, 56, 257, 33});
    MakeLabel(this, "Label4", tr("MD5 code: Quillmoor's own, implementing RFC 1321."),
              {72, 120, 265, 17});
    MakeLabel(this, "Label5", tr("Use at your own risk; no warranty."), {72, 144, 233, 17});
    MakeLabel(this, "Label6",
              tr("Cryptography: the Blowfish algorithm,\ndesigned by Bruce Schneier."),
              {72, 88, 257, 33});

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
