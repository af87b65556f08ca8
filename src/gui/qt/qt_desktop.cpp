// SPDX-License-Identifier: MIT
#include "platform/qt/qt_platform.h"

#include "platform/error_description.h"
#include "platform/platform_error.h"
#include "platform/qt/box_text.h"
#include "platform/qt/clipboard_text.h"
#include "platform/qt/memory_room.h"
#include "platform/qt/qt_text.h"

#include <QApplication>
#include <QClipboard>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>
#include <QTextEdit>

namespace orvik {

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
    QTextEdit& edit = BoxFor(box);
    CheckBoxTextLength(text.size());
    // The other box may still be laying out its text in the background.
    const QTextEdit& other = BoxFor(box == Box::Source ? Box::Result : Box::Source);
    CheckRoomFor(BoxBytesFor(text) + BoxBytesHeld(other));
    WriteBoxText(edit, text);
}

void QtPlatform::ClearClipboard()
{
    Clipboard().clear();
}

std::u16string QtPlatform::ClipboardText()
{
    // An image or any other format but text and HTML reads as an empty text.
    return ReadClipboardText();
}

void QtPlatform::SetClipboardText(std::u16string_view text)
{
    QClipboard& clipboard = Clipboard();
    const QString wanted = ToQString(text);
    clipboard.setText(wanted);
    // QClipboard reports no failure of its own: when the system would not let this program own
    // the clipboard, the text read back is someone else's.
    if (ReadClipboardText() != text)
        throw PlatformError("Le presse-papiers n'a pas accepté le texte : un autre programme "
                            "l'utilise peut-être.");
}

void QtPlatform::ShowMessage(std::u16string_view prompt, std::u16string_view title)
{
    QMessageBox box(
        QMessageBox::NoIcon, ToQString(title), ToQString(prompt), QMessageBox::Ok, m_messageParent);
    // The prompt ends with an error description, which is text, never markup.
    box.setTextFormat(Qt::PlainText);
    // A window manager draws the title in a bold face beside its own buttons; a box only as wide
    // as a short prompt would cut the title short.
    QFont titleFont = box.font();
    titleFont.setBold(true);
    const QFontMetrics metrics(titleFont);
    const int titleWidth = metrics.horizontalAdvance(box.windowTitle()) + 6 * metrics.height();
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(new QSpacerItem(titleWidth, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
            grid->rowCount(), 0, 1, grid->columnCount());
    box.exec();
}

std::u16string QtPlatform::DescribeCurrentError()
{
    return DescribeException(std::current_exception());
}

void QtPlatform::BeginBusy() noexcept
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // Shows the busy cursor and the clicked button's new state before the work blocks the event
    // loop. The user's input waits until the work is done.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void QtPlatform::EndBusy() noexcept
{
    QApplication::restoreOverrideCursor();
}

} // namespace orvik
