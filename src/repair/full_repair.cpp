// SPDX-License-Identifier: MIT
#include "repair/full_repair.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <stdexcept>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace orvik {

namespace {

using Byte = unsigned char;

// ---------------------------------------------------------------------------------------------
// The two tables everything below is derived from.

// What a byte says as the first of a UTF-8 sequence: how many bytes the sequence has (0: none
// starts with it) and the range the second byte must fall in; any later byte is 80-BF.
struct Lead
{
    std::uint8_t length;
    Byte low, high;
};

constexpr std::array<Lead, 256> kLeads = [] {
    std::array<Lead, 256> leads {};
    for (int b = 0; b < 0x80; ++b)
        leads[b] = { 1, 0, 0 };
    for (int b = 0xC2; b <= 0xDF; ++b)
        leads[b] = { 2, 0x80, 0xBF };
    for (int b = 0xE0; b <= 0xEF; ++b)
        leads[b] = { 3, Byte(b == 0xE0 ? 0xA0 : 0x80), Byte(b == 0xED ? 0x9F : 0xBF) };
    for (int b = 0xF0; b <= 0xF4; ++b)
        leads[b] = { 4, Byte(b == 0xF0 ? 0x90 : 0x80), Byte(b == 0xF4 ? 0x8F : 0xBF) };
    return leads;
}();

// The characters Windows-1252 gives bytes 80 to 9F; 0 where it leaves a byte undefined (such a
// byte reads as the C1 control of the same value, as in Latin-1).
constexpr char16_t kWindows1252[32] = { 0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017D, 0, 0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178 };

// ---------------------------------------------------------------------------------------------
// Characters: the byte each stands for, and what the rules ask of it.

// The byte each character U+0100 to U+02FF and U+2000 to U+213F stands for, 0 for none: the 27
// characters of Windows-1252 at 80-9F lie there.
template <char32_t kFirst, std::size_t kSize> constexpr auto StandsForTable()
{
    std::array<Byte, kSize> bytes {};
    for (int i = 0; i < 32; ++i)
        if (kWindows1252[i] >= kFirst && kWindows1252[i] < kFirst + kSize)
            bytes[kWindows1252[i] - kFirst] = Byte(0x80 + i);
    return bytes;
}
constexpr auto kStandsForLatin = StandsForTable<0x100, 0x200>();
constexpr auto kStandsForPunctuation = StandsForTable<0x2000, 0x140>();

// The byte `c` stands for, or -1.
constexpr int StandsFor(char32_t c)
{
    if (c <= 0xFF)
        return int(c);
    int b = 0;
    if (c < 0x300)
        b = kStandsForLatin[c - 0x100];
    else if (c >= 0x2000 && c < 0x2140)
        b = kStandsForPunctuation[c - 0x2000];
    return b != 0 ? b : -1;
}

// Code points below this have their traits in a table; the others, rarer, are looked up.
constexpr char32_t kTabled = 0x2100;

enum Trait : std::uint8_t {
    kCommon = 1, // a lone sequence that encodes it is repaired (but see the next two)
    kBeyond1252 = 2, // a letter Windows-1252 lacks: alone, it needs support from its word
    kMark = 4, // a combining mark: alone, it needs a Latin letter before it
    kCapital = 8, // a Latin letter, capital (general category Lu or Lt)
    kLower = 16, // a Latin letter, lower-case (Ll)
    kLetter1252 = 32, // a letter of Windows-1252
    kWhitespace = 64,
};

struct Range
{
    char32_t first, last;
    std::uint8_t traits;
};

// The common characters, the combining marks and whitespace; ranges may overlap.
constexpr Range kRanges[] = {
    { 0x00A0, 0x017F, kCommon },
    { 0x0192, 0x0192, kCommon }, // ƒ
    { 0x0218, 0x021B, kCommon }, // Ș ș Ț ț
    { 0x02C6, 0x02C6, kCommon }, // ˆ
    { 0x02DC, 0x02DC, kCommon }, // ˜
    // The combining marks decomposed Latin text uses.
    { 0x0300, 0x0304, kCommon | kMark },
    { 0x0306, 0x030C, kCommon | kMark },
    { 0x030F, 0x030F, kCommon | kMark },
    { 0x0311, 0x0311, kCommon | kMark },
    { 0x031B, 0x031B, kCommon | kMark },
    { 0x0323, 0x0328, kCommon | kMark },
    { 0x032D, 0x032E, kCommon | kMark },
    { 0x0330, 0x0331, kCommon | kMark },
    { 0x1D43, 0x1D5B, kCommon }, // modifier small letters (ᵉ of 1ᵉʳ, XIXᵉ)
    { 0x1D9C, 0x1DBF, kCommon },
    { 0x1E00, 0x1EFF, kCommon }, // Latin Extended Additional (Vietnamese)
    { 0x2000, 0x2BFF, kCommon }, // punctuation, symbols, arrows, shapes
    { 0xFB00, 0xFB06, kCommon }, // ligatures ﬀ ﬁ ﬂ
    { 0xFEFF, 0xFEFF, kCommon }, // byte order mark
    { 0xFFFD, 0xFFFD, kCommon }, // replacement character
    { 0x10000, 0x3FFFF, kCommon },
    { 0x0009, 0x000D, kWhitespace },
    { 0x001C, 0x0020, kWhitespace },
    { 0x0085, 0x0085, kWhitespace },
    { 0x00A0, 0x00A0, kWhitespace },
    { 0x1680, 0x1680, kWhitespace },
    { 0x2000, 0x200A, kWhitespace },
    { 0x2028, 0x2029, kWhitespace },
    { 0x202F, 0x202F, kWhitespace },
    { 0x205F, 0x205F, kWhitespace },
    { 0x3000, 0x3000, kWhitespace },
};

// The case of each code point from U+0100 to U+024F: C capital (Lu, Lt), l lower-case (Ll), . not
// a letter.
constexpr std::string_view kLatinExtendedCase
    = "ClClClClClClClClClClClClClClClClClClClClClClClClClClClCllClClClClClClClCllClClClClCl"
      "ClClClClClClClClClClClClClClClClClClCClClClllCClClCClCCCllCCCClCClCCClllCClCClClClCC"
      "lCllClCClCCClClCCll.Clll....CClCClCClClClClClClClClCllClClClClClClClClCllCClClCCClCl"
      "ClClClClClClClClClClClClClClClClClClClClClClClClClClClClllllllCClCCllClCCCClClClClCl";

constexpr std::uint8_t LatinCase(char32_t c)
{
    if (c < 0x41 || (c > 0x24F && c < 0x1E00) || c > 0x1EFF)
        return 0;
    bool capital, lower;
    if (c >= 0x1E00) { // capitals at even code points, but for a run of lower-case letters
        lower = (c & 1) != 0 || (c >= 0x1E96 && c <= 0x1E9D);
        capital = !lower;
    } else if (c >= 0x100) {
        capital = kLatinExtendedCase[c - 0x100] == 'C';
        lower = kLatinExtendedCase[c - 0x100] == 'l';
    } else {
        capital = (c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7);
        lower = (c >= 'a' && c <= 'z') || c == 0xB5 || (c >= 0xDF && c != 0xF7);
    }
    return std::uint8_t((capital ? kCapital : 0) | (lower ? kLower : 0));
}

constexpr std::uint8_t ComputeTraits(char32_t c)
{
    std::uint8_t traits = LatinCase(c);
    for (const Range& range : kRanges)
        if (c >= range.first && c <= range.last)
            traits |= range.traits;
    const bool latinLetter = (traits & (kCapital | kLower)) != 0;
    const bool standsForByte = StandsFor(c) >= 0;
    if (latinLetter && (c >= 0xC0 ? c <= 0xFF || standsForByte : false))
        traits |= kLetter1252;
    if (latinLetter && (traits & kCommon) && c > 0xFF && !standsForByte)
        traits |= kBeyond1252;
    return traits;
}

constexpr std::array<std::uint8_t, kTabled> kTraitsTable = [] {
    std::array<std::uint8_t, kTabled> traits {};
    for (char32_t c = 0; c < kTabled; ++c)
        traits[c] = ComputeTraits(c);
    return traits;
}();

// The ranges that reach past the table: all there is to know of the characters there.
constexpr auto kUntabled = [] {
    std::array<Range, std::size(kRanges)> untabled {};
    std::size_t n = 0;
    for (const Range& range : kRanges)
        if (range.last >= kTabled)
            untabled[n++] = range;
    return std::pair(untabled, n);
}();

inline std::uint8_t Traits(char32_t c)
{
    if (c < kTabled)
        return kTraitsTable[c];
    std::uint8_t traits = 0;
    for (std::size_t i = 0; i < kUntabled.second; ++i)
        if (c >= kUntabled.first[i].first && c <= kUntabled.first[i].last)
            traits |= kUntabled.first[i].traits;
    return traits;
}

// ---------------------------------------------------------------------------------------------
// Reading the text: units, each a character or a byte outside any well-formed sequence.

constexpr char32_t kNoCharacter = 0x110000; // a byte outside any well-formed sequence
constexpr char32_t kNothing = 0x110001; // before the first unit written
constexpr char32_t kEnd = 0x110002; // after the last unit
constexpr char32_t kAtilde = 0xC3; // Ã
constexpr char32_t kAcirc = 0xC2; // Â
constexpr char32_t kAcircSmall = 0xE2; // â

struct Unit
{
    char32_t c; // kNoCharacter for a byte outside any well-formed sequence, kEnd past the end
    std::uint8_t size; // bytes
    std::int16_t byte; // the byte it stands for, or -1
};

// Reads a unit of three or four bytes, or a byte outside any well-formed sequence, at `p`.
[[gnu::noinline]] Unit ReadLongUnit(const Byte* p, const Byte* end, bool final, bool& cut)
{
    const Lead lead = kLeads[p[0]];
    const Unit invalid { kNoCharacter, 1, -1 };
    if (lead.length == 0)
        return invalid;
    char32_t c = p[0] & (0x7F >> lead.length);
    for (int k = 1; k < lead.length; ++k) {
        if (p + k >= end) {
            cut |= !final;
            return invalid;
        }
        const Byte b = p[k];
        if (b < (k == 1 ? lead.low : 0x80) || b > (k == 1 ? lead.high : 0xBF))
            return invalid;
        c = (c << 6) | (b & 0x3F);
    }
    return { c, lead.length, std::int16_t(StandsFor(c)) };
}

// Reads the unit at `p`. At `end`, kEnd; `cut` is set where the bytes up to `end` cannot tell yet
// and more may come.
[[gnu::always_inline]] inline Unit ReadUnit(const Byte* p, const Byte* end, bool final, bool& cut)
{
    if (p >= end) {
        cut |= !final;
        return { kEnd, 0, -1 };
    }
    if (p[0] < 0x80)
        return { p[0], 1, p[0] };
    if (kLeads[p[0]].length == 2 && end - p >= 2 && (p[1] & 0xC0) == 0x80) {
        const char32_t c = char32_t(p[0] & 0x1F) << 6 | (p[1] & 0x3F);
        return { c, 2, std::int16_t(StandsFor(c)) };
    }
    return ReadLongUnit(p, end, final, cut);
}

// The units from a place on, read as the rules ask for them: never more than 8.
class Ahead
{
public:
    static constexpr int kReach = 8;

