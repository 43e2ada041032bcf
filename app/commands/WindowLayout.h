#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

// Both windows as laid out, once, for every toolkit: each control with its
// name, kind, caption and place in twips (1/1440 inch; 15 make one pixel at
// 96 dpi and the reference font), in tab order, with the name and the
// description a screen reader gives it; and the windows' own captions and
// client sizes. The Qt window and the Win32 window both build from this.
namespace quillmoor::commands {

enum class ControlKind {
    Label,
    TextBox,
    Button,
    CheckBox,
    DriveList,
    FolderList,
    FileList,
    Picture
};

// Texts are UTF-8 and end in a NUL, so a toolkit can take them as they are.
struct ControlLayout {
    const char* name; // the control's own name, e.g. "Command2"
    ControlKind kind;
    const char* caption;                   // "" for none
    std::int32_t left, top, width, height; // twips
    // What a screen reader says: empty name means the caption (for a box,
    // that of its label).
    const char* accessibleName;
    const char* accessibleDescription;
};

struct WindowLayout {
    const char* name;                        // "Form1"
    const char* caption;                     // the title bar
    std::int32_t width, height;              // the client area, twips
    std::span<const ControlLayout> controls; // in tab order
};

inline constexpr int kTwipsPerPixel = 15;

// Twips to pixels at `dpi`, rounded to nearest: exact at 96 dpi, where
// every value of the tables is a multiple of 15.
constexpr int TwipsToPixels(std::int32_t twips, unsigned dpi) {
    return static_cast<int>((static_cast<std::int64_t>(twips) * dpi + 720) / 1440);
}

inline constexpr std::array<ControlLayout, 13> kForm1Controls{{
    {"Label1", ControlKind::Label, "Password", 120, 120, 735, 255, "Password",
     "Label of the Password box"},
    {"Text1", ControlKind::TextBox, "", 960, 120, 3015, 285, "",
     "The password that MD5 turns into a key; shown as stars while Hide is ticked"},
    {"Label2", ControlKind::Label, "Key", 120, 480, 495, 255, "Key", "Label of the Key box"},
    {"Text2", ControlKind::TextBox, "", 960, 480, 3015, 285, "",
     "The key as hexadecimal digits, two for each key byte; shown as stars while Hide is "
     "ticked"},
    {"Command1", ControlKind::Button, "MD5", 4080, 120, 615, 255, "MD5",
     "Puts the MD5 digest of the password into the Key box"},
    {"Check1", ControlKind::CheckBox, "Hide", 4080, 480, 735, 255, "Hide",
     "While ticked, the password and the key show as stars"},
    {"Drive1", ControlKind::DriveList, "", 120, 2880, 2295, 315, "Drives",
     "The list of drives; the folders of the one chosen are listed"},
    {"Dir1", ControlKind::FolderList, "", 120, 960, 2295, 1890, "Folders",
     "The open folder, the folders above it and its subfolders; open one to list its files"},
    {"File1", ControlKind::FileList, "", 2520, 960, 2295, 2235, "Files",
     "The files of the open folder; select the one to encrypt, decrypt or wipe"},
    {"Command2", ControlKind::Button, "Encrypt", 120, 3360, 1455, 375, "Encrypt",
     "Writes an encrypted copy of the selected file beside it, named with .BF appended"},
    {"Command3", ControlKind::Button, "Decrypt", 1680, 3360, 1455, 375, "Decrypt",
     "Writes the plain data of the selected encrypted file, named without its last three "
     "characters"},
    {"Command4", ControlKind::Button, "Wipe", 3360, 3360, 1095, 375, "Wipe",
     "Overwrites the selected file in place, after asking"},
    {"Command5", ControlKind::Button, "?", 4560, 3360, 255, 375, "About",
     "Shows who made Quillmoor"},
}};

inline constexpr std::array<ControlLayout, 8> kForm2Controls{{
    {"Command1", ControlKind::Button, "OK", 4080, 2640, 855, 375, "OK", "Closes this window"},
    {"Picture1", ControlKind::Picture, "", 120, 120, 855, 855, "Quillmoor logo",
     "A quill over a moor at night"},
    {"Label1", ControlKind::Label, "Quillmoor", 1080, 120, 1335, 375, "", "Program name"},
    {"Label2", ControlKind::Label, "by the Quillmoor developers", 1080, 480, 3135, 255, "",
     "Maker"},
    {"Label3", ControlKind::Label,
     "Cipher code: Quillmoor's own,\nimplementing the Blowfish cipher.", 1080, 840, 3855, 495, "",
     "Credit for the cipher code"},
    {"Label4", ControlKind::Label, "MD5 code: Quillmoor's own, implementing RFC 1321.", 1080, 1800,
     3975, 255, "", "Credit for the MD5 code"},
    {"Label5", ControlKind::Label, "Use at your own risk; no warranty.", 1080, 2160, 3495, 255, "",
     "Terms of use"},
    {"Label6", ControlKind::Label,
     "Cryptography: the Blowfish algorithm,\ndesigned by Bruce Schneier.", 1080, 1320, 3855, 495,
     "", "Credit for the algorithm"},
}};

// The main window; its labels name the box after them in the table.
inline constexpr WindowLayout kForm1{"Form1", "Quillmoor", 4920, 3840, kForm1Controls};
// The About window; its Label1 is drawn in Arial 12 point bold.
inline constexpr WindowLayout kForm2{"Form2", "Quillmoor - About", 5175, 3135, kForm2Controls};
inline constexpr const char* kForm2NameFont = "Arial";
inline constexpr int kForm2NamePoints = 12;

// Each box of the main window and the label that names it.
inline constexpr std::array<std::array<std::string_view, 2>, 2> kLabelledBoxes{
    {{"Label1", "Text1"}, {"Label2", "Text2"}}};

} // namespace quillmoor::commands
