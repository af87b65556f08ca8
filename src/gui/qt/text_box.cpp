// SPDX-License-Identifier: MIT
#include "gui/qt/text_box.h"

#include "gui/qt/clipboard_text.h"
#include "gui/qt/memory_room.h"
#include "gui/qt/qt_text.h"
#include "window/box_text_limit.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>

namespace orvik {

std::u16string TextBox::Text() const
{
    return FromRawText(document()->toRawText());
}

void TextBox::ReplaceText(std::u16string_view text, std::uint64_t bytesBeside)
{
    CheckBoxTextLength(text.size());
    CheckRoomFor(BoxBytesFor(text) + bytesBeside);
    // Without this, the new text would take the format at the caret, say the bold of a rich text
    // pasted by hand, rather than the box's own font.
    setCurrentCharFormat(QTextCharFormat());
    if (text.size() > kMaxUndoableBoxTextLength) {
        setPlainText(ToQString(text));
        return;
    }
    // One edit, which Ctrl+Z undoes: setPlainText forgets the box's history, and with it whatever
    // the user had typed there. It lays out the whole text at once, though, where setPlainText
    // lays out a long text a piece at a time in the background: about eight times slower.
    QTextCursor cursor(document());
    cursor.beginEditBlock();
    cursor.select(QTextCursor::Document);
    cursor.removeSelectedText();
    // The paragraph format left at the start (a list item of a rich text, say) goes too.
    cursor.setBlockFormat(QTextBlockFormat());
    cursor.setBlockCharFormat(QTextCharFormat());
    cursor.insertText(ToQString(text), QTextCharFormat());
    cursor.endEditBlock();
    // The caret at the start, as setPlainText leaves it.
    moveCursor(QTextCursor::Start);
}

std::uint64_t TextBox::BytesHeld() const
{
    const QTextDocument& held = *document();
    int longest = 0;
    for (QTextBlock block = held.begin(); block.isValid(); block = block.next())
        longest = std::max(longest, block.length());
    return BoxBytesFor(std::uint64_t(held.characterCount()), std::uint64_t(longest));
}

void TextBox::insertFromMimeData(const QMimeData* source)
{
    // Rich text keeps Qt's way, and so does text dragged in rather than pasted.
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!source || !clipboard || source != clipboard->mimeData()
        || (acceptRichText() && source->hasHtml())) {
        QTextEdit::insertFromMimeData(source);
        return;
    }
    std::u16string text;
    try {
        text = ReadClipboardText();
        CheckRoomFor(BoxBytesFor(text) + BytesHeld());
    } catch (...) {
        // An owner that does not answer, or too little memory: nothing is pasted, the box keeps
        // its text.
        QApplication::beep();
        return;
    }
    insertPlainText(ToQString(text));
}

std::u16string FromRawText(const QString& raw)
{
    std::u16string text = ToU16String(raw);
    for (char16_t& c : text) {
        // Block separators: a paragraph break, or the start or end of a frame (rich text pasted
        // with a table, say). A user's own U+2029, U+FDD0 or U+FDD1 never reaches the document as
        // a character: it is turned into a block separator on the way in.
        if (c == u'\u2029' || c == u'\uFDD0' || c == u'\uFDD1')
            c = u'\n';
    }
    return text;
}

} // namespace orvik
