#include "backup/volumeset.h"

#include "backup/backupfile.h"
#include "platform/file_attributes.h"
#include "platform/stagedfile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMap>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <algorithm>
#include <cstring>

// Tag format: UTF-8 text of six lines, each ending in LF, exactly so (no
// blanks, no other lines; numbers in decimal without sign or leading zeros):
//
//   backup volume tag
//   set <16 lower-case hexadecimal digits>
//   volume <1 to 65535>
//   made <seconds since 1970, UTC>
//   size <bytes>
//   blake2b-256 <64 lower-case hexadecimal digits>
//
// Journal record format: UTF-8 text of three lines, each ending in LF,
// exactly so:
//
//   set <16 lower-case hexadecimal digits, as in the file's name>
//   archive <the first volume's absolute name, percent-encoded>
//   away[ <volume>]...   (ascending, each once, 1 to 65535)
//
// The release before wrote no "away" line and its archive name as given,
// not encoded; such a record reads with nothing away. Only a record's name
// tells the set's state ("<name>" unfinished, "<name>.whole" whole), so
// that that release still takes ".backup-set-<set>" for an unfinished set
// and passes over a whole one. The note that a set is no longer whole,
// ".backup-set-<set>.replaced-by-<later set>", holds the same text with
// nothing away; that release passes over it.

