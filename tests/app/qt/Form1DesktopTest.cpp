// The main window on a desktop: opening a file given at start or dropped,
// names and descriptions for screen readers, a layout that grows with the
// font, Enter on the focused button, and the progress dialog with long
// paths and a close during the work.
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTranslator>
#include <QUrl>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <future>
#include <memory>

#include "WindowTestUtil.h"
#include "app/qt/BackgroundTask.h"
#include "app/qt/DirList.h"
#include "app/qt/FileList.h"
#include "app/qt/FitCaptions.h"
#include "app/qt/Form1.h"
#include "app/qt/Form2.h"
#include "app/qt/LayoutScale.h"
#include "app/qt/MessageBox.h"
#include "app/qt/Translations.h"

using namespace quillmoor;
using namespace quillmoor::app;
using namespace quillmoor::test;

namespace {

const QString kKey = QStringLiteral("5f4dcc3b5aa765d61d8327deb882cf99");

QString AccessibleText(QWidget* control, QAccessible::Text which) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(control);
    return iface ? iface->text(which) : QStringLiteral("<no interface>");
}

// The caption of a control measured here, not by the window's own rule.
bool CaptionUnclipped(QWidget* control) {
    const QFontMetrics metrics = control->fontMetrics();
    if (auto* label = qobject_cast<QLabel*>(control))
        return metrics.horizontalAdvance(label->text()) <= label->contentsRect().width() &&
               metrics.height() <= label->contentsRect().height();
    if (auto* check = qobject_cast<QCheckBox*>(control))
        return check->sizeHint().width() <= check->width();
    if (auto* button = qobject_cast<QPushButton*>(control))
        return metrics.horizontalAdvance(button->text()) < button->width();
    return true;
}

// Runs `inspect` on the main thread once the progress dialog of the next
// command is up; the command's work waits at its first report until then.
class WhileWorking : public QObject {
  public:
    explicit WhileWorking(std::function<void(QProgressDialog*)> inspect)
        : inspect_(std::move(inspect)), done_(released_.get_future().share()) {
        BackgroundTask::setDialogDelay(0);
        BackgroundTask::setProgressObserver([done = done_, reports = &reports_](auto, auto) {
            if ((*reports)++ == 0)
                done.wait_for(std::chrono::seconds(60));
        });
        poll_.setInterval(10);
        connect(&poll_, &QTimer::timeout, this, [this] {
            QProgressDialog* dialog = nullptr;
            for (QWidget* widget : QApplication::topLevelWidgets())
                if (auto* found = qobject_cast<QProgressDialog*>(widget);
                    found && found->isVisible())
                    dialog = found;
            if (!dialog || seen_)
                return;
            seen_ = true;
            inspect_(dialog);
            released_.set_value();
        });
        poll_.start();
    }
    ~WhileWorking() override {
        if (!seen_)
            released_.set_value();
        BackgroundTask::setProgressObserver(nullptr);
    }
    bool seen() const { return seen_; }

  private:
    std::function<void(QProgressDialog*)> inspect_;
    std::promise<void> released_;
    std::shared_future<void> done_;
    std::atomic<int> reports_{0};
    QTimer poll_;
    bool seen_ = false;
};

} // namespace

class Form1DesktopTest : public Form1TestBase {
    Q_OBJECT

  private slots:
    void init();
    void cleanup();

    void openingAFileShowsItsFolderAndSelectsIt_data();
    void openingAFileShowsItsFolderAndSelectsIt();
    void droppingFilesSelectsTheFirst_data();
    void droppingFilesSelectsTheFirst();
    void controlsHaveAccessibleNamesAndDescriptions_data();
    void controlsHaveAccessibleNamesAndDescriptions();
    void labelsAreTheBuddiesOfTheirBoxes();
    void layoutGrowsWithTheFont_data();
    void layoutGrowsWithTheFont();
    void enterPressesTheFocusedButton_data();
    void enterPressesTheFocusedButton();
    void fileListEntriesShowTheFullNameAsATooltip();
    void aLongPathIsElidedInAFixedWidthDialog();
    void closingDuringWorkAsksToCancel_data();
    void closingDuringWorkAsksToCancel();
    void toolkitTranslationsLoadForTheLocale();
    void aNameThatIsNotUtf8IsListedShownAndWipedByItsOwnBytes_data();
    void aNameThatIsNotUtf8IsListedShownAndWipedByItsOwnBytes();
};

