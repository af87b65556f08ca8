// SPDX-License-Identifier: MIT
// The system layer on Windows: handles behind the C runtime's descriptors, GetLastError() codes,
// ReplaceFileW and the console's control events. Every read and write goes straight to the handle
// with ReadFile and WriteFile, so that no text-mode translation touches the bytes.
#include "cli/messages.h"
#include "cli/system.h"
#include "text/utf.h"
#include "win32/system_error.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <random>
#include <utility>
#include <windows.h>

namespace orvik::cli {

namespace {

std::error_code SystemError(DWORD code)
{
    return { int(code), std::system_category() };
}

// The error code GetLastError() holds.
std::error_code LastError()
{
    return SystemError(GetLastError());
}

HANDLE HandleOf(int fd)
{
    return reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

// Whether `name` holds * or ?, which no Windows file name can hold: a pattern. The "\\?\" that
// starts a long path is no pattern.
bool HoldsWildcard(std::string_view name)
{
    if (name.starts_with("\\\\?\\"))
        name.remove_prefix(4);
    return name.find_first_of("*?") != std::string_view::npos;
}

// The program's own French texts, for a system without French ones.
std::string OwnDescription(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
        return "fichier introuvable";
    case ERROR_PATH_NOT_FOUND:
        return "chemin introuvable";
    case ERROR_ACCESS_DENIED:
        return "accès refusé";
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return "fichier utilisé par un autre programme";
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return "plus de place sur le disque";
    case ERROR_WRITE_PROTECT:
        return "support protégé en écriture";
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
        return "nom de fichier invalide";
    case ERROR_FILENAME_EXCED_RANGE:
        return "nom de fichier trop long";
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return "mémoire insuffisante";
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA:
        return "le lecteur a fermé le tube";
    case ERROR_INVALID_HANDLE:
        return "descripteur de fichier fermé ou invalide";
    case ERROR_NOT_SAME_DEVICE:
        return "le fichier et le dossier sont sur des volumes différents";
    case ERROR_FILE_TOO_LARGE:
        return "fichier trop gros";
    case ERROR_CRC:
    case ERROR_IO_DEVICE:
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT:
        return "erreur d'entrée-sortie";
    case ERROR_TOO_MANY_OPEN_FILES:
        return "trop de fichiers ouverts";
    default:
        return "erreur Windows n° " + std::to_string(error);
    }
}

// Whether `handle` is a console, which takes text as UTF-16 rather than bytes.
bool IsConsole(HANDLE handle)
{
    DWORD mode;
    return GetConsoleMode(handle, &mode) != 0;
}

std::error_code WriteToConsole(HANDLE console, std::u16string_view text)
{
    for (std::size_t at = 0; at < text.size();) {
        DWORD put = 0;
        const DWORD chunk = DWORD(std::min<std::size_t>(text.size() - at, 16384));
        if (!WriteConsoleW(console, text.data() + at, chunk, &put, nullptr))
            return LastError();
        at += put;
    }
    return {};
}

} // namespace

std::u16string ConsoleText::Next(std::string_view bytes)
{
    std::string text = m_held + std::string(bytes);
    // The start of the last character, when it is not complete.
    std::size_t cut = text.size();
    for (std::size_t back = 1; back <= 3 && back <= text.size(); ++back) {
        const auto byte = static_cast<unsigned char>(text[text.size() - back]);
        if ((byte & 0xC0) == 0x80)
            continue;
        const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
        if (length > back)
            cut = text.size() - back;
        break;
    }
    m_held = text.substr(cut);
    text.resize(cut);
    return Utf16FromUtf8(text);
}

std::u16string ConsoleText::Rest()
{
    return Utf16FromUtf8(std::exchange(m_held, {}));
}

void ConsoleInput::Add(std::u16string_view typed)
{
    if (typed.empty()) {
        m_ended = true;
        return;
    }
    if (const std::size_t end = typed.find(u'\x1A'); end != std::u16string_view::npos) {
        typed = typed.substr(0, end);
        m_ended = true;
    }
    std::u16string text = std::exchange(m_highSurrogate, {}) + std::u16string(typed);
    if (!m_ended && !text.empty() && text.back() >= 0xD800 && text.back() <= 0xDBFF) {
        m_highSurrogate = text.back();
        text.pop_back();
    }
    m_bytes.erase(0, std::exchange(m_at, 0));
    m_bytes += Utf8FromUtf16(text);
}

std::size_t ConsoleInput::Take(char* buffer, std::size_t size)
{
    const std::size_t taken = std::min(size, m_bytes.size() - m_at);
    std::memcpy(buffer, m_bytes.data() + m_at, taken);
    m_at += taken;
    if (taken == 0)
        m_ended = false;
    return taken;
}

bool IsConsole(int fd)
{
    return IsConsole(HandleOf(fd));
}

bool IsClosedPipe(std::error_code error)
{
    return error.category() == std::system_category()
        && (error.value() == ERROR_BROKEN_PIPE || error.value() == ERROR_NO_DATA
            || error.value() == ERROR_PIPE_NOT_CONNECTED);
}

std::string DescribeError(std::error_code error)
{
    if (error.category() == RefusalCategory())
        return error.message();
    const auto code = static_cast<DWORD>(error.value());
    std::u16string system = FrenchSystemMessage(code);
    while (!system.empty() && system.back() == u'.')
        system.pop_back();
    // "Accès refusé" within a sentence: the first letter small, unless it starts a word in
    // capitals.
    if (system.size() > 1 && system[0] >= u'A' && system[0] <= u'Z'
        && !(system[1] >= u'A' && system[1] <= u'Z'))
        system[0] = char16_t(system[0] - u'A' + u'a');
    if (!system.empty())
        return Utf8FromUtf16(system);
    return OwnDescription(code);
}

std::expected<std::size_t, std::error_code> ReadSome(int fd, char* buffer, std::size_t size)
{
    const HANDLE handle = HandleOf(fd);
    if (IsConsole(handle)) {
        // A console gives bytes in its code page (850 on a French system), which would garble
        // every accent: its text is read as UTF-16. Only standard input is ever a console.
        static ConsoleInput input;
        while (!input.Ready()) {
            wchar_t typed[4096];
            DWORD got = 0;
            if (!ReadConsoleW(handle, typed, DWORD(std::size(typed)), &got, nullptr))
                return std::unexpected(LastError());
            input.Add({ reinterpret_cast<const char16_t*>(typed), got });
        }
        return input.Take(buffer, size);
    }
    DWORD got = 0;
    if (ReadFile(handle, buffer, DWORD(std::min<std::size_t>(size, 1u << 30)), &got, nullptr))
        return got;
    // The writer of a pipe has closed its end: that is the end of the text.
    if (GetLastError() == ERROR_BROKEN_PIPE)
        return 0;
    return std::unexpected(LastError());
}

std::error_code WriteAll(int fd, std::string_view bytes)
{
    const HANDLE handle = HandleOf(fd);
    while (!bytes.empty()) {
        DWORD put = 0;
        const DWORD size = DWORD(std::min<std::size_t>(bytes.size(), 1u << 30));
        if (!WriteFile(handle, bytes.data(), size, &put, nullptr))
            return LastError();
        if (put == 0)
            return SystemError(ERROR_WRITE_FAULT);
        bytes.remove_prefix(put);
    }
    return {};
}

std::error_code Output::Write(std::string_view bytes)
{
    const HANDLE handle = HandleOf(m_fd);
    if (!IsConsole(handle))
        return WriteAll(m_fd, bytes);
    return WriteToConsole(handle, m_console.Next(bytes));
}

Output::~Output()
{
    // Nothing is left to tell a failure to.
    if (const std::u16string rest = m_console.Rest(); !rest.empty())
        WriteToConsole(HandleOf(m_fd), rest);
}

// wchar_t holds UTF-16 on Windows.
std::string Utf8FromWide(std::wstring_view wide)
{
    return Utf8FromUtf16(
        std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size()),
        LoneSurrogates::Keep);
}

