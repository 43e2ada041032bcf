#include "app/qt/BackgroundTask.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QLabel>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>
#include <QWindow>
#include <atomic>
#include <climits>
#include <exception>
#include <memory>

#include "app/commands/WindowDecisions.h"
#include "app/qt/LayoutScale.h"

namespace quillmoor::app {

namespace {

using commands::kProgressPace;

// The worker only stores numbers; the dialog reads them at the pace's
// refresh, so a fast operation costs no signal per chunk. The dialog keeps
// one width whatever the path; the label's text is elided to fit inside it
// (the dialog's margins are smaller than the allowance).
constexpr int kLabelAllowance = 40;

bool IsUserInput(QEvent::Type type) {
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::Wheel:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::ContextMenu:
    case QEvent::Drop: return true;
    default: return false;
    }
}

// True when `widget` is `dialog` or a window opened over it.
bool Within(const QWidget* widget, const QWidget* dialog) {
    for (; widget; widget = widget->parentWidget())
        if (widget == dialog)
            return true;
    return false;
}

bool Within(const QWindow* window, const QWindow* dialog) {
    for (; window; window = window->transientParent())
        if (window == dialog)
            return true;
    return false;
}

// The label of the dialog: plain text, so a file name never reads as
// markup; the full text stays in its tooltip.
QLabel* ProgressLabel(const QString& text, double scale) {
    auto* label = new QLabel;
    label->setObjectName(QStringLiteral("ProgressLabel"));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(false);
    const int width = static_cast<int>((kProgressPace.widthPixels - kLabelAllowance) * scale);
    label->setText(ElidedProgressText(text, label->fontMetrics(), width));
    label->setToolTip(text);
    label->setAccessibleName(text);
    return label;
}

} // namespace

QString ElidedProgressText(const QString& text, const QFontMetrics& metrics, int width) {
    return metrics.elidedText(text, Qt::ElideMiddle, width);
}

bool BackgroundTask::busy_ = false;
QWidget* BackgroundTask::current_ = nullptr;
std::atomic<bool>* BackgroundTask::cancelFlag_ = nullptr;
int BackgroundTask::dialogDelay_ = static_cast<int>(kProgressPace.delayMs);
std::function<void(std::uint64_t, std::uint64_t)> BackgroundTask::observer_;

BackgroundTask::BackgroundTask(QWidget* dialog) : dialog_(dialog) {}

bool BackgroundTask::busy() { return busy_; }

QWidget* BackgroundTask::dialog() { return current_; }

void BackgroundTask::cancel() {
    if (cancelFlag_)
        cancelFlag_->store(true);
}

void BackgroundTask::setDialogDelay(int ms) { dialogDelay_ = ms; }

void BackgroundTask::setProgressObserver(
    std::function<void(std::uint64_t, std::uint64_t)> observer) {
    observer_ = std::move(observer);
}

bool BackgroundTask::eventFilter(QObject* watched, QEvent* event) {
    if (!IsUserInput(event->type()))
        return false;
    // Input reaches the dialog's native window before its widgets; both
    // must pass. So must a box opened over the dialog.
    if (auto* window = qobject_cast<QWindow*>(watched))
        return !Within(window, dialog_->windowHandle());
    if (auto* widget = qobject_cast<QWidget*>(watched))
        return !Within(widget, dialog_);
    return false;
}

namespace {

// What the worker reports and the dialog reads.
struct Reports {
    std::atomic<std::uint64_t> done{0}, total{0};
    std::atomic<bool> cancelled{false};
};

// Hidden until the delay has passed; modal over the whole application.
void SetUpDialog(QProgressDialog& dialog, const QString& label) {
    dialog.setObjectName(QStringLiteral("ProgressDialog"));
    const double scale = LayoutScaleFor(&dialog);
    dialog.setLabel(ProgressLabel(label, scale));
    dialog.setCancelButtonText(QCoreApplication::translate("BackgroundTask", "Cancel"));
    dialog.setRange(0, kProgressPace.steps);
    dialog.setFixedWidth(static_cast<int>(kProgressPace.widthPixels * scale));
    dialog.setWindowTitle(QCoreApplication::translate("BackgroundTask", "Quillmoor"));
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setAutoClose(false);
    dialog.setAutoReset(false);
    // The dialog's own timer is kept out of the way; ours shows it.
    dialog.setMinimumDuration(INT_MAX);
    dialog.hide();
}

// Runs the event loop until `worker` finishes, showing `dialog` after
// `delayMs` and moving its bar at the pace's refresh.
void WaitFor(QThread& worker, QProgressDialog& dialog, Reports& reports, int delayMs) {
    QEventLoop loop;
    QObject::connect(&worker, &QThread::finished, &loop, &QEventLoop::quit);
    QObject::connect(&dialog, &QProgressDialog::canceled, &dialog,
                     [&] { reports.cancelled.store(true); });
    QTimer showTimer;
    showTimer.setSingleShot(true);
    QObject::connect(&showTimer, &QTimer::timeout, &dialog, [&] {
        if (!reports.cancelled.load())
            dialog.show();
    });
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &dialog, [&] {
        const std::uint64_t t = reports.total.load(std::memory_order_relaxed);
        if (t > 0 && dialog.isVisible())
            dialog.setValue(static_cast<int>(reports.done.load(std::memory_order_relaxed) *
                                             kProgressPace.steps / t));
    });
    worker.start();
    showTimer.start(delayMs);
    poll.start(static_cast<int>(kProgressPace.refreshMs));
    loop.exec();
    worker.wait();
}

} // namespace

void BackgroundTask::run(QWidget* parent, const QString& label, const Job& job) {
    Reports reports;
    const auto observer = observer_;
    const ProgressCallback progress = [&](std::uint64_t d, std::uint64_t t) {
        reports.done.store(d, std::memory_order_relaxed);
        reports.total.store(t, std::memory_order_relaxed);
        if (observer)
            observer(d, t);
        return !reports.cancelled.load();
    };

    QProgressDialog dialog(parent);
    SetUpDialog(dialog, label);
    BackgroundTask filter(&dialog);
    qApp->installEventFilter(&filter);
    busy_ = true;
    current_ = &dialog;
    cancelFlag_ = &reports.cancelled;

    std::exception_ptr failure;
    std::unique_ptr<QThread> worker(QThread::create([&] {
        try {
            job(progress);
        } catch (...) {
            failure = std::current_exception();
        }
    }));
    WaitFor(*worker, dialog, reports, dialogDelay_);
    dialog.hide();
    busy_ = false;
    current_ = nullptr;
    cancelFlag_ = nullptr;
    qApp->removeEventFilter(&filter);
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace quillmoor::app
