// SPDX-License-Identifier: MIT
#include "repair/full_repair.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <utility>

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

// The byte each character from `kFirst` on stands for, 0 for none: the characters U+0080 to
// U+00FF stand for bytes of the same value, and the 27 of Windows-1252 for 80-9F.
template <char32_t kFirst, std::size_t kSize> constexpr auto StandsForTable()
{
    std::array<Byte, kSize> bytes {};
    for (char32_t c = std::max<char32_t>(kFirst, 0x80); c <= 0xFF && c < kFirst + kSize; ++c)
        bytes[c - kFirst] = Byte(c);
    for (int i = 0; i < 32; ++i)
        if (kWindows1252[i] != 0 && kWindows1252[i] >= kFirst && kWindows1252[i] < kFirst + kSize)
            bytes[kWindows1252[i] - kFirst] = Byte(0x80 + i);
    return bytes;
}
// All characters of two bytes in UTF-8, and those of three that start with E2: every character
// but ASCII that stands for a byte is in one of them.
constexpr auto kStandsForTwoBytes = StandsForTable<0, 0x800>();
constexpr auto kStandsForE2 = StandsForTable<0x2000, 0x1000>();

// The byte `c` stands for, or -1.
constexpr int StandsFor(char32_t c)
{
    int b = 0;
    if (c < 0x80)
        return int(c);
    if (c < 0x800)
        b = kStandsForTwoBytes[c];
    else if (c >= 0x2000 && c < 0x3000)
        b = kStandsForE2[c - 0x2000];
    return b != 0 ? b : -1;
}

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
    { 0x0218, 0x021B, kCommon },
    { 0x02C6, 0x02C6, kCommon },
    { 0x02DC, 0x02DC, kCommon }, // Ș ș Ț ț ˆ ˜
    // The combining marks decomposed Latin text uses.
    { 0x0300, 0x0304, kCommon | kMark },
    { 0x0306, 0x030C, kCommon | kMark },
    { 0x030F, 0x030F, kCommon | kMark },
    { 0x0311, 0x0311, kCommon | kMark },
    { 0x031B, 0x031B, kCommon | kMark },
    { 0x0323, 0x0328, kCommon | kMark },
    { 0x032D, 0x032E, kCommon | kMark },
    { 0x0330, 0x0331, kCommon | kMark },
    // Modifier small letters (the ᵉ of 1ᵉʳ and XIXᵉ), Latin Extended Additional (Vietnamese),
    // punctuation, symbols and shapes, the ligatures ﬀ to ﬆ, the byte order mark, U+FFFD.
    { 0x1D43, 0x1D5B, kCommon },
    { 0x1D9C, 0x1DBF, kCommon },
    { 0x1E00, 0x1EFF, kCommon },
    { 0x2000, 0x2BFF, kCommon },
    { 0xFB00, 0xFB06, kCommon },
    { 0xFEFF, 0xFEFF, kCommon },
    { 0xFFFD, 0xFFFD, kCommon },
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

// Whether `c` is a Latin letter, and of which case: of U+0041-024F or U+1E00-1EFF.
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
    if (latinLetter && c >= 0xC0 && (c <= 0xFF || standsForByte))
        traits |= kLetter1252;
    if (latinLetter && (traits & kCommon) && c > 0xFF && !standsForByte)
        traits |= kBeyond1252;
    return traits;
}

// Code points below this, nearly all the text has, have their traits in a table.
constexpr char32_t kTabled = 0x2100;

constexpr std::array<std::uint8_t, kTabled> kTraitsTable = [] {
    std::array<std::uint8_t, kTabled> traits {};
    for (char32_t c = 0; c < kTabled; ++c)
        traits[c] = ComputeTraits(c);
    return traits;
}();

inline std::uint8_t Traits(char32_t c)
{
    return c < kTabled ? kTraitsTable[c] : ComputeTraits(c);
}

// ---------------------------------------------------------------------------------------------
// Reading the text.

