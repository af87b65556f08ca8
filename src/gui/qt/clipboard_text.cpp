// SPDX-License-Identifier: MIT
#include "gui/qt/clipboard_text.h"

#include "gui/qt/clipboard_offer.h"
#include "gui/qt/qt_text.h"
#include "gui/qt/text_box.h"
#include "text/utf.h"
#include "window/desktop_error.h"
#include "window/error_description.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QMimeData>
#include <QPointer>
#include <QStringDecoder>
#include <QTextDocumentFragment>
#include <algorithm>
#include <algorithm>
#include <array>
#include <atomic>
#include <utility>

#ifdef ORVIK_X11
#include "gui/qt/x11/x11_clipboard.h"
#include "gui/qt/x11/x11_connection.h"
#endif

namespace orvik {

namespace {

using Kind = ClipboardOffer::Kind;

std::u16string TextOf(const ClipboardOffer& offer)
{
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
        // In the encoding its byte-order mark or its <meta charset> names (windows-1252 among
        // them), else UTF-8.
        const QByteArrayView bytes(offer.bytes);
        QStringDecoder decode = QStringDecoder::decoderForHtml(bytes);
        if (!decode.isValid())
            decode = QStringDecoder(QStringConverter::Utf8);
        return PlainTextOfHtml(decode(bytes));
    }
    case Kind::None:
        break;
    }
    return {};
}

[[noreturn]] void ThrowNoAnswer()
{
    throw DesktopError("Le presse-papiers ne répond pas : le programme qui le tient est "
                       "peut-être bloqué. Copiez de nouveau le texte, puis réessayez.");
}

// Qt's Wayland reader waits a second for each piece of a transfer and, when none comes, logs a
// warning and gives an empty text, which it keeps for that offer. While one of these lives, a read
// counts as failed when Qt logs anything at all, whatever its wording, or gives nothing after at
// least that second: a changed warning, or none, still shows the error box rather than an empty
// paste. Qt's messages still go where they went.
class WaylandReadWatch
{
public:
    WaylandReadWatch()
    {
        g_logged = false;
        g_forward = qInstallMessageHandler(Note);
        m_started.start();
    }
    ~WaylandReadWatch() { qInstallMessageHandler(g_forward); }
    WaylandReadWatch(const WaylandReadWatch&) = delete;
    WaylandReadWatch& operator=(const WaylandReadWatch&) = delete;

    bool Failed(const QByteArray& bytes) const
    {
        return g_logged || (bytes.isEmpty() && m_started.elapsed() >= kQtPieceWaitMs);
    }

private:
    static constexpr qint64 kQtPieceWaitMs = 1000;

    static void Note(QtMsgType type, const QMessageLogContext& context, const QString& message)
    {
        g_logged = true;
        g_forward(type, context, message);
    }

    static inline std::atomic<bool> g_logged = false;
    static inline QtMessageHandler g_forward = nullptr;
    QElapsedTimer m_started;
};

// The raw bytes of the best text format of an offer read through Qt's Wayland reader: UTF-8
// plain text first, then HTML alone. QMimeData::text() would drop a leading byte-order mark.
std::u16string ReadWaylandOffer(const QMimeData& data)
{
    static constexpr std::array<std::pair<const char16_t*, Kind>, 4> formats { {
        { u"text/plain;charset=utf-8", Kind::Utf8 },
        { u"UTF8_STRING", Kind::Utf8 },
        { u"text/plain", Kind::Utf8 },
        { u"text/html", Kind::Html },
    } };
    // An offer that failed once gives an empty text ever after: its failure stands.
    static QPointer<const QMimeData> failed;
    if (failed == &data)
        ThrowNoAnswer();
    const QStringList offered = data.formats();
    for (const auto& [format, kind] : formats) {
        const QString name = QString::fromUtf16(format);
        if (!offered.contains(name))
            continue;
        WaylandReadWatch watch;
        const QByteArray bytes = data.data(name);
        if (watch.Failed(bytes)) {
            failed = &data;
            ThrowNoAnswer();
        }
        ClipboardOffer offer { kind, bytes.toStdString() };
        // Some owners end a text with a NUL that is not part of it.
        if (kind != Kind::Html && !offer.bytes.empty() && offer.bytes.back() == '\0')
            offer.bytes.pop_back();
        return TextOf(offer);
    }
    return {};
}

} // namespace

std::u16string PlainTextOfHtml(const QString& html)
{
    // A line break (<br>) comes out as U+2028, which many programs show as nothing: LF, as in
    // plain text.
    std::u16string text = FromRawText(QTextDocumentFragment::fromHtml(html).toRawText());
    std::replace(text.begin(), text.end(), u'\u2028', u'\n');
    return text;
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
    QClipboard& clipboard = Clipboard();
    const QMimeData* data = clipboard.mimeData();
    if (!data)
        return {};
    // What this program copied itself, the toolkit holds as it was given.
    if (QGuiApplication::platformName() == u"wayland" && !clipboard.ownsClipboard())
        return ReadWaylandOffer(*data);
    return PlainTextOf(*data);
}

} // namespace orvik
