// SPDX-License-Identifier: MIT
// The full repair: every layer of UTF-8 text read as Windows-1252 (or Latin-1) undone, on a
// stream of bytes.
//
// The text is the UTF-8 decoding of the bytes; a byte that is not part of a well-formed sequence
// is kept as it is and stands for nothing. Each character U+0000 to U+00FF stands for the byte of
// the same value, and each of the 27 characters Windows-1252 puts at 80-9F stands for its byte.
// One round reads the text from left to right and, at each place, applies the first rule that
// fits:
// 1. two to four characters that stand for one complete, well-formed UTF-8 sequence become the
//    character it encodes when that character is common in text (U+00A0 to U+017F and a few
//    others, see IsCommonCharacter), when the previous step was such a sequence, or when another
//    one starts right after it; otherwise they are copied, whole;
// 2. "Ã" + space becomes "à", and the space goes too when what follows it is the end, whitespace,
//    "Â", "â" or ASCII punctuation;
// 3. "Â" + space becomes a no-break space, unless nothing was written yet or the last character
//    written is whitespace;
// 4. "Ã" followed by the end, "Â", "â" or ASCII punctuation becomes "à";
//    2 and 4 do not apply after two capitals ("SÃO", "IRMÃ E");
// 5. anything else is copied.
// Three rounds run one after the other, each on the previous one's output, so that text damaged
// up to three times comes back whole.
//
// FullRepairer runs the three rounds as the bytes stream past, in place in one buffer, with
// constant memory; the output does not depend on how the input is cut into chunks.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace orvik {

// How a round looks for the places where a rule may apply ("Ã", "Â", or a character that may
// start a sequence followed by one that may continue it); everything between is copied at once.
enum class SiteScan {
    Memchr, // memchr() for each C3 byte, then a look at the next two bytes
    Sse2, // 16 bytes at a time (x86-64 only)
};

// The widest scan this build has, unless the environment variable ORVIK_FULL_SCAN is "Memchr":
// a knob for measurements.
SiteScan BestSiteScan();

// Whether `c` counts as common: a sequence that stands for it alone is repaired.
bool IsCommonCharacter(char32_t c);

class FullRepairer
{
public:
    // Bytes a round may hold back between two chunks (a rule needs at most the next 8
    // characters, each of at most 3 bytes here, after a 2-byte one).
    static constexpr std::size_t kMaxHeldPerRound = 48;

    // `readSize`: the most bytes a chunk may have (at least 1).
    explicit FullRepairer(std::size_t readSize, SiteScan scan = BestSiteScan());
    ~FullRepairer();
    FullRepairer(const FullRepairer&) = delete;
    FullRepairer& operator=(const FullRepairer&) = delete;

    // Where the next chunk goes: room for readSize() bytes.
    char* ReadBuffer();
    std::size_t readSize() const { return readSize_; }

    // Repairs the `size` bytes just put in ReadBuffer() and returns the bytes that are now final.
    // The view stays valid until the next call.
    std::string_view Feed(std::size_t size);

    // Ends the text and returns the bytes that were still held back. Start a new repairer, or
    // call Reset(), for the next text.
    std::string_view Finish();

    // Makes the repairer ready for a new text.
    void Reset();

    // Whether some rule has changed the text so far: the output differs from the input exactly
    // when this is true once the text has ended.
    bool Changed() const { return changed_; }

    struct Round; // what one round keeps between chunks

private:
    std::string_view Run(std::size_t size, bool final);

    std::size_t readSize_;
    SiteScan scan_;
    std::unique_ptr<unsigned char[]> buffer_;
    std::unique_ptr<Round[]> rounds_;
    bool changed_ = false;
};

// Repairs a whole text held in memory.
std::string RepairFull(std::string_view text, SiteScan scan = BestSiteScan());

} // namespace orvik
