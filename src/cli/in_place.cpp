// SPDX-License-Identifier: MIT
#include "cli/in_place.h"

#include "cli/messages.h"

namespace orvik::cli {

namespace {

// The new file of one repair: closed and removed on destruction unless it was put in place.
class Temporary
{
public:
    explicit Temporary(InPlaceSystem& system)
        : system_(system)
    { }
    Temporary(const Temporary&) = delete;
    Temporary& operator=(const Temporary&) = delete;
    ~Temporary()
    {
        if (fd >= 0)
            system_.Close(fd);
        if (exists)
            system_.RemoveTemporary();
    }

    int fd = -1;
    bool exists = false;

private:
    InPlaceSystem& system_;
};

// Closes the original when the repair ends, however it ends.
class OriginalClosed
{
public:
    OriginalClosed(InPlaceSystem& system, int fd)
        : system_(system)
        , fd_(fd)
    { }
    OriginalClosed(const OriginalClosed&) = delete;
    OriginalClosed& operator=(const OriginalClosed&) = delete;
    ~OriginalClosed() { CloseNow(); }
    void CloseNow()
    {
        if (fd_ >= 0)
            system_.Close(fd_);
        fd_ = -1;
    }

private:
    InPlaceSystem& system_;
    int fd_;
};

InPlaceResult Failed(std::string reason)
{
    return { InPlaceResult::Outcome::Failed, std::move(reason) };
}

InPlaceResult FailedLeftIntact(const std::string& what, int error)
{
    return Failed(LeftIntact(what, error));
}

} // namespace

InPlaceResult RepairFileInPlace(
    const std::string& path, StreamBuffers& buffers, InPlaceSystem& system)
{
    const InPlaceSystem::Original original = system.OpenOriginal(path);
    if (original.fd < 0)
        return Failed(original.refusal.empty() ? DescribeError(original.error) : original.refusal);
    OriginalClosed originalClosed(system, original.fd);

    // A first pass that only reads: a file with nothing to repair stays exactly as it is.
    const StreamResult check = CheckStream(original.fd, buffers);
    if (check.failure != StreamResult::Failure::None)
        return Failed(DescribeError(check.error));
    if (!check.changed)
        return { InPlaceResult::Outcome::Unchanged, {} };
    if (!original.refusalToReplace.empty())
        return Failed(original.refusalToReplace);
    if (const int error = system.Rewind(original.fd))
        return FailedLeftIntact("retour au début du fichier impossible", error);

    Temporary temporary(system);
    if (const int error = system.CreateTemporary(path, temporary.fd))
        return FailedLeftIntact(
            "impossible de créer le fichier temporaire dans son dossier", error);
    temporary.exists = true;

    const StreamResult copy = RepairStream(original.fd, temporary.fd, buffers);
    if (copy.failure == StreamResult::Failure::Read)
        return FailedLeftIntact("lecture impossible", copy.error);
    if (copy.failure == StreamResult::Failure::Write)
        return FailedLeftIntact("écriture du fichier temporaire impossible", copy.error);

    if (std::string failure = system.KeepMetadata(original.fd, temporary.fd); !failure.empty())
        return Failed(failure);
    if (const int error = system.Flush(temporary.fd))
        return FailedLeftIntact("écriture du fichier temporaire sur le disque impossible", error);
    // Closing is where some file systems report a failed write, which must not go unnoticed
    // before the replace.
    const int fd = temporary.fd;
    temporary.fd = -1;
    if (const int error = system.Close(fd))
        return FailedLeftIntact("écriture du fichier temporaire impossible", error);
    // Nothing more is read from the original, and Windows replaces no file held open.
    originalClosed.CloseNow();
    if (const int error = system.Replace(path))
        return FailedLeftIntact("impossible de remplacer le fichier par sa version réparée", error);
    temporary.exists = false;
    system.SyncFolder(path);
    return { InPlaceResult::Outcome::Repaired, {} };
}

} // namespace orvik::cli
