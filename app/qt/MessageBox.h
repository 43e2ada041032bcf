#pragma once

#include <QMessageBox>
#include <QString>
#include <optional>
#include <vector>

#include "app/commands/WindowDecisions.h"

namespace quillmoor::app {

// Every message box of the window goes through here, so tests can answer
// a box instead of showing it and can read what it would have said.
class MessageBox {
  public:
    struct Shown {
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QString title;
        QString text;
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    };

    // Shows a modal box and returns the button that closed it (Cancel, or
    // Escape's button, when closed otherwise).
    static QMessageBox::StandardButton show(QWidget* parent, QMessageBox::Icon icon,
                                            const QString& title, const QString& text,
                                            QMessageBox::StandardButtons buttons,
                                            QMessageBox::StandardButton defaultButton);

    // A box the command layer decided on; its answer.
    static commands::BoxAnswer show(QWidget* parent, const commands::Box& box);

    // A failure: a critical box with OK.
    static void error(QWidget* parent, const QString& text);

    // The next box is not shown; it is recorded and answered with `answer`.
    static void setNextAnswer(QMessageBox::StandardButton answer);
    // Answer every box with its default button until cleared (for tests
    // that must never block on a box).
    static void setAnswerAllWithDefault(bool on);
    // The boxes answered through the hooks, oldest first.
    static const std::vector<Shown>& answered();
    static void clearAnswered();

  private:
    static std::optional<QMessageBox::StandardButton> nextAnswer_;
    static bool answerAll_;
    static std::vector<Shown> answered_;
};

} // namespace quillmoor::app
