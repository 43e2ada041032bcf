#pragma once

#include <QFile>
#include <QString>
#include <string>

namespace quillmoor::app {

// Paths cross between the widgets (QString) and the command layer (the
// system's own bytes) only through these two.
inline std::string NativePath(const QString& path) { return QFile::encodeName(path).toStdString(); }

inline QString FromNativePath(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

} // namespace quillmoor::app
