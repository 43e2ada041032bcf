#include "app/qt/MessageBox.h"

#include <QCoreApplication>
#include <utility>

namespace quillmoor::app {

std::optional<QMessageBox::StandardButton> MessageBox::nextAnswer_;
bool MessageBox::answerAll_ = false;
std::vector<MessageBox::Shown> MessageBox::answered_;

QMessageBox::StandardButton MessageBox::show(QWidget* parent, QMessageBox::Icon icon,
                                             const QString& title, const QString& text,
                                             QMessageBox::StandardButtons buttons,
                                             QMessageBox::StandardButton defaultButton) {
    if (nextAnswer_ || answerAll_) {
        answered_.push_back({icon, title, text, buttons, defaultButton});
        const auto answer = nextAnswer_.value_or(defaultButton);
        nextAnswer_.reset();
        return answer;
    }
    QMessageBox box(icon, title, text, buttons, parent);
    box.setObjectName(QStringLiteral("MessageBox"));
    box.setDefaultButton(defaultButton);
    // A file name such as "<b>x</b>" is shown as it is, never as markup.
    box.setTextFormat(Qt::PlainText);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

namespace {

QMessageBox::Icon IconOf(commands::BoxIcon icon) {
    switch (icon) {
    case commands::BoxIcon::Information: return QMessageBox::Information;
    case commands::BoxIcon::Warning: return QMessageBox::Warning;
    case commands::BoxIcon::Question: return QMessageBox::Question;
    case commands::BoxIcon::Error: return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons ButtonsOf(commands::BoxButtons buttons) {
    switch (buttons) {
    case commands::BoxButtons::Ok: return QMessageBox::Ok;
    case commands::BoxButtons::OkCancel: return QMessageBox::Ok | QMessageBox::Cancel;
    case commands::BoxButtons::YesNo: return QMessageBox::Yes | QMessageBox::No;
    }
    return QMessageBox::Ok;
}

constexpr std::pair<commands::BoxAnswer, QMessageBox::StandardButton> kAnswers[] = {
    {commands::BoxAnswer::Ok, QMessageBox::Ok},
    {commands::BoxAnswer::Cancel, QMessageBox::Cancel},
    {commands::BoxAnswer::Yes, QMessageBox::Yes},
    {commands::BoxAnswer::No, QMessageBox::No},
};

} // namespace

commands::BoxAnswer MessageBox::show(QWidget* parent, const commands::Box& box) {
    QMessageBox::StandardButton defaultButton = QMessageBox::Ok;
    for (const auto& [answer, button] : kAnswers)
        if (answer == box.defaultAnswer)
            defaultButton = button;
    const auto chosen =
        show(parent, IconOf(box.icon), QCoreApplication::translate("MessageBox", box.title.c_str()),
             QString::fromStdString(box.text), ButtonsOf(box.buttons), defaultButton);
    for (const auto& [answer, button] : kAnswers)
        if (button == chosen)
            return answer;
    // Closed without a button: the safe answer of the set.
    return box.buttons == commands::BoxButtons::YesNo ? commands::BoxAnswer::No
                                                      : commands::BoxAnswer::Cancel;
}

void MessageBox::error(QWidget* parent, const QString& text) {
    show(parent, QMessageBox::Critical, QCoreApplication::translate("MessageBox", "Quillmoor"),
         text, QMessageBox::Ok, QMessageBox::Ok);
}

void MessageBox::setNextAnswer(QMessageBox::StandardButton answer) { nextAnswer_ = answer; }

void MessageBox::setAnswerAllWithDefault(bool on) { answerAll_ = on; }

const std::vector<MessageBox::Shown>& MessageBox::answered() { return answered_; }

void MessageBox::clearAnswered() { answered_.clear(); }

} // namespace quillmoor::app
