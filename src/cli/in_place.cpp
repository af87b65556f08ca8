#include "cli/in_place.h"

#include "cli/messages.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <limits.h>
#include <optional>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace orvik::cli {

namespace {

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
        sigprocmask(SIG_BLOCK, &held, &previous_);
    }
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;
    ~SignalsHeld() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }

private:
    sigset_t previous_;
};

// "dir/" for "dir/name", "./" for "name": where the new file goes.
std::string FolderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "./" : path.substr(0, slash + 1);
}

// Closes the descriptor it owns.
class Descriptor
{
public:
    explicit Descriptor(int fd)
        : fd_(fd)
    { }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor()
    {
        if (fd_ >= 0)
            close(fd_);
    }
    int get() const { return fd_; }

private:
    int fd_;
};

// The new file next to the original: removed on destruction unless it was renamed over it.
class TemporaryFile
{
public:
    // Creates it with mkostemp() in the folder of `original`. False with errno on failure.
    bool Create(const std::string& original)
    {
        path_ = FolderOf(original) + ".orvik-repair-XXXXXX";
        if (path_.size() >= sizeof g_temporaryPath) {
            errno = ENAMETOOLONG;
            return false;
        }
        const SignalsHeld held;
        std::memcpy(g_temporaryPath, path_.c_str(), path_.size() + 1);
        const int fd = mkostemp(g_temporaryPath, O_CLOEXEC);
        if (fd < 0)
            return false;
        path_ = g_temporaryPath;
        g_temporaryActive = 1;
        exists_ = true;
        fd_ = fd;
        return true;
    }

    ~TemporaryFile()
    {
        if (fd_ >= 0)
            close(fd_);
        const SignalsHeld held;
        if (exists_) {
            unlink(path_.c_str());
            g_temporaryActive = 0;
        }
    }

    int fd() const { return fd_; }

    // Closes now and reports the outcome: close() is where some file systems report a failed
    // write, which must not go unnoticed before the rename.
    bool Close()
    {
        const int fd = fd_;
        fd_ = -1;
        return close(fd) == 0;
    }

    // Renames the new file over `original`; from then on it is no longer removed.
    bool RenameOver(const std::string& original)
    {
        const SignalsHeld held;
        if (rename(path_.c_str(), original.c_str()) != 0)
            return false;
        g_temporaryActive = 0;
        exists_ = false;
        return true;
    }

private:
    std::string path_;
    int fd_ = -1;
    bool exists_ = false;
};

InPlaceResult Failed(std::string reason)
{
    return { InPlaceResult::Outcome::Failed, std::move(reason) };
}

// "what (errno description) ; fichier laissé intact"
InPlaceResult FailedLeftIntact(const std::string& what, int error)
{
    return Failed(what + " (" + DescribeError(error) + ") ; fichier laissé intact");
}

