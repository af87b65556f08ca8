// SPDX-License-Identifier: MIT
// The system layer on POSIX systems: descriptors, errno, rename() and signals.
#include "cli/messages.h"
#include "cli/system.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <random>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace orvik::cli {

std::string DescribeError(std::error_code code)
{
    if (code.category() == RefusalCategory())
        return code.message();
    const int error = code.value();
    switch (error) {
    case ENOENT:
        return "fichier introuvable";
    case EACCES:
        return "permission refusée";
    case EPERM:
        return "opération non permise";
    case EISDIR:
        return "c'est un dossier";
    case ENOTDIR:
        return "un élément du chemin n'est pas un dossier";
    case ENOSPC:
        return "plus de place sur le disque";
    case EDQUOT:
        return "quota de disque dépassé";
    case EROFS:
        return "système de fichiers en lecture seule";
    case EIO:
        return "erreur d'entrée-sortie";
    case EFBIG:
        return "fichier trop gros";
    case ENAMETOOLONG:
        return "nom de fichier trop long";
    case ELOOP:
        return "trop de liens symboliques";
    case EMFILE:
    case ENFILE:
        return "trop de fichiers ouverts";
    case ENOMEM:
        return "mémoire insuffisante";
    case EPIPE:
        return "le lecteur a fermé le tube";
    case EBADF:
        return "descripteur de fichier fermé ou invalide";
    case EBUSY:
        return "ressource occupée";
    case ETXTBSY:
        return "fichier exécutable en cours d'utilisation";
    case ENXIO:
    case ENODEV:
        return "périphérique introuvable";
    case EXDEV:
        return "le fichier et le dossier sont sur des systèmes de fichiers différents";
    case EINVAL:
        return "opération impossible sur ce fichier";
    case EOVERFLOW:
        return "valeur trop grande pour ce système";
    // What a network or FUSE file system gives once its connection is lost or its server changed.
    case ENOTCONN:
        return "système de fichiers distant déconnecté";
    case ESTALE:
        return "fichier distant périmé, le serveur ne le connaît plus";
    case ETIMEDOUT:
        return "délai d'attente dépassé";
    case EOPNOTSUPP:
        return "opération non prise en charge par ce système de fichiers";
    default:
        return "erreur système n° " + std::to_string(error);
    }
}

namespace {

// The error code errno holds.
std::error_code LastError()
{
    return { errno, std::system_category() };
}

// Waits until `fd` is ready for `events`; false with errno when poll() itself fails.
bool WaitFor(int fd, short events)
{
    pollfd p { fd, events, 0 };
    while (poll(&p, 1, -1) < 0) {
        if (errno != EINTR)
            return false;
    }
    return true;
}

// The new file of the repair under way, for the signal handler: the folder it is in, open (so that
// a folder moved or renamed meanwhile still holds it), and its name there. Fixed storage because
// the handler may only call async-signal-safe functions.
volatile std::sig_atomic_t g_temporaryFolder = -1;
char g_temporaryName[] = ".orvik-repair-XXXXXX";
volatile std::sig_atomic_t g_temporaryActive = 0;

// Every signal whose default action ends the program and that a user, a terminal, a limit or
// another program sends from outside, the real-time ones included. Faults (SIGSEGV, SIGBUS,
// SIGSYS, SIGTRAP...) are left alone: after one, the program's memory cannot be trusted to name
// the file. SIGKILL and SIGSTOP cannot be caught.
const sigset_t& EndingSignals()
{
    static const sigset_t signals = [] {
        sigset_t set;
        sigemptyset(&set);
        for (int signal : { SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGPIPE, SIGALRM, SIGUSR1, SIGUSR2,
                 SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGPOLL, SIGPWR, SIGSTKFLT })
            sigaddset(&set, signal);
        for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal)
            sigaddset(&set, signal);
        return set;
    }();
    return signals;
}

