// SPDX-License-Identifier: MIT
#include "cli/cli.h"

#include "cli/in_place.h"
#include "cli/messages.h"
#include "cli/system.h"
#include "orvik_version.h"
#include "repair/full_repair.h"
#include "repair/utf8_repair.h"

#include <getopt.h>
#include <optional>
#include <string>
#include <vector>

namespace orvik::cli {

namespace {

constexpr std::string_view kProgram = "orvik-repair";
constexpr std::string_view kStdinName = "entrée standard";
constexpr std::string_view kStdoutName = "sortie standard";

struct Options
{
    bool inPlace = false;
    bool full = false;
    bool help = false;
    bool version = false;
    std::vector<std::string> files;
    std::string usageError; // set when the arguments cannot be run
};

// Values of the options that have no short letter.
enum : int { kOptionVersion = 256, kOptionFull };

// The long options; getopt_long takes any unambiguous abbreviation of them (--in, --vers).
constexpr option kLongOptions[] = {
    { "in-place", no_argument, nullptr, 'i' },
    { "help", no_argument, nullptr, 'h' },
    { "version", no_argument, nullptr, kOptionVersion },
    { "full", no_argument, nullptr, kOptionFull },
    { nullptr, 0, nullptr, 0 },
};
// -i takes an optional argument only so that what is stuck to it (the sed habit -i.bak) comes
// back whole and gets a message of its own; any such argument is refused.
constexpr char kShortOptions[] = "hi::";

bool IsOptionValue(int value)
{
    for (const option* o = kLongOptions; o->name; ++o) {
        if (o->val == value)
            return true;
    }
    return false;
}

// The message for the option getopt_long has just refused in `argv`.
std::string RefusedOption(int argc, char* const* argv)
{
    if (optopt == 0 || IsOptionValue(optopt)) {
        // A long option: getopt_long has passed the whole word.
        const std::string_view word = argv[optind - 1];
        const std::string_view name = word.substr(2, word.find('=') - 2);
        std::vector<std::string_view> matches;
        for (const option* o = kLongOptions; o->name; ++o) {
            if (std::string_view(o->name) == name) {
                matches = { o->name };
                break;
            }
            if (std::string_view(o->name).starts_with(name))
                matches.push_back(o->name);
        }
        if (matches.size() == 1 && optopt != 0)
            return "l'option --" + std::string(matches[0]) + " n'accepte pas d'argument";
        if (matches.size() > 1) {
            std::string choices;
            for (std::string_view match : matches)
                choices += (choices.empty() ? "" : ", ") + std::string("--") + std::string(match);
            return "option ambiguë : " + QuoteName("--" + std::string(name)) + " (" + choices + ")";
        }
        return "option inconnue : " + QuoteName("--" + std::string(name));
    }
    // glibc hands the letter over as a char, negative for a byte of a multi-byte letter.
    const auto letter = static_cast<unsigned char>(optopt);
    if (letter < 0x80)
        return "option inconnue : " + QuoteName(std::string("-") + char(letter));
    // One byte of a multi-byte letter would print as garbage: show the word it is in, which is
    // still being read unless it was the word's last byte.
    const bool current = optind < argc
        && std::string_view(argv[optind]).find(char(letter)) != std::string_view::npos;
    return "option inconnue : " + QuoteName(argv[current ? optind : optind - 1]);
}

// Options may come before, between or after the files; "--" ends them; "-" is standard input;
// short options may be grouped ("-hi"). The first of --help, --version or a refused option
// decides.
Options ParseArguments(std::span<const std::string_view> args)
{
    // getopt_long wants writable C strings, and reorders them.
    std::vector<std::string> words { std::string(kProgram) };
    for (bool options = true; const std::string_view arg : args) {
        options = options && arg != "--";
#ifdef _WIN32
        // Windows' own way of asking a program for help.
        if (options && arg == "/?") {
            words.emplace_back("--help");
            continue;
        }
#endif
        words.emplace_back(arg);
    }
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    const int argc = int(words.size());

    Options options;
    opterr = 0; // the messages are ours, in French
    optind = 0; // 0 rather than 1: glibc then starts afresh, even after an earlier parse
    for (int value;
         (value = getopt_long(argc, argv.data(), kShortOptions, kLongOptions, nullptr)) != -1;) {
        switch (value) {
        case 'i':
            options.inPlace = true;
            if (optarg)
                options.usageError = "l'option -i n'accepte pas d'argument : "
                    + QuoteName(std::string("-i") + optarg);
            break;
        case 'h':
            options.help = true;
            break;
        case kOptionFull:
            options.full = true;
            break;
        case kOptionVersion:
            options.version = true;
            break;
        default:
            options.usageError = RefusedOption(argc, argv.data());
            break;
        }
        if (options.help || options.version || !options.usageError.empty())
            return options;
    }
    options.files.assign(argv.begin() + optind, argv.end() - 1);
    if (options.inPlace) {
        if (options.files.empty())
            options.usageError = "-i (--in-place) demande au moins un FICHIER";
        for (const std::string& file : options.files) {
            if (file == "-")
                options.usageError = "-i (--in-place) ne s'applique pas à l'entrée standard (-)";
        }
    }
    return options;
}

class Command
{
public:
    // `full`: the full repair (--full) rather than the accent repair.
    Command(const StandardStreams& streams, std::size_t readSize, bool full)
        : m_in(streams.in)
        , m_out(streams.out)
        , m_err(streams.err)
    {
        if (full)
            m_full.emplace(kFullReadFactor * readSize);
        else
            m_accents.emplace(readSize);
    }

