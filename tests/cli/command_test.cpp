// The orvik-repair program itself, run as a separate process: arguments, exit statuses, messages,
// and in-place repair on real files and folders.
#include "orvik_version.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr const char* kSetpriv = "/usr/bin/setpriv";
constexpr uid_t kNobody = 65534;
constexpr gid_t kUsers = 100; // the one supplementary group of the runs as kNobody

// Damaged and repaired forms of the same text: "L'Ã©tÃ© Ã la plage.\n".
const std::string kDamaged = "L'\xC3\x83\xC2\xA9t\xC3\x83\xC2\xA9 \xC3\x83 la plage.\n";
const std::string kRepaired = "L'\xC3\xA9t\xC3\xA9 \xC3\xA0 la plage.\n";
// Correct text, which needs no repair: "Déjà l'été.\n".
const std::string kClean = "D\xC3\xA9j\xC3\xA0 l'\xC3\xA9t\xC3\xA9.\n";

struct RunOptions
{
    std::string input; // standard input
    std::string stdoutPath; // when set, standard output goes to this file instead of being captured
    bool appendToStdout = false; // open stdoutPath as ">>" does
    bool closeStdout = false; // as ">&-" does
    rlim_t fileSizeLimit = RLIM_INFINITY; // as "ulimit -f" does
    std::string program; // a copy of the program to run instead of the built one
    bool asNobody = false; // through setpriv: uid and gid 65534, and the group 100 besides
};

RunOptions WithInput(std::string input)
{
    RunOptions options;
    options.input = std::move(input);
    return options;
}

RunOptions WithStdout(std::string path, bool append = false, bool close = false)
{
    RunOptions options;
    options.stdoutPath = std::move(path);
    options.appendToStdout = append;
    options.closeStdout = close;
    return options;
}

RunOptions AsNobody(std::string program)
{
    RunOptions options;
    options.program = std::move(program);
    options.asNobody = true;
    return options;
}

struct Outcome
{
    int status = -1; // exit status, or 128 + signal
    std::string out;
    std::string err;
};

std::string ReadFile(const fs::path& path)
{
    std::string content;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return "<unreadable>";
    char buffer[65536];
    for (ssize_t got; (got = read(fd, buffer, sizeof buffer)) > 0;)
        content.append(buffer, std::size_t(got));
    close(fd);
    return content;
}

void WriteFile(const fs::path& path, const std::string& content, mode_t mode = 0644)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0) << path;
    ASSERT_EQ(write(fd, content.data(), content.size()), ssize_t(content.size()));
    ASSERT_EQ(fchmod(fd, mode), 0);
    close(fd);
}

std::set<std::string> Listing(const fs::path& folder)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

