// SPDX-License-Identifier: MIT
// The work behind the main window's three buttons: the conversion and the two clipboard commands.
// Every box, clipboard, message and cursor goes through the Desktop the window runs on, so that
// this code runs the same in both front ends and against a test's stand-in.
#pragma once

#include <string_view>

namespace orvik {

class Desktop;

// The texts the user sees.
inline constexpr std::u16string_view kNothingToConvertPrompt = u"Il n'y a rien à convertir.";
inline constexpr std::u16string_view kNothingToConvertTitle = u"Orvik : conversion";
// Followed by the error's description.
inline constexpr std::u16string_view kErrorPrompt = u"Petite erreur, veuillez réessayer, merci\n\n";
inline constexpr std::u16string_view kErrorTitle = u"orvik : erreur";

class MainCommands
{
public:
    explicit MainCommands(Desktop& desktop);

    // Repairs the source box's text into the result box, which is written once, and only when
    // everything before has succeeded. An empty source box is refused with a message. An error on
    // the way is reported in the error message box, and the call returns normally; only a failure
    // to report it (describing the error, showing the box) leaves the function as an exception.
    void ConvertText();

    // The three click handlers. None lets an exception escape: whatever fails is reported in the
    // error message box and both boxes keep what they held.
    void CmdConvert_Click() noexcept;
    // Puts the clipboard's text in the source box (an empty text when it holds none), then
    // converts.
    void cmdPaste_Click() noexcept;
    // Puts the result box's text on the clipboard, and nothing else: other formats are cleared.
    // The box is read first, so that a failure to read it leaves the clipboard as it was.
    void cmdCopy_Click() noexcept;

    // Puts the text of `file`, read as UTF-8 (text_file.h), in the source box, then converts, as
    // the paste button does with the clipboard: for a file dropped on the window or named when
    // the program starts. The file itself is only read. A file that cannot be read, is not text
    // in UTF-8 or is too large is reported, and both boxes keep what they held.
    void OpenFile(std::u16string_view file) noexcept;

private:
    // Shows the error being handled in the error message box. Throws when that fails.
    void ReportCurrentError();
    // The same, for the handlers: a failure to report is swallowed, since nothing else could
    // tell the user, and the window goes on.
    void ReportCurrentErrorFromHandler() noexcept;

    Desktop& m_desktop;
};

} // namespace orvik
