#include "app/qt/Form1.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QUrl>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "app/commands/Messages.h"
#include "app/commands/WindowDecisions.h"
#include "app/commands/Wipe.h"
#include "app/qt/Accessibility.h"
#include "app/qt/AppIcon.h"
#include "app/qt/BackgroundTask.h"
#include "app/qt/Controls.h"
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

// The control `name` that BuildWindow made.
template <typename Widget> Widget* Child(QWidget* window, const char* name) {
    return window->findChild<Widget*>(QLatin1String(name), Qt::FindDirectChildrenOnly);
}

// A dragged URL's path by its own bytes: the percent-encoding keeps a name
// that is not valid UTF-8, which the URL's text would not.
std::string LocalPathOf(const QUrl& url) {
    return QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString();
}

HandedKind KindOf(const std::string& path) {
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (error || !std::filesystem::exists(status))
        return HandedKind::Missing;
    return std::filesystem::is_directory(status) ? HandedKind::Folder : HandedKind::File;
}

// The local paths of a drag, by their bytes.
std::vector<std::string> DraggedPaths(const QMimeData* mime) {
    std::vector<std::string> paths;
    if (mime && mime->hasUrls())
        for (const QUrl& url : mime->urls())
            if (url.isLocalFile())
                paths.push_back(LocalPathOf(url));
    return paths;
}

DropChoice ChooseFrom(const std::vector<std::string>& paths) {
    std::vector<HandedKind> kinds;
    for (const std::string& path : paths)
        kinds.push_back(KindOf(path));
    return ChooseDropped(kinds);
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
    setWindowIcon(AppIcon());
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
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
    BuildWindow(this, kForm1);
    label1_ = Child<QLabel>(this, "Label1");
    text1_ = Child<QLineEdit>(this, "Text1");
    label2_ = Child<QLabel>(this, "Label2");
    text2_ = Child<QLineEdit>(this, "Text2");
    command1_ = Child<QPushButton>(this, "Command1");
    check1_ = Child<QCheckBox>(this, "Check1");
    drive1_ = Child<DriveList>(this, "Drive1");
    dir1_ = Child<DirList>(this, "Dir1");
    file1_ = Child<FileList>(this, "File1");
    command2_ = Child<QPushButton>(this, "Command2");
    command3_ = Child<QPushButton>(this, "Command3");
    command4_ = Child<QPushButton>(this, "Command4");
    command5_ = Child<QPushButton>(this, "Command5");

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

void Form1::keyPressEvent(QKeyEvent* event) {
    // F5 reads the three lists again, as in a file manager; the controls
    // pass it on to the window.
    if (event->key() == Qt::Key_F5 && event->modifiers() == Qt::NoModifier) {
        refreshLists();
        return;
    }
    QWidget::keyPressEvent(event);
}

void Form1::refreshLists() {
    drive1_->reload();
    drive1_->showDriveOf(dir1_->path());
    dir1_->refresh();
    file1_->refresh();
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
    return file1_->selectedNativeName().toStdString();
}

void Form1::runFileCommand(Operation operation) {
    CommandRequest request;
    request.operation = operation;
    request.keyText = BoxText(*text2_);
    request.folder = NativePath(file1_->path());
    request.fileName = selectedName();
    const std::optional<Box> stale =
        StaleKeyBox(operation, request.fileName.has_value(), BoxText(*text1_), request.keyText);
    if (stale && MessageBox::show(this, *stale) != BoxAnswer::Yes)
        return;
    const QString label = QString::fromStdString(ProgressLabel(
        operation == Operation::Encrypt ? Command::Encrypt : Command::Decrypt,
        request.fileName ? SourcePath(request.folder, *request.fileName) : std::string()));

    CommandOutcome outcome;
    BackgroundTask::run(this, label, [&](const ProgressCallback& progress) {
        request.progress = progress;
        outcome = RunFileCommand(request);
    });
    request.keyText.Wipe();

    finishCommand(outcome);
}

void Form1::finishCommand(const CommandOutcome& outcome) {
    if (const std::optional<Box> box = OutcomeBox(outcome))
        MessageBox::show(this, *box);
    if (RereadsFileList(outcome))
        file1_->refresh();
    // A close asked for during the work, and answered with its cancel.
    if (std::exchange(closeWhenDone_, false))
        close();
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
        finishCommand(RunWipeCommand(request));
        return;
    }
    const std::string path = SourcePath(request.folder, *request.fileName);
    if (MessageBox::show(this, WipeQuestionBox(path)) != BoxAnswer::Ok)
        return;

    CommandOutcome outcome;
    BackgroundTask::run(this, QString::fromStdString(ProgressLabel(Command::Wipe, path)),
                        [&](const ProgressCallback& progress) {
                            request.progress = progress;
                            outcome = RunWipeCommand(request);
                        });
    finishCommand(outcome);
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

bool Form1::showFile(const QString& filePath) { return showNativeFile(NativePath(filePath)); }

bool Form1::showNativeFile(const std::string& filePath) {
    const std::filesystem::path path(filePath);
    const QString folder = FromNativePath(path.parent_path().native());
    QString reason;
    if (!dir1_->setPath(folder, &reason)) {
        MessageBox::error(this, ListFailure(ListEntry::Folder, folder, reason));
        return false;
    }
    return file1_->selectNativeName(QByteArray::fromStdString(path.filename().native()));
}

bool Form1::openFile(const QString& path) { return openNativeFile(NativePath(path)); }

bool Form1::openNativeFile(const std::string& given) {
    std::error_code error;
    const std::string path = std::filesystem::absolute(given, error).native();
    const HandedKind kind = KindOf(path);
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    const int openError = kind == HandedKind::Folder ? 0 : OpenForReadingError(path);
    const HandedPlan plan =
        PlanForHandedPath(path, kind, openError, std::filesystem::is_directory(folder, error));
    bool shown = false;
    if (plan.showFolder && kind == HandedKind::Folder)
        shown = dir1_->setPath(FromNativePath(path));
    else if (plan.showFolder)
        shown = showNativeFile(path);
    if (plan.box)
        MessageBox::show(this, *plan.box);
    return shown && !plan.box;
}

void Form1::dragEnterEvent(QDragEnterEvent* event) {
    if (ChooseFrom(DraggedPaths(event->mimeData())).take)
        event->acceptProposedAction();
}

void Form1::dropEvent(QDropEvent* event) {
    const std::vector<std::string> paths = DraggedPaths(event->mimeData());
    const DropChoice choice = ChooseFrom(paths);
    if (!choice.take)
        return;
    event->acceptProposedAction();
    const std::string& file = paths[*choice.take];
    if (openNativeFile(file) && choice.tellOneAtATime)
        MessageBox::show(this, OneFileAtATimeBox(file));
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
    const CloseDecision decision =
        DecideCloseDuringWork(MessageBox::show(dialog, CloseDuringWorkBox()));
    if (decision.cancelWork)
        BackgroundTask::cancel();
    return decision.closeWhenDone;
}

void Form1::closeEvent(QCloseEvent* event) {
    // A file operation must finish or be cancelled first.
    if (BackgroundTask::busy()) {
        event->ignore();
        if (askToCancelWork())
            closeWhenDone_ = true;
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
