// SPDX-License-Identifier: MIT
// The exact plain text of a QTextEdit.
//
// QTextEdit::toPlainText() is not exact: it turns the no-break space U+00A0 into a space and the
// line separator U+2028 into a line feed. ReadBoxText works from the document's raw text instead,
// where only the block separators need turning into line feeds.
//
// What a text document cannot hold: it splits paragraphs at LF, CR, CR LF, U+2029 (paragraph
// separator) and the non-characters U+FDD0 and U+FDD1 alike, and keeps no trace of which one it
// was. So every one of them reads back as one LF; every other code unit (U+00A0, U+202F, U+2028,
// tabs, NUL, combining marks, surrogate pairs and even lone surrogates) reads back as written.
#pragma once

#include "window/box_text_limit.h"

#include <cstdint>
#include <string>
#include <string_view>

class QString;
class QTextEdit;

namespace orvik {

// The box's whole text, line breaks as LF.
std::u16string ReadBoxText(const QTextEdit& box);

// What the box needs for the text it holds, by BoxBytesFor: its layout may still be under way.
std::uint64_t BoxBytesHeld(const QTextEdit& box);

// A text document's raw text (QTextDocument::toRawText) as a box gives it back: block separators
// as LF.
std::u16string FromRawText(const QString& raw);

// The longest text that replaces a box's content as one edit Ctrl+Z can undo.
inline constexpr std::size_t kMaxUndoableBoxTextLength = 256 * 1024;

// Replaces the box's content with `text` as plain text, in the box's own font, as one undoable
// edit when it is no longer than kMaxUndoableBoxTextLength. Throws DesktopError when the text is
// longer than kMaxBoxTextLength.
void WriteBoxText(QTextEdit& box, std::u16string_view text);

} // namespace orvik