class CommandTest : public testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/orvik-command-test.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        // Readable by everyone, for the runs as an unprivileged user.
        ASSERT_EQ(chmod(dir_.c_str(), 0755), 0);
    }

    void TearDown() override
    {
        for (const auto& entry : fs::recursive_directory_iterator(dir_)) {
            if (entry.is_directory() && !entry.is_symlink())
                chmod(entry.path().c_str(), 0755);
        }
        fs::remove_all(dir_);
    }

    fs::path Path(const std::string& name) const { return dir_ / name; }

    // Runs the program with `args` and waits for it.
    Outcome Run(const std::vector<std::string>& args, const RunOptions& options = {}) const
    {
        const fs::path in = Path(".stdin"), out = Path(".stdout"), err = Path(".stderr");
        WriteFile(in, options.input);
        const std::string program
            = options.program.empty() ? std::string(ORVIK_REPAIR_PROGRAM) : options.program;
        std::vector<std::string> command;
        if (options.asNobody)
            command = { kSetpriv, "--reuid=65534", "--regid=65534", "--groups=100", "--" };
        command.push_back(program);
        command.insert(command.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& arg : command)
            argv.push_back(arg.data());
        argv.push_back(nullptr);

        const pid_t pid = fork();
        if (pid == 0) {
            const int stdinFd = open(in.c_str(), O_RDONLY);
            const int stdoutFd = options.stdoutPath.empty()
                ? open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644)
                : open(options.stdoutPath.c_str(),
                    O_WRONLY | O_CREAT | (options.appendToStdout ? O_APPEND : O_TRUNC), 0644);
            const int stderrFd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (stdinFd < 0 || stdoutFd < 0 || stderrFd < 0)
                _exit(120);
            dup2(stdinFd, 0);
            dup2(stdoutFd, 1);
            dup2(stderrFd, 2);
            if (options.closeStdout)
                close(1);
            if (options.fileSizeLimit != RLIM_INFINITY) {
                const rlimit limit { options.fileSizeLimit, options.fileSizeLimit };
                setrlimit(RLIMIT_FSIZE, &limit);
                signal(SIGXFSZ, SIG_IGN); // a write past the limit then fails with EFBIG
            }
            execv(argv[0], argv.data());
            _exit(121);
        }
        Outcome outcome;
        int status = 0;
        EXPECT_EQ(waitpid(pid, &status, 0), pid);
        outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        outcome.out = options.stdoutPath.empty() ? ReadFile(out) : std::string();
        outcome.err = ReadFile(err);
        fs::remove(in);
        fs::remove(out);
        fs::remove(err);
        return outcome;
    }

    fs::path dir_;
};

const std::string kTryHelp = "Saisissez « orvik-repair --help » pour plus d'informations.\n";

struct ArgumentCase
{
    const char* name;
    std::vector<std::string> args;
    std::string input;
    int status;
    std::string out; // exact, or the start of the output when outIsStart
    std::string err;
    bool outIsStart = false;
};

const ArgumentCase kArgumentCases[] = {
    { "stdin_by_default", {}, "\xC3\x83\xC2\xA9t\xC3\x83\xC2\xA9\n", 0, "\xC3\xA9t\xC3\xA9\n", "" },
    { "dash_is_stdin", { "-" }, kDamaged, 0, kRepaired, "" },
    { "help_short", { "-h" }, "", 0, "Usage : orvik-repair [OPTION]... [FICHIER]...\n", "", true },
    { "help_long", { "--help" }, "", 0, "Usage : orvik-repair", "", true },
    { "help_wins_over_files", { "--help", "absent" }, "", 0, "Usage : orvik-repair", "", true },
    { "version", { "--version" }, "", 0,
        std::string("orvik-repair ") + orvik::kVersionDisplay + "\n", "" },
    { "unknown_long_option", { "--frobnicate" }, "", 2, "",
        "orvik-repair: option inconnue : --frobnicate\n" + kTryHelp },
    { "unknown_short_option_in_group", { "-ix", "f" }, "", 2, "",
        "orvik-repair: option inconnue : -x\n" + kTryHelp },
    { "unknown_accented_option_shown_whole", { "-i\xC3\xA9" }, "", 2, "", // -ié
        "orvik-repair: option inconnue : -i\xC3\xA9\n" + kTryHelp },
    { "unknown_option_before_help", { "-z", "--help" }, "", 2, "",
        "orvik-repair: option inconnue : -z\n" + kTryHelp },
    { "in_place_needs_a_file", { "-i" }, "", 2, "",
        "orvik-repair: -i (--in-place) demande au moins un FICHIER\n" + kTryHelp },
    { "in_place_refuses_stdin", { "--in-place", "-" }, kDamaged, 2, "",
        "orvik-repair: -i (--in-place) ne s'applique pas à l'entrée standard (-)\n" + kTryHelp },
    { "double_dash_ends_options", { "--", "-h" }, "", 1, "",
        "orvik-repair: -h: fichier introuvable\n" },
};

