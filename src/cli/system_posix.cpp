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
#include <limits.h>
#include <poll.h>
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

// The new file of the repair under way, for the signal handler. A fixed buffer because the handler
// may only call async-signal-safe functions.
char g_temporaryPath[PATH_MAX];
volatile std::sig_atomic_t g_temporaryActive = 0;

// Every signal whose default action ends the program and that a user, a terminal, a limit or
// another program sends from outside. Faults (SIGSEGV, SIGBUS...) are left alone: after one, the
// program's memory cannot be trusted to name the file. SIGKILL and SIGSTOP cannot be caught.
constexpr int kEndingSignals[] = { SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGPIPE, SIGALRM, SIGUSR1,
    SIGUSR2, SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGPOLL };

extern "C" void RemoveTemporaryAndDie(int signal)
{
    if (g_temporaryActive)
        unlink(g_temporaryPath);
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
    SignalsHeld()
    {
        sigset_t held;
        sigemptyset(&held);
        for (int signal : kEndingSignals)
            sigaddset(&held, signal);
        sigprocmask(SIG_BLOCK, &held, &m_previous);
    }
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
            m_opened = status;
            return Original { fd, TakeLease(fd) };
        }
        close(fd);
        return std::unexpected(refused);
    }

    std::error_code Rewind(int fd) override
    {
        return lseek(fd, 0, SEEK_SET) == 0 ? std::error_code() : LastError();
    }

    std::expected<int, std::error_code> CreateTemporary(const std::string& original) override
    {
        const std::string path
            = (std::filesystem::path(original).parent_path() / ".orvik-repair-XXXXXX").native();
        if (path.size() >= sizeof g_temporaryPath)
            return std::unexpected(std::error_code(ENAMETOOLONG, std::system_category()));
        const SignalsHeld held;
        std::memcpy(g_temporaryPath, path.c_str(), path.size() + 1);
        const int fd = mkostemp(g_temporaryPath, O_CLOEXEC);
        if (fd < 0)
            return std::unexpected(LastError());
        g_temporaryActive = 1;
        return fd;
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
    std::error_code Replace(const std::string& original) override
    {
        const SignalsHeld held;
        std::error_code error = SwapIn(original);
        ReleaseLease();
        return error;
    }

    void RemoveTemporary() override
    {
        ReleaseLease();
        const SignalsHeld held;
        if (g_temporaryActive)
            unlink(g_temporaryPath);
        g_temporaryActive = 0;
    }

    // Some file systems cannot sync a folder; the text is already in place by then, so a failure
    // here is not reported.
    void SyncFolder(const std::string& original) override
    {
        std::filesystem::path folder = std::filesystem::path(original).parent_path();
        if (folder.empty())
            folder = ".";
        const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
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

    std::error_code SwapIn(const std::string& original)
    {
        struct stat now;
        if (lstat(original.c_str(), &now) != 0 || !StillAsOpened(now, true))
            return Refusal::ChangedMeanwhile;
        if (renameat2(AT_FDCWD, g_temporaryPath, AT_FDCWD, original.c_str(), RENAME_EXCHANGE)
            != 0) {
            if ((errno != EINVAL && errno != ENOSYS)
                || rename(g_temporaryPath, original.c_str()) != 0)
                return LastError();
            g_temporaryActive = 0;
            return {};
        }
        // The original is now under the new file's name.
        if (lstat(g_temporaryPath, &now) != 0 || !StillAsOpened(now, false)) {
            if (renameat2(AT_FDCWD, g_temporaryPath, AT_FDCWD, original.c_str(), RENAME_EXCHANGE)
                == 0)
                return Refusal::ChangedMeanwhile;
            g_temporaryActive = 0; // the old text with its change is all that is left of it
            return Refusal::ChangedKeptAside;
        }
        unlink(g_temporaryPath);
        g_temporaryActive = 0;
        return {};
    }

    struct stat m_opened
    { };
    int m_lease = -1;
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
    for (int signal : kEndingSignals) {
        struct sigaction action
        { };
        action.sa_handler = RemoveTemporaryAndDie;
        // One handler at a time: a second signal waits until the first has removed the file.
        sigemptyset(&action.sa_mask);
        for (int other : kEndingSignals)
            sigaddset(&action.sa_mask, other);
        // A signal that was ignored when the program started (nohup, a background job) stays so.
        struct sigaction previous
        { };
        if (sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN)
            continue;
        sigaction(signal, &action, nullptr);
    }
}

} // namespace orvik::cli
