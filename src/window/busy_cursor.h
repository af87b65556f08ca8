// SPDX-License-Identifier: MIT
#pragma once

#include "platform/platform.h"

namespace orvik {

// Shows the platform's busy cursor for as long as it lives, however the scope is left.
class BusyCursor
{
public:
    explicit BusyCursor(Platform& platform) noexcept
        : m_platform(platform)
    {
        m_platform.BeginBusy();
    }
    ~BusyCursor() { m_platform.EndBusy(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

private:
    Platform& m_platform;
};

} // namespace orvik
