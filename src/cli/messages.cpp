// SPDX-License-Identifier: MIT
#include "cli/messages.h"

#include "cli/system.h"
#include "text/utf.h"

namespace orvik::cli {

std::string LeftIntact(const std::string& what, std::error_code error)
{
    return what + " (" + DescribeError(error) + ") ; fichier laissé intact";
}

namespace {

class RefusalDescriptions final : public std::error_category
{
public:
    const char* name() const noexcept override { return "orvik-repair"; }
    std::string message(int refusal) const override
    {
        switch (Refusal(refusal)) {
        case Refusal::Folder:
            return "c'est un dossier";
        case Refusal::Link:
#ifdef _WIN32
            return "c'est un lien symbolique ou une jonction, réparez plutôt le fichier qu'il "
                   "désigne ; lien laissé intact";
#else
            return "c'est un lien symbolique, réparez plutôt le fichier qu'il désigne ; lien "
                   "laissé intact";
#endif
        case Refusal::NotRegularFile:
            return "ce n'est pas un fichier ordinaire, il ne peut être réparé que vers la sortie "
                   "standard";
        case Refusal::ReadOnly:
            return "le fichier est en lecture seule, ôtez-lui cet attribut pour le réparer ; "
                   "fichier laissé intact";
        case Refusal::OpenForWriting:
            return "un autre programme a ouvert le fichier pour y écrire, réessayez quand il "
                   "l'aura fermé ; fichier laissé intact";
        case Refusal::ChangedMeanwhile:
            return "un autre programme a modifié le fichier pendant sa réparation ; fichier "
                   "laissé intact";
        case Refusal::ChangedKeptAside:
            return "un autre programme a modifié le fichier pendant son remplacement : le texte "
                   "réparé est en place, et l'ancien, avec cette modification, est resté dans le "
                   "même dossier, sous un nom en .orvik-repair-";
        case Refusal::NoMatch:
            return "aucun fichier ne correspond à ce motif";
        }
        return "refus n° " + std::to_string(refusal);
    }
};

#ifndef _WIN32
// Characters a shell takes as they are, wherever they stand in a word.
bool IsPlain(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
        || std::string_view("%+,-./:=@_^").find(char(c)) != std::string_view::npos;
}

// How many bytes the UTF-8 character at `at` takes when it is well formed and printable (neither
// ASCII nor a C1 control, U+0080..U+009F); 0 otherwise.
std::size_t PrintableMultibyte(std::string_view s, std::size_t at)
{
    const std::optional<Utf8Sequence> sequence = DecodeUtf8(s, at);
    return sequence && sequence->code >= 0xA0 ? sequence->length : 0;
}

void AppendEscape(std::string& out, unsigned char c)
{
    switch (c) {
    case '\a':
        out += "\\a";
        return;
    case '\b':
        out += "\\b";
        return;
    case '\t':
        out += "\\t";
        return;
    case '\n':
        out += "\\n";
        return;
    case '\v':
        out += "\\v";
        return;
    case '\f':
        out += "\\f";
        return;
    case '\r':
        out += "\\r";
        return;
    default:
        out += '\\';
        out += char('0' + (c >> 6));
        out += char('0' + ((c >> 3) & 7));
        out += char('0' + (c & 7));
    }
}

#endif

} // namespace

const std::error_category& RefusalCategory()
{
    static const RefusalDescriptions category;
    return category;
}

#ifdef _WIN32
std::string QuoteName(std::string_view name)
{
    bool quoted = name.empty();
    std::string shown;
    for (std::size_t i = 0; i < name.size();) {
        const std::optional<Utf8Sequence> sequence = DecodeUtf8(name, i, LoneSurrogates::Keep);
        const char32_t code = sequence ? sequence->code : 0;
        if (code < 0x20 || (code >= 0x7F && code < 0xA0) || (code >= 0xD800 && code <= 0xDFFF)) {
            shown += "\uFFFD";
        } else {
            quoted = quoted
                || std::string_view(" &()[]{}^=;!'+,`~%").find(name[i]) != std::string_view::npos;
            shown += name.substr(i, sequence->length);
        }
        i += sequence ? sequence->length : 1;
    }
    return quoted ? '"' + shown + '"' : shown;
}
#else
std::string QuoteName(std::string_view name)
{
    if (name.empty())
        return "''";
    bool plain = name[0] != '~' && name[0] != '#';
    for (std::size_t i = 0; plain && i < name.size();) {
        const std::size_t length = PrintableMultibyte(name, i);
        plain = length > 0 || IsPlain((unsigned char)name[i]);
        i += length > 0 ? length : 1;
    }
    if (plain)
        return std::string(name);

    // Quoted runs of printable text and $'...' runs of escapes, side by side.
    enum class Run { None, Quoted, Escaped };
    Run run = Run::None;
    std::string out;
    const auto enter = [&](Run wanted) {
        if (run == wanted)
            return;
        if (run != Run::None)
            out += '\'';
        out += wanted == Run::Quoted ? "'" : "$'";
        run = wanted;
    };
    for (std::size_t i = 0; i < name.size();) {
        const unsigned char c = (unsigned char)name[i];
        const std::size_t length = c >= 0x80 ? PrintableMultibyte(name, i) : 0;
        if (length > 0) {
            enter(Run::Quoted);
            out += name.substr(i, length);
            i += length;
            continue;
        }
        if (c >= 0x20 && c < 0x7F) {
            enter(Run::Quoted);
            if (c == '\'')
                out += "'\\''"; // close, an escaped quote, open again
            else
                out += char(c);
        } else {
            enter(Run::Escaped);
            AppendEscape(out, c);
        }
        ++i;
    }
    out += '\'';
    return out;
}
#endif

std::string_view HelpText()
{
    // The followers are escaped: several of them look like ordinary punctuation.
    return "Usage : orvik-repair [OPTION]... [FICHIER]...\n"
           "Répare les lettres accentuées abîmées par un mauvais décodage (« \u00C3\u00A9t"
           "\u00C3\u00A9 »\n" // Ã©tÃ©
           "au lieu de « été ») dans chaque FICHIER, et écrit le texte réparé sur la sortie\n"
           "standard. Sans FICHIER, ou quand FICHIER est -, lit l'entrée standard.\n"
#ifdef _WIN32
           "Le texte tapé dans la console se termine par Ctrl+Z puis Entrée.\n"
#endif
           "\n"
           "  -i, --in-place   répare chaque FICHIER là où il est, au lieu d'écrire sur la\n"
           "                   sortie standard ; un fichier sans rien à réparer n'est pas\n"
           "                   réécrit, et en cas d'erreur l'original reste intact\n"
           "      --full       répare tout texte UTF-8 lu à tort comme du Windows-1252 ou\n"
           "                   du Latin-1, jusqu'à trois fois de suite : majuscules, œ, €,\n"
           "                   apostrophes, guillemets, espaces insécables (voir plus bas)\n"
           "  -h, --help       affiche cette aide et quitte\n"
           "      --version    affiche la version et quitte\n"
           "\n"
           "Le texte est lu en UTF-8. « \u00C3 » suivi de l'un de \u00A9 \u00B4 \u00A8 \u00AA "
           "\u00B9 \u00BB \u00A7 \u00AE \u00A2\n" // Ã, then © ´ ¨ ª ¹ » § ® ¢
           "devient é ô è ê ù û ç î â ; tout autre « \u00C3 » devient « à ». Tout le reste,\n"
           "fins de ligne et octets invalides compris, est recopié tel quel.\n"
           "\n"
           "Avec --full, toute suite de caractères qui représente un caractère UTF-8 est\n"
           "remplacée par lui (« \u00C3\u2030 » devient « É », " // Ã‰
           "« \u00C3\u0192\u00C2\u00A9 » devient « é »),\n" // ÃƒÂ©
           "sauf un caractère rare isolé ; un texte sain reste identique à l'octet près.\n"
           "Un texte qui cite exprès des caractères abîmés serait lui aussi réparé.\n"
           "\n"
           "Code de retour : 0 si tout s'est bien passé, 1 si un fichier n'a pas pu être lu\n"
           "ou écrit (les autres fichiers sont tout de même traités), 2 en cas d'erreur\n"
           "d'utilisation.\n"
           "\n"
           "Exemples :\n"
           "  orvik-repair abime.txt > repare.txt\n"
           "  orvik-repair -i *.txt\n"
           "  orvik-repair --full abime.txt > repare.txt\n";
}

} // namespace orvik::cli
