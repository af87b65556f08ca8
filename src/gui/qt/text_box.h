// SPDX-License-Identifier: MIT
#pragma once

#include <QTextEdit>

namespace orvik {

// The window's text box: a QTextEdit whose every way into the clipboard goes through the same
// bounded reading as the paste button, and whose copy is the exact plain text.
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
public:
    using QTextEdit::QTextEdit;

protected:
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;
    QMimeData* createMimeDataFromSelection() const override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    // The selection's exact text, or false when there is no room to copy it.
    bool CopySelection();
    void CutSelection();
};

} // namespace orvik
