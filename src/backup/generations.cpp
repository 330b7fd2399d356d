#include "backup/generations.h"

#include "appcore/namelist.h"
#include "backup/backupfile.h"
#include "platform/file_attributes.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

namespace {

const char *const kDatabaseFileName = "Quillet.zrv";
// The names told in a notice; the rest are counted.
constexpr qsizetype kNamesTold = 5;

// A day as the file names and the texts give it.
QString dayOf(int64_t seconds)
{
    return QDateTime::fromSecsSinceEpoch(seconds).toString(QStringLiteral("yyyy-MM-dd"));
}

const QRegularExpression &generationName()
{
    static const QRegularExpression name(QStringLiteral("^Quillet(0|[1-9][0-9]{0,2})\\.zbf$"));
    return name;
}

const QRegularExpression &setAsideName()
{
    static const QRegularExpression name(
        QStringLiteral("^Quillet(0|[1-9][0-9]{0,2})-of-[0-9]{4}-[0-9]{2}-[0-9]{2}(-[1-9][0-9]*)?\\.zbf$"));
    return name;
}

// The archives in dir whose names match, each read through once.
QList<GenerationArchive> archivesNamed(const QString &dir, const QRegularExpression &name, bool setAside)
{
    QList<GenerationArchive> found;
    for (const QFileInfo &file : QDir(dir).entryInfoList({QStringLiteral("Quillet*.zbf")}, QDir::Files)) {
        const QRegularExpressionMatch m = name.match(file.fileName());
        if (!m.hasMatch())
            continue;
        GenerationArchive a;
        a.generation = m.captured(1).toInt();
        a.setAside = setAside;
        a.path = file.absoluteFilePath();
        const ArchiveScan scan = scanArchive(a.path);
        a.readable = scan.complete && scan.holdsDatabase;
        a.denied = !a.readable && !platform::mayRead(a.path);
        a.modifiedMs = file.lastModified().toMSecsSinceEpoch();
        a.date = a.readable ? scan.databaseDate : a.modifiedMs / 1000;
        found.append(a);
    }
    return found;
}

// Whether dir holds a generation file (unless setAsideOnly) or an archive
// set aside, by the files' names alone.
bool anyArchiveIn(const QString &dir, bool setAsideOnly = false)
{
    for (const QString &file : QDir(dir).entryList({QStringLiteral("Quillet*.zbf")}, QDir::Files))
        if ((!setAsideOnly && generationName().match(file).hasMatch()) || setAsideName().match(file).hasMatch())
            return true;
    return false;
}

std::optional<GenerationArchive> newestReadableOf(const QList<GenerationArchive> &archives)
{
    const auto newest = std::max_element(archives.cbegin(), archives.cend(), olderBackup);
    if (newest == archives.cend() || !newest->readable)
        return std::nullopt;
    return *newest;
}

// "a", "a and b", "a, b and c", "a, b, c, d, e and 2 more".
QString listOfNames(const QStringList &names)
{
    return ListOfNames(names, kNamesTold);
}

QString fileNameOf(const GenerationArchive &a)
{
    return QFileInfo(a.path).fileName();
}

}  // namespace

ArchiveScan scanArchive(const QString &path)
{
    TBackupFile scan;
    ArchiveScan found;
    scan.OnError = [](TBackupFile &, int32_t, const QString &) {};
    scan.OnNeedDisk = [](TBackupFile &, uint16_t, bool &cont) { cont = false; };
    scan.OnRestoreFile = [&found](TBackupFile &, QString &target, int32_t date, bool &doRestore) {
        if (!found.holdsDatabase && QFileInfo(target).fileName() == QLatin1String(kDatabaseFileName)) {
            found.holdsDatabase = true;
            found.databaseDate = unixSecondsOfDosDateTime(date);
        }
        doRestore = false;
    };
    // every entry is passed over, so the target folder only names the targets
    found.complete = scan.Restore(path, QFileInfo(path).absolutePath());
    return found;
}

