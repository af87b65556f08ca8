#include "platform/qt/qt_platform.h"

#include "platform/qt/box_text.h"
#include "platform/error_description.h"
#include "platform/platform_error.h"
#include "platform/qt/qt_text.h"

#include <QApplication>
#include <QClipboard>
#include <QMessageBox>
#include <QTextEdit>

namespace orvik {

namespace {

QClipboard& Clipboard()
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        throw PlatformError("Le presse-papiers est inaccessible.");
    return *clipboard;
}

} // namespace

QtPlatform::QtPlatform(QWidget* messageParent, QTextEdit* source, QTextEdit* result)
    : m_messageParent(messageParent)
    , m_source(source)
    , m_result(result)
{ }

QTextEdit& QtPlatform::BoxFor(Box box) const
{
    QTextEdit* edit = box == Box::Source ? m_source : m_result;
    if (!edit)
        throw PlatformError("La zone de texte est inaccessible.");
    return *edit;
}

std::u16string QtPlatform::BoxText(Box box)
{
    return ReadBoxText(BoxFor(box));
}

void QtPlatform::SetBoxText(Box box, std::u16string_view text)
{
    WriteBoxText(BoxFor(box), text);
}

void QtPlatform::ClearClipboard()
{
    Clipboard().clear();
}

std::u16string QtPlatform::ClipboardText()
{
    // Plain text only: an image or any other format alone reads as an empty text.
    return ToU16String(Clipboard().text());
}

void QtPlatform::SetClipboardText(std::u16string_view text)
{
    QClipboard& clipboard = Clipboard();
    const QString wanted = ToQString(text);
    clipboard.setText(wanted);
    // QClipboard reports no failure of its own: when the system would not let this program own
    // the clipboard, the text read back is someone else's.
    if (clipboard.text() != wanted)
        throw PlatformError("Le presse-papiers n'a pas accepté le texte : un autre programme "
                            "l'utilise peut-être.");
}

void QtPlatform::ShowMessage(std::u16string_view prompt, std::u16string_view title)
{
    QMessageBox box(
        QMessageBox::NoIcon, ToQString(title), ToQString(prompt), QMessageBox::Ok, m_messageParent);
    // The prompt ends with an error description, which is text, never markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

std::u16string QtPlatform::DescribeCurrentError()
{
    return DescribeException(std::current_exception());
}

void QtPlatform::BeginBusy() noexcept
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void QtPlatform::EndBusy() noexcept
{
    QApplication::restoreOverrideCursor();
}

} // namespace orvik
