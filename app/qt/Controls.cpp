#include "app/qt/Controls.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

#include "app/qt/DirList.h"
#include "app/qt/DriveList.h"
#include "app/qt/FileList.h"

namespace quillmoor::app {

namespace {

using commands::ControlKind;
using commands::kTwipsPerPixel;

QWidget* MakeControl(ControlKind kind, const QString& caption, QWidget* parent) {
    switch (kind) {
    case ControlKind::Label: return new QLabel(caption, parent);
    case ControlKind::TextBox: return new QLineEdit(parent);
    case ControlKind::Button: return new QPushButton(caption, parent);
    case ControlKind::CheckBox: return new QCheckBox(caption, parent);
    case ControlKind::DriveList: return new DriveList(parent);
    case ControlKind::FolderList: return new DirList(parent);
    case ControlKind::FileList: return new FileList(parent);
    case ControlKind::Picture: return new QLabel(parent);
    }
    return new QWidget(parent);
}

} // namespace

QRect PixelRect(const commands::ControlLayout& control) {
    return {control.left / kTwipsPerPixel, control.top / kTwipsPerPixel,
            control.width / kTwipsPerPixel, control.height / kTwipsPerPixel};
}

void BuildWindow(QWidget* window, const commands::WindowLayout& layout) {
    window->setObjectName(QLatin1String(layout.name));
    window->setWindowTitle(QCoreApplication::translate(layout.name, layout.caption));
    window->setFixedSize(layout.width / kTwipsPerPixel, layout.height / kTwipsPerPixel);
    QWidget* previous = nullptr;
    for (const commands::ControlLayout& control : layout.controls) {
        const QString caption = *control.caption
                                    ? QCoreApplication::translate(layout.name, control.caption)
                                    : QString();
        QWidget* made = MakeControl(control.kind, caption, window);
        made->setObjectName(QLatin1String(control.name));
        made->setGeometry(PixelRect(control));
        if (made->focusPolicy() & Qt::TabFocus) {
            if (previous)
                QWidget::setTabOrder(previous, made);
            previous = made;
        }
    }
}

} // namespace quillmoor::app
