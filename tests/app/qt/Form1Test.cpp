// The main window: layout, initial state, the Hide box, MD5, the three
// lists, dropping a file, the About window and closing.
#include <QCheckBox>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <cstring>
#include <memory>

#include "WindowTestUtil.h"
#include "app/commands/WindowLayout.h"
#include "app/qt/DirList.h"
#include "app/qt/DriveList.h"
#include "app/qt/FileList.h"
#include "app/qt/FitCaptions.h"
#include "app/qt/Form1.h"
#include "app/qt/Form2.h"
#include "app/qt/MessageBox.h"
#include "cipher/basBlowfish.h"

using namespace quillmoor;
using namespace quillmoor::app;
using namespace quillmoor::test;

namespace {

const char* QtClassOf(commands::ControlKind kind) {
    switch (kind) {
    case commands::ControlKind::Label:
    case commands::ControlKind::Picture: return "QLabel";
    case commands::ControlKind::TextBox: return "QLineEdit";
    case commands::ControlKind::Button: return "QPushButton";
    case commands::ControlKind::CheckBox: return "QCheckBox";
    case commands::ControlKind::DriveList: return "quillmoor::app::DriveList";
    case commands::ControlKind::FolderList: return "quillmoor::app::DirList";
    case commands::ControlKind::FileList: return "quillmoor::app::FileList";
    }
    return "";
}

} // namespace

class Form1Test : public QObject {
    Q_OBJECT

  private slots:
    void init();
    void cleanup();

    void windowIsFixedWithMinimiseOnly();
    void controlsHaveTheirNamesCaptionsAndPlaces_data();
    void controlsHaveTheirNamesCaptionsAndPlaces();
    void captionsFitTheirControls();
    void tabOrderFollowsTheLayout();
    void tabKeyWalksTheOrder();
    void passwordBoxHasTheFocusAtStart();
    void initialStateOfTheBoxesAndLists();
    void hideMasksAndUnmasksBothBoxes();
    void md5PutsTheDigestIntoTheKeyBox_data();
    void md5PutsTheDigestIntoTheKeyBox();
    void folderListShowsAncestorsAndSubfolders();
    void clickSelectsAFolderWithoutOpeningIt();
    void doubleClickOpensAFolderAndMovesTheFileList();
    void enterOpensTheSelectedFolder();
    void openingAFolderThatVanishedIsReported();
    void pickingADriveMovesBothLists();
    void aDriveThatCannotBeReadIsReported();
    void fileListFollowsChangesOnDisk();
    void fileListKeepsTheSelectionWhenReRead();
    void f5ReadsTheListsAgain_data();
    void f5ReadsTheListsAgain();
    void droppingAFileSelectsIt();
    void draggingAFolderIsRefused();
    void aboutOpensOnceAndComesToTheFront();
    void aboutOkClosesItAndANewOneOpensAfresh();
    void closingOverwritesBoxesClosesAboutAndClearsTheKey();
    void closingWithoutAboutStillOverwrites();

  private:
    template <typename T> T* child(const char* name) { return Child<T>(form_.get(), name); }
    QString sub(const QString& name) const { return folder_.at(name); }

    TestFolder folder_;
    std::unique_ptr<Form1> form_;
};

void Form1Test::init() {
    QVERIFY(folder_.Enter());
    QVERIFY(QDir(folder_.path()).mkpath(QStringLiteral("beta/inner")));
    QVERIFY(QDir(folder_.path()).mkpath(QStringLiteral("Alpha")));
    QVERIFY(WriteBytes(sub(QStringLiteral("b.txt")), "bee"));
    QVERIFY(WriteBytes(sub(QStringLiteral("A.txt")), "ay"));
    QVERIFY(WriteBytes(sub(QStringLiteral("c.bin")), Pattern(100)));
    QVERIFY(WriteBytes(sub(QStringLiteral(".hidden")), "h"));
    QVERIFY(WriteBytes(sub(QStringLiteral("beta/inside.txt")), "in"));
    form_ = std::make_unique<Form1>();
}

void Form1Test::cleanup() {
    form_.reset();
    RunDeferredDeletes();
    folder_.Leave();
}

