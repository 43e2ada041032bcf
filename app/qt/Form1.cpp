#include "app/qt/Form1.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QUrl>
#include <optional>
#include <string>

#include "app/commands/Messages.h"
#include "app/commands/Wipe.h"
#include "app/qt/Accessibility.h"
#include "app/qt/AppIcon.h"
#include "app/qt/BackgroundTask.h"
#include "app/qt/DirList.h"
#include "app/qt/DriveList.h"
#include "app/qt/FileList.h"
#include "app/qt/FitCaptions.h"
#include "app/qt/Form2.h"
#include "app/qt/LayoutScale.h"
#include "app/qt/MessageBox.h"
#include "app/qt/NativePath.h"
#include "app/qt/PasswordStarStyle.h"
#include "common/Secret.h"

namespace quillmoor::app {

using namespace commands;

namespace {

template <typename Widget> Widget* Place(Widget* widget, const char* name, const QRect& geometry) {
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(geometry);
    return widget;
}

// The first local file of a drag, else empty; `more` tells whether
// anything else was dragged with it.
QString DraggedFile(const QMimeData* mime, bool* more = nullptr) {
    if (!mime || !mime->hasUrls())
        return {};
    const QList<QUrl> urls = mime->urls();
    for (const QUrl& url : urls)
        if (url.isLocalFile() && QFileInfo(url.toLocalFile()).isFile()) {
            if (more)
                *more = urls.size() > 1;
            return url.toLocalFile();
        }
    return {};
}

// The lists' failure sentence, worded by the command layer.
QString ListFailure(ListEntry entry, const QString& path, const QString& reason) {
    return QString::fromStdString(
        ListFailureMessage(entry, NativePath(path), reason.toStdString()));
}

// A box's text as a secret, copied straight from the widget's own string.
SecretText16 BoxText(const QLineEdit& box) {
    const QString text = box.text();
    return {reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())};
}

} // namespace

Form1::Form1(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(tr("Quillmoor"));
    setWindowIcon(AppIcon());
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(328, 256);
    setAcceptDrops(true);
    createControls();
    // A larger font grows the layout; captions are then fitted as drawn.
    const double scale = LayoutScaleFor(this);
    ScaleLayout(this, scale);
    FitCaptions(this, scale);
    DescribeControls(this);
    LetEnterPressFocusedButtons(this);

    // The lists start on the working folder.
    const QString start = QDir::currentPath();
    drive1_->showDriveOf(start);
    if (!dir1_->setPath(start))
        dir1_->setPath(drive1_->drive());
    text1_->setFocus();
}

Form1::~Form1() { delete about_.data(); }

void Form1::createControls() {
    label1_ = Place(new QLabel(tr("Password"), this), "Label1", {8, 8, 49, 17});
    text1_ = Place(new QLineEdit(this), "Text1", {64, 8, 201, 19});
    label2_ = Place(new QLabel(tr("Key"), this), "Label2", {8, 32, 33, 17});
    text2_ = Place(new QLineEdit(this), "Text2", {64, 32, 201, 19});
    command1_ = Place(new QPushButton(tr("MD5"), this), "Command1", {272, 8, 41, 17});
    check1_ = Place(new QCheckBox(tr("Hide"), this), "Check1", {272, 32, 49, 17});
    drive1_ = Place(new DriveList(this), "Drive1", {8, 192, 153, 21});
    dir1_ = Place(new DirList(this), "Dir1", {8, 64, 153, 126});
    file1_ = Place(new FileList(this), "File1", {168, 64, 153, 149});
    command2_ = Place(new QPushButton(tr("Encrypt"), this), "Command2", {8, 224, 97, 25});
    command3_ = Place(new QPushButton(tr("Decrypt"), this), "Command3", {112, 224, 97, 25});
    command4_ = Place(new QPushButton(tr("Wipe"), this), "Command4", {224, 224, 73, 25});
    command5_ = Place(new QPushButton(tr("?"), this), "Command5", {304, 224, 17, 25});

    // A dropped file goes to the window, not into a box as text.
    text1_->setAcceptDrops(false);
    text2_->setAcceptDrops(false);

    // Created after the boxes, so it is deleted after them.
    auto* stars = new PasswordStarStyle;
    stars->setParent(this);
    text1_->setStyle(stars);
    text2_->setStyle(stars);
    text1_->setEchoMode(QLineEdit::Password);
    text2_->setEchoMode(QLineEdit::Password);
    check1_->setChecked(true);

    QWidget* order[] = {text1_, text2_,    command1_, check1_,   drive1_,  dir1_,
                        file1_, command2_, command3_, command4_, command5_};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    connect(check1_, &QCheckBox::toggled, this, &Form1::hideClicked);
    connect(command1_, &QPushButton::clicked, this, &Form1::md5Clicked);
    connect(command2_, &QPushButton::clicked, this, &Form1::encryptClicked);
    connect(command3_, &QPushButton::clicked, this, &Form1::decryptClicked);
    connect(command4_, &QPushButton::clicked, this, &Form1::wipeClicked);
    connect(command5_, &QPushButton::clicked, this, &Form1::aboutClicked);
    connect(drive1_, &DriveList::driveChanged, this, &Form1::driveChanged);
    connect(dir1_, &DirList::pathChanged, this, &Form1::folderChanged);
    connect(dir1_, &DirList::openFailed, this, &Form1::folderOpenFailed);
}

