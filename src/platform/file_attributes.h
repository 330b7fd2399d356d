// File services that backups rely on beyond what Qt offers: whether two paths
// name one file, the archive attribute (a mark that a file changed since it
// was last backed up), renaming, removing and replacing a file so that the
// change survives a power loss, and where a symbolic link leads. Paths are
// absolute or relative to the working directory.
//
// Creations of staged files, renames, links, removals and folder syncs go through
// one observer that tests may install, to fail a step on purpose or to end
// the process at it.
#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace platform {

enum class FileStep { Create, Rename, Link, Remove, SyncFolder };
class FileStepObserver {
public:
    virtual ~FileStepObserver() = default;
    // Called before each step on path (a rename's target); a nonzero error
    // code makes the step fail with it, as the system would.
    virtual int beforeStep(FileStep step, const QString &path) = 0;
};
// Installs the observer (nullptr: none) and returns the one before.
FileStepObserver *setFileStepObserver(FileStepObserver *observer);
// Asks the observer before a step taken elsewhere (a file created): false,
// with errno set, when it fails the step.
bool fileStepAllowed(FileStep step, const QString &path);

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

// 0 when this process's user may make, rename and remove files in the
// folder, else the system's reason (EACCES, EROFS, ...).
int folderWriteError(const QString &dir);
// Whether this process's user may read the file (its permission bits and
// access control lists allow it).
bool mayRead(const QString &path);

// The type of the file system that holds dir (as the system names it, such
// as "fuse.sshfs" or "nfs4") when its locks may not reach other computers
// or other paths to the same folder: a FUSE file system (which may keep
// locks to itself), a network file system mounted with local locks only,
// 9p or virtiofs. Empty for any other.
QString unsharedLocksFileSystem(const QString &dir);

// Renames `source` over `target` (both in one folder), not synced. False,
// with errno set, when it failed (target as it was).
bool renameFile(const QString &source, const QString &target);
// Gives the file `source` the further name `target` (both in one folder; a
// hard link), not synced. False, with errno set, when it failed, as on a
// file system without such links.
bool linkFile(const QString &source, const QString &target);
// Removes a name, not synced. True when it is gone, also when there was none.
bool removeFile(const QString &path);

enum class Replaced {
    No,         // the rename failed: the target is as it was
    Synced,     // in place, and the folder synced
    NotSynced,  // in place, but the folder could not be synced: a power cut may undo it
};
// Renames `source` over `target` (both in one folder) and syncs that folder;
// errno is set unless it was Synced.
Replaced replaceFileDurably(const QString &source, const QString &target);

// The file a path ends at once every symbolic link on its last component is
// followed (a link to a link too), made absolute; the path itself when it is
// no link. It need not exist. Empty when the links go round in a loop.
QString linkedPath(const QString &path);

// What tells one file from another while both exist: its device and inode.
struct FileIdentity {
    uint64_t device = 0, inode = 0;
    bool operator==(const FileIdentity &) const = default;
};
// The identity of the file a path names, links followed; none when there is
// no such file.
std::optional<FileIdentity> fileIdentity(const QString &path);

}  // namespace platform
