// SPDX-License-Identifier: MIT
#include "repair/full_repair.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace orvik {

namespace {

using Byte = unsigned char;

constexpr char32_t kInvalid = 0xFFFFFFFF; // a byte that is not part of a well-formed character
constexpr char32_t kAtilde = 0xC3; // Ã
constexpr char32_t kAcirc = 0xC2; // Â
constexpr char32_t kAcircSmall = 0xE2; // â

// The byte a character stands for, or -1.
constexpr int ByteOf(char32_t c)
{
    if (c <= 0xFF)
        return int(c);
    switch (c) {
    case 0x20AC:
        return 0x80; // €
    case 0x201A:
        return 0x82; // ‚
    case 0x0192:
        return 0x83; // ƒ
    case 0x201E:
        return 0x84; // „
    case 0x2026:
        return 0x85; // …
    case 0x2020:
        return 0x86; // †
    case 0x2021:
        return 0x87; // ‡
    case 0x02C6:
        return 0x88; // ˆ
    case 0x2030:
        return 0x89; // ‰
    case 0x0160:
        return 0x8A; // Š
    case 0x2039:
        return 0x8B; // ‹
    case 0x0152:
        return 0x8C; // Œ
    case 0x017D:
        return 0x8E; // Ž
    case 0x2018:
        return 0x91; // ‘
    case 0x2019:
        return 0x92; // ’
    case 0x201C:
        return 0x93; // “
    case 0x201D:
        return 0x94; // ”
    case 0x2022:
        return 0x95; // •
    case 0x2013:
        return 0x96; // –
    case 0x2014:
        return 0x97; // —
    case 0x02DC:
        return 0x98; // ˜
    case 0x2122:
        return 0x99; // ™
    case 0x0161:
        return 0x9A; // š
    case 0x203A:
        return 0x9B; // ›
    case 0x0153:
        return 0x9C; // œ
    case 0x017E:
        return 0x9E; // ž
    case 0x0178:
        return 0x9F; // Ÿ
    default:
        return -1;
    }
}

inline bool IsCommon(char32_t c)
{
    return (c >= 0xA0 && c <= 0x17F) || c == 0x192 || c == 0x2C6 || c == 0x2DC
        || (c >= 0x218 && c <= 0x21B) || (c >= 0x300 && c <= 0x36F) || (c >= 0x2000 && c <= 0x2BFF)
        || c == 0xFEFF || c == 0xFFFD || c >= 0x10000;
}

bool IsWhitespace(char32_t c)
{
    return (c >= 0x09 && c <= 0x0D) || (c >= 0x1C && c <= 0x20) || c == 0x85 || c == 0xA0
        || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F
        || c == 0x205F || c == 0x3000;
}

bool IsCapital(char32_t c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7);
}

bool IsAsciiPunctuation(char32_t c)
{
    return c < 0x80 && !(c >= '0' && c <= '9') && !(c >= 'A' && c <= 'Z')
        && !(c >= 'a' && c <= 'z');
}

// What may follow a lone "Ã" for it to be "à": the end, "Â", "â" or ASCII punctuation.
bool EndsLoneAtilde(bool atEnd, char32_t next)
{
    return atEnd || next == kAcirc || next == kAcircSmall || IsAsciiPunctuation(next);
}

struct Item
{
    char32_t c = kInvalid;
    int length = 1; // bytes
};

enum class Got { Item, End, More };

// Decodes the character at `p`. A byte that does not start a complete well-formed sequence is an
// item of its own (kInvalid). More: the bytes up to `end` are not enough to tell, and more may
// come.
Got Decode(const Byte* p, const Byte* end, bool final, Item& item)
{
    if (p >= end)
        return final ? Got::End : Got::More;
    const Byte lead = p[0];
    item = { kInvalid, 1 };
    if (lead < 0x80) {
        item.c = lead;
        return Got::Item;
    }
    int length;
    char32_t c;
    Byte low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        c = lead & 0x0F;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        c = lead & 0x07;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return Got::Item;
    }
    for (int k = 1; k < length; ++k) {
        if (p + k >= end)
            return final ? Got::Item : Got::More;
        const Byte b = p[k];
        if (b < low || b > high)
            return Got::Item;
        c = (c << 6) | (b & 0x3F);
        low = 0x80;
        high = 0xBF;
    }
    item = { c, length };
    return Got::Item;
}

enum class Fit { Yes, No, More };

