// SPDX-License-Identifier: MIT
#include "gui/qt/box_text.h"

#include "gui/qt/memory_room.h"
#include "gui/qt/qt_text.h"

#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <algorithm>

namespace orvik {

std::u16string ReadBoxText(const QTextEdit& box)
{
    return FromRawText(box.document()->toRawText());
}

std::uint64_t BoxBytesHeld(const QTextEdit& box)
{
    const QTextDocument& document = *box.document();
    int longest = 0;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
        longest = std::max(longest, block.length());
    return BoxBytesFor(std::uint64_t(document.characterCount()), std::uint64_t(longest));
}

std::u16string FromRawText(const QString& raw)
{
    std::u16string text(std::size_t(raw.size()), u'\0');
    const char16_t* in = reinterpret_cast<const char16_t*>(raw.utf16());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = in[i];
        // Block separators: a paragraph break, or the start or end of a frame (rich text pasted
        // with a table, say). A user's own U+2029, U+FDD0 or U+FDD1 never reaches the document as
        // a character: it is turned into a block separator on the way in.
        const bool blockSeparator = c == u'\u2029' || c == u'\uFDD0' || c == u'\uFDD1';
        text[i] = blockSeparator ? u'\n' : c;
    }
    return text;
}

void WriteBoxText(QTextEdit& box, std::u16string_view text)
{
    CheckBoxTextLength(text.size());
    // Without this, the new text would take the format at the caret, say the bold of a rich text
    // pasted by hand, rather than the box's own font.
    box.setCurrentCharFormat(QTextCharFormat());
    if (text.size() > kMaxUndoableBoxTextLength) {
        box.setPlainText(ToQString(text));
        return;
    }
    // One edit, which Ctrl+Z undoes: setPlainText forgets the box's history, and with it whatever
    // the user had typed there. It lays out the whole text at once, though, where setPlainText
    // lays out a long text a piece at a time in the background: about eight times slower.
    QTextCursor cursor(box.document());
    cursor.beginEditBlock();
    cursor.select(QTextCursor::Document);
    cursor.removeSelectedText();
    // The paragraph format left at the start (a list item of a rich text, say) goes too.
    cursor.setBlockFormat(QTextBlockFormat());
    cursor.setBlockCharFormat(QTextCharFormat());
    cursor.insertText(ToQString(text), QTextCharFormat());
    cursor.endEditBlock();
    // The caret at the start, as setPlainText leaves it.
    box.moveCursor(QTextCursor::Start);
}

} // namespace orvik
