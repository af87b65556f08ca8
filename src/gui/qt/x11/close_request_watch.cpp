// SPDX-License-Identifier: MIT
#include "gui/qt/x11/close_request_watch.h"

#include <QCoreApplication>
#include <QWidget>

#ifdef ORVIK_X11
#include "gui/qt/x11/x11_connection.h"
#endif

namespace orvik {

CloseRequestWatch::CloseRequestWatch(const QWidget& window)
    : m_window(window)
{
#ifdef ORVIK_X11
    xcb_connection_t* connection = ApplicationX11Connection();
    if (!connection)
        return;
    m_protocols = InternAtom(connection, "WM_PROTOCOLS");
    m_delete = InternAtom(connection, "WM_DELETE_WINDOW");
    QCoreApplication::instance()->installNativeEventFilter(this);
#endif
}

CloseRequestWatch::~CloseRequestWatch()
{
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

void CloseRequestWatch::BeginBusy() noexcept
{
    m_busy = true;
}

bool CloseRequestWatch::EndBusy() noexcept
{
    m_busy = false;
    const bool held = m_held;
    m_held = false;
    return held;
}

bool CloseRequestWatch::HoldWhileBusy() noexcept
{
    if (m_busy)
        m_held = true;
    return m_busy;
}

bool CloseRequestWatch::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
#ifdef ORVIK_X11
    if (!m_busy || eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7F) != XCB_CLIENT_MESSAGE)
        return false;
    const auto* client = static_cast<const xcb_client_message_event_t*>(message);
    if (client->format != 32 || client->type != m_protocols || client->data.data32[0] != m_delete
        || client->window != m_window.internalWinId())
        return false;
    m_held = true;
    return true;
#else
    (void)eventType, (void)message;
    return false;
#endif
}

} // namespace orvik
