#pragma once

#include <QDir>
#include <QFileSystemWatcher>
#include <QString>
#include <QStringList>

namespace quillmoor::app {

// Names in `folder` of the given kind, sorted as a person reads them, or
// false with the system's reason when the folder cannot be listed. Hidden
// entries are left out, as the lists have always done.
bool ReadFolder(const QString& folder, QDir::Filters kind, QStringList& names, QString& reason);

// Moves a list from the folder `path` to `folder`: reads its names and, when
// that works, watches the new folder instead of the old one. When the folder
// cannot be read nothing changes, false is returned and `reason` says why.
bool MoveToFolder(const QString& folder, QDir::Filters kind, QString& path,
                  QFileSystemWatcher& watcher, QStringList& names, QString* reason);

} // namespace quillmoor::app