Form2* Form1::aboutWindow() const { return about_.data(); }

void Form1::setRandomBlockObserver(std::function<void(std::span<const std::uint8_t>)> observer) {
    randomBlockObserver_ = std::move(observer);
}

void Form1::hideClicked() {
    const auto mode = check1_->isChecked() ? QLineEdit::Password : QLineEdit::Normal;
    text1_->setEchoMode(mode);
    text2_->setEchoMode(mode);
}

void Form1::md5Clicked() {
    const SecretText16 digest = KeyTextFromPassword(BoxText(*text1_));
    text2_->setText(QString::fromUtf16(digest.data(), static_cast<qsizetype>(digest.size())));
}

void Form1::encryptClicked() { runFileCommand(Operation::Encrypt); }

void Form1::decryptClicked() { runFileCommand(Operation::Decrypt); }

std::optional<std::string> Form1::selectedName() const {
    if (file1_->listIndex() < 0)
        return std::nullopt;
    return NativePath(file1_->fileName());
}

void Form1::runFileCommand(Operation operation) {
    CommandRequest request;
    request.operation = operation;
    request.keyText = BoxText(*text2_);
    request.folder = NativePath(file1_->path());
    request.fileName = selectedName();
    const QString label = QString::fromStdString(ProgressLabel(
        operation == Operation::Encrypt ? Command::Encrypt : Command::Decrypt,
        request.fileName ? SourcePath(request.folder, *request.fileName) : std::string()));

    CommandOutcome outcome;
    BackgroundTask::run(this, label, [&](const ProgressCallback& progress) {
        request.progress = progress;
        outcome = RunFileCommand(request);
    });
    request.keyText.Wipe();

    showOutcome(outcome);
    // Whatever the file routine did, the list shows the folder as it is now.
    if (outcome.status == CommandStatus::Done || outcome.status == CommandStatus::Cancelled ||
        outcome.status == CommandStatus::Failed)
        file1_->refresh();
}

void Form1::showOutcome(const CommandOutcome& outcome) {
    const QString text = QString::fromStdString(OutcomeMessage(outcome, Frame::Window));
    if (text.isEmpty())
        return;
    const bool failed =
        outcome.status == CommandStatus::Failed || outcome.status == CommandStatus::KeyRefused;
    if (failed)
        MessageBox::error(this, text);
    else
        MessageBox::show(this, QMessageBox::Information, tr("Quillmoor"), text, QMessageBox::Ok,
                         QMessageBox::Ok);
}

