#pragma once

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QWidget>

#include "app/FileList.h"
#include "app/Form2.h"

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

inline void RunDeferredDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace quillmoor::test
