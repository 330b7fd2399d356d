#include "platform/bytelocks.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
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

}  // namespace

ByteLocks::ByteLocks(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    do
        fd_ = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
    while (fd_ < 0 && errno == EINTR);
}

ByteLocks::~ByteLocks()
{
    if (fd_ >= 0)
        ::close(fd_);
}

ByteLocks::Take ByteLocks::take(int byte)
{
    if (fd_ < 0)
        return Take::Failed;
    struct flock lock = oneByte(F_WRLCK, byte);
    while (fcntl(fd_, F_OFD_SETLK, &lock) != 0) {
        if (errno == EAGAIN || errno == EACCES)
            return Take::HeldElsewhere;
        if (errno != EINTR)
            return Take::Failed;
    }
    return Take::Taken;
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

}  // namespace platform
