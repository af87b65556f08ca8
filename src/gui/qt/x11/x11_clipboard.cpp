// SPDX-License-Identifier: MIT
#include "gui/qt/x11/x11_clipboard.h"

#include "gui/qt/x11/x11_connection.h"
#include "window/desktop_error.h"

#include <algorithm>
#include <array>
#include <new>
#include <poll.h>
#include <string_view>
#include <vector>

namespace orvik {

namespace {

using Clock = std::chrono::steady_clock;

// A lack of memory inside xcb closes the connection; anything else that closes it is the
// server's doing.
[[noreturn]] void ThrowConnectionError(xcb_connection_t* connection)
{
    if (xcb_connection_has_error(connection) == XCB_CONN_CLOSED_MEM_INSUFFICIENT)
        throw std::bad_alloc();
    throw DesktopError("Le presse-papiers est inaccessible : la connexion à l'affichage a été "
                       "perdue.");
}

// The atom named `name`; throws when the connection fails.
xcb_atom_t CheckedAtom(xcb_connection_t* connection, std::string_view name)
{
    const xcb_atom_t atom = InternAtom(connection, name);
    if (atom == XCB_ATOM_NONE)
        ThrowConnectionError(connection);
    return atom;
}

// A connection and a window of this reader's own, so that the owner's answers reach it and not
// the toolkit's event queue.
class Requestor
{
public:
    Requestor(xcb_window_t owner, std::chrono::milliseconds wait)
        : m_connection(xcb_connect(nullptr, nullptr))
        , m_owner(owner)
        , m_wait(wait)
    {
        if (xcb_connection_has_error(m_connection)) {
            xcb_disconnect(m_connection);
            throw DesktopError("Le presse-papiers est inaccessible : l'affichage refuse une "
                               "nouvelle connexion.");
        }
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
        m_window = xcb_generate_id(m_connection);
        const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_window, screen->root, 0, 0, 1, 1, 0,
            XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &events);
        // Told when the owner's window goes, so that an owner that ends half-way is not waited
        // for. Should the window be gone already, the error that comes back is ignored.
        const uint32_t ownerEvents = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_connection, owner, XCB_CW_EVENT_MASK, &ownerEvents);
        m_clipboard = CheckedAtom(m_connection, "CLIPBOARD");
        m_property = CheckedAtom(m_connection, "ORVIK_CLIPBOARD");
        m_incr = CheckedAtom(m_connection, "INCR");
    }
    ~Requestor() { xcb_disconnect(m_connection); }
    Requestor(const Requestor&) = delete;
    Requestor& operator=(const Requestor&) = delete;

    xcb_connection_t* Connection() const { return m_connection; }

