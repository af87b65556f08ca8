// SPDX-License-Identifier: MIT
// What the X11 pieces of the front end share: the application's own connection to the X server,
// and atoms by name.
#pragma once

#include <cstdlib>
#include <memory>
#include <string_view>
#include <xcb/xcb.h>

namespace orvik {

// An xcb reply or event, which its receiver frees with free().
struct XcbFree
{
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using XcbReply = std::unique_ptr<T, XcbFree>;

// Qt's connection to the X server; nullptr when the application runs on none. Qt's offscreen
// platform answers to the X11 interface too, without a connection, so the platform is checked
// as well.
xcb_connection_t* ApplicationX11Connection();

// The atom named `name` on `connection`; XCB_ATOM_NONE when the connection failed.
xcb_atom_t InternAtom(xcb_connection_t* connection, std::string_view name);

} // namespace orvik
