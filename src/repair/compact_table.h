// SPDX-License-Identifier: MIT
// The shuffle table both x86 repairs use to close the gaps that dropped lanes leave in a vector.
#pragma once

#include <array>
#include <cstdint>

namespace orvik::detail {

// For each 8-bit mask of lanes to drop, the pshufb control that moves the kept lanes of an
// 8-lane half (LaneBytes bytes each) to its front, in order, and how many lanes that keeps.
struct CompactTable
{
    alignas(16) std::array<std::array<std::uint8_t, 16>, 256> shuffle {};
    std::array<std::uint8_t, 256> kept {};
};

template <unsigned LaneBytes> constexpr CompactTable MakeCompactTable()
{
    CompactTable table;
    for (unsigned mask = 0; mask < 256; ++mask) {
        unsigned n = 0;
        for (unsigned lane = 0; lane < 8; ++lane) {
            if (mask & (1u << lane))
                continue;
            for (unsigned byte = 0; byte < LaneBytes; ++byte)
                table.shuffle[mask][LaneBytes * n + byte] = std::uint8_t(LaneBytes * lane + byte);
            ++n;
        }
        for (unsigned rest = LaneBytes * n; rest < 16; ++rest)
            table.shuffle[mask][rest] = 0x80; // zero; a later store overwrites these bytes
        table.kept[mask] = std::uint8_t(n);
    }
    return table;
}

} // namespace orvik::detail