// Whether the characters at `p` stand for one complete, well-formed UTF-8 sequence; if so, sets
// `encoded` to the character and `after` to where the characters end.
Fit SequenceAt(const Byte* p, const Byte* end, bool final, char32_t& encoded, const Byte*& after)
{
    Item item;
    Got got = Decode(p, end, final, item);
    if (got != Got::Item)
        return got == Got::More ? Fit::More : Fit::No;
    const int lead = ByteOf(item.c);
    int length;
    char32_t c;
    int low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        c = char32_t(lead & 0x1F);
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        c = char32_t(lead & 0x0F);
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        c = char32_t(lead & 0x07);
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return Fit::No;
    }
    const Byte* q = p + item.length;
    for (int k = 1; k < length; ++k) {
        got = Decode(q, end, final, item);
        if (got != Got::Item)
            return got == Got::More ? Fit::More : Fit::No;
        const int b = ByteOf(item.c);
        if (b < low || b > high)
            return Fit::No;
        c = (c << 6) | char32_t(b & 0x3F);
        q += item.length;
        low = 0x80;
        high = 0xBF;
    }
    encoded = c;
    after = q;
    return Fit::Yes;
}

int Encode(char32_t c, Byte* out)
{
    if (c < 0x80) {
        out[0] = Byte(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = Byte(0xC0 | (c >> 6));
        out[1] = Byte(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = Byte(0xE0 | (c >> 12));
        out[1] = Byte(0x80 | ((c >> 6) & 0x3F));
        out[2] = Byte(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = Byte(0xF0 | (c >> 18));
    out[1] = Byte(0x80 | ((c >> 12) & 0x3F));
    out[2] = Byte(0x80 | ((c >> 6) & 0x3F));
    out[3] = Byte(0x80 | (c & 0x3F));
    return 4;
}

// What the rules need to know of a character already written.
enum : std::uint8_t { kNothing = 0, kWritten = 1, kCapital = 2, kSpace = 4 };

std::uint8_t ClassOf(char32_t c)
{
    return std::uint8_t(kWritten | (IsCapital(c) ? kCapital : 0) | (IsWhitespace(c) ? kSpace : 0));
}

// The character that ends at `q`, written at or after `begin`, read backwards; sets `start`.
char32_t CharacterBefore(const Byte* begin, const Byte* q, const Byte*& start)
{
    start = q - 1;
    const Byte last = q[-1];
    if (last < 0x80)
        return last;
    if (last >= 0xC0)
        return kInvalid;
    for (int k = 2; k <= 4 && q - k >= begin; ++k) {
        const Byte* s = q - k;
        if ((*s & 0xC0) == 0x80)
            continue;
        Item item;
        Decode(s, q, true, item);
        if (item.length == k)
            start = s;
        return item.length == k ? item.c : kInvalid;
    }
    return kInvalid;
}

// The place where a rule may apply: "Ã" (C3 83), "Â" (C3 82), or a character that may start a
// sequence (U+00C2 to U+00F4: C3 82 to C3 B4) followed by one that may stand for a continuation
// byte (U+0080 to U+00BF, or one of the 27: their first byte is C2, C5, C6, CB or E2).
// Everything else is copied by the fifth rule. With fewer than three bytes left the answer is yes:
// the step itself decides.
inline bool IsSite(const Byte* p, const Byte* end)
{
    if (end - p < 3)
        return true;
    const Byte second = p[1];
    if (second < 0x82 || second > 0xB4)
        return false;
    if (second <= 0x83)
        return true;
    const Byte third = p[2];
    return third == 0xC2 || third == 0xC5 || third == 0xC6 || third == 0xCB || third == 0xE2;
}

const Byte* FindSiteMemchr(const Byte* p, const Byte* limit, const Byte* end)
{
    while (p < limit) {
        p = static_cast<const Byte*>(std::memchr(p, 0xC3, std::size_t(limit - p)));
        if (p == nullptr)
            return limit;
        if (IsSite(p, end))
            return p;
        ++p;
    }
    return limit;
}

#if defined(__SSE2__)
// Candidates among 16 bytes at `p`: a C3 byte followed by 82 or 83, or with a byte from C2 up
// two bytes on (a superset of the sites, cheap to test; IsSite() then sorts them). Reads 18
// bytes.
inline unsigned Candidates16(const Byte* p)
{
    const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1));
    const __m128i third = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 2));
    const auto all = [](int byte) { return _mm_set1_epi8(char(byte)); };
    const __m128i lone = _mm_cmpeq_epi8(_mm_or_si128(second, all(0x01)), all(0x83));
    const __m128i follower = _mm_cmpeq_epi8(_mm_max_epu8(third, all(0xC2)), third);
    return unsigned(_mm_movemask_epi8(
        _mm_and_si128(_mm_cmpeq_epi8(first, all(0xC3)), _mm_or_si128(lone, follower))));
}
#endif

