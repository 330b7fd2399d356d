#include "platform/bytelocks.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

struct flock oneByte(short type, int byte)
{
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = byte;
    lock.l_len = 1;
    return lock;
}

// A regular file opened with `flags`, or -1 with errno set.
int openRegular(const QByteArray &name, int flags)
{
    int fd;
    do
        fd = ::open(name.constData(), flags | O_CLOEXEC | O_NOFOLLOW, 0666);
    while (fd < 0 && errno == EINTR);
    struct stat st {};
    if (fd >= 0 && (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
        const int error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

}  // namespace

ByteLocks::ByteLocks(const QString &path, const QString &guarded)
{
    const QByteArray name = QFile::encodeName(path);
    fd_ = openRegular(name, O_RDWR | O_CREAT);
    if (fd_ >= 0) {
        shareWithUsersOf(guarded);
        return;
    }
    error_ = errno;
    if (error_ == EACCES || error_ == EPERM || error_ == EROFS) {
        fd_ = openRegular(name, O_RDONLY);
        readOnly_ = fd_ >= 0;
    }
}

ByteLocks::~ByteLocks()
{
    if (fd_ >= 0)
        ::close(fd_);
}

void ByteLocks::shareWithUsersOf(const QString &guarded)
{
    struct stat lock {}, file {};
    if (::stat(QFile::encodeName(guarded).constData(), &file) != 0 || fstat(fd_, &lock) != 0
        || lock.st_uid != geteuid())
        return;
    // a group the user is not in stays as it was: the bits below still reach the others
    if (lock.st_gid != file.st_gid)
        (void)!fchown(fd_, uid_t(-1), file.st_gid);
    const mode_t mode = (lock.st_mode & 07777) | (file.st_mode & 0666);
    if ((lock.st_mode & 07777) != mode)
        (void)!fchmod(fd_, mode);
}

ByteLocks::Take ByteLocks::take(int byte)
{
    if (fd_ < 0)
        return Take::Failed;
    struct flock lock = oneByte(readOnly_ ? F_RDLCK : F_WRLCK, byte);
    while (fcntl(fd_, F_OFD_SETLK, &lock) != 0) {
        if (errno == EAGAIN || errno == EACCES)
            return Take::HeldElsewhere;
        if (errno != EINTR) {
            error_ = errno;
            return Take::Failed;
        }
    }
    return readOnly_ ? Take::Shared : Take::Taken;
}

bool ByteLocks::heldElsewhere(int byte) const
{
    struct flock probe = oneByte(F_WRLCK, byte);
    return fd_ >= 0 && fcntl(fd_, F_OFD_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
}

void ByteLocks::release(int byte)
{
    struct flock lock = oneByte(F_UNLCK, byte);
    if (fd_ >= 0)
        fcntl(fd_, F_OFD_SETLK, &lock);
}

QString ByteLocks::failure() const
{
    return error_ != 0 ? QString::fromLocal8Bit(std::strerror(error_)) : QString();
}

}  // namespace platform
