#include "cli/stream_repair.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvik::cli {

namespace {

// Waits until `fd` is ready for `events`; false with errno when poll() itself fails.
bool WaitFor(int fd, short events)
{
    pollfd p { fd, events, 0 };
    while (poll(&p, 1, -1) < 0) {
        if (errno != EINTR)
            return false;
    }
    return true;
}

} // namespace

StreamBuffers::StreamBuffers(std::size_t readSize)
    : readSize_(std::max<std::size_t>(readSize, 1))
    , in_(new (std::align_val_t(kPageSize)) char[readSize_])
    , out_(new (std::align_val_t(kPageSize)) char[readSize_ + Utf8Repairer::kMaxHeld + kPageSize])
{ }

long ReadSome(int fd, char* buffer, std::size_t size)
{
    for (;;) {
        const ssize_t got = read(fd, buffer, size);
        if (got >= 0)
            return long(got);
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (!WaitFor(fd, POLLIN))
                return -1;
        } else if (errno != EINTR) {
            return -1;
        }
    }
}

bool WriteAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t put = write(fd, data, size);
        if (put > 0) {
            data += put;
            size -= std::size_t(put);
        } else if (put == 0) {
            errno = EIO; // write() may not make progress on a non-empty buffer
            return false;
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (!WaitFor(fd, POLLOUT))
                return false;
        } else if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

StreamResult RepairStream(int in, int out, StreamBuffers& buffers)
{
    if (buffers.fullRepairer())
        return RepairStreamFull(in, out, *buffers.fullRepairer());
    Utf8Repairer repairer;
    StreamResult result;
    struct stat status;
    const bool wholePages = fstat(out, &status) == 0 && S_ISREG(status.st_mode);
    std::size_t kept = 0; // the end of the last page, not written yet
    for (;;) {
        const long got = ReadSome(in, buffers.in(), buffers.readSize());
        std::size_t size;
        if (got > 0) {
            size = kept + repairer.Feed({ buffers.in(), std::size_t(got) }, buffers.out() + kept);
        } else {
            if (got < 0) {
                result.failure = StreamResult::Failure::Read;
                result.error = errno;
            }
            size = kept + repairer.Finish(buffers.out() + kept);
        }
        result.changed = repairer.Changed();
        const std::size_t whole = got > 0 && wholePages ? size / kPageSize * kPageSize : size;
        if (!WriteAll(out, buffers.out(), whole)) {
            result.failure = StreamResult::Failure::Write;
            result.error = errno;
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
            result.error = errno;
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
        const long got = ReadSome(in, repairer.ReadBuffer(), repairer.readSize());
        if (got < 0) {
            result.failure = StreamResult::Failure::Read;
            result.error = errno;
        }
        const std::string_view repaired
            = got > 0 ? repairer.Feed(std::size_t(got)) : repairer.Finish();
        result.changed = repairer.Changed();
        if (!WriteAll(out, repaired.data(), repaired.size())) {
            result.failure = StreamResult::Failure::Write;
            result.error = errno;
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
        const long got = ReadSome(in, repairer.ReadBuffer(), repairer.readSize());
        if (got < 0) {
            result.failure = StreamResult::Failure::Read;
            result.error = errno;
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
