// SPDX-License-Identifier: MIT
// The system layer on Windows: handles behind the C runtime's descriptors, GetLastError() codes,
// ReplaceFileW and the console's control events. Every read and write goes straight to the handle
// with ReadFile and WriteFile, so that no text-mode translation touches the bytes.
#include "cli/messages.h"
#include "cli/system.h"
#include "text/utf.h"
#include "win32/system_error.h"

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <io.h>
#include <map>
#include <windows.h>

namespace orvik::cli {

namespace {

// Codes of the program's own, in the range Windows leaves to applications (bit 29 set).
constexpr DWORD kErrorIsFolder = 0x20000001;

HANDLE HandleOf(int fd)
{
    return reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

// The program's own French texts, for a system without French ones.
std::string OwnDescription(DWORD error)
{
    switch (error) {
    case kErrorIsFolder:
        return "c'est un dossier";
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

// Writes UTF-8 `data` to a console as UTF-16. A character cut at the end of one write is held
// until the next; each byte that starts no valid sequence shows as U+FFFD.
bool WriteConsoleUtf8(HANDLE console, const char* data, std::size_t size)
{
    static std::map<HANDLE, std::string> heldFor; // standard output's and standard error's
    std::string& held = heldFor[console];
    std::string text = held + std::string(data, size);
    held.clear();
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
    held = text.substr(cut);
    text.resize(cut);
    if (text.empty())
        return true;
    const std::u16string wide = Utf16FromUtf8(text);
    for (std::size_t at = 0; at < wide.size();) {
        DWORD put = 0;
        const DWORD chunk = DWORD(std::min<std::size_t>(wide.size() - at, 16384));
        if (!WriteConsoleW(
                console, reinterpret_cast<const wchar_t*>(wide.data()) + at, chunk, &put, nullptr))
            return false;
        at += put;
    }
    return true;
}

} // namespace

std::string DescribeError(int error)
{
    const auto code = static_cast<DWORD>(error);
    if ((code & 0x20000000) == 0) {
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
    }
    return OwnDescription(code);
}

int LastError()
{
    return int(GetLastError());
}

long ReadSome(int fd, char* buffer, std::size_t size)
{
    DWORD got = 0;
    if (ReadFile(HandleOf(fd), buffer, DWORD(std::min<std::size_t>(size, 1u << 30)), &got, nullptr))
        return long(got);
    // The writer of a pipe has closed its end: that is the end of the text.
    return GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
}

bool WriteAll(int fd, const char* data, std::size_t size)
{
    const HANDLE handle = HandleOf(fd);
    if (IsConsole(handle))
        return WriteConsoleUtf8(handle, data, size);
    while (size > 0) {
        DWORD put = 0;
        if (!WriteFile(handle, data, DWORD(std::min<std::size_t>(size, 1u << 30)), &put, nullptr))
            return false;
        if (put == 0) {
            SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        data += put;
        size -= put;
    }
    return true;
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

int OpenToRead(const std::string& path)
{
    const HANDLE handle = CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return -1;
    // Opened so that a folder can be named as such rather than as a refused access.
    BY_HANDLE_FILE_INFORMATION information;
    if (GetFileInformationByHandle(handle, &information)
        && (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        CloseHandle(handle);
        SetLastError(kErrorIsFolder);
        return -1;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(handle);
        SetLastError(ERROR_TOO_MANY_OPEN_FILES);
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

// The folder part of `path`, with its separator: "dir\" for "dir\name", "C:" for "C:name".
std::wstring FolderOf(const std::wstring& path)
{
    const std::size_t separator = path.find_last_of(L"\\/");
    if (separator != std::wstring::npos)
        return path.substr(0, separator + 1);
    if (path.size() >= 2 && path[1] == L':')
        return path.substr(0, 2);
    return {};
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

class WindowsInPlace final : public InPlaceSystem
{
public:
    Original OpenOriginal(const std::string& path) override
    {
        // FILE_FLAG_OPEN_REPARSE_POINT opens a link or junction itself, so that it can be refused;
        // FILE_FLAG_BACKUP_SEMANTICS opens a folder, so that it can be named as one. No one else
        // may write to the file while it is repaired.
        const HANDLE handle = CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ,
            FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
            FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_SEQUENTIAL_SCAN,
            nullptr);
        if (handle == INVALID_HANDLE_VALUE)
            return { -1, int(GetLastError()), {}, {} };
        Original refused;
        BY_HANDLE_FILE_INFORMATION information;
        if (GetFileType(handle) != FILE_TYPE_DISK)
            refused.refusal = "ce n'est pas un fichier ordinaire, il ne peut être réparé que vers "
                              "la sortie standard";
        else if (!GetFileInformationByHandle(handle, &information))
            refused.error = int(GetLastError());
        else if (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
            refused.refusal = "c'est un lien symbolique ou une jonction, réparez plutôt le fichier "
                              "qu'il désigne ; lien laissé intact";
        else if (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            refused.error = int(kErrorIsFolder);
        else {
            const int fd
                = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
            if (fd < 0) {
                CloseHandle(handle);
                return { -1, ERROR_TOO_MANY_OPEN_FILES, {}, {} };
            }
            Original opened { fd, 0, {}, {} };
            // Windows replaces no read-only file; the user decides whether it may change.
            if (information.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
                opened.refusalToReplace = "le fichier est en lecture seule, ôtez-lui cet attribut "
                                          "pour le réparer ; fichier laissé intact";
            return opened;
        }
        CloseHandle(handle);
        return refused;
    }

    int Rewind(int fd) override
    {
        return SetFilePointerEx(HandleOf(fd), LARGE_INTEGER {}, nullptr, FILE_BEGIN)
            ? 0
            : int(GetLastError());
    }

    int CreateTemporary(const std::string& original, int& fd) override
    {
        const std::wstring folder = FolderOf(WideFromUtf8(original));
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        unsigned long long seed = static_cast<unsigned long long>(now.QuadPart)
            ^ (static_cast<unsigned long long>(GetCurrentProcessId()) << 32);
        constexpr wchar_t kLetters[]
            = L"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::wstring path = folder + L".orvik-repair-";
            for (int i = 0; i < 6; ++i) {
                seed = seed * 6364136223846793005ull + 1442695040888963407ull;
                path += kLetters[(seed >> 33) % 62];
            }
            const TemporaryLocked locked;
            // FILE_SHARE_DELETE lets the control handler remove it while it is open.
            const HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE,
                nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (handle == INVALID_HANDLE_VALUE) {
                const DWORD error = GetLastError();
                if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS)
                    continue;
                return int(error);
            }
            g_temporaryPath = std::move(path);
            g_temporaryActive = true;
            fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
            if (fd < 0) {
                CloseHandle(handle);
                DeleteFileW(g_temporaryPath.c_str());
                g_temporaryActive = false;
                return ERROR_TOO_MANY_OPEN_FILES;
            }
            return 0;
        }
        return ERROR_FILE_EXISTS;
    }

    // ReplaceFileW gives the new file the original's security, time of creation and alternate
    // streams. The attributes (hidden, system, archive...) are given here as well: the plain
    // replace that stands in for ReplaceFileW where a file system lacks it does not carry them.
    std::string KeepMetadata(int original, int temporary) override
    {
        constexpr DWORD kKept = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN
            | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
        BY_HANDLE_FILE_INFORMATION information;
        FILE_BASIC_INFO basic {};
        if (!GetFileInformationByHandle(HandleOf(original), &information))
            return LeftIntact("lecture des attributs du fichier impossible", int(GetLastError()));
        const DWORD kept = information.dwFileAttributes & kKept;
        basic.FileAttributes = kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL;
        if (!SetFileInformationByHandle(HandleOf(temporary), FileBasicInfo, &basic, sizeof basic))
            return LeftIntact("impossible de donner au fichier réparé les attributs de l'original",
                int(GetLastError()));
        return {};
    }

    int Flush(int fd) override { return FlushFileBuffers(HandleOf(fd)) ? 0 : int(GetLastError()); }

    // _doserrno: the system's code behind the C runtime's errno.
    int Close(int fd) override { return _close(fd) == 0 ? 0 : int(_doserrno); }

    int Replace(const std::string& original) override
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
                return int(error);
            if (!MoveFileExW(source.c_str(), target.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
                return int(GetLastError());
        }
        g_temporaryActive = false;
        return 0;
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
