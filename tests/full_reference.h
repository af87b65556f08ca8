// SPDX-License-Identifier: MIT
// The full repair written the slow, literal way: decode the whole text, run three rounds over
// arrays of characters, encode again. The tests and the fuzzer hold FullRepairer to it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace orvik::reference {

// A character, or (below zero) a byte that is not part of a well-formed sequence: -1 - byte.
using Unit = long;

inline std::vector<Unit> DecodeUtf8(std::string_view bytes)
{
    std::vector<Unit> units;
    std::size_t i = 0;
    while (i < bytes.size()) {
        const unsigned b = static_cast<unsigned char>(bytes[i]);
        int n = b < 0x80             ? 1
            : b >= 0xC2 && b <= 0xDF ? 2
            : b >= 0xE0 && b <= 0xEF ? 3
            : b >= 0xF0 && b <= 0xF4 ? 4
                                     : 0;
        long c = n == 1 ? long(b)
            : n == 2    ? long(b & 0x1F)
            : n == 3    ? long(b & 0x0F)
                        : long(b & 0x07);
        bool ok = n > 0 && i + std::size_t(n) <= bytes.size();
        for (int k = 1; ok && k < n; ++k) {
            const unsigned x = static_cast<unsigned char>(bytes[i + std::size_t(k)]);
            unsigned low = 0x80, high = 0xBF;
            if (k == 1 && b == 0xE0)
                low = 0xA0;
            if (k == 1 && b == 0xED)
                high = 0x9F;
            if (k == 1 && b == 0xF0)
                low = 0x90;
            if (k == 1 && b == 0xF4)
                high = 0x8F;
            ok = x >= low && x <= high;
            c = (c << 6) | long(x & 0x3F);
        }
        units.push_back(ok ? c : -1 - long(b));
        i += ok ? std::size_t(n) : 1;
    }
    return units;
}

inline std::string EncodeUtf8(const std::vector<Unit>& units)
{
    std::string out;
    for (Unit u : units) {
        const auto c = static_cast<unsigned long>(u);
        if (u < 0)
            out += char(-1 - u);
        else if (c < 0x80)
            out += char(c);
        else if (c < 0x800)
            out += { char(0xC0 | (c >> 6)), char(0x80 | (c & 0x3F)) };
        else if (c < 0x10000)
            out += { char(0xE0 | (c >> 12)), char(0x80 | ((c >> 6) & 0x3F)),
                char(0x80 | (c & 0x3F)) };
        else
            out += { char(0xF0 | (c >> 18)), char(0x80 | ((c >> 12) & 0x3F)),
                char(0x80 | ((c >> 6) & 0x3F)), char(0x80 | (c & 0x3F)) };
    }
    return out;
}

// The characters Windows-1252 gives bytes 80 to 9F; 0 where it leaves a byte undefined.
inline constexpr long k1252[32] = { 0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017D, 0, 0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178 };

// The byte a unit stands for, or -1.
inline int StandsFor(Unit u)
{
    if (u >= 0 && u <= 0xFF)
        return int(u);
    for (int i = 0; i < 32; ++i)
        if (k1252[i] != 0 && k1252[i] == u)
            return 0x80 + i;
    return -1;
}

inline bool IsSpace(Unit u)
{
    for (long c : { 0x85L, 0xA0L, 0x1680L, 0x2028L, 0x2029L, 0x202FL, 0x205FL, 0x3000L })
        if (u == c)
            return true;
    return (u >= 0x09 && u <= 0x0D) || (u >= 0x1C && u <= 0x20) || (u >= 0x2000 && u <= 0x200A);
}

inline bool IsCapital(Unit u)
{
    return (u >= 'A' && u <= 'Z') || (u >= 0xC0 && u <= 0xDE && u != 0xD7);
}

inline bool IsAsciiNotAlnum(Unit u)
{
    return u >= 0 && u < 0x80
        && !((u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z'));
}

inline bool IsCommon(long c)
{
    return (c >= 0xA0 && c <= 0x17F) || c == 0x192 || c == 0x2C6 || c == 0x2DC
        || (c >= 0x218 && c <= 0x21B) || (c >= 0x300 && c <= 0x36F) || (c >= 0x2000 && c <= 0x2BFF)
        || c == 0xFEFF || c == 0xFFFD || c >= 0x10000;
}

// The length and character of the UTF-8 sequence whose units start at `at`, or 0.
inline int SequenceAt(const std::vector<Unit>& t, std::size_t at, long& c)
{
    if (at >= t.size())
        return 0;
    const int lead = StandsFor(t[at]);
    const int n = lead >= 0xC2 && lead <= 0xDF ? 2
        : lead >= 0xE0 && lead <= 0xEF         ? 3
        : lead >= 0xF0 && lead <= 0xF4         ? 4
                                               : 0;
    if (n == 0 || at + std::size_t(n) > t.size())
        return 0;
    std::string bytes(1, char(lead));
    for (int k = 1; k < n; ++k) {
        const int b = StandsFor(t[at + std::size_t(k)]);
        if (b < 0x80 || b > 0xBF)
            return 0;
        bytes += char(b);
    }
    const std::vector<Unit> decoded = DecodeUtf8(bytes);
    if (decoded.size() != 1 || decoded[0] < 0)
        return 0;
    c = decoded[0];
    return n;
}

inline std::vector<Unit> Round(const std::vector<Unit>& t)
{
    std::vector<Unit> out;
    bool previousWasSequence = false;
    std::size_t i = 0;
    while (i < t.size()) {
        const auto at = [&](std::size_t k) { return i + k < t.size() ? t[i + k] : -1000; };
        const bool endAt1 = i + 1 >= t.size(), endAt2 = i + 2 >= t.size();
        const bool twoCapitals
            = out.size() >= 2 && IsCapital(out[out.size() - 1]) && IsCapital(out[out.size() - 2]);
        long c, ignored;
        if (const int n = SequenceAt(t, i, c)) {
            if (IsCommon(c) || previousWasSequence || SequenceAt(t, i + std::size_t(n), ignored))
                out.push_back(c);
            else
                out.insert(out.end(), t.begin() + long(i), t.begin() + long(i) + n);
            i += std::size_t(n);
            previousWasSequence = true;
            continue;
        }
        previousWasSequence = false;
        if (t[i] == 0xC3 && at(1) == ' ' && !twoCapitals) {
            out.push_back(0xE0);
            const Unit next = at(2);
            i += endAt2 || IsSpace(next) || next == 0xC2 || next == 0xE2 || IsAsciiNotAlnum(next)
                ? 2
                : 1;
        } else if (t[i] == 0xC2 && at(1) == ' ' && !out.empty() && !IsSpace(out.back())) {
            out.push_back(0xA0);
            i += 2;
        } else if (t[i] == 0xC3 && !twoCapitals
            && (endAt1 || at(1) == 0xC2 || at(1) == 0xE2 || IsAsciiNotAlnum(at(1)))) {
            out.push_back(0xE0);
            i += 1;
        } else {
            out.push_back(t[i]);
            i += 1;
        }
    }
    return out;
}

inline std::string RepairFullLiterally(std::string_view bytes)
{
    std::vector<Unit> text = DecodeUtf8(bytes);
    for (int round = 0; round < 3; ++round)
        text = Round(text);
    return EncodeUtf8(text);
}

} // namespace orvik::reference
