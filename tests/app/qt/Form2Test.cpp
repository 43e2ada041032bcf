// The About window: layout, fonts, texts, logo, window kind and keys.
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <memory>

#include "WindowTestUtil.h"
#include "app/commands/WindowLayout.h"
#include "app/qt/FitCaptions.h"
#include "app/qt/Form2.h"

using namespace quillmoor;
using namespace quillmoor::app;
using namespace quillmoor::test;

class Form2Test : public QObject {
    Q_OBJECT

  private slots:
    void init();
    void cleanup();

    void windowIsAFixedToolWindowWithCloseOnly();
    void controlsHaveTheirNamesAndPlaces_data();
    void controlsHaveTheirNamesAndPlaces();
    void nameLabelIsArialTwelveBold();
    void textsNameOurOwnWorkAndTheCipherDesigner();
    void captionsFitTheirLabels();
    void logoIsFiftyFiveByFiftyThreeWithAlpha();
    void okHasTheFocusAndIsNotADefaultButton();
    void opensCentredOnTheScreen();
    void okClosesTheWindow();
    void enterAndSpacePressOk_data();
    void enterAndSpacePressOk();
    void escapeDoesNothing();

  private:
    template <typename T> T* child(const char* name) { return Child<T>(about_.get(), name); }
    QString labelText(const char* name) { return child<QLabel>(name)->text(); }

    std::unique_ptr<Form2> about_;
};

void Form2Test::init() { about_ = std::make_unique<Form2>(); }

void Form2Test::cleanup() { about_.reset(); }

void Form2Test::windowIsAFixedToolWindowWithCloseOnly() {
    QCOMPARE(about_->objectName(), QStringLiteral("Form2"));
    QCOMPARE(about_->windowTitle(), QStringLiteral("Quillmoor - About"));
    QCOMPARE(about_->size(), QSize(345, 209));
    QCOMPARE(about_->minimumSize(), QSize(345, 209));
    QCOMPARE(about_->maximumSize(), QSize(345, 209));
    const Qt::WindowFlags flags = about_->windowFlags();
    QCOMPARE(flags & Qt::WindowType_Mask, Qt::Tool); // kept out of the task bar
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    QVERIFY(about_->parentWidget() == nullptr);
    QVERIFY(about_->windowIcon().availableSizes().contains(QSize(32, 32)));
    QVERIFY(!about_->isModal());
}

void Form2Test::controlsHaveTheirNamesAndPlaces_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("geometry");
    // One row per control of the windows' one layout, its twips at 15 a pixel.
    for (const commands::ControlLayout& control : commands::kForm2.controls)
        QTest::newRow(control.name)
            << QString::fromLatin1(control.name)
            << QString::fromLatin1(control.kind == commands::ControlKind::Button ? "QPushButton"
                                                                                 : "QLabel")
            << QString::fromUtf8(control.caption)
            << QRect(control.left / 15, control.top / 15, control.width / 15, control.height / 15);
}

void Form2Test::controlsHaveTheirNamesAndPlaces() {
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QString, caption);
    QFETCH(QRect, geometry);
    const auto matches = about_->findChildren<QWidget*>(name);
    QCOMPARE(matches.size(), 1);
    QCOMPARE(matches.first()->parentWidget(), about_.get());
    QCOMPARE(QString::fromLatin1(matches.first()->metaObject()->className()), className);
    QCOMPARE(matches.first()->geometry(), geometry);
    if (auto* label = qobject_cast<QLabel*>(matches.first()); label && label->pixmap().isNull())
        QCOMPARE(label->text(), caption);
    else if (auto* button = qobject_cast<QPushButton*>(matches.first()))
        QCOMPARE(button->text(), caption);
}

void Form2Test::nameLabelIsArialTwelveBold() {
    auto* label1 = child<QLabel>("Label1");
    QCOMPARE(label1->text(), QStringLiteral("Quillmoor"));
    QCOMPARE(label1->font().family(), QStringLiteral("Arial"));
    QCOMPARE(label1->font().pointSize(), 12);
    QVERIFY(label1->font().bold());
    // The other labels keep the window's font.
    for (const char* name : {"Label2", "Label3", "Label4", "Label5", "Label6"}) {
        QVERIFY2(!child<QLabel>(name)->font().bold(), name);
        QCOMPARE(child<QLabel>(name)->font(), about_->font());
    }
}

