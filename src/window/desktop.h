// SPDX-License-Identifier: MIT
// What the window needs of the desktop it runs on: the text of its two boxes, the clipboard, the
// message box, the files the user gives it, the description of the error being handled and the
// busy cursor. The window reaches
// the desktop through this interface alone: each front end gives one (Qt, Win32), and the tests
// stand in for it.
#pragma once

#include <string>
#include <string_view>

namespace orvik {

// The two text boxes of the main window.
enum class Box {
    Source, // upper: the text to repair
    Result, // lower: the repaired text
};

// Every operation but the busy cursor throws on failure, an exception whose description
// (DescribeCurrentError) tells the user in French what failed.
class Desktop
{
public:
    virtual ~Desktop() = default;
    Desktop(const Desktop&) = delete;
    Desktop& operator=(const Desktop&) = delete;

    // The box's whole text as plain text, every UTF-16 code unit as the box holds it, each line
    // break as one LF.
    virtual std::u16string BoxText(Box box) = 0;
    // Replaces the box's whole content with `text`, as plain text.
    virtual void SetBoxText(Box box, std::u16string_view text) = 0;

    virtual void ClearClipboard() = 0;
    // The clipboard's plain text; an empty string when it holds no text. Throws, as every other
    // operation, when the clipboard cannot be read (its owner does not answer, say): that is not
    // an empty clipboard.
    virtual std::u16string ClipboardText() = 0;
    // Puts `text` on the clipboard as plain text, in place of whatever it held.
    virtual void SetClipboardText(std::u16string_view text) = 0;

    // Shows a modal box with `prompt`, `title`, one OK button and no icon, and returns once the
    // user has closed it.
    virtual void ShowMessage(std::u16string_view prompt, std::u16string_view title) = 0;

    // The bytes of `file` (a name as the user gave it), which is only read. Throws FileError
    // (text_file.h) when it is missing, a folder or not a regular file, holds more than `limit`
    // bytes, or cannot be read.
    virtual std::string ReadFile(std::u16string_view file, std::size_t limit) = 0;

    // Describes, in French, the exception being handled: call it inside a catch block only.
    virtual std::u16string DescribeCurrentError() = 0;

    // Shows the busy cursor until the matching EndBusy. Calls nest.
    virtual void BeginBusy() noexcept = 0;
    virtual void EndBusy() noexcept = 0;

protected:
    Desktop() = default;
};

} // namespace orvik
