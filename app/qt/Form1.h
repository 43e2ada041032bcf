#pragma once

#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "app/commands/Commands.h"

class QCheckBox;
class QCloseEvent;
class QDragEnterEvent;
class QDropEvent;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;

namespace quillmoor::app {

// The commands this window runs, by their short names.
using commands::CommandOutcome;
using commands::Operation;

class DirList;
class DriveList;
class FileList;
class Form2;

// The main window. It keeps the drive, folder and file lists in step, reads
// its boxes and list at each click, hands them to the command layer and
// shows the outcome; it decides nothing about keys, paths or file contents.
class Form1 : public QWidget {
    Q_OBJECT

  public:
    explicit Form1(QWidget* parent = nullptr);
    ~Form1() override;

    // The About window while it is open, else nullptr.
    Form2* aboutWindow() const;
    // Moves the three lists to the folder of `filePath` and selects the file.
    bool showFile(const QString& filePath);
    bool showNativeFile(const std::string& filePath);
    // The file given at start or dropped: as showFile(), and a file that
    // cannot be found or read is reported (its folder still shown when it
    // can be); a folder is shown. True when the file is selected or the
    // folder shown.
    bool openFile(const QString& path);
    // The same for a path by its own bytes (the command line's, a drop's).
    bool openNativeFile(const std::string& path);

    // For tests: the seed taken by the last click on Wipe, and a look at
    // every random block a wipe writes (called on the worker thread).
    std::uint64_t lastWipeSeed() const { return lastWipeSeed_; }
    void setRandomBlockObserver(std::function<void(std::span<const std::uint8_t>)> observer);

  protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private slots:
    void hideClicked();
    void md5Clicked();
    void encryptClicked();
    void decryptClicked();
    void wipeClicked();
    void aboutClicked();
    void driveChanged(const QString& drive);
    void folderChanged(const QString& folder);
    void folderOpenFailed(const QString& folder, const QString& reason);
    void refreshLists();

  private:
    void createControls();
    // The close box while a file operation runs: offers to cancel it; true
    // when the window is to close once the work stops.
    bool askToCancelWork();
    void runFileCommand(Operation operation);
    // Shows the outcome's box, re-reads the list where the outcome asks it,
    // and closes the window when a close waited for the work.
    void finishCommand(const CommandOutcome& outcome);
    // The selected file's name, as the command layer takes it.
    std::optional<std::string> selectedName() const;

    QLabel* label1_ = nullptr;
    QLineEdit* text1_ = nullptr;
    QLabel* label2_ = nullptr;
    QLineEdit* text2_ = nullptr;
    QPushButton* command1_ = nullptr;
    QCheckBox* check1_ = nullptr;
    DriveList* drive1_ = nullptr;
    DirList* dir1_ = nullptr;
    FileList* file1_ = nullptr;
    QPushButton* command2_ = nullptr;
    QPushButton* command3_ = nullptr;
    QPushButton* command4_ = nullptr;
    QPushButton* command5_ = nullptr;

    QPointer<Form2> about_;
    std::uint64_t lastWipeSeed_ = 0;
    bool closeWhenDone_ = false;
    std::function<void(std::span<const std::uint8_t>)> randomBlockObserver_;
};

} // namespace quillmoor::app
