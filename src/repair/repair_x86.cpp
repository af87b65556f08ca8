// SPDX-License-Identifier: MIT
// The vector kernel for x86-64, compiled for SSSE3 through a target attribute so that the rest of
// the program keeps the baseline instruction set; the dispatcher uses it where the processor has
// SSSE3.
//
// Every lead is repaired independently of the others: a follower is never a lead, so whether the
// code unit at i is dropped depends only on the units at i - 1 and i. A block of code units is
// therefore repaired in one go: each lead lane takes its letter (its follower + 0x40, or "à"),
// the lanes right after a lead with a table follower are dropped, and a byte shuffle packs the
// kept lanes to the front before the whole vector is stored. The input advances by whole blocks;
// a follower that lies in the next block is dropped there (the carry).
//
// Stores are whole vectors even when fewer lanes are kept. The output never gets ahead of the
// input, so a store at the output never reaches past the end of the block being read, which is
// inside the buffer.
#include "repair/repair_kernels.h"

#if ORVIK_HAVE_X86_KERNELS

#include "repair/compact_table.h"
#include "repair/repair_table.h"

#include <array>
#include <cstdint>
#include <immintrin.h>

namespace orvik::detail {
namespace {

constexpr CompactTable kCompact = MakeCompactTable<2>();

__attribute__((target("ssse3"))) inline __m128i LoadShuffle(unsigned mask)
{
    return _mm_load_si128(reinterpret_cast<const __m128i*>(kCompact.shuffle[mask].data()));
}

// The 16-bit lanes of `next` that hold a follower, as all-ones lanes.
__attribute__((target("ssse3"))) inline __m128i FollowerLanes(__m128i next)
{
    const __m128i nibble = _mm_set1_epi16(0x0F);
    const __m128i byLow
        = _mm_load_si128(reinterpret_cast<const __m128i*>(kFollowerNibbles.low.data()));
    const __m128i byHigh
        = _mm_load_si128(reinterpret_cast<const __m128i*>(kFollowerNibbles.high.data()));
    // Low byte of each lane: its two nibbles looked up; the high byte must be zero.
    const __m128i low = _mm_shuffle_epi8(byLow, _mm_and_si128(next, nibble));
    const __m128i high = _mm_shuffle_epi8(byHigh, _mm_and_si128(_mm_srli_epi16(next, 4), nibble));
    const __m128i inSet = _mm_and_si128(low, high);
    const __m128i highByteZero = _mm_cmpeq_epi16(_mm_srli_epi16(next, 8), _mm_setzero_si128());
    return _mm_andnot_si128(_mm_cmpeq_epi16(inSet, _mm_setzero_si128()), highByteZero);
}

// Repairs the 8 code units at `in` (reading one more) into `o`. `carry` is 1 when lane 0 is the
// follower of the previous block's last lead; it is set to whether this block passes one on.
__attribute__((target("ssse3"))) inline void RepairBlock8(
    const char16_t* in, char16_t*& o, unsigned& carry)
{
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 1));
    const __m128i isLead = _mm_cmpeq_epi16(v, _mm_set1_epi16(short(kLead)));
    const __m128i hit = FollowerLanes(next);
    const __m128i letter
        = _mm_or_si128(_mm_and_si128(hit, _mm_add_epi16(next, _mm_set1_epi16(kFollowerToLetter))),
            _mm_andnot_si128(hit, _mm_set1_epi16(short(kDefaultLetter))));
    const __m128i repaired
        = _mm_or_si128(_mm_and_si128(isLead, letter), _mm_andnot_si128(isLead, v));

    // Bit i: lane i is a lead that takes its follower, lane i + 1, with it.
    const __m128i pairs = _mm_and_si128(isLead, hit);
    const unsigned pairMask
        = unsigned(_mm_movemask_epi8(_mm_packs_epi16(pairs, _mm_setzero_si128()))) & 0xFFu;
    const unsigned drop = ((pairMask << 1) | carry) & 0xFFu;
    carry = pairMask >> 7;

    _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm_shuffle_epi8(repaired, LoadShuffle(drop)));
    o += kCompact.kept[drop];
}

// The code units from `in` on, after the blocks: a pending carry drops the first one, the rest
// go through the scalar kernel.
std::size_t Finish(
    const char16_t* in, const char16_t* end, unsigned carry, char16_t* start, char16_t* o)
{
    in += carry;
    return std::size_t(o - start) + RepairScalar(in, std::size_t(end - in), o);
}

} // namespace

__attribute__((target("ssse3"))) std::size_t RepairSsse3(
    const char16_t* in, std::size_t length, char16_t* out)
{
    constexpr std::size_t kLanes = 8;
    constexpr std::size_t kChunk = 4 * kLanes;
    const char16_t* const end = in + length;
    char16_t* o = out;
    unsigned carry = 0;
    const __m128i lead = _mm_set1_epi16(short(kLead));

    // Each block reads one code unit past its end: the follower of its last lane.
    while (std::size_t(end - in) > kChunk) {
        const __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
        const __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + kLanes));
        const __m128i v2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 2 * kLanes));
        const __m128i v3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 3 * kLanes));
        const __m128i anyLead
            = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(v0, lead), _mm_cmpeq_epi16(v1, lead)),
                _mm_or_si128(_mm_cmpeq_epi16(v2, lead), _mm_cmpeq_epi16(v3, lead)));
        if (_mm_movemask_epi8(anyLead) == 0 && carry == 0) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(o), v0);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(o + kLanes), v1);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 2 * kLanes), v2);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 3 * kLanes), v3);
            o += kChunk;
        } else {
            // Where leads are frequent, most chunks hold one: repairing the whole chunk without
            // branching beats guessing block by block.
            for (std::size_t block = 0; block < kChunk; block += kLanes)
                RepairBlock8(in + block, o, carry);
        }
        in += kChunk;
    }
    while (std::size_t(end - in) > kLanes) {
        RepairBlock8(in, o, carry);
        in += kLanes;
    }
    return Finish(in, end, carry, out, o);
}

} // namespace orvik::detail

#endif
