// SPDX-License-Identifier: MIT
// The Win32 window in this process: its controls where the description puts them, the tab order,
// the exact round trip of unusual text through the boxes and the clipboard, the buttons at work
// with their message boxes, and the version record of the built orvik.exe.
#include "gui/win32/frm_main.h"
#include "gui/win32/html_text.h"
#include "gui/win32/rich_edit_box.h"
#include "gui/win32/win32_desktop.h"
#include "orvik_version.h"
#include "text/utf.h"
#include "window/frm_main_description.h"
#include "window/main_commands.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <richedit.h>
#include <shlobj.h>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace orvik {
namespace {

using namespace std::chrono_literals;

std::u16string WindowText(HWND window)
{
    std::u16string text(std::size_t(GetWindowTextLengthW(window)) + 1, u'\0');
    text.resize(std::size_t(
        GetWindowTextW(window, reinterpret_cast<wchar_t*>(text.data()), int(text.size()))));
    return text;
}

// Runs `act`, closing with OK each message box it shows; returns "[title] prompt" for each, with
// " (icon)" where the box has one, which the window's message boxes never have.
template <class Act> std::u16string Shown(Act act)
{
    std::atomic<bool> stop = false;
    std::u16string seen;
    std::thread watcher([&stop, &seen] {
        while (!stop) {
            const HWND box = FindWindowW(L"#32770", nullptr);
            // Read once it shows: its controls are all made by then.
            if (box && IsWindowVisible(box)) {
                // A static control holding an icon (its id differs between wine and Windows).
                HICON icon = nullptr;
                for (HWND child = GetWindow(box, GW_CHILD); child && !icon;
                     child = GetWindow(child, GW_HWNDNEXT))
                    if (IsWindowVisible(child))
                        icon = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
                seen += u"[" + WindowText(box) + u"] " + WindowText(GetDlgItem(box, 0xFFFF))
                    + (icon ? u" (icon)" : u"");
                PostMessageW(box, WM_COMMAND, IDOK, 0);
                while (IsWindow(box))
                    std::this_thread::sleep_for(5ms);
            }
            std::this_thread::sleep_for(10ms);
        }
    });
    act();
    stop = true;
    watcher.join();
    return seen;
}

class Win32Window : public ::testing::Test
{
protected:
    void SetUp() override { window.Show(SW_SHOW); }

    HWND Control(std::string_view name) { return window.Control(name); }
    HWND BoxControl(Box box) { return Control(box == Box::Source ? "rtbSource" : "rtbResult"); }
    // Clicks the button and returns the message boxes it showed.
    std::u16string ClickAndClose(std::string_view button)
    {
        return Shown([&] { SendMessageW(Control(button), BM_CLICK, 0, 0); });
    }