TEST_F(CommandTest, ArgumentsExitStatusAndMessages)
{
    for (const ArgumentCase& c : kArgumentCases) {
        SCOPED_TRACE(c.name);
        const Outcome outcome = Run(c.args, WithInput(c.input));
        EXPECT_EQ(outcome.status, c.status);
        if (c.outIsStart)
            EXPECT_EQ(outcome.out.substr(0, c.out.size()), c.out);
        else
            EXPECT_EQ(outcome.out, c.out);
        EXPECT_EQ(outcome.err, c.err);
    }
}

TEST_F(CommandTest, AFileThatCannotBeReadIsReportedAndTheOthersAreRepaired)
{
    WriteFile(Path("a.txt"), kDamaged);
    WriteFile(Path("b.txt"), "gar\xC3\x83\xC2\xA7on\n"); // garÃ§on
    fs::create_directory(Path("folder"));
    const Outcome outcome
        = Run({ Path("a.txt"), Path("absent.txt"), Path("folder"), Path("b.txt") });
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.out, kRepaired + "gar\xC3\xA7on\n");
    EXPECT_EQ(outcome.err,
        "orvik-repair: " + Path("absent.txt").string() + ": fichier introuvable\n"
            + "orvik-repair: " + Path("folder").string() + ": c'est un dossier\n");
}

// Everything but the damaged sequences goes through byte for byte.
TEST_F(CommandTest, LineEndsByteOrderMarkAndInvalidBytesAreKept)
{
    const std::string input = "\xEF\xBB\xBF"
                              "\xC3\x83\xC2\xA9t\xC3\x83\xC2\xA9\r\n"
                              "\xFF\xC0\xAF \xC3\x83\xC2 \xE2\x82\r\n\xC3\x83";
    const std::string expected = "\xEF\xBB\xBF"
                                 "\xC3\xA9t\xC3\xA9\r\n"
                                 "\xFF\xC0\xAF \xC3\xA0\xC2 \xE2\x82\r\n\xC3\xA0";
    WriteFile(Path("mixed.txt"), input);
    const Outcome outcome = Run({ Path("mixed.txt") });
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out, expected);
    EXPECT_EQ(outcome.err, "");
}

struct OutputFailureCase
{
    const char* name;
    std::vector<std::string> args;
    bool closeStdout;
    std::string reason;
};

// A failed write on standard output is an error, never a silent success.
TEST_F(CommandTest, AFailedWriteOnStandardOutputIsReported)
{
    WriteFile(Path("a.txt"), kDamaged);
    WriteFile(Path("b.txt"), kDamaged);
    const OutputFailureCase cases[] = {
        { "repair_to_full_disk", { Path("a.txt"), Path("b.txt") }, false,
            "plus de place sur le disque" },
        { "help_to_full_disk", { "--help" }, false, "plus de place sur le disque" },
        { "version_to_full_disk", { "--version" }, false, "plus de place sur le disque" },
        { "repair_to_closed_stdout", { Path("a.txt") }, true,
            "descripteur de fichier fermé ou invalide" },
    };
    for (const OutputFailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome outcome = Run(c.args, WithStdout("/dev/full", false, c.closeStdout));
        EXPECT_EQ(outcome.status, 1);
        // One message only: after a failed write the program stops.
        EXPECT_EQ(outcome.err, "orvik-repair: sortie standard: " + c.reason + "\n");
    }
}

TEST_F(CommandTest, AnInputThatIsAlsoTheOutputIsNotRead)
{
    WriteFile(Path("a.txt"), kDamaged);
    const Outcome outcome = Run({ Path("a.txt") }, WithStdout(Path("a.txt"), true));
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.err,
        "orvik-repair: " + Path("a.txt").string()
            + ": c'est aussi le fichier de sortie, il n'est pas lu\n");
    EXPECT_EQ(ReadFile(Path("a.txt")), kDamaged);
}

struct stat Status(const fs::path& path)
{
    struct stat status
    { };
    EXPECT_EQ(lstat(path.c_str(), &status), 0) << path;
    return status;
}

