// SPDX-License-Identifier: MIT
#include "gui/qt/qt_desktop.h"

#include "gui/qt/clipboard_text.h"
#include "gui/qt/qt_text.h"
#include "gui/qt/text_box.h"
#include "text/utf.h"
#include "window/desktop_error.h"
#include "window/error_description.h"
#include "window/text_file.h"

#include <QApplication>
#include <QClipboard>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace orvik {

namespace {

// On Wayland Qt 6.4 draws the frame itself: a 3-pixel border, the icon at the left and three
// buttons at the right, the title in a 14-pixel face, placed as if centred on a title measured
// in the application's font. The box's width that shows the whole title there.
int WaylandFrameTitleRoom(const QString& title)
{
    const QFont measured;
    QFont drawn = measured;
    drawn.setPixelSize(14);
    const int measuredWidth = QFontMetrics(measured).horizontalAdvance(title);
    const int drawnWidth = QFontMetrics(drawn).horizontalAdvance(title);
    constexpr int left = 35, right = 77, border = 6, slack = 8;
    return std::max(measuredWidth + 2 * left, 2 * drawnWidth - measuredWidth + 2 * right) - border
        + slack;
}

} // namespace

QtDesktop::QtDesktop(QWidget* messageParent, TextBox* source, TextBox* result)
    : m_messageParent(messageParent)
    , m_source(source)
    , m_result(result)
{ }

TextBox& QtDesktop::BoxFor(Box box) const
{
    TextBox* edit = box == Box::Source ? m_source : m_result;
    if (!edit)
        throw DesktopError("La zone de texte est inaccessible.");
    return *edit;
}

std::u16string QtDesktop::BoxText(Box box)
{
    return BoxFor(box).Text();
}

void QtDesktop::SetBoxText(Box box, std::u16string_view text)
{
    TextBox& edit = BoxFor(box);
    // The other box may still be laying out its text in the background.
    const TextBox& other = BoxFor(box == Box::Source ? Box::Result : Box::Source);
    edit.ReplaceText(text, other.BytesHeld());
}

void QtDesktop::ClearClipboard()
{
    Clipboard().clear();
}

std::u16string QtDesktop::ClipboardText()
{
    // An image or any other format but text and HTML reads as an empty text.
    return ReadClipboardText();
}

void QtDesktop::SetClipboardText(std::u16string_view text)
{
    QClipboard& clipboard = Clipboard();
    const QString wanted = ToQString(text);
    clipboard.setText(wanted);
    // QClipboard reports no failure of its own: when the system would not let this program own
    // the clipboard, the text read back is someone else's.
    if (ReadClipboardText() != text)
        throw DesktopError("Le presse-papiers n'a pas accepté le texte : un autre programme "
                           "l'utilise peut-être.");
}

void QtDesktop::ShowMessage(std::u16string_view prompt, std::u16string_view title)
{
    QMessageBox box(
        QMessageBox::NoIcon, ToQString(title), ToQString(prompt), QMessageBox::Ok, m_messageParent);
    // Said on standard error too, where a terminal or a log keeps it once the box is gone.
    const QByteArray said
        = (box.windowTitle() + QStringLiteral(" : ") + box.text() + u'\n').toUtf8();
    std::fwrite(said.constData(), 1, std::size_t(said.size()), stderr);
    // The prompt ends with an error description, which is text, never markup.
    box.setTextFormat(Qt::PlainText);
    // A window manager draws the title in a bold face beside its own buttons; a box only as wide
    // as a short prompt would cut the title short.
    QFont titleFont = box.font();
    titleFont.setBold(true);
    const QFontMetrics metrics(titleFont);
    int titleWidth = metrics.horizontalAdvance(box.windowTitle()) + 6 * metrics.height();
    if (QGuiApplication::platformName() == u"wayland")
        titleWidth = std::max(titleWidth, WaylandFrameTitleRoom(box.windowTitle()));
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(new QSpacerItem(titleWidth, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
            grid->rowCount(), 0, 1, grid->columnCount());
    box.exec();
}

std::string QtDesktop::ReadFile(std::u16string_view file, std::size_t limit)
{
    // The name's own bytes: one that is not UTF-8 (an old Latin-1 name) came with them kept.
    const std::string name = Utf8FromUtf16(file, LoneSurrogates::EscapeBytes);
    struct stat status;
    if (stat(name.c_str(), &status) != 0)
        throw FileError(FileProblem::Missing, file);
    if (S_ISDIR(status.st_mode))
        throw FileError(FileProblem::Folder, file);
    if (!S_ISREG(status.st_mode))
        throw FileError(FileProblem::NotAFile, file);
    if (std::uint64_t(status.st_size) > limit)
        throw FileError(FileProblem::TooLarge, file);
    const int fd = open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw FileError(FileProblem::Unreadable, file, errno == EACCES ? u"accès refusé" : u"");
    const std::unique_ptr<const int, void (*)(const int*)> closed(
        &fd, [](const int* f) { close(*f); });
    std::string bytes;
    bytes.reserve(std::size_t(status.st_size));
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got == 0)
            return bytes;
        if (got < 0 && errno != EINTR)
            throw FileError(FileProblem::Unreadable, file);
        bytes.append(buffer, std::size_t(std::max<ssize_t>(got, 0)));
        // Grown since it was measured.
        if (bytes.size() > limit)
            throw FileError(FileProblem::TooLarge, file);
    }
}

std::u16string QtDesktop::DescribeCurrentError()
{
    return DescribeException(std::current_exception());
}

void QtDesktop::BeginBusy() noexcept
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // Shows the busy cursor and the clicked button's new state before the work blocks the event
    // loop. The user's input waits until the work is done.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void QtDesktop::EndBusy() noexcept
{
    QApplication::restoreOverrideCursor();
}

} // namespace orvik