void Form1DesktopTest::init() {
    QVERIFY(folder_.Enter());
    QVERIFY(QDir(folder_.path()).mkpath(QStringLiteral("sub/deeper")));
    QVERIFY(WriteBytes(at(QStringLiteral("top.txt")), "top"));
    QVERIFY(WriteBytes(at(QStringLiteral("sub/a.BF")), Pattern(16)));
    QVERIFY(WriteBytes(at(QStringLiteral("sub/b.txt")), "bee"));
    QCOMPARE(::mkfifo(QFile::encodeName(at(QStringLiteral("sub/pipe"))).constData(), 0600), 0);
    form_ = std::make_unique<Form1>();
}

void Form1DesktopTest::cleanup() {
    form_.reset();
    RunDeferredDeletes();
    folder_.Leave();
}

void Form1DesktopTest::openingAFileShowsItsFolderAndSelectsIt_data() {
    QTest::addColumn<QString>("given");    // relative to the test folder
    QTest::addColumn<QString>("folder");   // shown afterwards
    QTest::addColumn<QString>("selected"); // empty: nothing
    QTest::addColumn<QString>("message");  // a part of the one box shown; empty: none
    const auto row = [](const char* name, const char* given, const char* folder,
                        const char* selected, const char* message) {
        QTest::newRow(name) << QString::fromUtf8(given) << QString::fromUtf8(folder)
                            << QString::fromUtf8(selected) << QString::fromUtf8(message);
    };
    const char* missing = "No such file or directory";
    row("file", "sub/a.BF", "sub", "a.BF", "");
    row("relative path", "sub/deeper/../b.txt", "sub", "b.txt", "");
    row("missing file", "sub/gone.BF", "sub", "", missing);
    row("missing folder", "nowhere/x.BF", "", "", missing);
    row("a folder", "sub/deeper", "sub/deeper", "", "");
    row("a pipe, not waited on", "sub/pipe", "sub", "", "named pipe");
}

void Form1DesktopTest::openingAFileShowsItsFolderAndSelectsIt() {
    QFETCH(QString, given);
    QFETCH(QString, folder);
    QFETCH(QString, selected);
    QFETCH(QString, message);
    const QString start = child<DirList>("Dir1")->path();

    form_->openFile(given.startsWith(QLatin1String("sub/deeper/..")) ? given : at(given));

    const QString shown = folder.isEmpty() ? start : at(folder);
    QCOMPARE(child<DirList>("Dir1")->path(), shown);
    QCOMPARE(child<FileList>("File1")->path(), shown);
    QCOMPARE(child<FileList>("File1")->fileName(), selected);
    const auto& boxes = MessageBox::answered();
    if (message.isEmpty()) {
        QVERIFY(boxes.empty());
        return;
    }
    QCOMPARE(boxes.size(), std::size_t(1));
    QVERIFY2(boxes.front().text.contains(message), qPrintable(boxes.front().text));
    QVERIFY2(boxes.front().text.contains(QFileInfo(given).fileName()),
             qPrintable(boxes.front().text));
}

void Form1DesktopTest::droppingFilesSelectsTheFirst_data() {
    QTest::addColumn<QStringList>("dropped");
    QTest::addColumn<QString>("selected");
    QTest::addColumn<bool>("toldOneAtATime");
    QTest::newRow("one") << QStringList{"sub/b.txt"} << "b.txt" << false;
    QTest::newRow("two") << QStringList{"sub/a.BF", "top.txt"} << "a.BF" << true;
    QTest::newRow("a folder first") << QStringList{"sub/deeper", "top.txt"} << "top.txt" << true;
}

