// SPDX-License-Identifier: MIT
#include "gui/win32/rich_edit_box.h"

#include "gui/win32/throw_system_error.h"
#include "window/desktop_error.h"

#include <algorithm>
#include <richedit.h>
#include <string>

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

// How many characters `text` takes in a box, which holds each line break as one character: a CR
// LF, and a CR CR LF (which RichEdit reads as one soft line break), as well as a lone CR or LF.
std::size_t BoxLength(std::u16string_view text)
{
    std::size_t length = 0;
    for (std::size_t i = 0; i < text.size(); ++length)
        i += text.substr(i, 3) == u"\r\r\n" ? 3 : text.substr(i, 2) == u"\r\n" ? 2 : 1;
    return length;
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
    // Put back should the box not take the text whole.
    const std::u16string before = ReadBoxText(box);
    const auto write = [box](const std::u16string& text, DWORD flags) {
        SETTEXTEX how {};
        how.flags = flags;
        how.codepage = kUtf16CodePage;
        return SendMessageW(box, EM_SETTEXTEX, reinterpret_cast<WPARAM>(&how),
                   reinterpret_cast<LPARAM>(text.c_str()))
            != 0;
    };
    // The new text replaces the old as one edit, which Ctrl+Z undoes.
    const bool written = write(
        std::u16string(text), text.size() <= kMaxUndoableBoxTextLength ? ST_KEEPUNDO : ST_DEFAULT);
    const auto held = std::size_t(std::max<LRESULT>(TextLength(box), 0));
    const std::size_t expected = BoxLength(text);
    if (written && held >= expected) {
        // The new text is shown from its start, the caret there, wherever the old one was.
        SendMessageW(box, EM_SETSEL, 0, 0);
        SendMessageW(box, WM_VSCROLL, SB_TOP, 0);
        return;
    }
    const bool restored = write(before, ST_DEFAULT);
    std::string what = held < expected ? "La zone de texte n'a reçu que " + std::to_string(held)
            + " des " + std::to_string(expected) + " caractères du texte"
                                       : "La zone de texte a refusé le texte";
    throw DesktopError(what
        + (restored ? " ; elle garde le texte qu'elle avait."
                    : " ; elle n'a pas pu reprendre le "
                      "texte qu'elle avait."));
}

HMENU MakeBoxMenu(HWND box)
{
    DWORD start = 0, end = 0;
    SendMessageW(box, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    const bool selection = start != end;
    const bool canPaste = IsClipboardFormatAvailable(CF_UNICODETEXT);
    const HMENU menu = CreatePopupMenu();
    const auto add = [menu](BoxMenuCommand command, const wchar_t* text, bool enabled) {
        AppendMenuW(menu, MF_STRING | (enabled ? MF_ENABLED : MF_GRAYED), UINT(command), text);
    };
    add(BoxMenuCommand::Undo, L"&Annuler", SendMessageW(box, EM_CANUNDO, 0, 0) != 0);
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    add(BoxMenuCommand::Cut, L"Co&uper", selection);
    add(BoxMenuCommand::Copy, L"&Copier", selection);
    add(BoxMenuCommand::Paste, L"C&oller", canPaste);
    add(BoxMenuCommand::Delete, L"&Supprimer", selection);
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    add(BoxMenuCommand::SelectAll, L"S\u00E9lectionner &tout", TextLength(box) > 0);
    return menu;
}

void RunBoxMenuCommand(HWND box, BoxMenuCommand command)
{
    // The message of each command, in the order of BoxMenuCommand; EM_SETSEL 0, -1 selects all.
    static constexpr UINT kMessages[] = { EM_UNDO, WM_CUT, WM_COPY, WM_PASTE, WM_CLEAR, EM_SETSEL };
    const UINT message = kMessages[UINT(command) - UINT(BoxMenuCommand::Undo)];
    SendMessageW(box, message, 0, message == EM_SETSEL ? -1 : 0);
}

} // namespace orvik