// Finds sites with a window of 64 candidate bits kept from one call to the next, so that dense
// damage costs one look at each byte rather than one per site. Only bytes at or after the place
// asked are ever read, and a round writes only before it, so the window stays true.
class SiteFinder
{
public:
    explicit SiteFinder(SiteScan scan)
        : scan_(scan)
    { }

    const Byte* Find(const Byte* p, const Byte* limit, const Byte* end)
    {
#if defined(__SSE2__)
        if (scan_ == SiteScan::Sse2) {
            for (;;) {
                if (base_ == nullptr || p < base_ || p - base_ >= 64) {
                    if (limit - p < 64 || end - p < 66)
                        return FindSiteMemchr(p, limit, end);
                    base_ = p;
                    bits_ = std::uint64_t(Candidates16(p))
                        | std::uint64_t(Candidates16(p + 16)) << 16
                        | std::uint64_t(Candidates16(p + 32)) << 32
                        | std::uint64_t(Candidates16(p + 48)) << 48;
                }
                std::uint64_t bits = bits_ & (~std::uint64_t(0) << (p - base_));
                while (bits != 0) {
                    const Byte* candidate = base_ + __builtin_ctzll(bits);
                    if (candidate >= limit)
                        return limit;
                    if (IsSite(candidate, end))
                        return candidate;
                    bits &= bits - 1;
                }
                p = base_ + 64;
            }
        }
#endif
        return FindSiteMemchr(p, limit, end);
    }

private:
    SiteScan scan_;
    const Byte* base_ = nullptr;
    std::uint64_t bits_ = 0;
};

} // namespace

struct FullRepairer::Round
{
    Byte held[kMaxHeldPerRound];
    std::size_t heldSize = 0;
    bool afterSequence = false; // the step just before the held bytes was a sequence
    std::uint8_t last = kNothing; // classes of the last two characters written
    std::uint8_t beforeLast = kNothing;
};

