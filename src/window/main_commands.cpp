// SPDX-License-Identifier: MIT
#include "window/main_commands.h"

#include "repair/repair_accents.h"
#include "window/box_text_limit.h"
#include "window/busy_cursor.h"
#include "window/desktop.h"
#include "window/text_file.h"

#include <string>

namespace orvik {

MainCommands::MainCommands(Desktop& desktop)
    : m_desktop(desktop)
{ }

void MainCommands::ConvertText()
{
    try {
        bool empty = false;
        {
            // The busy cursor is gone before any message box shows, this one or an error's.
            const BusyCursor busy(m_desktop);
            const std::u16string text = m_desktop.BoxText(Box::Source);
            empty = text.empty();
            if (!empty)
                m_desktop.SetBoxText(Box::Result, RepairAccents(text));
        }
        if (empty)
            m_desktop.ShowMessage(kNothingToConvertPrompt, kNothingToConvertTitle);
    } catch (...) {
        ReportCurrentError();
    }
}

void MainCommands::CmdConvert_Click() noexcept
{
    try {
        ConvertText();
    } catch (...) {
        ReportCurrentErrorFromHandler();
    }
}

void MainCommands::cmdPaste_Click() noexcept
{
    try {
        {
            const BusyCursor busy(m_desktop);
            m_desktop.SetBoxText(Box::Source, m_desktop.ClipboardText());
        }
        ConvertText();
    } catch (...) {
        ReportCurrentErrorFromHandler();
    }
}

void MainCommands::cmdCopy_Click() noexcept
{
    try {
        const BusyCursor busy(m_desktop);
        const std::u16string text = m_desktop.BoxText(Box::Result);
        m_desktop.ClearClipboard();
        m_desktop.SetClipboardText(text);
    } catch (...) {
        ReportCurrentErrorFromHandler();
    }
}

void MainCommands::OpenFile(std::u16string_view file) noexcept
{
    try {
        {
            const BusyCursor busy(m_desktop);
            // A UTF-8 text never has more characters than bytes: up to this size it fits a box.
            const std::string bytes = m_desktop.ReadFile(file, kMaxBoxTextLength);
            m_desktop.SetBoxText(Box::Source, TextOfFile(bytes, file));
        }
        ConvertText();
    } catch (...) {
        ReportCurrentErrorFromHandler();
    }
}

void MainCommands::ReportCurrentError()
{
    std::u16string prompt(kErrorPrompt);
    prompt += m_desktop.DescribeCurrentError();
    m_desktop.ShowMessage(prompt, kErrorTitle);
}

void MainCommands::ReportCurrentErrorFromHandler() noexcept
{
    try {
        ReportCurrentError();
    } catch (...) { }
}

} // namespace orvik
