#pragma once

#include <QByteArray>
#include <QDir>
#include <QFileSystemWatcher>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

namespace quillmoor::app {

// Names in `folder` of the given kind, sorted as a person reads them, or
// false with the system's reason when the folder cannot be listed. Hidden
// entries are left out, as the lists have always done.
bool ReadFolder(const QString& folder, QDir::Filters kind, QStringList& names, QString& reason);

// The files of `folder` (and links to files) by their own bytes, which a
// QString would not keep when they are not valid UTF-8; hidden ones left
// out, sorted as ReadFolder sorts. False with the system's reason when the
// folder cannot be listed.
bool ReadFileNames(const QString& folder, std::vector<QByteArray>& names, QString& reason);

// Moves a list from the folder `path` to `folder`: `read` reads its names
// from the cleaned path and, when that works, the new folder is watched
// instead of the old one. When the folder cannot be read nothing changes,
// false is returned and `reason` says why.
bool MoveToFolder(const QString& folder, QString& path, QFileSystemWatcher& watcher,
                  const std::function<bool(const QString& clean, QString& why)>& read,
                  QString* reason);

} // namespace quillmoor::app
