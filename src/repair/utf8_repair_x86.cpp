// SPDX-License-Identifier: MIT
// The block kernel for x86-64 with AVX2, compiled through a target attribute so that the rest of
// the program keeps the baseline instruction set; Utf8Repairer calls it only where the processor
// has AVX2.
//
// Every sequence is repaired independently of the others: none of 83, C2 or a follower byte is C3,
// so sequences never overlap and the leads of a block can all be found at once. For a lead
// C3 83 at byte p, the byte p + 1 becomes A0 ("à"), or, when C2 and a follower come next, the
// bytes p + 1 and p + 2 are dropped (C3 83 C2 f becomes C3 f). A byte shuffle then packs the kept
// bytes of each 8-byte piece to the front.
// Blocks always advance by their full size, so that the loads of the next block never wait for
// this one; a lead in the last bytes of a block carries the change of the next block's first byte
// or two over to it as a bit mask.
#include "repair/repair_kernels.h"

#if ORVIK_HAVE_X86_KERNELS

#include "repair/compact_table.h"
#include "repair/repair_table.h"

#include <array>
#include <bit>
#include <cstdint>
#include <immintrin.h>

namespace orvik::detail {
namespace {

constexpr CompactTable kCompact = MakeCompactTable<1>();

__attribute__((target("ssse3"))) inline void StoreCompacted(__m128i v, unsigned dropMask, char* out)
{
    const __m128i low = _mm_shuffle_epi8(v,
        _mm_load_si128(reinterpret_cast<const __m128i*>(kCompact.shuffle[dropMask & 0xFF].data())));
    const __m128i high = _mm_shuffle_epi8(_mm_srli_si128(v, 8),
        _mm_load_si128(reinterpret_cast<const __m128i*>(kCompact.shuffle[dropMask >> 8].data())));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), low);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + kCompact.kept[dropMask & 0xFF]), high);
}

__attribute__((target("avx2"))) inline __m256i Load32(const unsigned char* p)
{
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

__attribute__((target("avx2"))) inline __m256i IsFollower(__m256i v)
{
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    // pshufb looks up within each 16-byte half: both halves get the table.
    const __m256i lowTable = _mm256_broadcastsi128_si256(
        _mm_load_si128(reinterpret_cast<const __m128i*>(kFollowerNibbles.low.data())));
    const __m256i highTable = _mm256_broadcastsi128_si256(
        _mm_load_si128(reinterpret_cast<const __m128i*>(kFollowerNibbles.high.data())));
    const __m256i low = _mm256_shuffle_epi8(lowTable, _mm256_and_si256(v, nibble));
    const __m256i high
        = _mm256_shuffle_epi8(highTable, _mm256_and_si256(_mm256_srli_epi16(v, 4), nibble));
    return _mm256_xor_si256(_mm256_cmpeq_epi8(_mm256_and_si256(low, high), _mm256_setzero_si256()),
        _mm256_set1_epi8(-1));
}

// Moves every byte one place up across the whole vector (vpslldq works within 128-bit lanes).
__attribute__((target("avx2"))) inline __m256i ShiftUpOneByte(__m256i v)
{
    return _mm256_alignr_epi8(v, _mm256_permute2x128_si256(v, v, 0x08), 15);
}

// The changes a block leaves to the next one, as masks of its first bytes.
struct Carry
{
    std::uint32_t drop = 0; // bytes to drop: the 83 and C2, or only the C2, of a pair
    std::uint32_t toDefault = 0; // bit 0: the 83 of a lone lead, which becomes A0
};

// After the last block: applies what it carried to the first bytes after it, so that the scalar
// code goes on from a byte that starts nothing.
std::size_t SettleCarry(const Carry& carry, std::size_t i, char*& o)
{
    if (carry.toDefault) {
        *o++ = char(0xA0);
        return i + 1;
    }
    return i + std::size_t(std::popcount(carry.drop));
}

// The bytes of `v`, read at `in`, that start a lead C3 83.
__attribute__((target("avx2"))) inline __m256i LeadsAvx2(const unsigned char* in, __m256i v)
{
    return _mm256_and_si256(_mm256_cmpeq_epi8(v, _mm256_set1_epi8(char(0xC3))),
        _mm256_cmpeq_epi8(Load32(in + 1), _mm256_set1_epi8(char(0x83))));
}

// Repairs the 32 bytes `v` read at `in` (reading 3 more) into `o`, applying and updating `carry`.
__attribute__((target("avx2"))) inline void RepairBlockAvx2(
    const unsigned char* in, __m256i v, __m256i leads, char*& o, Carry& carry)
{
    constexpr std::size_t kBlock = 32;
    const __m256i pairs = _mm256_and_si256(leads,
        _mm256_and_si256(_mm256_cmpeq_epi8(Load32(in + 2), _mm256_set1_epi8(char(0xC2))),
            IsFollower(Load32(in + 3))));
    const std::uint32_t leadMask = std::uint32_t(_mm256_movemask_epi8(leads));
    const std::uint64_t pairMask = std::uint32_t(_mm256_movemask_epi8(pairs));
    const std::uint64_t drop = (pairMask << 1) | (pairMask << 2) | carry.drop;
    const __m256i alone = _mm256_andnot_si256(pairs, leads);
    const __m256i toDefault = _mm256_or_si256(ShiftUpOneByte(alone),
        _mm256_setr_epi32(int(carry.toDefault ? 0xFF : 0), 0, 0, 0, 0, 0, 0, 0));
    carry.drop = std::uint32_t(drop >> kBlock);
    carry.toDefault = (leadMask & ~std::uint32_t(pairMask)) >> (kBlock - 1);

    const __m256i repaired = _mm256_blendv_epi8(v, _mm256_set1_epi8(char(0xA0)), toDefault);
    const unsigned lowDrop = unsigned(drop & 0xFFFF);
    const unsigned highDrop = unsigned((drop >> 16) & 0xFFFF);
    StoreCompacted(_mm256_castsi256_si128(repaired), lowDrop, o);
    o += 16 - std::popcount(lowDrop);
    StoreCompacted(_mm256_extracti128_si256(repaired, 1), highDrop, o);
    o += 16 - std::popcount(highDrop);
}

} // namespace

