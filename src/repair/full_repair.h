// SPDX-License-Identifier: MIT
// The full repair: every layer of UTF-8 text read as Windows-1252 (or Latin-1) undone, on a
// stream of bytes, while sound text in any Western language comes out as it went in.
//
// The text is the UTF-8 decoding of the bytes; a byte that is not part of a well-formed sequence
// is kept as it is and stands for nothing. Each character U+0000 to U+00FF stands for the byte of
// the same value, and each of the 27 characters Windows-1252 puts at 80-9F for its byte. One round
// reads the text from left to right and, at each place, applies the first rule that fits:
// 1.  two to four characters that stand for one complete, well-formed UTF-8 sequence become the
//     character it encodes when another such sequence ends right where it starts (the previous
//     step was a sequence, rule 1 or 1b) or starts right where it ends. A lone one becomes its
//     character when that is common (see the table in full_repair.cpp), with two exceptions:
//     - a letter beyond Windows-1252 (U+0100-017F but Œ œ Š š Ž ž Ÿ, U+0218-021B, U+1E00-1EFF)
//       needs support from its word: (a) the character after the sequence is a lower-case Latin
//       letter, unless the last character written is a capital and the one before it a Latin
//       letter; (b) the sequence has two bytes, the letter is lower-case and so is the last
//       character written; or (c) after ASCII letters only, another sequence whose character is
//       a letter of Windows-1252 lies within the 8 characters from this one's start;
//     - a combining mark needs a Latin letter as the last character written.
//     Otherwise the characters are copied, whole. A Latin letter is one of U+0041-024F or
//     U+1E00-1EFF in the general categories Lu, Lt (capitals) or Ll (lower-case).
// 1b. characters that stand for all bytes but the last of such a sequence whose last byte is A0,
//     followed by a plain space, become its character with the space when the sequence has three
//     or four bytes and its character is common, when it has two and the previous step was a
//     sequence, or when a rule 1 sequence starts right after the space; never for "Â", "Ã" (rules
//     2 and 3) or "â€" (as likely a closing quote as a dagger);
// 2.  "Ã" + space becomes "à", and the space goes too when what follows it is the end,
//     whitespace, "Â", "â" or ASCII punctuation;
// 3.  "Â" + space becomes a no-break space, unless nothing was written yet or the last character
//     written is whitespace;
// 4.  "Ã" followed by the end, "Â", "â" or ASCII punctuation becomes "à";
//     2 and 4 do not apply in capitals: when the last character written is a capital and the one
//     before it is too, or is a space after a capital, or the character after "Ã" (after "Ã" and
//     a space) is one ("SÃO", "IRMÃ E", "MÃ NOTÍCIA"; capitals here are A-Z and U+00C0-00DE
//     but U+00D7);
// 5.  anything else is copied.
// Three rounds run one after the other, each on the previous one's output, so that text damaged
// up to three times comes back whole.
//
// FullRepairer runs the three rounds as the bytes stream past, in place in one buffer, with
// constant memory: a step looks at most at the last three characters written and the next eight
// to read, so the output does not depend on how the input is cut into chunks.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace orvik {

class FullRepairer
{
public:
    // Bytes a round may hold back between two chunks: a step reads at most 8 characters of at
    // most 4 bytes each.
    static constexpr std::size_t kMaxHeldPerRound = 48;

    // `readSize`: the most bytes a chunk may have (at least 1).
    explicit FullRepairer(std::size_t readSize);
    ~FullRepairer();
    FullRepairer(const FullRepairer&) = delete;
    FullRepairer& operator=(const FullRepairer&) = delete;

    // Where the next chunk goes: room for ReadSize() bytes.
    char* ReadBuffer();
    std::size_t ReadSize() const { return m_readSize; }

    // Repairs the `size` bytes just put in ReadBuffer() and returns the bytes that are now final.
    // The view stays valid until the next call.
    std::string_view Feed(std::size_t size);

    // Bytes in front of a chunk that a repair in place may write over: the bytes each of the three
    // rounds held back go right before its input.
    static constexpr std::size_t kHeadroom = 3 * kMaxHeldPerRound;

    // Feed() for `size` bytes, any number, that the caller holds at `chunk`: repairs them in place
    // and returns the bytes that are now final, which lie within [chunk - kHeadroom, chunk + size).
    // Nothing outside that range is read or written, so that two repairers may work at once on
    // two parts of one buffer, each with kHeadroom bytes of its own before it, or with none
    // before the first chunk of a text.
    std::string_view FeedInPlace(char* chunk, std::size_t size);

    // Ends the text and returns the bytes that were still held back. Start a new repairer, or
    // call Reset(), for the next text.
    std::string_view Finish();

    // Makes the repairer ready for a new text.
    void Reset();

    // Whether some rule has changed the text so far: the output differs from the input exactly
    // when this is true once the text has ended.
    bool Changed() const { return m_changed; }

    struct Round; // what one round keeps between chunks

private:
    std::string_view Run(unsigned char* chunk, std::size_t size, bool final);

    std::size_t m_readSize;
    std::unique_ptr<unsigned char[]> m_buffer;
    std::unique_ptr<Round[]> m_rounds;
    bool m_changed = false;
};

// Repairs a whole text held in memory.
std::string RepairFull(std::string_view text);

// A place at or after `from` where `text` may be cut: the bytes before it repaired as a whole text
// and those after it as another give what the whole gives, so that the two may be repaired at
// once, each by a repairer of its own. text.size() when there is none. Such a place has 16 ASCII
// bytes before it and 3 after it: a step reads 8 units ahead, and may take one space after the unit
// it starts at, once in each round; every other ASCII byte is copied, and a step that follows 3 of
// them sees nothing of what came before.
std::size_t FindCut(std::string_view text, std::size_t from);

} // namespace orvik
