// SPDX-License-Identifier: MIT
// What the filter asks of the operating system, with one implementation for POSIX systems
// (system_posix.cpp) and one for Windows (system_windows.cpp). Files and standard streams are
// C runtime descriptors on both; error codes are errno values on POSIX and GetLastError() values
// on Windows, and only DescribeError() reads them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace orvik::cli {

// A short French description of a system error code, for "orvik-repair: FICHIER: raison".
std::string DescribeError(int error);

// The error code of the last system call that failed.
int LastError();

// read() and write() made whole: retried after a signal, and after EAGAIN on a descriptor that
// was left non-blocking by whoever handed it over. ReadSome returns -1 on failure; WriteAll returns
// false on failure; LastError() then tells why. On Windows, the bytes pass unchanged (no text-mode
// translation of CR LF or Ctrl-Z), except that text written to a console is shown as UTF-8.
long ReadSome(int fd, char* buffer, std::size_t size);
bool WriteAll(int fd, const char* data, std::size_t size);

// Opens `path` (UTF-8, as the user typed it) to read; -1 on failure.
int OpenToRead(const std::string& path);
void CloseFile(int fd);
bool IsRegularFile(int fd);
// Whether `a` and `b` are the same regular file (the output file given as input).
bool SameFile(int a, int b);

// The steps of a repair in place that depend on the system, each reporting 0 or an error code.
// At most one new file exists at a time.
class InPlaceSystem
{
public:
    virtual ~InPlaceSystem() = default;

    struct Original
    {
        int fd = -1;
        int error = 0; // when fd < 0 and no refusal: the system's reason
        std::string refusal; // when fd < 0: why this kind of file is not repaired in place
        // When set: the file may be read, but not replaced; the reason, if it needs a repair.
        std::string refusalToReplace;
    };
    // Opens the file to repair, to read, refusing what cannot be replaced by its repair.
    virtual Original OpenOriginal(const std::string& path) = 0;
    // Reads it again from its start.
    virtual int Rewind(int fd) = 0;
    // Creates the new file in the folder of `original`, to write; `fd` receives it.
    virtual int CreateTemporary(const std::string& original, int& fd) = 0;
    // Gives the new file the original's metadata, where the replace does not keep it itself. An
    // empty answer on success, else the whole French reason.
    virtual std::string KeepMetadata(int original, int temporary) = 0;
    virtual int Flush(int fd) = 0;
    virtual int Close(int fd) = 0;
    // Puts the closed new file in place of `original`, in one step.
    virtual int Replace(const std::string& original) = 0;
    // Removes the new file, when it was not put in place.
    virtual void RemoveTemporary() = 0;
    // Makes the replace itself durable where the system needs a separate step for it.
    virtual void SyncFolder(const std::string& original) = 0;

    // The layer of this system.
    static InPlaceSystem& Native();
};

// Makes the events that end the program from outside (signals on POSIX; Ctrl-C, Ctrl-Break and
// closing the console on Windows) remove the new file of a repair that they interrupt first.
void RemoveTemporaryFileOnInterrupt();

#ifdef _WIN32
// A Windows name as UTF-8, and back. A name may hold a UTF-16 code unit that is half of a pair
// without the other half; it becomes three bytes as if it were a character of its own (as
// "WTF-8" does), so that every name the user typed reaches the file it names.
std::string Utf8FromWide(std::wstring_view wide);
std::wstring WideFromUtf8(std::string_view utf8);
#endif

} // namespace orvik::cli