extern "C" void RemoveTemporaryAndDie(int signal)
{
    if (g_temporaryActive)
        unlinkat(g_temporaryFolder, g_temporaryName, 0);
    struct sigaction action
    { };
    action.sa_handler = SIG_DFL;
    sigaction(signal, &action, nullptr);
    // Blocked while its handler runs: it ends the program as soon as the handler returns.
    raise(signal);
}

// What breaks the lease on a file to repair (see PosixInPlace::TakeLease). A signal whose default
// is to be ignored, so that no notice can end the program.
constexpr int kLeaseSignal = SIGURG;

// Another program opens the file to write to it, and waits until the lease is given up: given up at
// once, so that it waits no longer. The replace then sees that the lease is gone.
extern "C" void GiveUpBrokenLease(int, siginfo_t* info, void*)
{
    const int savedErrno = errno;
    if (info->si_code == POLL_MSG)
        fcntl(info->si_fd, F_SETLEASE, F_UNLCK);
    errno = savedErrno;
}

bool SameTime(const timespec& a, const timespec& b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// Holds back the signals above while the new file's name and existence may disagree (while it is
// created, and while it is renamed), so that the handler never misses it nor removes another.
class SignalsHeld
{
public:
    SignalsHeld() { sigprocmask(SIG_BLOCK, &EndingSignals(), &m_previous); }
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;
    ~SignalsHeld() { sigprocmask(SIG_SETMASK, &m_previous, nullptr); }

private:
    sigset_t m_previous;
};

// Copies every extended attribute of `from` to `to`: user attributes, POSIX ACLs, security
// labels. Lists and values are asked for again when they grow between two calls.
std::string CopyExtendedAttributes(int from, int to)
{
    std::vector<char> names;
    for (;;) {
        const ssize_t size = flistxattr(from, nullptr, 0);
        if (size < 0) {
            if (errno == ENOTSUP)
                return {}; // a file system without them
            return LeftIntact("lecture des attributs étendus impossible", LastError());
        }
        names.resize(std::size_t(size));
        const ssize_t got = flistxattr(from, names.data(), names.size());
        if (got >= 0) {
            names.resize(std::size_t(got));
            break;
        }
        if (errno != ERANGE)
            return LeftIntact("lecture des attributs étendus impossible", LastError());
    }

    constexpr std::string_view kAccessAcl = "system.posix_acl_access";
    bool hasAccessAcl = false;
    std::vector<char> value;
    for (std::size_t at = 0; at < names.size(); at += std::strlen(names.data() + at) + 1) {
        const char* name = names.data() + at;
        const auto failed = [&](const char* what) {
            return LeftIntact(
                std::string(what) + " l'attribut étendu " + QuoteName(name), LastError());
        };
        ssize_t size;
        for (;;) {
            size = fgetxattr(from, name, nullptr, 0);
            if (size >= 0) {
                value.resize(std::size_t(size));
                size = fgetxattr(from, name, value.data(), value.size());
            }
            if (size >= 0 || errno != ERANGE)
                break;
        }
        if (size < 0 && errno == ENODATA)
            continue; // removed since it was listed
        if (size < 0)
            return failed("impossible de lire");
        if (fsetxattr(to, name, value.data(), std::size_t(size), 0) != 0)
            return failed("impossible de recopier");
        hasAccessAcl = hasAccessAcl || name == kAccessAcl;
    }
    // A default ACL of the folder gave the new file an ACL that the original does not have.
    if (!hasAccessAcl && fremovexattr(to, kAccessAcl.data()) != 0 && errno != ENODATA
        && errno != ENOTSUP)
        return LeftIntact("impossible de retirer l'ACL héritée du dossier", LastError());
    return {};
}

// Gives the new file `fd` the owner, group, permission bits and extended attributes of the
// original, `from`.
std::string CopyMetadata(int from, int fd)
{
    struct stat original;
    if (fstat(from, &original) != 0)
        return LeftIntact("état du fichier illisible", LastError());
    // The new file has the user's owner, and the user's group or, in a set-group-ID folder, the
    // folder's: compare with what it has, not with the user's.
    struct stat made;
    if (fstat(fd, &made) != 0)
        return LeftIntact("état du fichier temporaire illisible", LastError());
    mode_t mode = original.st_mode & 07777;
    // First the owner: fchown() clears the set-ID bits, which fchmod() sets again at the end.
    if ((made.st_uid != original.st_uid || made.st_gid != original.st_gid)
        && fchown(fd, original.st_uid, original.st_gid) != 0) {
        // Not allowed to give the file away (a user repairing someone else's file in a folder of
        // their own): the user owns the new file, and the set-ID bits are dropped rather than
        // given to the wrong owner or group. The group is still kept where the user belongs to it.
        const std::error_code error = LastError();
        const bool ownerKept = made.st_uid == original.st_uid;
        const bool groupKept
            = made.st_gid == original.st_gid || fchown(fd, uid_t(-1), original.st_gid) == 0;
        if (!ownerKept)
            mode &= ~mode_t(S_ISUID | S_ISGID);
        if (!groupKept) {
            mode &= ~mode_t(S_ISGID);
            // Another group must not get rights that only the original's group had.
            if (((mode >> 3) & ~mode & 07) != 0)
                return LeftIntact("impossible de garder le groupe du fichier", error);
        }
    }
    if (std::string failure = CopyExtendedAttributes(from, fd); !failure.empty())
        return failure;
    if (fchmod(fd, mode) != 0)
        return LeftIntact(
            "impossible de donner au fichier réparé les permissions de l'original", LastError());
    return {};
}

} // namespace