void Form2Test::textsNameOurOwnWorkAndTheCipherDesigner() {
    QVERIFY(labelText("Label2").startsWith(QStringLiteral("by ")));
    QVERIFY(labelText("Label2").contains(QStringLiteral("Quillmoor")));
    QVERIFY(!labelText("Label2").contains(QLatin1Char('\n')));

    const QString cipher = labelText("Label3");
    QCOMPARE(cipher.count(QLatin1Char('\n')), 1);
    QVERIFY(cipher.contains(QStringLiteral("Quillmoor's own")));
    QVERIFY(cipher.contains(QStringLiteral("Blowfish")));

    const QString algorithm = labelText("Label6");
    QCOMPARE(algorithm.count(QLatin1Char('\n')), 1);
    QVERIFY(algorithm.contains(QStringLiteral("Blowfish")));
    QVERIFY(algorithm.contains(QStringLiteral("Bruce Schneier")));

    const QString md5 = labelText("Label4");
    QVERIFY(md5.contains(QStringLiteral("MD5")));
    QVERIFY(md5.contains(QStringLiteral("Quillmoor's own")));
    QVERIFY(md5.contains(QStringLiteral("RFC 1321")));
    QVERIFY(!md5.contains(QLatin1Char('\n')));

    QVERIFY(labelText("Label5").contains(QStringLiteral("at your own risk")));
    QVERIFY(!labelText("Label5").contains(QLatin1Char('\n')));
}

void Form2Test::captionsFitTheirLabels() {
    for (const char* name : {"Label1", "Label2", "Label3", "Label4", "Label5", "Label6"}) {
        auto* label = child<QLabel>(name);
        const QFontMetrics metrics = label->fontMetrics();
        const QStringList lines = label->text().split(QLatin1Char('\n'));
        for (const QString& line : lines)
            QVERIFY2(metrics.horizontalAdvance(line) <= label->width(), qPrintable(line));
        QVERIFY2(metrics.height() * lines.size() <= label->height(), name);
        QVERIFY(CaptionFits(label));
    }
    QVERIFY(CaptionFits(child<QPushButton>("Command1")));
}

void Form2Test::logoIsFiftyFiveByFiftyThreeWithAlpha() {
    const QPixmap logo = child<QLabel>("Picture1")->pixmap();
    QCOMPARE(logo.size(), QSize(55, 53));
    const QImage image = logo.toImage();
    QCOMPARE(image.depth(), 32);
    QVERIFY(image.hasAlphaChannel());
    // Drawn, not blank: the corners are clear and the middle is not.
    QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(image.pixel(27, 26)), 255);
    QVERIFY(image.pixel(27, 26) != image.pixel(10, 40));
}

void Form2Test::okHasTheFocusAndIsNotADefaultButton() {
    auto* ok = child<QPushButton>("Command1");
    QCOMPARE(ok->text(), QStringLiteral("OK"));
    QVERIFY(!ok->isDefault());
    QCOMPARE(about_->focusWidget(), ok);
    about_->show();
    QVERIFY(QTest::qWaitForWindowActive(about_.get()));
    QCOMPARE(QApplication::focusWidget(), ok);
    for (const char* name :
         {"Picture1", "Label1", "Label2", "Label3", "Label4", "Label5", "Label6"})
        QCOMPARE(child<QWidget>(name)->focusPolicy(), Qt::NoFocus);
}

void Form2Test::opensCentredOnTheScreen() {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const QPoint offset = about_->geometry().center() - screen.center();
    QVERIFY2(offset.manhattanLength() <= 2,
             qPrintable(QStringLiteral("%1,%2").arg(offset.x()).arg(offset.y())));
}

void Form2Test::okClosesTheWindow() {
    about_->show();
    QVERIFY(about_->isVisible());
    QTest::mouseClick(child<QPushButton>("Command1"), Qt::LeftButton);
    QVERIFY(!about_->isVisible());
}

void Form2Test::enterAndSpacePressOk_data() {
    QTest::addColumn<int>("key");
    QTest::newRow("Enter") << int(Qt::Key_Return);
    QTest::newRow("Space") << int(Qt::Key_Space);
}

void Form2Test::enterAndSpacePressOk() {
    QFETCH(int, key);
    about_->show();
    QVERIFY(QTest::qWaitForWindowActive(about_.get()));
    QTest::keyClick(QApplication::focusWidget(), static_cast<Qt::Key>(key));
    QVERIFY(!about_->isVisible());
}

void Form2Test::escapeDoesNothing() {
    about_->show();
    QVERIFY(QTest::qWaitForWindowActive(about_.get()));
    QSignalSpy rejected(about_.get(), &QDialog::rejected);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QTest::keyClick(about_.get(), Qt::Key_Escape);
    QVERIFY(about_->isVisible());
    QCOMPARE(rejected.count(), 0);
}

QTEST_MAIN(Form2Test)
#include "Form2Test.moc"
