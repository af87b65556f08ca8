// SPDX-License-Identifier: MIT
#include "cli/stream_repair.h"

#include "repair/full_repair.h"
#include "repair/utf8_repair.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <utility>

namespace orvik::cli {

namespace {

// Writes to a regular file in whole pages: the end of each text that does not fill a page waits,
// in a page of its own, for the next one. Anything else gets each text at once.
class PageWriter
{
public:
    explicit PageWriter(Output& out)
        : m_out(out)
        , m_wholePages(IsRegularFile(out.Fd()))
    { }

    std::error_code Write(std::string_view text)
    {
        if (!m_wholePages)
            return m_out.Write(text);
        if (m_kept > 0) {
            const std::size_t taken = std::min(kPageSize - m_kept, text.size());
            std::memcpy(m_page + m_kept, text.data(), taken);
            m_kept += taken;
            text.remove_prefix(taken);
            if (m_kept < kPageSize)
                return {};
            if (const std::error_code error = m_out.Write({ m_page, kPageSize }))
                return error;
        }
        const std::size_t whole = text.size() / kPageSize * kPageSize;
        m_kept = text.size() - whole;
        std::memcpy(m_page, text.data() + whole, m_kept);
        return m_out.Write(text.substr(0, whole));
    }

    // Writes what waits.
    std::error_code Flush() { return m_out.Write({ m_page, std::exchange(m_kept, 0) }); }

private:
    Output& m_out;
    bool m_wholePages;
    alignas(kPageSize) char m_page[kPageSize];
    std::size_t m_kept = 0;
};

} // namespace

template <class Repairer> StreamResult RepairStream(int in, Output& out, Repairer& repairer)
{
    repairer.Reset();
    PageWriter writer(out);
    StreamResult result;
    for (;;) {
        const auto got = ReadSome(in, repairer.ReadBuffer(), repairer.ReadSize());
        if (!got) {
            result.failure = StreamResult::Failure::Read;
            result.error = got.error();
        }
        const bool more = got && *got > 0;
        std::error_code error = writer.Write(more ? repairer.Feed(*got) : repairer.Finish());
        if (!error && !more)
            error = writer.Flush();
        result.changed = repairer.Changed();
        if (error) {
            result.failure = StreamResult::Failure::Write;
            result.error = error;
            return result;
        }
        if (!more)
            return result;
    }
}

template <class Repairer> StreamResult CheckStream(int in, Repairer& repairer)
{
    repairer.Reset();
    StreamResult result;
    for (;;) {
        const auto got = ReadSome(in, repairer.ReadBuffer(), repairer.ReadSize());
        if (!got) {
            result.failure = StreamResult::Failure::Read;
            result.error = got.error();
        }
        const bool more = got && *got > 0;
        if (more)
            repairer.Feed(*got);
        else
            repairer.Finish();
        result.changed = repairer.Changed();
        if (!more || result.changed)
            return result;
    }
}

template StreamResult RepairStream(int, Output&, Utf8Repairer&);
template StreamResult RepairStream(int, Output&, FullRepairer&);
template StreamResult CheckStream(int, Utf8Repairer&);
template StreamResult CheckStream(int, FullRepairer&);

} // namespace orvik::cli
