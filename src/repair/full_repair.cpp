// SPDX-License-Identifier: MIT
#include "repair/full_repair.h"

#include <algorithm>
#include <array>
#include <bit>
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

// The continuation byte (80 to BF) each character that stands for one stands for, 0 for the
// others: U+0080 to U+00BF stand for the byte of the same value (C2 80 to C2 BF), the 27
// characters of Windows-1252 at 80-9F for theirs (two bytes from C5 up, or three from E2 up).
// Keyed by the last two bytes of the character's UTF-8 form, the first in the low 8 bits, with
// 1 << 16 added for a character of three bytes: any two bytes have an entry in each half, so that
// bytes read at random need no check before they are looked up.
constexpr unsigned ContinuationKey(char32_t c)
{
    if (c < 0x800)
        return (0xC0 | c >> 6) | (0x80 | (c & 0x3F)) << 8;
    return (0x80 | (c >> 6 & 0x3F)) | (0x80 | (c & 0x3F)) << 8 | 1 << 16;
}

constexpr auto kContinuations = [] {
    std::array<Byte, 0x20000> bytes {};
    for (char32_t c = 0x80; c <= 0xBF; ++c)
        bytes[ContinuationKey(c)] = Byte(c);
    for (int i = 0; i < 32; ++i)
        if (kWindows1252[i] != 0)
            bytes[ContinuationKey(kWindows1252[i])] = Byte(0x80 + i);
    return bytes;
}();

