#pragma once

#include <QFileSystemWatcher>
#include <QListWidget>
#include <QString>

namespace quillmoor::app {

// The folder list: the current folder with its ancestors above it and its
// subfolders below, indented like a tree. A click selects an entry; a
// double click or Enter opens it, which is the change of the list.
class DirList : public QListWidget {
    Q_OBJECT

  public:
    explicit DirList(QWidget* parent = nullptr);

    QString path() const { return path_; }
    // Moves to `folder` and raises pathChanged. When the folder cannot be
    // read nothing changes, false is returned and `reason` says why.
    bool setPath(const QString& folder, QString* reason = nullptr);
    // Re-reads the subfolders of the current folder.
    void refresh();
    // Full path of the entry at `row`.
    QString folderAt(int row) const;

  signals:
    void pathChanged(const QString& path);
    // The user opened a folder that cannot be read.
    void openFailed(const QString& folder, const QString& reason);

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void open(QListWidgetItem* item);
    void fill(const QString& folder, const QStringList& subfolders);

    QString path_;
    QFileSystemWatcher watcher_;
};

} // namespace quillmoor::app
