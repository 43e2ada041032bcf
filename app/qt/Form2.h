#pragma once

#include <QDialog>

class QKeyEvent;

namespace quillmoor::app {

// The About window: name, logo, maker and credits, and OK. A small fixed
// tool window, centred, kept out of the task bar.
class Form2 : public QDialog {
    Q_OBJECT

  public:
    explicit Form2(QWidget* parent = nullptr);

  protected:
    // Escape does nothing here; only OK and the close box close the window.
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace quillmoor::app
