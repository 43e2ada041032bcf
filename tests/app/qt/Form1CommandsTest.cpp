// Encrypt and Decrypt driven through the main window: the files written,
// the list showing them, refused keys and failures reported in a box, and
// Cancel in the progress dialog leaving nothing behind.
#include <QApplication>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <memory>

#include "WindowTestUtil.h"
#include "app/qt/BackgroundTask.h"
#include "app/qt/FileList.h"
#include "app/qt/Form1.h"
#include "app/qt/MessageBox.h"
#include "cipher/basBlowfish.h"
#include "convert/basConvert.h"
#include "filecrypt/basBlowfishFileFns.h"

using namespace quillmoor;
using namespace quillmoor::app;
using namespace quillmoor::commands;
using namespace quillmoor::test;

namespace {

// MD5 of "password": what the MD5 button puts in the Key box for it.
const QString kKey = QStringLiteral("5f4dcc3b5aa765d61d8327deb882cf99");

} // namespace

class Form1CommandsTest : public Form1TestBase {
    Q_OBJECT

  private slots:
    void init();
    void cleanup();

    void encryptWritesTheBfFileAndTheListShowsIt();
    void decryptGivesBackTheFile();
    void withNothingSelectedTheKeyIsSetUpAndTheWindowSaysSo();
    void aRefusedKeyIsReportedAndNothingWritten_data();
    void aRefusedKeyIsReportedAndNothingWritten();
    void aWrongKeyOnDecryptIsReportedAndTheOldFileKept();
    void aVanishedFileIsReported_data();
    void aVanishedFileIsReported();
    void cancelInTheProgressDialogLeavesNothingBehind();
    void aKeyThatIsNotThePasswordsDigestIsQuestionedOnEncrypt_data();
    void aKeyThatIsNotThePasswordsDigestIsQuestionedOnEncrypt();

  private:
    void click(const char* button) { child<QPushButton>(button)->click(); }
};

void Form1CommandsTest::init() {
    QVERIFY(folder_.Enter());
    form_ = std::make_unique<Form1>();
    form_->show();
}

void Form1CommandsTest::cleanup() {
    form_.reset();
    folder_.Leave();
}

void Form1CommandsTest::encryptWritesTheBfFileAndTheListShowsIt() {
    const QByteArray plain = Pattern(1000);
    QVERIFY(WriteBytes(at(QStringLiteral("a.txt")), plain));
    child<QLineEdit>("Text1")->setText(QStringLiteral("password"));
    click("Command1");
    QCOMPARE(child<QLineEdit>("Text2")->text(), kKey);
    select(QStringLiteral("a.txt"));

    click("Command2");

    QVERIFY(MessageBox::answered().empty());
    const QByteArray cipher = ReadBytes(at(QStringLiteral("a.txt.BF")));
    QCOMPARE(cipher.size(), 1008); // 1000 bytes and 8 filler bytes
    QCOMPARE(ReadBytes(at(QStringLiteral("a.txt"))), plain);
    // The same bytes as the file routine gives for this key.
    const std::u16string key = kKey.toStdU16String();
    QVERIFY(BlowfishSetKey(HexTextToBytes(key)));
    const QString expected = at(QStringLiteral("expected.BF"));
    BlowfishEncryptFile(at(QStringLiteral("a.txt")).toStdString(), expected.toStdString(), key);
    QCOMPARE(cipher, ReadBytes(expected));

    // The list was re-read at once and keeps the source selected.
    auto* file1 = child<FileList>("File1");
    QVERIFY(!file1->findItems(QStringLiteral("a.txt.BF"), Qt::MatchExactly).isEmpty());
    QCOMPARE(file1->fileName(), QStringLiteral("a.txt"));
}

void Form1CommandsTest::decryptGivesBackTheFile() {
    const QByteArray plain = Pattern(4321);
    QVERIFY(WriteBytes(at(QStringLiteral("report.pdf")), plain));
    child<QLineEdit>("Text2")->setText(kKey);
    select(QStringLiteral("report.pdf"));
    click("Command2");
    QVERIFY(QFile::remove(at(QStringLiteral("report.pdf"))));

    select(QStringLiteral("report.pdf.BF"));
    click("Command3");

    QVERIFY(MessageBox::answered().empty());
    QCOMPARE(ReadBytes(at(QStringLiteral("report.pdf"))), plain);
    QVERIFY(!child<FileList>("File1")
                 ->findItems(QStringLiteral("report.pdf"), Qt::MatchExactly)
                 .isEmpty());
}

