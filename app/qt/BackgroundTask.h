#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <functional>

#include "common/Progress.h"

class QFontMetrics;
class QWidget;

namespace quillmoor::app {

// Runs one long file operation on a worker thread while the window waits.
// A modal progress dialog appears once the work has taken about half a
// second; its Cancel makes the progress callback return false. Until the
// work ends, user input to every other window is swallowed, so no second
// command can start and change the key state under the first.
class BackgroundTask : public QObject {
    Q_OBJECT

  public:
    using Job = std::function<void(const ProgressCallback& progress)>;

    // Returns when the job has finished; an exception thrown by the job is
    // rethrown here, on the calling thread.
    static void run(QWidget* parent, const QString& label, const Job& job);

    static bool busy();
    // The progress dialog of the running task (shown or not yet), else
    // nullptr. A box opened over it takes input while the task runs.
    static QWidget* dialog();
    // Cancels the running task, as its Cancel button does.
    static void cancel();

    // For tests: show the dialog after `ms` instead of the usual delay.
    static void setDialogDelay(int ms);
    // For tests: called on the worker thread at every progress report,
    // before the cancel flag is read.
    static void setProgressObserver(std::function<void(std::uint64_t, std::uint64_t)> observer);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    explicit BackgroundTask(QWidget* dialog);

    QWidget* dialog_;
    static bool busy_;
    static QWidget* current_;
    static std::atomic<bool>* cancelFlag_;
    static int dialogDelay_;
    static std::function<void(std::uint64_t, std::uint64_t)> observer_;
};

// The dialog's label for `text` in `width` pixels: elided in the middle,
// so a long path keeps its start and its file name.
QString ElidedProgressText(const QString& text, const QFontMetrics& metrics, int width);

} // namespace quillmoor::app