std::expected<std::size_t, std::error_code> ReadSome(int fd, char* buffer, std::size_t size)
{
    for (;;) {
        const ssize_t got = read(fd, buffer, size);
        if (got >= 0)
            return std::size_t(got);
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (!WaitFor(fd, POLLIN))
                return std::unexpected(LastError());
        } else if (errno != EINTR) {
            return std::unexpected(LastError());
        }
    }
}

std::error_code WriteAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t put = write(fd, bytes.data(), bytes.size());
        if (put > 0) {
            bytes.remove_prefix(std::size_t(put));
        } else if (put == 0) {
            // write() may not make progress on a non-empty buffer
            return { EIO, std::system_category() };
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (!WaitFor(fd, POLLOUT))
                return LastError();
        } else if (errno != EINTR) {
            return LastError();
        }
    }
    return {};
}

std::error_code Output::Write(std::string_view bytes)
{
    return WriteAll(m_fd, bytes);
}

std::expected<int, std::error_code> OpenToRead(const std::string& path)
{
    const int fd = open(path.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return std::unexpected(LastError());
    return fd;
}

void CloseFile(int fd)
{
    close(fd);
}

bool IsRegularFile(int fd)
{
    struct stat status;
    return fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
}

bool SameFile(int a, int b)
{
    struct stat first, second;
    return fstat(a, &first) == 0 && fstat(b, &second) == 0 && S_ISREG(first.st_mode)
        && first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

namespace {

class PosixInPlace final : public InPlaceSystem
{
public:
    PosixInPlace()
    {
        struct sigaction action
        { };
        action.sa_sigaction = GiveUpBrokenLease;
        action.sa_flags = SA_SIGINFO | SA_RESTART;
        sigemptyset(&action.sa_mask);
        sigaction(kLeaseSignal, &action, nullptr);
    }

    std::expected<Original, std::error_code> OpenOriginal(const std::string& path) override
    {
        ReleaseLease();
        CloseFolder();
        // O_NOFOLLOW refuses a symbolic link; O_NONBLOCK keeps a FIFO from blocking the open.
        const int fd
            = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) {
            const std::error_code error = LastError();
            struct stat link;
            if (error.value() == ELOOP && lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode))
                return std::unexpected(Refusal::Link);
            return std::unexpected(error);
        }
        struct stat status;
        std::error_code refused;
        if (fstat(fd, &status) != 0)
            refused = LastError();
        else if (S_ISDIR(status.st_mode))
            refused = { EISDIR, std::system_category() };
        else if (!S_ISREG(status.st_mode))
            refused = Refusal::NotRegularFile;
        else {
            const int flags = fcntl(fd, F_GETFL);
            if (flags >= 0)
                fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
            // The new file is made in the folder as it was opened here, and put in place there:
            // moved or renamed meanwhile, the folder still holds the file. Should the name now
            // lead to another folder, the replace finds another file under it and refuses.
            const std::filesystem::path name(path);
            const std::filesystem::path folder = name.parent_path();
            m_folder
                = open(folder.empty() ? "." : folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
            if (m_folder >= 0) {
                m_name = name.filename();
                m_opened = status;
                return Original { fd, TakeLease(fd) };
            }
            refused = LastError();
        }
        close(fd);
        return std::unexpected(refused);
    }

    std::error_code Rewind(int fd) override
    {
        return lseek(fd, 0, SEEK_SET) == 0 ? std::error_code() : LastError();
    }

    // A name of its own, ".orvik-repair-" and six letters or digits drawn at random, that no file
    // had.
    std::expected<int, std::error_code> CreateTemporary(const std::string&) override
    {
        constexpr std::string_view kLetters
            = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
        std::uniform_int_distribution<std::size_t> letter(0, kLetters.size() - 1);
        const SignalsHeld held;
        g_temporaryFolder = m_folder;
        constexpr std::size_t kDrawn = 6;
        char* const drawn = g_temporaryName + sizeof g_temporaryName - 1 - kDrawn;
        for (int attempt = 0; attempt < 100; ++attempt) {
            for (std::size_t i = 0; i < kDrawn; ++i)
                drawn[i] = kLetters[letter(m_random)];
            const int fd = openat(m_folder, g_temporaryName,
                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR);
            if (fd >= 0) {
                g_temporaryActive = 1;
                return fd;
            }
            if (errno != EEXIST)
                return std::unexpected(LastError());
        }
        return std::unexpected(std::error_code(EEXIST, std::system_category()));
    }

    std::string KeepMetadata(int original, int temporary) override
    {
        return CopyMetadata(original, temporary);
    }

    std::error_code Flush(int fd) override
    {
        return fsync(fd) == 0 ? std::error_code() : LastError();
    }
    std::error_code Close(int fd) override
    {
        return close(fd) == 0 ? std::error_code() : LastError();
    }

    // The file must still be the one that was read, and the check comes as close to the replace
    // as the system allows: the two files are swapped in one step, and the original, then under
    // the new file's name, is checked again before it is removed. A write that reached it in
    // between swaps them back. File systems that cannot swap (EINVAL), and kernels older than
    // Linux 3.15 (ENOSYS), get a plain rename right after the check.
    std::error_code Replace(const std::string&) override
    {
        const SignalsHeld held;
        std::error_code error = SwapIn();
        ReleaseLease();
        return error;
    }

    void RemoveTemporary() override
    {
        ReleaseLease();
        const SignalsHeld held;
        if (g_temporaryActive)
            unlinkat(m_folder, g_temporaryName, 0);
        g_temporaryActive = 0;
    }

    // Some file systems cannot sync a folder; the text is already in place by then, so a failure
    // here is not reported.
    void SyncFolder(const std::string&) override
    {
        const int fd = openat(m_folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0) {
            fsync(fd);
            close(fd);
        }
    }

private:
    // A read lease on the original, held on a descriptor of its own until the replace: the system
    // refuses one while another program has the file open to write to it, and breaks it when one
    // opens it so, even before it writes. Only the file's owner (or root) gets one, and only on
    // some file systems (not NFS); without it, the replace relies on the file's state alone.
    std::error_code TakeLease(int fd)
    {
        m_lease = fcntl(fd, F_DUPFD_CLOEXEC, 0);
        if (m_lease < 0)
            return {};
        if (fcntl(m_lease, F_SETSIG, kLeaseSignal) == 0 && fcntl(m_lease, F_SETLEASE, F_RDLCK) == 0)
            return {};
        const bool openForWriting = errno == EAGAIN;
        ReleaseLease();
        return openForWriting ? Refusal::OpenForWriting : std::error_code();
    }

    void ReleaseLease()
    {
        if (m_lease >= 0)
            close(m_lease);
        m_lease = -1;
    }

    void CloseFolder()
    {
        if (m_folder >= 0)
            close(m_folder);
        m_folder = -1;
    }

    // Whether `now` is still the file that was opened: the same inode, not written to since (its
    // size and modification time), nor opened to write to it while the lease was held, and, with
    // `changeTime`, without a change of owner, mode or links either (a rename, the swap included,
    // sets the change time too).
    bool StillAsOpened(const struct stat& now, bool changeTime) const
    {
        return now.st_dev == m_opened.st_dev && now.st_ino == m_opened.st_ino
            && now.st_size == m_opened.st_size && SameTime(now.st_mtim, m_opened.st_mtim)
            && (!changeTime || SameTime(now.st_ctim, m_opened.st_ctim))
            && (m_lease < 0 || fcntl(m_lease, F_GETLEASE) == F_RDLCK);
    }

    // The state of `name` in the folder, not following a link; false when it has none.
    bool StateOf(const char* name, struct stat& state) const
    {
        return fstatat(m_folder, name, &state, AT_SYMLINK_NOFOLLOW) == 0;
    }

    // Swaps the two files by their names in the folder; false with errno when it cannot.
    bool Swap() const
    {
        return renameat2(m_folder, g_temporaryName, m_folder, m_name.c_str(), RENAME_EXCHANGE) == 0;
    }

    std::error_code SwapIn()
    {
        struct stat now;
        if (!StateOf(m_name.c_str(), now) || !StillAsOpened(now, true))
            return Refusal::ChangedMeanwhile;
        if (!Swap()) {
            if ((errno != EINVAL && errno != ENOSYS)
                || renameat(m_folder, g_temporaryName, m_folder, m_name.c_str()) != 0)
                return LastError();
            g_temporaryActive = 0;
            return {};
        }
        // The original is now under the new file's name.
        if (!StateOf(g_temporaryName, now) || !StillAsOpened(now, false)) {
            if (Swap())
                return Refusal::ChangedMeanwhile;
            g_temporaryActive = 0; // the old text with its change is all that is left of it
            return Refusal::ChangedKeptAside;
        }
        unlinkat(m_folder, g_temporaryName, 0);
        g_temporaryActive = 0;
        return {};
    }

    struct stat m_opened
    { };
    int m_lease = -1;
    int m_folder = -1; // the folder of the file being repaired, O_PATH
    std::string m_name; // its name there
    std::mt19937 m_random { std::random_device {}() };
};

} // namespace

InPlaceSystem& InPlaceSystem::Native()
{
    static PosixInPlace system;
    return system;
}

bool HoldClosedStandardStreams()
{
    // Lower descriptors are open by the time each is looked at, so open() returns the one closed.
    for (const int fd : { 0, 1, 2 }) {
        if ((fcntl(fd, F_GETFD) < 0 && errno == EBADF)
            && open("/dev/null", (fd == 0 ? O_WRONLY : O_RDONLY) | O_NOCTTY) != fd)
            return false;
    }
    return true;
}

void RemoveTemporaryFileOnInterrupt()
{
    for (int signal = 1; signal < NSIG; ++signal) {
        if (sigismember(&EndingSignals(), signal) != 1)
            continue;
        struct sigaction action
        { };
        action.sa_handler = RemoveTemporaryAndDie;
        // One handler at a time: a second signal waits until the first has removed the file.
        action.sa_mask = EndingSignals();
        // A signal that was ignored when the program started (nohup, a background job) stays so.
        struct sigaction previous
        { };
        if (sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN)
            continue;
        sigaction(signal, &action, nullptr);
    }
}

} // namespace orvik::cli