    frmMain window { false };
    Win32Desktop& desktop = window.Desktop();
};

// At the density the test is run at (ORVIK_TEST_DPI, 96 when unset); then a second window.
TEST_F(Win32Window, ControlsStandWhereDescribed)
{
    const char* wanted = std::getenv("ORVIK_TEST_DPI");
    const int dpi = wanted ? std::atoi(wanted) : kStandardDpi;
    ASSERT_EQ(window.Dpi(), dpi);
    const auto px = [dpi](int twips) { return TwipsToPixels(twips, dpi); };
    const HWND frame = window.Handle();
    EXPECT_EQ(WindowText(frame), kMainWindow.caption);
    RECT client {};
    GetClientRect(frame, &client);
    EXPECT_EQ(client.right, px(kMainWindow.clientWidth));
    EXPECT_EQ(client.bottom, px(kMainWindow.clientHeight));
    // The frame is fixed.
    EXPECT_FALSE(GetWindowLongPtrW(frame, GWL_STYLE) & (WS_THICKFRAME | WS_MAXIMIZEBOX));

    for (const ControlDescription& described : kMainWindow.controls) {
        SCOPED_TRACE(described.name);
        const HWND control = Control(described.name);
        ASSERT_TRUE(control);
        RECT place {};
        GetWindowRect(control, &place);
        MapWindowPoints(HWND_DESKTOP, frame, reinterpret_cast<POINT*>(&place), 2);
        const Twips& at = described.place;
        EXPECT_EQ((std::array { place.left, place.top, place.right, place.bottom }),
            (std::array<LONG, 4> {
                px(at.left), px(at.top), px(at.left) + px(at.width), px(at.top) + px(at.height) }));
        EXPECT_TRUE(IsWindowVisible(control) && IsWindowEnabled(control));
        EXPECT_EQ(WindowText(control), described.text);
        wchar_t kind[32] {};
        GetClassNameW(control, kind, 32);
        if (described.kind == ControlKind::TextBox) {
            EXPECT_EQ(_wcsicmp(kind, MSFTEDIT_CLASS), 0) << kind;
            // Its text, as written (selected) and as typed (the default), plain and in the
            // described font and language.
            SendMessageW(control, EM_SETSEL, 0, -1);
            for (const WPARAM which : { SCF_DEFAULT, SCF_SELECTION }) {
                CHARFORMAT2W format {};
                format.cbSize = sizeof format;
                SendMessageW(control, EM_GETCHARFORMAT, which, reinterpret_cast<LPARAM>(&format));
                EXPECT_EQ(
                    format.dwEffects & (CFE_BOLD | CFE_ITALIC | CFE_UNDERLINE | CFE_STRIKEOUT), 0u);
                EXPECT_EQ(std::wstring(format.szFaceName), L"MS Sans Serif");
                EXPECT_EQ(format.yHeight, 170); // 8.5 points, in twips
                EXPECT_EQ(format.lcid, 0x040Cu); // French (France)
            }
            continue;
        }
        // The whole caption in the font the button draws it in, inside its edges.
        const HDC dc = GetDC(control);
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
        SIZE extent {};
        GetTextExtentPoint32W(dc, reinterpret_cast<const wchar_t*>(described.text.data()),
            int(described.text.size()), &extent);
        ReleaseDC(control, dc);
        EXPECT_LE(extent.cx, place.right - place.left - 6);
    }

    // A second window (another instance, say) opens down and right of the first, not on top of it.
    const frmMain second(false);
    RECT first {}, next {};
    GetWindowRect(frame, &first);
    GetWindowRect(second.Handle(), &next);
    EXPECT_GT(next.left, first.left);
    EXPECT_EQ(next.left - first.left, next.top - first.top);
}

// Tab moves the focus in the described order, in the boxes too, without typing a tab; there Enter
// presses a focused button, as Space does, and is left to a box to type a new line.
TEST_F(Win32Window, TabMovesTheFocusAndEnterPressesAFocusedButton)
{
    EXPECT_EQ(GetFocus(), Control("rtbResult"));
    // The control the focus reaches, then what Enter there shows, whether it takes the key, and the
    // lower box after it.
    for (const auto& [next, shown, pressed, result] : {
             std::tuple { "rtbSource", u"", false, u"" },
             { "CmdConvert", u"[Orvik : conversion] Il n'y a rien à convertir.", true, u"" },
             { "cmdCopy", u"", true, u"" },
             { "cmdPaste", u"", true, u"été" },
             { "rtbResult", u"", false, u"" },
         }) {
        SCOPED_TRACE(next);
        desktop.SetClipboardText(u"Ã©tÃ©");
        desktop.SetBoxText(Box::Source, u"");
        desktop.SetBoxText(Box::Result, u"");
        EXPECT_TRUE(window.PreTranslate({ GetFocus(), WM_KEYDOWN, VK_TAB, 0, 0, {} }));
        EXPECT_EQ(GetFocus(), Control(next));
        bool taken = false;
        EXPECT_EQ(Shown([&] {
            taken = window.PreTranslate({ GetFocus(), WM_KEYDOWN, VK_RETURN, 0, 0, {} });
        }),
            shown);
        EXPECT_EQ(taken, pressed);
        EXPECT_EQ(desktop.BoxText(Box::Result), result);
    }
}

// A right-click in a box shows its menu, in French, each item enabled when it can act (the text
// written can be undone, nothing is selected); another thread reads it as shown and picks
// "Sélectionner tout" by its letter. Then each command of the menu, in turn.
TEST_F(Win32Window, ARightClickInABoxShowsItsMenuAndItsCommandsAct)
{
    const HWND source = Control("rtbSource");
    desktop.SetBoxText(Box::Source, u"été");
    SendMessageW(source, EM_SETSEL, 1, 1);
    desktop.SetClipboardText(u"collé");
    std::u16string items;
    std::thread reader([&items] {
        HWND menu = nullptr;
        while (!(menu = FindWindowW(L"#32768", nullptr)) || !IsWindowVisible(menu))
            std::this_thread::sleep_for(5ms);
        const auto handle = reinterpret_cast<HMENU>(SendMessageW(menu, MN_GETHMENU, 0, 0));
        for (int i = 0; i < GetMenuItemCount(handle); ++i) {
            wchar_t text[64] {};
            GetMenuStringW(handle, UINT(i), text, 64, MF_BYPOSITION);
            const std::u16string item = reinterpret_cast<const char16_t*>(text);
            const bool grayed = GetMenuState(handle, UINT(i), MF_BYPOSITION) & MF_GRAYED;
            items += (item.empty() ? u"-" : item) + (grayed && !item.empty() ? u" (grisé)|" : u"|");
        }
        PostMessageW(menu, WM_CHAR, L't', 0);
    });
    RECT place {};
    GetWindowRect(source, &place);
    SendMessageW(window.Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(source),
        MAKELPARAM(place.left + 10, place.top + 10));
    reader.join();
    EXPECT_EQ(items,
        u"&Annuler|-|Co&uper (grisé)|&Copier (grisé)|C&oller|&Supprimer (grisé)|-|"
        u"Sélectionner &tout|");
    DWORD start = 1, end = 1;
    SendMessageW(
        source, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_TRUE(start == 0 && end >= 3) << start << " " << end; // RichEdit may take its last CR

    // On "été" with its first letter selected: the command, then the box's text and the
    // clipboard's after it.
    SendMessageW(source, EM_SETSEL, 0, 1);
    for (const auto& [command, text, clipboard] : {
             std::tuple { BoxMenuCommand::Copy, u"été", u"é" },
             { BoxMenuCommand::Cut, u"té", u"é" },
             { BoxMenuCommand::Undo, u"été", u"é" },
             { BoxMenuCommand::SelectAll, u"été", u"é" },
             { BoxMenuCommand::Delete, u"", u"é" },
             { BoxMenuCommand::Paste, u"é", u"é" },
         }) {
        SCOPED_TRACE(int(command));
        RunBoxMenuCommand(source, command);
        EXPECT_EQ(desktop.BoxText(Box::Source), text);
        EXPECT_EQ(desktop.ClipboardText(), clipboard);
    }
}

// Files dropped on the window, as Explorer drops them (WM_DROPFILES): the first one's text is read
// into the upper box and converted, the file left as it was; what cannot be read is reported.
TEST_F(Win32Window, ADroppedFileIsReadAndConverted)
{
    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path() / L"orvik dépôt";
    fs::create_directories(folder);
    const std::string damaged = "L'\xC3\x83\xC2\xA9t\xC3\x83\xC2\xA9";
    std::ofstream(folder / L"lettre d'été.txt", std::ios::binary) << damaged;
    std::ofstream(folder / L"autre.txt", std::ios::binary) << "autre";
    const std::u16string file
        = u"[orvik : erreur] Petite erreur, veuillez réessayer, merci\n\nLe fichier « "
        + folder.u16string();
    // The names dropped ("" for the folder itself), then the upper box's text and the messages.
    for (const auto& [dropped, source, shown] :
        std::vector<std::tuple<std::vector<std::wstring>, std::u16string, std::u16string>> {
            { { L"lettre d'été.txt", L"autre.txt" }, u"L'Ã©tÃ©", u"" },
            { { L"absent.txt" }, u"avant", file + u"\\absent.txt » est introuvable." },
            { { L"" }, u"avant", file + u" » est un dossier : déposez plutôt un fichier texte." },
        }) {
        desktop.SetBoxText(Box::Source, u"avant");
        std::wstring names;
        for (const std::wstring& name : dropped)
            names += (name.empty() ? folder : folder / name).native() + L'\0';
        const std::size_t size = (names.size() + 1) * sizeof(wchar_t);
        const HGLOBAL drop = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + size);
        auto* files = static_cast<DROPFILES*>(GlobalLock(drop));
        *files = { sizeof(DROPFILES), {}, FALSE, TRUE };
        std::memcpy(files + 1, names.c_str(), size);
        GlobalUnlock(drop);
        EXPECT_EQ(Shown([&] {
            SendMessageW(window.Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
        }),
            shown);
        EXPECT_EQ(desktop.BoxText(Box::Source), source);
    }
    EXPECT_EQ(desktop.BoxText(Box::Result), u"L'été");
    std::ifstream read(folder / L"lettre d'été.txt", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(read), {}), damaged);
    read.close();
    fs::remove_all(folder);
}

// What a box gives back: RichEdit holds every line break as one CR, read as LF; any other code
// unit comes back as written. On the clipboard each LF goes with a CR.
TEST_F(Win32Window, BoxesAndClipboardKeepEveryCodeUnit)
{
    // Separators and spaces plain text could change, a byte-order mark, an emoji, a combining
    // accent, lone surrogates.
    const std::u16string unusual = u"\ta\u00A0b\u202F!\u2028c\u2029d\uFEFF\U0001F600 e\u0301\xDC00"
                                   u"a\xD800";
    // Written, then read back from a box and from the clipboard.
    for (const auto& [written, boxed, clipboard] :
        std::vector<std::tuple<std::u16string, std::u16string, std::u16string>> {
            { u"\na\nb\r\nc\rd\n", u"\na\nb\nc\nd\n", u"\r\na\r\nb\r\nc\rd\r\n" },
            { unusual, unusual, unusual },
            { u"", u"", u"" },
        }) {
        SCOPED_TRACE(testing::PrintToString(written));
        for (const Box box : { Box::Source, Box::Result }) {
            desktop.SetBoxText(box, written);
            EXPECT_EQ(desktop.BoxText(box), boxed);
        }
        desktop.SetClipboardText(written);
        EXPECT_EQ(desktop.ClipboardText(), clipboard);
    }
    // RichEdit holds CR CR LF, its soft line break, as one character of its own: the text is taken.
    EXPECT_NO_THROW(desktop.SetBoxText(Box::Source, u"a\r\r\nb\r\r\r\nc"));
    std::u16string letters = desktop.BoxText(Box::Source);
    std::erase_if(letters, [](char16_t c) { return c <= u' '; });
    EXPECT_EQ(letters, u"abc");

    // What the user types or pastes is not cut at RichEdit's default 64 K. Wine's RichEdit does
    // not enforce that limit on a paste, so the limit itself is read.
    for (const char* box : { "rtbSource", "rtbResult" })
        EXPECT_GE(
            std::size_t(SendMessageW(Control(box), EM_GETLIMITTEXT, 0, 0)), kMaxBoxTextLength);
}

// A paste of a long text shows the start of both texts, the caret there too, and Ctrl+Z (EM_UNDO)
// in a box then brings back what it held before, what the user typed included. The opening texts
// are not an edit to undo, and a very long text empties the undo history rather than keep the old
// text in it.
TEST_F(Win32Window, APasteShowsItsStartAndCtrlZUndoesIt)
{
    const auto canUndo
        = [this](const char* box) { return SendMessageW(Control(box), EM_CANUNDO, 0, 0) != 0; };
    EXPECT_FALSE(canUndo("rtbSource") || canUndo("rtbResult"));
    // What the user typed in each box.
    const std::array typed { std::pair { Box::Source, u"tapé" },
        std::pair { Box::Result, u"aussi" } };
    for (const auto& [box, text] : typed) {
        SendMessageW(BoxControl(box), EM_SETSEL, 0, -1);
        SendMessageW(BoxControl(box), EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text));
    }
    std::u16string text;
    for (int line = 0; line < 200; ++line)
        text += u"Une ligne d'Ã©tÃ©\n";
    desktop.SetClipboardText(text);
    EXPECT_EQ(ClickAndClose("cmdPaste"), u"");
    for (const auto& [box, before] : typed) {
        const HWND control = BoxControl(box);
        EXPECT_EQ(SendMessageW(control, EM_GETFIRSTVISIBLELINE, 0, 0), 0);
        DWORD start = 1, end = 1;
        SendMessageW(
            control, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        EXPECT_EQ((std::pair { start, end }), (std::pair { DWORD(0), DWORD(0) }));
        SendMessageW(control, EM_UNDO, 0, 0);
        EXPECT_EQ(desktop.BoxText(box), before);
    }
    std::u16string longText;
    while (longText.size() <= kMaxUndoableBoxTextLength)
        longText += u"Une ligne de texte, une de plus.\n";
    desktop.SetBoxText(Box::Source, longText);
    EXPECT_FALSE(canUndo("rtbSource"));
}

// A box that takes half of any text longer than 8 characters, as one short of memory might.
WNDPROC g_richEdit = nullptr;
LRESULT CALLBACK TakesHalf(HWND box, UINT message, WPARAM wParam, LPARAM lParam)
{
    std::wstring text;
    if (message == EM_SETTEXTEX && (text = reinterpret_cast<const wchar_t*>(lParam)).size() > 8) {
        text.resize(text.size() / 2);
        lParam = reinterpret_cast<LPARAM>(text.c_str());
    }
    return CallWindowProcW(g_richEdit, box, message, wParam, lParam);
}

TEST_F(Win32Window, ATextTakenInPartIsReportedAndTheBoxKeepsItsText)
{
    desktop.SetBoxText(Box::Source, u"avant");
    g_richEdit = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
        Control("rtbSource"), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TakesHalf)));
    desktop.SetClipboardText(u"Ã©tÃ©\nÃ©tÃ©"); // 11 characters in the box, 12 with CR LF
    EXPECT_EQ(ClickAndClose("cmdPaste"),
        u"[orvik : erreur] Petite erreur, veuillez réessayer, merci\n\nLa zone de texte n'a reçu "
        u"que 6 des 11 caractères du texte ; elle garde le texte qu'elle avait.");
    EXPECT_EQ(desktop.BoxText(Box::Source), u"avant");
}