    Ahead(const Byte* p, const Byte* end, bool final)
        : m_end(end)
        , m_final(final)
    {
        m_at[0] = p;
    }

    const Unit& operator[](int k)
    {
        for (; m_read <= k; ++m_read) {
            m_units[m_read] = ReadUnit(m_at[m_read], m_end, m_final, m_cut);
            m_at[m_read + 1] = m_at[m_read] + m_units[m_read].size;
        }
        return m_units[k];
    }

    // Where unit `k` starts.
    const Byte* At(int k)
    {
        if (k > 0)
            (*this)[k - 1];
        return m_at[k];
    }

    const Byte* End() const { return m_end; }
    bool Final() const { return m_final; }
    // Set when some unit asked for lies past the bytes there are, and more may come.
    bool& Cut() { return m_cut; }

private:
    Unit m_units[kReach];
    const Byte* m_at[kReach + 1];
    int m_read = 0;
    const Byte* m_end;
    bool m_final;
    bool m_cut = false;
};

// The unit that ends at `q`, read backwards from the bytes at or after `begin`; sets `start`.
// The next round reads the output forwards, which comes to the same units: a well-formed
// character never starts with a continuation byte.
char32_t UnitBefore(const Byte* begin, const Byte* q, const Byte*& start)
{
    start = q - 1;
    if (q[-1] < 0x80)
        return q[-1];
    for (int k = 2; k <= 4 && q - k >= begin && q[-1] < 0xC0; ++k) {
        if ((q[-k] & 0xC0) == 0x80)
            continue;
        bool cut = false;
        const Unit unit = ReadUnit(q - k, q, true, cut);
        if (unit.size != k)
            break;
        start = q - k;
        return unit.c;
    }
    return kNoCharacter;
}

// What lies behind the place of a step: whether the previous step was a sequence, and the last
// three units the round wrote, [0] the last, read backwards from its output as the rules ask for
// them (those written before this chunk come from what the round kept).
class Behind
{
public:
    Behind(
        const Byte* begin, const Byte* w, const std::array<char32_t, 3>& kept, bool afterSequence)
        : m_begin(begin)
        , m_at(w)
        , m_kept(kept)
        , m_afterSequence(afterSequence)
    { }