void Form1Test::windowIsFixedWithMinimiseOnly() {
    QCOMPARE(form_->objectName(), QStringLiteral("Form1"));
    QCOMPARE(form_->windowTitle(), QStringLiteral("Quillmoor"));
    QCOMPARE(form_->size(), QSize(328, 256));
    QCOMPARE(form_->minimumSize(), QSize(328, 256));
    QCOMPARE(form_->maximumSize(), QSize(328, 256));
    const Qt::WindowFlags flags = form_->windowFlags();
    QVERIFY(flags.testFlag(Qt::Window));
    QVERIFY(flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(form_->windowIcon().availableSizes().contains(QSize(32, 32)));
    QVERIFY(form_->acceptDrops());
}

void Form1Test::controlsHaveTheirNamesCaptionsAndPlaces_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("geometry");
    // One row per control of the windows' one layout, its twips at 15 a pixel.
    for (const commands::ControlLayout& control : commands::kForm1.controls)
        QTest::newRow(control.name)
            << QString::fromLatin1(control.name) << QString::fromLatin1(QtClassOf(control.kind))
            << QString::fromUtf8(control.caption)
            << QRect(control.left / 15, control.top / 15, control.width / 15, control.height / 15);
}

void Form1Test::controlsHaveTheirNamesCaptionsAndPlaces() {
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QString, caption);
    QFETCH(QRect, geometry);
    const auto matches = form_->findChildren<QWidget*>(name);
    QCOMPARE(matches.size(), 1);
    QWidget* control = matches.first();
    QCOMPARE(control->parentWidget(), form_.get());
    QCOMPARE(QString::fromLatin1(control->metaObject()->className()), className);
    QCOMPARE(control->geometry(), geometry);
    if (auto* label = qobject_cast<QLabel*>(control))
        QCOMPARE(label->text(), caption);
    else if (auto* button = qobject_cast<QAbstractButton*>(control))
        QCOMPARE(button->text(), caption);
    if (auto* push = qobject_cast<QPushButton*>(control)) {
        QVERIFY(!push->isDefault()); // Enter and Escape press no button
        QVERIFY(!push->autoDefault());
    }
}

void Form1Test::captionsFitTheirControls() {
    for (const char* name :
         {"Label1", "Label2", "Command1", "Check1", "Command2", "Command3", "Command4", "Command5"})
        QVERIFY2(CaptionFits(child<QWidget>(name)), name);
    // Measured here too, not only by the window's own rule.
    auto* label = child<QLabel>("Label1");
    QVERIFY(label->fontMetrics().horizontalAdvance(label->text()) <= label->width());
}

void Form1Test::tabOrderFollowsTheLayout() {
    const QStringList expected = {"Text1", "Text2",    "Command1", "Check1",   "Drive1",  "Dir1",
                                  "File1", "Command2", "Command3", "Command4", "Command5"};
    QStringList order;
    QWidget* start = child<QWidget>("Text1");
    QWidget* at = start;
    do {
        if (at->parentWidget() == form_.get() && (at->focusPolicy() & Qt::TabFocus))
            order << at->objectName();
        at = at->nextInFocusChain();
    } while (at != start && order.size() < 50);
    QCOMPARE(order, expected);
    for (const char* label : {"Label1", "Label2"})
        QCOMPARE(child<QWidget>(label)->focusPolicy(), Qt::NoFocus);
}

void Form1Test::tabKeyWalksTheOrder() {
    form_->show();
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
    const QStringList expected = {"Text2",    "Command1", "Check1",   "Drive1",   "Dir1", "File1",
                                  "Command2", "Command3", "Command4", "Command5", "Text1"};
    QCOMPARE(QApplication::focusWidget(), child<QWidget>("Text1"));
    for (const QString& next : expected) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), next);
    }
}

void Form1Test::passwordBoxHasTheFocusAtStart() {
    QCOMPARE(form_->focusWidget(), child<QWidget>("Text1"));
    form_->show();
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
    QCOMPARE(QApplication::focusWidget(), child<QWidget>("Text1"));
}

