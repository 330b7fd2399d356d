// The generation files of the automatic backups, "Quillet<g>.zbf" beside the
// database file, judged by the archives that are there and never by the
// database's own rotation settings: which generation the next automatic
// backup writes, which archive is the newest, and the notice at start when a
// folder holds backups but no database (or an empty one).
// Callers pass the folder; nothing here reads or writes the database. The
// start check must run before the database is opened, since the open makes a
// missing or empty database file into a new database.
#pragma once

#include <QList>
#include <QString>

#include <cstdint>

class QWidget;

// What a read of an archive, writing nothing, found in it.
struct ArchiveScan {
    bool complete = false;       // read whole up to its end marker
    bool holdsDatabase = false;  // an entry lands as Quillet.zrv
    int64_t databaseDate = 0;    // that entry's archived date, in seconds
};
// Reads the archive at path through to its end without decompressing or
// writing anything; reports nothing.
ArchiveScan scanArchive(const QString &path);

// One generation file found in a folder.
struct GenerationArchive {
    int generation = 0;
    QString path;
    // A complete archive holding a database file; an archive that cannot be
    // read counts as older than every readable one.
    bool readable = false;
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

// The generation the next automatic backup in dir writes, among 0 to
// totalBackup - 1 (a total below 1 counts as 1): the lowest with no file,
// else the one with the oldest backup; -1 when every generation has a file
// and unusedOnly is set.
int generationToWrite(const QString &dir, int totalBackup, bool unusedOnly);

// The notice due at start for dir, before its database is opened: empty
// when the database file is there and not empty, or when the folder holds
// no generation file.
QString startNotice(const QString &dir);
// At start, before the database in dir is opened: shows the start notice
// when there is one, and notes for the rest of the run whether the database
// starts new (its file missing or empty).
void checkDatabaseAtStart(const QString &dir, QWidget *owner);
// Whether this run started a new database: its automatic backups then write
// only generations that have no file, so that every archive is kept.
bool startedNewDatabase();