    bool AfterSequence() const { return m_afterSequence; }

    char32_t operator[](int k)
    {
        for (; m_read <= k; ++m_read)
            m_units[m_read]
                = m_at > m_begin ? UnitBefore(m_begin, m_at, m_at) : m_kept[m_keptUsed++];
        return m_units[k];
    }

private:
    const Byte* m_begin;
    const Byte* m_at;
    const std::array<char32_t, 3>& m_kept;
    bool m_afterSequence;
    char32_t m_units[3];
    int m_read = 0;
    int m_keptUsed = 0;
};

// ---------------------------------------------------------------------------------------------
// The rules.

// The sequence rule 1 (or, with `spaceForA0`, rule 1b) reads from `p`: its units, the bytes they
// stand for, its character and the bytes it takes; `units` 0 when there is none.
struct Sequence
{
    int units = 0;
    Byte bytes[4];
    char32_t c;
    std::size_t size;
};

[[gnu::always_inline]] inline Sequence ReadSequence(
    const Byte* p, const Byte* end, bool final, bool& cut, bool spaceForA0 = false)
{
    const Unit first = ReadUnit(p, end, final, cut);
    const Lead lead = kLeads[first.byte & 0xFF];
    if (first.byte < 0xC2 || lead.length < 2)
        return {};
    Sequence s;
    s.bytes[0] = Byte(first.byte);
    s.c = char32_t(first.byte & (0x7F >> lead.length));
    const Byte* q = p + first.size;
    for (int i = 1; i < lead.length; ++i) {
        const Unit unit = ReadUnit(q, end, final, cut);
        const bool last = i == lead.length - 1;
        const int b = spaceForA0 && last ? (unit.c == ' ' ? 0xA0 : -1) : unit.byte;
        if (b < (i == 1 ? lead.low : 0x80) || b > (i == 1 ? lead.high : 0xBF))
            return {};
        s.bytes[i] = Byte(b);
        s.c = (s.c << 6) | char32_t(b & 0x3F);
        q += unit.size;
    }
    s.units = lead.length;
    s.size = std::size_t(q - p);
    return s;
}

// The rule 1 sequence from unit `k`, when it lies within reach.
Sequence SequenceAt(Ahead& ahead, int k)
{
    const Sequence s = ReadSequence(ahead.At(k), ahead.End(), ahead.Final(), ahead.Cut());
    return k + s.units <= Ahead::kReach ? s : Sequence {};
}

bool IsAllCapitalsCapital(char32_t c)
{
    return c < 0x100 && (Traits(c) & kCapital);
}

bool IsAsciiPunctuation(char32_t c)
{
    return c < 0x80 && !(c >= '0' && c <= '9') && !(c >= 'A' && c <= 'Z')
        && !(c >= 'a' && c <= 'z');
}

bool IsAsciiLetter(char32_t c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Whether a lone sequence's letter beyond Windows-1252 has support from its word.
bool LetterSupported(const Sequence& s, Ahead& ahead, Behind& behind)
{
    const std::uint8_t before = Traits(behind[0]);
    const bool capitalInWord
        = (before & kCapital) && (Traits(behind[1]) & (kCapital | kLower)) != 0;
    if ((Traits(ahead[s.units].c) & kLower) && !capitalInWord)
        return true;
    if (s.units == 2 && (Traits(s.c) & kLower) && (before & kLower))
        return true;
    int k = s.units;
    while (k < Ahead::kReach && IsAsciiLetter(ahead[k].c))
        ++k;
    const Sequence next = k < Ahead::kReach ? SequenceAt(ahead, k) : Sequence {};
    return next.units != 0 && (Traits(next.c) & kLetter1252);
}

// Whether a lone sequence whose character needs support has it.
bool Supported(const Sequence& s, std::uint8_t traits, Ahead& ahead, Behind& behind)
{
    if (traits & kBeyond1252)
        return LetterSupported(s, ahead, behind);
    return (traits & kMark) && (Traits(behind[0]) & (kCapital | kLower)) != 0;
}

// Rules 2 and 4 stand back in capitals ("SÃO", "IRMÃ E", "MÃ NOTÍCIA").
bool InCapitals(Ahead& ahead, Behind& behind)
{
    if (!IsAllCapitalsCapital(behind[0]))
        return false;
    if (IsAllCapitalsCapital(behind[1]))
        return true;
    if (behind[1] == ' ' && IsAllCapitalsCapital(behind[2]))
        return true;
    return IsAllCapitalsCapital(ahead[ahead[1].c == ' ' ? 2 : 1].c);
}

// What may follow a lone "Ã" for it to be "à": the end, "Â", "â" or ASCII punctuation.
bool EndsLoneAtilde(char32_t next)
{
    return next == kEnd || next == kAcirc || next == kAcircSmall || IsAsciiPunctuation(next);
}

// What a step does: take `consumed` input bytes and write `out` in their place, or copy them
// (`outSize` -1); `consumed` 0 when it needs bytes that have not come yet.
struct Step
{
    std::size_t consumed;
    int outSize;
    Byte out[4];
    bool sequence; // a rule 1 or 1b step
};

inline Step Replace(const Sequence& s)
{
    Step step { s.size, s.units, {}, true };
    std::memcpy(step.out, s.bytes, 4);
    return step;
}

Step Write(char32_t c, std::size_t consumed)
{
    // Only à and the no-break space are written this way.
    return { consumed, 2, { Byte(0xC0 | (c >> 6)), Byte(0x80 | (c & 0x3F)) }, false };
}

// The rules other than rule 1's for a common character: look-ahead and what was written.
[[gnu::noinline]] Step DecideFurther(const Sequence& s, Ahead& ahead, Behind& behind)
{
    // Rule 1: next to another sequence, or a character that has support from its word.
    if (s.units != 0) {
        const std::uint8_t traits = Traits(s.c);
        if (SequenceAt(ahead, s.units).units != 0
            || ((traits & kCommon) && Supported(s, traits, ahead, behind)))
            return Replace(s);
        return { s.size, -1, {}, true };
    }
    const Unit& first = ahead[0];
    // Rule 1b.
    if (first.c != kAtilde && first.c != kAcirc) {
        const Sequence lost
            = ReadSequence(ahead.At(0), ahead.End(), ahead.Final(), ahead.Cut(), true);
        const bool dagger = lost.units == 3 && first.c == kAcircSmall && ahead[1].c == 0x20AC; // â€
        if (lost.units != 0 && !dagger
            && ((lost.units >= 3 && (Traits(lost.c) & kCommon))
                || (lost.units == 2 && behind.AfterSequence())
                || SequenceAt(ahead, lost.units).units != 0))
            return Replace(lost);
    }
    // Rules 2 and 4.
    if (first.c == kAtilde) {
        const char32_t next = ahead[1].c;
        if ((next == ' ' || EndsLoneAtilde(next)) && !InCapitals(ahead, behind)) {
            if (next != ' ')
                return Write(0xE0, first.size); // à
            const char32_t after = ahead[2].c;
            const bool spaceGoes = EndsLoneAtilde(after) || (Traits(after) & kWhitespace);
            return Write(0xE0, first.size + (spaceGoes ? 1u : 0u)); // à
        }
    }
    // Rule 3.
    if (first.c == kAcirc && ahead[1].c == ' ' && behind[0] != kNothing
        && !(Traits(behind[0]) & kWhitespace))
        return Write(0xA0, first.size + 1u); // no-break space
    return { first.size, -1, {}, false };
}

// The step at `p`.
[[gnu::always_inline]] inline Step Decide(
    const Byte* p, const Byte* end, bool final, Behind& behind)
{
    Ahead ahead(p, end, final);
    const Sequence s = ReadSequence(p, end, final, ahead.Cut());
    // Rule 1 for a character that needs nothing else, which is nearly all damage.
    if (s.units != 0
        && (behind.AfterSequence() || (Traits(s.c) & (kCommon | kBeyond1252 | kMark)) == kCommon))
        return Replace(s);
    Step step = DecideFurther(s, ahead, behind);
    if (ahead.Cut())
        step.consumed = 0;
    return step;
}

// ---------------------------------------------------------------------------------------------
// Finding the places where a rule may apply.

// Whether a rule may apply at `p`: only where a character stands for a byte that may start a
// sequence (U+00C2 to U+00F4: C3 82 to C3 B4), and then only before one that may stand for a
// continuation byte (its first byte is C2, C5, C6, CB or E2: tested as C2 and up), or when it is
// "Â" or "Ã", or before a space when it may start a two-byte sequence (rule 1b). With fewer than
// three bytes left the step itself decides.
inline bool MayApply(const Byte* p, const Byte* end)
{
    if (p[0] != 0xC3)
        return false;
    if (end - p < 3)
        return true;
    const Byte second = p[1], third = p[2];
    if (second < 0x82 || second > 0xB4)
        return false;
    return second <= 0x83 || third >= 0xC2 || (third == ' ' && second <= 0x9F);
}

// Finds the places where a rule may apply. Every one starts with a C3 byte: the finder keeps the
// positions of those among 64 bytes, one bit each, and looks at each in turn. A round writes only
// behind the place it reads, so the bits stay true until it has passed them.
class SiteFinder
{
public:
    // The first place in [p, limit) where a rule may apply, or `limit`.
    Byte* Find(Byte* p, const Byte* limit, const Byte* end)
    {
        for (;;) {
            if (p - m_base >= 64 || p < m_base) {
                if (end - p < 64)
                    return FindNearEnd(p, limit, end);
                m_base = p;
                m_c3 = C3Bits(p);
            }
            for (std::uint64_t bits = m_c3 & (~std::uint64_t(0) << (p - m_base)); bits != 0;
                 bits &= bits - 1) {
                Byte* candidate = m_base + __builtin_ctzll(bits);
                if (candidate >= limit)
                    return const_cast<Byte*>(limit);
                if (MayApply(candidate, end))
                    return candidate;
            }
            p = m_base + 64;
            if (p >= limit)
                return const_cast<Byte*>(limit);
        }
    }

private:
    static std::uint64_t C3Bits(const Byte* p)
    {
        std::uint64_t bits = 0;
#if defined(__SSE2__)
        const __m128i c3 = _mm_set1_epi8(char(0xC3));
        for (int k = 0; k < 4; ++k) {
            const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
            bits |= std::uint64_t(unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(block, c3))))
                << (16 * k);
        }
#else
        for (int k = 0; k < 64; ++k)
            bits |= std::uint64_t(p[k] == 0xC3) << k;
#endif
        return bits;
    }