// The byte `c` stands for, or -1: U+0000 to U+00FF stand for the byte of the same value.
constexpr int StandsFor(char32_t c)
{
    if (c <= 0xFF)
        return int(c);
    const bool keyed = c < 0x800 || (c >= 0x2000 && c < 0x3000);
    const int b = keyed ? kContinuations[ContinuationKey(c)] : 0;
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
    kAlone = 128, // common and needing no support: a lone sequence that encodes it is repaired
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
    if ((traits & (kCommon | kBeyond1252 | kMark)) == kCommon)
        traits |= kAlone;
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

constexpr std::uint8_t Traits(char32_t c)
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
Unit ReadUnit(const Byte* p, const Byte* end, bool final, bool& cut)
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

    // The bytes of units [first, last).
    std::size_t Bytes(int first, int last)
    {
        (*this)[last - 1];
        return std::size_t(m_at[last] - m_at[first]);
    }

    // Whether some unit asked for lies past the bytes there are, and more may come.
    bool Cut() const { return m_cut; }

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

// Units that stand for the bytes of one complete, well-formed UTF-8 sequence: how many, the bytes
// (the first in the lowest 8 bits), the character they encode and the bytes the units take.
struct Sequence
{
    int units = 0; // 0: no sequence
    std::uint32_t bytes = 0;
    char32_t c = 0;
    std::size_t size = 0;
};

// The sequence whose units start at unit `k`, when it lies within reach; with `spaceForA0`, its
// last unit is the plain space that stands for an A0 byte in rule 1b.
Sequence SequenceAt(Ahead& ahead, int k, bool spaceForA0 = false)
{
    const int first = StandsFor(ahead[k].c);
    const Lead lead = kLeads[first < 0 ? 0 : first];
    if (lead.length < 2 || k + lead.length > Ahead::kReach)
        return {};
    Sequence s { lead.length, std::uint32_t(first), char32_t(first & (0x7F >> lead.length)), 0 };
    for (int i = 1; i < lead.length; ++i) {
        const char32_t c = ahead[k + i].c;
        const int b = spaceForA0 && i == lead.length - 1 ? (c == ' ' ? 0xA0 : -1) : StandsFor(c);
        if (b < (i == 1 ? lead.low : 0x80) || b > (i == 1 ? lead.high : 0xBF))
            return {};
        s.bytes |= std::uint32_t(b) << (8 * i);
        s.c = (s.c << 6) | char32_t(b & 0x3F);
    }
    s.size = ahead.Bytes(k, k + lead.length);
    return s;
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

Step Replace(const Sequence& s)
{
    return { s.size, s.units, s.bytes, true };
}

Step Write(char32_t c, std::size_t consumed)
{
    // Only à and the no-break space are written this way.
    return { consumed, 2, (0xC0 | (c >> 6)) | (0x80 | (c & 0x3F)) << 8, false };
}

// The rules, in their order, for the step at the start of `ahead`.
Step ApplyRules(Ahead& ahead, Behind& behind)
{
    // Rule 1.
    if (const Sequence s = SequenceAt(ahead, 0); s.units != 0) {
        const std::uint8_t traits = Traits(s.c);
        if (behind.AfterSequence() || (traits & kAlone) || SequenceAt(ahead, s.units).units != 0
            || ((traits & kCommon) && Supported(s, traits, ahead, behind)))
            return Replace(s);
        return { s.size, -1, 0, true };
    }
    const Unit& first = ahead[0];
    // Rule 1b.
    if (first.c != kAtilde && first.c != kAcirc) {
        const Sequence lost = SequenceAt(ahead, 0, true);
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
// continuation byte (its first byte is C2, C5, C6, CB or E2: tested as C2 and up but C3), or when
// it is "Â" or "Ã", or before a space when it may start a two-byte sequence (rule 1b). Only the
// first byte is checked to be C3, not the second: other places pass ("ù" before "…"), where the
// steps copy. With fewer than three bytes left the step itself decides.
inline bool MayApply(const Byte* p, const Byte* end)
{
    if (p[0] != 0xC3)
        return false;
    if (end - p < 3)
        return true;
    const unsigned second = p[1] - 0x82u, third = p[2];
    return second <= 1 || (third >= 0xC2 && third != 0xC3)
        || (third == ' ' && second <= 0x9F - 0x82);
}

#if defined(__SSE2__)
// MayApply() for the 16 places from `p`, one bit each; reads 18 bytes.
inline unsigned MayApply16(const Byte* p)
{
    const auto load
        = [](const Byte* at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); };
    const auto all = [](int byte) { return _mm_set1_epi8(char(byte)); };
    const __m128i second = load(p + 1), third = load(p + 2);
    // "Â" or "Ã": the second byte is 82 or 83.
    const __m128i aCircumflexOrTilde = _mm_cmpeq_epi8(_mm_and_si128(second, all(0xFE)), all(0x82));
    // From C2 up (the sum saturates at FF), but C3.
    const __m128i follower = _mm_andnot_si128(_mm_cmpeq_epi8(third, all(0xC3)),
        _mm_cmpeq_epi8(_mm_adds_epu8(third, all(0xFF - 0xC2)), all(0xFF)));
    // A space after "Â" to "ß" (second byte 82 to 9F: at most 9F).
    const __m128i beforeSpace = _mm_and_si128(
        _mm_cmpeq_epi8(third, all(' ')), _mm_cmpeq_epi8(_mm_min_epu8(second, all(0x9F)), second));
    const __m128i before = _mm_or_si128(_mm_or_si128(aCircumflexOrTilde, follower), beforeSpace);
    return unsigned(_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(load(p), all(0xC3)), before)));
}
#endif

// The first place in [p, limit) where a rule may apply, or `limit`: 16 places at a time, with
// SSE2, while the 18 bytes they need are there.
inline Byte* FindSite(Byte* p, const Byte* limit, const Byte* end)
{
#if defined(__SSE2__)
    if (end - p >= 18) {
        const Byte* const last = std::min<const Byte*>(limit, end - 17);
        for (; p < last; p += 16) {
            if (const unsigned bits = MayApply16(p)) {
                Byte* site = p + __builtin_ctz(bits);
                return site < limit ? site : const_cast<Byte*>(limit);
            }
        }
    }
#endif
    for (; p < limit; ++p) {
        p = static_cast<Byte*>(std::memchr(p, 0xC3, std::size_t(limit - p)));
        if (p == nullptr)
            break;
        if (MayApply(p, end))
            return p;
    }
    return const_cast<Byte*>(limit);
}

// ---------------------------------------------------------------------------------------------
// Steps read straight from the bytes, where the rules need not look around: most of them.

// The continuation byte the unit at `q` stands for, or 0, read straight from the bytes; sets `size`
// to its length when it stands for one (2 or 3). Without branches: damaged text mixes both lengths
// at random.
[[gnu::always_inline]] inline unsigned ContinuationAt(const Byte* q, unsigned& size)
{
    const unsigned e2 = q[0] == 0xE2;
    std::uint16_t lastTwo;
    std::memcpy(&lastTwo, q + e2, 2);
    if constexpr (std::endian::native != std::endian::little)
        lastTwo = __builtin_bswap16(lastTwo);
    size = 2 + e2;
    return kContinuations[lastTwo | e2 << 16];
}

// The sequence whose units start at `p`, read straight from the bytes, 14 of them at most: its
// first unit is "C3 82" to "C3 B4" (U+00C2 to U+00F4, the characters that stand for a byte that
// starts a sequence), each further one stands for a continuation byte.
inline Sequence SequenceFromBytes(const Byte* p)
{
    if (p[0] != 0xC3 || p[1] < 0x82 || p[1] > 0xB4)
        return {};
    const Byte first = Byte(p[1] + 0x40);
    if (first <= 0xDF) {
        // Two units, the second for any continuation byte: one look-up (most letters of Greek
        // and Russian words).
        unsigned size;
        const unsigned b = ContinuationAt(p + 2, size);
        if (b == 0)
            return {};
        return { 2, first | b << 8, char32_t(first & 0x1F) << 6 | (b & 0x3F), 2 + size };
    }
    const Lead lead = kLeads[first];
    Sequence s { lead.length, first, char32_t(first & (0x7F >> lead.length)), 2 };
    for (int i = 1; i < lead.length; ++i) {
        unsigned size;
        const unsigned b = ContinuationAt(p + s.size, size);
        if (b < (i == 1 ? lead.low : 0x80u) || b > (i == 1 ? lead.high : 0xBFu))
            return {};
        s.size += size;
        s.bytes |= b << (8 * i);
        s.c = (s.c << 6) | (b & 0x3F);
    }
    return s;
}

// Whether a lone sequence at `p` whose letter is beyond Windows-1252 has support from its word, as
// LetterSupported() decides, read straight from the bytes where the units on both sides are ASCII
// (nearly always: such a letter stands among the letters of a Latin word): 1 yes, 0 no, -1 when
// the rules must read further. The round's output so far is [begin, w) in this chunk.
int LetterSupportedFromBytes(const Sequence& s, const Byte* p, const Byte* begin, const Byte* w)
{
    const unsigned next = p[s.size], before = w > begin ? w[-1] : 0x80;
    if (next >= 0x80 || before >= 0x80)
        return -1;
    if (next >= 'a' && next <= 'z') {
        if (!(before >= 'A' && before <= 'Z'))
            return 1;
        // After a capital, the unit before it tells; after a capital within a word, further
        // letters may.
        if (w - begin < 2 || w[-2] >= 0x80 || IsAsciiLetter(w[-2]))
            return -1;
        return 1;
    }
    if (s.units == 2 && (Traits(s.c) & kLower) && before >= 'a' && before <= 'z')
        return 1;
    // Another sequence counts only after ASCII letters.
    return IsAsciiLetter(next) ? -1 : 0;
}

// The step at `p`, a C3 byte 32 bytes or more before the end, when the sequences there decide it;
// `consumed` 0 when the rules must look around; the round's output so far is [begin, w) in this
// chunk. Rule 1 replaces a sequence after or before another one, or whose character needs no
// support, copies one whose character is not common, and decides most letters beyond
// Windows-1252 from their neighbours. A unit that starts no sequence, of rule 1 or 1b, is copied
// (sound text has many: "é" before "…"), but for "Â" and "Ã" (rules 2 to 4); "Ä" to "ß" before a
// space start a two-byte sequence of rule 1b, replaced after or before another sequence.
Step StepFromBytes(const Byte* p, bool afterSequence, const Byte* begin, const Byte* w)
{
    if (const Sequence s = SequenceFromBytes(p); s.units != 0) {
        const std::uint8_t traits = Traits(s.c);
        if (afterSequence || (traits & kAlone) || SequenceFromBytes(p + s.size).units != 0)
            return Replace(s);
        if (traits & kBeyond1252) {
            if (const int supported = LetterSupportedFromBytes(s, p, begin, w); supported >= 0)
                return supported ? Replace(s) : Step { s.size, -1, 0, true };
        }
        return { traits & kCommon ? 0 : s.size, -1, 0, true };
    }
    const unsigned second = p[1]; // the byte the unit stands for, less 0x40
    if (second < 0x80 || second > 0xBF) // C3 alone is no character
        return { 1, -1, 0, false };
    if (second < 0x82 || second > 0xB4) // "À", "Á", "õ" to "ÿ": no sequence starts with them
        return { 2, -1, 0, false };
    if (second < 0x84 || second > 0xAF) // "Â" and "Ã", sequences of four bytes
        return {};
    if (second <= 0x9F && p[2] == ' ') {
        if (afterSequence || SequenceFromBytes(p + 3).units != 0)
            return { 3, 2, (second + 0x40) | 0xA0 << 8, true };
        return { 2, -1, 0, false };
    }
    const Lead lead = kLeads[second + 0x40];
    unsigned size;
    const unsigned next = ContinuationAt(p + 2, size);
    if (second >= 0xA0 && next >= lead.low && next <= lead.high && p[2 + size] == ' ')
        return {};
    return { 2, -1, 0, false };
}

// The lone sequences of two or three units that rule 1 replaces whatever surrounds them, by their
// first unit, "Â" to "ï" (C3 82 to C3 AF), and the byte their second stands for: bit b & 0x3F of
// entry s says whether a sequence whose first unit is C3 s and whose second byte is b is
// well-formed so far and encodes a character that needs no support, whatever its third byte when
// it has three (only the E2 sequences, U+2000 to U+2BFF, among those).
constexpr auto kAloneSequences = [] {
    std::array<std::uint64_t, 256> bits {};
    for (int unit = 0x82; unit <= 0xAF; ++unit) {
        const Lead lead = kLeads[unit + 0x40];
        for (int second = lead.low; second <= lead.high; ++second) {
            const char32_t c
                = char32_t((unit + 0x40) & (0x7F >> lead.length)) << 6 | (second & 0x3F);
            bool alone = true;
            for (int third = 0x80; alone && third <= (lead.length == 3 ? 0xBF : 0x80); ++third)
                alone = Traits(lead.length == 3 ? c << 6 | (third & 0x3F) : c) & kAlone;
            bits[unit] |= std::uint64_t(alone) << (second & 0x3F);
        }
    }
    return bits;
}();

// Writes the 4 bytes of `bytes` at `w`, the first from the lowest 8 bits, with one store.
inline void WriteFour(Byte* w, std::uint32_t bytes)
{
    if constexpr (std::endian::native != std::endian::little)
        bytes = __builtin_bswap32(bytes);
    std::memcpy(w, &bytes, 4);
}

// Rule 1 for a lone sequence of two or three units that it replaces whatever surrounds it, read
// straight from the bytes at `p`, 8 of them at most: writes the character at `w` (4 bytes, over
// those it takes) and returns the bytes it takes, with `written` the bytes of the character; 0
// for anything else. Nearly all damage in French prose is replaced here.
[[gnu::always_inline]] inline unsigned ReplaceAlone(const Byte* p, Byte* w, unsigned& written)
{
    // Without branches, but the one at the end: damaged text mixes the forms at random.
    const unsigned unit = p[1]; // p[0] is C3
    unsigned size1, size2;
    const unsigned second = ContinuationAt(p + 2, size1);
    const unsigned third = ContinuationAt(p + 2 + size1, size2);
    const unsigned three = unit >= 0xA0;
    // Both bytes are continuation bytes (from 80 up), or the second when there is no third.
    const unsigned formed = (second & (three ? third : 0x80)) >> 7;
    if (!(unsigned(kAloneSequences[unit] >> (second & 0x3F)) & formed))
        return 0;
    WriteFour(w, (unit + 0x40) | second << 8 | third << 16);
    written = 2 + three;
    return 2 + size1 + (size2 & (0u - three));
}

// ---------------------------------------------------------------------------------------------
// Dense damage.

// Where C3 bytes are among the 64 from `p`, one bit each.
inline std::uint64_t FindC3(const Byte* p)
{
#if defined(__SSE2__)
    const __m128i c3 = _mm_set1_epi8(char(0xC3));
    std::uint64_t bits = 0;
    for (int k = 0; k < 64; k += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k));
        bits |= std::uint64_t(unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(block, c3)))) << k;
    }
    return bits;
