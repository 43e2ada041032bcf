// Wipe driven through the main window: the confirmation box, the passes
// over files of awkward lengths, Cancel, a vanished file and the seed.
#include <QApplication>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <vector>

#include "WindowTestUtil.h"
#include "app/commands/Wipe.h"
#include "app/qt/BackgroundTask.h"
#include "app/qt/FileList.h"
#include "app/qt/Form1.h"
#include "app/qt/MessageBox.h"

using namespace quillmoor;
using namespace quillmoor::app;
using namespace quillmoor::commands;
using namespace quillmoor::test;

using Block = std::vector<std::uint8_t>;

class Form1WipeTest : public Form1TestBase {
    Q_OBJECT

  private slots:
    void init();
    void cleanup();

    void okOverwritesTheFileInPlace_data();
    void okOverwritesTheFileInPlace();
    void cancelWritesNothing_data();
    void cancelWritesNothing();
    void theRealBoxAsksWithOkAsTheDefault();
    void closingTheRealBoxWithEscapeWritesNothing();
    void nothingSelectedSaysSoAndTakesANewSeed();
    void aVanishedFileIsReportedNotCreated();
    void cancelDuringTheWipeIsReported();

  private:
    void wipe() { child<QPushButton>("Command4")->click(); }

    std::mutex blocksMutex_;
    std::vector<Block> randomBlocks_;
};

void Form1WipeTest::init() {
    QVERIFY(folder_.Enter());
    form_ = std::make_unique<Form1>();
    randomBlocks_.clear();
    form_->setRandomBlockObserver([this](std::span<const std::uint8_t> block) {
        const std::lock_guard lock(blocksMutex_);
        randomBlocks_.emplace_back(block.begin(), block.end());
    });
    form_->show();
}

void Form1WipeTest::cleanup() {
    form_.reset();
    folder_.Leave();
}

void Form1WipeTest::okOverwritesTheFileInPlace_data() {
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("blocks");
    QTest::newRow("empty") << 0 << 1;
    QTest::newRow("1 byte") << 1 << 1;
    QTest::newRow("250 bytes") << 250 << 1;
    QTest::newRow("251 bytes") << 251 << 2;
    QTest::newRow("500 bytes") << 500 << 2;
}

void Form1WipeTest::okOverwritesTheFileInPlace() {
    QFETCH(int, length);
    QFETCH(int, blocks);
    QVERIFY(WriteBytes(at(QStringLiteral("a.txt")), Pattern(length)));
    select(QStringLiteral("a.txt"));
    MessageBox::setNextAnswer(QMessageBox::Ok);

    wipe();

    QCOMPARE(MessageBox::answered().size(), std::size_t{1});
    const auto& box = MessageBox::answered().front();
    // The path: the list's folder, the separator, the name.
    QCOMPARE(box.text, QStringLiteral("Do you want to wipe file: ") + folder_.path() +
                           QStringLiteral("/a.txt"));
    QCOMPARE(box.title, QStringLiteral("Tolvane"));
    QCOMPARE(box.icon, QMessageBox::Warning);
    QCOMPARE(box.buttons, QMessageBox::Ok | QMessageBox::Cancel);
    QCOMPARE(box.defaultButton, QMessageBox::Ok);

    const QByteArray after = ReadBytes(at(QStringLiteral("a.txt")));
    QCOMPARE(after.size(), blocks * 250);
    QCOMPARE(after, QByteArray(blocks * 250, '\xFF'));

    // Three random sub-passes of `blocks` blocks each, none holding a 255.
    QCOMPARE(randomBlocks_.size(), std::size_t(3 * blocks));
    for (const Block& block : randomBlocks_) {
        QCOMPARE(block.size(), std::size_t{250});
        QVERIFY(std::find(block.begin(), block.end(), 255) == block.end());
    }
    QVERIFY(randomBlocks_[0] != randomBlocks_[1]);
    // The random bytes come from the seed this click took.
    Block first(250);
    WipeRandom(form_->lastWipeSeed()).Fill(first);
    QVERIFY(randomBlocks_[0] == first);

    // Still listed under its name, still selected.
    QCOMPARE(child<FileList>("File1")->fileName(), QStringLiteral("a.txt"));
}

