// Vector kernels for x86-64, compiled for SSSE3 and AVX2 through target attributes so that the
// rest of the program keeps the baseline instruction set; the dispatcher picks one at run time.
//
// Every lead is repaired independently of the others: a follower is never a lead, so whether the
// code unit at i is dropped depends only on the units at i - 1 and i. A block of code units is
// therefore repaired in one go: each lead lane takes its letter (its follower + 0x40, or "à"),
// the lanes right after a lead with a table follower are dropped, and a byte shuffle packs the
// kept lanes to the front before the whole vector is stored. Blocks without a lead are stored as
// they are.
#include "repair/repair_kernels.h"

#if ORVIK_HAVE_X86_KERNELS

#include "repair/repair_table.h"

#include <array>
#include <cstdint>
#include <immintrin.h>

namespace orvik::detail {
namespace {

// For each 8-bit mask of lanes to drop, the pshufb control that moves the kept 16-bit lanes of a
// 128-bit vector to the front, in order, and how many lanes that keeps.
struct CompactTable
{
    alignas(16) std::array<std::array<std::uint8_t, 16>, 256> shuffle {};
    std::array<std::uint8_t, 256> kept {};
};

constexpr CompactTable MakeCompactTable()
{
    CompactTable table;
    for (unsigned mask = 0; mask < 256; ++mask) {
        unsigned n = 0;
        for (unsigned lane = 0; lane < 8; ++lane) {
            if (mask & (1u << lane))
                continue;
            table.shuffle[mask][2 * n] = std::uint8_t(2 * lane);
            table.shuffle[mask][2 * n + 1] = std::uint8_t(2 * lane + 1);
            ++n;
        }
        for (unsigned rest = 2 * n; rest < 16; ++rest)
            table.shuffle[mask][rest] = 0x80; // zero: these bytes are overwritten later
        table.kept[mask] = std::uint8_t(n);
    }
    return table;
}

constexpr CompactTable kCompact = MakeCompactTable();

// Scalar finish for the last code units, which are too few for a full block and its lookahead.
std::size_t Finish(const char16_t* in, const char16_t* end, char16_t* start, char16_t* o)
{
    return std::size_t(o - start) + RepairScalar(in, std::size_t(end - in), o);
}

__attribute__((target("ssse3"))) inline __m128i FollowerMask(__m128i next)
{
    __m128i hit = _mm_cmpeq_epi16(next, _mm_set1_epi16(short(kFollowers[0])));
    for (std::size_t k = 1; k < kFollowers.size(); ++k)
        hit = _mm_or_si128(hit, _mm_cmpeq_epi16(next, _mm_set1_epi16(short(kFollowers[k]))));
    return hit;
}

__attribute__((target("avx2"))) inline __m256i FollowerMask(__m256i next)
{
    __m256i hit = _mm256_cmpeq_epi16(next, _mm256_set1_epi16(short(kFollowers[0])));
    for (std::size_t k = 1; k < kFollowers.size(); ++k)
        hit = _mm256_or_si256(
            hit, _mm256_cmpeq_epi16(next, _mm256_set1_epi16(short(kFollowers[k]))));
    return hit;
}

} // namespace

__attribute__((target("ssse3"))) std::size_t RepairSsse3(
    const char16_t* in, std::size_t length, char16_t* out)
{
    constexpr std::size_t kLanes = 8;
    const char16_t* const end = in + length;
    char16_t* o = out;
    const __m128i lead = _mm_set1_epi16(short(kLead));
    const __m128i defaultLetter = _mm_set1_epi16(short(kDefaultLetter));
    const __m128i toLetter = _mm_set1_epi16(short(kFollowerToLetter));

    // One unit of lookahead: the follower of the block's last lane.
    while (std::size_t(end - in) > kLanes) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
        const __m128i isLead = _mm_cmpeq_epi16(v, lead);
        if (_mm_movemask_epi8(isLead) == 0) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(o), v);
            in += kLanes;
            o += kLanes;
            continue;
        }
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 1));
        const __m128i hit = FollowerMask(next);
        const __m128i letter = _mm_or_si128(_mm_and_si128(hit, _mm_add_epi16(next, toLetter)),
            _mm_andnot_si128(hit, defaultLetter));
        const __m128i repaired
            = _mm_or_si128(_mm_and_si128(isLead, letter), _mm_andnot_si128(isLead, v));

        // Bit i: lane i is a lead that takes its follower (lane i + 1) with it.
        const __m128i pairs = _mm_and_si128(isLead, hit);
        const unsigned pairMask
            = unsigned(_mm_movemask_epi8(_mm_packs_epi16(pairs, _mm_setzero_si128()))) & 0xFFu;
        const unsigned drop = (pairMask << 1) & 0xFFu;

        const __m128i packed = _mm_shuffle_epi8(repaired,
            _mm_load_si128(reinterpret_cast<const __m128i*>(kCompact.shuffle[drop].data())));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(o), packed);
        o += kCompact.kept[drop];
        // A follower of the last lane lies in the next block: skip it there.
        in += kLanes + (pairMask >> 7);
    }
    return Finish(in, end, out, o);
}

__attribute__((target("avx2"))) std::size_t RepairAvx2(
    const char16_t* in, std::size_t length, char16_t* out)
{
    constexpr std::size_t kLanes = 16;
    const char16_t* const end = in + length;
    char16_t* o = out;
    const __m256i lead = _mm256_set1_epi16(short(kLead));
    const __m256i defaultLetter = _mm256_set1_epi16(short(kDefaultLetter));
    const __m256i toLetter = _mm256_set1_epi16(short(kFollowerToLetter));

    while (std::size_t(end - in) > kLanes) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in));
        const __m256i isLead = _mm256_cmpeq_epi16(v, lead);
        if (_mm256_testz_si256(isLead, isLead)) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(o), v);
            in += kLanes;
            o += kLanes;
            continue;
        }
        const __m256i next = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 1));
        const __m256i hit = FollowerMask(next);
        const __m256i letter
            = _mm256_blendv_epi8(defaultLetter, _mm256_add_epi16(next, toLetter), hit);
        const __m256i repaired = _mm256_blendv_epi8(v, letter, isLead);

        // packs works within each 128-bit half: bits 0-7 of the byte mask are lanes 0-7 and
        // bits 16-23 are lanes 8-15.
        const __m256i pairs = _mm256_and_si256(isLead, hit);
        const unsigned bytes
            = unsigned(_mm256_movemask_epi8(_mm256_packs_epi16(pairs, _mm256_setzero_si256())));
        const unsigned pairMask = (bytes & 0xFFu) | ((bytes >> 8) & 0xFF00u);
        const unsigned drop = (pairMask << 1) & 0xFFFFu;
        const unsigned dropLow = drop & 0xFFu;
        const unsigned dropHigh = drop >> 8;

        const __m128i low = _mm_shuffle_epi8(_mm256_castsi256_si128(repaired),
            _mm_load_si128(reinterpret_cast<const __m128i*>(kCompact.shuffle[dropLow].data())));
        const __m128i high = _mm_shuffle_epi8(_mm256_extracti128_si256(repaired, 1),
            _mm_load_si128(reinterpret_cast<const __m128i*>(kCompact.shuffle[dropHigh].data())));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(o), low);
        o += kCompact.kept[dropLow];
        _mm_storeu_si128(reinterpret_cast<__m128i*>(o), high);
        o += kCompact.kept[dropHigh];
        in += kLanes + (pairMask >> 15);
    }
    return Finish(in, end, out, o);
}

} // namespace orvik::detail

#endif
