#pragma once

#include "app/win32/Handles.h"
#include "app/win32/Win32.h"

// The About window: the program's name, its logo, the maker line, the
// credits and the terms, and an OK button that closes it. Opens centred on
// the screen of `beside`; stays out of the task bar.
namespace quillmoor::win32 {

class Form2 {
  public:
    explicit Form2(HWND beside);
    ~Form2();
    Form2(const Form2&) = delete;
    Form2& operator=(const Form2&) = delete;

    // The window while it is open, else nullptr.
    HWND Window() const { return window_; }
    void BringToFront() const;
    void Close();

  private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void Place(unsigned dpi);
    void DrawLogo(const DRAWITEMSTRUCT& item) const;

    HWND window_ = nullptr;
    OwnedWindow owner_; // hidden; keeps the window out of the task bar
    Font font_, nameFont_;
    Bitmap logo_;
    unsigned dpi_ = 96;
};

} // namespace quillmoor::win32