TEST_F(CommandTest, InPlaceRepairsKeepsPermissionsAndLeavesCleanFilesUntouched)
{
    WriteFile(Path("damaged.txt"), kDamaged, 0640);
    WriteFile(Path("script.sh"),
        "#!/bin/sh\necho '\xC3\x83\xC2\xA7"
        "a'\n",
        0751); // Ã§a
    WriteFile(Path("clean.txt"), kClean, 0604);
    // An old modification time, so that a rewrite within the same second would still show.
    fs::last_write_time(
        Path("clean.txt"), fs::file_time_type::clock::now() - std::chrono::hours(24 * 365));
    const fs::file_time_type cleanTimeBefore = fs::last_write_time(Path("clean.txt"));
    const struct stat cleanBefore = Status(Path("clean.txt"));

    const Outcome outcome
        = Run({ "-i", Path("damaged.txt"), Path("clean.txt"), "--", Path("script.sh") });
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err, "");

    EXPECT_EQ(ReadFile(Path("damaged.txt")), kRepaired);
    EXPECT_EQ(Status(Path("damaged.txt")).st_mode & 07777, 0640u);
    EXPECT_EQ(ReadFile(Path("script.sh")),
        "#!/bin/sh\necho '\xC3\xA7"
        "a'\n");
    EXPECT_EQ(Status(Path("script.sh")).st_mode & 07777, 0751u);

    const struct stat cleanAfter = Status(Path("clean.txt"));
    EXPECT_EQ(ReadFile(Path("clean.txt")), kClean);
    EXPECT_EQ(cleanAfter.st_ino, cleanBefore.st_ino);
    EXPECT_EQ(fs::last_write_time(Path("clean.txt")), cleanTimeBefore);
    EXPECT_EQ(cleanAfter.st_mode & 07777, 0604u);
    // No temporary file left behind.
    EXPECT_EQ(Listing(dir_), (std::set<std::string> { "clean.txt", "damaged.txt", "script.sh" }));
}

TEST_F(CommandTest, InPlaceOnTheSameFileTwiceRepairsItOnce)
{
    WriteFile(Path("a.txt"), "\xC3\x83\xC3\x83\xC2\xA9\n"); // ÃÃ© becomes àé, and stays so
    const Outcome outcome = Run({ "-i", Path("a.txt"), Path("a.txt") });
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(ReadFile(Path("a.txt")), "\xC3\xA0\xC3\xA9\n");
    EXPECT_EQ(Listing(dir_), std::set<std::string> { "a.txt" });
}

struct RefusalCase
{
    const char* name;
    std::string reason;
};

// What -i does not rewrite: each one gets its message, is left as it was, and the next file is
// still repaired.
TEST_F(CommandTest, InPlaceRefusesWhatItCannotSafelyReplace)
{
    WriteFile(Path("target.txt"), kDamaged);
    fs::create_symlink("target.txt", Path("link"));
    ASSERT_EQ(mkfifo(Path("fifo").c_str(), 0644), 0); // opening it to read would wait for a writer
    fs::create_directory(Path("folder"));
    const RefusalCase cases[] = {
        { "link",
            "c'est un lien symbolique, réparez plutôt le fichier qu'il désigne ; lien laissé "
            "intact" },
        { "fifo",
            "ce n'est pas un fichier ordinaire, il ne peut être réparé que vers la sortie "
            "standard" },
        { "folder", "c'est un dossier" },
        { "absent", "fichier introuvable" },
    };
    for (const RefusalCase& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(Path("next.txt"), kDamaged);
        const Outcome outcome = Run({ "-i", Path(c.name), Path("next.txt") });
        EXPECT_EQ(outcome.status, 1);
        EXPECT_EQ(outcome.err, "orvik-repair: " + Path(c.name).string() + ": " + c.reason + "\n");
        EXPECT_EQ(ReadFile(Path("next.txt")), kRepaired);
    }
    EXPECT_TRUE(fs::is_symlink(Path("link")));
    EXPECT_EQ(ReadFile(Path("target.txt")), kDamaged);
    EXPECT_EQ(Listing(dir_),
        (std::set<std::string> { "fifo", "folder", "link", "next.txt", "target.txt" }));
}

