// SPDX-License-Identifier: MIT
#include "gui/qt/frm_main.h"

#include "gui/qt/qt_desktop.h"
#include "gui/qt/qt_text.h"
#include "gui/qt/text_box.h"
#include "gui/qt/wayland/wayland_window_guard.h"
#include "gui/qt/x11/close_request_watch.h"
#include "window/frm_main_description.h"
#include "window/main_commands.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFont>
#include <QFontMetrics>
#include <QIcon>
#include <QKeyEvent>
#include <QLocale>
#include <QMimeData>
#include <QPixmap>
#include <QPushButton>
#include <QRect>
#include <QStyle>
#include <QStyleOptionButton>
#include <QUrl>

// The icon's source: a 32 x 32 image in nine colours, compiled in as it stands.
#include "orvik.xpm"

namespace orvik {

namespace {

// Below this, a caption would no longer be comfortable to read; the smallest size is kept then.
constexpr qreal kSmallestPointSize = 6.0;
constexpr int kSmallestPixelSize = 8;

QSize CaptionRoom(const QPushButton& button)
{
    QStyleOptionButton option;
    option.initFrom(&button);
    option.text = button.text();
    option.rect = button.rect();
    return button.style()->subElementRect(QStyle::SE_PushButtonContents, &option, &button).size();
}

bool Fits(const QFont& font, const QString& caption, QSize room)
{
    const QFontMetrics metrics(font);
    return metrics.horizontalAdvance(caption) <= room.width() && metrics.height() <= room.height();
}

// Makes the button's caption fit inside the button, whose size never changes: when the caption
// is wider or taller than the room the style leaves for it, the font shrinks, in half-point steps
// and trying a semi-condensed face at each size, until it fits. A caption that fits keeps the
// style's default font. Call once the button has its final size.
void FitCaption(QPushButton& button)
{
    const QSize room = CaptionRoom(button);
    const QString caption = button.text();
    QFont font = button.font();
    if (Fits(font, caption, room))
        return;

    // A font may be given in points or in pixels, depending on the platform.
    const bool inPoints = font.pointSizeF() > 0;
    const qreal start = inPoints ? font.pointSizeF() : qreal(font.pixelSize());
    const qreal step = inPoints ? 0.5 : 1.0;
    const qreal smallest = inPoints ? kSmallestPointSize : qreal(kSmallestPixelSize);
    for (qreal size = start; size >= smallest; size -= step) {
        for (const int stretch : { int(QFont::Unstretched), int(QFont::SemiCondensed) }) {
            if (inPoints)
                font.setPointSizeF(size);
            else
                font.setPixelSize(int(size));
            font.setStretch(stretch);
            if (Fits(font, caption, room)) {
                button.setFont(font);
                return;
            }
        }
    }
    button.setFont(font);
}

// Places and sizes are in Qt's logical pixels, which Qt scales to the screen's density itself.
QRect Place(const ControlDescription& control)
{
    const auto pixels = [](int twips) { return TwipsToPixels(twips, kStandardDpi); };
    return QRect(pixels(control.place.left), pixels(control.place.top), pixels(control.place.width),
        pixels(control.place.height));
}

void Describe(QWidget& widget, const ControlDescription& control)
{
    widget.setObjectName(QLatin1StringView(control.name));
    widget.setAccessibleName(ToQString(control.spokenName));
    widget.setAccessibleDescription(ToQString(control.spokenDescription));
    widget.setGeometry(Place(control));
}

// The font both boxes open in; where the machine lacks it, the nearest sans-serif face.
QFont BoxFont()
{
    QFont font(ToQString(kMainWindow.boxFontFace));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(kMainWindow.boxFontHalfPoints / 2.0);
    return font;
}

TextBox* MakeBox(QWidget* parent, const char* name)
{
    const ControlDescription& control = *FindControl(name);
    auto* box = new TextBox(parent);
    Describe(*box, control);
    box->setFont(BoxFont());
    box->setLocale(QLocale(QLocale::French, QLocale::France));
    // Tab moves between the window's controls; a tab character can still be pasted.
    box->setTabChangesFocus(true);
    box->setPlainText(ToQString(control.text));
    return box;
}

QPushButton* MakeButton(QWidget* parent, const char* name)
{
    const ControlDescription& control = *FindControl(name);
    auto* button = new QPushButton(ToQString(control.text), parent);
    Describe(*button, control);
    // No button answers Enter or Esc for the whole window; Space clicks the focused one, and so
    // does Enter (frmMain::eventFilter), as on Windows.
    button->setAutoDefault(false);
    button->setDefault(false);
    FitCaption(*button);
    return button;
}

} // namespace

frmMain::frmMain(QWidget* parent)
    : QWidget(parent)
    , cmdPaste(MakeButton(this, "cmdPaste"))
    , rtbSource(MakeBox(this, "rtbSource"))
    , CmdConvert(MakeButton(this, "CmdConvert"))
    , rtbResult(MakeBox(this, "rtbResult"))
    , cmdCopy(MakeButton(this, "cmdCopy"))
    , m_desktop(std::make_unique<QtDesktop>(this, rtbSource, rtbResult))
    , m_commands(std::make_unique<MainCommands>(*m_desktop))
    , m_closeWatch(std::make_unique<CloseRequestWatch>(*this))
#ifdef ORVIK_WAYLAND
    , m_waylandGuard(std::make_unique<WaylandWindowGuard>(*this, *m_closeWatch))
#endif
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(ToQString(kMainWindow.caption));
    setWindowIcon(QIcon(QPixmap(orvik_xpm)));
    setFixedSize(TwipsToPixels(kMainWindow.clientWidth, kStandardDpi),
        TwipsToPixels(kMainWindow.clientHeight, kStandardDpi));
    // A fixed frame: no maximise box.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
        | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    QWidget* previous = nullptr;
    for (const ControlDescription* control : InTabOrder()) {
        auto* widget = findChild<QWidget*>(QLatin1StringView(control->name));
        if (previous)
            setTabOrder(previous, widget);
        else
            widget->setFocus();
        previous = widget;
    }

