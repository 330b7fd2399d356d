// What keeps a restore of the database apart from the starts of the program
// in the same folder. A restore replaces the database file by a rename, and
// till then leaves its copy "Quillet.zrv.restore" beside it: a start meanwhile
// would take that copy for what a killed restore left, and a start that
// opened the database would work on a file about to be replaced. So the
// folder's lock file ".Quillet.lock" carries two locks (platform/bytelocks.h):
//
//   the replacing lock: held by a start from before it looks for a cut-off
//       restore until it has counted the database's users (a restore at
//       start in between), and by Setup's restore from before it closes the
//       database until the program ends; never by two at once;
//   the restoring mark: held beside the replacing lock while a restore runs
//       or is about to, so that a start turned away can tell why.
//
// A start or a restore that finds the replacing lock held touches no file.
// Both locks go with the process that holds them, however it ends. Where the
// lock file cannot be opened for writing (the folder or the file of another
// user), nothing is locked and everything goes on as without the lock.
#pragma once

#include "platform/bytelocks.h"

#include <QString>

class RestoreLock {
public:
    // The lock file of the database folder dir; nothing is taken yet.
    explicit RestoreLock(const QString &dir);

    enum Outcome {
        Taken,
        Restoring,  // a restore runs in the folder, or is about to
        Starting,   // another start has the replacing lock
    };
    // For a start: the replacing lock alone.
    Outcome enterStart();
    // For Setup's restore: the restoring mark, then the replacing lock; when
    // that is held, neither.
    Outcome enterRestore();
    // For a start that restores a backup while it holds the replacing lock.
    void markRestoring();
    // Lets go of both (also done when the object goes).
    void leave();

private:
    platform::ByteLocks locks_;
};
