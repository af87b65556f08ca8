// SPDX-License-Identifier: MIT
// The full repair written the slow, literal way: decode the whole text, run three rounds over
// arrays of characters, encode again. The tests and the fuzzer hold FullRepairer to it.
#pragma once

#include <algorithm>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
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

// The classes the rules name, written out from their definitions and Unicode's character
// database, each on its own.

inline bool In(Unit u, std::initializer_list<std::pair<long, long>> ranges)
{
    for (const auto& [first, last] : ranges)
        if (u >= first && u <= last)
            return true;
    return false;
}

inline bool IsWhitespace(Unit u)
{
    return In(u,
        { { 0x09, 0x0D }, { 0x1C, 0x20 }, { 0x85, 0x85 }, { 0xA0, 0xA0 }, { 0x1680, 0x1680 },
            { 0x2000, 0x200A }, { 0x2028, 0x2029 }, { 0x202F, 0x202F }, { 0x205F, 0x205F },
            { 0x3000, 0x3000 } });
}

// The capitals that make "Ã" stay: A-Z and U+00C0-00DE but U+00D7.
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
    return In(c,
        { { 0xA0, 0x17F }, { 0x192, 0x192 }, { 0x2C6, 0x2C6 }, { 0x2DC, 0x2DC }, { 0x218, 0x21B },
            { 0x300, 0x304 }, { 0x306, 0x30C }, { 0x30F, 0x30F }, { 0x311, 0x311 },
            { 0x31B, 0x31B }, { 0x323, 0x328 }, { 0x32D, 0x32D }, { 0x32E, 0x32E },
            { 0x330, 0x330 }, { 0x331, 0x331 }, { 0x1D43, 0x1D5B }, { 0x1D9C, 0x1DBF },
            { 0x1E00, 0x1EFF }, { 0x2000, 0x2BFF }, { 0xFB00, 0xFB06 }, { 0xFEFF, 0xFEFF },
            { 0xFFFD, 0xFFFD }, { 0x10000, 0x3FFFF } });
}

inline bool IsCombiningMark(long c)
{
    return IsCommon(c) && c >= 0x300 && c <= 0x36F;
}

// The Latin letters of U+0041-024F and U+1E00-1EFF in the general categories Lu and Lt, then Ll.
inline const std::vector<Unit> kLatinCapitals = DecodeUtf8(
    "ABCDEFGHIJKLMNOPQRSTUVWXYZÀÁÂÃÄÅÆÇÈÉÊËÌÍÎÏÐÑÒÓÔÕÖØÙÚÛÜÝÞĀĂĄĆĈĊČĎĐĒĔĖĘĚĜĞĠĢĤĦĨĪĬĮİĲĴĶĹĻĽĿŁŃ"
    "ŅŇŊŌŎŐŒŔŖŘŚŜŞŠŢŤŦŨŪŬŮŰŲŴŶŸŹŻŽƁƂƄƆƇƉƊƋƎƏƐƑƓƔƖƗƘƜƝƟƠƢƤƦƧƩƬƮƯƱƲƳƵƷƸƼǄǅǇǈǊǋǍǏǑǓǕǗǙǛǞǠǢǤǦǨǪǬǮǱǲ"
    "ǴǶǷǸǺǼǾȀȂȄȆȈȊȌȎȐȒȔȖȘȚȜȞȠȢȤȦȨȪȬȮȰȲȺȻȽȾɁɃɄɅɆɈɊɌɎḀḂḄḆḈḊḌḎḐḒḔḖḘḚḜḞḠḢḤḦḨḪḬḮḰḲḴḶḸḺḼḾṀṂṄṆṈṊṌṎṐṒṔṖ"
    "ṘṚṜṞṠṢṤṦṨṪṬṮṰṲṴṶṸṺṼṾẀẂẄẆẈẊẌẎẐẒẔẞẠẢẤẦẨẪẬẮẰẲẴẶẸẺẼẾỀỂỄỆỈỊỌỎỐỒỔỖỘỚỜỞỠỢỤỦỨỪỬỮỰỲỴỶỸỺỼỾ");
inline const std::vector<Unit> kLatinLowerCase = DecodeUtf8(
    "abcdefghijklmnopqrstuvwxyzµßàáâãäåæçèéêëìíîïðñòóôõöøùúûüýþÿāăąćĉċčďđēĕėęěĝğġģĥħĩīĭįıĳĵķĸĺļ"
    "ľŀłńņňŉŋōŏőœŕŗřśŝşšţťŧũūŭůűųŵŷźżžſƀƃƅƈƌƍƒƕƙƚƛƞơƣƥƨƪƫƭưƴƶƹƺƽƾƿǆǉǌǎǐǒǔǖǘǚǜǝǟǡǣǥǧǩǫǭǯǰǳǵǹǻǽǿȁ"
    "ȃȅȇȉȋȍȏȑȓȕȗșțȝȟȡȣȥȧȩȫȭȯȱȳȴȵȶȷȸȹȼȿɀɂɇɉɋɍɏḁḃḅḇḉḋḍḏḑḓḕḗḙḛḝḟḡḣḥḧḩḫḭḯḱḳḵḷḹḻḽḿṁṃṅṇṉṋṍṏṑṓṕṗṙṛṝṟṡṣ"
    "ṥṧṩṫṭṯṱṳṵṷṹṻṽṿẁẃẅẇẉẋẍẏẑẓẕẖẗẘẙẚẛẜẝẟạảấầẩẫậắằẳẵặẹẻẽếềểễệỉịọỏốồổỗộớờởỡợụủứừửữựỳỵỷỹỻỽỿ");

