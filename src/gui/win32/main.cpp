// SPDX-License-Identifier: MIT
// The program's entry: shows the window and runs the message loop until the window is closed.
#include "gui/win32/frm_main.h"
#include "gui/win32/wide_text.h"
#include "window/error_description.h"
#include "window/main_commands.h"

#include <string>
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int show)
{
    try {
        orvik::frmMain window(true);
        window.Show(show);
        return orvik::RunMessageLoop(window);
    } catch (...) {
        // The window could not be made: say why, in the message box the window would have used.
        std::u16string prompt(orvik::kErrorPrompt);
        prompt += orvik::DescribeException(std::current_exception());
        const std::u16string title(orvik::kErrorTitle);
        MessageBoxW(nullptr, orvik::Wide(prompt), orvik::Wide(title), MB_OK | MB_ICONERROR);
        return 1;
    }
}
