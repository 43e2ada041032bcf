#include "app/qt/Accessibility.h"

#include <QCoreApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QWidget>
#include <string_view>

namespace quillmoor::app {

namespace {

struct ControlText {
    std::string_view window;
    std::string_view control;
    const char* name; // empty: the caption of the control's label
    const char* description;
};

// Names say what a control is, descriptions what it does or holds.
constexpr ControlText kControlTexts[] = {
    {"Form1", "Label1", QT_TRANSLATE_NOOP("Accessibility", "Password"),
     QT_TRANSLATE_NOOP("Accessibility", "Label of the Password box")},
    {"Form1", "Text1", "",
     QT_TRANSLATE_NOOP("Accessibility", "The password that MD5 turns into a key; shown as stars "
                                        "while Hide is ticked")},
    {"Form1", "Label2", QT_TRANSLATE_NOOP("Accessibility", "Key"),
     QT_TRANSLATE_NOOP("Accessibility", "Label of the Key box")},
    {"Form1", "Text2", "",
     QT_TRANSLATE_NOOP("Accessibility", "The key as hexadecimal digits, two for each key byte; "
                                        "shown as stars while Hide is ticked")},
    {"Form1", "Command1", QT_TRANSLATE_NOOP("Accessibility", "MD5"),
     QT_TRANSLATE_NOOP("Accessibility", "Puts the MD5 digest of the password into the Key box")},
    {"Form1", "Check1", QT_TRANSLATE_NOOP("Accessibility", "Hide"),
     QT_TRANSLATE_NOOP("Accessibility", "While ticked, the password and the key show as stars")},
    {"Form1", "Drive1", QT_TRANSLATE_NOOP("Accessibility", "Drives"),
     QT_TRANSLATE_NOOP("Accessibility",
                       "The list of drives; the folders of the one chosen are listed")},
    {"Form1", "Dir1", QT_TRANSLATE_NOOP("Accessibility", "Folders"),
     QT_TRANSLATE_NOOP("Accessibility", "The open folder, the folders above it and its "
                                        "subfolders; open one to list its files")},
    {"Form1", "File1", QT_TRANSLATE_NOOP("Accessibility", "Files"),
     QT_TRANSLATE_NOOP("Accessibility", "The files of the open folder; select the one to "
                                        "encrypt, decrypt or wipe")},
    {"Form1", "Command2", QT_TRANSLATE_NOOP("Accessibility", "Encrypt"),
     QT_TRANSLATE_NOOP("Accessibility", "Writes an encrypted copy of the selected file beside "
                                        "it, named with .BF appended")},
    {"Form1", "Command3", QT_TRANSLATE_NOOP("Accessibility", "Decrypt"),
     QT_TRANSLATE_NOOP("Accessibility", "Writes the plain data of the selected encrypted file, "
                                        "named without its last three characters")},
    {"Form1", "Command4", QT_TRANSLATE_NOOP("Accessibility", "Wipe"),
     QT_TRANSLATE_NOOP("Accessibility", "Overwrites the selected file in place, after asking")},
    {"Form1", "Command5", QT_TRANSLATE_NOOP("Accessibility", "About"),
     QT_TRANSLATE_NOOP("Accessibility", "Shows who made Quillmoor")},
    {"Form2", "Command1", QT_TRANSLATE_NOOP("Accessibility", "OK"),
     QT_TRANSLATE_NOOP("Accessibility", "Closes this window")},
    {"Form2", "Picture1", QT_TRANSLATE_NOOP("Accessibility", "Quillmoor logo"),
     QT_TRANSLATE_NOOP("Accessibility", "A quill over a moor at night")},
    {"Form2", "Label1", "", QT_TRANSLATE_NOOP("Accessibility", "Program name")},
    {"Form2", "Label2", "", QT_TRANSLATE_NOOP("Accessibility", "Maker")},
    {"Form2", "Label3", "", QT_TRANSLATE_NOOP("Accessibility", "Credit for the cipher code")},
    {"Form2", "Label4", "", QT_TRANSLATE_NOOP("Accessibility", "Credit for the MD5 code")},
    {"Form2", "Label5", "", QT_TRANSLATE_NOOP("Accessibility", "Terms of use")},
    {"Form2", "Label6", "", QT_TRANSLATE_NOOP("Accessibility", "Credit for the algorithm")},
};

// Each box and the label that names it.
constexpr std::string_view kBuddies[][2] = {{"Label1", "Text1"}, {"Label2", "Text2"}};

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
    const QString windowName = window->objectName();
    for (const auto& [buddyLabel, box] : kBuddies) {
        auto* label = qobject_cast<QLabel*>(ControlOf(window, buddyLabel));
        if (QWidget* target = ControlOf(window, box); label && target)
            label->setBuddy(target);
    }
    for (const ControlText& entry : kControlTexts) {
        if (windowName != QLatin1String(entry.window.data(), qsizetype(entry.window.size())))
            continue;
        QWidget* control = ControlOf(window, entry.control);
        if (!control)
            continue;
        QString name = *entry.name ? Translated(entry.name) : LabelName(control);
        if (name.isEmpty()) // a box: named by the label whose buddy it is
            for (QLabel* label : window->findChildren<QLabel*>())
                if (label->buddy() == control)
                    name = LabelName(label);
        control->setAccessibleName(name);
        control->setAccessibleDescription(Translated(entry.description));
    }
}

void LetEnterPressFocusedButtons(QWidget* window) {
    auto* filter = new EnterPresses(window);
    for (QPushButton* button : window->findChildren<QPushButton*>())
        if (!button->autoDefault())
            button->installEventFilter(filter);
}

} // namespace quillmoor::app