namespace {

// The classes of the last two characters a round has written: those in [begin, w), then those
// it wrote before.
void Recent(const Byte* begin, const Byte* w, const FullRepairer::Round& round, std::uint8_t& last,
    std::uint8_t& beforeLast)
{
    if (w == begin) {
        last = round.last;
        beforeLast = round.beforeLast;
        return;
    }
    const Byte* start;
    last = ClassOf(CharacterBefore(begin, w, start));
    if (start == begin) {
        beforeLast = round.last;
        return;
    }
    const Byte* unused;
    beforeLast = ClassOf(CharacterBefore(begin, start, unused));
}

struct Step
{
    enum class Kind { More, Copy, Write } kind = Kind::Copy;
    std::size_t consumed = 0;
    bool sequence = false;
    Byte out[4] {};
    int outSize = 0;
};

Step Write(char32_t c, std::size_t consumed, bool sequence = false)
{
    Step step { Step::Kind::Write, consumed, sequence };
    step.outSize = Encode(c, step.out);
    return step;
}

// One step of a round at `p`, where IsSite() holds.
Step Decide(const Byte* p, const Byte* end, bool final, bool afterSequence, const Byte* begin,
    const Byte* w, const FullRepairer::Round& round)
{
    constexpr Step more { Step::Kind::More };
    Item first;
    if (Decode(p, end, final, first) == Got::More)
        return more;
    const int lead = ByteOf(first.c);
    if (lead >= 0xC2 && lead <= 0xF4) {
        char32_t c;
        const Byte* after;
        const Fit fit = SequenceAt(p, end, final, c, after);
        if (fit == Fit::More)
            return more;
        if (fit == Fit::Yes) {
            const auto consumed = std::size_t(after - p);
            bool replace = IsCommon(c) || afterSequence;
            if (!replace) {
                char32_t nextC;
                const Byte* nextAfter;
                const Fit next = SequenceAt(after, end, final, nextC, nextAfter);
                if (next == Fit::More)
                    return more;
                replace = next == Fit::Yes;
            }
            if (replace)
                return Write(c, consumed, true);
            return { Step::Kind::Copy, consumed, true };
        }
    }
    if (first.c == kAtilde || first.c == kAcirc) {
        Item next;
        const Got got = Decode(p + first.length, end, final, next);
        if (got == Got::More)
            return more;
        const bool atEnd = got == Got::End;
        std::uint8_t last, beforeLast;
        Recent(begin, w, round, last, beforeLast);
        if (first.c == kAtilde && !((last & kCapital) && (beforeLast & kCapital))) {
            if (!atEnd && next.c == ' ') {
                Item after;
                const Got gotAfter = Decode(p + first.length + 1, end, final, after);
                if (gotAfter == Got::More)
                    return more;
                const bool spaceGoes
                    = EndsLoneAtilde(gotAfter == Got::End, after.c) || IsWhitespace(after.c);
                return Write(0xE0, std::size_t(first.length) + (spaceGoes ? 1 : 0)); // à
            }
            if (EndsLoneAtilde(atEnd, next.c))
                return Write(0xE0, std::size_t(first.length)); // à
        }
        if (first.c == kAcirc && !atEnd && next.c == ' ' && (last & kWritten) && !(last & kSpace))
            return Write(0xA0, std::size_t(first.length) + 1); // no-break space
    }
    return { Step::Kind::Copy, std::size_t(first.length) };
}

template <std::size_t N> struct Block
{
    Byte bytes[N];
};

template <std::size_t N> inline Block<N> Load(const Byte* from)
{
    Block<N> block;
    std::memcpy(&block, from, N);
    return block;
}

template <std::size_t N> inline void Store(Byte* to, const Block<N>& block)
{
    std::memcpy(to, &block, N);
}

// The byte each of U+2000 to U+203F stands for, or -1.
constexpr auto kPunctuationBytes = [] {
    std::array<std::int16_t, 64> bytes {};
    for (int i = 0; i < 64; ++i)
        bytes[std::size_t(i)] = std::int16_t(ByteOf(char32_t(0x2000 + i)));
    return bytes;
}();

// The byte the character at `p` stands for, for the forms damage makes most (U+0080 to U+00FF,
// and the 27 characters of Windows-1252 at 80-9F), with at least three bytes before `end`; sets
// `length`. -1 for anything else: Decode() and ByteOf() then tell.
inline int QuickByteAt(const Byte* p, const Byte* end, int& length)
{
    if (end - p < 3)
        return -1;
    const Byte second = p[1];
    length = 2;
    switch (p[0]) {
    case 0xC2:
        return second >= 0x80 && second <= 0xBF ? second : -1;
    case 0xC3:
        return second >= 0x80 && second <= 0xBF ? second + 0x40 : -1;
    case 0xC5:
    case 0xC6:
    case 0xCB: {
        const int b = ByteOf((char32_t(p[0] & 0x1F) << 6) | (second & 0x3F));
        return (second & 0xC0) == 0x80 ? b : -1;
    }
    case 0xE2:
        // U+2000 to U+203F hold 15 of the 27; the other two are € (E2 82 AC) and ™ (E2 84 A2).
        length = 3;
        if (second == 0x80)
            return (p[2] & 0xC0) == 0x80 ? kPunctuationBytes[p[2] & 0x3F] : -1;
        if (second == 0x82 && p[2] == 0xAC)
            return 0x80;
        if (second == 0x84 && p[2] == 0xA2)
            return 0x99;
        return -1;
    default:
        return -1;
    }
}

// At `p`, a character from U+00C2 to U+00F4 (C3 82 to C3 B4): when it and the next ones read by
// QuickByteAt() stand for a complete, well-formed sequence whose character is common (or
// `afterSequence`), writes that character at `out` and returns how many bytes it replaces. 0
// when anything else may apply: Decide() takes it from there.
inline std::size_t QuickSequence(
    const Byte* p, const Byte* end, bool afterSequence, Byte* out, int& outSize)
{
    if (end - p < 4)
        return 0;
    const int lead = p[1] + 0x40;
    int length, low = 0x80, high = 0xBF;
    char32_t c;
    if (lead <= 0xDF) {
        length = 2;
        c = char32_t(lead & 0x1F);
    } else if (lead <= 0xEF) {
        length = 3;
        c = char32_t(lead & 0x0F);
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else {
        length = 4;
        c = char32_t(lead & 0x07);
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    }
    const Byte* q = p + 2;
    for (int k = 1; k < length; ++k) {
        int size;
        const int b = QuickByteAt(q, end, size);
        if (b < low || b > high)
            return 0;
        c = (c << 6) | char32_t(b & 0x3F);
        q += size;
        low = 0x80;
        high = 0xBF;
    }
    if (!IsCommon(c) && !afterSequence)
        return 0;
    outSize = Encode(c, out);
    return std::size_t(q - p);
}

// memmove() for the round's output, which is never ahead of its input. Short runs, the most
// common between two sites of damaged text, are copied without a call, as two or four blocks
// that may overlap: every block is loaded before the first is stored, so the overlap of `to`
// and `from` does not matter.
inline void MoveDown(Byte* to, const Byte* from, std::size_t n)
{
    if (to == from)
        return;
    if (n > 64) {
        std::memmove(to, from, n);
    } else if (n > 32) {
        const auto a = Load<16>(from), b = Load<16>(from + 16), c = Load<16>(from + n - 32),
                   d = Load<16>(from + n - 16);
        Store(to, a), Store(to + 16, b), Store(to + n - 32, c), Store(to + n - 16, d);
    } else if (n >= 16) {
        const auto a = Load<16>(from), b = Load<16>(from + n - 16);
        Store(to, a), Store(to + n - 16, b);
    } else if (n >= 8) {
        const auto a = Load<8>(from), b = Load<8>(from + n - 8);
        Store(to, a), Store(to + n - 8, b);
    } else if (n >= 4) {
        const auto a = Load<4>(from), b = Load<4>(from + n - 4);
        Store(to, a), Store(to + n - 4, b);
    } else {
        for (std::size_t i = 0; i < n; ++i)
            to[i] = from[i];
    }
}

// The damage that makes up nearly all of a damaged text, at `p`, a C3 byte with at least 8 bytes
// before `end`: "Â", "Ã", "Ä" or "Å" then a character that stands for a continuation byte, which
// stand for a character from U+00C0 to U+017F (U+00A0 to U+00BF after "Â"); or "â€" then one that
// stands for a continuation byte, which stand for a character from U+2000 to U+203F. All are
// common, so they are replaced whatever comes before or after: writes the character at `w` and
// returns how many bytes it replaces, with `outSize` the bytes written; 0 for anything else.
inline std::size_t QuickCommon(const Byte* p, const Byte* end, Byte* w, int& outSize)
{
    if (end - p < 8 || p[0] != 0xC3)
        return 0;
    const Byte second = p[1];
    int size;
    if (second >= 0x82 && second <= 0x85) {
        // A character from U+0080 to U+00BF (C2 80 to C2 BF) the most often.
        const int b = p[2] == 0xC2 ? (size = 2, p[3]) : QuickByteAt(p + 2, end, size);
        if (b < (second == 0x82 ? 0xA0 : 0x80) || b > 0xBF)
            return 0;
        w[0] = Byte(second + 0x40);
        w[1] = Byte(b);
        outSize = 2;
        return std::size_t(2 + size);
    }
    if (second == 0xA2 && p[2] == 0xE2 && p[3] == 0x82 && p[4] == 0xAC) { // "â€"
        const int b = QuickByteAt(p + 5, end, size);
        if (b < 0x80 || b > 0xBF)
            return 0;
        w[0] = 0xE2;
        w[1] = 0x80;
        w[2] = Byte(b);
        outSize = 3;
        return std::size_t(5 + size);
    }
    return 0;
}

// The first C3 byte in [p, limit), or `limit`.
inline const Byte* FindC3(const Byte* p, const Byte* limit)
{
#if defined(__SSE2__)
    const __m128i c3 = _mm_set1_epi8(char(0xC3));
    for (; limit - p >= 16; p += 16) {
        const auto bits = unsigned(_mm_movemask_epi8(
            _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), c3)));
        if (bits != 0)
            return p + __builtin_ctz(bits);
    }
#endif
    const void* found = p < limit ? std::memchr(p, 0xC3, std::size_t(limit - p)) : nullptr;
    return found ? static_cast<const Byte*>(found) : limit;
}

