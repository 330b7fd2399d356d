#include "platform/file_attributes.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <sys/xattr.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

namespace platform {
namespace {

constexpr const char *kArchiveAttr = "user.quillet.archive";

FileStepObserver *g_observer = nullptr;

bool statFile(const QString &path, struct stat &st)
{
    const QByteArray name = QFile::encodeName(path);
    return ::stat(name.constData(), &st) == 0;
}

// The mark stored by clearArchiveFlag: "<seconds>.<nanoseconds> <size>".
std::string markOf(const struct stat &st)
{
    return std::to_string(static_cast<long long>(st.st_mtim.tv_sec)) + "." +
           std::to_string(static_cast<long long>(st.st_mtim.tv_nsec)) + " " +
           std::to_string(static_cast<long long>(st.st_size));
}

}  // namespace

bool sameFile(const QString &a, const QString &b)
{
    struct stat sa {}, sb {};
    if (!statFile(a, sa) || !statFile(b, sb))
        return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool archiveFlagSet(const QString &path)
{
    struct stat st {};
    if (!statFile(path, st))
        return true;
    const QByteArray name = QFile::encodeName(path);
    char buf[128];
    const ssize_t n = ::getxattr(name.constData(), kArchiveAttr, buf, sizeof buf);
    if (n < 0)
        return true;  // absent, unsupported or unreadable: back the file up
    return std::string(buf, static_cast<size_t>(n)) != markOf(st);
}

bool clearArchiveFlag(const QString &path)
{
    struct stat st {};
    if (!statFile(path, st))
        return false;
    const QByteArray name = QFile::encodeName(path);
    const std::string mark = markOf(st);
    if (::setxattr(name.constData(), kArchiveAttr, mark.data(), mark.size(), 0) == 0)
        return true;
    return errno == ENOTSUP || errno == EOPNOTSUPP;
}

FileStepObserver *setFileStepObserver(FileStepObserver *observer)
{
    FileStepObserver *previous = g_observer;
    g_observer = observer;
    return previous;
}

bool fileStepAllowed(FileStep step, const QString &path)
{
    const int error = g_observer ? g_observer->beforeStep(step, path) : 0;
    errno = error;
    return error == 0;
}

bool syncFolder(const QString &dir)
{
    if (!fileStepAllowed(FileStep::SyncFolder, dir))
        return false;
    const int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    const int error = errno;
    ::close(fd);
    errno = error;
    return synced;
}

namespace {

// A field of /proc/self/mountinfo, whose blanks and the like are written
// as octal escapes ("\040").
QString unescapedField(const QByteArray &field)
{
    QByteArray text;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            bool ok = false;
            const int code = field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok) {
                text += char(code);
                i += 3;
                continue;
            }
        }
        text += field[i];
    }
    return QFile::decodeName(text);
}

bool locksStayLocal(const QString &type, const QStringList &options)
{
    if (type.startsWith(QLatin1String("fuse.")) || type == QLatin1String("fuse"))
        return true;  // a block device's FUSE file system (fuseblk) has one path alone
    if (type == QLatin1String("9p") || type == QLatin1String("virtiofs"))
        return true;
    if (type.startsWith(QLatin1String("nfs")))
        return options.contains(QLatin1String("nolock")) || options.contains(QLatin1String("local_lock=all")) ||
               options.contains(QLatin1String("local_lock=posix"));
    if (type == QLatin1String("cifs") || type == QLatin1String("smb3"))
        return options.contains(QLatin1String("nobrl"));
    return false;
}

}  // namespace

QString unsharedLocksFileSystem(const QString &dir)
{
    const QString path = QFileInfo(dir).canonicalFilePath();
    QFile table(QStringLiteral("/proc/self/mountinfo"));
    if (path.isEmpty() || !table.open(QIODevice::ReadOnly))
        return {};
    // the last mount on the longest mount point above the folder holds it
    QString found, type;
    QStringList options;
    for (const QByteArray &line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        const qsizetype dash = fields.indexOf("-");
        if (fields.size() < 6 || dash < 6 || dash + 3 >= fields.size())
            continue;
        const QString point = unescapedField(fields[4]);
        const bool above = path == point || point == QLatin1String("/") || path.startsWith(point + u'/');
        if (above && point.size() >= found.size()) {
            found = point;
            type = QString::fromLatin1(fields[dash + 1]);
            options = QString::fromLatin1(fields[5] + ',' + fields[dash + 3]).split(u',');
        }
    }
    return locksStayLocal(type, options) ? type : QString();
}

int folderWriteError(const QString &dir)
{
    return ::faccessat(AT_FDCWD, QFile::encodeName(dir).constData(), W_OK | X_OK, AT_EACCESS) == 0 ? 0 : errno;
}

bool mayRead(const QString &path)
{
    return ::faccessat(AT_FDCWD, QFile::encodeName(path).constData(), R_OK, AT_EACCESS) == 0;
}

bool renameFile(const QString &source, const QString &target)
{
    return fileStepAllowed(FileStep::Rename, target) &&
           ::rename(QFile::encodeName(source).constData(), QFile::encodeName(target).constData()) == 0;
}

bool linkFile(const QString &source, const QString &target)
{
    return fileStepAllowed(FileStep::Link, target) &&
           ::link(QFile::encodeName(source).constData(), QFile::encodeName(target).constData()) == 0;
}

bool removeFile(const QString &path)
{
    return fileStepAllowed(FileStep::Remove, path) &&
           (::unlink(QFile::encodeName(path).constData()) == 0 || errno == ENOENT);
}

Replaced replaceFileDurably(const QString &source, const QString &target)
{
    if (!renameFile(source, target))
        return Replaced::No;
    return syncFolder(QFileInfo(target).absolutePath()) ? Replaced::Synced : Replaced::NotSynced;
}

QString linkedPath(const QString &path)
{
    QString current = QFileInfo(path).absoluteFilePath();
    for (int links = 0; links < 40; ++links) {
        const QFileInfo info(current);
        if (!info.isSymLink())
            return current;
        current = info.symLinkTarget();  // absolute, made from the link's folder
    }
    return {};
}

std::optional<FileIdentity> fileIdentity(const QString &path)
{
    struct stat st {};
    if (!statFile(path, st))
        return std::nullopt;
    return FileIdentity {uint64_t(st.st_dev), uint64_t(st.st_ino)};
}

}  // namespace platform