// `fragment` as Windows' "HTML Format" puts it, in a page with text before and after it.
std::string ClipboardHtml(const std::string& fragment)
{
    const std::string before
        = "<html><head><title>titre</title></head><body>avant<!--StartFragment-->";
    const std::string after = "<!--EndFragment-->apr\xC3\xA8s</body></html>";
    char header[106]; // 105 characters, each offset written in 10 digits
    const std::size_t from = 105 + before.size(), to = from + fragment.size();
    std::snprintf(header, sizeof header,
        "Version:0.9\r\nStartHTML:%010zu\r\nEndHTML:%010zu\r\nStartFragment:%010zu\r\n"
        "EndFragment:%010zu\r\n",
        std::size_t(105), to + after.size(), from, to);
    return header + before + fragment + after;
}

// What a reader sees of the clipboard's HTML, and only of the part that was copied.
TEST(PlainTextOfHtml, IsWhatAReaderSees)
{
    const std::vector<std::pair<std::string, std::u16string>> rows = {
        { ClipboardHtml("<p>L'\xC3\x83\xC2\xA9t\xC3\x83\xC2\xA9   est\r\n <b>chaud</b> </p>"
                        "<p>\xC3\x83&nbsp;Paris</p>"),
            u"L'Ã©tÃ© est chaud\nÃ\u00A0Paris" },
        { ClipboardHtml("caf&eacute; &amp; cr&#232;me &#xE9;t&#xe9; &#0; &inconnu; a&b 2 < 3"),
            u"café & crème été \uFFFD &inconnu; a&b 2 < 3" },
        { ClipboardHtml("<ul><li>un</li><li>deux<br>\r\n trois<br><br>quatre</li></ul>"),
            u"un\ndeux\ntrois\n\nquatre" },
        { ClipboardHtml("<PRE>a  b\r\n  c\rd</PRE>e"), u"a  b\n  c\nd\ne" },
        { ClipboardHtml("<STYLE>p{}</STYLE><script>x</y</SCRIPT><!-- <p>note</p> -->texte"),
            u"texte" },
        { ClipboardHtml("<table><tr><td title=\"a>b\">case</td><td>2</td></tr></table>"),
            u"case\n2" },
        { "<p>sans en-t\xC3\xAAte</p>", u"sans en-tête" },
    };
    for (const auto& [html, text] : rows)
        EXPECT_EQ(PlainTextOfHtml(html), text) << html;
}

