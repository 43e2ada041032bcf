#include "app/qt/DirList.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QStyle>
#include <QStyledItemDelegate>

#include "app/qt/FolderReading.h"

namespace quillmoor::app {

namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kDepthRole = Qt::UserRole + 1;
constexpr int kIndentPixels = 8;

// Draws each entry indented by its depth in the tree.
class IndentDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem indented(option);
        indented.rect.adjust(index.data(kDepthRole).toInt() * kIndentPixels, 0, 0, 0);
        QStyledItemDelegate::paint(painter, indented, index);
    }
};

// The chain from the root down to `folder`, as full paths.
QStringList Ancestry(const QString& folder) {
    // Worked out from the path alone, so an ancestor that cannot be read
    // still shows.
    QStringList chain{folder};
    for (QString at = folder;;) {
        const QString parent = QFileInfo(at).path();
        if (parent == at)
            break;
        chain.prepend(parent);
        at = parent;
    }
    return chain;
}

} // namespace

DirList::DirList(QWidget* parent) : QListWidget(parent) {
    setItemDelegate(new IndentDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    connect(this, &QListWidget::itemDoubleClicked, this, &DirList::open);
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, &DirList::refresh);
}

bool DirList::setPath(const QString& folder, QString* reason) {
    QStringList subfolders;
    const auto read = [&](const QString& clean, QString& why) {
        return ReadFolder(clean, QDir::Dirs, subfolders, why);
    };
    if (!MoveToFolder(folder, path_, watcher_, read, reason))
        return false;
    fill(path_, subfolders);
    emit pathChanged(path_);
    return true;
}

void DirList::refresh() {
    QStringList subfolders;
    QString why;
    if (path_.isEmpty() || !ReadFolder(path_, QDir::Dirs, subfolders, why))
        return; // keep the last good listing
    const QString selected =
        currentRow() >= 0 && currentItem()->isSelected() ? folderAt(currentRow()) : QString();
    fill(path_, subfolders);
    for (int row = 0; row < count(); ++row)
        if (folderAt(row) == selected)
            setCurrentRow(row);
}

QString DirList::folderAt(int row) const {
    const QListWidgetItem* entry = item(row);
    return entry ? entry->data(kPathRole).toString() : QString();
}

void DirList::fill(const QString& folder, const QStringList& subfolders) {
    clear();
    const QIcon openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closedIcon = style()->standardIcon(QStyle::SP_DirClosedIcon);
    const QStringList chain = Ancestry(folder);
    int depth = 0;
    for (const QString& ancestor : chain) {
        const QString name = QDir(ancestor).dirName();
        auto* entry = new QListWidgetItem(openIcon, name.isEmpty() ? ancestor : name, this);
        entry->setData(kPathRole, ancestor);
        entry->setData(kDepthRole, depth++);
        entry->setToolTip(ancestor);
    }
    const int currentRowOfFolder = count() - 1;
    const QString base = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    for (const QString& name : subfolders) {
        auto* entry = new QListWidgetItem(closedIcon, name, this);
        entry->setData(kPathRole, base + name);
        entry->setData(kDepthRole, depth);
        entry->setToolTip(base + name);
    }
    setCurrentRow(currentRowOfFolder);
}

void DirList::open(QListWidgetItem* item) {
    if (!item)
        return;
    const QString folder = item->data(kPathRole).toString();
    QString reason;
    if (!setPath(folder, &reason))
        emit openFailed(folder, reason);
}

void DirList::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        open(currentItem());
        return;
    }
    QListWidget::keyPressEvent(event);
}

} // namespace quillmoor::app
