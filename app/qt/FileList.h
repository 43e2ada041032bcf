#pragma once

#include <QByteArray>
#include <QFileSystemWatcher>
#include <QListWidget>
#include <QString>
#include <vector>

namespace quillmoor::app {

// The file list: every file of one folder (no name pattern), sorted by
// name. Nothing is selected until the user picks an entry; it re-reads its
// folder on request and whenever the folder changes on disk. Each entry
// keeps its name's own bytes, which act on the file; a name that is not
// valid UTF-8 is shown with the escapes messages use, so two names never
// look alike.
class FileList : public QListWidget {
    Q_OBJECT

  public:
    explicit FileList(QWidget* parent = nullptr);

    // The folder whose files are listed, with no trailing separator except
    // for the root.
    QString path() const { return path_; }
    // Lists `folder`. When it cannot be read nothing changes, false is
    // returned and `reason` says why.
    bool setPath(const QString& folder, QString* reason = nullptr);
    // Re-reads the folder; the selected file stays selected while it exists.
    void refresh();

    // Row of the selected entry, -1 when none is selected.
    int listIndex() const;
    // Name of the selected entry as shown, empty when none is selected.
    QString fileName() const;
    // The selected name's own bytes, empty when none is selected.
    QByteArray selectedNativeName() const;
    // Selects the entry `name`; false when it is not listed.
    bool selectFile(const QString& name);
    bool selectNativeName(const QByteArray& name);

  private:
    void fill(const std::vector<QByteArray>& names);

    QString path_;
    QFileSystemWatcher watcher_;
};

} // namespace quillmoor::app