// Clipboards other programs leave: the paste button's message, and the boxes after it; then the
// copy button puts the repaired text back alone, with CR LF line breaks.
TEST_F(Win32Window, PasteAndCopyTakeWhatOtherProgramsLeaveOnTheClipboard)
{
    const auto utf16 = [](std::u16string_view text) {
        return std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2);
    };
    // The clipboard's formats, each a name (or "text") and its bytes; then the message the paste
    // shows and the boxes' texts after it.
    for (const auto& [formats, shown, source, result] :
        std::vector<std::tuple<std::vector<std::pair<std::wstring, std::string>>, std::u16string,
            std::u16string, std::u16string>> {
            // A block larger than its text: what follows the first NUL is not text.
            { { { L"text", utf16({ u"Ã©\0t\0\0", 6 }) } }, u"", u"Ã©", u"é" },
            // HTML alone.
            { { { L"HTML Format", ClipboardHtml("<b>\xC3\x83\xC2\xA9t\xC3\x83\xC2\xA9</b>") } },
                u"", u"Ã©tÃ©", u"été" },
            // An image alone.
            { { { L"PNG", "\x89PNG" } }, u"[Orvik : conversion] Il n'y a rien à convertir.", u"",
                u"résultat" },
            // Text beside another program's format.
            { { { L"text", utf16(u"L'Ã©tÃ©\r\nÃ\u00A0 Paris") }, { L"orvik.test.other", "x" } },
                u"", u"L'Ã©tÃ©\nÃ\u00A0 Paris", u"L'été\nà\u00A0 Paris" },
        }) {
        SCOPED_TRACE(testing::PrintToString(result));
        desktop.SetBoxText(Box::Source, u"avant");
        desktop.SetBoxText(Box::Result, u"résultat");
        ASSERT_TRUE(OpenClipboard(window.Handle()));
        EmptyClipboard();
        for (const auto& [format, bytes] : formats) {
            const HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes.size() + 2);
            std::memcpy(GlobalLock(memory), bytes.data(), bytes.size());
            GlobalUnlock(memory);
            SetClipboardData(
                format == L"text" ? CF_UNICODETEXT : RegisterClipboardFormatW(format.c_str()),
                memory);
        }
        CloseClipboard();
        EXPECT_EQ(ClickAndClose("cmdPaste"), shown);
        EXPECT_EQ(desktop.BoxText(Box::Source), source);
        EXPECT_EQ(desktop.BoxText(Box::Result), result);
    }
    EXPECT_EQ(ClickAndClose("cmdCopy"), u"");
    EXPECT_EQ(desktop.ClipboardText(), u"L'été\r\nà\u00A0 Paris");
    EXPECT_FALSE(IsClipboardFormatAvailable(RegisterClipboardFormatW(L"orvik.test.other")));
}

