// SPDX-License-Identifier: MIT
#pragma once

#include <QTextEdit>

namespace orvik {

// The window's text box: a QTextEdit whose Ctrl+V (and context menu paste) takes the clipboard's
// plain text as the paste button does, every code unit of it and within the same bounded wait.
// Qt's own reading drops a leading U+FEFF and waits for a silent owner several times over.
class TextBox final : public QTextEdit
{
public:
    using QTextEdit::QTextEdit;

protected:
    void insertFromMimeData(const QMimeData* source) override;
};

} // namespace orvik
