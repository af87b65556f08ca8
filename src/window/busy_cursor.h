// SPDX-License-Identifier: MIT
// The desktop's busy cursor, held for the length of a scope.
#pragma once

#include "window/desktop.h"

namespace orvik {

// Shows the desktop's busy cursor for as long as it lives, however the scope is left.
class BusyCursor
{
public:
    explicit BusyCursor(Desktop& desktop) noexcept
        : m_desktop(desktop)
    {
        m_desktop.BeginBusy();
    }
    ~BusyCursor() { m_desktop.EndBusy(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

private:
    Desktop& m_desktop;
};

} // namespace orvik