__attribute__((target("avx2"))) std::size_t RepairBlocksAvx2(
    const unsigned char* in, std::size_t i, std::size_t n, char*& out, bool& changed)
{
    constexpr std::size_t kBlock = 32;
    constexpr std::size_t kChunk = 4 * kBlock;
    constexpr std::size_t kLookahead = 3; // the 83, C2 and follower after a lead in the last byte
    char* o = out;
    Carry carry;
    // Four blocks at a time: in prose most chunks hold a lead somewhere, and repairing all four
    // blocks without a branch each beats mispredicting about half of them.
    for (; n - i >= kChunk + kLookahead; i += kChunk) {
        __m256i v[4];
        __m256i leads[4];
        for (std::size_t b = 0; b < 4; ++b) {
            v[b] = Load32(in + i + b * kBlock);
            leads[b] = LeadsAvx2(in + i + b * kBlock, v[b]);
        }
        const __m256i any = _mm256_or_si256(
            _mm256_or_si256(leads[0], leads[1]), _mm256_or_si256(leads[2], leads[3]));
        if (_mm256_testz_si256(any, any) && (carry.drop | carry.toDefault) == 0) {
            for (const __m256i& block : v) {
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(o), block);
                o += kBlock;
            }
            continue;
        }
        changed = true;
        for (std::size_t b = 0; b < 4; ++b)
            RepairBlockAvx2(in + i + b * kBlock, v[b], leads[b], o, carry);
    }
    for (; n - i >= kBlock + kLookahead; i += kBlock) {
        const __m256i v = Load32(in + i);
        const __m256i leads = LeadsAvx2(in + i, v);
        if (!_mm256_testz_si256(leads, leads) || (carry.drop | carry.toDefault) != 0)
            changed = true;
        RepairBlockAvx2(in + i, v, leads, o, carry);
    }
    i = SettleCarry(carry, i, o);
    out = o;
    return i;
}

} // namespace orvik::detail

#endif