// Repairs a stretch of damaged text right after QuickCommon() has replaced something: from `p`,
// copies up to each C3 byte and replaces what QuickCommon() finds there, moving `p`, `w` and
// `sequenceEnd` past what it did. A site always starts with a C3 byte, so the bytes copied are
// those the round copies. Hands back to the round at the first C3 byte where QuickCommon() does
// not apply, or when no C3 byte is left before `limit`. Where damage is dense (a site every 15 to
// 20 bytes in damaged prose), this spares each site the site finder's and the round's checks.
inline void RepairDamagedRun(
    Byte*& pAt, Byte*& wAt, const Byte* limit, const Byte*& sequenceEndAt, const Byte* end)
{
    // Locals: the stores through `w` could otherwise alias them.
    Byte* p = pAt;
    Byte* w = wAt;
    const Byte* sequenceEnd = sequenceEndAt;
    for (;;) {
        const Byte* site = FindC3(p, limit);
        if (site == limit)
            break;
        const auto n = std::size_t(site - p);
        if (p - w >= 16 && end - site >= 16) {
            // Whole blocks of 16: with the output 16 bytes behind, a block stored never reaches
            // the bytes still to be read, and what it writes past the copy is written again.
            for (std::size_t k = 0; k < n; k += 16)
                Store(w + k, Load<16>(p + k));
        } else {
            MoveDown(w, p, n);
        }
        w += n;
        p += n;
        int outSize;
        const std::size_t consumed = QuickCommon(p, end, w, outSize);
        if (consumed == 0)
            break;
        w += outSize;
        p += consumed;
        sequenceEnd = p;
    }
    pAt = p;
    wAt = w;
    sequenceEndAt = sequenceEnd;
}