    static Byte* FindNearEnd(Byte* p, const Byte* limit, const Byte* end)
    {
        for (; p < limit; ++p) {
            p = static_cast<Byte*>(std::memchr(p, 0xC3, std::size_t(limit - p)));
            if (p == nullptr)
                break;
            if (MayApply(p, end))
                return p;
        }
        return const_cast<Byte*>(limit);
    }

    Byte* m_base = nullptr;
    std::uint64_t m_c3 = 0;
};

// Where the bytes before `end` may be cut without hiding a site: three bytes before it (enough for
// MayApply() to see one), moved back to the start of a character.
const Byte* CutBefore(const Byte* begin, const Byte* end)
{
    if (end - begin <= 3)
        return begin;
    const Byte* cut = end - 3;
    for (int k = 0; k < 3 && cut > begin && (*cut & 0xC0) == 0x80; ++k)
        --cut;
    return cut;
}

} // namespace

struct FullRepairer::Round
{
    Byte held[kMaxHeldPerRound];
    std::size_t heldSize = 0;
    std::array<char32_t, 3> lastWritten { kNothing, kNothing,
        kNothing }; // the last three units written
    bool afterSequence = false; // the last step was a sequence
    bool changed = false; // some step has changed the text since it began
};

namespace {

// While a round has changed nothing since the text began, the next one reads what it read and,
// from the same state, decides as it did: it copies the bytes it is given, but for the last 32,
// which the previous round decided by looking at bytes it holds and may still change. Returns
// where the copy may end: after an ASCII byte, which no sequence ends with, so that the step that
// follows is not after a sequence.
Byte* QuietEnd(Byte* begin, Byte* end, bool final)
{
    if (final)
        return end;
    for (Byte* at = end - 32; at > begin && at > end - 64; --at)
        if (at[-1] < 0x80)
            return at;
    return begin;
}

// One round over [begin, end), in place, copying [begin, quietEnd) unread: returns the end of its
// output, which starts at `begin`, and keeps in `round` the bytes it could not decide yet.
Byte* RunRound(Byte* begin, Byte* end, bool final, FullRepairer::Round& round, Byte* quietEnd)
{
    const Byte* limit = final ? end : CutBefore(begin, end);
    Byte* p = quietEnd;
    Byte* w = quietEnd;
    const Byte* sequenceEnd = round.afterSequence && quietEnd == begin ? begin : nullptr;
    SiteFinder finder;
    for (;;) {
        Byte* site = finder.Find(p, limit, end);
        if (site > p) {
            if (w != p)
                std::memmove(w, p, std::size_t(site - p));
            w += site - p;
            p = site;
        }
        if (p >= limit)
            break;
        Behind behind(begin, w, round.lastWritten, p == sequenceEnd);
        const Step step = Decide(p, end, final, behind);
        if (step.consumed == 0)
            break;
        if (step.outSize >= 0) {
            // Four bytes at once where they land on input already read (a rule 1 sequence takes
            // at least four); those past outSize are written over later.
            if (w + 4 <= p + step.consumed)
                std::memcpy(w, step.out, 4);
            else
                std::memcpy(w, step.out, std::size_t(step.outSize));
            w += step.outSize;
            round.changed = true;
        } else {
            if (w != p)
                std::memmove(w, p, step.consumed);
            w += step.consumed;
        }
        p += step.consumed;
        if (step.sequence)
            sequenceEnd = p;
    }
    Behind behind(begin, w, round.lastWritten, false);
    round.lastWritten = { behind[0], behind[1], behind[2] };
    round.afterSequence = p == sequenceEnd;
    round.heldSize = std::size_t(end - p);
    if (round.heldSize > sizeof round.held)
        throw std::logic_error("full repair: a round held back more than it may");
    std::memcpy(round.held, p, round.heldSize);
    return w;
}

constexpr std::size_t kRounds = 3;
constexpr std::size_t kHeadroom = kRounds * FullRepairer::kMaxHeldPerRound;

} // namespace

