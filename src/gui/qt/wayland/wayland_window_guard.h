// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <memory>

class QWidget;

namespace orvik {

class CloseRequestWatch;

// What the window needs on Wayland that Qt 6.4's Wayland plugin does not give a fixed-size
// window that may be busy:
// - The frame Qt draws itself there has a maximise button, fixed size or not. A compositor that
//   is asked to maximise sends the window the size of the screen; Qt keeps the fixed size, and
//   the compositor ends the connection for it, and with it the program. The request is taken back
//   before it leaves: the window stays as it is.
// - A request to close the window (its frame's close button, the compositor's own) is dropped
//   while a modal message box is open, as one is after a clipboard that did not answer. It is
//   handed to `closeWatch` first, which holds it while the window is busy.
// Elsewhere than Wayland it does nothing.
class WaylandWindowGuard final : public QObject
{
public:
    WaylandWindowGuard(QWidget& window, CloseRequestWatch& closeWatch);
    ~WaylandWindowGuard() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class CloseHold;

    QWidget& m_window;
    std::unique_ptr<CloseHold> m_closeHold;
};

} // namespace orvik
