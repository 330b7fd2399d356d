// What a backup of several volumes keeps beside its volumes, so that a
// restore can tell whether the volumes it is given come from one backup, and
// so that a backup that failed or was killed half way can be undone. The
// volumes themselves keep the archive's layout (backupfile.cpp); everything
// here lives in files of its own:
//
//  - the tag "<volume>.set" beside each volume of a set: which backup (set)
//    it belongs to, its number in the set, when the backup was made, and
//    the volume's size and BLAKE2b-256 digest, so that a tag speaks only for
//    the bytes it was made from (volumeset.cpp gives the format);
//  - while a set is being written, each file it replaces is kept, in the
//    same folder, as "<volume>.<set>.old" and its tag as
//    "<volume>.set.<set>.old", until the whole set is in place;
//  - the journal: a file ".backup-set-<set>" in a folder on a disk that no
//    volume prompt changes, made (and synced) before the set replaces
//    anything and removed once its last volume is in place. A set with a
//    journal file is unfinished: what it replaced goes back, on each disk as
//    it is next seen (repair). A set without one is whole: what it replaced
//    goes.
//
// "volume" below is the file a volume's name leads to (links followed: see
// platform::linkedPath); its side files sit beside it. Callers run one
// backup or restore at a time, so a set with a journal file is never being
// written while a repair runs.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

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

// A new set id.
QByteArray newSetId();
// The tag's file text, and the text read back; none for anything else.
QByteArray tagText(const Tag &tag);
std::optional<Tag> parseTag(const QByteArray &text);

QString tagPath(const QString &volume);
// The tag beside a volume, when there is one that reads.
std::optional<Tag> readTag(const QString &volume);
// Whether the file at `volume` holds the bytes `tag` was made from; `pump`
// runs between pieces of a long read.
bool tagFits(const QString &volume, const Tag &tag, const std::function<void()> &pump);
// The tag beside a volume when it reads and fits the volume's bytes.
std::optional<Tag> fittingTag(const QString &volume, const std::function<void()> &pump);

class Journal {
public:
    explicit Journal(const QString &folder) : folder_(folder) {}
    // Notes the set as unfinished, on the disk (the file synced, the folder
    // too); false when it could not be.
    bool begin(const QByteArray &set, const QString &archive);
    // Notes the set as whole; false when its file could not be removed.
    // notSynced() then tells whether the removal could not be synced.
    bool end(const QByteArray &set);
    bool unfinished(const QByteArray &set) const;
    bool notSynced() const { return notSynced_; }

private:
    QString path(const QByteArray &set) const;
    QString folder_;
    bool notSynced_ = false;
};

// Puts a finished staged volume in place with its tag, keeping what its
// place held for the tag's set (see above). False when a step failed: what
// is in place then is put right by repair(). notSynced is set when a
// folder could not be synced.
bool place(platform::StagedFile &staged, const Tag &tag, bool &notSynced);

// Puts the volume at `volume` right: what an unfinished set replaced there
// comes back (and a volume of that set that replaced nothing goes), what a
// whole set replaced goes. False when a step failed.
bool repair(const QString &volume, const Journal &journal);
// repair() for every volume of the archive whose first volume is
// `firstVolume` (a name as the user gave it), found by their names.
bool repairArchive(const QString &firstVolume, const Journal &journal);

}  // namespace volumeset
