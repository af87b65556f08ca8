// SPDX-License-Identifier: MIT
#include "cli/stream_repair.h"

#include "repair/full_repair.h"
#include "repair/utf8_repair.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>
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

namespace {

// A flag one thread raises and another waits for. The waiter first keeps looking for a while:
// waking a sleeping thread can take longer than a task on a virtual machine.
class Signal
{
public:
    void Raise()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_raised.store(true, std::memory_order_release);
        }
        m_condition.notify_one();
    }

    // Waits for the flag and lowers it.
    void Wait()
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(300);
        while (
            !m_raised.load(std::memory_order_acquire) && std::chrono::steady_clock::now() < until)
            ;
        std::unique_lock lock(m_mutex);
        m_condition.wait(lock, [this] { return m_raised.load(std::memory_order_relaxed); });
        m_raised.store(false, std::memory_order_relaxed);
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_condition;
    std::atomic<bool> m_raised = false;
};

// A thread that runs one task at a time beside the caller's.
class Beside
{
public:
    // Throws std::system_error when no thread can be started.
    Beside()
        : m_thread([this] { Serve(); })
    { }

    ~Beside()
    {
        if (std::exchange(m_running, false))
            m_done.Wait();
        m_task = nullptr; // an empty task ends the thread
        m_start.Raise();
        m_thread.join();
    }

    Beside(const Beside&) = delete;
    Beside& operator=(const Beside&) = delete;

    // Starts `task` once the previous one has ended.
    void Start(std::function<void()> task)
    {
        Wait();
        m_task = std::move(task);
        m_running = true;
        m_start.Raise();
    }

    // Waits for the task, if there is one, to end; rethrows what it threw.
    void Wait()
    {
        if (!std::exchange(m_running, false))
            return;
        m_done.Wait();
        if (m_failure)
            std::rethrow_exception(std::exchange(m_failure, nullptr));
    }

private:
    void Serve()
    {
        for (;;) {
            m_start.Wait();
            if (!m_task)
                return;
            try {
                m_task();
            } catch (...) {
                m_failure = std::current_exception();
            }
            m_done.Raise();
        }
    }

    Signal m_start, m_done;
    std::function<void()> m_task;
    bool m_running = false; // a task was started and not waited for
    std::exception_ptr m_failure;
    std::thread m_thread; // last: it starts once the rest is ready
};

// Reads from this size on are repaired in two parts at once: a part then takes the repair far
// longer than handing it to the other thread does.
constexpr std::size_t kTwoPartsFrom = 128 * 1024;

// The full repair of a regular file on two processors. Each large read is cut in two where
// FindCut() allows, past its middle. The repairer that carries the text on repairs the first part
// and ends there; beside it, the other repairs the second as a new text, writes it once the first
// is written, and carries the text on in its turn; meanwhile the next read comes in, to the other
// of two buffers that reads take in turn. Both parts are repaired in place, in the read buffer.
class TwoParts
{
public:
    TwoParts(int in, Output& out, FullRepairer& repairer)
        : m_in(in)
        , m_writer(out)
        , m_carrier(&repairer)
        , m_other(&m_spare)
        , m_spare(1) // it only ever repairs in place
        , m_readSize(repairer.ReadSize())
        , m_reads(
              std::make_unique_for_overwrite<char[]>(2 * (FullRepairer::kHeadroom + m_readSize)))
    { }

    StreamResult Run()
    {
        m_carrier->Reset();
        StreamResult result;
        char* const first = m_reads.get() + FullRepairer::kHeadroom;
        char* buffer = first;
        for (auto got = ReadSome(m_in, buffer, m_readSize);;) {
            const bool more = got && *got > 0;
            const std::size_t size = more ? *got : 0;
            const std::size_t cut
                = size >= kTwoPartsFrom ? FindCut({ buffer, size }, size / 2) : size;
            std::error_code error;
            if (cut < size) {
                m_beside.Start([this, other = m_other, part = buffer + cut, rest = size - cut] {
                    RepairSecond(*other, part, rest);
                });
                error = RepairFirst(buffer, cut);
                std::swap(m_carrier, m_other);
            } else {
                m_beside.Wait();
                error = m_secondError;
                if (!error)
                    error = m_writer.Write(
                        more ? m_carrier->FeedInPlace(buffer, size) : m_carrier->Finish());
            }
            if (!got) {
                result.failure = StreamResult::Failure::Read;
                result.error = got.error();
            }
            if (more && !error) {
                buffer = buffer == first ? first + FullRepairer::kHeadroom + m_readSize : first;
                got = ReadSome(m_in, buffer, m_readSize);
                continue;
            }
            m_beside.Wait();
            if (!error)
                error = m_secondError;
            if (!error && !more)
                error = m_writer.Flush();
            result.changed = m_changedBefore || m_carrier->Changed();
            if (error) {
                result.failure = StreamResult::Failure::Write;
                result.error = error;
            }
            return result;
        }
    }

private:
    // Repairs and writes the first part; then lets the second go out, whatever happens.
    std::error_code RepairFirst(char* part, std::size_t size)
    {
        std::error_code error = m_secondError; // of the read before
        try {
            if (!error)
                error = m_writer.Write(m_carrier->FeedInPlace(part, size));
            if (!error)
                error = m_writer.Write(m_carrier->Finish());
            m_changedBefore |= m_carrier->Changed();
        } catch (...) {
            m_firstFailed = true;
            m_firstWritten.Raise();
            throw;
        }
        m_firstFailed = bool(error);
        m_firstWritten.Raise();
        return error;
    }

    // The second part starts a text: its repair writes nothing before it, where the first part's
    // runs.
    void RepairSecond(FullRepairer& repairer, char* part, std::size_t size)
    {
        repairer.Reset();
        const std::string_view text = repairer.FeedInPlace(part, size);
        m_firstWritten.Wait();
        m_secondError = m_firstFailed ? std::error_code() : m_writer.Write(text);
    }

    int m_in;
    PageWriter m_writer; // the first part's thread's, then the second's, in turn
    FullRepairer* m_carrier;
    FullRepairer* m_other;
    FullRepairer m_spare;
    // Each read goes to one of two buffers in turn and is repaired there, in place: each buffer
    // starts with the room the first part's repair may take before it.
    std::size_t m_readSize;
    std::unique_ptr<char[]> m_reads;
    bool m_changedBefore = false; // in the texts the repairers have ended
    bool m_firstFailed = false;
    Signal m_firstWritten;
    std::error_code m_secondError;
    Beside m_beside; // last: its thread goes first
};

} // namespace

// The full repair takes several times what the system's copying does per byte: a regular file is
// repaired on two processors where there are two.
StreamResult RepairStream(int in, Output& out, FullRepairer& repairer)
{
    if (std::thread::hardware_concurrency() != 1 && IsRegularFile(in)) {
        std::optional<TwoParts> twoParts;
        try {
            twoParts.emplace(in, out, repairer);
        } catch (const std::system_error&) {
            // No thread to be had: one part after the other.
        }
        if (twoParts)
            return twoParts->Run();
    }
    return RepairStream<FullRepairer>(in, out, repairer);
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
