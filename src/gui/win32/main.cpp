// SPDX-License-Identifier: MIT
// The program's entry: shows the window, opens the file named on the command line if any, and runs
// the message loop until the window is closed.
#include "gui/win32/frm_main.h"
#include "gui/win32/wide_text.h"
#include "window/error_description.h"
#include "window/main_commands.h"

#include <string>
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int show)
{
    try {
        orvik::frmMain window(true);
        window.Show(show);
        // "orvik.exe lettre.txt", or Explorer's "Open with": the file's text, converted.
        if (__argc > 1)
            window.OpenFile(reinterpret_cast<const char16_t*>(__wargv[1]));
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
