// File services that backups rely on beyond what Qt offers: whether two paths
// name one file, the archive attribute (a mark that a file changed since it
// was last backed up), and replacing a file so that the change survives a
// power loss. Paths are absolute or relative to the working directory.
#pragma once

#include <QString>

namespace platform {

// True when both paths name the same existing file (same device and inode),
// also when one of them reaches it through a symbolic or hard link.
bool sameFile(const QString &a, const QString &b);

// The archive attribute is kept as the user extended attribute
// "user.quillet.archive", holding the file's modification time and size as
// they were when the attribute was last cleared. The attribute counts as set
// when that mark is absent or no longer matches the file; on a file system
// without extended attributes every file counts as set.
bool archiveFlagSet(const QString &path);

// Clears the archive attribute (records the current time and size). Does
// nothing where extended attributes are unsupported; returns false only when
// the file cannot be examined or the mark cannot be written for another reason.
bool clearArchiveFlag(const QString &path);

// Syncs a folder, so that the names made, renamed or removed in it survive a
// power loss. False when it could not be synced.
bool syncFolder(const QString &dir);

// Renames `source` over `target` (both in one folder) and syncs that folder.
// False when the rename failed (target as it was) or the folder could not be
// synced (the rename done, perhaps not yet durable).
bool replaceFileDurably(const QString &source, const QString &target);

}  // namespace platform
