// The start's answer to a database file written by a later release of the
// program: besides all of this release's tables and fields it holds some
// that this release does not know (see dbFileNewerRelease). Such a file is
// sound and holds data this release cannot show, so it is never offered for
// replacement by a backup and nothing of it is changed: the program says so
// and ends. Call it right after a failed open of the program's database.
#pragma once

class QWidget;

// When the last open of the program's database failed because the file is
// of a later release: tells the user (owner: the message box's parent) and
// ends the program with exit code 1. Returns otherwise.
void EndIfDatabaseOfNewerVersion(QWidget* owner);
