// SPDX-License-Identifier: MIT
#include "window/text_file.h"

#include "text/utf.h"

namespace orvik {

DesktopError FileError(FileProblem problem, std::u16string_view file, std::u16string_view reason)
{
    const std::string named = "Le fichier « " + Utf8FromUtf16(file) + " »";
    switch (problem) {
    case FileProblem::Missing:
        return DesktopError(named + " est introuvable.");
    case FileProblem::Folder:
        return DesktopError(named + " est un dossier : déposez plutôt un fichier texte.");
    case FileProblem::NotAFile:
        return DesktopError(named + " n'est pas un fichier ordinaire.");
    case FileProblem::TooLarge:
        return DesktopError(
            named + " est trop grand : une zone de texte tient au plus 2 147 483 646 caractères.");
    case FileProblem::Unreadable:
        return DesktopError(named + " n'a pas pu être lu"
            + (reason.empty() ? std::string(".") : " : " + Utf8FromUtf16(reason)));
    case FileProblem::NotUtf8:
        break;
    }
    return DesktopError(named + " n'est pas un texte en UTF-8, le seul qu'orvik sache lire.");
}

std::u16string TextOfFile(std::string_view bytes, std::u16string_view file)
{
    if (bytes.starts_with("\xEF\xBB\xBF"))
        bytes.remove_prefix(3);
    for (std::size_t at = 0; at < bytes.size();) {
        const auto sequence = DecodeUtf8(bytes, at);
        if (!sequence || sequence->code == 0)
            throw FileError(FileProblem::NotUtf8, file);
        at += sequence->length;
    }
    return Utf16FromUtf8(bytes);
}

} // namespace orvik
