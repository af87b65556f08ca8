// SPDX-License-Identifier: MIT
#include "cli/stream_repair.h"

#include "cli/system.h"

#include <algorithm>
#include <cstring>

namespace orvik::cli {

StreamBuffers::StreamBuffers(std::size_t readSize)
    : readSize_(std::max<std::size_t>(readSize, 1))
    , in_(new (std::align_val_t(kPageSize)) char[readSize_])
    , out_(new (std::align_val_t(kPageSize)) char[readSize_ + Utf8Repairer::kMaxHeld + kPageSize])
{ }

StreamResult RepairStream(int in, int out, StreamBuffers& buffers)
{
    if (buffers.fullRepairer())
        return RepairStreamFull(in, out, *buffers.fullRepairer());
    Utf8Repairer repairer;
    StreamResult result;
    const bool wholePages = IsRegularFile(out);
    std::size_t kept = 0; // the end of the last page, not written yet
    for (;;) {
        const long got = ReadSome(in, buffers.in(), buffers.readSize());
        std::size_t size;
        if (got > 0) {
            size = kept + repairer.Feed({ buffers.in(), std::size_t(got) }, buffers.out() + kept);
        } else {
            if (got < 0) {
                result.failure = StreamResult::Failure::Read;
                result.error = LastError();
            }
            size = kept + repairer.Finish(buffers.out() + kept);
        }
        result.changed = repairer.Changed();
        const std::size_t whole = got > 0 && wholePages ? size / kPageSize * kPageSize : size;
        if (!WriteAll(out, buffers.out(), whole)) {
            result.failure = StreamResult::Failure::Write;
            result.error = LastError();
            return result;
        }
        kept = size - whole;
        std::memmove(buffers.out(), buffers.out() + whole, kept);
        if (got <= 0)
            return result;
    }
}

StreamResult CheckStream(int in, StreamBuffers& buffers)
{
    if (buffers.fullRepairer())
        return CheckStreamFull(in, *buffers.fullRepairer());
    Utf8Repairer repairer;
    StreamResult result;
    for (;;) {
        const long got = ReadSome(in, buffers.in(), buffers.readSize());
        if (got > 0)
            repairer.Feed({ buffers.in(), std::size_t(got) }, buffers.out());
        else
            repairer.Finish(buffers.out());
        if (got < 0) {
            result.failure = StreamResult::Failure::Read;
            result.error = LastError();
        }
        result.changed = repairer.Changed();
        if (got <= 0 || result.changed)
            return result;
    }
}

StreamResult RepairStreamFull(int in, int out, FullRepairer& repairer)
{
    repairer.Reset();
    StreamResult result;
    for (;;) {
        const long got = ReadSome(in, repairer.ReadBuffer(), repairer.ReadSize());
        if (got < 0) {
            result.failure = StreamResult::Failure::Read;
            result.error = LastError();
        }
        const std::string_view repaired
            = got > 0 ? repairer.Feed(std::size_t(got)) : repairer.Finish();
        result.changed = repairer.Changed();
        if (!WriteAll(out, repaired.data(), repaired.size())) {
            result.failure = StreamResult::Failure::Write;
            result.error = LastError();
            return result;
        }
        if (got <= 0)
            return result;
    }
}

StreamResult CheckStreamFull(int in, FullRepairer& repairer)
{
    repairer.Reset();
    StreamResult result;
    for (;;) {
        const long got = ReadSome(in, repairer.ReadBuffer(), repairer.ReadSize());
        if (got < 0) {
            result.failure = StreamResult::Failure::Read;
            result.error = LastError();
        }
        if (got > 0)
            repairer.Feed(std::size_t(got));
        else
            repairer.Finish();
        result.changed = repairer.Changed();
        if (got <= 0 || result.changed)
            return result;
    }
}

} // namespace orvik::cli
