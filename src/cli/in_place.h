// SPDX-License-Identifier: MIT
// Repairing a file where it stands, without ever losing what it held.
#pragma once

#include "cli/stream_repair.h"
#include "cli/system.h"

#include <string>

namespace orvik::cli {

struct InPlaceResult
{
    enum class Outcome { Repaired, Unchanged, Failed };
    Outcome outcome = Outcome::Failed;
    std::string reason; // when Failed: French, for "orvik-repair: FICHIER: raison"
};

// Repairs the regular file at `path`, through the system layer `system`:
// - a file with nothing to repair is only read, never rewritten, so it keeps its identity and
//   times (and needs no write access to its folder);
// - otherwise the repaired text goes to a new file in the same folder, ".orvik-repair-XXXXXX",
//   which gets the original's metadata (on POSIX: owner and group where allowed, permission bits,
//   extended attributes with ACLs and security labels; on Windows the replace keeps attributes
//   and security), is flushed to disk, and then replaces the original in one step, so that a
//   reader sees either the old text or the new one;
// - on any failure the new file is removed and the original is left as it was.
// A symbolic link (or, on Windows, any reparse point) is refused rather than followed or replaced:
// replacing it would turn the link into a plain file, and following it would write wherever it
// points, possibly outside the folder the user named. The user can name the file it points to.
// A file with several hard links is replaced under this name only; its other names keep the old
// text, as with any editor that saves by rename.
// `Repairer` is Utf8Repairer or FullRepairer.
template <class Repairer>
InPlaceResult RepairFileInPlace(
    const std::string& path, Repairer& repairer, InPlaceSystem& system = InPlaceSystem::Native());

} // namespace orvik::cli
