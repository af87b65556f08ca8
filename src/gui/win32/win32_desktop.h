// SPDX-License-Identifier: MIT
#pragma once

#include "window/desktop.h"

#include <windows.h>

namespace orvik {

// The desktop as Win32 gives it: two RichEdit boxes, the system clipboard in its Unicode text
// format, MessageBoxW and the wait cursor. The window owns the boxes and outlives this object; it
// also owns the clipboard while it writes to it.
class Win32Desktop final : public Desktop
{
public:
    Win32Desktop(HWND window, HWND source, HWND result);

    std::u16string BoxText(Box box) override;
    void SetBoxText(Box box, std::u16string_view text) override;
    // The clipboard is opened for each operation and closed before it returns. When another
    // program holds it open, the operation waits for it a little, then fails.
    void ClearClipboard() override;
    std::u16string ClipboardText() override;
    // Line breaks go on the clipboard as CR LF, the form every Windows program pastes.
    void SetClipboardText(std::u16string_view text) override;
    void ShowMessage(std::u16string_view prompt, std::u16string_view title) override;
    // With CreateFileW and ReadFile; the reason a file cannot be read is Windows' own.
    std::string ReadFile(std::u16string_view file, std::size_t limit) override;
    std::u16string DescribeCurrentError() override;
    void BeginBusy() noexcept override;
    void EndBusy() noexcept override;

    // Whether the wait cursor is shown, which the window keeps while the mouse moves.
    bool Busy() const noexcept { return m_busy > 0; }

private:
    HWND BoxFor(Box box) const { return box == Box::Source ? m_source : m_result; }

    HWND m_window;
    HWND m_source;
    HWND m_result;
    int m_busy = 0;
    HCURSOR m_cursorBefore = nullptr;
};

} // namespace orvik
