// SPDX-License-Identifier: MIT
#include "gui/qt/memory_room.h"

#include "window/desktop_error.h"

#include <algorithm>
#include <fstream>
#include <limits>
#include <string>
#ifdef __unix__
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace orvik {

namespace {

constexpr std::uint64_t kUnknown = std::numeric_limits<std::uint64_t>::max();

// The address space this process uses, from /proc/self/statm (in pages).
#ifdef __unix__
std::uint64_t AddressSpaceInUse()
{
    std::ifstream statm("/proc/self/statm");
    std::uint64_t pages = 0;
    if (!(statm >> pages))
        return kUnknown;
    return pages * std::uint64_t(sysconf(_SC_PAGESIZE));
}
#endif

// MemAvailable + SwapFree, from /proc/meminfo (in KiB).
std::uint64_t SystemBytesFree()
{
    std::ifstream meminfo("/proc/meminfo");
    std::string key;
    std::uint64_t kib = 0, total = 0;
    int found = 0;
    while (meminfo >> key >> kib) {
        if (key == "MemAvailable:" || key == "SwapFree:")
            total += kib, ++found;
        meminfo.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    }
    return found == 2 ? total * 1024 : kUnknown;
}

} // namespace

std::uint64_t BoxBytesFor(std::u16string_view text)
{
    std::size_t longest = 0, current = 0;
    for (const char16_t c : text) {
        const bool lineBreak = c == u'\n' || c == u'\r' || c == u'\u2029';
        current = lineBreak ? 0 : current + 1;
        longest = std::max(longest, current);
    }
    return BoxBytesFor(text.size(), longest);
}

std::uint64_t BoxBytesFor(std::uint64_t length, std::uint64_t longestParagraph)
{
    return 16 * length + 32 * longestParagraph;
}

std::uint64_t AvailableBytes()
{
    std::uint64_t available = SystemBytesFree();
#ifdef __unix__
    rlimit limit {};
    const std::uint64_t used = AddressSpaceInUse();
    if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY && used != kUnknown)
        available = std::min(available, limit.rlim_cur > used ? limit.rlim_cur - used : 0);
#endif
    return available;
}

void CheckRoomFor(std::uint64_t needed)
{
    if (needed > AvailableBytes())
        throw DesktopError("Mémoire insuffisante : ce texte est trop grand pour la mémoire "
                           "disponible. Fermez d'autres programmes ou découpez le texte, puis "
                           "réessayez.");
}

} // namespace orvik