void Form1Test::initialStateOfTheBoxesAndLists() {
    auto* text1 = child<QLineEdit>("Text1");
    auto* text2 = child<QLineEdit>("Text2");
    QVERIFY(text1->text().isEmpty());
    QVERIFY(text2->text().isEmpty());
    QCOMPARE(text1->echoMode(), QLineEdit::Password);
    QCOMPARE(text2->echoMode(), QLineEdit::Password);
    QVERIFY(child<QCheckBox>("Check1")->isChecked());

    const QString here = QDir::cleanPath(folder_.path());
    auto* drive1 = child<DriveList>("Drive1");
    QVERIFY(!drive1->drive().isEmpty());
    QVERIFY2(here.startsWith(drive1->drive()), qPrintable(drive1->drive()));
    QVERIFY(drive1->count() >= 1);
    QCOMPARE(child<DirList>("Dir1")->path(), here);

    auto* file1 = child<FileList>("File1");
    QCOMPARE(file1->path(), here);
    QCOMPARE(file1->listIndex(), -1);
    QVERIFY(file1->fileName().isEmpty());
    QStringList names;
    for (int i = 0; i < file1->count(); ++i)
        names << file1->item(i)->text();
    // Every file, sorted by name regardless of case; no folders, no hidden files.
    QCOMPARE(names, QStringList({"A.txt", "b.txt", "c.bin"}));
}

void Form1Test::hideMasksAndUnmasksBothBoxes() {
    auto* text1 = child<QLineEdit>("Text1");
    auto* text2 = child<QLineEdit>("Text2");
    auto* check1 = child<QCheckBox>("Check1");
    text1->setText(QStringLiteral("pass word"));
    text2->setText(QStringLiteral("0123abcd"));
    QCOMPARE(text1->displayText(), QString(9, QLatin1Char('*')));
    QCOMPARE(text2->displayText(), QString(8, QLatin1Char('*')));

    form_->show();
    QTest::mouseClick(check1, Qt::LeftButton);
    QVERIFY(!check1->isChecked());
    QCOMPARE(text1->displayText(), QStringLiteral("pass word"));
    QCOMPARE(text2->displayText(), QStringLiteral("0123abcd"));

    QTest::mouseClick(check1, Qt::LeftButton);
    QVERIFY(check1->isChecked());
    QCOMPARE(text1->displayText(), QString(9, QLatin1Char('*')));
    QCOMPARE(text2->displayText(), QString(8, QLatin1Char('*')));
    QCOMPARE(text1->text(), QStringLiteral("pass word"));
    QCOMPARE(text2->text(), QStringLiteral("0123abcd"));
}

void Form1Test::md5PutsTheDigestIntoTheKeyBox_data() {
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("digest");
    // RFC 1321, appendix A.5.
    QTest::newRow("empty") << ""
                           << "d41d8cd98f00b204e9800998ecf8427e";
    QTest::newRow("a") << "a"
                       << "0cc175b9c0f1b6a831c399e269772661";
    QTest::newRow("abc") << "abc"
                         << "900150983cd24fb0d6963f7d28e17f72";
    QTest::newRow("message digest") << "message digest"
                                    << "f96b697d7cb7938d525a2f31aaf161d0";
}

void Form1Test::md5PutsTheDigestIntoTheKeyBox() {
    QFETCH(QString, password);
    QFETCH(QString, digest);
    auto* text1 = child<QLineEdit>("Text1");
    auto* text2 = child<QLineEdit>("Text2");
    text1->setText(password);
    text2->setText(QStringLiteral("typed by hand")); // replaced without asking
    child<QPushButton>("Command1")->click();
    QCOMPARE(text2->text(), digest);
    QCOMPARE(text1->text(), password);
    QVERIFY(MessageBox::answered().empty());
}

void Form1Test::folderListShowsAncestorsAndSubfolders() {
    auto* dir1 = child<DirList>("Dir1");
    const QString here = dir1->path();
    QStringList expected;
    for (QString at = here;; at = QFileInfo(at).path()) {
        expected.prepend(at);
        if (QFileInfo(at).path() == at)
            break;
    }
    const int current = static_cast<int>(expected.size()) - 1;
    expected << here + QStringLiteral("/Alpha") << here + QStringLiteral("/beta");
    QStringList shown;
    for (int row = 0; row < dir1->count(); ++row)
        shown << dir1->folderAt(row);
    QCOMPARE(shown, expected);
    QCOMPARE(shown.first(), QStringLiteral("/"));
    QCOMPARE(dir1->currentRow(), current);
    QCOMPARE(dir1->item(current)->text(), QFileInfo(here).fileName());
}

