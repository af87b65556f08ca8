// SPDX-License-Identifier: MIT
#include "cli/in_place.h"

#include "cli/messages.h"
#include "repair/full_repair.h"
#include "repair/utf8_repair.h"

#include <utility>

namespace orvik::cli {

namespace {

// The new file of one repair: closed and removed on destruction unless it was put in place.
class Temporary
{
public:
    explicit Temporary(InPlaceSystem& system)
        : m_system(system)
    { }
    Temporary(const Temporary&) = delete;
    Temporary& operator=(const Temporary&) = delete;
    ~Temporary()
    {
        if (fd >= 0)
            m_system.Close(fd);
        if (exists)
            m_system.RemoveTemporary();
    }

    int fd = -1;
    bool exists = false;

private:
    InPlaceSystem& m_system;
};

// Closes the original when the repair ends, however it ends.
class OriginalClosed
{
public:
    OriginalClosed(InPlaceSystem& system, int fd)
        : m_system(system)
        , m_fd(fd)
    { }
    OriginalClosed(const OriginalClosed&) = delete;
    OriginalClosed& operator=(const OriginalClosed&) = delete;
    ~OriginalClosed() { CloseNow(); }
    void CloseNow()
    {
        if (m_fd >= 0)
            m_system.Close(m_fd);
        m_fd = -1;
    }

private:
    InPlaceSystem& m_system;
    int m_fd;
};

InPlaceResult Failed(std::string reason)
{
    return { InPlaceResult::Outcome::Failed, std::move(reason) };
}

InPlaceResult FailedLeftIntact(const std::string& what, std::error_code error)
{
    return Failed(LeftIntact(what, error));
}

} // namespace

template <class Repairer>
InPlaceResult RepairFileInPlace(const std::string& path, Repairer& repairer, InPlaceSystem& system)
{
    const auto original = system.OpenOriginal(path);
    if (!original)
        return Failed(DescribeError(original.error()));
    OriginalClosed originalClosed(system, original->fd);

    // A first pass that only reads: a file with nothing to repair stays exactly as it is.
    const StreamResult check = CheckStream(original->fd, repairer);
    if (check.failure != StreamResult::Failure::None)
        return Failed(DescribeError(check.error));
    if (!check.changed)
        return { InPlaceResult::Outcome::Unchanged, {} };
    if (original->refusalToReplace)
        return Failed(DescribeError(original->refusalToReplace));
    if (const std::error_code error = system.Rewind(original->fd))
        return FailedLeftIntact("retour au début du fichier impossible", error);

    Temporary temporary(system);
    const auto created = system.CreateTemporary(path);
    if (!created)
        return FailedLeftIntact(
            "impossible de créer le fichier temporaire dans son dossier", created.error());
    temporary.fd = *created;
    temporary.exists = true;

    Output out(temporary.fd);
    const StreamResult copy = RepairStream(original->fd, out, repairer);
    if (copy.failure == StreamResult::Failure::Read)
        return FailedLeftIntact("lecture impossible", copy.error);
    if (copy.failure == StreamResult::Failure::Write)
        return FailedLeftIntact("écriture du fichier temporaire impossible", copy.error);

    if (std::string failure = system.KeepMetadata(original->fd, temporary.fd); !failure.empty())
        return Failed(failure);
    if (const std::error_code error = system.Flush(temporary.fd))
        return FailedLeftIntact("écriture du fichier temporaire sur le disque impossible", error);
    // Closing is where some file systems report a failed write, which must not go unnoticed
    // before the replace.
    const int fd = std::exchange(temporary.fd, -1);
    if (const std::error_code error = system.Close(fd))
        return FailedLeftIntact("écriture du fichier temporaire impossible", error);
    // Nothing more is read from the original, and Windows replaces no file held open.
    originalClosed.CloseNow();
    if (const std::error_code error = system.Replace(path)) {
        if (error.category() == RefusalCategory()) // another program's change: told as such
            return Failed(DescribeError(error));
        return FailedLeftIntact("impossible de remplacer le fichier par sa version réparée", error);
    }
    temporary.exists = false;
    system.SyncFolder(path);
    return { InPlaceResult::Outcome::Repaired, {} };
}

template InPlaceResult RepairFileInPlace(const std::string&, Utf8Repairer&, InPlaceSystem&);
template InPlaceResult RepairFileInPlace(const std::string&, FullRepairer&, InPlaceSystem&);

} // namespace orvik::cli
