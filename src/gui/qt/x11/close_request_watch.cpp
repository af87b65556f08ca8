// SPDX-License-Identifier: MIT
#include "gui/qt/x11/close_request_watch.h"

#include <QCoreApplication>
#include <QWidget>

#ifdef ORVIK_X11_CLIPBOARD
#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>
#include <cstdlib>
#include <cstring>
#include <xcb/xcb.h>
#endif

namespace orvik {

namespace {

#ifdef ORVIK_X11_CLIPBOARD
unsigned Atom(xcb_connection_t* connection, const char* name)
{
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name), nullptr);
    const unsigned atom = reply ? reply->atom : 0;
    std::free(reply);
    return atom;
}
#endif

} // namespace

CloseRequestWatch::CloseRequestWatch(const QWidget& window, const bool& busy, bool& held)
    : m_window(window)
    , m_busy(busy)
    , m_held(held)
{
#ifdef ORVIK_X11_CLIPBOARD
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection() || QGuiApplication::platformName() != u"xcb")
        return;
    m_protocols = Atom(x11->connection(), "WM_PROTOCOLS");
    m_delete = Atom(x11->connection(), "WM_DELETE_WINDOW");
    QCoreApplication::instance()->installNativeEventFilter(this);
#endif
}

CloseRequestWatch::~CloseRequestWatch()
{
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

bool CloseRequestWatch::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
#ifdef ORVIK_X11_CLIPBOARD
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
