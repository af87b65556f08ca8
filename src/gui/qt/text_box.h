// SPDX-License-Identifier: MIT
// The window's text box, whose text goes in and out exactly.
//
// QTextEdit::toPlainText() is not exact: it turns the no-break space U+00A0 into a space and the
// line separator U+2028 into a line feed. Text() works from the document's raw text instead,
// where only the block separators need turning into line feeds.
//
// What a text document cannot hold: it splits paragraphs at LF, CR, CR LF, U+2029 (paragraph
// separator) and the non-characters U+FDD0 and U+FDD1 alike, and keeps no trace of which one it
// was. So every one of them reads back as one LF; every other code unit (U+00A0, U+202F, U+2028,
// tabs, NUL, combining marks, surrogate pairs and even lone surrogates) reads back as written.
#pragma once

#include <QTextEdit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class QString;

namespace orvik {

// A QTextEdit that reads and writes its text exactly, and weighs a text before it takes it in
// (memory_room.h). Every way into the clipboard goes through the same bounded reading as the
// paste button, and its copy is the exact plain text:
// - Ctrl+V, Shift+Insert and the context menu's paste take the clipboard's plain text, every code
//   unit of it, as the paste button does, and beep, pasting nothing, when it cannot be read.
//   Qt's own reading drops a leading U+FEFF, and on X11 asks a silent owner for its formats,
//   five seconds each time, several times over, before a paste and before the context menu opens.
// - Ctrl+C, Ctrl+X and the context menu's copy and cut put the selection's exact text on the
//   clipboard and nothing else (Qt's own copy turns no-break spaces into spaces and U+2028 into
//   a line feed, and offers HTML and other formats it builds, for a long text, at a size that can
//   exhaust the memory). A selection too large for the memory left beeps and copies nothing: the
//   clipboard and the box are left as they were.
class TextBox final : public QTextEdit
{
    Q_OBJECT

public:
    using QTextEdit::QTextEdit;

    // The box's whole text, line breaks as LF.
    std::u16string Text() const;

    // Replaces the box's content with `text` as plain text, in the box's own font, as one undoable
    // edit when it is no longer than kMaxUndoableBoxTextLength. Throws DesktopError, the box
    // keeping its text, when `text` is longer than kMaxBoxTextLength, or when the memory left
    // would not hold it beside `bytesBeside` bytes the program needs elsewhere (the other box).
    void ReplaceText(std::u16string_view text, std::uint64_t bytesBeside = 0);

    // What the box needs for the text it holds, by BoxBytesFor: its layout may still be under way.
    std::uint64_t BytesHeld() const;

protected:
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;
    QMimeData* createMimeDataFromSelection() const override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    // Puts the selection's exact text on the clipboard; false, after a beep, when there is no
    // room to copy it, and false when nothing is selected.
    bool CopySelection();
    void CutSelection();
};

// A text document's raw text (QTextDocument::toRawText) as a box gives it back: block separators
// as LF.
std::u16string FromRawText(const QString& raw);

} // namespace orvik
