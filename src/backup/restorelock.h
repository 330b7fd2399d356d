// What keeps a restore of the database apart from the starts of the program
// in the same folder, whichever user of the database runs them. A restore
// replaces the database file by a rename, and till then leaves its copy
// "Quillet.zrv.restore" beside it: a start meanwhile would take that copy
// for what a killed restore left, and a start that opened the database would
// work on a file about to be replaced. So the folder's lock file
// ".Quillet.lock" carries two locks (platform/bytelocks.h):
//
//   the replacing lock: held by a start from before it looks for a cut-off
//       restore until it has counted the database's users (a restore at
//       start in between), and by Setup's restore from before it closes the
//       database until the program ends; never by two at once;
//   the restoring mark: held beside the replacing lock while a restore runs
//       or is about to, so that a start turned away can tell why.
//
// Who is kept out: while a restore or a start holds the replacing lock, every
// other start and restore in the folder, of any user who may write the
// database file (the lock file is given that file's group and read and
// write bits, see ByteLocks); such a start or restore touches no file.
// Both locks go with the process that holds them, however it ends.
//
// A lock that cannot be taken alone is never taken for one that is held. A
// user who may only read the lock file (one made by an earlier release for
// its owner alone) holds the replacing lock shared with such users
// (TakenShared): it keeps every restore out, but not another such start, so
// that start settles no cut-off restore and restores nothing. So does a start
// where no one can lock the lock file (a link, a folder or another kind of
// file at its name, or none in a folder the user may not write): no restore
// can run there either. So does a start of a user who may not open the lock
// file at all, nor make files in its folder (its owner made it before the
// database was shared): no lock of it keeps a restore out, but a restore
// takes the database file's own lock before its copy takes that file's
// place, so it never replaces a file such a start has open; such a start
// can make no database file in a restore's way; and one that finds the
// copy opens nothing. Where the lock file cannot be locked otherwise (a
// file system without locks, a refusal), whether a restore runs cannot be
// told (CannotTell): a start then opens nothing. A restore that cannot take
// both locks alone changes nothing; each says why (failure()).
#pragma once

#include "platform/bytelocks.h"

#include <QString>

class RestoreLock {
public:
    // The lock file of the database folder dir; nothing is taken yet.
    explicit RestoreLock(const QString &dir);

    enum Outcome {
        Taken,
        TakenShared,  // for a start: the replacing lock, shared with starts that can take it only so, or a
                      // lock file no one can lock
        Restoring,    // a restore runs in the folder, or is about to
        Starting,     // another start has the replacing lock
        CannotTell,   // the lock file cannot be locked
    };
    // For a start: the replacing lock alone.
    Outcome enterStart();
    // For Setup's restore: the restoring mark, then the replacing lock; when
    // either cannot be had alone, neither.
    Outcome enterRestore();
    // For a start that restores a backup while it holds the replacing lock.
    void markRestoring();
    // Lets go of both (also done when the object goes).
    void leave();
    // The system's text of why the lock file cannot be locked alone.
    QString failure() const { return locks_.failure(); }

private:
    platform::ByteLocks locks_;
};
