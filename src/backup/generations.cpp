#include "backup/generations.h"

#include "appcore/dialogs.h"
#include "backup/backupfile.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

namespace {

const char *const kDatabaseFileName = "Quillet.zrv";

bool newDatabaseStarted = false;

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
    static const QRegularExpression name(QStringLiteral("^Quillet(0|[1-9][0-9]{0,2})\\.zbf$"));
    QList<GenerationArchive> found;
    for (const QFileInfo &file : QDir(dir).entryInfoList({QStringLiteral("Quillet*.zbf")}, QDir::Files)) {
        const QRegularExpressionMatch m = name.match(file.fileName());
        if (!m.hasMatch())
            continue;
        GenerationArchive a;
        a.generation = m.captured(1).toInt();
        a.path = file.absoluteFilePath();
        const ArchiveScan scan = scanArchive(a.path);
        a.readable = scan.complete && scan.holdsDatabase;
        a.modifiedMs = file.lastModified().toMSecsSinceEpoch();
        a.date = a.readable ? scan.databaseDate : a.modifiedMs / 1000;
        found.append(a);
    }
    std::sort(found.begin(), found.end(),
              [](const GenerationArchive &a, const GenerationArchive &b) { return a.generation < b.generation; });
    return found;
}

int generationToWrite(const QString &dir, int totalBackup, bool unusedOnly)
{
    const int total = std::max(totalBackup, 1);
    QList<GenerationArchive> taken = generationArchives(dir);
    taken.removeIf([total](const GenerationArchive &a) { return a.generation >= total; });
    for (int g = 0; g < total; ++g) {
        if (g >= taken.size() || taken[g].generation != g)
            return g;  // taken is in generation order: the first gap is the lowest unused
    }
    if (unusedOnly)
        return -1;
    return std::min_element(taken.cbegin(), taken.cend(), olderBackup)->generation;
}

QString startNotice(const QString &dir)
{
    const QFileInfo database(dir + u'/' + QLatin1String(kDatabaseFileName));
    if (database.exists() && database.size() > 0)
        return {};
    const QList<GenerationArchive> archives = generationArchives(dir);
    if (archives.isEmpty())
        return {};
    const GenerationArchive &newest = *std::max_element(archives.cbegin(), archives.cend(), olderBackup);
    const QString opening =
        database.exists()
            ? QStringLiteral("The database file Quillet.zrv in this folder is empty, but the folder holds backups.")
            : QStringLiteral("No database was found in this folder, but it holds backups.");
    return opening + QStringLiteral(" The newest is ") + QFileInfo(newest.path).fileName() + QStringLiteral(" of ") +
           QDateTime::fromSecsSinceEpoch(newest.date).toString(QStringLiteral("yyyy-MM-dd")) +
           QStringLiteral(". To bring it back, choose Setup, then Backup, then Restore."
                          " The program now starts with a new, empty database.");
}

void checkDatabaseAtStart(const QString &dir, QWidget *owner)
{
    const QFileInfo database(dir + u'/' + QLatin1String(kDatabaseFileName));
    newDatabaseStarted = !database.exists() || database.size() == 0;
    const QString notice = startNotice(dir);
    if (!notice.isEmpty())
        ShowInfo(notice, owner);
}

bool startedNewDatabase()
{
    return newDatabaseStarted;
}
