#pragma once

#include <QDir>
#include <QString>
#include <QStringList>

namespace quillmoor::app {

// Names in `folder` of the given kind, sorted as a person reads them, or
// false with the system's reason when the folder cannot be listed. Hidden
// entries are left out, as the classic lists did.
bool ReadFolder(const QString& folder, QDir::Filters kind, QStringList& names, QString& reason);

} // namespace quillmoor::app
