// SPDX-License-Identifier: MIT
#pragma once

#include <QAbstractNativeEventFilter>

class QWidget;

namespace orvik {

// Holds a request to close the window that comes while the window is busy with a command, so
// that the window closes once the command is done rather than in the middle of it or never. Qt's
// own close event is held by asking HoldWhileBusy(); on X11 the window manager's request
// (WM_DELETE_WINDOW) is watched for here too, since Qt drops it while a modal message box is
// open, as one is after a clipboard that did not answer.
class CloseRequestWatch final : public QAbstractNativeEventFilter
{
public:
    explicit CloseRequestWatch(const QWidget& window);
    ~CloseRequestWatch() override;
    CloseRequestWatch(const CloseRequestWatch&) = delete;
    CloseRequestWatch& operator=(const CloseRequestWatch&) = delete;

    // A command starts: requests to close are held from now on.
    void BeginBusy() noexcept;
    // The command is done: whether a request to close came meanwhile, which the caller honours.
    bool EndBusy() noexcept;
    // A request to close has come: true when it is held, the window being busy, and must be
    // ignored for now.
    bool HoldWhileBusy() noexcept;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    const QWidget& m_window;
    bool m_busy = false;
    bool m_held = false;
    unsigned m_protocols = 0, m_delete = 0;
};

} // namespace orvik