std::wstring WideFromUtf8(std::string_view utf8)
{
    const std::u16string wide = Utf16FromUtf8(utf8, LoneSurrogates::Keep);
    return { wide.begin(), wide.end() };
}

std::vector<std::string> ExpandWildcards(std::span<const std::string> words)
{
    std::vector<std::string> out;
    bool options = true;
    for (const std::string& word : words) {
        if (options && word == "--")
            options = false;
        if ((options && word.starts_with('-')) || word == "/?" || !HoldsWildcard(word)) {
            out.push_back(word);
            continue;
        }
        // The folder part as typed, up to the last separator or the drive's colon.
        const std::wstring pattern = WideFromUtf8(word);
        const std::size_t cut = pattern.find_last_of(L"\\/:");
        const std::wstring folder = cut == std::wstring::npos ? L"" : pattern.substr(0, cut + 1);
        std::vector<std::wstring> names;
        WIN32_FIND_DATAW found;
        const HANDLE search = FindFirstFileExW(
            pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                const std::wstring_view name = found.cFileName;
                if (name != L"." && name != L"..")
                    names.push_back(folder + found.cFileName);
            } while (FindNextFileW(search, &found));
            FindClose(search);
        }
        if (names.empty()) {
            out.push_back(word);
            continue;
        }
        // As Explorer lists them: letters of either case together.
        std::ranges::sort(names, [](const std::wstring& a, const std::wstring& b) {
            return CompareStringOrdinal(a.c_str(), int(a.size()), b.c_str(), int(b.size()), TRUE)
                == CSTR_LESS_THAN;
        });
        for (const std::wstring& name : names)
            out.push_back(Utf8FromWide(name));
    }
    return out;
}

