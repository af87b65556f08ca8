#include "cli/in_place.h"

#include "cli/messages.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvik::cli {

namespace {

// The new file of the repair under way, for the signal handler. A fixed buffer because the handler
// may only call async-signal-safe functions.
char g_temporaryPath[PATH_MAX];
volatile std::sig_atomic_t g_temporaryActive = 0;

extern "C" void RemoveTemporaryAndDie(int signal)
{
    if (g_temporaryActive)
        unlink(g_temporaryPath);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

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
InPlaceResult FailedLeftIntact(const char* what, int error)
{
    return Failed(std::string(what) + " (" + DescribeError(error) + ") ; fichier laissé intact");
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

    // The owner first: fchown() clears the set-user-ID and set-group-ID bits, fchmod() then sets
    // the original's bits. Where the owner cannot be kept (a user repairing someone else's file in
    // a folder of their own), the group still is where the user belongs to it, so that the group
    // bits keep their meaning, and the two set-ID bits are dropped rather than given to the wrong
    // owner.
    mode_t mode = status.st_mode & 07777;
    if ((status.st_uid != geteuid() || status.st_gid != getegid())
        && fchown(temporary.fd(), status.st_uid, status.st_gid) != 0) {
        mode &= ~mode_t(S_ISUID | S_ISGID);
        if (fchown(temporary.fd(), uid_t(-1), status.st_gid) != 0) {
            // Not a member of that group either: the new file keeps the user's own group.
        }
    }
    if (fchmod(temporary.fd(), mode) != 0)
        return FailedLeftIntact(
            "impossible de donner au fichier réparé les permissions de l'original", errno);
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
    for (int signal : { SIGINT, SIGTERM, SIGHUP }) {
        struct sigaction action
        { };
        action.sa_handler = RemoveTemporaryAndDie;
        sigemptyset(&action.sa_mask);
        // A signal that was ignored when the program started (nohup, a background job) stays so.
        struct sigaction previous
        { };
        if (sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN)
            continue;
        sigaction(signal, &action, nullptr);
    }
}

} // namespace orvik::cli
