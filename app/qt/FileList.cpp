#include "app/qt/FileList.h"

#include <QDir>

#include "app/qt/FolderReading.h"

namespace quillmoor::app {

FileList::FileList(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, &FileList::refresh);
}

bool FileList::setPath(const QString& folder, QString* reason) {
    QStringList names;
    if (!MoveToFolder(folder, QDir::Files, path_, watcher_, names, reason))
        return false;
    fill(names);
    return true;
}

void FileList::refresh() {
    QStringList names;
    QString why;
    if (path_.isEmpty() || !ReadFolder(path_, QDir::Files, names, why))
        return; // keep the last good listing
    const QString selected = fileName();
    fill(names);
    if (!selected.isEmpty())
        selectFile(selected);
}

int FileList::listIndex() const {
    const QList<QListWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? -1 : row(selected.first());
}

QString FileList::fileName() const {
    const QList<QListWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->text();
}

bool FileList::selectFile(const QString& name) {
    const QList<QListWidgetItem*> found =
        findItems(name, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (found.isEmpty())
        return false;
    setCurrentItem(found.first());
    found.first()->setSelected(true);
    scrollToItem(found.first());
    return true;
}

void FileList::fill(const QStringList& names) {
    clear();
    addItems(names);
    // A long name is cut off at the list's edge; its tooltip shows it all.
    for (int i = 0; i < count(); ++i)
        item(i)->setToolTip(item(i)->text());
}

} // namespace quillmoor::app