bool olderBackup(const GenerationArchive &a, const GenerationArchive &b)
{
    if (a.readable != b.readable)
        return !a.readable;
    if (a.date != b.date)
        return a.date < b.date;
    if (a.modifiedMs != b.modifiedMs)
        return a.modifiedMs < b.modifiedMs;
    return a.generation < b.generation;
}

QString generationPath(const QString &dir, int generation)
{
    return dir + QStringLiteral("/Quillet") + QString::number(generation) + QStringLiteral(".zbf");
}

QList<GenerationArchive> generationArchives(const QString &dir)
{
    QList<GenerationArchive> found = archivesNamed(dir, generationName(), false);
    std::sort(found.begin(), found.end(),
              [](const GenerationArchive &a, const GenerationArchive &b) { return a.generation < b.generation; });
    return found;
}

QList<GenerationArchive> keptArchives(const QString &dir)
{
    QList<GenerationArchive> found = archivesNamed(dir, generationName(), false);
    found += archivesNamed(dir, setAsideName(), true);
    std::sort(found.begin(), found.end(), olderBackup);
    return found;
}

int generationToWrite(const QString &dir, int totalBackup, AutoBackups allowed)
{
    if (allowed == AutoBackups::None)
        return -1;
    const int total = std::max(totalBackup, 1);
    QList<GenerationArchive> taken = generationArchives(dir);
    taken.removeIf([total](const GenerationArchive &a) { return a.generation >= total; });
    for (int g = 0; g < total; ++g) {
        if (g >= taken.size() || taken[g].generation != g)
            return g;  // taken is in generation order: the first gap is the lowest unused
    }
    if (allowed == AutoBackups::FreeGenerationsOnly)
        return -1;
    return std::min_element(taken.cbegin(), taken.cend(), olderBackup)->generation;
}

bool newDatabaseBesideBackups(const QString &dir)
{
    const QFileInfo database(dir + u'/' + QLatin1String(kDatabaseFileName));
    return !(database.exists() && database.size() > 0) && anyArchiveIn(dir);
}

bool anyArchiveSetAside(const QString &dir) { return anyArchiveIn(dir, true); }

ArchivesSetAside setArchivesAside(const QString &dir)
{
    ArchivesSetAside kept;
    kept.folder = dir;
    kept.databaseEmpty = QFileInfo::exists(dir + u'/' + QLatin1String(kDatabaseFileName));
    QList<GenerationArchive> archives = keptArchives(dir);
    bool renamed = false;
    for (GenerationArchive &a : archives) {
        if (a.setAside)
            continue;
        const QString target = unusedName(
            dir, QStringLiteral("Quillet%1-of-%2").arg(a.generation).arg(dayOf(a.date)), QStringLiteral(".zbf"));
        if (QFile::rename(a.path, target)) {
            a.path = target;
            a.setAside = renamed = true;
        }
    }
    // the new names are on the disk before the open makes a new database
    // beside them, so that a crash cannot bring the rotation back over them
    if (renamed)
        platform::syncFolder(dir);
    for (const GenerationArchive &a : archives)
        (a.setAside ? kept.names : kept.notRenamed).append(fileNameOf(a));
    kept.newestReadable = newestReadableOf(archives);
    return kept;
}

