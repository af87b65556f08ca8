// SPDX-License-Identifier: MIT
#include "gui/qt/wayland/wayland_window_guard.h"

#include "gui/qt/x11/close_request_watch.h"

#include <QEvent>
#include <QGuiApplication>
#include <QWidget>
#include <QWindow>
#include <qpa/qplatformnativeinterface.h>
#include <qpa/qwindowsysteminterface_p.h>
#include <wayland-client.h>

namespace orvik {

namespace {

// Requests of xdg_toplevel, by their numbers in the xdg-shell protocol.
constexpr uint32_t kUnsetMaximized = 10;
constexpr uint32_t kUnsetFullscreen = 12;

bool OnWayland()
{
    return QGuiApplication::platformName() == u"wayland";
}

} // namespace

// Sees each window system event before Qt does, and so a close request before Qt drops it for
// the modal box.
class WaylandWindowGuard::CloseHold final : public QWindowSystemEventHandler
{
public:
    CloseHold(const QWidget& window, CloseRequestWatch& closeWatch)
        : m_window(window)
        , m_closeWatch(closeWatch)
    {
        QWindowSystemInterfacePrivate::installWindowSystemEventHandler(this);
    }
    ~CloseHold() override { QWindowSystemInterfacePrivate::removeWindowSystemEventhandler(this); }
    CloseHold(const CloseHold&) = delete;
    CloseHold& operator=(const CloseHold&) = delete;

    bool sendEvent(QWindowSystemInterfacePrivate::WindowSystemEvent* event) override
    {
        if (event->type == QWindowSystemInterfacePrivate::Close
            && static_cast<QWindowSystemInterfacePrivate::CloseEvent*>(event)->window
                == m_window.windowHandle()
            && m_closeWatch.HoldWhileBusy())
            return true;
        return QWindowSystemEventHandler::sendEvent(event);
    }

private:
    const QWidget& m_window;
    CloseRequestWatch& m_closeWatch;
};

WaylandWindowGuard::WaylandWindowGuard(QWidget& window, CloseRequestWatch& closeWatch)
    : m_window(window)
{
    if (!OnWayland())
        return;
    m_closeHold = std::make_unique<CloseHold>(window, closeWatch);
    // The window's QWindow exists once it is first shown.
    window.installEventFilter(this);
}

WaylandWindowGuard::~WaylandWindowGuard() = default;

bool WaylandWindowGuard::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != &m_window || event->type() != QEvent::Show || !m_window.windowHandle())
        return false;
    m_window.removeEventFilter(this);
    QWindow* window = m_window.windowHandle();
    connect(window, &QWindow::windowStateChanged, this, [window](Qt::WindowState state) {
        if (state != Qt::WindowMaximized && state != Qt::WindowFullScreen)
            return;
        // Qt has queued the request, not yet sent it: taking it back in the same batch leaves
        // the compositor nothing to do.
        QPlatformNativeInterface* native = QGuiApplication::platformNativeInterface();
        auto* toplevel = native ? static_cast<wl_proxy*>(native->nativeResourceForWindow(
                             QByteArrayLiteral("xdg_toplevel"), window))
                                : nullptr;
        if (toplevel)
            wl_proxy_marshal_flags(toplevel,
                state == Qt::WindowMaximized ? kUnsetMaximized : kUnsetFullscreen, nullptr,
                wl_proxy_get_version(toplevel), 0);
        window->setWindowStates(Qt::WindowNoState);
    });
    return false;
}

} // namespace orvik