void Form1Test::clickSelectsAFolderWithoutOpeningIt() {
    form_->show();
    auto* dir1 = child<DirList>("Dir1");
    const QString here = dir1->path();
    const int row = dir1->count() - 1; // "beta"
    QCOMPARE(dir1->item(row)->text(), QStringLiteral("beta"));
    QSignalSpy changed(dir1, &DirList::pathChanged);
    QTest::mouseClick(dir1->viewport(), Qt::LeftButton, {},
                      dir1->visualItemRect(dir1->item(row)).center());
    QCOMPARE(dir1->currentRow(), row);
    QCOMPARE(dir1->path(), here);
    QCOMPARE(child<FileList>("File1")->path(), here);
    QCOMPARE(changed.count(), 0);
}

void Form1Test::doubleClickOpensAFolderAndMovesTheFileList() {
    form_->show();
    auto* dir1 = child<DirList>("Dir1");
    auto* file1 = child<FileList>("File1");
    const int row = dir1->count() - 1;
    const QPoint at = dir1->visualItemRect(dir1->item(row)).center();
    QTest::mouseClick(dir1->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(dir1->viewport(), Qt::LeftButton, {}, at);
    QCOMPARE(dir1->path(), sub(QStringLiteral("beta")));
    QCOMPARE(file1->path(), sub(QStringLiteral("beta")));
    QCOMPARE(file1->count(), 1);
    QCOMPARE(file1->item(0)->text(), QStringLiteral("inside.txt"));
    QCOMPARE(file1->listIndex(), -1);
    // The subfolder of the new folder is listed below it.
    QCOMPARE(dir1->folderAt(dir1->count() - 1), sub(QStringLiteral("beta/inner")));
}

void Form1Test::enterOpensTheSelectedFolder() {
    form_->show();
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
    auto* dir1 = child<DirList>("Dir1");
    const QString here = dir1->path();
    const QString parent = QFileInfo(here).path();
    dir1->setFocus();
    dir1->setCurrentRow(dir1->currentRow() - 1); // the parent, one up
    QCOMPARE(dir1->path(), here);                // selecting moves nothing
    QTest::keyClick(dir1, Qt::Key_Return);
    QCOMPARE(dir1->path(), parent);
    QCOMPARE(child<FileList>("File1")->path(), parent);
}

void Form1Test::openingAFolderThatVanishedIsReported() {
    form_->show();
    auto* dir1 = child<DirList>("Dir1");
    const QString here = dir1->path();
    const int row = dir1->count() - 2; // "Alpha"
    QCOMPARE(dir1->item(row)->text(), QStringLiteral("Alpha"));
    QVERIFY(QDir(sub(QStringLiteral("Alpha"))).removeRecursively());
    dir1->setCurrentRow(row);
    QTest::keyClick(dir1, Qt::Key_Return);
    QCOMPARE(MessageBox::answered().size(), std::size_t{1});
    const auto& shown = MessageBox::answered().front();
    QCOMPARE(shown.icon, QMessageBox::Critical);
    QVERIFY2(shown.text.contains(sub(QStringLiteral("Alpha"))), qPrintable(shown.text));
    QVERIFY2(shown.text.contains(QStringLiteral("No such file or directory")),
             qPrintable(shown.text));
    QCOMPARE(dir1->path(), here);
    QCOMPARE(child<FileList>("File1")->path(), here);
}

void Form1Test::pickingADriveMovesBothLists() {
    QTemporaryDir other;
    QVERIFY(QDir(other.path()).mkpath(QStringLiteral("deeper")));
    QVERIFY(WriteBytes(other.path() + QStringLiteral("/on-other.txt"), "x"));
    const QString otherRoot = QDir::cleanPath(other.path());
    auto* drive1 = child<DriveList>("Drive1");
    auto* dir1 = child<DirList>("Dir1");
    auto* file1 = child<FileList>("File1");
    const QString here = dir1->path();
    const int start = drive1->currentIndex();
    drive1->addDrive(QStringLiteral("other"), otherRoot);
    const int index = drive1->count() - 1;

    drive1->setCurrentIndex(index);
    emit drive1->activated(index);
    QCOMPARE(dir1->path(), otherRoot);
    QCOMPARE(file1->path(), otherRoot);
    QCOMPARE(file1->count(), 1);

    // Each drive keeps its own current folder.
    QVERIFY(dir1->setPath(otherRoot + QStringLiteral("/deeper")));
    QCOMPARE(drive1->currentIndex(), index);
    drive1->setCurrentIndex(start);
    emit drive1->activated(start);
    QCOMPARE(dir1->path(), here);
    QCOMPARE(file1->path(), here);
    drive1->setCurrentIndex(index);
    emit drive1->activated(index);
    QCOMPARE(dir1->path(), otherRoot + QStringLiteral("/deeper"));
    QVERIFY(MessageBox::answered().empty());
}

void Form1Test::aDriveThatCannotBeReadIsReported() {
    auto* drive1 = child<DriveList>("Drive1");
    auto* dir1 = child<DirList>("Dir1");
    auto* file1 = child<FileList>("File1");
    const QString here = dir1->path();
    const int start = drive1->currentIndex();
    const QString gone = folder_.path() + QStringLiteral("/no-medium");
    drive1->addDrive(QStringLiteral("no medium"), gone);
    const int index = drive1->count() - 1;
    drive1->setCurrentIndex(index);
    emit drive1->activated(index);

    QCOMPARE(MessageBox::answered().size(), std::size_t{1});
    const auto& shown = MessageBox::answered().front();
    QCOMPARE(shown.icon, QMessageBox::Critical);
    QVERIFY2(shown.text.contains(gone), qPrintable(shown.text));
    QVERIFY2(shown.text.contains(QStringLiteral("No such file or directory")),
             qPrintable(shown.text));
    // The lists keep their last good folder and stay usable.
    QCOMPARE(dir1->path(), here);
    QCOMPARE(file1->path(), here);
    QCOMPARE(drive1->currentIndex(), start);
    QCOMPARE(file1->count(), 3);
    QVERIFY(file1->selectFile(QStringLiteral("b.txt")));
}

void Form1Test::fileListFollowsChangesOnDisk() {
    auto* file1 = child<FileList>("File1");
    QVERIFY(WriteBytes(sub(QStringLiteral("new.txt")), "n"));
    QTRY_VERIFY(!file1->findItems(QStringLiteral("new.txt"), Qt::MatchExactly).isEmpty());
    QVERIFY(QFile::remove(sub(QStringLiteral("b.txt"))));
    QTRY_VERIFY(file1->findItems(QStringLiteral("b.txt"), Qt::MatchExactly).isEmpty());
    // A refresh on request sees a change at once.
    QVERIFY(WriteBytes(sub(QStringLiteral("now.txt")), "n"));
    file1->refresh();
    QVERIFY(!file1->findItems(QStringLiteral("now.txt"), Qt::MatchExactly).isEmpty());
}

void Form1Test::f5ReadsTheListsAgain_data() {
    QTest::addColumn<QString>("focus");
    QTest::newRow("in the Password box") << "Text1";
    QTest::newRow("in the file list") << "File1";
    QTest::newRow("on a button") << "Command2";
}

void Form1Test::f5ReadsTheListsAgain() {
    QFETCH(QString, focus);
    form_->show();
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
    child<QWidget>(focus.toLatin1().constData())->setFocus();
    // No event is taken between the change and the key, so only F5 can
    // show the new names.
    QVERIFY(WriteBytes(sub(QStringLiteral("late.txt")), "l"));
    QVERIFY(QDir(folder_.path()).mkpath(QStringLiteral("later")));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F5);
    QVERIFY(!child<FileList>("File1")
                 ->findItems(QStringLiteral("late.txt"), Qt::MatchExactly)
                 .isEmpty());
    QVERIFY(
        !child<DirList>("Dir1")->findItems(QStringLiteral("later"), Qt::MatchEndsWith).isEmpty());
}

