// SPDX-License-Identifier: MIT
// Repairing from one file descriptor to another with constant memory.
#pragma once

#include "repair/utf8_repair.h"
#include "repair/full_repair.h"

#include <cstddef>
#include <memory>
#include <new>

namespace orvik::cli {

// Large enough that a read and a write cost little per byte, small enough to stay in cache.
inline constexpr std::size_t kDefaultReadSize = 256 * 1024;
// A page: the buffers start on one, and a file is written in whole ones (see RepairStream).
inline constexpr std::size_t kPageSize = 4096;

// The two buffers every copy uses, allocated once for the whole run.
class StreamBuffers
{
public:
    // `readSize` bytes are asked of each read (at least 1); tests make it small to cut the text
    // everywhere.
    explicit StreamBuffers(std::size_t readSize = kDefaultReadSize);

    std::size_t readSize() const { return readSize_; }
    char* in() { return in_.get(); }
    // Room for readSize + Utf8Repairer::kMaxHeld + kPageSize bytes.
    char* out() { return out_.get(); }

    // From now on RepairStream and CheckStream use the full repair.
    void UseFullRepair() { full_ = std::make_unique<FullRepairer>(readSize_); }
    FullRepairer* fullRepairer() { return full_.get(); }

private:
    std::size_t readSize_;
    // Buffers that start on a page boundary: the system copies to and from them much faster
    // (measured: a third less system time than at 16 bytes past one).
    struct Free
    {
        void operator()(char* p) const { ::operator delete[](p, std::align_val_t(kPageSize)); }
    };
    std::unique_ptr<char[], Free> in_;
    std::unique_ptr<char[], Free> out_;
    std::unique_ptr<FullRepairer> full_;
};

struct StreamResult
{
    enum class Failure { None, Read, Write };
    Failure failure = Failure::None;
    int error = 0; // system error code of the failure (see cli/system.h)
    bool changed = false; // whether some lead was repaired
};

// Reads `in` to its end and writes the repaired text to `out`. A read failure still writes the
// repaired text of what was read before it. Stops at the first failure. To a regular file, all
// writes but the last are of whole pages, which the system takes faster than pieces of them; to a
// pipe or a terminal, each read's text is written at once, so that a reader sees it without delay.
StreamResult RepairStream(int in, int out, StreamBuffers& buffers);

// Reads `in` until the first lead that a repair would change, or to its end. Writes nothing.
// `changed` tells whether the text needs a repair; reading stops as soon as that is known.
StreamResult CheckStream(int in, StreamBuffers& buffers);

// The same two with the full repair (every layer of damage, see repair/full_repair.h), which reads
// into the repairer's own buffer. Each call starts a new text.
StreamResult RepairStreamFull(int in, int out, FullRepairer& repairer);
StreamResult CheckStreamFull(int in, FullRepairer& repairer);

} // namespace orvik::cli
