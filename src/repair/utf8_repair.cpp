// SPDX-License-Identifier: MIT
#include "repair/utf8_repair.h"

#include "repair/repair_kernels.h"
#include "repair/repair_table.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

namespace orvik {

namespace {

using detail::IsFollower;
using detail::LetterFor;

constexpr std::size_t kPageSize = 4096;

// Bytes of the two-byte UTF-8 form of U+0080..U+07FF.
constexpr unsigned char FirstByte(char16_t c)
{
    return static_cast<unsigned char>(0xC0 | (c >> 6));
}
constexpr unsigned char SecondByte(char16_t c)
{
    return static_cast<unsigned char>(0x80 | (c & 0x3F));
}

constexpr unsigned char kLeadFirst = FirstByte(detail::kLead); // C3
constexpr unsigned char kLeadSecond = SecondByte(detail::kLead); // 83
constexpr unsigned char kFollowerFirst = 0xC2; // every follower lies in U+0080..U+00BF
constexpr unsigned char kDefaultSecond = SecondByte(detail::kDefaultLetter); // A0, for "à"

static_assert(kLeadFirst == 0xC3 && kLeadSecond == 0x83 && kDefaultSecond == 0xA0);
// Every replacement letter lies in U+00C0..U+00FF, so it is C3 followed by one byte, and that byte
// is the follower's own second byte: the repair keeps the follower's byte and drops the rest.
static_assert(FirstByte(detail::kDefaultLetter) == kLeadFirst);
static_assert([] {
    for (char16_t f : detail::kFollowers)
        if (FirstByte(f) != kFollowerFirst || FirstByte(LetterFor(f)) != kLeadFirst
            || SecondByte(LetterFor(f)) != SecondByte(f))
            return false;
    return true;
}());

// Whether C2 b is a follower.
bool IsFollowerSecond(unsigned char b)
{
    return b >= 0x80 && b <= 0xBF && IsFollower(char16_t(b));
}

char* PutLetter(char* out, unsigned char followerSecond)
{
    out[0] = char(kLeadFirst);
    out[1] = char(followerSecond);
    return out + 2;
}

char* PutDefault(char* out)
{
    out[0] = char(kLeadFirst);
    out[1] = char(kDefaultSecond);
    return out + 2;
}

char* NewPages(std::size_t size)
{
    return new (std::align_val_t(kPageSize)) char[size];
}

} // namespace

void Utf8Repairer::PageFree::operator()(char* p) const
{
    ::operator delete[](p, std::align_val_t(kPageSize));
}

Utf8Repairer::Utf8Repairer(std::size_t readSize, Kernel kernel)
    : m_readSize(std::max<std::size_t>(readSize, 1))
    , m_kernel(kernel)
{
    if (!CanRun(KernelFamily::Bytes, kernel))
        throw std::invalid_argument("the filter has no such kernel for this processor");
    m_in.reset(NewPages(m_readSize));
    m_out.reset(NewPages(m_readSize + kMaxHeld));
}

void Utf8Repairer::Reset()
{
    m_held = 0;
    m_changed = false;
}

std::string_view Utf8Repairer::Feed(std::size_t n)
{
    if (n > m_readSize)
        throw std::invalid_argument("Utf8Repairer::Feed: chunk larger than the read size");
    const auto* in = reinterpret_cast<const unsigned char*>(m_in.get());
    char* const out = m_out.get();
    char* o = out;
    std::size_t i = 0;
    [[maybe_unused]] bool blocksDone = m_kernel == Kernel::Scalar;
    while (i < n) {
        if (m_held != 0) {
            // A sequence cut by the end of a chunk: settle it one byte at a time. A byte that does
            // not continue it is not consumed here and is read afresh below.
            const unsigned char b = in[i];
            if (m_held == 1) { // C3
                if (b == kLeadSecond) {
                    m_held = 2;
                    ++i;
                    continue;
                }
                *o++ = char(kLeadFirst);
            } else if (m_held == 2) { // C3 83
                if (b == kFollowerFirst) {
                    m_held = 3;
                    ++i;
                    continue;
                }
                o = PutDefault(o);
                m_changed = true;
            } else { // C3 83 C2
                if (IsFollowerSecond(b)) {
                    o = PutLetter(o, b);
                    ++i;
                } else {
                    o = PutDefault(o);
                    *o++ = char(kFollowerFirst); // C2 is no lead: it can be written at once
                }
                m_changed = true;
            }
            m_held = 0;
            continue;
        }

#if ORVIK_HAVE_X86_KERNELS
        if (!blocksDone) {
            // The bulk of the chunk; the few bytes it leaves are finished below.
            i = detail::RepairBlocksAvx2(in, i, n, o, m_changed);
            blocksDone = true;
            continue;
        }
#endif

        // Copy everything up to the next C3 in one go: most of the text is not a lead.
        const auto* found
            = static_cast<const unsigned char*>(std::memchr(in + i, kLeadFirst, n - i));
        const std::size_t at = found ? std::size_t(found - in) : n;
        std::memcpy(o, in + i, at - i);
        o += at - i;
        if (!found)
            break;

        if (n - at < 4) {
            // The sequence may go on in the next chunk: let the byte-at-a-time path settle it.
            m_held = 1;
            i = at + 1;
        } else if (in[at + 1] != kLeadSecond) {
            *o++ = char(kLeadFirst); // C3 of some other letter, or a stray one
            i = at + 1;
        } else if (in[at + 2] == kFollowerFirst && IsFollowerSecond(in[at + 3])) {
            o = PutLetter(o, in[at + 3]);
            m_changed = true;
            i = at + 4;
        } else {
            o = PutDefault(o);
            m_changed = true;
            i = at + 2;
        }
    }
    return { out, std::size_t(o - out) };
}

std::string_view Utf8Repairer::Finish()
{
    char* const out = m_out.get();
    char* o = out;
    if (m_held == 1) {
        *o++ = char(kLeadFirst);
    } else if (m_held >= 2) {
        o = PutDefault(o);
        if (m_held == 3)
            *o++ = char(kFollowerFirst);
        m_changed = true;
    }
    m_held = 0;
    return { out, std::size_t(o - out) };
}

std::string RepairUtf8(std::string_view text, Kernel kernel)
{
    Utf8Repairer repairer(text.size(), kernel);
    std::ranges::copy(text, repairer.ReadBuffer());
    std::string out(repairer.Feed(text.size()));
    out += repairer.Finish();
    return out;
}

} // namespace orvik
