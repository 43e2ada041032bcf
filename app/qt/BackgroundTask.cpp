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

#include "app/qt/LayoutScale.h"

namespace quillmoor::app {

namespace {

constexpr int kDefaultDialogDelayMs = 500;
// The worker only stores numbers; the dialog reads them at this pace, so a
// fast operation costs no signal per chunk.
constexpr int kPollIntervalMs = 50;
constexpr int kProgressSteps = 1000;
// The dialog keeps one width whatever the path; the label's text is elided
// to fit inside it (the dialog's margins are smaller than the allowance).
constexpr int kDialogWidth = 360;
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
    const int width = static_cast<int>((kDialogWidth - kLabelAllowance) * scale);
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
int BackgroundTask::dialogDelay_ = kDefaultDialogDelayMs;
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

void BackgroundTask::run(QWidget* parent, const QString& label, const Job& job) {
    std::atomic<std::uint64_t> done{0}, total{0};
    std::atomic<bool> cancelled{false};
    const auto observer = observer_;
    const ProgressCallback progress = [&](std::uint64_t d, std::uint64_t t) {
        done.store(d, std::memory_order_relaxed);
        total.store(t, std::memory_order_relaxed);
        if (observer)
            observer(d, t);
        return !cancelled.load();
    };

    QProgressDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("ProgressDialog"));
    const double scale = LayoutScaleFor(&dialog);
    dialog.setLabel(ProgressLabel(label, scale));
    dialog.setCancelButtonText(tr("Cancel"));
    dialog.setRange(0, kProgressSteps);
    dialog.setFixedWidth(static_cast<int>(kDialogWidth * scale));
    dialog.setWindowTitle(tr("Quillmoor"));
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setAutoClose(false);
    dialog.setAutoReset(false);
    // The dialog's own timer is kept out of the way; ours shows it.
    dialog.setMinimumDuration(INT_MAX);
    dialog.hide();

    BackgroundTask filter(&dialog);
    qApp->installEventFilter(&filter);
    busy_ = true;
    current_ = &dialog;
    cancelFlag_ = &cancelled;

    std::exception_ptr failure;
    std::unique_ptr<QThread> worker(QThread::create([&] {
        try {
            job(progress);
        } catch (...) {
            failure = std::current_exception();
        }
    }));

    QEventLoop loop;
    QObject::connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit);
    QObject::connect(&dialog, &QProgressDialog::canceled, &dialog, [&] { cancelled.store(true); });
    QTimer showTimer;
    showTimer.setSingleShot(true);
    QObject::connect(&showTimer, &QTimer::timeout, &dialog, [&] {
        if (!cancelled.load())
            dialog.show();
    });
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &dialog, [&] {
        const std::uint64_t t = total.load(std::memory_order_relaxed);
        if (t > 0 && dialog.isVisible())
            dialog.setValue(
                static_cast<int>(done.load(std::memory_order_relaxed) * kProgressSteps / t));
    });

    worker->start();
    showTimer.start(dialogDelay_);
    poll.start(kPollIntervalMs);
    loop.exec();
    worker->wait();
    poll.stop();
    showTimer.stop();
    dialog.hide();
    busy_ = false;
    current_ = nullptr;
    cancelFlag_ = nullptr;
    qApp->removeEventFilter(&filter);
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace quillmoor::app
