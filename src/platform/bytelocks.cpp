#include "platform/bytelocks.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

// A lock call interrupted this many times in a row fails: a file system that
// answers every call so would make it spin for ever.
constexpr int kInterruptedTries = 64;

ByteLocksObserver *currentObserver = nullptr;

// A request to take a lock, answered by the test observer when it says so.
int requestLock(int fd, struct flock &lock)
{
    const int answer = currentObserver != nullptr ? currentObserver->beforeTake() : 0;
    if (answer == 0)
        return fcntl(fd, F_OFD_SETLK, &lock);
    errno = answer;
    return -1;
}

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
    int tries = 0;
    do
        fd = ::open(name.constData(), flags | O_CLOEXEC | O_NOFOLLOW, 0666);
    while (fd < 0 && errno == EINTR && ++tries < kInterruptedTries);
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
        if (fd_ < 0 && errno == ENOENT)
            error_ = ENOENT;  // none, and this user may not make it
        outOfReach_ = fd_ < 0 && (errno == EACCES || errno == EPERM) &&
                      faccessat(AT_FDCWD, QFile::encodeName(QFileInfo(path).absolutePath()).constData(), W_OK,
                                AT_EACCESS) != 0;
    }
    // A link, a folder or another kind of file at the name, or none: no
    // one can lock it.
    lockableByNone_ = fd_ < 0 && (error_ == ELOOP || error_ == EISDIR || error_ == EINVAL || error_ == ENOENT);
}

ByteLocks::~ByteLocks()
{
    if (fd_ >= 0)
        ::close(fd_);
}

void ByteLocks::shareWithUsersOf(const QString &guarded)
{
    struct stat lock {}, file {};
    if (fstat(fd_, &lock) != 0 || lock.st_uid != geteuid())
        return;
    mode_t bits = 0;
    if (::stat(QFile::encodeName(guarded).constData(), &file) == 0) {
        bits = file.st_mode & 0666;
    } else if (::stat(QFile::encodeName(QFileInfo(guarded).absolutePath()).constData(), &file) == 0) {
        // no file yet: whoever may make it in the folder may lock
        for (const int shift : {6, 3, 0})
            if ((file.st_mode >> shift) & 02)
                bits |= mode_t(06) << shift;
    } else {
        return;
    }
    // a group the user is not in stays as it was: the bits below still reach the others
    if (lock.st_gid != file.st_gid)
        (void)!fchown(fd_, uid_t(-1), file.st_gid);
    const mode_t mode = (lock.st_mode & 07777) | bits;
    if ((lock.st_mode & 07777) != mode)
        (void)!fchmod(fd_, mode);
}

ByteLocks::Take ByteLocks::take(int byte)
{
    if (fd_ < 0)
        return Take::Failed;
    struct flock lock = oneByte(readOnly_ ? F_RDLCK : F_WRLCK, byte);
    for (int tries = 1; requestLock(fd_, lock) != 0; ++tries) {
        // some file systems answer EACCES for a lock they refuse: only one
        // that another holds is held elsewhere
        if (errno == EAGAIN || (errno == EACCES && heldElsewhere(byte)))
            return Take::HeldElsewhere;
        if (errno != EINTR || tries == kInterruptedTries) {
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

void ByteLocks::setObserver(ByteLocksObserver *observer)
{
    currentObserver = observer;
}

QString ByteLocks::failure() const
{
    return error_ != 0 ? QString::fromLocal8Bit(std::strerror(error_)) : QString();
}

}  // namespace platform