void Form1WipeTest::cancelWritesNothing_data() { okOverwritesTheFileInPlace_data(); }

void Form1WipeTest::cancelWritesNothing() {
    QFETCH(int, length);
    QVERIFY(WriteBytes(at(QStringLiteral("a.txt")), Pattern(length)));
    select(QStringLiteral("a.txt"));
    MessageBox::setNextAnswer(QMessageBox::Cancel);
    const std::uint64_t seedBefore = form_->lastWipeSeed();

    wipe();

    QCOMPARE(MessageBox::answered().size(), std::size_t{1});
    QCOMPARE(ReadBytes(at(QStringLiteral("a.txt"))), Pattern(length));
    QVERIFY(randomBlocks_.empty());
    QVERIFY(form_->lastWipeSeed() != seedBefore); // seeded before asking
}

void Form1WipeTest::theRealBoxAsksWithOkAsTheDefault() {
    MessageBox::setAnswerAllWithDefault(false);
    QVERIFY(WriteBytes(at(QStringLiteral("b.dat")), Pattern(300)));
    select(QStringLiteral("b.dat"));

    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool okIsDefault = false, hasCancel = false;
    int buttonCount = 0;
    QTimer::singleShot(0, this, [&] {
        QMessageBox* box = nullptr;
        QTRY_VERIFY(box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()));
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        okIsDefault = box->defaultButton() == box->button(QMessageBox::Ok);
        hasCancel = box->button(QMessageBox::Cancel) != nullptr;
        buttonCount = static_cast<int>(box->buttons().size());
        QTest::keyClick(box, Qt::Key_Return); // Enter takes the default: OK
    });
    wipe();

    QCOMPARE(title, QStringLiteral("Tolvane"));
    QCOMPARE(text, QStringLiteral("Do you want to wipe file: ") + at(QStringLiteral("b.dat")));
    QCOMPARE(icon, QMessageBox::Warning);
    QVERIFY(okIsDefault);
    QVERIFY(hasCancel);
    QCOMPARE(buttonCount, 2);
    QCOMPARE(ReadBytes(at(QStringLiteral("b.dat"))), QByteArray(500, '\xFF'));
}

void Form1WipeTest::closingTheRealBoxWithEscapeWritesNothing() {
    MessageBox::setAnswerAllWithDefault(false);
    QVERIFY(WriteBytes(at(QStringLiteral("c.dat")), Pattern(10)));
    select(QStringLiteral("c.dat"));
    bool seen = false;
    QTimer::singleShot(0, this, [&] {
        QMessageBox* box = nullptr;
        QTRY_VERIFY(box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()));
        seen = true;
        QTest::keyClick(box, Qt::Key_Escape);
    });
    wipe();
    QVERIFY(seen);
    QCOMPARE(ReadBytes(at(QStringLiteral("c.dat"))), Pattern(10));
    QVERIFY(randomBlocks_.empty());
}

void Form1WipeTest::nothingSelectedSaysSoAndTakesANewSeed() {
    QVERIFY(WriteBytes(at(QStringLiteral("a.txt")), Pattern(20)));
    child<FileList>("File1")->refresh();
    QCOMPARE(child<FileList>("File1")->listIndex(), -1);
    wipe();
    const std::uint64_t first = form_->lastWipeSeed();
    wipe();
    QVERIFY(form_->lastWipeSeed() != first);
    // No question, only the notice that nothing is selected.
    QCOMPARE(MessageBox::answered().size(), std::size_t{2});
    for (const auto& shown : MessageBox::answered()) {
        QCOMPARE(shown.icon, QMessageBox::Information);
        QVERIFY2(shown.text.startsWith(QStringLiteral("No file is selected.")),
                 qPrintable(shown.text));
    }
    QCOMPARE(ReadBytes(at(QStringLiteral("a.txt"))), Pattern(20));
}