void Form1CommandsTest::aKeyThatIsNotThePasswordsDigestIsQuestionedOnEncrypt_data() {
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<bool>("written");
    QTest::newRow("changed, No") << "other"
                                 << "Command2" << int(QMessageBox::No) << true << false;
    QTest::newRow("changed, Yes") << "other"
                                  << "Command2" << int(QMessageBox::Yes) << true << true;
    QTest::newRow("its digest") << "password"
                                << "Command2" << int(QMessageBox::No) << false << true;
    QTest::newRow("no password") << ""
                                 << "Command2" << int(QMessageBox::No) << false << true;
    QTest::newRow("decrypt") << "other"
                             << "Command3" << int(QMessageBox::No) << false << true;
}

void Form1CommandsTest::aKeyThatIsNotThePasswordsDigestIsQuestionedOnEncrypt() {
    QFETCH(QString, password);
    QFETCH(QString, button);
    QFETCH(int, answer);
    QFETCH(bool, asked);
    QFETCH(bool, written);
    QVERIFY(WriteBytes(at(QStringLiteral("a.txt.BF")), Pattern(16)));
    QVERIFY(WriteBytes(at(QStringLiteral("a.txt")), Pattern(16)));
    child<QLineEdit>("Text1")->setText(password);
    child<QLineEdit>("Text2")->setText(kKey.toUpper());
    // Encrypt writes a.txt.BF anew; Decrypt (of a.txt.BF with a wrong key) is not asked.
    select(button == QLatin1String("Command2") ? QStringLiteral("a.txt")
                                               : QStringLiteral("a.txt.BF"));
    // Any other box takes its default answer.
    if (asked)
        MessageBox::setNextAnswer(QMessageBox::StandardButton(answer));

    click(button.toLatin1().constData());

    const auto& boxes = MessageBox::answered();
    const bool question =
        !boxes.empty() &&
        boxes.front().text == QStringLiteral("The key is not the MD5 of the password. Encrypt "
                                             "with the key in the Key box anyway?");
    QCOMPARE(question, asked);
    if (question) {
        QCOMPARE(boxes.front().buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(boxes.front().defaultButton, QMessageBox::No);
    }
    if (button == QLatin1String("Command2"))
        QCOMPARE(ReadBytes(at(QStringLiteral("a.txt.BF"))) != Pattern(16), written);
}

void Form1CommandsTest::withNothingSelectedTheKeyIsSetUpAndTheWindowSaysSo() {
    QVERIFY(WriteBytes(at(QStringLiteral("a.txt")), "abc"));
    child<FileList>("File1")->refresh();
    QCOMPARE(child<FileList>("File1")->listIndex(), -1);
    const BlowfishState zero{};
    BlowfishClearState(blowfishState());
    child<QLineEdit>("Text2")->setText(QStringLiteral("0123456789abcdef"));
    click("Command2");
    QCOMPARE(MessageBox::answered().size(), std::size_t{1});
    QCOMPARE(MessageBox::answered().front().text,
             QStringLiteral("No file is selected. Select the file to encrypt in the file list, "
                            "then press Encrypt."));
    QVERIFY(std::memcmp(&blowfishState(), &zero, sizeof zero) != 0);
    QCOMPARE(QDir(folder_.path()).entryList(QDir::Files), QStringList({"a.txt"}));
}

void Form1CommandsTest::aRefusedKeyIsReportedAndNothingWritten_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("reason");
    QTest::newRow("empty") << ""
                           << "empty";
    QTest::newRow("not hex") << "password"
                             << "hexadecimal";
    QTest::newRow("too long") << QString(114, QLatin1Char('a')) << "too long";
    // What MD5 makes of an empty Password box: it still opens old files only.
    QTest::newRow("empty password") << "D41D8CD98F00B204E9800998ECF8427E"
                                    << "digest of an empty password";
}

void Form1CommandsTest::aRefusedKeyIsReportedAndNothingWritten() {
    QFETCH(QString, key);
    QFETCH(QString, reason);
    QVERIFY(WriteBytes(at(QStringLiteral("a.txt")), "abc"));
    child<QLineEdit>("Text2")->setText(key);
    select(QStringLiteral("a.txt"));
    click("Command2");

    QCOMPARE(MessageBox::answered().size(), std::size_t{1});
    const auto& shown = MessageBox::answered().front();
    QCOMPARE(shown.icon, QMessageBox::Critical);
    QVERIFY2(shown.text.contains(at(QStringLiteral("a.txt"))), qPrintable(shown.text));
    QVERIFY2(shown.text.contains(reason), qPrintable(shown.text));
    QVERIFY(!QFile::exists(at(QStringLiteral("a.txt.BF"))));
    // The window is still usable.
    child<QLineEdit>("Text2")->setText(kKey);
    click("Command2");
    QVERIFY(QFile::exists(at(QStringLiteral("a.txt.BF"))));
}