void Form1DesktopTest::droppingFilesSelectsTheFirst() {
    QFETCH(QStringList, dropped);
    QFETCH(QString, selected);
    QFETCH(bool, toldOneAtATime);
    QList<QUrl> urls;
    for (const QString& name : dropped)
        urls.append(QUrl::fromLocalFile(at(name)));
    QMimeData mime;
    mime.setUrls(urls);
    QDragEnterEvent enter(QPoint(9, 9), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    enter.setAccepted(false);
    QApplication::sendEvent(form_.get(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(9, 9), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form_.get(), &drop);

    QCOMPARE(child<FileList>("File1")->fileName(), selected);
    const auto& boxes = MessageBox::answered();
    QCOMPARE(boxes.size(), std::size_t(toldOneAtATime ? 1 : 0));
    if (toldOneAtATime) {
        QVERIFY2(boxes.front().text.contains(QStringLiteral("one file is taken at a time"),
                                             Qt::CaseInsensitive),
                 qPrintable(boxes.front().text));
        QVERIFY2(boxes.front().text.contains(selected), qPrintable(boxes.front().text));
    }
}

void Form1DesktopTest::controlsHaveAccessibleNamesAndDescriptions_data() {
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("name");
    const auto row = [](const char* window, const char* control, const char* name) {
        QTest::newRow(qPrintable(QStringLiteral("%1.%2").arg(window, control)))
            << QString::fromLatin1(window) << QString::fromLatin1(control)
            << QString::fromLatin1(name);
    };
    row("Form1", "Label1", "Password");
    row("Form1", "Text1", "Password"); // named by its label
    row("Form1", "Label2", "Key");
    row("Form1", "Text2", "Key");
    row("Form1", "Command1", "MD5");
    row("Form1", "Check1", "Hide");
    row("Form1", "Drive1", "Drives");
    row("Form1", "Dir1", "Folders");
    row("Form1", "File1", "Files");
    row("Form1", "Command2", "Encrypt");
    row("Form1", "Command3", "Decrypt");
    row("Form1", "Command4", "Wipe");
    row("Form1", "Command5", "About");
    row("Form2", "Command1", "OK");
    row("Form2", "Picture1", "Quillmoor logo");
    row("Form2", "Label1", "Quillmoor");
    row("Form2", "Label3", "Cipher code: Quillmoor's own, implementing the Blowfish cipher.");
}

void Form1DesktopTest::controlsHaveAccessibleNamesAndDescriptions() {
    QFETCH(QString, window);
    QFETCH(QString, control);
    QFETCH(QString, name);
    Form2 about;
    QWidget* owner = window == QLatin1String("Form1") ? static_cast<QWidget*>(form_.get()) : &about;
    auto* widget = Child<QWidget>(owner, qPrintable(control));
    QCOMPARE(widget->accessibleName(), name);
    // On Linux the toolkit reports a drop-down list's current value as its
    // name (the widget keeps ours); its description says what it lists.
    if (!qobject_cast<QComboBox*>(widget))
        QCOMPARE(AccessibleText(widget, QAccessible::Name), name);
    const QString description = AccessibleText(widget, QAccessible::Description);
    QVERIFY2(!description.isEmpty() && description != name, qPrintable(description));
}

void Form1DesktopTest::labelsAreTheBuddiesOfTheirBoxes() {
    for (const auto& [label, box] : {std::pair{"Label1", "Text1"}, std::pair{"Label2", "Text2"}}) {
        QCOMPARE(child<QLabel>(label)->buddy(), child<QWidget>(box));
        // A screen reader learns the relation from the box too.
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(child<QWidget>(box));
        QVERIFY(iface);
        const auto related = iface->relations(QAccessible::Label);
        QVERIFY2(!related.isEmpty(), box);
        QCOMPARE(related.first().first->object(), child<QLabel>(label));
    }
}

void Form1DesktopTest::layoutGrowsWithTheFont_data() {
    QTest::addColumn<QFont>("font");
    QTest::addColumn<double>("scale");
    const QFont base = QApplication::font();
    const auto sized = [&](double points) {
        QFont font = base;
        font.setPointSizeF(points);
        return font;
    };
    QFont pixels = base;
    pixels.setPixelSize(24);
    QTest::newRow("the reference") << sized(9) << 1.0;
    QTest::newRow("smaller") << sized(7) << 1.0;
    QTest::newRow("half as large again") << sized(13.5) << 1.5;
    QTest::newRow("twice") << sized(18) << 2.0;
    QTest::newRow("in pixels") << pixels << 2.0;
}

void Form1DesktopTest::layoutGrowsWithTheFont() {
    QFETCH(QFont, font);
    QFETCH(double, scale);
    const QFont before = QApplication::font();
    QApplication::setFont(font);
    auto grown = std::make_unique<Form1>();
    Form2 about;
    QApplication::setFont(before);
    QCOMPARE(grown->logicalDpiY(), 96); // what the expectations assume

    const QSize size(qRound(328 * scale), qRound(256 * scale));
    QCOMPARE(grown->size(), size);
    QCOMPARE(grown->minimumSize(), size);
    QCOMPARE(grown->maximumSize(), size);
    // form_ has the reference font, so the drawn layout (Form1Test checks it).
    const auto controls = form_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    QCOMPARE(controls.size(), 13);
    for (QWidget* drawn : controls) {
        const QByteArray name = drawn->objectName().toLatin1();
        auto* control = Child<QWidget>(grown.get(), name.constData());
        const QRect rect = control->geometry(), was = drawn->geometry();
        QVERIFY2(grown->rect().contains(rect), name);
        // Same proportions: each edge where the drawn one lands, within a pixel.
        QVERIFY2(std::abs(rect.left() - was.left() * scale) <= 0.5, name);
        QVERIFY2(std::abs(rect.top() - was.top() * scale) <= 0.5, name);
        QVERIFY2(std::abs(rect.width() - was.width() * scale) <= 1.0, name);
        QVERIFY2(std::abs(rect.height() - was.height() * scale) <= 1.0, name);
        QVERIFY2(CaptionUnclipped(control), name);
    }
    // The About window grows alike, its logo with it.
    QCOMPARE(about.size(), QSize(qRound(345 * scale), qRound(209 * scale)));
    QCOMPARE(Child<QLabel>(&about, "Picture1")->pixmap().width(), qRound(55 * scale));
    // The text grows with the layout instead of staying small.
    const QFontInfo shown(grown->font());
    QVERIFY2(shown.pixelSize() >= 9 * scale, qPrintable(QString::number(shown.pixelSize())));
}

void Form1DesktopTest::enterPressesTheFocusedButton_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("key");
    QTest::newRow("MD5, Return") << "Command1" << int(Qt::Key_Return);
    QTest::newRow("MD5, keypad Enter") << "Command1" << int(Qt::Key_Enter);
    QTest::newRow("About") << "Command5" << int(Qt::Key_Return);
}

void Form1DesktopTest::enterPressesTheFocusedButton() {
    QFETCH(QString, button);
    QFETCH(int, key);
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    child<QLineEdit>("Text1")->setText(QStringLiteral("password"));
    auto* pressed = child<QPushButton>(qPrintable(button));
    pressed->setFocus();
    QTest::keyClick(pressed, Qt::Key(key));
    const bool md5 = button == QLatin1String("Command1");
    QCOMPARE(child<QLineEdit>("Text2")->text(), md5 ? kKey : QString());
    QCOMPARE(AboutWindows().size(), md5 ? 0 : 1);
    // Enter in a box presses nothing: no button is the default.
    child<QLineEdit>("Text2")->clear();
    QTest::keyClick(child<QLineEdit>("Text1"), Qt::Key(key));
    QVERIFY(child<QLineEdit>("Text2")->text().isEmpty());
}

void Form1DesktopTest::fileListEntriesShowTheFullNameAsATooltip() {
    const QString longName = QString(120, QLatin1Char('n')) + QStringLiteral(".txt");
    QVERIFY(WriteBytes(at(longName), "long"));
    auto* list = child<FileList>("File1");
    list->refresh();
    QVERIFY(list->count() >= 2);
    for (int i = 0; i < list->count(); ++i)
        QCOMPARE(list->item(i)->toolTip(), list->item(i)->text());
    QVERIFY(!list->findItems(longName, Qt::MatchExactly).isEmpty());
}

void Form1DesktopTest::aLongPathIsElidedInAFixedWidthDialog() {
    // 232 characters and more: folders of 40 letters, then the file.
    QString folder = folder_.path();
    for (char c : {'p', 'q', 'r', 's', 't'}) {
        folder += QLatin1Char('/') + QString(40, QLatin1Char(c));
        QVERIFY(QDir().mkpath(folder));
    }
    const QString name = QStringLiteral("the-file-name.bin");
    QVERIFY(WriteBytes(folder + QLatin1Char('/') + name, Pattern(3 << 20)));
    form_->show();
    QVERIFY(form_->openFile(folder + QLatin1Char('/') + name));
    child<QLineEdit>("Text2")->setText(kKey);

    QString label, tip;
    int width = 0;
    bool fixed = false, fits = false;
    WhileWorking watch([&](QProgressDialog* dialog) {
        auto* text = dialog->findChild<QLabel*>(QStringLiteral("ProgressLabel"));
        if (!text)
            return;
        label = text->text();
        tip = text->toolTip();
        width = dialog->width();
        fixed = dialog->minimumWidth() == width && dialog->maximumWidth() == width;
        fits = text->fontMetrics().horizontalAdvance(label) <= text->contentsRect().width();
    });
    child<QPushButton>("Command2")->click();

    QVERIFY(watch.seen());
    QCOMPARE(width, 360);
    QVERIFY(fixed);
    QVERIFY(fits);
    QVERIFY2(label.contains(QChar(0x2026)), qPrintable(label));
    QVERIFY2(label.startsWith(QStringLiteral("Encrypting ")), qPrintable(label));
    QVERIFY2(label.endsWith(name), qPrintable(label));
    QVERIFY2(tip.endsWith(folder + QLatin1Char('/') + name), qPrintable(tip));
}

void Form1DesktopTest::closingDuringWorkAsksToCancel_data() {
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("cancelled"); // and the window closed once the work stopped
    QTest::newRow("cancel") << int(QMessageBox::Yes) << true;
    QTest::newRow("go on") << int(QMessageBox::No) << false;
}

void Form1DesktopTest::closingDuringWorkAsksToCancel() {
    QFETCH(int, answer);
    QFETCH(bool, cancelled);
    QVERIFY(WriteBytes(at(QStringLiteral("big.bin")), Pattern(3 << 20)));
    form_->show();
    QVERIFY(form_->openFile(at(QStringLiteral("big.bin"))));
    child<QLineEdit>("Text2")->setText(kKey);
    MessageBox::setAnswerAllWithDefault(false);

    bool closed = true;
    WhileWorking watch([&](QProgressDialog*) {
        MessageBox::setNextAnswer(QMessageBox::StandardButton(answer));
        closed = form_->close();
    });
    child<QPushButton>("Command2")->click();
    MessageBox::setAnswerAllWithDefault(true);

    QVERIFY(watch.seen());
    QVERIFY(!closed);
    QCOMPARE(form_->isVisible(), !cancelled);
    const auto& boxes = MessageBox::answered();
    QCOMPARE(boxes.size(), std::size_t(1));
    QVERIFY2(boxes.front().text.contains(QStringLiteral("cancel"), Qt::CaseInsensitive),
             qPrintable(boxes.front().text));
    QCOMPARE(QFile::exists(at(QStringLiteral("big.bin.BF"))), !cancelled);
    // Once the work is over the window closes as usual.
    QVERIFY(form_->close());
}

void Form1DesktopTest::toolkitTranslationsLoadForTheLocale() {
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!QFileInfo::exists(folder + QStringLiteral("/qtbase_de.qm")))
        QSKIP("the toolkit's German translations are not installed");
    QVERIFY(!LoadToolkitTranslations(*qApp, QLocale(QStringLiteral("xx_YY"))));
    QVERIFY(LoadToolkitTranslations(*qApp, QLocale(QLocale::German, QLocale::Germany)));
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Abbrechen"));
    for (QTranslator* translator : qApp->findChildren<QTranslator*>()) {
        QCoreApplication::removeTranslator(translator);
        delete translator;
    }
}