    // The boxes take text dropped on them, but a file goes to the window.
    setAcceptDrops(true);
    for (TextBox* box : { rtbSource, rtbResult })
        box->viewport()->installEventFilter(this);
    for (QPushButton* button : { cmdPaste, CmdConvert, cmdCopy })
        button->installEventFilter(this);

    connect(cmdPaste, &QPushButton::clicked, this, &frmMain::cmdPaste_Click);
    connect(CmdConvert, &QPushButton::clicked, this, &frmMain::CmdConvert_Click);
    connect(cmdCopy, &QPushButton::clicked, this, &frmMain::cmdCopy_Click);
}

frmMain::~frmMain() = default;

void frmMain::Run(void (MainCommands::*handler)() noexcept)
{
    m_closeWatch->BeginBusy();
    (m_commands.get()->*handler)();
    if (m_closeWatch->EndBusy())
        close();
}

void frmMain::OpenFile(const QString& file)
{
    m_closeWatch->BeginBusy();
    m_commands->OpenFile(ToU16String(file));
    if (m_closeWatch->EndBusy())
        close();
}

namespace {

// The first local file a drag carries; empty when it carries none.
QString DraggedFile(const QMimeData* data)
{
    for (const QUrl& url : data ? data->urls() : QList<QUrl>())
        if (url.isLocalFile()) {
            // The path's bytes, percent-decoded: a name that is not UTF-8 keeps them.
            const QByteArray path
                = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
            return FileNameFromBytes({ path.constData(), std::size_t(path.size()) });
        }
    return {};
}

} // namespace

void frmMain::dragEnterEvent(QDragEnterEvent* event)
{
    if (!DraggedFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void frmMain::dropEvent(QDropEvent* event)
{
    const QString file = DraggedFile(event->mimeData());
    if (file.isEmpty())
        return;
    event->acceptProposedAction();
    OpenFile(file);
}

bool frmMain::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (!DraggedFile(drag->mimeData()).isEmpty()) {
            drag->acceptProposedAction();
            return true;
        }
    } else if (event->type() == QEvent::Drop) {
        auto* drop = static_cast<QDropEvent*>(event);
        if (!DraggedFile(drop->mimeData()).isEmpty()) {
            dropEvent(drop);
            return true;
        }
    } else if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        auto* button = qobject_cast<QPushButton*>(watched);
        if (button && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
            button->click();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void frmMain::closeEvent(QCloseEvent* event)
{
    // A command waiting for the clipboard, or showing its message, is not cut short.
    if (m_closeWatch->HoldWhileBusy()) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

void frmMain::CmdConvert_Click()
{
    Run(&MainCommands::CmdConvert_Click);
}

void frmMain::cmdPaste_Click()
{
    Run(&MainCommands::cmdPaste_Click);
}

void frmMain::cmdCopy_Click()
{
    Run(&MainCommands::cmdCopy_Click);
}

} // namespace orvik