// Copies every extended attribute of `from` to `to`: user attributes, POSIX ACLs, security
// labels. Lists and values are asked for again when they grow between two calls.
std::optional<InPlaceResult> CopyExtendedAttributes(int from, int to)
{
    std::vector<char> names;
    for (;;) {
        const ssize_t size = flistxattr(from, nullptr, 0);
        if (size < 0) {
            if (errno == ENOTSUP)
                return std::nullopt; // a file system without them
            return FailedLeftIntact("lecture des attributs étendus impossible", errno);
        }
        names.resize(std::size_t(size));
        const ssize_t got = flistxattr(from, names.data(), names.size());
        if (got >= 0) {
            names.resize(std::size_t(got));
            break;
        }
        if (errno != ERANGE)
            return FailedLeftIntact("lecture des attributs étendus impossible", errno);
    }

    constexpr std::string_view kAccessAcl = "system.posix_acl_access";
    bool hasAccessAcl = false;
    std::vector<char> value;
    for (std::size_t at = 0; at < names.size(); at += std::strlen(names.data() + at) + 1) {
        const char* name = names.data() + at;
        const auto failed = [&](const char* what) {
            return FailedLeftIntact(
                std::string(what) + " l'attribut étendu " + QuoteName(name), errno);
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
        return FailedLeftIntact("impossible de retirer l'ACL héritée du dossier", errno);
    return std::nullopt;
}

// Gives the new file `fd` the owner, group, permission bits and extended attributes of the
// original, `from`, whose status is `original`.
std::optional<InPlaceResult> KeepMetadata(int from, const struct stat& original, int fd)
{
    // The new file has the user's owner, and the user's group or, in a set-group-ID folder, the
    // folder's: compare with what it has, not with the user's.
    struct stat made;
    if (fstat(fd, &made) != 0)
        return FailedLeftIntact("état du fichier temporaire illisible", errno);
    mode_t mode = original.st_mode & 07777;
    // First the owner: fchown() clears the set-ID bits, which fchmod() sets again at the end.
    if ((made.st_uid != original.st_uid || made.st_gid != original.st_gid)
        && fchown(fd, original.st_uid, original.st_gid) != 0) {
        // Not allowed to give the file away (a user repairing someone else's file in a folder of
        // their own): the user owns the new file, and the set-ID bits are dropped rather than
        // given to the wrong owner or group. The group is still kept where the user belongs to it.
        const int error = errno;
        const bool ownerKept = made.st_uid == original.st_uid;
        const bool groupKept
            = made.st_gid == original.st_gid || fchown(fd, uid_t(-1), original.st_gid) == 0;
        if (!ownerKept)
            mode &= ~mode_t(S_ISUID | S_ISGID);
        if (!groupKept) {
            mode &= ~mode_t(S_ISGID);
            // Another group must not get rights that only the original's group had.
            if (((mode >> 3) & ~mode & 07) != 0)
                return FailedLeftIntact("impossible de garder le groupe du fichier", error);
        }
    }
    if (auto failure = CopyExtendedAttributes(from, fd))
        return failure;
    if (fchmod(fd, mode) != 0)
        return FailedLeftIntact(
            "impossible de donner au fichier réparé les permissions de l'original", errno);
    return std::nullopt;
}

// Flushes the folder so that the rename itself survives a crash. Some file systems cannot sync a
// folder; the text is already in place by then, so a failure here is not reported.
void SyncFolderOf(const std::string& path)
{
    const int fd = open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

} // namespace

InPlaceResult RepairFileInPlace(const std::string& path, StreamBuffers& buffers)
{
    // O_NOFOLLOW refuses a symbolic link; O_NONBLOCK keeps a FIFO from blocking the open.
    Descriptor original(
        open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (original.get() < 0) {
        const int error = errno;
        struct stat link;
        if (error == ELOOP && lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode))
            return Failed(
                "c'est un lien symbolique, réparez plutôt le fichier qu'il désigne ; lien "
                "laissé intact");
        return Failed(DescribeError(error));
    }
    struct stat status;
    if (fstat(original.get(), &status) != 0)
        return Failed(DescribeError(errno));
    if (S_ISDIR(status.st_mode))
        return Failed(DescribeError(EISDIR));
    if (!S_ISREG(status.st_mode))
        return Failed(
            "ce n'est pas un fichier ordinaire, il ne peut être réparé que vers la sortie "
            "standard");
    const int flags = fcntl(original.get(), F_GETFL);
    if (flags >= 0)
        fcntl(original.get(), F_SETFL, flags & ~O_NONBLOCK);

    // A first pass that only reads: a file with nothing to repair stays exactly as it is.
    const StreamResult check = CheckStream(original.get(), buffers);
    if (check.failure != StreamResult::Failure::None)
        return Failed(DescribeError(check.error));
    if (!check.changed)
        return { InPlaceResult::Outcome::Unchanged, {} };
    if (lseek(original.get(), 0, SEEK_SET) != 0)
        return FailedLeftIntact("retour au début du fichier impossible", errno);

    TemporaryFile temporary;
    if (!temporary.Create(path))
        return FailedLeftIntact(
            "impossible de créer le fichier temporaire dans son dossier", errno);

    const StreamResult copy = RepairStream(original.get(), temporary.fd(), buffers);
    if (copy.failure == StreamResult::Failure::Read)
        return FailedLeftIntact("lecture impossible", copy.error);
    if (copy.failure == StreamResult::Failure::Write)
        return FailedLeftIntact("écriture du fichier temporaire impossible", copy.error);

    if (auto failure = KeepMetadata(original.get(), status, temporary.fd()))
        return *failure;
    if (fsync(temporary.fd()) != 0)
        return FailedLeftIntact("écriture du fichier temporaire sur le disque impossible", errno);
    if (!temporary.Close())
        return FailedLeftIntact("écriture du fichier temporaire impossible", errno);
    if (!temporary.RenameOver(path))
        return FailedLeftIntact("impossible de remplacer le fichier par sa version réparée", errno);
    SyncFolderOf(path);
    return { InPlaceResult::Outcome::Repaired, {} };
}

void RemoveTemporaryFileOnSignals()
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
