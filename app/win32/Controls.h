#pragma once

#include <cstddef>
#include <string_view>

#include "app/commands/WindowLayout.h"

// The identifiers of the two windows' controls, in the order of their
// layout (app/commands/WindowLayout.h), which is the tab order. Each control
// is a child window whose identifier is named like the control.
namespace quillmoor::win32 {

// Main window: identifiers of Form1's controls.
enum Form1Id : int {
    IDC_Label1 = 1001,
    IDC_Text1,
    IDC_Label2,
    IDC_Text2,
    IDC_Command1,
    IDC_Check1,
    IDC_Drive1,
    IDC_Dir1,
    IDC_File1,
    IDC_Command2,
    IDC_Command3,
    IDC_Command4,
    IDC_Command5,
};

// About window: identifiers of Form2's controls.
enum Form2Id : int {
    IDC_Form2_Command1 = 2001,
    IDC_Picture1,
    IDC_Form2_Label1,
    IDC_Form2_Label2,
    IDC_Form2_Label3,
    IDC_Form2_Label4,
    IDC_Form2_Label5,
    IDC_Form2_Label6,
};

// The identifier of the control at `index` of a window's layout: its first
// one plus the index, as the enums above count them.
constexpr int ControlId(int firstId, std::size_t index) {
    return firstId + static_cast<int>(index);
}
inline constexpr int kForm1FirstId = IDC_Label1;
inline constexpr int kForm2FirstId = IDC_Form2_Command1;

using commands::TwipsToPixels;

// The enums count in the layout's order: the first, the last and the
// Picture1 of the About window.
constexpr bool NamedAt(const commands::WindowLayout& layout, int firstId, int id,
                       std::string_view name) {
    return std::string_view(layout.controls[static_cast<std::size_t>(id - firstId)].name) == name;
}
static_assert(NamedAt(commands::kForm1, kForm1FirstId, IDC_Label1, "Label1") &&
              NamedAt(commands::kForm1, kForm1FirstId, IDC_File1, "File1") &&
              NamedAt(commands::kForm1, kForm1FirstId, IDC_Command5, "Command5") &&
              commands::kForm1.controls.size() == IDC_Command5 - kForm1FirstId + 1);
static_assert(NamedAt(commands::kForm2, kForm2FirstId, IDC_Picture1, "Picture1") &&
              NamedAt(commands::kForm2, kForm2FirstId, IDC_Form2_Label6, "Label6") &&
              commands::kForm2.controls.size() == IDC_Form2_Label6 - kForm2FirstId + 1);

} // namespace quillmoor::win32
