// Repairing a file where it stands, without ever losing what it held.
#pragma once

#include "cli/stream_repair.h"

#include <string>

namespace orvik::cli {

struct InPlaceResult
{
    enum class Outcome { Repaired, Unchanged, Failed };
    Outcome outcome = Outcome::Failed;
    std::string reason; // when Failed: French, for "orvik-repair: FICHIER: raison"
};

// Repairs the regular file at `path`:
// - a file with nothing to repair is only read, never rewritten, so it keeps its inode and times
//   (and needs no write access to its folder);
// - otherwise the repaired text goes to a new file in the same folder, ".orvik-repair-XXXXXX",
//   which gets the original's owner and group (where allowed), permission bits and extended
//   attributes (ACLs and security labels among them), is flushed to disk, and then replaces the
//   original with one rename(), so that a reader sees either the old text or the new one;
// - on any failure the new file is removed and the original is left as it was.
// A symbolic link is refused rather than followed or replaced: replacing it would turn the link
// into a plain file, and following it would write wherever it points, possibly outside the folder
// the user named. The user can name the file it points to.
// A file with several hard links is replaced under this name only; its other names keep the old
// text, as with any editor that saves by rename.
InPlaceResult RepairFileInPlace(const std::string& path, StreamBuffers& buffers);

// Makes every signal that would end the program from outside (SIGINT, SIGTERM, SIGHUP, SIGQUIT,
// SIGXFSZ, SIGUSR1...) remove the new file of a repair that it interrupts, before the program ends
// as that signal would end it. Signals ignored when the program started stay ignored.
void RemoveTemporaryFileOnSignals();

} // namespace orvik::cli
