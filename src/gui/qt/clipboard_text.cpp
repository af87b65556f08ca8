// SPDX-License-Identifier: MIT
#include "gui/qt/clipboard_text.h"

#include "gui/qt/qt_text.h"
#include "gui/qt/text_box.h"
#include "text/utf.h"
#include "window/desktop_error.h"
#include "window/error_description.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QStringDecoder>
#include <QTextDocumentFragment>

#ifdef ORVIK_X11
#include "gui/qt/x11/x11_clipboard.h"
#include "gui/qt/x11/x11_connection.h"
#endif

namespace orvik {

namespace {

#ifdef ORVIK_X11
std::u16string TextOf(const X11ClipboardOffer& offer)
{
    using Kind = X11ClipboardOffer::Kind;
    switch (offer.kind) {
    case Kind::Utf8:
        return Utf16FromUtf8(offer.bytes);
    case Kind::Latin1: {
        std::u16string text(offer.bytes.size(), u'\0');
        for (std::size_t i = 0; i < text.size(); ++i)
            text[i] = static_cast<unsigned char>(offer.bytes[i]);
        return text;
    }
    case Kind::Html: {
        const QByteArrayView bytes(offer.bytes);
        QStringDecoder decode(
            QStringConverter::encodingForHtml(bytes).value_or(QStringConverter::Utf8));
        return PlainTextOfHtml(decode(bytes));
    }
    case Kind::None:
        break;
    }
    return {};
}
#endif

} // namespace

std::u16string PlainTextOfHtml(const QString& html)
{
    return FromRawText(QTextDocumentFragment::fromHtml(html).toRawText());
}

std::u16string PlainTextOf(const QMimeData& data)
{
    if (data.hasText())
        return ToU16String(data.text());
    if (data.hasHtml())
        return PlainTextOfHtml(data.html());
    return {};
}

QClipboard& Clipboard()
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        throw DesktopError("Le presse-papiers est inaccessible.");
    return *clipboard;
}

std::u16string ReadClipboardText()
{
#ifdef ORVIK_X11
    if (xcb_connection_t* connection = ApplicationX11Connection()) {
        if (const auto offer = ReadX11Clipboard(connection, kClipboardWait))
            return TextOf(*offer);
    }
#endif
    const QMimeData* data = Clipboard().mimeData();
    return data ? PlainTextOf(*data) : std::u16string();
}

} // namespace orvik