inline bool IsLatinCapital(Unit u)
{
    return std::find(kLatinCapitals.begin(), kLatinCapitals.end(), u) != kLatinCapitals.end();
}

inline bool IsLatinLowerCase(Unit u)
{
    return std::find(kLatinLowerCase.begin(), kLatinLowerCase.end(), u) != kLatinLowerCase.end();
}

inline bool IsLatinLetter(Unit u)
{
    return IsLatinCapital(u) || IsLatinLowerCase(u);
}

inline bool IsLetterBeyond1252(long c)
{
    for (long c1252 : { 0x152L, 0x153L, 0x160L, 0x161L, 0x17DL, 0x17EL, 0x178L })
        if (c == c1252)
            return false;
    return In(c, { { 0x100, 0x17F }, { 0x218, 0x21B }, { 0x1E00, 0x1EFF } });
}

inline bool IsLetterOf1252(long c)
{
    for (long c1252 : { 0x152L, 0x153L, 0x160L, 0x161L, 0x17DL, 0x17EL, 0x178L, 0x192L })
        if (c == c1252)
            return true;
    return c >= 0xC0 && c <= 0xFF && c != 0xD7 && c != 0xF7;
}

// The length and character of the UTF-8 sequence whose units start at `at`, or 0; with
// `spaceForA0`, its last unit is a plain space that stands for an A0 byte.
inline int SequenceAt(const std::vector<Unit>& t, std::size_t at, long& c, bool spaceForA0 = false)
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
        const Unit u = t[at + std::size_t(k)];
        const int b = spaceForA0 && k == n - 1 ? (u == ' ' ? 0xA0 : -1) : StandsFor(u);
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
    const auto at = [&](std::size_t k) { return k < t.size() ? t[k] : -1000; };
    const auto written
        = [&](std::size_t k) { return k < out.size() ? out[out.size() - 1 - k] : -2000; };
    while (i < t.size()) {
        long c, next;
        if (const int n = SequenceAt(t, i, c)) {
            const std::size_t after = i + std::size_t(n);
            bool repaired = previousWasSequence || SequenceAt(t, after, next);
            if (!repaired && IsCommon(c)) {
                if (IsLetterBeyond1252(c)) {
                    // (a) a lower-case letter follows, and no capital inside a word precedes
                    const bool a = IsLatinLowerCase(at(after))
                        && !(IsLatinCapital(written(0)) && IsLatinLetter(written(1)));
                    // (b) two bytes, lower-case, after a lower-case letter
                    const bool b = n == 2 && IsLatinLowerCase(c) && IsLatinLowerCase(written(0));
                    // (c) ASCII letters, then a letter of Windows-1252, within 8 characters
                    std::size_t k = after;
                    while (k < i + 8
                        && ((at(k) >= 'A' && at(k) <= 'Z') || (at(k) >= 'a' && at(k) <= 'z')))
                        ++k;
                    const int m = SequenceAt(t, k, next);
                    const bool cc = m != 0 && k + std::size_t(m) <= i + 8 && IsLetterOf1252(next);
                    repaired = a || b || cc;
                } else if (IsCombiningMark(c)) {
                    repaired = IsLatinLetter(written(0));
                } else {
                    repaired = true;
                }
            }
            if (repaired)
                out.push_back(c);
            else
                out.insert(out.end(), t.begin() + long(i), t.begin() + long(after));
            i = after;
            previousWasSequence = true;
            continue;
        }
        if (const int n = SequenceAt(t, i, c, true)) {
            const bool excepted
                = t[i] == 0xC3 || t[i] == 0xC2 || (t[i] == 0xE2 && at(i + 1) == 0x20AC);
            if (!excepted
                && ((n >= 3 && IsCommon(c)) || (n == 2 && previousWasSequence)
                    || SequenceAt(t, i + std::size_t(n), next))) {
                out.push_back(c);
                i += std::size_t(n);
                previousWasSequence = true;
                continue;
            }
        }
        previousWasSequence = false;
        const Unit afterAtilde = at(i + 1) == ' ' ? at(i + 2) : at(i + 1);
        const bool inCapitals = IsCapital(written(0))
            && (IsCapital(written(1)) || (written(1) == ' ' && IsCapital(written(2)))
                || IsCapital(afterAtilde));
        const bool endAt1 = i + 1 >= t.size(), endAt2 = i + 2 >= t.size();
        if (t[i] == 0xC3 && at(i + 1) == ' ' && !inCapitals) {
            out.push_back(0xE0);
            const Unit u = at(i + 2);
            i += endAt2 || IsWhitespace(u) || u == 0xC2 || u == 0xE2 || IsAsciiNotAlnum(u) ? 2 : 1;
        } else if (t[i] == 0xC2 && at(i + 1) == ' ' && !out.empty() && !IsWhitespace(out.back())) {
            out.push_back(0xA0);
            i += 2;
        } else if (t[i] == 0xC3 && !inCapitals
            && (endAt1 || at(i + 1) == 0xC2 || at(i + 1) == 0xE2 || IsAsciiNotAlnum(at(i + 1)))) {
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
