// SPDX-License-Identifier: MIT
// What the filter asks of the operating system, with one implementation for POSIX systems
// (system_posix.cpp) and one for Windows (system_windows.cpp). Files and standard streams are
// C runtime descriptors on both. Errors are std::error_code: errno values on POSIX and
// GetLastError() values on Windows, in the system category, or the program's own (Refusal); only
// DescribeError() reads them.
#pragma once

#include <cstddef>
#include <expected>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace orvik::cli {

// Why the program itself turns a file down, where no system call failed.
enum class Refusal {
    Folder = 1, // where the system reports no error of its own for one
    Link, // a symbolic link (or, on Windows, any reparse point), which a repair in place refuses
    NotRegularFile, // a pipe, a device...: repaired to standard output only
    ReadOnly, // Windows' read-only attribute, which no replace goes past
    OpenForWriting, // another program holds the file open to write to it
    ChangedMeanwhile, // another program wrote to, replaced or opened to write the file meanwhile
    ChangedKeptAside, // the same, seen once the repair was in place, and it could not be undone
    NoMatch, // on Windows, a name with * or ? that no file matches
};
const std::error_category& RefusalCategory();
inline std::error_code make_error_code(Refusal refusal)
{
    return { int(refusal), RefusalCategory() };
}

// A short French description of an error, for "orvik-repair: FICHIER: raison".
std::string DescribeError(std::error_code error);

// read() made whole: retried after a signal, and after EAGAIN on a descriptor that was left
// non-blocking by whoever handed it over. The number of bytes read, 0 at the end. On Windows, the
// bytes pass unchanged (no text-mode translation of CR LF or Ctrl-Z), except from a console, whose
// text is read as UTF-16 and given as UTF-8 (ConsoleInput).
std::expected<std::size_t, std::error_code> ReadSome(int fd, char* buffer, std::size_t size);
// write() likewise made whole, until every byte is written.
std::error_code WriteAll(int fd, std::string_view bytes);

#ifdef _WIN32
// UTF-8 text for a console, which takes UTF-16. A character cut at the end of one piece is held
// until the next; each byte that starts no valid sequence shows as U+FFFD.
class ConsoleText
{
public:
    // The UTF-16 text of what was held and `bytes`, less the start of a character at its end.
    std::u16string Next(std::string_view bytes);
    // What is still held, once nothing more comes: a character cut short, each byte a U+FFFD.
    std::u16string Rest();

private:
    std::string m_held;
};
#endif

#ifdef _WIN32
// Text typed into a console, which reads it as UTF-16, as the UTF-8 bytes the filter reads. Ctrl+Z
// (U+001A) ends the text, as it does for the C runtime in text mode: what was typed before it on
// its line is kept, it and the rest of the line are not. A surrogate pair cut between two reads is
// held until the next.
class ConsoleInput
{
public:
    // Adds what one read of the console gave; an empty read (the console was closed, or Ctrl+C)
    // ends the text.
    void Add(std::u16string_view typed);
    // Whether bytes are waiting to be taken, or the text has ended.
    bool Ready() const { return m_at < m_bytes.size() || m_ended; }
    // Moves up to `size` waiting bytes to `buffer`; 0 once the text has ended, after which a new
    // text starts.
    std::size_t Take(char* buffer, std::size_t size);

private:
    std::string m_bytes;
    std::size_t m_at = 0;
    std::u16string m_highSurrogate;
    bool m_ended = false;
};

// Whether `fd` is a console window, which is read and written as UTF-16 text.
bool IsConsole(int fd);

// Whether `error`, from a write, means that the reader closed the pipe.
bool IsClosedPipe(std::error_code error);

// The attributes a file repaired in place keeps of its original's `attributes`: archive, hidden,
// system and not indexed (not read-only, which the repair refuses, nor those the system manages);
// FILE_ATTRIBUTE_NORMAL when it has none of them.
unsigned long KeptAttributes(unsigned long attributes);
#endif

// Where the program writes: a descriptor, written with WriteAll. On Windows, text written to a
// console is shown as UTF-8 and a character cut between two writes waits for the next: each of
// standard output and standard error needs one Output for the whole run.
class Output
{
public:
    explicit Output(int fd)
        : m_fd(fd)
    { }
    int Fd() const { return m_fd; }
    std::error_code Write(std::string_view bytes);
#ifdef _WIN32
    // Shows what a console still holds, when the text ends within a character.
    ~Output();
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;
#endif

private:
    int m_fd;
#ifdef _WIN32
    ConsoleText m_console;
#endif
};

// Opens `path` (UTF-8, as the user typed it) to read.
std::expected<int, std::error_code> OpenToRead(const std::string& path);
void CloseFile(int fd);
bool IsRegularFile(int fd);
// Whether `a` and `b` are the same regular file (the output file given as input).
bool SameFile(int a, int b);

// The steps of a repair in place that depend on the system. At most one new file exists at a
// time.
class InPlaceSystem
{
public:
    virtual ~InPlaceSystem() = default;

    struct Original
    {
        int fd;
        // When set: the file may be read, but not replaced; the reason, if it needs a repair.
        std::error_code refusalToReplace;
    };
    // Opens the file to repair, to read, refusing what cannot be replaced by its repair.
    virtual std::expected<Original, std::error_code> OpenOriginal(const std::string& path) = 0;
    // Reads it again from its start.
    virtual std::error_code Rewind(int fd) = 0;
    // Creates the new file in the folder of `original`, to write.
    virtual std::expected<int, std::error_code> CreateTemporary(const std::string& original) = 0;
    // Gives the new file the original's metadata, where the replace does not keep it itself. An
    // empty answer on success, else the whole French reason.
    virtual std::string KeepMetadata(int original, int temporary) = 0;
    virtual std::error_code Flush(int fd) = 0;
    virtual std::error_code Close(int fd) = 0;
    // Puts the closed new file in place of `original`, in one step. Refuses (Refusal) where the
    // system can tell that another program changed the original since it was opened.
    virtual std::error_code Replace(const std::string& original) = 0;
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

#ifndef _WIN32
// Opens each of the descriptors 0, 1 and 2 that the program was started without on /dev/null, the
// wrong way round (standard input to write to, the outputs to read from): no file the program
// opens can then take a standard stream's place, and every use of one fails with EBADF, as on a
// closed descriptor, so that the message names the stream. False when /dev/null cannot be opened.
bool HoldClosedStandardStreams();
#endif

#ifdef _WIN32
// A Windows name as UTF-8, and back. A name may hold a UTF-16 code unit that is half of a pair
// without the other half; it becomes three bytes as if it were a character of its own (as
// "WTF-8" does), so that every name the user typed reaches the file it names.
std::string Utf8FromWide(std::wstring_view wide);
std::wstring WideFromUtf8(std::string_view utf8);

// The arguments with each name that holds * or ? in its last part replaced by the names of the
// files it matches ("." and ".." aside), in alphabetical order, as a POSIX shell would have done
// before the program started: on Windows, the program does it itself. A name that matches nothing
// is kept as it is, and refused as such when opened. Options (words starting with '-' before
// "--") and "/?" are kept as they are.
std::vector<std::string> ExpandWildcards(std::span<const std::string> words);
#endif

} // namespace orvik::cli

template <> struct std::is_error_code_enum<orvik::cli::Refusal> : std::true_type
{ };
