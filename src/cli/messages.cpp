#include "cli/messages.h"

#include <cerrno>

namespace orvik::cli {

std::string DescribeError(int error)
{
    switch (error) {
    case ENOENT:
        return "fichier introuvable";
    case EACCES:
        return "permission refusée";
    case EPERM:
        return "opération non permise";
    case EISDIR:
        return "c'est un dossier";
    case ENOTDIR:
        return "un élément du chemin n'est pas un dossier";
    case ENOSPC:
        return "plus de place sur le disque";
    case EDQUOT:
        return "quota de disque dépassé";
    case EROFS:
        return "système de fichiers en lecture seule";
    case EIO:
        return "erreur d'entrée-sortie";
    case EFBIG:
        return "fichier trop gros";
    case ENAMETOOLONG:
        return "nom de fichier trop long";
    case ELOOP:
        return "trop de liens symboliques";
    case EMFILE:
    case ENFILE:
        return "trop de fichiers ouverts";
    case ENOMEM:
        return "mémoire insuffisante";
    case EPIPE:
        return "le lecteur a fermé le tube";
    case EBADF:
        return "descripteur de fichier fermé ou invalide";
    case EBUSY:
        return "ressource occupée";
    case ETXTBSY:
        return "fichier exécutable en cours d'utilisation";
    case ENXIO:
    case ENODEV:
        return "périphérique introuvable";
    case EXDEV:
        return "le fichier et le dossier sont sur des systèmes de fichiers différents";
    case EINVAL:
        return "opération impossible sur ce fichier";
    case EOVERFLOW:
        return "valeur trop grande pour ce système";
    default:
        return "erreur système n° " + std::to_string(error);
    }
}

std::string_view HelpText()
{
    // The followers are escaped: several of them look like ordinary punctuation.
    return "Usage : orvik-repair [OPTION]... [FICHIER]...\n"
           "Répare les lettres accentuées abîmées par un mauvais décodage (« \u00C3\u00A9t"
           "\u00C3\u00A9 »\n" // Ã©tÃ©
           "au lieu de « été ») dans chaque FICHIER, et écrit le texte réparé sur la sortie\n"
           "standard. Sans FICHIER, ou quand FICHIER est -, lit l'entrée standard.\n"
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
