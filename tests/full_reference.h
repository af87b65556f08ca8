// SPDX-License-Identifier: MIT
// The full repair written the slow, literal way: decode the whole text, run three rounds over
// arrays of characters, encode again. The tests and the fuzzer hold FullRepairer to it.
#pragma once

#include "text/utf.h"

#include <algorithm>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orvik::reference {

// A character, or (below zero) a byte that is not part of a well-formed sequence: -1 - byte.
using Unit = long;

// The text's units, decoded by text/'s codec, which the full repair does not use.
inline std::vector<Unit> DecodeUtf8(std::string_view bytes)
{
    std::vector<Unit> units;
    for (std::size_t i = 0; i < bytes.size();) {
        const std::optional<Utf8Sequence> sequence = orvik::DecodeUtf8(bytes, i);
        units.push_back(
            sequence ? long(sequence->code) : -1 - long(static_cast<unsigned char>(bytes[i])));
        i += sequence ? sequence->length : 1;
    }
    return units;
}

inline std::string EncodeUtf8(const std::vector<Unit>& units)
{
    std::string out;
    for (Unit u : units) {
        if (u < 0)
            out += char(-1 - u);
        else
            AppendUtf8(out, char32_t(u));
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
    const long* at = std::find(k1252, k1252 + 32, u);
    return u >= 0 && u <= 0xFF       ? int(u)
        : u != 0 && at != k1252 + 32 ? int(0x80 + (at - k1252))
                                     : -1;
}

// The classes the rules name, written out from their definitions and Unicode's character
// database, each on its own.

inline bool In(Unit u, std::initializer_list<std::pair<long, long>> ranges)
{
    return std::any_of(ranges.begin(), ranges.end(),
        [u](const auto& range) { return u >= range.first && u <= range.second; });
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
    return In(u, { { 0, '0' - 1 }, { '9' + 1, 'A' - 1 }, { 'Z' + 1, 'a' - 1 }, { 'z' + 1, 0x7F } });
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
    return std::count(kLatinCapitals.begin(), kLatinCapitals.end(), u) != 0;
}

inline bool IsLatinLowerCase(Unit u)
{
    return std::count(kLatinLowerCase.begin(), kLatinLowerCase.end(), u) != 0;
}

// Œ œ Š š Ž ž Ÿ, the letters of Windows-1252 at 80-9F but ƒ, are no letters beyond it.
inline bool IsLetterBeyond1252(long c)
{
    return In(c,
        { { 0x100, 0x151 }, { 0x154, 0x15F }, { 0x162, 0x177 }, { 0x179, 0x17C }, { 0x17F, 0x17F },
            { 0x218, 0x21B }, { 0x1E00, 0x1EFF } });
}

inline bool IsLetterOf1252(long c)
{
    return In(c,
        { { 0xC0, 0xD6 }, { 0xD8, 0xF6 }, { 0xF8, 0xFF }, { 0x152, 0x153 }, { 0x160, 0x161 },
            { 0x178, 0x178 }, { 0x17D, 0x17E }, { 0x192, 0x192 } });
}

// The length and character of the UTF-8 sequence whose units start at `at`, or 0; with
// `spaceForA0`, its last unit is a plain space that stands for an A0 byte.
inline int SequenceAt(const std::vector<Unit>& t, std::size_t at, long& c, bool spaceForA0 = false)
{
    const int lead = at < t.size() ? StandsFor(t[at]) : -1;
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
    c = decoded[0];
    return decoded.size() == 1 && c >= 0 ? n : 0;
}

inline std::vector<Unit> Round(const std::vector<Unit>& t)
{
    std::vector<Unit> out;
    bool previousWasSequence = false;
    std::size_t i = 0;
    const auto at = [&](std::size_t k) { return k < t.size() ? t[k] : -1000; };
    const auto written
        = [&](std::size_t k) { return k < out.size() ? out[out.size() - 1 - k] : -2000; };
    const auto isLatinLetter = [](Unit u) { return IsLatinCapital(u) || IsLatinLowerCase(u); };
    while (i < t.size()) {
        long c, next;
        if (const int n = SequenceAt(t, i, c)) {
            const std::size_t after = i + std::size_t(n);
            bool repaired = previousWasSequence || SequenceAt(t, after, next);
            if (!repaired && IsCommon(c)) {
                if (IsLetterBeyond1252(c)) {
                    // (a) a lower-case letter follows, and no capital inside a word precedes
                    const bool a = IsLatinLowerCase(at(after))
                        && !(IsLatinCapital(written(0)) && isLatinLetter(written(1)));
                    // (b) two bytes, lower-case, after a lower-case letter
                    const bool b = n == 2 && IsLatinLowerCase(c) && IsLatinLowerCase(written(0));
                    // (c) ASCII letters, then a letter of Windows-1252, within 8 characters
                    std::size_t k = after;
                    while (k < i + 8 && In(at(k), { { 'A', 'Z' }, { 'a', 'z' } }))
                        ++k;
                    const int m = SequenceAt(t, k, next);
                    const bool cc = m != 0 && k + std::size_t(m) <= i + 8 && IsLetterOf1252(next);
                    repaired = a || b || cc;
                } else if (c >= 0x300 && c <= 0x36F) { // a combining mark
                    repaired = isLatinLetter(written(0));
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