QString newDatabaseNotice(const ArchivesSetAside &kept, bool opened)
{
    QStringList text {kept.databaseEmpty ? QStringLiteral("The database file Quillet.zrv in %1 is empty, but the "
                                                          "folder holds backups.")
                                                .arg(kept.folder)
                                         : QStringLiteral("No database was found in %1, but it holds backups.")
                                               .arg(kept.folder)};
    if (kept.names.size() == 1)
        text << QStringLiteral("It is kept as %1, where no automatic backup writes over it.").arg(kept.names[0]);
    else if (!kept.names.isEmpty())
        text << QStringLiteral("They are kept as %1, where no automatic backup writes over them.")
                    .arg(listOfNames(kept.names));
    if (kept.notRenamed.size() == 1)
        text << QStringLiteral("%1 could not be renamed: a later automatic backup may write over it.")
                    .arg(kept.notRenamed[0]);
    else if (!kept.notRenamed.isEmpty())
        text << QStringLiteral("%1 could not be renamed: later automatic backups may write over them.")
                    .arg(listOfNames(kept.notRenamed));
    const qsizetype archives = kept.names.size() + kept.notRenamed.size();
    if (kept.newestReadable)
        text << QStringLiteral("The newest that can be read is %1 of %2. To bring it back, choose Setup, then Backup, "
                               "then Restore.")
                    .arg(fileNameOf(*kept.newestReadable), dayOf(kept.newestReadable->date));
    else
        text << (archives == 1 ? QStringLiteral("It cannot be read, so it cannot be restored.")
                               : QStringLiteral("None of them can be read, so none can be restored."));
    if (opened)
        text << QStringLiteral("The program now starts with a new, empty database.");
    return text.join(u' ');
}

QString unusedName(const QString &dir, const QString &stem, const QString &suffix)
{
    QString name = dir + u'/' + stem + suffix;
    for (int n = 2; QFileInfo::exists(name) || QFileInfo(name).isSymLink(); ++n)
        name = dir + u'/' + stem + u'-' + QString::number(n) + suffix;
    return name;
}

QString unreadableDatabaseName(const QString &dir, int64_t nowSeconds)
{
    return unusedName(dir, QStringLiteral("Quillet-unreadable-") + dayOf(nowSeconds), QStringLiteral(".zrv"));
}

namespace {

// A question at start: what cannot be read, why nothing else came first,
// the offer, and under which name the unreadable file is kept.
QString atStartQuestion(const QString &dir, const QString &before, const QString &offer, const QString &keptAs)
{
    QStringList text {QStringLiteral("The database file Quillet.zrv in %1 cannot be read.").arg(dir)};
    if (!before.isEmpty())
        text << before;
    text << offer
         << QStringLiteral("The unreadable file will be kept as %1.").arg(QFileInfo(keptAs).fileName());
    return text.join(u' ');
}

}  // namespace

QString restoreAtStartQuestion(const QString &dir, const GenerationArchive &archive, const QString &keptAs,
                               const QString &before, bool newest)
{
    return atStartQuestion(dir, before,
                           QStringLiteral("The %1 backup that can be read is %2 of %3. Restore it in its place?")
                               .arg(newest ? QStringLiteral("newest") : QStringLiteral("next"), fileNameOf(archive),
                                    dayOf(archive.date)),
                           keptAs);
}

QString restoreFromElsewhereQuestion(const QString &dir, const QString &keptAs, const QString &before)
{
    return atStartQuestion(
        dir, before, QStringLiteral("Restore a backup kept elsewhere, such as on another disk, in its place?"), keptAs);
}

QString deniedArchivesText(const QList<GenerationArchive> &archives)
{
    QStringList names;
    for (const GenerationArchive &a : archives)
        if (a.denied)
            names << QFileInfo(a.path).fileName();
    if (names.isEmpty())
        return {};
    return QStringLiteral("This user may not read %1 there: %2 owner, or an administrator, can give this user the "
                          "right to read %3.")
        .arg(listOfNames(names), names.size() == 1 ? QStringLiteral("its") : QStringLiteral("their"),
             names.size() == 1 ? QStringLiteral("it") : QStringLiteral("them"));
}

QString newerUnreadableText(const QList<GenerationArchive> &archives, const GenerationArchive &offered)
{
    QStringList newer;
    for (const GenerationArchive &a : archives)
        if (!a.readable && a.modifiedMs > offered.modifiedMs)
            newer << fileNameOf(a);
    if (newer.isEmpty())
        return {};
    return newer.size() == 1 ? QStringLiteral("%1, a newer backup, cannot be read either.").arg(newer[0])
                             : QStringLiteral("%1, newer backups, cannot be read either.").arg(listOfNames(newer));
}