namespace volumeset {
namespace {

constexpr qsizetype kTagLimit = 512;
constexpr qsizetype kRecordLimit = 1 << 20;
constexpr int kLastVolume = 65535;
constexpr qint64 kPiece = 1 << 20;
constexpr QCryptographicHash::Algorithm kDigest = QCryptographicHash::Blake2b_256;
const QString kRecordPrefix = QStringLiteral(".backup-set-");
const QString kWholeSuffix = QStringLiteral(".whole");
const QString kReplacedSuffix = QStringLiteral(".replaced-by-");

bool isSetId(const QByteArray &s)
{
    return s.size() == 16 && std::all_of(s.cbegin(), s.cend(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

// A decimal number as tagText and recordText write one.
bool readNumber(const QByteArray &s, int64_t &out)
{
    if (s.isEmpty() || s.size() > 18 || !std::all_of(s.cbegin(), s.cend(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    out = s.toLongLong();
    return true;
}

// A file, a link or anything else by that name.
bool present(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

QByteArray readSmallFile(const QString &path, qsizetype limit)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(limit + 1) : QByteArray();
}

std::optional<Tag> readTagFile(const QString &path)
{
    return parseTag(readSmallFile(path, kTagLimit));
}

QString asidePath(const QString &volume, const QByteArray &set)
{
    return volume + u'.' + QString::fromLatin1(set) + QStringLiteral(".old");
}

QString tagAsidePath(const QString &volume, const QByteArray &set)
{
    return asidePath(tagPath(volume), set);
}

bool namesSet(const std::optional<Tag> &tag, const QByteArray &set)
{
    return tag && tag->set == set;
}

// The digest of the first `size` bytes of a file that holds exactly that
// many; empty when it does not.
QByteArray digestOf(const QString &path, int64_t size, const Pump &pump)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() != size)
        return {};
    QCryptographicHash digest(kDigest);
    qint64 read = 0;
    while (read < size) {
        const QByteArray piece = file.read(std::min(kPiece, size - read));
        if (piece.isEmpty())
            return {};
        digest.addData(piece);
        read += piece.size();
        if (pump)
            pump();
    }
    return digest.result();
}

// The sets whose kept files lie beside `volume`.
QSet<QByteArray> setsKeptBeside(const QString &volume)
{
    const QFileInfo info(volume);
    const QString name = QRegularExpression::escape(info.fileName());
    static const QString setPattern = QStringLiteral("\\.([0-9a-f]{16})\\.old$");
    const QRegularExpression kept(u'^' + name + QStringLiteral("(?:\\.set)?") + setPattern);
    QSet<QByteArray> sets;
    const QStringList entries = QDir(info.absolutePath()).entryList({info.fileName() + QStringLiteral(".*.old")},
                                                                    QDir::Files | QDir::System | QDir::Hidden);
    for (const QString &entry : entries) {
        const QRegularExpressionMatch m = kept.match(entry);
        if (m.hasMatch())
            sets.insert(m.captured(1).toLatin1());
    }
    return sets;
}

// What lies at one volume's name.
struct Beside {
    std::optional<Tag> inPlace;  // the tag in place, when it reads
    QSet<QByteArray> kept;       // sets with files kept aside here
    QSet<QByteArray> under;      // sets whose tags a kept-aside tag holds
};

Beside lookAt(const QString &volume)
{
    Beside b {readTag(volume), setsKeptBeside(volume), {}};
    for (const QByteArray &set : std::as_const(b.kept))
        if (const std::optional<Tag> tag = readTagFile(tagAsidePath(volume, set)))
            b.under.insert(tag->set);
    return b;
}

// The set that went in place last at a volume's name: the set of the tag in
// place (a set placed over another first puts that one's tag aside, so no
// kept tag holds it), else the one set with kept files that no kept tag
// holds; none when that cannot be told.
std::optional<QByteArray> topSet(const Beside &b)
{
    if (b.inPlace) {
        if (b.kept.contains(b.inPlace->set) || !b.under.contains(b.inPlace->set))
            return b.inPlace->set;
        return std::nullopt;
    }
    const QSet<QByteArray> tops = b.kept - b.under;
    if (tops.size() == 1)
        return *tops.cbegin();
    return std::nullopt;
}

// The unfinished set's files at `volume` go, and what it replaced there
// comes back. Each step can be taken again after a stop anywhere, and each
// leaves the bytes that are in place readable by their own tag (in place
// or kept aside), or by none.
bool rollBack(const QString &volume, const QByteArray &set, const Pump &pump)
{
    const QString aside = asidePath(volume, set), tagAside = tagAsidePath(volume, set), tag = tagPath(volume);
    // a copy kept by a further name is still in place too
    const auto putBack = [&] {
        return platform::sameFile(aside, volume) ? platform::removeFile(aside) : platform::renameFile(aside, volume);
    };
    if (present(tagAside))
        return (!present(aside) || putBack()) && platform::renameFile(tagAside, tag);
    if (present(aside))  // what it replaced had no tag
        return putBack() && (!namesSet(readTag(volume), set) || platform::removeFile(tag));
    const std::optional<Tag> inPlace = readTag(volume);
    if (!namesSet(inPlace, set))
        return true;
    // its volume replaced nothing here; a tag that fits no bytes is all that is left of it
    return (!tagFits(volume, *inPlace, pump) || platform::removeFile(volume)) && platform::removeFile(tag);
}

// Removes the passing files that writes cut off (by a kill or a power cut)
// left at `volume`: of the volume and of its tag; `volumeWritten` tells
// whether one of the volume was there. False when one could not be removed.
bool removePassingFiles(const QString &volume, bool &volumeWritten)
{
    const QFileInfo info(volume);
    const QString tag = QFileInfo(tagPath(volume)).fileName();
    bool ok = true;
    volumeWritten = false;
    for (const QString &entry : QDir(info.absolutePath()).entryList({info.fileName() + QStringLiteral(".*")},
                                                                    QDir::Files | QDir::System | QDir::Hidden)) {
        const bool ofVolume = platform::StagedFile::isPassingName(entry, info.fileName());
        if (ofVolume || platform::StagedFile::isPassingName(entry, tag))
            ok = platform::removeFile(info.absolutePath() + u'/' + entry) && ok;
        volumeWritten = volumeWritten || ofVolume;
    }
    return ok;
}

// The further volumes of the archive that `volume` belongs to, found in
// its folder by their names ("X.002" for "X.zbf"), by number.
QMap<int, QString> furtherVolumes(const QString &volume)
{
    const QFileInfo info(volume);
    const QString stem = TBackupFile::VolumeName(info.fileName(), QString());  // "X." of "X.zbf"
    const QRegularExpression further(u'^' + QRegularExpression::escape(stem) + QStringLiteral("([0-9]{3})(?:\\..*)?$"));
    QMap<int, QString> volumes;
    for (const QString &entry : QDir(info.absolutePath()).entryList(QDir::Files | QDir::System | QDir::Hidden)) {
        const QRegularExpressionMatch m = further.match(entry);
        const int number = m.hasMatch() ? m.captured(1).toInt() : 0;
        if (number > 1)
            volumes.insert(number, platform::linkedPath(info.absolutePath() + u'/' + stem + m.captured(1)));
    }
    return volumes;
}

}  // namespace

QByteArray newSetId()
{
    return QByteArray::number(QRandomGenerator::system()->generate64(), 16).rightJustified(16, '0');
}

QByteArray tagText(const Tag &tag)
{
    return QByteArrayLiteral("backup volume tag\nset ") + tag.set + "\nvolume " + QByteArray::number(tag.volume) +
           "\nmade " + QByteArray::number(tag.made) + "\nsize " + QByteArray::number(tag.size) + "\nblake2b-256 " +
           tag.digest.toHex() + '\n';
}

std::optional<Tag> parseTag(const QByteArray &text)
{
    if (text.size() > kTagLimit)
        return std::nullopt;
    const QList<QByteArray> lines = text.split('\n');
    static const char *const keys[] = {"set ", "volume ", "made ", "size ", "blake2b-256 "};
    if (lines.size() != 7 || lines[0] != "backup volume tag" || !lines[6].isEmpty())
        return std::nullopt;
    QByteArray values[5];
    for (int i = 0; i < 5; ++i) {
        if (!lines[i + 1].startsWith(keys[i]))
            return std::nullopt;
        values[i] = lines[i + 1].mid(qsizetype(strlen(keys[i])));
    }
    Tag tag;
    int64_t volume = 0;
    tag.set = values[0];
    tag.digest = QByteArray::fromHex(values[4]);
    if (!isSetId(tag.set) || !readNumber(values[1], volume) || volume < 1 || volume > kLastVolume ||
        !readNumber(values[2], tag.made) || !readNumber(values[3], tag.size) || tag.digest.size() != 32)
        return std::nullopt;
    tag.volume = int(volume);
    if (tagText(tag) != text)  // one text for one tag: no leading zeros, upper case or stray bytes
        return std::nullopt;
    return tag;
}

QString tagPath(const QString &volume)
{
    return volume + QStringLiteral(".set");
}

std::optional<Tag> readTag(const QString &volume)
{
    return readTagFile(tagPath(volume));
}

bool tagFits(const QString &volume, const Tag &tag, const Pump &pump)
{
    return digestOf(volume, tag.size, pump) == tag.digest;
}

std::optional<Tag> fittingTag(const QString &volume, const Pump &pump)
{
    std::optional<Tag> tag = readTag(volume);
    if (tag && !tagFits(volume, *tag, pump))
        tag.reset();
    return tag;
}

std::vector<Copy> copiesAt(const QString &volume, const Pump &pump, const QByteArray &set)
{
    QList<QByteArray> kept = setsKeptBeside(volume).values();
    std::sort(kept.begin(), kept.end());
    struct Found {
        QString path;
        Tag tag;
    };
    std::vector<Found> tags;
    const auto readTagAt = [&](const QString &path) {
        const std::optional<Tag> tag = present(path) ? readTagFile(path) : std::nullopt;
        if (tag && (set.isEmpty() || tag->set == set))
            tags.push_back({path, *tag});
    };
    readTagAt(tagPath(volume));
    for (const QByteArray &k : std::as_const(kept))
        readTagAt(tagAsidePath(volume, k));
    QHash<QString, QByteArray> digests;  // each file is read once
    const auto fits = [&](const QString &file, const Tag &tag) {
        if (tag.size != QFileInfo(file).size())
            return false;
        if (!digests.contains(file))
            digests.insert(file, digestOf(file, tag.size, pump));
        return digests.value(file) == tag.digest;
    };
    // A file's own tag is the one that was placed or kept aside with it; two
    // backups of unchanged data have volumes of the same bytes, so another
    // tag may fit them too, and is taken only where the own one is missing
    // or does not fit (between two renames of a placing).
    const auto copyOf = [&](const QString &file, const QString &ownTag) {
        Copy copy {file, std::nullopt};
        const auto own = std::find_if(tags.cbegin(), tags.cend(), [&](const Found &f) { return f.path == ownTag; });
        if (own != tags.cend() && fits(file, own->tag))
            copy.tag = own->tag;
        for (auto it = tags.cbegin(); !copy.tag && it != tags.cend(); ++it)
            if (fits(file, it->tag))
                copy.tag = it->tag;
        return copy;
    };
    std::vector<Copy> copies;
    QSet<QString> reached;
    // the chain: in place, then what each copy's set kept aside when it was placed
    for (QString file = volume, ownTag = tagPath(volume); present(file) && !reached.contains(file);) {
        reached.insert(file);
        copies.push_back(copyOf(file, ownTag));
        if (!copies.back().tag)
            break;  // what a copy without a tag replaced cannot be told
        file = asidePath(volume, copies.back().tag->set);
        ownTag = tagAsidePath(volume, copies.back().tag->set);
    }
    // then what no chain reaches, which only a step taken by hand leaves
    for (const QByteArray &k : std::as_const(kept))
        if (const QString file = asidePath(volume, k); !reached.contains(file) && present(file))
            copies.push_back(copyOf(file, tagAsidePath(volume, k)));
    if (!set.isEmpty())
        std::erase_if(copies, [](const Copy &c) { return !c.tag; });
    return copies;
}

bool tagsAt(const QString &volume)
{
    if (present(tagPath(volume)))
        return true;
    const QSet<QByteArray> kept = setsKeptBeside(volume);
    return std::any_of(kept.cbegin(), kept.cend(), [&](const QByteArray &set) {
        return present(tagAsidePath(volume, set));
    });
}

QByteArray Journal::recordText(const Record &record)
{
    QByteArray away = "away";
    for (const int volume : record.away)
        away += ' ' + QByteArray::number(volume);
    return "set " + record.set + "\narchive " + record.archive.toUtf8().toPercentEncoding("/") + '\n' + away + '\n';
}

std::optional<Journal::Record> Journal::parseRecord(const QByteArray &text)
{
    if (text.size() > kRecordLimit)
        return std::nullopt;
    QList<QByteArray> lines = text.split('\n');
    const bool older = lines.size() == 3;
    if (older)
        lines.insert(2, "away");
    if (lines.size() != 4 || !lines[3].isEmpty() || !lines[0].startsWith("set ") || !lines[1].startsWith("archive ") ||
        !(lines[2] == "away" || lines[2].startsWith("away ")))
        return std::nullopt;
    Record record;
    record.set = lines[0].mid(4);
    const QByteArray archive = older ? lines[1].mid(8) : QByteArray::fromPercentEncoding(lines[1].mid(8));
    record.archive = QString::fromUtf8(archive);
    if (!isSetId(record.set) || archive.isEmpty() || record.archive.toUtf8() != archive)
        return std::nullopt;
    const QList<QByteArray> away = lines[2] == "away" ? QList<QByteArray>() : lines[2].mid(5).split(' ');
    for (const QByteArray &number : away) {
        int64_t volume = 0;
        if (!readNumber(number, volume) || volume < 1 || volume > kLastVolume ||
            (!record.away.isEmpty() && volume <= record.away.last()))
            return std::nullopt;
        record.away.append(int(volume));
    }
    if (!older && recordText(record) != text)  // one text for one record
        return std::nullopt;
    return record;
}

QString Journal::path(const QByteArray &set, bool whole) const
{
    return folder_ + u'/' + kRecordPrefix + QString::fromLatin1(set) + (whole ? kWholeSuffix : QString());
}

Journal::State Journal::state(const QByteArray &set) const
{
    if (present(path(set, true)))
        return State::Whole;
    return present(path(set, false)) ? State::Unfinished : State::Unknown;
}

bool Journal::note(const Record &record, bool first)
{
    const QString name = path(record.set, false);
    const std::optional<bool> synced = write(name, record);
    if (synced == false && first)
        platform::removeFile(name);  // nothing placed yet
    return synced == true;
}

bool Journal::noteReplaced(const Record &record, const QByteArray &by)
{
    const QString name = kRecordPrefix + QString::fromLatin1(record.set) + kReplacedSuffix + QString::fromLatin1(by);
    return write(folder_ + u'/' + name, record) == true;
}

void Journal::unnoteReplaced(const QByteArray &set, const QByteArray &by)
{
    const QString name = kRecordPrefix + QString::fromLatin1(set) + kReplacedSuffix + QString::fromLatin1(by);
    if (platform::removeFile(folder_ + u'/' + name))
        notSynced_ = !platform::syncFolder(folder_) || notSynced_;
}

bool Journal::replaced(const QByteArray &set) const
{
    const QString prefix = kRecordPrefix + QString::fromLatin1(set) + kReplacedSuffix;
    return !QDir(folder_).entryList({prefix + u'*'}, QDir::Files | QDir::Hidden).isEmpty();
}

// A record a power cut may take cannot protect anything: true once the
// record is in place and synced, false when in place but not synced, none
// when it could not be written.
std::optional<bool> Journal::write(const QString &name, const Record &record)
{
    if (!QDir().mkpath(folder_))
        return std::nullopt;
    platform::StagedFile file(name);
    const QByteArray text = recordText(record);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
        return std::nullopt;
    return !file.notSynced();
}

// A record that a power cut may take back would let the next backup roll
// back the set on the disks whose older copies are already gone: a set is
// whole only once the folder holding its record is synced.
bool Journal::whole(const QByteArray &set)
{
    if (!platform::renameFile(path(set, false), path(set, true)))
        return false;
    if (platform::syncFolder(folder_))
        return true;
    platform::renameFile(path(set, true), path(set, false));
    return false;
}

QList<QByteArray> Journal::placingAt(const QString &archive, int volume) const
{
    static const QRegularExpression unfinishedName(QStringLiteral("^\\.backup-set-([0-9a-f]{16})$"));
    QList<QByteArray> sets;
    for (const QString &entry : QDir(folder_).entryList({kRecordPrefix + u'*'}, QDir::Files | QDir::Hidden)) {
        const QRegularExpressionMatch m = unfinishedName.match(entry);
        const std::optional<Record> record =
            m.hasMatch() ? parseRecord(readSmallFile(folder_ + u'/' + entry, kRecordLimit)) : std::nullopt;
        if (record && record->set == m.captured(1).toLatin1() && record->archive == archive &&
            !record->away.isEmpty() && record->away.last() == volume)
            sets.append(record->set);
    }
    return sets;
}

void Journal::settled(const QByteArray &set, int volume)
{
    for (const bool whole : {true, false}) {
        const QString name = path(set, whole);
        std::optional<Record> record = parseRecord(readSmallFile(name, kRecordLimit));
        if (!record || record->set != set || !record->away.removeOne(volume))
            continue;
        platform::StagedFile file(name);
        const QByteArray text = recordText(*record);
        if (file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && file.commit())
            notSynced_ = notSynced_ || file.notSynced();
    }
}

void Journal::close(const QString &archive, const QSet<QByteArray> &left)
{
    static const QRegularExpression recordName(QStringLiteral("^\\.backup-set-([0-9a-f]{16})(?:\\.whole)?$"));
    static const QRegularExpression replacedName(
        QStringLiteral("^\\.backup-set-[0-9a-f]{16}\\.replaced-by-([0-9a-f]{16})$"));
    // a record's passing name as the release before made it: the final name and six characters
    static const QRegularExpression earlierPassing(QStringLiteral(
        "^\\.backup-set-[0-9a-f]{16}(?:\\.whole|\\.replaced-by-[0-9a-f]{16})?\\.[A-Za-z0-9]{6}$"));
    bool removed = false;
    QStringList replacedRecords;
    for (const QString &entry : QDir(folder_).entryList({kRecordPrefix + u'*'}, QDir::Files | QDir::Hidden)) {
        const QString name = folder_ + u'/' + entry;
        const QRegularExpressionMatch m = recordName.match(entry);
        bool goes = platform::StagedFile::isPassingName(entry) || earlierPassing.match(entry).hasMatch();
        if (m.hasMatch()) {
            const std::optional<Record> record = parseRecord(readSmallFile(name, kRecordLimit));
            goes = record && record->set == m.captured(1).toLatin1() && record->archive == archive &&
                   record->away.isEmpty() && !left.contains(record->set);
        }
        if (replacedName.match(entry).hasMatch())
            replacedRecords.append(entry);
        removed = (goes && platform::removeFile(name)) || removed;
    }
    // a set is noted no longer whole while the set that replaced a volume of it has a record
    for (const QString &entry : std::as_const(replacedRecords)) {
        const QByteArray by = replacedName.match(entry).captured(1).toLatin1();
        removed = (state(by) == State::Unknown && platform::removeFile(folder_ + u'/' + entry)) || removed;
    }
    if (removed)
        notSynced_ = notSynced_ || !platform::syncFolder(folder_);
}

// What the volume replaces is kept by a further name where the disk's file
// system has them, so that its name is never without a file: the new one
// takes it over in one rename. Elsewhere it is renamed aside, and for the
// step between that and the new one's rename the name is free.
bool place(platform::StagedFile &staged, const Tag &tag, Placing &placing)
{
    const QString volume = staged.placeName(), tagName = tagPath(volume), aside = asidePath(volume, tag.set);
    if (present(tagName) && !platform::renameFile(tagName, tagAsidePath(volume, tag.set)))
        return false;
    if (present(volume) && !platform::linkFile(volume, aside) && !platform::renameFile(volume, aside))
        return false;
    platform::StagedFile tagFile(tagName);
    const QByteArray text = tagText(tag);
    if (!tagFile.open(QIODevice::WriteOnly) || tagFile.write(text) != text.size() || !tagFile.commit()) {
        placing.outOfSpace = placing.outOfSpace || tagFile.outOfSpace();
        return false;
    }
    if (!staged.commit())
        return false;
    placing.notSynced = placing.notSynced || tagFile.notSynced() || staged.notSynced();
    return true;
}

namespace {

// A volume and its tag at one volume's name: in place, or kept aside by a set.
struct Pair {
    QString file, tag;
};

// The pairs that other backups keep at `volume` (see filesOfOthers).
std::vector<Pair> pairsOfOthers(const QString &volume, const QByteArray &writing)
{
    std::vector<Pair> pairs;
    if (!namesSet(readTag(volume), writing))
        pairs.push_back({volume, tagPath(volume)});
    for (const QByteArray &set : setsKeptBeside(volume))
        pairs.push_back({asidePath(volume, set), tagAsidePath(volume, set)});
    return pairs;
}

}  // namespace

QStringList filesOfOthers(const QString &volume, const QByteArray &writing)
{
    QStringList files;
    for (const Pair &pair : pairsOfOthers(volume, writing))
        files << pair.file << pair.tag;
    files.removeIf([](const QString &file) { return !present(file); });
    return files;
}

QSet<QByteArray> setsOfOthers(const QString &volume, const QByteArray &writing)
{
    QSet<QByteArray> sets;
    for (const Pair &pair : pairsOfOthers(volume, writing))
        if (const std::optional<Tag> tag = present(pair.file) ? readTagFile(pair.tag) : std::nullopt)
            sets.insert(tag->set);
    return sets;
}

// A set is noted no longer whole before its volume goes, so that no kill
// leaves it offered without that volume; the note is taken back where the
// volume stays. A tag goes only with its volume, which it names.
bool replaceOthers(const QString &volume, const QString &archive, Journal &journal, const QByteArray &writing,
                   int &error)
{
    const std::vector<Pair> pairs = pairsOfOthers(volume, writing);
    QHash<QString, QByteArray> noted;  // the set of each volume that goes, by its file
    for (const Pair &pair : pairs) {
        const std::optional<Tag> tag = writing.isEmpty() || !present(pair.file) ? std::nullopt : readTagFile(pair.tag);
        if (!tag)
            continue;
        if (!journal.noteReplaced({tag->set, QFileInfo(archive).absoluteFilePath(), {}}, writing)) {
            error = errno != 0 ? errno : EIO;
            for (const QByteArray &set : std::as_const(noted))
                journal.unnoteReplaced(set, writing);
            return false;
        }
        noted.insert(pair.file, tag->set);
    }
    error = 0;
    for (const Pair &pair : pairs) {
        if (!platform::removeFile(pair.file) || !platform::removeFile(pair.tag))
            error = error != 0 ? error : errno;
    }
    for (auto it = noted.cbegin(); it != noted.cend(); ++it)
        if (present(it.key()))
            journal.unnoteReplaced(it.value(), writing);
    if (!platform::syncFolder(QFileInfo(volume).absolutePath()))
        error = error != 0 ? error : errno;
    return error == 0;
}

// The disk is synced before the journal hears what was settled on it.
bool settleVolume(const QString &volume, int number, const QString &archive, Journal &journal,
                  const QByteArray &writing, const Pump &pump)
{
    QList<QByteArray> settled;
    bool volumeWritten = false;
    bool ok = removePassingFiles(volume, volumeWritten);
    // A volume written whole is still under its passing name till the end
    // of its placing, so this is the disk that a set noted as placing it
    // when a kill cut that off; where nothing of the set lies here, nothing
    // had changed yet.
    if (volumeWritten) {
        const Beside b = lookAt(volume);
        for (const QByteArray &set : journal.placingAt(QFileInfo(archive).absoluteFilePath(), number))
            if (set != writing && !namesSet(b.inPlace, set) && !b.kept.contains(set) && !b.under.contains(set))
                journal.settled(set, number);
    }
    // each round takes one set off the top; a name holds few sets
    for (int round = 0; ok && round < 64; ++round) {
        const Beside b = lookAt(volume);
        const std::optional<QByteArray> top = topSet(b);
        const Journal::State state = top && *top != writing ? journal.state(*top) : Journal::State::Unknown;
        if (state == Journal::State::Unknown)
            break;
        if (state == Journal::State::Unfinished) {
            ok = rollBack(volume, *top, pump);
            settled.append(*top);
            continue;
        }
        for (const QByteArray &set : b.kept) {
            ok = platform::removeFile(asidePath(volume, set)) && platform::removeFile(tagAsidePath(volume, set)) && ok;
            settled.append(set);
        }
        settled.append(*top);
        break;
    }
    if (settled.isEmpty())
        return ok;
    ok = platform::syncFolder(QFileInfo(volume).absolutePath()) && ok;
    if (ok)
        for (const QByteArray &set : std::as_const(settled))
            journal.settled(set, number);
    return ok;
}

bool settleArchive(const QString &firstVolume, Journal &journal, const Pump &pump)
{
    const QFileInfo first(firstVolume);
    QMap<int, QString> volumes = furtherVolumes(first.absoluteFilePath());
    volumes.insert(1, platform::linkedPath(firstVolume));
    bool ok = true;
    for (auto it = volumes.cbegin(); it != volumes.cend(); ++it)
        ok = (it.value().isEmpty() || settleVolume(it.value(), it.key(), firstVolume, journal, {}, pump)) && ok;
    if (!ok)
        return false;
    // what is left here of an unfinished set, or kept aside, keeps its record
    QSet<QByteArray> left;
    for (const QString &volume : std::as_const(volumes)) {
        const Beside b = lookAt(volume);
        left.unite(b.kept);
        if (b.inPlace && journal.state(b.inPlace->set) == Journal::State::Unfinished)
            left.insert(b.inPlace->set);
    }
    journal.close(first.absoluteFilePath(), left);
    return true;
}

}  // namespace volumeset
