#include "backup/volumeset.h"

#include "backup/backupfile.h"
#include "platform/file_attributes.h"
#include "platform/stagedfile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>

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
// A journal file holds "set <id>" and "archive <first volume's name>", one
// line each; only its presence counts.

namespace volumeset {
namespace {

constexpr qsizetype kTagLimit = 512;
constexpr qint64 kPiece = 1 << 20;
constexpr QCryptographicHash::Algorithm kDigest = QCryptographicHash::Blake2b_256;

bool isSetId(const QByteArray &s)
{
    return s.size() == 16 && std::all_of(s.cbegin(), s.cend(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

// A decimal number as tagText writes one.
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

// The unfinished set's files at `volume` go, and what it replaced there comes
// back; each step can be taken again after a stop anywhere.
bool rollBack(const QString &volume, const QByteArray &set)
{
    const QString aside = asidePath(volume, set), tagAside = tagAsidePath(volume, set), tag = tagPath(volume);
    const bool tagOfSet = namesSet(readTag(volume), set);
    bool ok = true;
    if (present(aside)) {
        if (present(tagAside))
            ok = platform::renameFile(tagAside, tag);
        else if (tagOfSet)
            ok = platform::removeFile(tag);
        return ok && platform::renameFile(aside, volume);
    }
    if (tagOfSet)  // the set's volume replaced nothing here
        ok = platform::removeFile(volume) && platform::removeFile(tag);
    if (ok && present(tagAside))
        ok = platform::renameFile(tagAside, tag);
    return ok;
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
    if (!isSetId(tag.set) || !readNumber(values[1], volume) || volume < 1 || volume > 65535 ||
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
    QFile file(tagPath(volume));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return parseTag(file.read(kTagLimit + 1));
}

bool tagFits(const QString &volume, const Tag &tag, const std::function<void()> &pump)
{
    QFile file(volume);
    if (!file.open(QIODevice::ReadOnly) || file.size() != tag.size)
        return false;
    QCryptographicHash digest(kDigest);
    QByteArray piece;
    qint64 read = 0;
    while (read < tag.size) {
        piece = file.read(std::min(kPiece, tag.size - read));
        if (piece.isEmpty())
            return false;
        digest.addData(piece);
        read += piece.size();
        if (pump)
            pump();
    }
    return digest.result() == tag.digest;
}

std::optional<Tag> fittingTag(const QString &volume, const std::function<void()> &pump)
{
    std::optional<Tag> tag = readTag(volume);
    if (tag && !tagFits(volume, *tag, pump))
        tag.reset();
    return tag;
}

QString Journal::path(const QByteArray &set) const
{
    return folder_ + QStringLiteral("/.backup-set-") + QString::fromLatin1(set);
}

bool Journal::begin(const QByteArray &set, const QString &archive)
{
    if (!QDir().mkpath(folder_))
        return false;
    platform::StagedFile file(path(set));
    const QByteArray text = "set " + set + "\narchive " + archive.toUtf8() + '\n';
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
        return false;
    if (file.notSynced()) {  // a journal a power cut may take cannot protect anything
        platform::removeFile(path(set));
        return false;
    }
    return true;
}

bool Journal::end(const QByteArray &set)
{
    if (!platform::removeFile(path(set)))
        return false;
    notSynced_ = !platform::syncFolder(folder_);
    return true;
}

bool Journal::unfinished(const QByteArray &set) const
{
    return present(path(set));
}

bool place(platform::StagedFile &staged, const Tag &tag, bool &notSynced)
{
    const QString volume = staged.placeName(), tagName = tagPath(volume);
    if (present(tagName) && !platform::renameFile(tagName, tagAsidePath(volume, tag.set)))
        return false;
    if (present(volume) && !platform::renameFile(volume, asidePath(volume, tag.set)))
        return false;
    platform::StagedFile tagFile(tagName);
    const QByteArray text = tagText(tag);
    if (!tagFile.open(QIODevice::WriteOnly) || tagFile.write(text) != text.size() || !tagFile.commit() ||
        !staged.commit())
        return false;
    notSynced = notSynced || tagFile.notSynced() || staged.notSynced();
    return true;
}

bool repair(const QString &volume, const Journal &journal)
{
    QSet<QByteArray> sets = setsKeptBeside(volume);
    if (const std::optional<Tag> tag = readTag(volume); tag && journal.unfinished(tag->set))
        sets.insert(tag->set);
    if (sets.isEmpty())
        return true;
    bool ok = true;
    for (const QByteArray &set : std::as_const(sets)) {
        if (journal.unfinished(set))
            ok = rollBack(volume, set) && ok;
        else
            ok = platform::removeFile(asidePath(volume, set)) && platform::removeFile(tagAsidePath(volume, set)) && ok;
    }
    return platform::syncFolder(QFileInfo(volume).absolutePath()) && ok;
}

bool repairArchive(const QString &firstVolume, const Journal &journal)
{
    const QFileInfo first(firstVolume);
    const QString stem = TBackupFile::VolumeName(first.fileName(), QString());  // "X." of "X.zbf"
    const QRegularExpression further(u'^' + QRegularExpression::escape(stem) + QStringLiteral("([0-9]{3})(?:\\..*)?$"));
    QSet<QString> volumes {platform::linkedPath(firstVolume)};
    for (const QString &entry : QDir(first.absolutePath()).entryList(QDir::Files | QDir::System | QDir::Hidden)) {
        const QRegularExpressionMatch m = further.match(entry);
        if (m.hasMatch())
            volumes.insert(platform::linkedPath(first.absolutePath() + u'/' + stem + m.captured(1)));
    }
    bool ok = true;
    for (const QString &volume : std::as_const(volumes))
        ok = (volume.isEmpty() || repair(volume, journal)) && ok;
    return ok;
}

}  // namespace volumeset
