#include "platform/stagedfile.h"

#include "platform/file_attributes.h"

#include <QFile>
#include <QRegularExpression>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr qsizetype kBufferSize = 1 << 16;

// Writing past the process's file-size limit raises SIGXFSZ, whose default
// ends the process; ignored, the write fails with EFBIG and is told like a
// full disk. A handler the program installed itself is left alone.
void ignoreFileSizeSignal()
{
    struct sigaction current {};
    if (sigaction(SIGXFSZ, nullptr, &current) == 0 && current.sa_handler == SIG_DFL &&
        !(current.sa_flags & SA_SIGINFO))
        signal(SIGXFSZ, SIG_IGN);
}

}  // namespace

StagedFile::StagedFile(const QString &finalName)
    : finalName_(finalName)
{
}

StagedFile::~StagedFile()
{
    discard();
}

bool StagedFile::isOutOfSpace(int errorCode)
{
    return errorCode == ENOSPC || errorCode == EFBIG || errorCode == EDQUOT;
}

bool StagedFile::isPassingName(const QString &name, const QString &finalName)
{
    static const QRegularExpression passing(QStringLiteral("^(.+)\\.passing-[A-Za-z0-9]{6}$"));
    const QRegularExpressionMatch m = passing.match(name);
    return m.hasMatch() && (finalName.isEmpty() || m.captured(1) == finalName);
}

void StagedFile::fail(int errorCode)
{
    if (failure_ == 0)
        failure_ = errorCode != 0 ? errorCode : EIO;
    setErrorString(QString::fromLocal8Bit(strerror(failure_)));
}

bool StagedFile::open(OpenMode mode)
{
    if (fd_ >= 0 || (mode & ~(WriteOnly | Truncate | Unbuffered)) != 0 || !(mode & WriteOnly))
        return false;
    ignoreFileSizeSignal();
    placeName_ = linkedPath(finalName_);
    if (placeName_.isEmpty()) {
        fail(ELOOP);
        return false;
    }
    if (!fileStepAllowed(FileStep::Create, placeName_)) {
        fail(errno);
        return false;
    }
    QByteArray pattern = QFile::encodeName(placeName_) + ".passing-XXXXXX";
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) {
        fail(errno);
        return false;
    }
    fd_ = fd;
    tempName_ = QFile::decodeName(pattern);
    failure_ = 0;
    finished_ = false;
    notSynced_ = false;
    buffer_.clear();
    buffer_.reserve(kBufferSize);
    return QIODevice::open(WriteOnly | Unbuffered);
}

bool StagedFile::writeOut(const char *data, qint64 len)
{
    while (len > 0) {
        const ssize_t n = ::write(fd_, data, size_t(len));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            fail(n < 0 ? errno : ENOSPC);
            return false;
        }
        data += n;
        len -= n;
    }
    return true;
}

bool StagedFile::flushBuffer()
{
    const bool ok = buffer_.isEmpty() || writeOut(buffer_.constData(), buffer_.size());
    buffer_.clear();
    return ok;
}

qint64 StagedFile::writeData(const char *data, qint64 len)
{
    if (fd_ < 0 || failure_ != 0 || finished_)
        return -1;
    if (buffer_.size() + len > kBufferSize && !flushBuffer())
        return -1;
    if (len >= kBufferSize)
        return writeOut(data, len) ? len : -1;
    buffer_.append(data, len);
    return len;
}

bool StagedFile::finish()
{
    if (fd_ < 0 || failure_ != 0)
        return false;
    if (finished_)
        return true;
    if (!flushBuffer())
        return false;
    if (::fsync(fd_) != 0) {
        fail(errno);
        return false;
    }
    finished_ = true;
    return true;
}

bool StagedFile::commit()
{
    if (!finish())
        return false;
    const int fd = fd_;
    fd_ = -1;
    QIODevice::close();
    if (::close(fd) != 0) {
        fail(errno);
        ::unlink(QFile::encodeName(tempName_).constData());
        return false;
    }
    const Replaced placed = replaceFileDurably(tempName_, placeName_);
    if (placed == Replaced::No) {
        fail(errno);
        ::unlink(QFile::encodeName(tempName_).constData());
        return false;
    }
    notSynced_ = placed == Replaced::NotSynced;
    tempName_.clear();
    return true;
}

void StagedFile::discard()
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (isOpen())
        QIODevice::close();
    if (!tempName_.isEmpty())
        ::unlink(QFile::encodeName(tempName_).constData());
    tempName_.clear();
    buffer_.clear();
}

}  // namespace platform
