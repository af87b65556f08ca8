// SPDX-License-Identifier: MIT
// The accent repair on UTF-8 bytes, as they stream past.
//
// UTF-8 text read as Windows-1252 and saved again as UTF-8 turns each lower-case accented letter
// into a lead "Ã" (bytes C3 83) and a follower such as "©" (bytes C2 A9). Utf8Repairer gives the
// same result as RepairAccents on the decoded text, without decoding it:
// - C3 83 C2 f, where U+00f is one of the nine followers, becomes C3 f (the follower's letter);
// - any other C3 83 becomes C3 A0 ("à"), and the bytes after it are examined afresh;
// - every other byte is copied unchanged.
//
// What counts as damaged, on input that is not valid UTF-8: C3 can only start a two-byte sequence
// and 83 is a valid second byte for it, so C3 83 is a well-formed "Ã" whatever precedes it; a
// decoder that resynchronises (as every UTF-8 decoder does) reads it so too. C2 f is likewise a
// well-formed follower. Any other byte after a lead, an invalid one included, is "another
// character": the lead becomes "à" and the byte is copied. Overlong or truncated forms of "Ã" or
// of a follower never match, so they are copied as they are. The filter therefore only ever
// replaces well-formed characters by well-formed characters and never makes a file worse.
//
// Utf8Repairer repairs as the bytes stream past, from chunk to chunk in buffers of its own; the
// output does not depend on how the input is cut into chunks.
#pragma once

#include "repair/kernels.h"

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace orvik {

class Utf8Repairer
{
public:
    // How many bytes a repairer may hold back between two chunks: the start of a damaged sequence
    // (C3, C3 83 or C3 83 C2) that the next chunk may complete.
    static constexpr std::size_t kMaxHeld = 3;

    // `readSize`: the most bytes a chunk may have (at least 1). Throws std::invalid_argument
    // unless `kernel` is one of Kernels(KernelFamily::Bytes) that this processor runs.
    explicit Utf8Repairer(std::size_t readSize, Kernel kernel = BestKernel(KernelFamily::Bytes));

    // Where the next chunk goes: room for ReadSize() bytes, starting on a page boundary.
    char* ReadBuffer() { return m_in.get(); }
    std::size_t ReadSize() const { return m_readSize; }

    // Repairs the `size` bytes just put in ReadBuffer() and returns the bytes that are now final.
    // The view stays valid until the next call.
    std::string_view Feed(std::size_t size);

    // Ends the text and returns the bytes that were still held back. Call Reset() for the next
    // text.
    std::string_view Finish();

    // Makes the repairer ready for a new text.
    void Reset();

    // Whether a lead has been repaired since the text started: the output differs from the input
    // exactly when this is true.
    bool Changed() const { return m_changed; }

private:
    // Buffers that start on a page boundary: the system copies to and from them much faster
    // (measured: a third less system time than at 16 bytes past one).
    struct PageFree
    {
        void operator()(char* p) const;
    };
    using PageBuffer = std::unique_ptr<char[], PageFree>;

    std::size_t m_readSize;
    Kernel m_kernel;
    PageBuffer m_in;
    PageBuffer m_out; // room for m_readSize + kMaxHeld bytes
    std::size_t m_held = 0; // how many bytes of C3 83 C2 are held back
    bool m_changed = false;
};

// Repairs a whole text held in memory, in one chunk (the repairer's buffers take twice its size).
std::string RepairUtf8(std::string_view text, Kernel kernel = BestKernel(KernelFamily::Bytes));

} // namespace orvik