constexpr char32_t kNoCharacter = 0x110000; // a byte outside any well-formed sequence
constexpr char32_t kNothing = 0x110001; // before the first unit written
constexpr char32_t kEnd = 0x110002; // after the last unit
constexpr char32_t kAtilde = 0xC3; // Ã
constexpr char32_t kAcirc = 0xC2; // Â
constexpr char32_t kAcircSmall = 0xE2; // â

// A unit of the text: a character, or a byte outside any well-formed sequence.
struct Unit
{
    char32_t c; // kNoCharacter for such a byte, kEnd past the end
    std::uint8_t size; // bytes
};

// Reads the unit at `p`. At `end`, kEnd; `cut` is set where the bytes up to `end` cannot tell yet
// and more may come.
inline Unit ReadUnit(const Byte* p, const Byte* end, bool final, bool& cut)
{
    if (p >= end) {
        cut |= !final;
        return { kEnd, 0 };
    }
    const Lead lead = kLeads[p[0]];
    if (lead.length == 1)
        return { p[0], 1 };
    const Unit invalid { kNoCharacter, 1 };
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
    return { c, lead.length };
}

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

// Where a unit is read: near the end of the bytes there are, where it may be cut, or well before
// it (16 bytes or more), where no check is needed.
enum class Where { NearEnd, WellBeforeEnd };

// The continuation byte (80 to BF) the unit at `q` stands for, or -1 for any other unit; sets
// `size` to the unit's length. Only U+0080 to U+00BF (C2 80 to C2 BF) and the characters
// Windows-1252 puts at 80-9F (whose first byte is C5, C6, CB or E2) stand for one.
template <Where kWhere>
[[gnu::always_inline]] inline int ContinuationAt(
    const Byte* q, const Byte* end, bool final, bool& cut, int& size)
{
    if (kWhere == Where::NearEnd && end - q < 3) {
        const Unit unit = ReadUnit(q, end, final, cut);
        const int b = StandsFor(unit.c);
        size = unit.size;
        return b >= 0x80 && b <= 0xBF ? b : -1;
    }
    const unsigned first = q[0], second = q[1];
    size = 2;
    if ((second & 0xC0) != 0x80)
        return -1;
    if (first == 0xC2)
        return int(second);
    int b = 0;
    if (first == 0xE2) {
        size = 3;
        if ((q[2] & 0xC0) == 0x80)
            b = kStandsForE2[(second & 0x3F) << 6 | (q[2] & 0x3F)];
    } else if ((first & 0xE0) == 0xC0) {
        b = kStandsForTwoBytes[(first & 0x1F) << 6 | (second & 0x3F)];
    }
    return b >= 0x80 && b <= 0xBF ? b : -1;
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
    std::uint32_t bytes; // the first in the lowest 8 bits
    char32_t c;
    std::size_t size;
};

// The byte the unit at `q` stands for in a sequence: a continuation byte, or with `space` the A0
// of rule 1b, which a plain space stands for there; -1 for anything else. Sets `size`.
template <Where kWhere>
[[gnu::always_inline]] inline int UnitOfSequence(
    const Byte* q, const Byte* end, bool final, bool& cut, bool space, int& size)
{
    if (!space)
        return ContinuationAt<kWhere>(q, end, final, cut, size);
    size = 1;
    cut |= q >= end && !final;
    return q < end && *q == ' ' ? 0xA0 : -1;
}