#else
    std::uint64_t bits = 0;
    for (int k = 0; k < 64; ++k)
        bits |= std::uint64_t(p[k] == 0xC3) << k;
    return bits;
#endif
}

// Moves up to 64 bytes at `from` down to `to`, 64 or more bytes below, as one block loaded before
// it is stored: it never reaches the bytes still to read, and what it writes past the bytes moved
// is written over later.
inline void MoveBlock(Byte* to, const Byte* from)
{
#if defined(__SSE2__)
    const auto load
        = [from](int k) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + k)); };
    const auto store
        = [to](int k, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(to + k), v); };
    const __m128i a = load(0), b = load(16), c = load(32), d = load(48);
    store(0, a);
    store(16, b);
    store(32, c);
    store(48, d);
#else
    Byte block[64];
    std::memcpy(block, from, 64);
    std::memcpy(to, block, 64);
#endif
}

// Moves the `n` bytes at `from`, 128 at most, down to `to`, 64 or more bytes below, as blocks of
// 64.
inline void MoveDownBy64(Byte* to, const Byte* from, std::ptrdiff_t n)
{
    MoveBlock(to, from);
    if (n > 64)
        MoveBlock(to + 64, from + 64);
}

// Repairs a stretch of dense damage, right after ReplaceAlone() has replaced a sequence, while the
// output lags 64 bytes or more behind: takes the text 128 bytes at a time, finds their C3 bytes at
// once and, from one to the next, moves the bytes between and lets ReplaceAlone() replace the
// sequence there (no C3 byte lies inside one). Hands back at the first C3 byte where it cannot,
// returning true, or near `stop`, 160 bytes or more before the end. Where damage is dense (a C3
// byte every 17 bytes in French prose damaged once) this spares each its look for a site, and the
// processor need not wait for one sequence to be read to start on the next.
inline bool RepairDamagedRun(Byte*& pAt, Byte*& wAt, const Byte*& sequenceEndAt, const Byte* stop)
{
    // Locals: the stores through `w` could otherwise alias them.
    Byte* p = pAt;
    Byte* w = wAt;
    const Byte* sequenceEnd = sequenceEndAt;
    bool stopped = false;
    while (stop - p >= 128) {
        Byte* const base = p;
        // The C3 bytes of 128 bytes, taken in order without a branch between the two halves: a
        // branch that ends a loop of a random number of sites is mispredicted about once a loop.
        std::uint64_t low = FindC3(base), high = FindC3(base + 64);
        while ((low | high) != 0) {
            const std::uint64_t inHigh = 0 - std::uint64_t(low == 0); // all ones once low is done
            Byte* const site = base + (inHigh & 64) + __builtin_ctzll(low | (high & inHigh));
            high &= ~inHigh | (high - 1);
            low &= low - 1;
            MoveDownBy64(w, p, site - p);
            w += site - p;
            p = site;
            unsigned written;
            const unsigned taken = ReplaceAlone(p, w, written);
            if (taken == 0) {
                stopped = true;
                goto done;
            }
            w += written;
            p += taken;
            sequenceEnd = p;
        }
        // Up to the end of the 128 bytes, which a sequence may have passed.
        const std::ptrdiff_t rest = std::max<std::ptrdiff_t>(base + 128 - p, 0);
        MoveDownBy64(w, p, rest);
        w += rest;
        p += rest;
    }
done:
    pAt = p;
    wAt = w;
    sequenceEndAt = sequenceEnd;
    return stopped;
}

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

