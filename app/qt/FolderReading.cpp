#include "app/qt/FolderReading.h"

#include <QCoreApplication>
#include <filesystem>
#include <system_error>

#include "app/qt/NativePath.h"

namespace quillmoor::app {

bool ReadFolder(const QString& folder, QDir::Filters kind, QStringList& names, QString& reason) {
    // QDir does not say why a folder cannot be read; the system does.
    std::error_code error;
    std::filesystem::directory_iterator probe(std::filesystem::path(NativePath(folder)), error);
    if (error) {
        reason = QString::fromLocal8Bit(error.message());
        return false;
    }
    const QDir dir(folder);
    names = dir.entryList(kind | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    return true;
}

bool MoveToFolder(const QString& folder, QDir::Filters kind, QString& path,
                  QFileSystemWatcher& watcher, QStringList& names, QString* reason) {
    const QString clean = QDir::cleanPath(QDir(folder).absolutePath());
    QString why;
    if (!ReadFolder(clean, kind, names, why)) {
        if (reason)
            *reason = why;
        return false;
    }
    if (!path.isEmpty())
        watcher.removePath(path);
    path = clean;
    watcher.addPath(path);
    return true;
}

} // namespace quillmoor::app