// Only U+00C2 to U+00F4 (C3 82 to C3 B4) stand for a byte that starts a sequence.
template <Where kWhere = Where::NearEnd>
[[gnu::always_inline]] inline Sequence ReadSequence(
    const Byte* p, const Byte* end, bool final, bool& cut, bool spaceForA0 = false)
{
    if (kWhere == Where::NearEnd && end - p < 2) {
        cut |= !final && (p == end || p[0] == 0xC3);
        return {};
    }
    if (p[0] != 0xC3 || p[1] < 0x82 || p[1] > 0xB4)
        return {};
    const Byte first = Byte(p[1] + 0x40);
    const Lead lead = kLeads[first];
    // Each further unit stands for a continuation byte, or is the space of rule 1b at the end.
    const Byte* q = p + 2;
    int size;
    const int second
        = UnitOfSequence<kWhere>(q, end, final, cut, spaceForA0 && lead.length == 2, size);
    if (second < lead.low || second > lead.high)
        return {};
    q += size;
    Sequence s;
    s.units = lead.length;
    s.bytes = first | std::uint32_t(second) << 8;
    s.c = char32_t(first & (0x7F >> lead.length)) << 6 | (second & 0x3F);
    for (int i = 2; i < lead.length; ++i) {
        const int b
            = UnitOfSequence<kWhere>(q, end, final, cut, spaceForA0 && i == lead.length - 1, size);
        if (b < 0x80 || b > 0xBF)
            return {};
        q += size;
        s.bytes |= std::uint32_t(b) << (8 * i);
        s.c = (s.c << 6) | char32_t(b & 0x3F);
    }
    s.size = std::size_t(q - p);
    return s;
}

// The rule 1 sequence from unit `k`, when it lies within reach.
Sequence SequenceAt(Ahead& ahead, int k)
{
    const Sequence s = ReadSequence(ahead.At(k), ahead.End(), ahead.Final(), ahead.Cut());
    return k + s.units <= Ahead::kReach ? s : Sequence {};
}