// A clipboard another program holds open is waited for briefly, then reported (what the boxes
// hold after a failed paste or copy is the window's own: main_commands_test checks it).
TEST_F(Win32Window, BusyClipboardIsWaitedForThenReported)
{
    desktop.SetClipboardText(u"ancien");
    desktop.SetBoxText(Box::Result, u"résultat");
    // Another thread holds the clipboard open, as another program would, until `until` passes.
    using Clock = std::chrono::steady_clock;
    std::atomic<Clock::time_point> until = Clock::time_point::max();
    std::atomic<bool> held = false;
    std::thread holder([&held, &until] {
        held = OpenClipboard(nullptr);
        while (Clock::now() < until.load())
            std::this_thread::sleep_for(5ms);
        CloseClipboard();
    });
    while (!held)
        std::this_thread::sleep_for(1ms);
    for (const char* button : { "cmdCopy", "cmdPaste" }) {
        SCOPED_TRACE(button);
        EXPECT_EQ(ClickAndClose(button),
            u"[orvik : erreur] Petite erreur, veuillez réessayer, merci\n\nLe presse-papiers est "
            u"occupé par un autre programme ; réessayez dans un instant.");
    }
    // Let go of in a moment: the copy waits for it.
    until = Clock::now() + 150ms;
    EXPECT_EQ(ClickAndClose("cmdCopy"), u"");
    holder.join();
    EXPECT_EQ(desktop.ClipboardText(), u"résultat");
}

