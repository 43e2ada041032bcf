#include "app/qt/FileList.h"

#include <QFile>

#include "app/commands/Messages.h"
#include "app/qt/FolderReading.h"

namespace quillmoor::app {

namespace {

constexpr int kNameRole = Qt::UserRole;

} // namespace

FileList::FileList(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, &FileList::refresh);
}

bool FileList::setPath(const QString& folder, QString* reason) {
    std::vector<QByteArray> names;
    const auto read = [&](const QString& clean, QString& why) {
        return ReadFileNames(clean, names, why);
    };
    if (!MoveToFolder(folder, path_, watcher_, read, reason))
        return false;
    fill(names);
    return true;
}

void FileList::refresh() {
    std::vector<QByteArray> names;
    QString why;
    if (path_.isEmpty() || !ReadFileNames(path_, names, why))
        return; // keep the last good listing
    const QByteArray selected = selectedNativeName();
    fill(names);
    if (!selected.isEmpty())
        selectNativeName(selected);
}

int FileList::listIndex() const {
    const QList<QListWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? -1 : row(selected.first());
}

QString FileList::fileName() const {
    const QList<QListWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->text();
}

QByteArray FileList::selectedNativeName() const {
    const QList<QListWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? QByteArray() : selected.first()->data(kNameRole).toByteArray();
}

bool FileList::selectFile(const QString& name) { return selectNativeName(QFile::encodeName(name)); }

bool FileList::selectNativeName(const QByteArray& name) {
    for (int i = 0; i < count(); ++i) {
        QListWidgetItem* entry = item(i);
        if (entry->data(kNameRole).toByteArray() != name)
            continue;
        setCurrentItem(entry);
        entry->setSelected(true);
        scrollToItem(entry);
        return true;
    }
    return false;
}

void FileList::fill(const std::vector<QByteArray>& names) {
    clear();
    for (const QByteArray& name : names) {
        const QString shown = QString::fromStdString(commands::DisplayName(name.toStdString()));
        auto* entry = new QListWidgetItem(shown, this);
        entry->setData(kNameRole, name);
        // A long name is cut off at the list's edge; its tooltip shows it all.
        entry->setToolTip(shown);
    }
}

} // namespace quillmoor::app
