// SPDX-License-Identifier: MIT
// The orvik-repair command: arguments, files, messages and exit status. main() only hands over
// the process's arguments and standard streams, so that tests can run the whole command.
#pragma once

#include "cli/stream_repair.h"

#include <cstddef>
#include <span>
#include <string_view>

namespace orvik::cli {

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFileError = 1; // a file could not be read or written
inline constexpr int kExitUsage = 2; // unknown option or impossible combination
// On Windows, the reader of standard output closed the pipe: the status a POSIX shell reports for
// a program SIGPIPE ends (128 + 13), as it ends orvik-repair on Linux.
inline constexpr int kExitReaderGone = 141;

struct StandardStreams
{
    int in = 0;
    int out = 1;
    int err = 2;
};

// Runs orvik-repair with `args` (the program name excluded) and returns the exit status.
int RunRepairCommand(std::span<const std::string_view> args, const StandardStreams& streams = {},
    std::size_t readSize = kDefaultReadSize);

} // namespace orvik::cli
