// SPDX-License-Identifier: MIT
#include "window/main_commands.h"

#include "platform/platform.h"
#include "repair/repair_accents.h"
#include "window/busy_cursor.h"

#include <string>

namespace orvik {

MainCommands::MainCommands(Platform& platform)
    : m_platform(platform)
{ }

void MainCommands::ConvertText()
{
    try {
        bool empty = false;
        {
            // The busy cursor is gone before any message box shows, this one or an error's.
            const BusyCursor busy(m_platform);
            const std::u16string text = m_platform.BoxText(Box::Source);
            empty = text.empty();
            if (!empty)
                m_platform.SetBoxText(Box::Result, RepairAccents(text));
        }
        if (empty)
            m_platform.ShowMessage(kNothingToConvertPrompt, kNothingToConvertTitle);
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
            const BusyCursor busy(m_platform);
            m_platform.SetBoxText(Box::Source, m_platform.ClipboardText());
        }
        ConvertText();
    } catch (...) {
        ReportCurrentErrorFromHandler();
    }
}

void MainCommands::cmdCopy_Click() noexcept
{
    try {
        const BusyCursor busy(m_platform);
        const std::u16string text = m_platform.BoxText(Box::Result);
        m_platform.ClearClipboard();
        m_platform.SetClipboardText(text);
    } catch (...) {
        ReportCurrentErrorFromHandler();
    }
}

void MainCommands::ReportCurrentError()
{
    std::u16string prompt(kErrorPrompt);
    prompt += m_platform.DescribeCurrentError();
    m_platform.ShowMessage(prompt, kErrorTitle);
}

void MainCommands::ReportCurrentErrorFromHandler() noexcept
{
    try {
        ReportCurrentError();
    } catch (...) { }
}

} // namespace orvik