FullRepairer::FullRepairer(std::size_t readSize)
    : m_readSize(readSize == 0 ? 1 : readSize)
    , m_buffer(std::make_unique<Byte[]>(kHeadroom + m_readSize))
    , m_rounds(std::make_unique<Round[]>(kRounds))
{ }

FullRepairer::~FullRepairer() = default;

char* FullRepairer::ReadBuffer()
{
    return reinterpret_cast<char*>(m_buffer.get() + kHeadroom);
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
        m_rounds[r] = Round {};
    m_changed = false;
}

// Each round's held bytes go right before its input, in the headroom in front of the chunk: the
// first round's before the chunk, the second's before the first's output, and so on. A round's
// output never gets ahead of its input, so the three run in place.
std::string_view FullRepairer::Run(std::size_t size, bool final)
{
    if (size > m_readSize)
        throw std::invalid_argument("FullRepairer::Feed: chunk larger than the read size");
    Byte* begin = m_buffer.get() + kHeadroom;
    Byte* end = begin + size;
    for (std::size_t r = 0; r < kRounds; ++r) {
        Round& round = m_rounds[r];
        begin -= round.heldSize;
        std::memcpy(begin, round.held, round.heldSize);
        const bool previousChanged = r == 0 || m_rounds[r - 1].changed;
        end = RunRound(
            begin, end, final, round, previousChanged ? begin : QuietEnd(begin, end, final));
        m_changed |= round.changed;
    }
    return { reinterpret_cast<const char*>(begin), std::size_t(end - begin) };
}

std::string RepairFull(std::string_view text)
{
    constexpr std::size_t kChunk = 64 * 1024;
    FullRepairer repairer(kChunk);
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
