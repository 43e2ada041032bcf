#include "app/qt/MessageBox.h"

#include <QCoreApplication>

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

void MessageBox::error(QWidget* parent, const QString& text) {
    show(parent, QMessageBox::Critical, QCoreApplication::translate("MessageBox", "Quillmoor"),
         text, QMessageBox::Ok, QMessageBox::Ok);
}

void MessageBox::setNextAnswer(QMessageBox::StandardButton answer) { nextAnswer_ = answer; }

void MessageBox::setAnswerAllWithDefault(bool on) { answerAll_ = on; }

const std::vector<MessageBox::Shown>& MessageBox::answered() { return answered_; }

void MessageBox::clearAnswered() { answered_.clear(); }

} // namespace quillmoor::app
