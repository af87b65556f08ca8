#include "platform/qt/box_text.h"

#include "platform/platform_error.h"
#include "platform/qt/qt_text.h"

#include <QTextCharFormat>
#include <QTextDocument>
#include <QTextEdit>

namespace orvik {

std::u16string ReadBoxText(const QTextEdit& box)
{
    const QString raw = box.document()->toRawText();
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
    if (text.size() > kMaxBoxTextLength)
        throw PlatformError("Texte trop long : une zone de texte contient au plus 2 147 483 646 "
                            "caractères.");
    // Without this, the new text would take the format at the caret, say the bold of a rich text
    // pasted by hand, rather than the box's own font.
    box.setCurrentCharFormat(QTextCharFormat());
    box.setPlainText(ToQString(text));
}

} // namespace orvik
