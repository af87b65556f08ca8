// SPDX-License-Identifier: MIT
#include "gui/win32/frm_main.h"

#include "gui/win32/rich_edit_box.h"
#include "gui/win32/throw_system_error.h"
#include "gui/win32/wide_text.h"
#include "gui/win32/win32_desktop.h"
#include "window/frm_main_description.h"
#include "window/main_commands.h"

#include <algorithm>
#include <commctrl.h>
#include <richedit.h>
#include <shellapi.h>
#include <windowsx.h>

namespace orvik {

namespace {

constexpr wchar_t kWindowClass[] = L"orvik.frmMain";
// A fixed frame: a caption with its system menu and a minimise box; no maximise box, no sizing.
constexpr DWORD kWindowStyle
    = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kWindowExStyle = 0;
// Control ids: the index in the description, past IDOK and IDCANCEL, which a dialog manager might
// send for Enter and Esc.
constexpr int kFirstControlId = 100;

// Functions of Windows 10 (1607) and later, looked up so that the program still starts on a system
// without them, at the density of the screen.
template <typename Function> Function User32(const char* name)
{
    return reinterpret_cast<Function>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

int WindowDpi(HWND window)
{
    static const auto getDpiForWindow = User32<UINT(WINAPI*)(HWND)>("GetDpiForWindow");
    if (getDpiForWindow)
        if (const UINT dpi = getDpiForWindow(window))
            return int(dpi);
    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : kStandardDpi;
}

RECT OuterRect(int clientWidth, int clientHeight, int dpi)
{
    static const auto adjust
        = User32<BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT)>("AdjustWindowRectExForDpi");
    RECT rect { 0, 0, clientWidth, clientHeight };
    if (!adjust || !adjust(&rect, kWindowStyle, FALSE, kWindowExStyle, UINT(dpi)))
        AdjustWindowRectEx(&rect, kWindowStyle, FALSE, kWindowExStyle);
    return rect;
}

// The system's message font at `dpi`: the one dialog texts and buttons are written in.
LOGFONTW MessageFont(int dpi)
{
    static const auto forDpi
        = User32<BOOL(WINAPI*)(UINT, UINT, void*, UINT, UINT)>("SystemParametersInfoForDpi");
    NONCLIENTMETRICSW metrics {};
    metrics.cbSize = sizeof metrics;
    if (forDpi && forDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, UINT(dpi)))
        return metrics.lfMessageFont;
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
        return metrics.lfMessageFont;
    LOGFONTW font {};
    font.lfHeight = -MulDiv(9, dpi, 72);
    return font;
}

// The message font, shrunk a pixel at a time only if the caption would not fit inside the button
// otherwise, down to a size still comfortable to read.
HFONT CaptionFont(HWND button, const std::u16string& caption, int dpi)
{
    RECT rect {};
    GetClientRect(button, &rect);
    const int roomWidth = rect.right - rect.left - 2 * MulDiv(5, dpi, kStandardDpi);
    const int roomHeight = rect.bottom - rect.top - 2 * MulDiv(2, dpi, kStandardDpi);
    LOGFONTW font = MessageFont(dpi);
    const int start = font.lfHeight < 0 ? -font.lfHeight : MulDiv(12, dpi, kStandardDpi);
    const int smallest = MulDiv(8, dpi, kStandardDpi);
    const HDC dc = GetDC(button);
    HFONT chosen = nullptr;
    for (int height = start; height >= smallest && !chosen; --height) {
        font.lfHeight = -height;
        const HFONT candidate = CreateFontIndirectW(&font);
        if (!candidate)
            break;
        const HGDIOBJ before = SelectObject(dc, candidate);
        SIZE extent {};
        TEXTMETRICW metrics {};
        GetTextExtentPoint32W(dc, Wide(caption), int(caption.size()), &extent);
        GetTextMetricsW(dc, &metrics);
        SelectObject(dc, before);
        if ((extent.cx <= roomWidth && metrics.tmHeight - metrics.tmInternalLeading <= roomHeight)
            || height == smallest)
            chosen = candidate;
        else
            DeleteObject(candidate);
    }
    ReleaseDC(button, dc);
    return chosen;
}

RECT CentredOnWorkArea(HWND window, const RECT& outer)
{
    MONITORINFO monitor {};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& work = monitor.rcWork;
    const LONG width = outer.right - outer.left;
    const LONG height = outer.bottom - outer.top;
    const LONG left = work.left + std::max<LONG>(0, (work.right - work.left - width) / 2);
    const LONG top = work.top + std::max<LONG>(0, (work.bottom - work.top - height) / 2);
    return { left, top, left + width, top + height };
}

// `place`, moved down and right by `step` while another orvik window (of any instance) already
// stands there and the work area still holds it: a second window does not hide the first.
RECT BesideOtherWindows(HWND self, RECT place, int step)
{
    MONITORINFO monitor {};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromRect(&place, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const auto taken = [self](const RECT& at) {
        for (HWND other = nullptr;
             (other = FindWindowExW(nullptr, other, kWindowClass, nullptr));) {
            RECT there {};
            if (other != self && GetWindowRect(other, &there) && there.left == at.left
                && there.top == at.top)
                return true;
        }
        return false;
    };
    for (RECT next = place; taken(place); place = next) {
        OffsetRect(&next, step, step);
        if (next.right > monitor.rcWork.right || next.bottom > monitor.rcWork.bottom)
            break;
    }
    return place;
}

bool KeyDown(int key)
{
    return (GetKeyState(key) & 0x8000) != 0;
}

} // namespace

frmMain::frmMain(bool endsProgram)
    : m_endsProgram(endsProgram)
{
    LoadRichEdit();
    INITCOMMONCONTROLSEX controls { sizeof controls, ICC_STANDARD_CLASSES };
    InitCommonControlsEx(&controls);

    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &frmMain::WindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, L"IDI_ICON1");
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kWindowClass;
    if (!RegisterClassExW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        ThrowLastError(u"La fenêtre n'a pas pu être créée.");

    const std::u16string caption(kMainWindow.caption);
    m_window
        = CreateWindowExW(kWindowExStyle, kWindowClass, Wide(caption), kWindowStyle, CW_USEDEFAULT,
            CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, this);
    if (!m_window)
        ThrowLastError(u"La fenêtre n'a pas pu être créée.");

    // Created in tab order: the window's order of its children is the order Tab follows.
    for (const ControlDescription* control : InTabOrder()) {
        const auto index = std::size_t(control - kMainWindow.controls.data());
        const bool box = control->kind == ControlKind::TextBox;
        const DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP
            | (box ? WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | ES_NOHIDESEL
                   : BS_PUSHBUTTON);
        const std::u16string caption(box ? u"" : control->text);
        HWND& made = m_controls[index];
        made = CreateWindowExW(box ? WS_EX_CLIENTEDGE : 0, box ? MSFTEDIT_CLASS : WC_BUTTONW,
            Wide(caption), style, 0, 0, 0, 0, m_window,
            reinterpret_cast<HMENU>(INT_PTR(kFirstControlId + int(index))), instance, nullptr);
        if (!made)
            ThrowLastError(u"Les contrôles de la fenêtre n'ont pas pu être créés.");
        if (box) {
            SetUpBox(made);
            WriteBoxText(made, control->text);
            // The opening text is where the box starts, not an edit to undo.
            SendMessageW(made, EM_EMPTYUNDOBUFFER, 0, 0);
        }
    }
    Layout(WindowDpi(m_window));
    RECT outer {};
    GetWindowRect(m_window, &outer);
    // A caption's height (with the frame above it), as windows cascade.
    const int step = -OuterRect(0, 0, m_dpi).top;
    const RECT place = BesideOtherWindows(m_window, CentredOnWorkArea(m_window, outer), step);
    SetWindowPos(
        m_window, nullptr, place.left, place.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);

    m_desktop
        = std::make_unique<Win32Desktop>(m_window, Control("rtbSource"), Control("rtbResult"));
    m_commands = std::make_unique<MainCommands>(*m_desktop);
    // Files dropped anywhere on the window, on the boxes and buttons too, come to it.
    DragAcceptFiles(m_window, TRUE);
}

frmMain::~frmMain()
{
    if (m_window) {
        SetWindowLongPtrW(m_window, GWLP_USERDATA, 0);
        DestroyWindow(m_window);
    }
    for (const HFONT font : m_fonts)
        if (font)
            DeleteObject(font);
}

void frmMain::Show(int how)
{
    ShowWindow(m_window, how);
    UpdateWindow(m_window);
    m_lastFocus = Control(InTabOrder().front()->name);
    SetFocus(m_lastFocus);
}

void frmMain::OpenFile(std::u16string_view file)
{
    m_commands->OpenFile(file);
}

HWND frmMain::Control(std::string_view name) const
{
    const ControlDescription* control = FindControl(name);
    return control ? m_controls[std::size_t(control - kMainWindow.controls.data())] : nullptr;
}

void frmMain::Layout(int dpi)
{
    m_dpi = dpi;
    const auto px = [dpi](int twips) { return TwipsToPixels(twips, dpi); };
    const RECT outer = OuterRect(px(kMainWindow.clientWidth), px(kMainWindow.clientHeight), dpi);
    SetWindowPos(m_window, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
        SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    for (std::size_t i = 0; i < m_controls.size(); ++i) {
        const ControlDescription& control = kMainWindow.controls[i];
        const Twips& at = control.place;
        SetWindowPos(m_controls[i], nullptr, px(at.left), px(at.top), px(at.width), px(at.height),
            SWP_NOZORDER | SWP_NOACTIVATE);
        if (control.kind != ControlKind::Button)
            continue;
        const HFONT font = CaptionFont(m_controls[i], std::u16string(control.text), dpi);
        SendMessageW(m_controls[i], WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
        if (m_fonts[i])
            DeleteObject(m_fonts[i]);
        m_fonts[i] = font;
    }
}

void frmMain::RunCommand(int controlId)
{
    const int index = controlId - kFirstControlId;
    if (index < 0 || index >= int(m_controls.size()) || !m_commands)
        return;
    switch (kMainWindow.controls[std::size_t(index)].command) {
    case Command::Paste:
        m_commands->cmdPaste_Click();
        break;
    case Command::Convert:
        m_commands->CmdConvert_Click();
        break;
    case Command::Copy:
        m_commands->cmdCopy_Click();
        break;
    case Command::None:
        break;
    }
}

bool frmMain::PreTranslate(const MSG& message)
{
    if (message.message != WM_KEYDOWN || KeyDown(VK_CONTROL) || KeyDown(VK_MENU)
        || (message.hwnd != m_window && !IsChild(m_window, message.hwnd)))
        return false;
    // Enter on a focused button presses it, as Space does; in a box it starts a new line.
    if (message.wParam == VK_RETURN) {
        const auto button = std::ranges::find(m_controls, message.hwnd);
        if (button == m_controls.end()
            || kMainWindow.controls[std::size_t(button - m_controls.begin())].kind
                != ControlKind::Button)
            return false;
        SendMessageW(message.hwnd, BM_CLICK, 0, 0);
        return true;
    }
    // Tab moves the focus rather than typing a tab, in the boxes too; Ctrl+Tab still types one.
    if (message.wParam != VK_TAB)
        return false;
    if (const HWND next = GetNextDlgTabItem(m_window, GetFocus(), KeyDown(VK_SHIFT)))
        SetFocus(next);
    return true;
}

LRESULT CALLBACK frmMain::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* self
            = static_cast<frmMain*>(reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->m_window = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<frmMain*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    return self ? self->Handle(message, wParam, lParam)
                : DefWindowProcW(window, message, wParam, lParam);
}

LRESULT frmMain::Handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED && lParam != 0)
            RunCommand(LOWORD(wParam));
        return 0;
    case WM_DROPFILES: {
        // The first file dropped is opened; the drop's memory is the receiver's to free.
        const auto drop = reinterpret_cast<HDROP>(wParam);
        std::u16string file(DragQueryFileW(drop, 0, nullptr, 0), u'\0');
        const bool named = !file.empty()
            && DragQueryFileW(
                   drop, 0, reinterpret_cast<wchar_t*>(file.data()), UINT(file.size() + 1))
                == file.size();
        DragFinish(drop);
        if (named)
            OpenFile(file);
        return 0;
    }
    case WM_CONTEXTMENU: {
        // A right-click, Shift+F10 or the menu key in a box: its menu, where the mouse is or, from
        // the keyboard (-1), at the caret.
        const auto box = reinterpret_cast<HWND>(wParam);
        if (box != Control("rtbSource") && box != Control("rtbResult"))
            break;
        POINT at { GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam) };
        if (lParam == -1) {
            GetCaretPos(&at);
            ClientToScreen(box, &at);
        }
        const HMENU menu = MakeBoxMenu(box);
        const auto chosen = UINT(TrackPopupMenu(
            menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, m_window, nullptr));
        DestroyMenu(menu);
        if (chosen != 0)
            RunBoxMenuCommand(box, BoxMenuCommand(chosen));
        return 0;
    }
    case WM_SETCURSOR:
        if (m_desktop && m_desktop->Busy()) {
            SetCursor(LoadCursorW(nullptr, IDC_WAIT));
            return TRUE;
        }
        break;
    case WM_ACTIVATE:
        // The focus goes back where it was when the user comes back to the window.
        if (LOWORD(wParam) == WA_INACTIVE) {
            const HWND focus = GetFocus();
            if (focus && IsChild(m_window, focus))
                m_lastFocus = focus;
        } else if (m_lastFocus) {
            SetFocus(m_lastFocus);
            return 0;
        }
        break;
    case WM_DPICHANGED: {
        const auto* suggested = reinterpret_cast<const RECT*>(lParam);
        SetWindowPos(m_window, nullptr, suggested->left, suggested->top, 0, 0,
            SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        Layout(LOWORD(wParam));
        return 0;
    }
    case WM_DESTROY:
        if (m_endsProgram)
            PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(m_window, message, wParam, lParam);
}

int RunMessageLoop(frmMain& window)
{
    MSG message {};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (window.PreTranslate(message))
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return int(message.wParam);
}

} // namespace orvik
