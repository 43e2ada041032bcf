#pragma once

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <memory>

#include "app/qt/BackgroundTask.h"
#include "app/qt/FileList.h"
#include "app/qt/Form1.h"
#include "app/qt/Form2.h"
#include "app/qt/MessageBox.h"

namespace quillmoor::test {

inline bool WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

inline QByteArray ReadBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Bytes that are not all alike, so a wrong offset or a lost block shows.
inline QByteArray Pattern(int size) {
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + 3) % 251);
    return bytes;
}

// The About windows that exist (visible or not) and are not being deleted.
inline QList<app::Form2*> AboutWindows() {
    QList<app::Form2*> found;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* about = qobject_cast<app::Form2*>(widget))
            found.append(about);
    return found;
}

// The control called `name` in `window`; a test without it cannot go on.
template <typename T> T* Child(QWidget* window, const char* name) {
    T* found = window->findChild<T*>(QLatin1String(name));
    if (!found)
        qFatal("no control %s", name);
    return found;
}

// Re-reads File1 of `window` and selects `name` in it, as a click would.
inline bool SelectInFileList(QWidget* window, const QString& name) {
    auto* list = Child<app::FileList>(window, "File1");
    list->refresh();
    return list->selectFile(name);
}

// A fresh folder made the working folder (where a new window's lists
// start), with every message box answering itself so no test blocks on one.
// Leave() puts everything back; call it once the window has gone.
class TestFolder {
  public:
    [[nodiscard]] bool Enter() {
        start_ = QDir::currentPath();
        dir_ = std::make_unique<QTemporaryDir>();
        if (!dir_->isValid() || !QDir::setCurrent(dir_->path()))
            return false;
        app::MessageBox::clearAnswered();
        app::MessageBox::setAnswerAllWithDefault(true);
        return true;
    }

    void Leave() {
        app::BackgroundTask::setProgressObserver(nullptr);
        app::BackgroundTask::setDialogDelay(500);
        QDir::setCurrent(start_);
        dir_.reset();
        app::MessageBox::setAnswerAllWithDefault(false);
    }

    QString path() const { return dir_->path(); }
    QString at(const QString& name) const { return path() + QLatin1Char('/') + name; }

  private:
    std::unique_ptr<QTemporaryDir> dir_;
    QString start_;
};

// What the main-window test classes share: the test folder, the window, and
// finding, naming and selecting things in it. Each class makes the window in
// its own init() and drops it in cleanup().
class Form1TestBase : public QObject {
  protected:
    template <typename T> T* child(const char* name) { return Child<T>(form_.get(), name); }
    QString at(const QString& name) const { return folder_.at(name); }
    void select(const QString& name) { QVERIFY(SelectInFileList(form_.get(), name)); }

    TestFolder folder_;
    std::unique_ptr<app::Form1> form_;
};

inline void RunDeferredDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace quillmoor::test
