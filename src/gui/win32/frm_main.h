// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <memory>
#include <string_view>
#include <windows.h>

namespace orvik {

class MainCommands;
class Win32Desktop;

// The program's one window, built from its description: two RichEdit boxes and three buttons in a
// fixed frame, drawn at the density of the monitor it stands on. Tab and Shift+Tab move the focus
// (PreTranslate); Enter and Space click the focused button; no button answers Esc, nor Enter when
// the focus is in a box, where it starts a new line.
class frmMain
{
public:
    // Creates the window, hidden, centred on the screen. When `endsProgram`, closing it ends the
    // message loop. Throws DesktopError when the window or its controls cannot be made.
    explicit frmMain(bool endsProgram);
    ~frmMain();
    frmMain(const frmMain&) = delete;
    frmMain& operator=(const frmMain&) = delete;

    // Shows the window and puts the focus in the first control of the tab order.
    void Show(int how);
    // Reads `file` into the source box and converts it (MainCommands::OpenFile): a file named
    // when the program starts, or dropped on the window.
    void OpenFile(std::u16string_view file);

    HWND Handle() const { return m_window; }
    // The control of that name in the window's description; nullptr when there is none.
    HWND Control(std::string_view name) const;
    int Dpi() const { return m_dpi; }
    Win32Desktop& Desktop() { return *m_desktop; }

    // Handles the keys the window gives a meaning of its own. Returns true when `message` has been
    // handled and must not be dispatched.
    bool PreTranslate(const MSG& message);

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    // Places the window's client area and its controls, and sets the buttons' fonts, at `dpi`.
    void Layout(int dpi);
    void RunCommand(int controlId);

    HWND m_window = nullptr;
    // In the order of the description's controls.
    std::array<HWND, 5> m_controls {};
    std::array<HFONT, 5> m_fonts {};
    int m_dpi = 96;
    bool m_endsProgram;
    HWND m_lastFocus = nullptr;
    std::unique_ptr<Win32Desktop> m_desktop;
    std::unique_ptr<MainCommands> m_commands;
};

// Runs the message loop until the window that ends the program is closed; returns the exit status.
int RunMessageLoop(frmMain& window);

} // namespace orvik
