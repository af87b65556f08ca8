#include "cli/cli.h"

#include "cli/in_place.h"
#include "cli/messages.h"
#include "orvik_version.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
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
    std::vector<std::string_view> files;
    std::string usageError; // set when the arguments cannot be run
};

// Options may come before, between or after the files; "--" ends them; "-" is standard input;
// short options may be grouped ("-ih"). The first of --help, --version or an unknown option
// decides.
Options ParseArguments(std::span<const std::string_view> args)
{
    Options options;
    bool optionsEnded = false;
    for (std::string_view arg : args) {
        if (optionsEnded || arg == "-" || !arg.starts_with('-')) {
            options.files.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg.starts_with("--")) {
            if (arg == "--in-place")
                options.inPlace = true;
            else if (arg == "--full")
                options.full = true;
            else if (arg == "--help")
                options.help = true;
            else if (arg == "--version")
                options.version = true;
            else
                options.usageError = "option inconnue : " + std::string(arg);
        } else {
            for (char letter : arg.substr(1)) {
                if (letter == 'i') {
                    options.inPlace = true;
                } else if (letter == 'h') {
                    options.help = true;
                } else {
                    // A byte of a multi-byte letter alone would print as garbage: show it all.
                    options.usageError = "option inconnue : "
                        + (static_cast<unsigned char>(letter) < 0x80 ? std::string("-") + letter
                                                                     : std::string(arg));
                    break;
                }
            }
        }
        if (options.help || options.version || !options.usageError.empty())
            return options;
    }
    if (options.inPlace) {
        if (options.files.empty())
            options.usageError = "-i (--in-place) demande au moins un FICHIER";
        for (std::string_view file : options.files) {
            if (file == "-")
                options.usageError = "-i (--in-place) ne s'applique pas à l'entrée standard (-)";
        }
    }
    return options;
}

class Command
{
public:
    Command(const StandardStreams& streams, std::size_t readSize)
        : streams_(streams)
        , buffers_(readSize)
    { }

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
        if (options.full)
            buffers_.UseFullRepair();
        if (options.inPlace)
            return RepairInPlace(options.files);
        if (options.files.empty()) {
            constexpr std::string_view standardInput[] = { "-" };
            return RepairToOutput(standardInput);
        }
        return RepairToOutput(options.files);
    }

private:
    // Requested output on standard output: a failed write is an error, not a success.
    int Print(std::string_view text)
    {
        if (WriteAll(streams_.out, text.data(), text.size()))
            return kExitOk;
        Report(kStdoutName, DescribeError(errno));
        return kExitFileError;
    }

    int RepairToOutput(std::span<const std::string_view> files)
    {
        // An input that is the output file itself would be read while it grows (">>"), or was
        // emptied by the shell before the start (">"): refuse it rather than loop or lose more.
        struct stat output;
        const bool outputIsFile = fstat(streams_.out, &output) == 0 && S_ISREG(output.st_mode);

        int status = kExitOk;
        for (std::string_view file : files) {
            const bool isStdin = file == "-";
            const std::string name(isStdin ? kStdinName : file);
            const int fd = isStdin
                ? streams_.in
                : open(std::string(file).c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
            if (fd < 0) {
                Report(name, DescribeError(errno));
                status = kExitFileError;
                continue;
            }
            struct stat input;
            if (outputIsFile && fstat(fd, &input) == 0 && input.st_dev == output.st_dev
                && input.st_ino == output.st_ino) {
                Report(name, "c'est aussi le fichier de sortie, il n'est pas lu");
                status = kExitFileError;
            } else {
                const StreamResult result = RepairStream(fd, streams_.out, buffers_);
                if (result.failure == StreamResult::Failure::Write) {
                    // Every later write would fail the same way: stop here.
                    Report(kStdoutName, DescribeError(result.error));
                    if (!isStdin)
                        close(fd);
                    return kExitFileError;
                }
                if (result.failure == StreamResult::Failure::Read) {
                    Report(name, DescribeError(result.error));
                    status = kExitFileError;
                }
            }
            if (!isStdin)
                close(fd);
        }
        return status;
    }

    int RepairInPlace(std::span<const std::string_view> files)
    {
        RemoveTemporaryFileOnSignals();
        int status = kExitOk;
        for (std::string_view file : files) {
            const InPlaceResult result = RepairFileInPlace(std::string(file), buffers_);
            if (result.outcome == InPlaceResult::Outcome::Failed) {
                Report(file, result.reason);
                status = kExitFileError;
            }
        }
        return status;
    }

    void Report(std::string_view file, std::string_view reason)
    {
        Tell(std::string(kProgram) + ": " + std::string(file) + ": " + std::string(reason) + "\n");
    }

    // Nothing is left to tell a failure to standard error to: it is ignored.
    void Tell(const std::string& message)
    {
        WriteAll(streams_.err, message.data(), message.size());
    }

    StandardStreams streams_;
    StreamBuffers buffers_;
};

} // namespace

int RunRepairCommand(
    std::span<const std::string_view> args, const StandardStreams& streams, std::size_t readSize)
{
    return Command(streams, readSize).Run(ParseArguments(args));
}

} // namespace orvik::cli
