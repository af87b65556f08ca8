// SPDX-License-Identifier: MIT
#pragma once

#include <QAbstractNativeEventFilter>

class QWidget;

namespace orvik {

// Holds the window manager's request to close a window (WM_DELETE_WINDOW on X11) that comes while
// the window is busy: Qt drops such a request when a modal message box is open, as one is after
// a clipboard that did not answer. While `busy` is true a request sets `held` instead, and the
// window closes itself once it is done. Elsewhere than X11 it watches nothing.
class CloseRequestWatch final : public QAbstractNativeEventFilter
{
public:
    CloseRequestWatch(const QWidget& window, const bool& busy, bool& held);
    ~CloseRequestWatch() override;
    CloseRequestWatch(const CloseRequestWatch&) = delete;
    CloseRequestWatch& operator=(const CloseRequestWatch&) = delete;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    const QWidget& m_window;
    const bool& m_busy;
    bool& m_held;
    unsigned m_protocols = 0, m_delete = 0;
};

} // namespace orvik
