// SPDX-License-Identifier: MIT
#include "gui/qt/text_box.h"

#include "gui/qt/clipboard_text.h"
#include "gui/qt/memory_room.h"
#include "gui/qt/qt_text.h"
#include "window/box_text_limit.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <memory>

namespace orvik {

namespace {

bool IsClipboard(const QMimeData* source)
{
    const QClipboard* clipboard = QGuiApplication::clipboard();
    return source && clipboard && source == clipboard->mimeData();
}

// The selection as a box gives it back: paragraph breaks as LF, every other code unit as held.
// Throws DesktopError when the memory left cannot take a copy of it and the clipboard's own.
QString SelectedText(const QTextEdit& box)
{
    const QTextCursor cursor = box.textCursor();
    // The selection's copy, its UTF-8 form for another program and the clipboard's copy.
    CheckRoomFor(8 * std::uint64_t(cursor.selectionEnd() - cursor.selectionStart()));
    return ToQString(FromRawText(cursor.selectedText()));
}

} // namespace

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

bool TextBox::canInsertFromMimeData(const QMimeData* source) const
{
    // Whether the clipboard holds text is found out by pasting: asking first would wait for a
    // silent owner before the context menu even opens.
    return IsClipboard(source) || QTextEdit::canInsertFromMimeData(source);
}

void TextBox::insertFromMimeData(const QMimeData* source)
{
    // Text dragged in, and on X11 the primary selection a middle click pastes, keep Qt's way; but
    // not a source that offers no format (a selection that no program holds, or whose owner lists
    // nothing), whose first format Qt 6.4 would read all the same, and crash.
    if (!IsClipboard(source)) {
        if (source && !source->formats().isEmpty())
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

QMimeData* TextBox::createMimeDataFromSelection() const
{
    // Also what a drag out of the box carries, and on X11 the primary selection.
    auto data = std::make_unique<QMimeData>();
    try {
        data->setText(SelectedText(*this));
    } catch (...) {
        // Too large for the memory left: the selection goes nowhere.
    }
    return data.release();
}

bool TextBox::CopySelection()
{
    if (!textCursor().hasSelection())
        return false;
    try {
        auto data = std::make_unique<QMimeData>();
        data->setText(SelectedText(*this));
        Clipboard().setMimeData(data.release());
        return true;
    } catch (...) {
        QApplication::beep();
        return false;
    }
}

void TextBox::CutSelection()
{
    if (!isReadOnly() && CopySelection())
        textCursor().removeSelectedText();
}

void TextBox::keyPressEvent(QKeyEvent* event)
{
    if (event == QKeySequence::Copy) {
        CopySelection();
        event->accept();
    } else if (event == QKeySequence::Cut) {
        CutSelection();
        event->accept();
    } else {
        QTextEdit::keyPressEvent(event);
    }
}

void TextBox::contextMenuEvent(QContextMenuEvent* event)
{
    const std::unique_ptr<QMenu> menu(createStandardContextMenu(event->pos()));
    // Qt names its menu's actions; its copy and cut give way to the box's own.
    for (QAction* action : menu->actions()) {
        if (action->objectName() == u"edit-copy" || action->objectName() == u"edit-cut") {
            const bool cut = action->objectName() == u"edit-cut";
            action->disconnect(SIGNAL(triggered(bool)));
            connect(action, &QAction::triggered, this, [this, cut] {
                if (cut)
                    CutSelection();
                else
                    CopySelection();
            });
        }
    }
    menu->exec(event->globalPos());
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
