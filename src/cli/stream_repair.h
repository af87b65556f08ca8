// SPDX-License-Identifier: MIT
// Repairing from one file descriptor to another with constant memory, with either repairer: the
// accent repair (Utf8Repairer) or the full repair (FullRepairer), each reading into buffers of its
// own, but for the full repair of a regular file on two processors, which repairs its reads where
// they came in.
#pragma once

#include "cli/system.h"

#include <cstddef>
#include <system_error>

namespace orvik {
class FullRepairer;
}

namespace orvik::cli {

// Large enough that a read and a write cost little per byte, small enough to stay in cache.
inline constexpr std::size_t kDefaultReadSize = 256 * 1024;
// The full repair reads this many times as much: it repairs a large read in two parts at once.
inline constexpr std::size_t kFullReadFactor = 4;
// A file is written in whole pages (see RepairStream).
inline constexpr std::size_t kPageSize = 4096;

struct StreamResult
{
    enum class Failure { None, Read, Write };
    Failure failure = Failure::None;
    std::error_code error; // the system's reason for the failure
    bool changed = false; // whether the repair changed the text
};

// Reads `in` to its end and writes the repaired text to `out`. A read failure still writes the
// repaired text of what was read before it. Stops at the first failure. To a regular file, all
// writes but the last are of whole pages, which the system takes faster than pieces of them; to a
// pipe or a terminal, each read's text is written at once, so that a reader sees it without delay.
// Each call starts a new text. `Repairer` is Utf8Repairer or FullRepairer.
template <class Repairer> StreamResult RepairStream(int in, Output& out, Repairer& repairer);
// The full repair repairs each large read in two parts at once, on two processors.
StreamResult RepairStream(int in, Output& out, FullRepairer& repairer);

// Reads `in` until the first change that the repair would make, or to its end. Writes nothing.
// `changed` tells whether the text needs a repair; reading stops as soon as that is known.
template <class Repairer> StreamResult CheckStream(int in, Repairer& repairer);

} // namespace orvik::cli