void Form1::wipeClicked() {
    // A fresh seed at every click, before anything else.
    lastWipeSeed_ = ClockSeed();
    WipeRequest request;
    request.folder = NativePath(file1_->path());
    request.fileName = selectedName();
    request.seed = lastWipeSeed_;
    request.randomBlockObserver = randomBlockObserver_;
    if (!request.fileName) {
        showOutcome(RunWipeCommand(request));
        return;
    }
    const std::string path = SourcePath(request.folder, *request.fileName);
    const auto answer = MessageBox::show(this, QMessageBox::Warning, tr("Tolvane"),
                                         QString::fromStdString(WipeQuestion(path)),
                                         QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok);
    if (answer != QMessageBox::Ok)
        return;

    CommandOutcome outcome;
    BackgroundTask::run(this, QString::fromStdString(ProgressLabel(Command::Wipe, path)),
                        [&](const ProgressCallback& progress) {
                            request.progress = progress;
                            outcome = RunWipeCommand(request);
                        });
    showOutcome(outcome);
}

void Form1::aboutClicked() {
    if (!about_) {
        about_ = new Form2;
        about_->setAttribute(Qt::WA_DeleteOnClose);
    }
    about_->show();
    about_->raise();
    about_->activateWindow();
}

void Form1::driveChanged(const QString& drive) {
    const QString folder = drive1_->currentFolder();
    QString reason;
    if (dir1_->setPath(folder, &reason))
        return;
    // The folder last shown there may have gone; the drive's root may not.
    if (folder != drive && dir1_->setPath(drive, &reason))
        return;
    MessageBox::error(this, ListFailure(ListEntry::Drive, drive, reason));
    drive1_->showDriveOf(dir1_->path());
}

void Form1::folderChanged(const QString& folder) {
    drive1_->showDriveOf(folder);
    QString reason;
    if (!file1_->setPath(folder, &reason))
        MessageBox::error(this, ListFailure(ListEntry::Folder, folder, reason));
}

void Form1::folderOpenFailed(const QString& folder, const QString& reason) {
    MessageBox::error(this, ListFailure(ListEntry::Folder, folder, reason));
}

bool Form1::showFile(const QString& filePath) {
    const QFileInfo info(filePath);
    QString reason;
    if (!dir1_->setPath(info.absolutePath(), &reason)) {
        MessageBox::error(this, ListFailure(ListEntry::Folder, info.absolutePath(), reason));
        return false;
    }
    return file1_->selectFile(info.fileName());
}

bool Form1::openFile(const QString& path) {
    const QFileInfo info(path);
    if (info.isDir())
        return dir1_->setPath(info.absoluteFilePath());
    const QString absolute = info.absoluteFilePath();
    if (const int error = OpenForReadingError(NativePath(absolute)); error != 0) {
        if (info.absoluteDir().exists())
            showFile(absolute);
        MessageBox::error(this,
                          QString::fromStdString(OpenFailedMessage(NativePath(absolute), error)));
        return false;
    }
    return showFile(absolute);
}

void Form1::dragEnterEvent(QDragEnterEvent* event) {
    if (!DraggedFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void Form1::dropEvent(QDropEvent* event) {
    bool more = false;
    const QString file = DraggedFile(event->mimeData(), &more);
    if (file.isEmpty())
        return;
    event->acceptProposedAction();
    if (openFile(file) && more)
        MessageBox::show(this, QMessageBox::Information, tr("Quillmoor"),
                         QString::fromStdString(OneFileAtATimeMessage(NativePath(file))),
                         QMessageBox::Ok, QMessageBox::Ok);
}

bool Form1::askToCancelWork() {
    // One question at a time, however often the close box is clicked.
    static bool asking = false;
    if (asking)
        return false;
    const QScopedValueRollback<bool> guard(asking, true);
    // Shown over the progress dialog, the one window that takes input now.
    QWidget* dialog = BackgroundTask::dialog();
    dialog->show();
    const auto answer = MessageBox::show(dialog, QMessageBox::Question, tr("Quillmoor"),
                                         QString::fromStdString(CloseWhileBusyQuestion()),
                                         QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer == QMessageBox::Yes)
        BackgroundTask::cancel();
    return answer == QMessageBox::Yes;
}

void Form1::closeEvent(QCloseEvent* event) {
    // A file operation must finish or be cancelled first.
    if (BackgroundTask::busy()) {
        event->ignore();
        askToCancelWork();
        return;
    }
    const QString crosses(100, QLatin1Char('x'));
    text1_->setText(crosses);
    text2_->setText(crosses);
    if (about_)
        about_->close();
    // No key schedule outlives the window.
    ClearKeyState();
    event->accept();
}

} // namespace quillmoor::app