// One round over [begin, end), in place, copying [begin, start) unread: returns the end of its
// output, which starts at `begin`, and keeps in `round` the bytes it could not decide yet.
Byte* RunRound(Byte* begin, Byte* end, bool final, FullRepairer::Round& round, Byte* start)
{
    const Byte* limit = final ? end : CutBefore(begin, end);
    Byte* p = start;
    Byte* w = start;
    const Byte* sequenceEnd = round.afterSequence && start == begin ? begin : nullptr;
    bool changed = round.changed;
    const Byte* runStop = end - begin > 160 ? std::min<const Byte*>(limit, end - 160) : begin;
    // Whether the next step is taken at `p`, a C3 byte 32 bytes or more before the end (so before
    // `limit`), without looking for a site or trying ReplaceAlone() there: where the run of dense
    // damage handed back, and right after a sequence (a damaged Greek or Russian word).
    bool stepHere = false;
    for (;;) {
        if (!stepHere) {
            // A step may end past `limit`: then there is nothing to move.
            Byte* site = p < limit ? FindSite(p, limit, end) : p;
            if (w != p)
                std::memmove(w, p, std::size_t(site - p));
            w += site - p;
            p = site;
            if (p >= limit)
                break;
            // Most steps are decided by the sequences at hand; nearly all damage is replaced
            // whatever surrounds it.
            if (end - p >= 32) {
                unsigned written;
                if (const unsigned taken = ReplaceAlone(p, w, written)) {
                    w += written;
                    p += taken;
                    sequenceEnd = p;
                    changed = true;
                    if (p - w >= 64)
                        stepHere = RepairDamagedRun(p, w, sequenceEnd, runStop);
                    continue;
                }
            }
        }
        if (stepHere && p == sequenceEnd) {
            // Within a word of damaged letters (Greek, Russian), each sequence right after another
            // is replaced whatever it encodes. Its units take 4 bytes or more, so the character's
            // 4-byte store stays over them.
            while (end - p >= 32) {
                Sequence s = SequenceFromBytes(p);
                if (s.units == 0) {
                    // A space between two such words is copied, and the next word's first
                    // sequence replaced at once when another follows it.
                    if (p[0] != ' ')
                        break;
                    s = SequenceFromBytes(p + 1);
                    if (s.units == 0 || SequenceFromBytes(p + 1 + s.size).units == 0)
                        break;
                    *w++ = ' ';
                    ++p;
                }
                WriteFour(w, s.bytes);
                w += s.units;
                p += s.size;
                changed = true;
            }
            sequenceEnd = p;
            if (p[0] != 0xC3) {
                stepHere = false;
                continue;
            }
        }
        Step step {};
        if (end - p >= 32)
            step = StepFromBytes(p, p == sequenceEnd, begin, w);
        if (step.consumed == 0)
            step = NextStep(p, end, final, p == sequenceEnd, begin, w, round.lastWritten);
        if (step.consumed == 0)
            break;
        if (step.outSize >= 0) {
            // One store where the four bytes stay over those the step takes.
            if (p + step.consumed - w >= 4)
                WriteFour(w, step.out);
            else
                for (int k = 0; k < step.outSize; ++k)
                    w[k] = Byte(step.out >> (8 * k));
            w += step.outSize;
            changed = true;
        } else {
            if (w != p)
                std::memmove(w, p, step.consumed);
            w += step.consumed;
        }
        p += step.consumed;
        if (step.sequence)
            sequenceEnd = p;
        stepHere = step.sequence && end - p >= 32 && p[0] == 0xC3;
    }
    round.changed = changed;
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
static_assert(FullRepairer::kHeadroom == kRounds * FullRepairer::kMaxHeldPerRound);

} // namespace

