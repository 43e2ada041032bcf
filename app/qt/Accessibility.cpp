#include "app/qt/Accessibility.h"

#include <QCoreApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QWidget>
#include <string_view>

#include "app/commands/WindowLayout.h"

namespace quillmoor::app {

namespace {

QString Translated(const char* text) { return QCoreApplication::translate("Accessibility", text); }

QWidget* ControlOf(QWidget* window, std::string_view name) {
    return window->findChild<QWidget*>(QLatin1String(name.data(), qsizetype(name.size())),
                                       Qt::FindDirectChildrenOnly);
}

// The visible text of a label, one line, as a name.
QString LabelName(const QWidget* control) {
    const auto* label = qobject_cast<const QLabel*>(control);
    return label ? label->text().simplified() : QString();
}

class EnterPresses : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress)
            return false;
        const int key = static_cast<QKeyEvent*>(event)->key();
        auto* button = qobject_cast<QPushButton*>(watched);
        if (!button || (key != Qt::Key_Return && key != Qt::Key_Enter))
            return false;
        button->click();
        return true;
    }
};

} // namespace

void DescribeControls(QWidget* window) {
    for (const auto& [buddyLabel, box] : commands::kLabelledBoxes) {
        auto* label = qobject_cast<QLabel*>(ControlOf(window, buddyLabel));
        if (QWidget* target = ControlOf(window, box); label && target)
            label->setBuddy(target);
    }
    const QString windowName = window->objectName();
    for (const commands::WindowLayout* layout : {&commands::kForm1, &commands::kForm2}) {
        if (windowName != QLatin1String(layout->name))
            continue;
        for (const commands::ControlLayout& entry : layout->controls) {
            QWidget* control = ControlOf(window, entry.name);
            if (!control)
                continue;
            QString name =
                *entry.accessibleName ? Translated(entry.accessibleName) : LabelName(control);
            if (name.isEmpty()) // a box: named by the label whose buddy it is
                for (QLabel* label : window->findChildren<QLabel*>())
                    if (label->buddy() == control)
                        name = LabelName(label);
            control->setAccessibleName(name);
            control->setAccessibleDescription(Translated(entry.accessibleDescription));
        }
    }
}

void LetEnterPressFocusedButtons(QWidget* window) {
    auto* filter = new EnterPresses(window);
    for (QPushButton* button : window->findChildren<QPushButton*>())
        if (!button->autoDefault())
            button->installEventFilter(filter);
}

} // namespace quillmoor::app