// Where the bytes before `end` may be cut without splitting a character: three bytes before it
// (enough for IsSite() to see a site whole), moved back to the start of a character.
const Byte* CutBefore(const Byte* begin, const Byte* end)
{
    if (end - begin <= 3)
        return begin;
    const Byte* cut = end - 3;
    for (int k = 0; k < 3 && cut > begin && (*cut & 0xC0) == 0x80; ++k)
        --cut;
    return cut;
}

// The sites a round found, when it changed nothing: its output is then its input, byte for byte
// at the same places, and the next round's sites from `from` on are these very ones (a step that
// copies holds no site but its first), so that round need not look at those bytes again.
struct SiteList
{
    const Byte* from;
    const Byte* at[256];
    std::size_t count;
    bool complete; // nothing was changed and every site fitted in the list
};

// One round over [begin, end), in place: returns the end of its output, which starts at `begin`,
// and keeps in `round` the bytes it could not decide yet.
Byte* RunRound(Byte* begin, Byte* end, bool final, FullRepairer::Round& round, SiteScan scan,
    bool& changed, const SiteList* known, SiteList& found)
{
    const Byte* limit = final ? end : CutBefore(begin, end);
    Byte* p = begin;
    Byte* w = begin;
    const Byte* sequenceEnd = round.afterSequence ? begin : nullptr;
    SiteFinder finder(scan);
    std::size_t nextKnown = 0;
    // Where the finder has to look: up to where the known sites take over.
    const Byte* scanLimit = known ? std::min(limit, known->from) : limit;
    // Filled while nothing has changed, then dropped.
    std::size_t listed = 0;
    bool listing = true;
    for (;;) {
        const Byte* site = p < scanLimit ? finder.Find(p, scanLimit, end) : scanLimit;
        if (site == scanLimit && known) {
            while (nextKnown < known->count && known->at[nextKnown] < p)
                ++nextKnown;
            site = nextKnown < known->count ? std::min(known->at[nextKnown], limit) : limit;
        }
        if (listing && site < limit) {
            if (listed < std::size(found.at))
                found.at[listed++] = site;
            else
                listing = false;
        }
        if (site > p) {
            const auto n = std::size_t(site - p);
            MoveDown(w, p, n);
            w += n;
            p += n;
        }
        if (p >= limit)
            break;
        // The most usual damage first; where there is some, the text that follows is most
        // likely damaged too.
        int outSize;
        if (const std::size_t consumed = QuickCommon(p, end, w, outSize)) {
            w += outSize;
            p += consumed;
            sequenceEnd = p;
            changed = true;
            listing = false;
            RepairDamagedRun(p, w, limit, sequenceEnd, end);
            continue;
        }
        // Then any other sequence whose characters are all in the forms QuickByteAt() reads,
        // that encodes a character replaced without looking further.
        if (const std::size_t consumed = QuickSequence(p, end, p == sequenceEnd, w, outSize)) {
            w += outSize;
            p += consumed;
            sequenceEnd = p;
            changed = true;
            listing = false;
            continue;
        }
        const Step step = Decide(p, end, final, p == sequenceEnd, begin, w, round);
        if (step.kind == Step::Kind::More)
            break;
        if (step.kind == Step::Kind::Write) {
            listing = false;
            std::memcpy(w, step.out, std::size_t(step.outSize));
            w += step.outSize;
            changed = true;
        } else {
            MoveDown(w, p, step.consumed);
            w += step.consumed;
        }
        p += step.consumed;
        if (step.sequence)
            sequenceEnd = p;
    }
    found.from = begin;
    found.count = listed;
    found.complete = listing;
    std::uint8_t last, beforeLast;
    Recent(begin, w, round, last, beforeLast);
    round.last = last;
    round.beforeLast = beforeLast;
    round.afterSequence = p == sequenceEnd;
    round.heldSize = std::size_t(end - p);
    if (round.heldSize > sizeof round.held)
        throw std::logic_error("full repair: a round held back more than it may");
    std::memcpy(round.held, p, round.heldSize);
    return w;
}

} // namespace

