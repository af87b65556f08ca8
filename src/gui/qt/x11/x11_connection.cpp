// SPDX-License-Identifier: MIT
#include "gui/qt/x11/x11_connection.h"

#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>

namespace orvik {

xcb_connection_t* ApplicationX11Connection()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection() || QGuiApplication::platformName() != u"xcb")
        return nullptr;
    return x11->connection();
}

xcb_atom_t InternAtom(xcb_connection_t* connection, std::string_view name)
{
    const XcbReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, uint16_t(name.size()), name.data()), nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

} // namespace orvik
