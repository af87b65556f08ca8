// SPDX-License-Identifier: MIT
#include "gui/win32/rich_edit_box.h"

#include "gui/win32/throw_system_error.h"
#include "window/desktop_error.h"

#include <richedit.h>

namespace orvik {

static_assert(sizeof(wchar_t) == sizeof(char16_t));

namespace {

// The code page that makes RichEdit's text messages speak UTF-16.
constexpr UINT kUtf16CodePage = 1200;

LRESULT TextLength(HWND box)
{
    GETTEXTLENGTHEX query {};
    query.flags = GTL_NUMCHARS | GTL_PRECISE;
    query.codepage = kUtf16CodePage;
    return SendMessageW(box, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&query), 0);
}

} // namespace

void LoadRichEdit()
{
    static const HMODULE library = LoadLibraryW(L"msftedit.dll");
    if (!library)
        ThrowLastError(u"Le contrôle de texte de Windows (msftedit.dll) n'a pas pu être chargé.");
}

void SetUpBox(HWND box)
{
    // Plain text: pasted formatting is dropped, and the text is read and written as such.
    SendMessageW(box, EM_SETTEXTMODE, TM_PLAINTEXT | TM_MULTILEVELUNDO | TM_MULTICODEPAGE, 0);
    // Without this, a RichEdit box holds at most 64 K characters.
    SendMessageW(box, EM_EXLIMITTEXT, 0, LPARAM(kMaxBoxTextLength));

    // The whole format, not only the font: RichEdit's own default is bold, and what the mask leaves
    // out stays as it was.
    CHARFORMAT2W format {};
    format.cbSize = sizeof format;
    format.dwMask = CFM_ALL | CFM_LCID | CFM_WEIGHT | CFM_BACKCOLOR;
    format.dwEffects = CFE_AUTOCOLOR | CFE_AUTOBACKCOLOR; // neither bold, italic nor underlined
    format.wWeight = FW_NORMAL;
    format.yHeight = LONG(kMainWindow.boxFontHalfPoints) * 10; // twips
    format.bCharSet = DEFAULT_CHARSET;
    format.lcid = MAKELCID(kMainWindow.boxLanguage, SORT_DEFAULT);
    kMainWindow.boxFontFace.copy(reinterpret_cast<char16_t*>(format.szFaceName), LF_FACESIZE - 1);
    SendMessageW(box, EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
}

std::u16string ReadBoxText(HWND box)
{
    const LRESULT length = TextLength(box);
    if (length < 0 || std::size_t(length) > kMaxBoxTextLength)
        throw DesktopError("La zone de texte n'a pas pu être lue.");
    std::u16string text(std::size_t(length) + 1, u'\0');
    GETTEXTEX query {};
    query.cb = DWORD(text.size() * sizeof(char16_t));
    query.flags = GT_DEFAULT;
    query.codepage = kUtf16CodePage;
    const LRESULT copied = SendMessageW(
        box, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&query), reinterpret_cast<LPARAM>(text.data()));
    if (copied < 0 || copied > length)
        throw DesktopError("La zone de texte n'a pas pu être lue.");
    text.resize(std::size_t(copied));
    for (char16_t& c : text)
        if (c == u'\r')
            c = u'\n';
    return text;
}

void WriteBoxText(HWND box, std::u16string_view text)
{
    CheckBoxTextLength(text.size());
    if (text.find(u'\0') != std::u16string_view::npos)
        throw DesktopError("Ce texte contient le caractère nul (U+0000), qu'une zone de texte ne "
                           "peut pas contenir.");
    // The box stores CR LF as one CR: that is how long the text will be.
    std::size_t expected = text.size();
    for (std::size_t i = 1; i < text.size(); ++i)
        expected -= text[i - 1] == u'\r' && text[i] == u'\n';

    const std::u16string terminated(text);
    SETTEXTEX how {};
    // The new text replaces the old as one edit, which Ctrl+Z undoes.
    how.flags = text.size() <= kMaxUndoableBoxTextLength ? ST_KEEPUNDO : ST_DEFAULT;
    how.codepage = kUtf16CodePage;
    const LRESULT written = SendMessageW(box, EM_SETTEXTEX, reinterpret_cast<WPARAM>(&how),
        reinterpret_cast<LPARAM>(terminated.c_str()));
    if (!written || TextLength(box) != LRESULT(expected))
        throw DesktopError("La zone de texte n'a pas pu recevoir tout le texte : la mémoire manque "
                           "peut-être.");
}

} // namespace orvik
