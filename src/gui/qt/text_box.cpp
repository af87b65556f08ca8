// SPDX-License-Identifier: MIT
#include "gui/qt/text_box.h"

#include "gui/qt/box_text.h"
#include "gui/qt/clipboard_text.h"
#include "gui/qt/memory_room.h"
#include "gui/qt/qt_text.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>

namespace orvik {

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
        CheckRoomFor(BoxBytesFor(text) + BoxBytesHeld(*this));
    } catch (...) {
        // An owner that does not answer, or too little memory: nothing is pasted, the box keeps
        // its text.
        QApplication::beep();
        return;
    }
    insertPlainText(ToQString(text));
}

} // namespace orvik
