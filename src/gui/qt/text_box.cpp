// SPDX-License-Identifier: MIT
#include "gui/qt/text_box.h"

#include "gui/qt/box_text.h"
#include "gui/qt/clipboard_text.h"
#include "gui/qt/memory_room.h"
#include "gui/qt/qt_text.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QTextCursor>
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

bool TextBox::canInsertFromMimeData(const QMimeData* source) const
{
    // Whether the clipboard holds text is found out by pasting: asking first would wait for a
    // silent owner before the context menu even opens.
    return IsClipboard(source) || QTextEdit::canInsertFromMimeData(source);
}

void TextBox::insertFromMimeData(const QMimeData* source)
{
    // Text dragged in, rather than pasted, keeps Qt's way.
    if (!IsClipboard(source)) {
        QTextEdit::insertFromMimeData(source);
        return;
    }
    std::u16string text;
    try {
        text = ReadClipboardText();
        CheckRoomFor(BoxBytesFor(text) + BoxBytesHeld(*this));
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

} // namespace orvik