void Form1Test::fileListKeepsTheSelectionWhenReRead() {
    auto* file1 = child<FileList>("File1");
    QVERIFY(file1->selectFile(QStringLiteral("c.bin")));
    QCOMPARE(file1->listIndex(), 2);
    QVERIFY(WriteBytes(sub(QStringLiteral("0first.txt")), "f"));
    file1->refresh();
    QCOMPARE(file1->fileName(), QStringLiteral("c.bin"));
    QCOMPARE(file1->listIndex(), 3);
    QVERIFY(QFile::remove(sub(QStringLiteral("c.bin"))));
    file1->refresh();
    QCOMPARE(file1->listIndex(), -1);
    QVERIFY(file1->fileName().isEmpty());
}

void Form1Test::droppingAFileSelectsIt() {
    const QString target = sub(QStringLiteral("beta/inside.txt"));
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(target)});
    QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form_.get(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form_.get(), &drop);
    QVERIFY(drop.isAccepted());

    QCOMPARE(child<DirList>("Dir1")->path(), sub(QStringLiteral("beta")));
    auto* file1 = child<FileList>("File1");
    QCOMPARE(file1->path(), sub(QStringLiteral("beta")));
    QCOMPARE(file1->fileName(), QStringLiteral("inside.txt"));
    QCOMPARE(file1->listIndex(), 0);
}

