#include "app/qt/FolderReading.h"

#include <QCoreApplication>
#include <algorithm>
#include <filesystem>
#include <system_error>

#include "app/commands/Messages.h"
#include "app/qt/NativePath.h"

namespace quillmoor::app {

namespace {

// The system's reason when `folder` cannot be listed (QDir does not say).
bool Unreadable(const QString& folder, QString& reason) {
    std::error_code error;
    std::filesystem::directory_iterator probe(std::filesystem::path(NativePath(folder)), error);
    if (error)
        reason = QString::fromLocal8Bit(error.message());
    return static_cast<bool>(error);
}

} // namespace

bool ReadFolder(const QString& folder, QDir::Filters kind, QStringList& names, QString& reason) {
    if (Unreadable(folder, reason))
        return false;
    const QDir dir(folder);
    names = dir.entryList(kind | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    return true;
}

bool ReadFileNames(const QString& folder, std::vector<QByteArray>& names, QString& reason) {
    std::error_code error;
    std::filesystem::directory_iterator at(std::filesystem::path(NativePath(folder)), error);
    if (error) {
        reason = QString::fromLocal8Bit(error.message());
        return false;
    }
    std::vector<QByteArray> read;
    for (; !error && at != std::filesystem::directory_iterator(); at.increment(error)) {
        const std::string name = at->path().filename().native();
        std::error_code ignored;
        if (!name.empty() && name.front() != '.' && at->is_regular_file(ignored))
            read.push_back(QByteArray::fromStdString(name));
    }
    // As a person reads them, and the same shown text by its bytes.
    const auto shown = [](const QByteArray& name) {
        return QString::fromStdString(commands::DisplayName(name.toStdString()));
    };
    std::sort(read.begin(), read.end(), [&](const QByteArray& a, const QByteArray& b) {
        const int order = shown(a).compare(shown(b), Qt::CaseInsensitive);
        return order != 0 ? order < 0 : a < b;
    });
    names = std::move(read);
    return true;
}

bool MoveToFolder(const QString& folder, QString& path, QFileSystemWatcher& watcher,
                  const std::function<bool(const QString& clean, QString& why)>& read,
                  QString* reason) {
    const QString clean = QDir::cleanPath(QDir(folder).absolutePath());
    QString why;
    if (!read(clean, why)) {
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