    int Run(const Options& options)
    {
        if (!options.usageError.empty()) {
            Tell(std::string(kProgram) + ": " + options.usageError + "\nSaisissez « "
                + std::string(kProgram) + " --help » pour plus d'informations.\n");
            return kExitUsage;
        }
        if (options.help)
            return Print(HelpText());
        if (options.version)
            return Print(std::string(kProgram) + " " + kVersionDisplay + "\n");
        if (options.inPlace)
            return RepairInPlace(options.files);
#ifdef _WIN32
        // Started without a file from a console, or by a double-click: say what it waits for,
        // in lines that fit the console's 80 columns.
        if (options.files.empty() && IsConsole(m_in))
            Tell(std::string(kProgram)
                + ": collez ou tapez le texte, puis Ctrl+Z et Entrée pour finir.\n"
                  "Pour des fichiers : orvik-repair FICHIER... ; aide : orvik-repair /?\n");
#endif
        return RepairToOutput(
            options.files.empty() ? std::vector<std::string> { "-" } : options.files);
    }

private:
    // Calls `use` with the repairer of the run.
    template <class Use> auto WithRepairer(Use use)
    {
        return m_full ? use(*m_full) : use(*m_accents);
    }

    // Requested output on standard output: a failed write is an error, not a success.
    int Print(std::string_view text)
    {
        const std::error_code error = m_out.Write(text);
        return error ? OutputFailed(error) : kExitOk;
    }

    // A failed write on standard output: the exit status, once the user is told.
    int OutputFailed(std::error_code error)
    {
#ifdef _WIN32
        // The reader has stopped reading (more, quit early): nothing failed that the user needs
        // to hear of, as when SIGPIPE ends the program on Linux.
        if (IsClosedPipe(error))
            return kExitReaderGone;
#endif
        Report(kStdoutName, DescribeError(error));
        return kExitFileError;
    }

    int RepairToOutput(const std::vector<std::string>& files)
    {
        // An input that is the output file itself would be read while it grows (">>"), or was
        // emptied by the shell before the start (">"): refuse it rather than loop or lose more.
        int status = kExitOk;
        for (const std::string& file : files) {
            const bool isStdin = file == "-";
            const std::string name = isStdin ? std::string(kStdinName) : QuoteName(file);
            const auto fd = isStdin ? std::expected<int, std::error_code>(m_in) : OpenToRead(file);
            if (!fd) {
                Report(name, DescribeError(fd.error()));
                status = kExitFileError;
                continue;
            }
            if (SameFile(*fd, m_out.Fd())) {
                Report(name, "c'est aussi le fichier de sortie, il n'est pas lu");
                status = kExitFileError;
            } else {
                const StreamResult result = WithRepairer(
                    [&](auto& repairer) { return RepairStream(*fd, m_out, repairer); });
                if (result.failure == StreamResult::Failure::Write) {
                    // Every later write would fail the same way: stop here.
                    if (!isStdin)
                        CloseFile(*fd);
                    return OutputFailed(result.error);
                }
                if (result.failure == StreamResult::Failure::Read) {
                    Report(name, DescribeError(result.error));
                    status = kExitFileError;
                }
            }
            if (!isStdin)
                CloseFile(*fd);
        }
        return status;
    }

    int RepairInPlace(const std::vector<std::string>& files)
    {
        RemoveTemporaryFileOnInterrupt();
        int status = kExitOk;
        for (const std::string& file : files) {
            const InPlaceResult result
                = WithRepairer([&](auto& repairer) { return RepairFileInPlace(file, repairer); });
            if (result.outcome == InPlaceResult::Outcome::Failed) {
                Report(QuoteName(file), result.reason);
                status = kExitFileError;
            }
        }
        return status;
    }

    // `file` is already quoted, or one of the names of the standard streams.
    void Report(std::string_view file, std::string_view reason)
    {
        Tell(std::string(kProgram) + ": " + std::string(file) + ": " + std::string(reason) + "\n");
    }

    // Nothing is left to tell a failure to standard error to: it is ignored.
    void Tell(const std::string& message)
    {
        m_err.Write(message);
    }

    int m_in;
    Output m_out;
    Output m_err;
    // The repairer of the run, one for every file: the full repair or the accent repair.
    std::optional<FullRepairer> m_full;
    std::optional<Utf8Repairer> m_accents;
};

} // namespace

int RunRepairCommand(
    std::span<const std::string_view> args, const StandardStreams& streams, std::size_t readSize)
{
    const Options options = ParseArguments(args);
    return Command(streams, readSize, options.full).Run(options);
}

} // namespace orvik::cli
