#pragma once

#include <array>
#include <cstdint>
#include <string_view>

// The two windows as laid out, in twips (1/1440 inch; 15 make one pixel at
// 96 dpi), in tab order. Each control is a child window whose identifier is
// named like the control; its window name is the control's own name.
namespace quillmoor::win32 {

enum class Kind { Label, TextBox, Button, CheckBox, DriveList, FolderList, FileList, Picture };

struct ControlLayout {
    int id;
    std::string_view name;
    Kind kind;
    std::wstring_view caption;
    std::int32_t left, top, width, height; // twips
};

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

inline constexpr std::int32_t kForm1Width = 4920, kForm1Height = 3840;
inline constexpr std::int32_t kForm2Width = 5175, kForm2Height = 3135;

inline constexpr std::array<ControlLayout, 13> kForm1Controls{{
    {IDC_Label1, "Label1", Kind::Label, L"Password", 120, 120, 735, 255},
    {IDC_Text1, "Text1", Kind::TextBox, L"", 960, 120, 3015, 285},
    {IDC_Label2, "Label2", Kind::Label, L"Key", 120, 480, 495, 255},
    {IDC_Text2, "Text2", Kind::TextBox, L"", 960, 480, 3015, 285},
    {IDC_Command1, "Command1", Kind::Button, L"MD5", 4080, 120, 615, 255},
    {IDC_Check1, "Check1", Kind::CheckBox, L"Hide", 4080, 480, 735, 255},
    {IDC_Drive1, "Drive1", Kind::DriveList, L"", 120, 2880, 2295, 315},
    {IDC_Dir1, "Dir1", Kind::FolderList, L"", 120, 960, 2295, 1890},
    {IDC_File1, "File1", Kind::FileList, L"", 2520, 960, 2295, 2235},
    {IDC_Command2, "Command2", Kind::Button, L"Encrypt", 120, 3360, 1455, 375},
    {IDC_Command3, "Command3", Kind::Button, L"Decrypt", 1680, 3360, 1455, 375},
    {IDC_Command4, "Command4", Kind::Button, L"Wipe", 3360, 3360, 1095, 375},
    {IDC_Command5, "Command5", Kind::Button, L"?", 4560, 3360, 255, 375},
}};

// The About texts are the Qt window's, word for word.
inline constexpr std::array<ControlLayout, 8> kForm2Controls{{
    {IDC_Form2_Command1, "Command1", Kind::Button, L"OK", 4080, 2640, 855, 375},
    {IDC_Picture1, "Picture1", Kind::Picture, L"", 120, 120, 855, 855},
    {IDC_Form2_Label1, "Label1", Kind::Label, L"Quillmoor", 1080, 120, 1335, 375},
    {IDC_Form2_Label2, "Label2", Kind::Label, L"by the Quillmoor developers", 1080, 480, 3135, 255},
    {IDC_Form2_Label3, "Label3", Kind::Label,
     L"Cipher code: Quillmoor's own,\nimplementing the Blowfish cipher.", 1080, 840, 3855, 495},
    {IDC_Form2_Label4, "Label4", Kind::Label, L"MD5 code: Quillmoor's own, implementing RFC 1321.",
     1080, 1800, 3975, 255},
    {IDC_Form2_Label5, "Label5", Kind::Label, L"Use at your own risk; no warranty.", 1080, 2160,
     3495, 255},
    {IDC_Form2_Label6, "Label6", Kind::Label,
     L"Cryptography: the Blowfish algorithm,\ndesigned by Bruce Schneier.", 1080, 1320, 3855, 495},
}};

// Twips to pixels at `dpi`, rounded to nearest: exact at 96 dpi, where every
// value of the tables is a multiple of 15.
constexpr int TwipsToPixels(std::int32_t twips, unsigned dpi) {
    return static_cast<int>((static_cast<std::int64_t>(twips) * dpi + 720) / 1440);
}

} // namespace quillmoor::win32