void Form1CommandsTest::aWrongKeyOnDecryptIsReportedAndTheOldFileKept() {
    QVERIFY(WriteBytes(at(QStringLiteral("a.txt")), Pattern(64)));
    child<QLineEdit>("Text2")->setText(kKey);
    select(QStringLiteral("a.txt"));
    click("Command2");
    QVERIFY(WriteBytes(at(QStringLiteral("a.txt")), "keep me"));

    child<QLineEdit>("Text2")->setText(QStringLiteral("00112233445566778899aabbccddeeff"));
    select(QStringLiteral("a.txt.BF"));
    click("Command3");

    QCOMPARE(MessageBox::answered().size(), std::size_t{1});
    const QString text = MessageBox::answered().front().text;
    QVERIFY2(text.contains(at(QStringLiteral("a.txt.BF"))), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("wrong key or damaged file")), qPrintable(text));
    QCOMPARE(ReadBytes(at(QStringLiteral("a.txt"))), QByteArray("keep me"));
}

void Form1CommandsTest::aVanishedFileIsReported_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("shown"); // how the box names it
    QTest::newRow("plain") << "gone.txt"
                           << "gone.txt";
    // A line break in a name is shown as an escape, not as a break.
    QTest::newRow("line break") << "gone\nnext.txt"
                                << "gone'$'\\n''next.txt'";
}

void Form1CommandsTest::aVanishedFileIsReported() {
    QFETCH(QString, name);
    QFETCH(QString, shown);
    QVERIFY(WriteBytes(at(name), "abc"));
    child<QLineEdit>("Text2")->setText(kKey);
    select(name);
    QVERIFY(QFile::remove(at(name)));
    click("Command2");

    QCOMPARE(MessageBox::answered().size(), std::size_t{1});
    const QString text = MessageBox::answered().front().text;
    QVERIFY2(text.contains(shown), qPrintable(text));
    QVERIFY2(!text.contains(QLatin1Char('\n')), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("No such file or directory")), qPrintable(text));
    QVERIFY(!QFile::exists(at(name)));
    QVERIFY(!QFile::exists(at(name + QStringLiteral(".BF"))));
}

void Form1CommandsTest::cancelInTheProgressDialogLeavesNothingBehind() {
    // Several chunks, so the work is still going when Cancel is pressed.
    QVERIFY(WriteBytes(at(QStringLiteral("big.bin")), Pattern(3 << 20)));
    QVERIFY(WriteBytes(at(QStringLiteral("big.bin.BF")), "older target"));
    child<QLineEdit>("Text2")->setText(kKey);
    select(QStringLiteral("big.bin"));

    // The worker waits at its first progress report until the test has
    // pressed Cancel, so the order does not depend on speed.
    std::promise<void> pressed;
    std::shared_future<void> pressedFuture = pressed.get_future().share();
    std::atomic<int> reports{0};
    BackgroundTask::setProgressObserver([&](std::uint64_t, std::uint64_t) {
        if (reports++ == 0)
            pressedFuture.wait_for(std::chrono::seconds(60));
    });
    BackgroundTask::setDialogDelay(0);

    bool sawDialog = false, wasModal = false, md5Ran = false;
    QTimer watch;
    watch.setInterval(10);
    connect(&watch, &QTimer::timeout, this, [&] {
        auto* dialog = form_->findChild<QProgressDialog*>();
        if (!dialog || !dialog->isVisible() || sawDialog)
            return;
        sawDialog = true;
        wasModal = dialog->windowModality() == Qt::ApplicationModal;
        // Other buttons do nothing while the work runs.
        auto* text2 = child<QLineEdit>("Text2");
        QTest::mouseClick(child<QPushButton>("Command1"), Qt::LeftButton);
        md5Ran = text2->text() != kKey;
        // Pressed as the window system delivers it, through the dialog's window.
        if (QPushButton* cancel = dialog->findChild<QPushButton*>())
            QTest::mouseClick(dialog->windowHandle(), Qt::LeftButton, {},
                              cancel->mapTo(dialog, cancel->rect().center()));
        pressed.set_value();
    });
    watch.start();
    click("Command2");
    watch.stop();

    QVERIFY(sawDialog);
    QVERIFY(wasModal);
    QVERIFY(!md5Ran);
    QVERIFY(!BackgroundTask::busy());
    QVERIFY(MessageBox::answered().empty());
    QCOMPARE(ReadBytes(at(QStringLiteral("big.bin.BF"))), QByteArray("older target"));
    // No temporary file left either.
    QCOMPARE(QDir(folder_.path()).entryList(QDir::Files | QDir::Hidden),
             QStringList({"big.bin", "big.bin.BF"}));
}

QTEST_MAIN(Form1CommandsTest)
#include "Form1CommandsTest.moc"
