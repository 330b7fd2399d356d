// What a backup of several volumes keeps beside its volumes, so that a
// restore can tell whether the volumes it is given come from one backup, and
// so that a backup that failed, was cancelled or was killed half way never
// costs the backup it was replacing. The volumes themselves keep the
// archive's layout (backupfile.cpp); everything here lives in files of its
// own (volumeset.cpp gives their formats):
//
//  - the tag "<volume>.set" beside each volume of a set: which backup (set)
//    it belongs to, its number in the set, when the backup was made, and
//    the volume's size and BLAKE2b-256 digest, so that a tag speaks only for
//    the bytes it was made from;
//  - each file a set's volume replaces is kept, in the same folder, as
//    "<volume>.<set>.old" and its tag as "<volume>.set.<set>.old": on each
//    disk, the mark that the set placed there is not known to be whole;
//  - the journal, in a folder on a disk that no volume prompt changes (the
//    program's folder): one record per set this program wrote, kept while
//    anything the set left on a disk is still to be put right:
//    ".backup-set-<set>" while the set is unfinished (made before its first
//    volume replaces anything), ".backup-set-<set>.whole" once its last
//    volume is in place with its tag. A record lists the volumes whose
//    disks may hold what the set left ("away": each noted before anything
//    on its disk changes, as the disk may leave the drive at any prompt or
//    kill after); a volume goes from the list once its
//    disk has been put right, and the record goes once the list is empty
//    and nothing of the set is left in the archive's folder. A set one of
//    whose volumes a later set removed to make room (replaceOthers) is
//    noted ".backup-set-<set>.replaced-by-<later set>" while the later set
//    has a record.
//
// The disks alone cannot say that a set of several disks is whole: only the
// last one, written last, could, and the others are out of the drive by
// then. Nor may a disk's word be taken over the record of the program that
// wrote the set: a kill between the last volume and its record leaves the
// set unfinished to that program, which may have put it back on other disks
// already. So what a set replaced goes only on its writer's record that the
// set is whole, and nothing is known of a set without a record.
//
// What a set left is put right (settled) only by a backup, never by a
// restore: a restore reads and never renames or removes anything beside the
// volumes. At each volume's name the set on top (the one whose volume, or
// whose tag, went in place last) is put right by its record:
//  - unfinished: what it replaced comes back, and the set below it is
//    looked at in turn;
//  - whole: everything kept aside at that name goes;
//  - no record (a set written from another data folder or computer): left
//    as it is; a set placed over it keeps it aside, with what it kept.
// The passing files of writes that a kill cut off at that name go too,
// whatever set they were for: nothing is ever read from one.
// A restore reads, at each volume's name, the copy (in place or kept aside)
// of one set, known by the tag placed or kept aside with it (two backups of
// unchanged data have volumes of the same bytes). Which copy at a name is newer is told by what was placed
// last (copiesAt), never by a clock: the first volume read is the newest
// copy that the journal does not note unfinished or replaced. Without the
// journal (another computer or data folder) that is the newest copy, which
// may be of a set that was never finished: when a later volume of it is
// not on the disk put in for it, an older set whose volumes the disks have
// shown (or an archive of one volume without a tag) is offered, and read
// from its first volume again (TBackupFile::Restore).
//
// "volume" below is the file a volume's name leads to (links followed: see
// platform::linkedPath); its side files sit beside it. Callers run one
// backup or restore at a time.
#pragma once

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace platform {
class StagedFile;
}

namespace volumeset {

struct Tag {
    QByteArray set;      // 16 lower-case hexadecimal digits
    int volume = 0;      // 1 for the first volume
    int64_t made = 0;    // when the backup started, in seconds since 1970 (UTC)
    int64_t size = 0;    // of the volume, in bytes
    QByteArray digest;   // BLAKE2b-256 of the volume's bytes, 32 bytes
    bool operator==(const Tag &) const = default;
};

using Pump = std::function<void()>;  // runs between pieces of a long read; may be empty

// A new set id.
QByteArray newSetId();
// The tag's file text, and the text read back; none for anything else.
QByteArray tagText(const Tag &tag);
std::optional<Tag> parseTag(const QByteArray &text);

QString tagPath(const QString &volume);
// The tag beside a volume, when there is one that reads.
std::optional<Tag> readTag(const QString &volume);
// Whether the file at `volume` holds the bytes `tag` was made from.
bool tagFits(const QString &volume, const Tag &tag, const Pump &pump);
// The tag beside a volume when it reads and fits the volume's bytes.
std::optional<Tag> fittingTag(const QString &volume, const Pump &pump);

// A volume as it lies at a volume's name: the file holding its bytes (in
// place, or kept aside) and the tag (in place, or kept aside) that fits
// them; none for a file no tag fits (a volume from before tags, or an
// archive of one volume).
struct Copy {
    QString file;
    std::optional<Tag> tag;
};
// The copies at `volume`, newest first: the one in place, then the one its
// set kept aside when it was placed, then the one that copy's set kept
// aside, and so on (a copy without a tag ends the chain); what no chain
// reaches, which only a change by hand leaves, comes last, by name. So the
// order is what was placed there last, never the tags' times. Only the
// tagged copies of `set` when it is given.
std::vector<Copy> copiesAt(const QString &volume, const Pump &pump, const QByteArray &set = {});
// Whether any tag lies at `volume`, in place or kept aside, readable or not.
bool tagsAt(const QString &volume);

class Journal {
public:
    enum class State { Unknown, Unfinished, Whole };
    struct Record {
        QByteArray set;
        QString archive;  // the first volume's name, absolute
        QList<int> away;  // volumes whose disks may hold what the set left, ascending
        bool operator==(const Record &) const = default;
    };
    // A record's file text, and the text read back; none for anything else.
    static QByteArray recordText(const Record &record);
    static std::optional<Record> parseRecord(const QByteArray &text);