// The buffer is not zeroed: a repair reads only the bytes it was given and those it held back, so
// the pages no read reaches are never touched.
FullRepairer::FullRepairer(std::size_t readSize)
    : m_readSize(readSize == 0 ? 1 : readSize)
    , m_buffer(std::make_unique_for_overwrite<Byte[]>(kHeadroom + m_readSize))
    , m_rounds(std::make_unique<Round[]>(kRounds))
{ }

FullRepairer::~FullRepairer() = default;

char* FullRepairer::ReadBuffer()
{
    return reinterpret_cast<char*>(m_buffer.get() + kHeadroom);
}

std::string_view FullRepairer::Feed(std::size_t size)
{
    if (size > m_readSize)
        throw std::invalid_argument("FullRepairer::Feed: chunk larger than the read size");
    return Run(m_buffer.get() + kHeadroom, size, false);
}

std::string_view FullRepairer::FeedInPlace(char* chunk, std::size_t size)
{
    return Run(reinterpret_cast<Byte*>(chunk), size, false);
}

std::string_view FullRepairer::Finish()
{
    return Run(m_buffer.get() + kHeadroom, 0, true);
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
std::string_view FullRepairer::Run(Byte* chunk, std::size_t size, bool final)
{
    Byte* begin = chunk;
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

std::size_t FindCut(std::string_view text, std::size_t from)
{
    constexpr std::size_t kBefore = 16, kAfter = 3;
    std::size_t ascii = 0; // ASCII bytes right before `at`
    for (std::size_t at = from >= kBefore ? from - kBefore : 0; at < text.size(); ++at) {
        ascii = static_cast<unsigned char>(text[at]) < 0x80 ? ascii + 1 : 0;
        if (ascii >= kBefore + kAfter && at + 1 - kAfter >= from)
            return at + 1 - kAfter;
    }
    return text.size();
}

} // namespace orvik
