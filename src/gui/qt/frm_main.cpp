// SPDX-License-Identifier: MIT
#include "gui/qt/frm_main.h"

#include "gui/qt/caption_fit.h"
#include "gui/qt/qt_desktop.h"
#include "gui/qt/text_box.h"
#include "gui/qt/wayland/wayland_window_guard.h"
#include "gui/qt/x11/close_request_watch.h"
#include "window/frm_main_description.h"
#include "window/main_commands.h"

#include <QCloseEvent>
#include <QFont>
#include <QIcon>
#include <QLocale>
#include <QPixmap>
#include <QPushButton>
#include <QRect>
#include <QTextEdit>

// The icon's source: a 32 x 32 image in nine colours, compiled in as it stands.
#include "orvik.xpm"

namespace orvik {

namespace {

QString FromUtf16(std::u16string_view text)
{
    return QStringView(text).toString();
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
    widget.setAccessibleName(FromUtf16(control.spokenName));
    widget.setAccessibleDescription(FromUtf16(control.spokenDescription));
    widget.setGeometry(Place(control));
}

// The font both boxes open in; where the machine lacks it, the nearest sans-serif face.
QFont BoxFont()
{
    QFont font(FromUtf16(kMainWindow.boxFontFace));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(kMainWindow.boxFontHalfPoints / 2.0);
    return font;
}

QTextEdit* MakeBox(QWidget* parent, const char* name)
{
    const ControlDescription& control = *FindControl(name);
    auto* box = new TextBox(parent);
    Describe(*box, control);
    box->setFont(BoxFont());
    box->setLocale(QLocale(QLocale::French, QLocale::France));
    // Tab moves between the window's controls; a tab character can still be pasted.
    box->setTabChangesFocus(true);
    box->setPlainText(FromUtf16(control.text));
    return box;
}

QPushButton* MakeButton(QWidget* parent, const char* name)
{
    const ControlDescription& control = *FindControl(name);
    auto* button = new QPushButton(FromUtf16(control.text), parent);
    Describe(*button, control);
    // No button answers Enter or Esc for the whole window; Space clicks the focused one.
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
    , m_closeWatch(std::make_unique<CloseRequestWatch>(*this, m_running, m_closeRequested))
#ifdef ORVIK_WAYLAND_GUARD
    , m_waylandGuard(std::make_unique<WaylandWindowGuard>(*this, m_running, m_closeRequested))
#endif
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(FromUtf16(kMainWindow.caption));
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

    connect(cmdPaste, &QPushButton::clicked, this, &frmMain::cmdPaste_Click);
    connect(CmdConvert, &QPushButton::clicked, this, &frmMain::CmdConvert_Click);
    connect(cmdCopy, &QPushButton::clicked, this, &frmMain::cmdCopy_Click);
}

frmMain::~frmMain() = default;

void frmMain::Run(void (MainCommands::*handler)() noexcept)
{
    m_running = true;
    (m_commands.get()->*handler)();
    m_running = false;
    if (m_closeRequested)
        close();
}

void frmMain::closeEvent(QCloseEvent* event)
{
    // A command waiting for the clipboard, or showing its message, is not cut short.
    if (m_running) {
        m_closeRequested = true;
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