// A write that fails half-way (here: past the file size limit) leaves the original as it was and
// removes the unfinished copy; the next file is still repaired.
TEST_F(CommandTest, InPlaceFailedWriteLeavesTheOriginalIntact)
{
    std::string big;
    while (big.size() < (1 << 20))
        big += kDamaged;
    WriteFile(Path("big.txt"), big);
    WriteFile(Path("small.txt"), kDamaged);
    RunOptions limited;
    limited.fileSizeLimit = 64 * 1024;
    const Outcome outcome = Run({ "-i", Path("big.txt"), Path("small.txt") }, limited);
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.err,
        "orvik-repair: " + Path("big.txt").string()
            + ": écriture du fichier temporaire impossible (fichier trop gros) ; fichier laissé "
              "intact\n");
    EXPECT_EQ(ReadFile(Path("big.txt")), big);
    EXPECT_EQ(ReadFile(Path("small.txt")), kRepaired);
    EXPECT_EQ(Listing(dir_), (std::set<std::string> { "big.txt", "small.txt" }));
}

// The user cannot create files in the folder: the damaged file there is reported and left intact,
// a clean file there is no error (it needs no rewrite), and a file elsewhere is still repaired.
// Root may create files in any folder, so as root the program runs as the unprivileged user 65534.
// That user may not keep root as the owner of the file it repairs, but keeps its group.
TEST_F(CommandTest, InPlaceInAReadOnlyFolder)
{
    const bool root = geteuid() == 0;
    RunOptions options;
    if (root) {
        const Outcome probe = Run({ "-u" }, AsNobody("/usr/bin/id"));
        if (probe.status != 0 || probe.out != "65534\n")
            GTEST_SKIP() << "running as root, and setpriv cannot switch to the user 65534 here, so "
                            "a read-only folder cannot be tested: "
                         << probe.err;
        // The built program may lie in a folder that user cannot reach: run a copy.
        fs::copy_file(ORVIK_REPAIR_PROGRAM, Path("orvik-repair"));
        fs::permissions(Path("orvik-repair"), fs::perms(0755));
        options = AsNobody(Path("orvik-repair"));
    }
    fs::create_directory(Path("locked"));
    fs::create_directory(Path("open"));
    WriteFile(Path("locked/damaged.txt"), kDamaged, 0644);
    WriteFile(Path("locked/clean.txt"), kClean, 0644);
    WriteFile(Path("open/damaged.txt"), kDamaged, 0664);
    if (root) {
        ASSERT_EQ(chown(Path("open/damaged.txt").c_str(), 0, kUsers), 0);
    }
    ASSERT_EQ(chmod(Path("open").c_str(), 0777), 0);
    ASSERT_EQ(chmod(Path("locked").c_str(), 0555), 0);

    const Outcome outcome = Run(
        { "-i", Path("locked/damaged.txt"), Path("locked/clean.txt"), Path("open/damaged.txt") },
        options);
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.err,
        "orvik-repair: " + Path("locked/damaged.txt").string()
            + ": impossible de créer le fichier temporaire dans son dossier (permission refusée) ; "
              "fichier laissé intact\n");
    EXPECT_EQ(ReadFile(Path("locked/damaged.txt")), kDamaged);
    EXPECT_EQ(ReadFile(Path("locked/clean.txt")), kClean);
    EXPECT_EQ(Listing(Path("locked")), (std::set<std::string> { "clean.txt", "damaged.txt" }));
    EXPECT_EQ(ReadFile(Path("open/damaged.txt")), kRepaired);
    EXPECT_EQ(Status(Path("open/damaged.txt")).st_mode & 07777, 0664u);
    if (root) {
        EXPECT_EQ(Status(Path("open/damaged.txt")).st_uid, kNobody);
        EXPECT_EQ(Status(Path("open/damaged.txt")).st_gid, kUsers);
    }
}

} // namespace
