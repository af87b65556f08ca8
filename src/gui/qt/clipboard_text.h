// SPDX-License-Identifier: MIT
// The clipboard's plain text, as the paste button and Ctrl+V in a box both take it.
#pragma once

#include <chrono>
#include <string>

class QClipboard;
class QMimeData;
class QString;

namespace orvik {

// The longest wait for the clipboard's owner to answer a request or send the next piece of text.
inline constexpr std::chrono::milliseconds kClipboardWait { 2000 };

// The system clipboard; throws DesktopError when there is none.
QClipboard& Clipboard();

// The clipboard's text, every code unit of it (a leading U+FEFF included); when it offers HTML
// alone, the plain text of that HTML; an empty string when it holds neither. Throws DesktopError
// when the clipboard cannot be read, its owner not answering within kClipboardWait, say.
std::u16string ReadClipboardText();

// The same, of an offer the toolkit already holds: the clipboard's when this program owns it, or
// where the system has no reader of its own.
std::u16string PlainTextOf(const QMimeData& data);

// The plain text a box holds once `html` is pasted into it, line breaks as LF.
std::u16string PlainTextOfHtml(const QString& html);

} // namespace orvik
