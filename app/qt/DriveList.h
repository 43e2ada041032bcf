#pragma once

#include <QComboBox>
#include <QString>

namespace quillmoor::app {

// The drive list: the mounted volumes a person would pick from (the root,
// the home folder and removable media on Linux; drive letters on Windows).
// Each entry remembers the folder last shown on it, as each drive keeps a
// current folder.
class DriveList : public QComboBox {
    Q_OBJECT

  public:
    explicit DriveList(QWidget* parent = nullptr);

    // Re-reads the mounted volumes, keeping the current entry if it is still there.
    void reload();
    // Adds an entry unless one with the same root is there.
    void addDrive(const QString& label, const QString& rootPath);

    // Root path of the current entry.
    QString drive() const;
    // The folder to show for the current entry: the one last shown on it,
    // else its root.
    QString currentFolder() const;
    // Makes the entry that holds `folder` current and remembers the folder
    // there. Raises no driveChanged.
    void showDriveOf(const QString& folder);

  signals:
    // The user picked another entry.
    void driveChanged(const QString& rootPath);

  private:
    int indexOfDriveHolding(const QString& folder) const;
};

} // namespace quillmoor::app