    explicit Journal(const QString &folder) : folder_(folder) {}
    State state(const QByteArray &set) const;
    // Notes the set as unfinished with the record's list, on the disk (the
    // file synced, the folder too); false when it could not be. The first
    // note of a set (nothing of it placed yet) that could not be synced is
    // taken back.
    bool note(const Record &record, bool first = false);
    // Notes the unfinished set as whole, once that is on the disk (the
    // folder synced); false, and the set still unfinished, when it could
    // not be.
    bool whole(const QByteArray &set);
    // Notes, on the disk, that a volume of the record's set has been
    // replaced by one of the set `by`: the set is no longer whole
    // (".backup-set-<set>.replaced-by-<by>", kept while `by` has a record).
    // False when it could not be.
    bool noteReplaced(const Record &record, const QByteArray &by);
    // Takes that note back: the volume has not been removed after all.
    void unnoteReplaced(const QByteArray &set, const QByteArray &by);
    bool replaced(const QByteArray &set) const;
    // The volume of the set has been put right on its disk: it goes from
    // the set's list.
    void settled(const QByteArray &set, int volume);
    // The unfinished sets of the archive (its first volume, absolute) whose
    // records list `volume` last: the one each was placing when it ended.
    QList<QByteArray> placingAt(const QString &archive, int volume) const;
    // Removes the records of the archive that list no volume and whose set
    // is not among `left`, and what a write cut off left of any record.
    void close(const QString &archive, const QSet<QByteArray> &left);
    // Whether a change to the journal could not be synced.
    bool notSynced() const { return notSynced_; }

private:
    QString path(const QByteArray &set, bool whole) const;
    std::optional<bool> write(const QString &name, const Record &record);
    QString folder_;
    bool notSynced_ = false;
};

// Puts a finished staged volume in place with its tag, keeping what its
// place held for the tag's set (see above). False when a step failed: what
// is in place then is put right by a later settle. Sets notSynced when a
// folder could not be synced, outOfSpace when the tag found no room.
struct Placing {
    bool notSynced = false;
    bool outOfSpace = false;
};
bool place(platform::StagedFile &staged, const Tag &tag, Placing &placing);

// The files that other backups keep at `volume` (a volume and its tag in
// place, unless of the set `writing`, and everything kept aside there).
QStringList filesOfOthers(const QString &volume, const QByteArray &writing);
// The sets whose volumes are among them, by their tags.
QSet<QByteArray> setsOfOthers(const QString &volume, const QByteArray &writing);
// Removes them, for a volume of the set `writing` that has no room beside
// them; each set among them is noted in the journal as no longer whole
// while its volume goes, and only where it went (the first volume, written
// before the set has an id, needs no note: a set without its first volume
// is never read). False, with the system's error code, when a step failed:
// a volume that could not be removed stays with its tag.
bool replaceOthers(const QString &volume, const QString &archive, Journal &journal, const QByteArray &writing,
                   int &error);

// Puts right what sets left at every volume of the archive whose first
// volume is `firstVolume` (a name as the user gave it), found by their
// names in its folder, then closes the archive's settled records. False
// when a step failed.
bool settleArchive(const QString &firstVolume, Journal &journal, const Pump &pump);
// Puts right what sets other than `writing` left at `volume`, volume
// `number` of the archive whose first volume is `archive`, and removes the
// passing files of writes cut off there (platform/stagedfile.h). Where
// one of the volume was among them, an unfinished set whose record lists
// this volume last, and of which nothing lies here, no longer lists it: a
// kill cut its placing off before anything on the disk changed.
bool settleVolume(const QString &volume, int number, const QString &archive, Journal &journal,
                  const QByteArray &writing, const Pump &pump);

}  // namespace volumeset