    // The owner's data in `target`, or std::nullopt when it refuses that format.
    std::optional<std::string> Convert(xcb_atom_t target)
    {
        m_deadline = Clock::now() + m_wait;
        xcb_convert_selection(
            m_connection, m_window, m_clipboard, target, m_property, XCB_CURRENT_TIME);
        xcb_flush(m_connection);
        for (;;) {
            const XcbReply<xcb_generic_event_t> event = NextEvent();
            if ((event->response_type & 0x7F) != XCB_SELECTION_NOTIFY)
                continue;
            const auto* notify = reinterpret_cast<const xcb_selection_notify_event_t*>(event.get());
            if (notify->property == XCB_NONE)
                return std::nullopt;
            break;
        }
        std::string data;
        bool incremental = false;
        if (!ReadProperty(data, &incremental))
            return std::nullopt;
        if (!incremental)
            return data;
        // A transfer in pieces: each piece is asked for by deleting the property, and an empty
        // piece ends it.
        data.clear();
        for (;;) {
            const XcbReply<xcb_generic_event_t> event = NextEvent();
            if ((event->response_type & 0x7F) != XCB_PROPERTY_NOTIFY)
                continue;
            const auto* change = reinterpret_cast<const xcb_property_notify_event_t*>(event.get());
            if (change->atom != m_property || change->state != XCB_PROPERTY_NEW_VALUE)
                continue;
            const std::size_t before = data.size();
            ReadProperty(data, nullptr);
            // A long transfer that goes on is no owner gone silent.
            m_deadline = Clock::now() + m_wait;
            if (data.size() == before)
                return data;
        }
    }

private:
    // Appends the property's value to `data` and deletes it. Returns false when it is missing.
    bool ReadProperty(std::string& data, bool* incremental)
    {
        const XcbReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(m_connection,
            xcb_get_property(m_connection, 1, m_window, m_property, XCB_GET_PROPERTY_TYPE_ANY, 0,
                UINT32_MAX / 4),
            nullptr));
        if (!reply) {
            if (xcb_connection_has_error(m_connection))
                ThrowConnectionError(m_connection);
            return false;
        }
        if (reply->type == XCB_NONE)
            return false;
        if (incremental)
            *incremental = reply->type == m_incr;
        const auto* value = static_cast<const char*>(xcb_get_property_value(reply.get()));
        data.append(value, std::size_t(xcb_get_property_value_length(reply.get())));
        return true;
    }

    // The next event, waiting no later than the deadline.
    XcbReply<xcb_generic_event_t> NextEvent()
    {
        for (;;) {
            XcbReply<xcb_generic_event_t> event(xcb_poll_for_event(m_connection));
            if (event) {
                const auto* destroyed
                    = reinterpret_cast<const xcb_destroy_notify_event_t*>(event.get());
                if ((event->response_type & 0x7F) == XCB_DESTROY_NOTIFY
                    && destroyed->window == m_owner)
                    throw DesktopError("Le programme qui tenait le presse-papiers s'est fermé "
                                       "pendant la lecture. Copiez de nouveau le texte, puis "
                                       "réessayez.");
                return event;
            }
            if (xcb_connection_has_error(m_connection))
                ThrowConnectionError(m_connection);
            const auto left
                = std::chrono::duration_cast<std::chrono::milliseconds>(m_deadline - Clock::now());
            if (left.count() <= 0)
                throw DesktopError("Le presse-papiers ne répond pas : le programme qui le tient "
                                   "est peut-être bloqué. Copiez de nouveau le texte, puis "
                                   "réessayez.");
            pollfd wait { xcb_get_file_descriptor(m_connection), POLLIN, 0 };
            poll(&wait, 1, int(left.count()) + 1);
        }
    }

    xcb_connection_t* m_connection;
    xcb_window_t m_owner;
    std::chrono::milliseconds m_wait;
    Clock::time_point m_deadline;
    xcb_window_t m_window = 0;
    xcb_atom_t m_clipboard = 0, m_property = 0, m_incr = 0;
};

} // namespace

std::optional<ClipboardOffer> ReadX11Clipboard(
    xcb_connection_t* connection, std::chrono::milliseconds wait)
{
    const XcbReply<xcb_get_selection_owner_reply_t> owner(xcb_get_selection_owner_reply(connection,
        xcb_get_selection_owner(connection, CheckedAtom(connection, "CLIPBOARD")), nullptr));
    if (!owner)
        ThrowConnectionError(connection);
    if (owner->owner == XCB_NONE)
        return ClipboardOffer {};
    // Window ids carry the id base of the client that made them.
    const xcb_setup_t* setup = xcb_get_setup(connection);
    if ((owner->owner & ~setup->resource_id_mask) == setup->resource_id_base)
        return std::nullopt;

    Requestor requestor(owner->owner, wait);
    xcb_connection_t* own = requestor.Connection();
    using Kind = ClipboardOffer::Kind;
    // In order of preference: plain text first, as the standard text format, then HTML alone.
    const std::array<std::pair<xcb_atom_t, Kind>, 6> formats { {
        { CheckedAtom(own, "UTF8_STRING"), Kind::Utf8 },
        { CheckedAtom(own, "text/plain;charset=utf-8"), Kind::Utf8 },
        { CheckedAtom(own, "text/plain"), Kind::Utf8 },
        { XCB_ATOM_STRING, Kind::Latin1 },
        { CheckedAtom(own, "text/html"), Kind::Html },
        { CheckedAtom(own, "text/html;charset=utf-8"), Kind::Html },
    } };
    std::vector<xcb_atom_t> offered;
    if (const auto targets = requestor.Convert(CheckedAtom(own, "TARGETS"))) {
        offered.resize(targets->size() / sizeof(xcb_atom_t));
        targets->copy(reinterpret_cast<char*>(offered.data()), offered.size() * sizeof(xcb_atom_t));
    } else {
        // An owner that will not list its formats may still give UTF-8 text.
        offered.push_back(formats[0].first);
    }
    for (const auto& [target, kind] : formats) {
        if (std::find(offered.begin(), offered.end(), target) == offered.end())
            continue;
        auto bytes = requestor.Convert(target);
        if (!bytes)
            continue;
        // Many owners end a text with a NUL that is not part of it.
        if (kind != Kind::Html && !bytes->empty() && bytes->back() == '\0')
            bytes->pop_back();
        return ClipboardOffer { kind, std::move(*bytes) };
    }
    return ClipboardOffer {};
}

} // namespace orvik
