#pragma once

class QWidget;

namespace quillmoor::app {

// Gives every control of the main window (`Form1`) or the About window
// (`Form2`) the accessible name and description a screen reader reads, and
// makes each box's label its buddy. Controls are found by object name.
void DescribeControls(QWidget* window);

// Enter presses the push button that has the focus, as Space does, without
// making any button a default that Enter would press from elsewhere.
void LetEnterPressFocusedButtons(QWidget* window);

} // namespace quillmoor::app
