// SPDX-License-Identifier: MIT
#include "window/text_file.h"

#include "text/utf.h"
#include "window/box_text_limit.h"
#include "window/desktop_error.h"

#include <cerrno>
#include <fstream>
#include <string_view>
#include <system_error>

namespace orvik {

namespace {

// "Le fichier « lettre.txt »", as the user named it.
std::string FileNamed(const std::filesystem::path& file)
{
    const std::u8string name = file.u8string();
    return "Le fichier « " + std::string(name.begin(), name.end()) + " »";
}

bool IsUtf8Text(std::string_view bytes)
{
    for (std::size_t at = 0; at < bytes.size();) {
        const auto sequence = DecodeUtf8(bytes, at);
        if (!sequence || sequence->code == 0)
            return false;
        at += sequence->length;
    }
    return true;
}

} // namespace

std::u16string ReadTextFile(const std::filesystem::path& file)
{
    const std::string named = FileNamed(file);
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(file, error);
    if (status.type() == std::filesystem::file_type::not_found)
        throw DesktopError(named + " est introuvable.");
    if (status.type() == std::filesystem::file_type::directory)
        throw DesktopError(named + " est un dossier : déposez plutôt un fichier texte.");
    if (!error && status.type() != std::filesystem::file_type::regular)
        throw DesktopError(named + " n'est pas un fichier ordinaire.");
    const std::uintmax_t size = std::filesystem::file_size(file, error);
    std::ifstream in(file, std::ios::binary);
    if (error || !in)
        throw DesktopError(named
            + (error == std::errc::permission_denied || errno == EACCES
                    ? " n'a pas pu être ouvert : accès refusé."
                    : " n'a pas pu être ouvert."));
    // A UTF-8 text never has more characters than bytes: up to this size it fits a box.
    if (size > kMaxBoxTextLength)
        throw DesktopError(
            named + " est trop grand : une zone de texte tient au plus 2 147 483 646 caractères.");
    std::string bytes(std::size_t(size), '\0');
    if (!in.read(bytes.data(), std::streamsize(size))
        || in.peek() != std::ifstream::traits_type::eof())
        throw DesktopError(named
            + " n'a pas pu être lu en entier : il a peut-être changé pendant la "
              "lecture.");
    std::string_view text = bytes;
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    if (!IsUtf8Text(text))
        throw DesktopError(named + " n'est pas un texte en UTF-8, le seul qu'orvik sache lire.");
    return Utf16FromUtf8(text);
}

} // namespace orvik
