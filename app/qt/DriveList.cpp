#include "app/qt/DriveList.h"

#include <QDir>
#include <QStorageInfo>

namespace quillmoor::app {

namespace {

constexpr int kRootRole = Qt::UserRole;
constexpr int kFolderRole = Qt::UserRole + 1;

bool Holds(const QString& root, const QString& folder) {
    if (folder == root)
        return true;
    const QString prefix = root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/');
    return folder.startsWith(prefix);
}

bool IsOffered(const QStorageInfo& volume) {
#ifdef Q_OS_WIN
    return volume.isValid();
#else
    const QString root = volume.rootPath();
    return root == QLatin1String("/") || root.startsWith(QLatin1String("/media/")) ||
           root.startsWith(QLatin1String("/run/media/")) || root.startsWith(QLatin1String("/mnt/"));
#endif
}

} // namespace

DriveList::DriveList(QWidget* parent) : QComboBox(parent) {
    reload();
    connect(this, &QComboBox::activated, this,
            [this](int index) { emit driveChanged(itemData(index, kRootRole).toString()); });
}

void DriveList::reload() {
    const QString current = drive();
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (!IsOffered(volume))
            continue;
        const QString root = QDir::cleanPath(volume.rootPath());
        const QString name = volume.name();
        addDrive(name.isEmpty() || root == QLatin1String("/")
                     ? root
                     : root + QStringLiteral(" [%1]").arg(name),
                 root);
    }
#ifndef Q_OS_WIN
    const QString home = QDir::cleanPath(QDir::homePath());
    addDrive(home + tr(" [home]"), home);
    addDrive(QStringLiteral("/"), QStringLiteral("/"));
#endif
    if (!current.isEmpty())
        setCurrentIndex(findData(current, kRootRole));
}

void DriveList::addDrive(const QString& label, const QString& rootPath) {
    if (findData(rootPath, kRootRole) >= 0)
        return;
    addItem(label);
    setItemData(count() - 1, rootPath, kRootRole);
}

QString DriveList::drive() const { return currentData(kRootRole).toString(); }

QString DriveList::currentFolder() const {
    const QString folder = currentData(kFolderRole).toString();
    return folder.isEmpty() ? drive() : folder;
}

void DriveList::showDriveOf(const QString& folder) {
    const int index = indexOfDriveHolding(folder);
    if (index < 0)
        return;
    setCurrentIndex(index);
    setItemData(index, folder, kFolderRole);
}

int DriveList::indexOfDriveHolding(const QString& folder) const {
    int best = -1;
    qsizetype bestLength = -1;
    for (int i = 0; i < count(); ++i) {
        const QString root = itemData(i, kRootRole).toString();
        if (Holds(root, folder) && root.size() > bestLength) {
            best = i;
            bestLength = root.size();
        }
    }
    return best;
}

} // namespace quillmoor::app