void Form1Test::draggingAFolderIsRefused() {
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(sub(QStringLiteral("beta")))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    enter.setAccepted(false);
    QApplication::sendEvent(form_.get(), &enter);
    QVERIFY(!enter.isAccepted());
}

void Form1Test::aboutOpensOnceAndComesToTheFront() {
    form_->show();
    QVERIFY(AboutWindows().isEmpty());
    QVERIFY(form_->aboutWindow() == nullptr);
    auto* command5 = child<QPushButton>("Command5");
    command5->click();
    Form2* about = form_->aboutWindow();
    QVERIFY(about);
    QVERIFY(about->isVisible());
    QVERIFY(about->parentWidget() == nullptr); // no owner
    QCOMPARE(AboutWindows().size(), 1);

    about->lower();
    form_->activateWindow();
    command5->click();
    QCOMPARE(form_->aboutWindow(), about);
    QCOMPARE(AboutWindows().size(), 1);
    QTRY_COMPARE(QApplication::activeWindow(), static_cast<QWidget*>(about));

    // The main window stays usable meanwhile.
    child<QLineEdit>("Text1")->setText(QStringLiteral("abc"));
    child<QPushButton>("Command1")->click();
    QCOMPARE(child<QLineEdit>("Text2")->text(), QStringLiteral("900150983cd24fb0d6963f7d28e17f72"));
}

void Form1Test::aboutOkClosesItAndANewOneOpensAfresh() {
    form_->show();
    child<QPushButton>("Command5")->click();
    QPointer<Form2> first = form_->aboutWindow();
    QVERIFY(first);
    first->findChild<QPushButton*>(QStringLiteral("Command1"))->click();
    RunDeferredDeletes();
    QVERIFY(first.isNull());
    QVERIFY(form_->aboutWindow() == nullptr);
    QVERIFY(AboutWindows().isEmpty());
    child<QPushButton>("Command5")->click();
    QVERIFY(form_->aboutWindow());
    QVERIFY(form_->aboutWindow()->isVisible());
    QCOMPARE(AboutWindows().size(), 1);
}

void Form1Test::closingOverwritesBoxesClosesAboutAndClearsTheKey() {
    form_->show();
    auto* text1 = child<QLineEdit>("Text1");
    auto* text2 = child<QLineEdit>("Text2");
    text1->setText(QStringLiteral("secret"));
    child<QPushButton>("Command1")->click();
    // Encrypt with nothing selected still sets the key up, and says no file is selected.
    child<QPushButton>("Command2")->click();
    QCOMPARE(MessageBox::answered().size(), std::size_t{1});
    const BlowfishState zero{};
    QVERIFY(std::memcmp(&blowfishState(), &zero, sizeof zero) != 0);

    child<QPushButton>("Command5")->click();
    QPointer<Form2> about = form_->aboutWindow();
    QVERIFY(about && about->isVisible());

    QVERIFY(form_->close());
    QVERIFY(!form_->isVisible());
    QCOMPARE(text1->text(), QString(100, QLatin1Char('x')));
    QCOMPARE(text2->text(), QString(100, QLatin1Char('x')));
    QVERIFY(!text1->isUndoAvailable()); // the old text cannot come back
    QVERIFY(about.isNull() || !about->isVisible());
    RunDeferredDeletes();
    QVERIFY(about.isNull());
    QVERIFY(AboutWindows().isEmpty());
    QVERIFY(std::memcmp(&blowfishState(), &zero, sizeof zero) == 0);
}

void Form1Test::closingWithoutAboutStillOverwrites() {
    form_->show();
    child<QLineEdit>("Text2")->setText(QStringLiteral("00112233"));
    QVERIFY(form_->close());
    QCOMPARE(child<QLineEdit>("Text1")->text(), QString(100, QLatin1Char('x')));
    QCOMPARE(child<QLineEdit>("Text2")->text(), QString(100, QLatin1Char('x')));
    QVERIFY(AboutWindows().isEmpty());
}

QTEST_MAIN(Form1Test)
#include "Form1Test.moc"
