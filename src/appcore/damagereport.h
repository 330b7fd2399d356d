// Tells the user of damage the database engine meets in the program's
// database: one error box per failed operation (all reports made during one
// turn of the event loop, each text once), our own words first, then each
// engine text on a line of its own. The box goes through the dialog seam
// once the operation has returned, never from inside the engine.
//
// The main window installs it once the database is open and removes it when
// it goes; the owner must outlive neither.
#pragma once

#include "engine/database.h"

#include <QString>
#include <QStringList>

#include <vector>

class QWidget;

// Our words of the box, before the engine's texts.
inline constexpr const char* kDatabaseDamaged =
    "The database file is damaged. A backup can be restored with Restore in the setup dialog (Setup).";

// What the program says at start when only the database's indexes were
// damaged and have been rebuilt from its rows.
inline constexpr const char* kIndexesRebuilt =
    "The database's search indexes were damaged and have been rebuilt from its records. No record was lost.";

// What the program says at start when the indexes were damaged but could not
// be rebuilt for want of disk space.
inline constexpr const char* kIndexesNoSpace =
    "The database's search indexes are damaged, and there was not enough disk space to mend them. Nothing was "
    "lost. Free some disk space and start the program again: the indexes will then be mended. Until then, "
    "changes that need the damaged indexes are refused.";

// What the program says at start when records' keys disagreed with the
// search indexes (the engine's changed rows): names the contacts and cheques
// concerned, at most five, says that their stored values may have been
// changed by the damage, that the indexes have been rebuilt from the records
// as they are (mended) or could not be mended for want of disk space, and
// which backups in the folder can be read and so may hold the values from
// before (`archives`, the names of the backup files there; none is said
// plainly): whether they are of this database, from before the damage, is
// not known, so it is not claimed. Reads the names in
// the caller's transaction and leaves it running: the caller ends it.
QString ChangedRecordsText(const std::vector<dbDatabase::dbChangedRow>& rows, const QString& backupFolder,
                           const QStringList& archives, bool mended);

// Sends the engine's damage reports to the box above, owned by `owner`;
// nullptr stops it (reports waiting are still shown).
void ReportDatabaseDamage(QWidget* owner);
// Adds an engine text to the box of the running operation, as if the engine
// had reported it (nothing while no owner is set).
void TellDatabaseDamage(const char* engineText);