// Both programs' version records, the window's in US English, the filter's in French.
TEST(WindowsPrograms, CarryTheirIdentity)
{
    for (const auto& [exe, name, language, translation, description] :
        { std::tuple { ORVIK_EXE, "orvik", L"040904B0", DWORD(0x04B00409), "orvik" },
            { ORVIK_REPAIR_EXE, "orvik-repair", L"040C04B0", DWORD(0x04B0040C),
                "orvik-repair : réparation des lettres accentuées abîmées, en ligne de "
                "commande" } }) {
        SCOPED_TRACE(name);
        std::vector<char> record(GetFileVersionInfoSizeW(exe, nullptr));
        ASSERT_FALSE(record.empty());
        ASSERT_TRUE(GetFileVersionInfoW(exe, 0, DWORD(record.size()), record.data()));
        const auto query = [&record](const std::wstring& key) {
            void* data = nullptr;
            UINT length = 0;
            return VerQueryValueW(record.data(), key.c_str(), &data, &length) ? data : nullptr;
        };
        const auto value = [&](const wchar_t* key) {
            const auto* text = static_cast<const char16_t*>(
                query(std::wstring(L"\\StringFileInfo\\") + language + L"\\" + key));
            return text ? Utf8FromUtf16(text) : "(none)";
        };
        const std::string version = kVersionDisplay;
        for (const auto& [key, expected] :
            { std::pair<const wchar_t*, std::string> { L"FileVersion", version },
                { L"ProductVersion", version }, { L"ProductName", "orvik" },
                { L"InternalName", name }, { L"OriginalFilename", std::string(name) + ".exe" },
                { L"FileDescription", description },
                { L"LegalCopyright", "Copyright © 2026 the orvik authors" } })
            EXPECT_EQ(value(key), expected);
        EXPECT_NE(value(L"CompanyName"), "(none)");
        const auto* languages = static_cast<const DWORD*>(query(L"\\VarFileInfo\\Translation"));
        const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(query(L"\\"));
        ASSERT_TRUE(languages && fixed);
        EXPECT_EQ(*languages, translation); // the language, then code page 1200 (UTF-16)
        const auto [major, minor, patch, tweak] = kVersionParts;
        const auto ms = DWORD(major << 16 | minor), ls = DWORD(patch << 16 | tweak);
        EXPECT_EQ((std::array { fixed->dwFileVersionMS, fixed->dwFileVersionLS,
                      fixed->dwProductVersionMS, fixed->dwProductVersionLS }),
            (std::array { ms, ls, ms, ls }));
    }
}

} // namespace
} // namespace orvik