std::expected<int, std::error_code> OpenToRead(const std::string& path)
{
    if (HoldsWildcard(path))
        return std::unexpected(Refusal::NoMatch);
    const HANDLE handle = CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return std::unexpected(LastError());
    // Opened so that a folder can be named as such rather than as a refused access.
    BY_HANDLE_FILE_INFORMATION information;
    if (GetFileInformationByHandle(handle, &information)
        && (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        CloseHandle(handle);
        return std::unexpected(Refusal::Folder);
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(handle);
        return std::unexpected(SystemError(ERROR_TOO_MANY_OPEN_FILES));
    }
    return fd;
}

void CloseFile(int fd)
{
    _close(fd);
}

bool IsRegularFile(int fd)
{
    return GetFileType(HandleOf(fd)) == FILE_TYPE_DISK;
}

// The volume's serial number and the file's index name a file; msvcrt's st_ino is always 0.
bool SameFile(int a, int b)
{
    BY_HANDLE_FILE_INFORMATION first, second;
    return IsRegularFile(a) && IsRegularFile(b) && GetFileInformationByHandle(HandleOf(a), &first)
        && GetFileInformationByHandle(HandleOf(b), &second)
        && first.dwVolumeSerialNumber == second.dwVolumeSerialNumber
        && first.nFileIndexHigh == second.nFileIndexHigh
        && first.nFileIndexLow == second.nFileIndexLow;
}

unsigned long KeptAttributes(unsigned long original)
{
    constexpr DWORD kKept = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM
        | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    const DWORD kept = original & kKept;
    return kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL;
}

namespace {

// The new file of the repair under way, for the console's control handler, which runs on a thread
// of its own: the lock keeps its name and existence in agreement.
SRWLOCK g_temporaryLock = SRWLOCK_INIT;
std::wstring g_temporaryPath;
bool g_temporaryActive = false;

class TemporaryLocked
{
public:
    TemporaryLocked() { AcquireSRWLockExclusive(&g_temporaryLock); }
    TemporaryLocked(const TemporaryLocked&) = delete;
    TemporaryLocked& operator=(const TemporaryLocked&) = delete;
    ~TemporaryLocked() { ReleaseSRWLockExclusive(&g_temporaryLock); }
};

BOOL WINAPI RemoveTemporaryAndEnd(DWORD)
{
    // The lock is kept: the program ends with this event, and must not replace the file after.
    AcquireSRWLockExclusive(&g_temporaryLock);
    if (g_temporaryActive)
        DeleteFileW(g_temporaryPath.c_str()); // removed once its handle is closed, at the end
    // The next handler, the system's, ends the program.
    return FALSE;
}

// `path` made absolute, which ReplaceFileW is given.
std::wstring FullPath(const std::wstring& path)
{
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0)
        return path;
    std::wstring full(size, L'\0');
    full.resize(GetFullPathNameW(path.c_str(), size, full.data(), nullptr));
    return full;
}

// The folder that holds `path`, made absolute and ending in a separator ("" for a bare name that
// could not be made absolute: the current folder). std::filesystem would do the same, but its
// static copy makes the program three times larger.
std::wstring FolderOf(const std::wstring& path)
{
    std::wstring folder = FullPath(path);
    const std::size_t end = folder.find_last_of(L"\\/");
    folder.resize(end == std::wstring::npos ? 0 : end + 1);
    return folder;
}

class WindowsInPlace final : public InPlaceSystem
{
public:
    std::expected<Original, std::error_code> OpenOriginal(const std::string& path) override
    {
        if (HoldsWildcard(path))
            return std::unexpected(Refusal::NoMatch);
        // FILE_FLAG_OPEN_REPARSE_POINT opens a link or junction itself, so that it can be refused;
        // FILE_FLAG_BACKUP_SEMANTICS opens a folder, so that it can be named as one. No one else
        // may write to the file while it is repaired.
        const HANDLE handle = CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ,
            FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
            FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_SEQUENTIAL_SCAN,
            nullptr);
        if (handle == INVALID_HANDLE_VALUE)
            return std::unexpected(LastError());
        std::error_code refused;
        BY_HANDLE_FILE_INFORMATION information;
        if (GetFileType(handle) != FILE_TYPE_DISK)
            refused = Refusal::NotRegularFile;
        else if (!GetFileInformationByHandle(handle, &information))
            refused = LastError();
        else if (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
            refused = Refusal::Link;
        else if (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            refused = Refusal::Folder;
        else {
            const int fd
                = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
            if (fd < 0) {
                CloseHandle(handle);
                return std::unexpected(SystemError(ERROR_TOO_MANY_OPEN_FILES));
            }
            // Windows replaces no read-only file; the user decides whether it may change.
            if (information.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
                return Original { fd, Refusal::ReadOnly };
            return Original { fd, {} };
        }
        CloseHandle(handle);
        return std::unexpected(refused);
    }

    std::error_code Rewind(int fd) override
    {
        return SetFilePointerEx(HandleOf(fd), LARGE_INTEGER {}, nullptr, FILE_BEGIN)
            ? std::error_code()
            : LastError();
    }

    std::expected<int, std::error_code> CreateTemporary(const std::string& original) override
    {
        const std::wstring folder = FolderOf(WideFromUtf8(original));
        constexpr std::wstring_view kLetters
            = L"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
        std::mt19937 random(std::random_device {}());
        std::uniform_int_distribution<std::size_t> letter(0, kLetters.size() - 1);
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::wstring name = L".orvik-repair-";
            for (int i = 0; i < 6; ++i)
                name += kLetters[letter(random)];
            std::wstring path = folder + name;
            const TemporaryLocked locked;
            // FILE_SHARE_DELETE lets the control handler remove it while it is open.
            const HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE,
                nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (handle == INVALID_HANDLE_VALUE) {
                const DWORD error = GetLastError();
                if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS)
                    continue;
                return std::unexpected(SystemError(error));
            }
            g_temporaryPath = std::move(path);
            g_temporaryActive = true;
            const int fd
                = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
            if (fd < 0) {
                CloseHandle(handle);
                DeleteFileW(g_temporaryPath.c_str());
                g_temporaryActive = false;
                return std::unexpected(SystemError(ERROR_TOO_MANY_OPEN_FILES));
            }
            return fd;
        }
        return std::unexpected(SystemError(ERROR_FILE_EXISTS));
    }

    // ReplaceFileW gives the new file the original's security, time of creation and alternate
    // streams. The attributes (hidden, system, archive...) are given here as well: the plain
    // replace that stands in for ReplaceFileW where a file system lacks it does not carry them.
    std::string KeepMetadata(int original, int temporary) override
    {
        BY_HANDLE_FILE_INFORMATION information;
        FILE_BASIC_INFO basic {};
        if (!GetFileInformationByHandle(HandleOf(original), &information))
            return LeftIntact("lecture des attributs du fichier impossible", LastError());
        basic.FileAttributes = KeptAttributes(information.dwFileAttributes);
        if (!SetFileInformationByHandle(HandleOf(temporary), FileBasicInfo, &basic, sizeof basic))
            return LeftIntact(
                "impossible de donner au fichier réparé les attributs de l'original", LastError());
        return {};
    }

    std::error_code Flush(int fd) override
    {
        return FlushFileBuffers(HandleOf(fd)) ? std::error_code() : LastError();
    }

    // _doserrno: the system's code behind the C runtime's errno.
    std::error_code Close(int fd) override
    {
        return _close(fd) == 0 ? std::error_code() : SystemError(_doserrno);
    }

    std::error_code Replace(const std::string& original) override
    {
        const TemporaryLocked locked;
        const std::wstring target = FullPath(WideFromUtf8(original));
        const std::wstring source = FullPath(g_temporaryPath);
        if (!ReplaceFileW(target.c_str(), source.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                nullptr, nullptr)) {
            const DWORD error = GetLastError();
            // A file system without it: a plain replace, which keeps the attributes given by
            // KeepMetadata but not the security of the original.
            if (error != ERROR_INVALID_FUNCTION && error != ERROR_NOT_SUPPORTED)
                return SystemError(error);
            if (!MoveFileExW(source.c_str(), target.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
                return LastError();
        }
        g_temporaryActive = false;
        return {};
    }

    void RemoveTemporary() override
    {
        const TemporaryLocked locked;
        if (g_temporaryActive)
            DeleteFileW(g_temporaryPath.c_str());
        g_temporaryActive = false;
    }

    // ReplaceFileW and MOVEFILE_WRITE_THROUGH leave nothing to flush.
    void SyncFolder(const std::string&) override { }
};

} // namespace

InPlaceSystem& InPlaceSystem::Native()
{
    static WindowsInPlace system;
    return system;
}

void RemoveTemporaryFileOnInterrupt()
{
    SetConsoleCtrlHandler(RemoveTemporaryAndEnd, TRUE);
}

} // namespace orvik::cli
