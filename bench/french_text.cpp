// SPDX-License-Identifier: MIT
#include "french_text.h"

#include <array>
#include <random>
#include <string_view>
#include <vector>

namespace orvik::bench {
namespace {

struct Word
{
    std::u16string_view text;
    int weight; // rough uses per 10,000 words of ordinary French prose
};

// Common words, accented ones included at about their usual frequency, so that accented letters
// make up about 4 in 100 letters of the generated prose.
constexpr Word kWords[] = {
    { u"de", 420 },
    { u"la", 280 },
    { u"le", 250 },
    { u"et", 230 },
    { u"les", 210 },
    { u"des", 180 },
    { u"à", 110 },
    { u"en", 130 },
    { u"un", 120 },
    { u"une", 110 },
    { u"du", 100 },
    { u"que", 95 },
    { u"est", 90 },
    { u"il", 85 },
    { u"pour", 75 },
    { u"qui", 75 },
    { u"dans", 75 },
    { u"par", 65 },
    { u"plus", 60 },
    { u"pas", 55 },
    { u"au", 55 },
    { u"sur", 55 },
    { u"ne", 45 },
    { u"se", 45 },
    { u"avec", 45 },
    { u"ce", 40 },
    { u"été", 20 },
    { u"nous", 35 },
    { u"elle", 35 },
    { u"ont", 30 },
    { u"mais", 30 },
    { u"comme", 30 },
    { u"aussi", 25 },
    { u"être", 20 },
    { u"leur", 25 },
    { u"très", 15 },
    { u"même", 15 },
    { u"après", 15 },
    { u"était", 15 },
    { u"entre", 20 },
    { u"deux", 20 },
    { u"où", 15 },
    { u"déjà", 12 },
    { u"là", 12 },
    { u"temps", 15 },
    { u"année", 8 },
    { u"premier", 12 },
    { u"première", 10 },
    { u"société", 7 },
    { u"général", 7 },
    { u"français", 7 },
    { u"française", 8 },
    { u"développement", 5 },
    { u"économique", 5 },
    { u"problème", 8 },
    { u"système", 8 },
    { u"ministère", 5 },
    { u"côté", 8 },
    { u"état", 8 },
    { u"réponse", 6 },
    { u"réunion", 5 },
    { u"siècle", 6 },
    { u"père", 6 },
    { u"mère", 6 },
    { u"frère", 4 },
    { u"modèle", 4 },
    { u"élève", 3 },
    { u"façon", 5 },
    { u"reçu", 4 },
    { u"leçon", 2 },
    { u"garçon", 3 },
    { u"ça", 6 },
    { u"âge", 4 },
    { u"château", 2 },
    { u"théâtre", 2 },
    { u"tâche", 2 },
    { u"île", 2 },
    { u"maître", 2 },
    { u"connaître", 3 },
    { u"chaîne", 2 },
    { u"hôtel", 2 },
    { u"hôpital", 2 },
    { u"bientôt", 2 },
    { u"tôt", 2 },
    { u"sûr", 3 },
    { u"goût", 2 },
    { u"août", 1 },
    { u"tête", 4 },
    { u"fête", 2 },
    { u"fenêtre", 2 },
    { u"forêt", 1 },
    { u"intérêt", 3 },
    { u"gens", 10 },
    { u"faire", 20 },
    { u"dire", 10 },
    { u"pays", 12 },
    { u"ville", 10 },
    { u"monde", 12 },
    { u"vie", 10 },
    { u"jour", 12 },
    { u"homme", 10 },
    { u"femme", 8 },
    { u"travail", 8 },
    { u"maison", 6 },
    { u"enfant", 6 },
    { u"question", 8 },
    { u"cas", 8 },
    { u"point", 8 },
    { u"partie", 8 },
    { u"place", 6 },
    { u"groupe", 5 },
    { u"nombre", 6 },
    { u"politique", 8 },
    { u"public", 6 },
    { u"grand", 12 },
    { u"petit", 8 },
    { u"nouveau", 8 },
    { u"bon", 6 },
    { u"autre", 15 },
    { u"tout", 25 },
    { u"fait", 15 },
    { u"peut", 15 },
    { u"sont", 30 },
    { u"pendant", 6 },
};

char16_t Capital(char16_t c)
{
    if (c >= u'a' && c <= u'z')
        return char16_t(c - u'a' + u'A');
    if (c == u'à')
        return u'À';
    if (c == u'é')
        return u'É';
    if (c == u'ê')
        return u'Ê';
    return c;
}

bool IsAccented(char16_t c)
{
    return std::u16string_view(u"àâäçéèêëîïôöùûüÿÀÂÇÉÈÊÎÔÙÛ").find(c) != std::u16string_view::npos;
}

bool IsLetter(char16_t c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || IsAccented(c);
}

// Windows-1252 bytes 80..9F; every other byte is the code point of the same number. The five
// bytes the code page leaves undefined are read as the C1 controls, as Windows itself does.
constexpr std::array<char16_t, 32> kWindows1252High
    = { 0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
          0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
          0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178 };

void AppendAsWindows1252(std::u16string& out, unsigned char byte)
{
    out.push_back(byte >= 0x80 && byte < 0xA0 ? kWindows1252High[byte - 0x80] : char16_t(byte));
}

} // namespace

std::u16string FrenchProse(std::size_t units, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<int> weights;
    for (const Word& w : kWords)
        weights.push_back(w.weight);
    std::discrete_distribution<std::size_t> word(weights.begin(), weights.end());
    std::uniform_int_distribution<int> sentenceLength(6, 24);
    std::uniform_int_distribution<int> percent(0, 99);

    std::u16string text;
    text.reserve(units + 256);
    while (text.size() < units) {
        const int length = sentenceLength(random);
        for (int w = 0; w < length; ++w) {
            std::u16string_view chosen = kWords[word(random)].text;
            const std::size_t start = text.size();
            text += chosen;
            if (w == 0)
                text[start] = Capital(text[start]);
            if (w + 1 < length)
                text += percent(random) < 8 ? u", " : u" ";
        }
        text += percent(random) < 15 ? u".\n" : u". ";
    }
    text.resize(units);
    return text;
}

std::u16string DamageAsWindows1252(const std::u16string& text)
{
    std::u16string out;
    out.reserve(text.size() * 2);
    for (char16_t c : text) {
        // The generated prose stays in the Basic Multilingual Plane and holds no surrogates.
        if (c < 0x80) {
            out.push_back(c);
        } else if (c < 0x800) {
            AppendAsWindows1252(out, static_cast<unsigned char>(0xC0 | (c >> 6)));
            AppendAsWindows1252(out, static_cast<unsigned char>(0x80 | (c & 0x3F)));
        } else {
            AppendAsWindows1252(out, static_cast<unsigned char>(0xE0 | (c >> 12)));
            AppendAsWindows1252(out, static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F)));
            AppendAsWindows1252(out, static_cast<unsigned char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

std::u16string LeadsAndFollowers(std::size_t units, unsigned seed)
{
    constexpr std::u16string_view followers
        = u"\u00A9\u00B4\u00A8\u00AA\u00B9\u00BB\u00A7\u00AE\u00A2";
    std::mt19937 random(seed);
    std::uniform_int_distribution<std::size_t> follower(0, followers.size() - 1);
    std::uniform_int_distribution<int> percent(0, 99);
    std::u16string text;
    text.reserve(units + 2);
    while (text.size() < units) {
        const int kind = percent(random);
        if (kind < 80) {
            text += u'\u00C3';
            text += followers[follower(random)];
        } else if (kind < 90) {
            text += u'\u00C3';
        } else {
            text += followers[follower(random)];
        }
    }
    text.resize(units);
    return text;
}

double AccentedLetterShare(const std::u16string& text)
{
    std::size_t letters = 0;
    std::size_t accented = 0;
    for (char16_t c : text) {
        letters += IsLetter(c);
        accented += IsAccented(c);
    }
    return letters == 0 ? 0.0 : double(accented) / double(letters);
}

} // namespace orvik::bench