void Form1WipeTest::aVanishedFileIsReportedNotCreated() {
    QVERIFY(WriteBytes(at(QStringLiteral("gone.txt")), Pattern(20)));
    select(QStringLiteral("gone.txt"));
    QVERIFY(QFile::remove(at(QStringLiteral("gone.txt"))));
    MessageBox::setNextAnswer(QMessageBox::Ok);

    wipe();

    QCOMPARE(MessageBox::answered().size(), std::size_t{2});
    const auto& failure = MessageBox::answered().back();
    QCOMPARE(failure.icon, QMessageBox::Critical);
    QVERIFY2(failure.text.contains(at(QStringLiteral("gone.txt"))), qPrintable(failure.text));
    QVERIFY2(failure.text.contains(QStringLiteral("No such file or directory")),
             qPrintable(failure.text));
    QVERIFY(!QFile::exists(at(QStringLiteral("gone.txt"))));
    // The window goes on working.
    QVERIFY(WriteBytes(at(QStringLiteral("next.txt")), Pattern(3)));
    select(QStringLiteral("next.txt"));
    MessageBox::setNextAnswer(QMessageBox::Ok);
    wipe();
    QCOMPARE(ReadBytes(at(QStringLiteral("next.txt"))), QByteArray(250, '\xFF'));
}

void Form1WipeTest::cancelDuringTheWipeIsReported() {
    // More than one write per sub-pass, so Cancel comes before the end.
    const int length = 2 * 4096 * 250 + 17;
    QVERIFY(WriteBytes(at(QStringLiteral("big.bin")), Pattern(length)));
    select(QStringLiteral("big.bin"));
    MessageBox::setNextAnswer(QMessageBox::Ok);

    std::promise<void> pressed;
    std::shared_future<void> pressedFuture = pressed.get_future().share();
    std::atomic<int> reports{0};
    std::atomic<std::uint64_t> lastDone{0}, total{0};
    BackgroundTask::setProgressObserver([&](std::uint64_t done, std::uint64_t all) {
        lastDone = done;
        total = all;
        if (reports++ == 0)
            pressedFuture.wait_for(std::chrono::seconds(60));
    });
    BackgroundTask::setDialogDelay(0);
    bool sawDialog = false;
    QTimer watch;
    watch.setInterval(10);
    connect(&watch, &QTimer::timeout, this, [&] {
        auto* dialog = form_->findChild<QProgressDialog*>();
        if (!dialog || !dialog->isVisible() || sawDialog)
            return;
        sawDialog = true;
        // Escape in the dialog's window cancels, as its button does.
        QTest::keyClick(dialog->windowHandle(), Qt::Key_Escape);
        pressed.set_value();
    });
    watch.start();
    wipe();
    watch.stop();

    QVERIFY(sawDialog);
    QCOMPARE(reports.load(), 1);
    QVERIFY(lastDone.load() < total.load());
    QCOMPARE(MessageBox::answered().size(), std::size_t{2});
    const auto& notice = MessageBox::answered().back();
    QVERIFY2(notice.text.contains(at(QStringLiteral("big.bin"))), qPrintable(notice.text));
    QVERIFY2(notice.text.contains(QStringLiteral("cancelled")), qPrintable(notice.text));
    // Stopped after the first write of the first (zero) sub-pass.
    const QByteArray after = ReadBytes(at(QStringLiteral("big.bin")));
    QCOMPARE(after.size(), length);
    constexpr int kFirstWrite = static_cast<int>(kWipeBlocksPerWrite * kWipeBlockBytes);
    QCOMPARE(after.left(kFirstWrite), QByteArray(kFirstWrite, '\0'));
    QCOMPARE(after.mid(kFirstWrite), Pattern(length).mid(kFirstWrite));
}

QTEST_MAIN(Form1WipeTest)
#include "Form1WipeTest.moc"