// Whether a rule 1 sequence starts right after sequence `s`, which starts the look-ahead (both lie
// within reach: they have four units at most).
bool SequenceFollows(Ahead& ahead, const Sequence& s)
{
    return ReadSequence(ahead.At(0) + s.size, ahead.End(), ahead.Final(), ahead.Cut()).units != 0;
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

// What a step does: take `consumed` input bytes and write the `outSize` bytes of `out` (the first
// in the lowest 8 bits) in their place, or copy them (`outSize` -1); `consumed` 0 when it needs
// bytes that have not come yet.
struct Step
{
    std::size_t consumed;
    int outSize;
    std::uint32_t out;
    bool sequence; // a rule 1 or 1b step
};

inline Step Replace(const Sequence& s)
{
    return { s.size, s.units, s.bytes, true };
}

Step Write(char32_t c, std::size_t consumed)
{
    // Only à and the no-break space are written this way.
    return { consumed, 2, (0xC0 | (c >> 6)) | (0x80 | (c & 0x3F)) << 8, false };
}

// Whether rule 1 replaces sequence `s` without looking further: after a sequence, or for a common
// character that needs no support. Nearly all damage is replaced so.
inline bool ReplacedAtOnce(const Sequence& s, bool afterSequence)
{
    return s.units != 0
        && (afterSequence || (Traits(s.c) & (kCommon | kBeyond1252 | kMark)) == kCommon);
}

// The rules, in their order, for the step at the start of `ahead`.
Step ApplyRules(Ahead& ahead, Behind& behind)
{
    // Rule 1.
    if (const Sequence s = SequenceAt(ahead, 0); s.units != 0) {
        const std::uint8_t traits = Traits(s.c);
        if (ReplacedAtOnce(s, behind.AfterSequence()) || SequenceFollows(ahead, s)
            || ((traits & kCommon) && Supported(s, traits, ahead, behind)))
            return Replace(s);
        return { s.size, -1, 0, true };
    }
    const Unit& first = ahead[0];
    // Rule 1b.
    if (first.c != kAtilde && first.c != kAcirc) {
        const Sequence lost
            = ReadSequence(ahead.At(0), ahead.End(), ahead.Final(), ahead.Cut(), true);
        const bool dagger = lost.units == 3 && first.c == kAcircSmall && ahead[1].c == 0x20AC; // â€
        if (lost.units != 0 && !dagger
            && ((lost.units >= 3 && (Traits(lost.c) & kCommon))
                || (lost.units == 2 && behind.AfterSequence()) || SequenceFollows(ahead, lost)))
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
    return { first.size, -1, 0, false };
}

// The step at `p`, where the previous step was a sequence when `afterSequence`; the round's output
// so far is [begin, w), after the units it kept from before.
[[gnu::noinline]] Step NextStep(const Byte* p, const Byte* end, bool final, bool afterSequence,
    const Byte* begin, const Byte* w, const std::array<char32_t, 3>& kept)
{
    Ahead ahead(p, end, final);
    Behind behind(begin, w, kept, afterSequence);
    Step step = ApplyRules(ahead, behind);
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

#if defined(__SSE2__)
// MayApply() for the 16 places from `p`, one bit each; reads 18 bytes.
inline unsigned MayApply16(const Byte* p)
{
    const auto load
        = [](const Byte* at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); };
    const auto all = [](int byte) { return _mm_set1_epi8(char(byte)); };
    // x <= y, unsigned.
    const auto atMost = [](__m128i x, __m128i y) { return _mm_cmpeq_epi8(_mm_min_epu8(x, y), x); };
    const __m128i first = load(p), second = _mm_sub_epi8(load(p + 1), all(0x82)),
                  third = load(p + 2);
    const __m128i lead = _mm_and_si128(_mm_cmpeq_epi8(first, all(0xC3)), atMost(second, all(0x32)));
    const __m128i follower
        = _mm_andnot_si128(_mm_cmpeq_epi8(third, all(0xC3)), atMost(all(0xC2), third));
    const __m128i before = _mm_or_si128(_mm_or_si128(atMost(second, all(0x01)), follower),
        _mm_and_si128(atMost(second, all(0x1D)), _mm_cmpeq_epi8(third, all(' '))));
    return unsigned(_mm_movemask_epi8(_mm_and_si128(lead, before)));
}
#endif

// Finds the places where a rule may apply, 64 bytes at a time: it keeps one bit for each of them,
// and since a round writes only behind the place it reads, the bits stay true until it has passed
// them.
class SiteFinder
{
public:
    // The first place in [p, limit) where a rule may apply, or `limit`.
    [[gnu::always_inline]] Byte* Find(Byte* p, const Byte* limit, const Byte* end)
    {
#if defined(__SSE2__)
        for (;;) {
            if (p - m_base >= 64 || p < m_base) {
                if (end - p < 66)
                    return FindNearEnd(p, limit, end);
                TakeWindow(p);
            }
            if (const std::uint64_t bits = m_sites & (~std::uint64_t(0) << (p - m_base))) {
                Byte* site = m_base + __builtin_ctzll(bits);
                return site < limit ? site : const_cast<Byte*>(limit);
            }
            p = m_base + 64;
            if (p >= limit)
                return const_cast<Byte*>(limit);
        }
#else
        return FindNearEnd(p, limit, end);
#endif
    }

private:
#if defined(__SSE2__)
    // Takes the 64 bytes from `p` as the window.
    void TakeWindow(Byte* p)
    {
        m_base = p;
        m_sites = std::uint64_t(MayApply16(p)) | std::uint64_t(MayApply16(p + 16)) << 16
            | std::uint64_t(MayApply16(p + 32)) << 32 | std::uint64_t(MayApply16(p + 48)) << 48;
    }
#endif

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
    std::uint64_t m_sites = 0;
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
    std::array<char32_t, 3> lastWritten { kNothing, kNothing, kNothing };
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

// Moves the `n` bytes at `from` down to `to`. Between two damaged characters lie a few bytes,
// moved as blocks of 32 when the output lags 32 bytes or more behind, so that no block reaches the
// bytes still to read; what a block writes past `to + n` is written over later.
inline void MoveDown(Byte* to, const Byte* from, std::size_t n, const Byte* end)
{
    if (from - to >= 32 && end - from >= std::ptrdiff_t(n) + 32) {
        std::size_t k = 0;
        do { // 32 bytes that do not overlap the 32 they come from
            std::memcpy(to + k, from + k, 32);
            k += 32;
        } while (k < n);
    } else if (to != from) {
        std::memmove(to, from, n);
    }
}

// Where a round is: it reads at `p` and writes at `w`; `sequenceEnd` is where the last sequence
// it took ended.
struct Place
{
    Byte* p;
    Byte* w;
    const Byte* sequenceEnd;
    bool changed; // some step has changed the text
};

// The round's common steps, from `at` on: copies up to each place where a rule may apply, and
// takes rule 1 there when it replaces the sequence at once; stops at the first place where the
// other rules must decide, or at `limit`. Nearly all the text goes through here, with nothing
// else to keep in registers.
[[gnu::noinline]] Place Sweep(
    Place at, const Byte* limit, const Byte* end, bool final, SiteFinder& found)
{
    Byte* p = at.p;
    Byte* w = at.w;
    const Byte* sequenceEnd = at.sequenceEnd;
    bool changed = at.changed;
    SiteFinder finder = found;
    for (;;) {
        // A step may end past `limit`: then there is nothing to move.
        Byte* site = p < limit ? finder.Find(p, limit, end) : p;
        MoveDown(w, p, std::size_t(site - p), end);
        w += site - p;
        p = site;
        if (p >= limit || end - p < 16)
            break;
        bool cut = false;
        const Sequence s = ReadSequence<Where::WellBeforeEnd>(p, end, final, cut);
        // Rule 1 also takes a sequence another one follows (the first letter of a Greek word).
        if (!ReplacedAtOnce(s, p == sequenceEnd)
            && (s.units == 0 || end - (p + s.size) < 16
                || ReadSequence<Where::WellBeforeEnd>(p + s.size, end, final, cut).units == 0))
            break;
        Byte out[4];
        for (int k = 0; k < 4; ++k)
            out[k] = Byte(s.bytes >> (8 * k));
        std::memcpy(w, out, 4); // over the four or more bytes it takes
        w += s.units;
        p += s.size;
        sequenceEnd = p;
        changed = true;
    }
    found = finder;
    return { p, w, sequenceEnd, changed };
}

// One round over [begin, end), in place, copying [begin, quietEnd) unread: returns the end of its
// output, which starts at `begin`, and keeps in `round` the bytes it could not decide yet.
Byte* RunRound(Byte* begin, Byte* end, bool final, FullRepairer::Round& round, Byte* quietEnd)
{
    const Byte* limit = final ? end : CutBefore(begin, end);
    Place at { quietEnd, quietEnd, round.afterSequence && quietEnd == begin ? begin : nullptr,
        round.changed };
    SiteFinder finder;
    for (;;) {
        at = Sweep(at, limit, end, final, finder);
        if (at.p >= limit)
            break;
        const Step step
            = NextStep(at.p, end, final, at.p == at.sequenceEnd, begin, at.w, round.lastWritten);
        if (step.consumed == 0)
            break;
        if (step.outSize >= 0) {
            Byte out[4];
            for (int k = 0; k < step.outSize; ++k)
                out[k] = Byte(step.out >> (8 * k));
            std::memcpy(at.w, out, std::size_t(step.outSize));
            at.w += step.outSize;
            at.changed = true;
        } else {
            if (at.w != at.p)
                std::memmove(at.w, at.p, step.consumed);
            at.w += step.consumed;
        }
        at.p += step.consumed;
        if (step.sequence)
            at.sequenceEnd = at.p;
    }
    round.changed = at.changed;
    Behind behind(begin, at.w, round.lastWritten, false);
    round.lastWritten = { behind[0], behind[1], behind[2] };
    round.afterSequence = at.p == at.sequenceEnd;
    round.heldSize = std::size_t(end - at.p);
    if (round.heldSize > sizeof round.held)
        throw std::logic_error("full repair: a round held back more than it may");
    std::memcpy(round.held, at.p, round.heldSize);
    return at.w;
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
