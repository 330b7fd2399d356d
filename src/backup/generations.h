// The archives the program keeps beside the database file, judged by the
// files that are there and never by the database's own rotation settings:
// the generation files "Quillet<g>.zbf" of the automatic backups, which of
// them the next automatic backup writes, the archives set aside out of that
// rotation, the newest archive that can be read, and the texts that tell the
// user about them at start.
//
// The rule for backups found beside a new database: a start that finds the
// database file missing or empty while the folder holds archives (before the
// open makes a new, empty database there) sets every generation file aside,
// renamed in the same folder to "Quillet<g>-of-<day>.zbf" (the day, yyyy-MM-dd,
// that the archived database is of; "-2", "-3", ... added when that name is
// taken). No automatic backup writes over a file of that name, and Setup's
// restore dialog opens in that folder while it holds such a file (unless a
// backup of the run was written elsewhere): it stays until the user deletes it. That run writes no automatic backup
// (AutoBackups::None), since an archive of the empty database would be the
// newest; later runs start the generations again from Quillet0.zbf.
//
// Callers pass the folder; nothing here reads or writes the database or
// shows anything: the caller decides what to tell and shows it.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

// What a read of an archive, writing nothing, found in it.
struct ArchiveScan {
    bool complete = false;       // read whole up to its end marker
    bool holdsDatabase = false;  // an entry lands as Quillet.zrv
    int64_t databaseDate = 0;    // that entry's archived date, in seconds
};
// Reads the archive at path through to its end without decompressing or
// writing anything; reports nothing.
ArchiveScan scanArchive(const QString &path);

// One archive found in a folder.
struct GenerationArchive {
    int generation = 0;  // the generation it is or was set aside from
    bool setAside = false;
    QString path;
    // A complete archive holding a database file; an archive that cannot be
    // read counts as older than every readable one.
    bool readable = false;
    bool denied = false;  // this user may not read it (so it is not known to be unreadable)
    // The archived database file's date when readable, else the archive
    // file's modification time; seconds.
    int64_t date = 0;
    int64_t modifiedMs = 0;  // the archive file's modification time
};
// Whether a holds an older backup than b: unreadable first, then by date,
// then by the archive file's time, then by generation.
bool olderBackup(const GenerationArchive &a, const GenerationArchive &b);

// The name of generation g's file in dir.
QString generationPath(const QString &dir, int generation);
// Every generation file in dir, any generation, in generation order.
QList<GenerationArchive> generationArchives(const QString &dir);
// The generation files and the archives set aside in dir, oldest first
// (those that cannot be read before all others).
QList<GenerationArchive> keptArchives(const QString &dir);

// What the automatic backups of one run may write.
enum class AutoBackups {
    Normal,               // the lowest generation with no file, else over the oldest backup
    FreeGenerationsOnly,  // only a generation with no file: every archive there is kept
    None,                 // nothing
};
// The generation the next automatic backup in dir writes, among 0 to
// totalBackup - 1 (a total below 1 counts as 1): the lowest with no file,
// else the one with the oldest backup; -1 when nothing may be written.
int generationToWrite(const QString &dir, int totalBackup, AutoBackups allowed);

// Whether the database file in dir is missing or empty while the folder
// holds archives: the start then sets them aside (see the rule above).
bool newDatabaseBesideBackups(const QString &dir);
// What a start that found a new database beside backups did with them.
struct ArchivesSetAside {
    QString folder;
    bool databaseEmpty = false;  // else missing
    QStringList names;           // every archive out of the rotation, by its name now, oldest first
    QStringList notRenamed;      // generation files that could not be renamed, oldest first
    std::optional<GenerationArchive> newestReadable;
};
// Whether dir holds archives set aside (by their names alone).
bool anyArchiveSetAside(const QString &dir);
// Renames every generation file in dir out of the rotation (see the rule
// above); a file that cannot be renamed keeps its name.
ArchivesSetAside setArchivesAside(const QString &dir);
// The start notice for a new database beside backups; `opened`: the new,
// empty database has been opened (else the notice does not claim it).
QString newDatabaseNotice(const ArchivesSetAside &kept, bool opened);

// A name in dir, stem + suffix, or stem + "-2" + suffix and so on, that no
// file has.
QString unusedName(const QString &dir, const QString &stem, const QString &suffix);
// The name an unreadable database file is kept under when a backup is
// restored in its place: "Quillet-unreadable-<day>.zrv", made unique.
QString unreadableDatabaseName(const QString &dir, int64_t nowSeconds);
// The questions asked at start when the database file in dir cannot be
// read, the file to be kept as keptAs. `before` says why no other archive
// was offered first, or why the last one could not be restored: sentences,
// or empty. The first offers an archive of dir: the newest that can be read,
// or (newest false) the next one; the second one chosen elsewhere.
QString restoreAtStartQuestion(const QString &dir, const GenerationArchive &archive, const QString &keptAs,
                               const QString &before, bool newest);
QString restoreFromElsewhereQuestion(const QString &dir, const QString &keptAs, const QString &before);
// The sentence that names the archives that this user may not read; empty
// when there are none.
QString deniedArchivesText(const QList<GenerationArchive> &archives);
// The sentence that names the archives (oldest first, as keptArchives gives
// them) that cannot be read and are newer than `offered`; empty when none.
QString newerUnreadableText(const QList<GenerationArchive> &archives, const GenerationArchive &offered);
