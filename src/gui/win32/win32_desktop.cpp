// SPDX-License-Identifier: MIT
#include "gui/win32/win32_desktop.h"

#include "gui/win32/html_text.h"
#include "gui/win32/rich_edit_box.h"
#include "gui/win32/throw_system_error.h"
#include "gui/win32/wide_text.h"
#include "win32/system_error.h"
#include "window/desktop_error.h"
#include "window/error_description.h"
#include "window/text_file.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <thread>

namespace orvik {

namespace {

// How long an operation waits for a clipboard another program holds open.
constexpr int kClipboardTries = 20;
constexpr auto kClipboardPause = std::chrono::milliseconds(25);

// The clipboard, open for as long as this lives.
class OpenClipboardScope
{
public:
    explicit OpenClipboardScope(HWND owner)
    {
        for (int attempt = 1; !OpenClipboard(owner); ++attempt) {
            // Another program holding it open is the one reason the user can act on: said in
            // words, without the system's "access denied".
            if (GetLastError() != ERROR_ACCESS_DENIED)
                ThrowLastError(u"Le presse-papiers n'a pas pu être ouvert.");
            if (attempt == kClipboardTries)
                throw DesktopError("Le presse-papiers est occupé par un autre programme ; "
                                   "réessayez dans un instant.");
            std::this_thread::sleep_for(kClipboardPause);
        }
    }
    ~OpenClipboardScope() { CloseClipboard(); }
    OpenClipboardScope(const OpenClipboardScope&) = delete;
    OpenClipboardScope& operator=(const OpenClipboardScope&) = delete;
};

// A locked global memory block, unlocked when this goes.
class GlobalLockScope
{
public:
    explicit GlobalLockScope(HGLOBAL memory)
        : m_memory(memory)
        , m_data(GlobalLock(memory))
    { }
    ~GlobalLockScope()
    {
        if (m_data)
            GlobalUnlock(m_memory);
    }
    GlobalLockScope(const GlobalLockScope&) = delete;
    GlobalLockScope& operator=(const GlobalLockScope&) = delete;
    void* Data() const { return m_data; }

private:
    HGLOBAL m_memory;
    void* m_data;
};

// `text` with each LF that does not follow a CR preceded by one: Windows' line break.
std::u16string WithCrLf(std::u16string_view text)
{
    std::u16string out;
    out.reserve(text.size() + text.size() / 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\n' && (i == 0 || text[i - 1] != u'\r'))
            out += u'\r';
        out += text[i];
    }
    return out;
}

// The bytes of the clipboard's `format`, up to the NULs that end its block.
std::string ClipboardBytes(UINT format)
{
    const HANDLE data = GetClipboardData(format);
    const GlobalLockScope lock(data);
    if (!data || !lock.Data())
        ThrowLastError(u"Le texte du presse-papiers n'a pas pu être lu.");
    std::string_view bytes(static_cast<const char*>(lock.Data()), GlobalSize(data));
    while (!bytes.empty() && bytes.back() == '\0')
        bytes.remove_suffix(1);
    return std::string(bytes);
}

} // namespace

Win32Desktop::Win32Desktop(HWND window, HWND source, HWND result)
    : m_window(window)
    , m_source(source)
    , m_result(result)
{ }

std::u16string Win32Desktop::BoxText(Box box)
{
    return ReadBoxText(BoxFor(box));
}

void Win32Desktop::SetBoxText(Box box, std::u16string_view text)
{
    WriteBoxText(BoxFor(box), text);
}

void Win32Desktop::ClearClipboard()
{
    const OpenClipboardScope clipboard(m_window);
    if (!EmptyClipboard())
        ThrowLastError(u"Le presse-papiers n'a pas pu être vidé.");
}

std::u16string Win32Desktop::ClipboardText()
{
    const OpenClipboardScope clipboard(m_window);
    // HTML alone (as some browsers and mail programs leave it) gives its plain text; any other
    // format alone (an image, say) reads as an empty text.
    if (!IsClipboardFormatAvailable(CF_UNICODETEXT)) {
        const UINT html = RegisterClipboardFormatW(L"HTML Format");
        return html && IsClipboardFormatAvailable(html) ? PlainTextOfHtml(ClipboardBytes(html))
                                                        : std::u16string();
    }
    const HANDLE data = GetClipboardData(CF_UNICODETEXT);
    if (!data)
        ThrowLastError(u"Le texte du presse-papiers n'a pas pu être lu.");
    const GlobalLockScope lock(data);
    if (!lock.Data())
        ThrowLastError(u"Le texte du presse-papiers n'a pas pu être lu.");
    // The text ends at its first NUL, as the format has it: the block may be larger than the
    // text, and what follows the NUL is not text (RichEdit's own copy leaves a character there).
    // Without a NUL, at the end of the block, should a careless program leave none.
    std::u16string_view text(
        static_cast<const char16_t*>(lock.Data()), GlobalSize(data) / sizeof(char16_t));
    return std::u16string(text.substr(0, text.find(u'\0')));
}

void Win32Desktop::SetClipboardText(std::u16string_view text)
{
    const std::u16string windowsText = WithCrLf(text);
    const std::size_t bytes = (windowsText.size() + 1) * sizeof(char16_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (!memory)
        throw DesktopError("Mémoire insuffisante pour placer ce texte dans le presse-papiers.");
    {
        const GlobalLockScope lock(memory);
        if (!lock.Data()) {
            GlobalFree(memory);
            ThrowLastError(u"Le texte n'a pas pu être placé dans le presse-papiers.");
        }
        std::memcpy(lock.Data(), windowsText.c_str(), bytes);
    }
    const OpenClipboardScope clipboard(m_window);
    if (!EmptyClipboard() || !SetClipboardData(CF_UNICODETEXT, memory)) {
        const DWORD error = GetLastError();
        GlobalFree(memory);
        ThrowSystemError(u"Le texte n'a pas pu être placé dans le presse-papiers.", error);
    }
    // The clipboard owns the memory now.
}

void Win32Desktop::ShowMessage(std::u16string_view prompt, std::u16string_view title)
{
    const std::u16string promptText(prompt);
    const std::u16string titleText(title);
    if (MessageBoxW(m_window, Wide(promptText), Wide(titleText), MB_OK) == 0)
        ThrowLastError(u"Le message n'a pas pu être affiché.");
}

std::string Win32Desktop::ReadFile(std::u16string_view file, std::size_t limit)
{
    const std::u16string name(file);
    // FILE_FLAG_BACKUP_SEMANTICS opens a folder too, so that it can be named as one. Others may
    // go on reading and writing the file meanwhile: it is only read.
    const HANDLE handle = CreateFileW(Wide(name), GENERIC_READ,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    const auto unreadable = [file](DWORD error) {
        return FileError(FileProblem::Unreadable, file, FrenchSystemMessage(error));
    };
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            throw FileError(FileProblem::Missing, file);
        throw unreadable(error);
    }
    const std::unique_ptr<void, decltype(&CloseHandle)> closed(handle, &CloseHandle);
    BY_HANDLE_FILE_INFORMATION information;
    LARGE_INTEGER size;
    if (GetFileType(handle) != FILE_TYPE_DISK)
        throw FileError(FileProblem::NotAFile, file);
    if (!GetFileInformationByHandle(handle, &information) || !GetFileSizeEx(handle, &size))
        throw unreadable(GetLastError());
    if (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        throw FileError(FileProblem::Folder, file);
    if (std::uint64_t(size.QuadPart) > limit)
        throw FileError(FileProblem::TooLarge, file);
    std::string bytes(std::size_t(size.QuadPart), '\0');
    std::size_t at = 0;
    for (DWORD got = 1; at < bytes.size() && got > 0; at += got) {
        if (!::ReadFile(handle, bytes.data() + at,
                DWORD(std::min<std::size_t>(bytes.size() - at, 1u << 30)), &got, nullptr))
            throw unreadable(GetLastError());
    }
    bytes.resize(at); // shorter, should the file have shrunk meanwhile
    return bytes;
}

std::u16string Win32Desktop::DescribeCurrentError()
{
    return DescribeException(std::current_exception());
}

void Win32Desktop::BeginBusy() noexcept
{
    if (m_busy++ == 0)
        m_cursorBefore = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
}

void Win32Desktop::EndBusy() noexcept
{
    if (m_busy > 0 && --m_busy == 0)
        SetCursor(m_cursorBefore);
}

} // namespace orvik