void Form1DesktopTest::aNameThatIsNotUtf8IsListedShownAndWipedByItsOwnBytes_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("given at start") << "start";
    QTest::newRow("dropped") << "drop";
    QTest::newRow("picked in the list") << "list";
}

void Form1DesktopTest::aNameThatIsNotUtf8IsListedShownAndWipedByItsOwnBytes() {
    QFETCH(QString, how);
    // The second name is the first with its bad byte read as U+FFFD.
    const QByteArray folder = QFile::encodeName(at(QStringLiteral("sub")));
    const QByteArray bad = "bad\xff.BF", replaced = "bad\xef\xbf\xbd.BF";
    for (const QByteArray& name : {bad, replaced}) {
        const int fd = ::open((folder + '/' + name).constData(), O_WRONLY | O_CREAT | O_EXCL, 0600);
        QVERIFY(fd >= 0);
        QCOMPARE(::write(fd, name.constData(), static_cast<size_t>(name.size())),
                 static_cast<ssize_t>(name.size()));
        ::close(fd);
    }
    const QByteArray path = folder + '/' + bad;
    if (how == QLatin1String("start")) {
        QVERIFY(form_->openNativeFile(path.toStdString()));
    } else if (how == QLatin1String("drop")) {
        QMimeData mime;
        mime.setUrls({QUrl::fromEncoded("file://" + path.toPercentEncoding("/"))});
        QDragEnterEvent enter(QPoint(9, 9), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(form_.get(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(9, 9), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(form_.get(), &drop);
    } else {
        QVERIFY(form_->openFile(at(QStringLiteral("sub"))));
    }
    auto* list = child<FileList>("File1");
    QStringList shown;
    for (int row = 0; row < list->count(); ++row)
        shown << list->item(row)->text();
    // One entry per file, the bad byte escaped as messages escape it.
    QVERIFY2(shown.contains(QStringLiteral("'bad'$'\\377''.BF'")), qPrintable(shown.join('|')));
    QVERIFY2(shown.contains(QString::fromUtf8(replaced)), qPrintable(shown.join('|')));
    if (how == QLatin1String("list"))
        QVERIFY(list->selectNativeName(bad));
    QCOMPARE(list->selectedNativeName(), bad);

    child<QPushButton>("Command4")->click();

    const auto& boxes = MessageBox::answered();
    QVERIFY(!boxes.empty());
    QVERIFY2(boxes.back().text.endsWith(QStringLiteral("/sub/bad'$'\\377''.BF'")),
             qPrintable(boxes.back().text));
    // Read by their bytes: a QString would take one name for the other.
    const auto contents = [](const QByteArray& file) {
        std::ifstream in(file.toStdString(), std::ios::binary);
        return QByteArray::fromStdString(std::string(std::istreambuf_iterator<char>(in), {}));
    };
    QCOMPARE(contents(path), QByteArray(250, '\xff'));
    QCOMPARE(contents(folder + '/' + replaced), replaced);
}

QTEST_MAIN(Form1DesktopTest)
#include "Form1DesktopTest.moc"