SiteScan BestSiteScan()
{
    // Chosen once: every repair takes it as its default. A developer can pick the memchr() scan
    // to measure it, as the benchmark script does.
    static const SiteScan best = [] {
        const char* forced = std::getenv("ORVIK_FULL_SCAN");
        if (forced && std::string_view(forced) == "Memchr")
            return SiteScan::Memchr;
#if defined(__SSE2__)
        return SiteScan::Sse2;
#else
        return SiteScan::Memchr;
#endif
    }();
    return best;
}

bool IsCommonCharacter(char32_t c)
{
    return IsCommon(c);
}

namespace {
constexpr std::size_t kRounds = 3;
constexpr std::size_t kHeadroom = kRounds * FullRepairer::kMaxHeldPerRound;
} // namespace

FullRepairer::FullRepairer(std::size_t readSize, SiteScan scan)
    : readSize_(readSize == 0 ? 1 : readSize)
    , scan_(scan)
    , buffer_(std::make_unique_for_overwrite<Byte[]>(kHeadroom + readSize_))
    , rounds_(std::make_unique<Round[]>(kRounds))
{
#if !defined(__SSE2__)
    scan_ = SiteScan::Memchr;
#endif
}

FullRepairer::~FullRepairer() = default;

char* FullRepairer::ReadBuffer()
{
    return reinterpret_cast<char*>(buffer_.get() + kHeadroom);
}

std::string_view FullRepairer::Feed(std::size_t size)
{
    return Run(size, false);
}

std::string_view FullRepairer::Finish()
{
    return Run(0, true);
}

void FullRepairer::Reset()
{
    for (std::size_t r = 0; r < kRounds; ++r)
        rounds_[r] = Round {};
    changed_ = false;
}

// Each round's held bytes go right before its input, in the headroom in front of the chunk: the
// first round's before the chunk, the second's before the first's output, and so on. A round's
// output never gets ahead of its input, so the three run in place.
std::string_view FullRepairer::Run(std::size_t size, bool final)
{
    if (size > readSize_)
        throw std::invalid_argument("FullRepairer::Feed: chunk larger than the read size");
    Byte* begin = buffer_.get() + kHeadroom;
    Byte* end = begin + size;
    SiteList lists[2];
    const SiteList* known = nullptr;
    for (std::size_t r = 0; r < kRounds; ++r) {
        Round& round = rounds_[r];
        begin -= round.heldSize;
        std::memcpy(begin, round.held, round.heldSize);
        SiteList& found = lists[r % 2];
        end = RunRound(begin, end, final, round, scan_, changed_, known, found);
        known = found.complete ? &found : nullptr;
    }
    return { reinterpret_cast<const char*>(begin), std::size_t(end - begin) };
}

std::string RepairFull(std::string_view text, SiteScan scan)
{
    constexpr std::size_t kChunk = 64 * 1024;
    FullRepairer repairer(kChunk, scan);
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size(); at += kChunk) {
        const std::size_t n = std::min(kChunk, text.size() - at);
        std::memcpy(repairer.ReadBuffer(), text.data() + at, n);
        out += repairer.Feed(n);
    }
    out += repairer.Finish();
    return out;
}

} // namespace orvik
