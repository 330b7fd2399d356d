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

bool syncFolder(const QString &dir)
{
    const int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    const int error = errno;
    ::close(fd);
    errno = error;
    return synced;
}

bool replaceFileDurably(const QString &source, const QString &target)
{
    if (::rename(QFile::encodeName(source).constData(), QFile::encodeName(target).constData()) != 0)
        return false;
    return syncFolder(QFileInfo(target).absolutePath());
}

}  // namespace platform
