#include "engine/file.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <csignal>
#include <fcntl.h>
#include <map>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <thread>
#include <type_traits>
#include <unistd.h>

namespace {

dbFileObserver* currentObserver = nullptr;

// Byte 0 of the file is locked exclusively while a process opens or closes
// the database; every process using it holds a shared lock on byte 1.
constexpr off_t openingLockByte = 0;
constexpr off_t userLockByte = 1;
constexpr off_t firstSlotByte = 2;  // then one byte per process slot of the monitor
// Far past any file's end: the token of the monitor that the users of the
// file share, one byte each (see dbFile::claimMonitorToken).
constexpr off_t firstTokenByte = off_t(1) << 40;
// A lock call that is interrupted again and again (a file system that answers
// every call so) fails after this many tries, rather than spin for ever.
constexpr int interruptedTries = 64;

struct flock lockOfByte(short type, off_t byte)
{
    struct flock lock;
    std::memset(&lock, 0, sizeof lock);
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = byte;
    lock.l_len = 1;
    return lock;
}

int setLock(int fd, short type, off_t byte, bool wait)
{
    struct flock lock = lockOfByte(type, byte);
    for (int tries = 1; fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &lock) != 0; tries++) {
        if (errno != EINTR || tries == interruptedTries) {
            return errno;
        }
    }
    return 0;
}

// The start of a lock that another open file holds on [from, from + length)
// and that a lock of `type` there would conflict with; -1 when there is none,
// or -2 (errno set) when it cannot be told.
off_t lockHeldElsewhere(int fd, short type, off_t from, off_t length)
{
    struct flock probe = lockOfByte(type, from);
    probe.l_len = length;
    for (int tries = 1; fcntl(fd, F_OFD_GETLK, &probe) != 0; tries++) {
        if (errno != EINTR || tries == interruptedTries) {
            return -2;
        }
    }
    return probe.l_type == F_UNLCK ? -1 : probe.l_start;
}

// Growing the file past the process's file-size limit raises SIGXFSZ, whose
// default ends the process. Ignored, the growth fails with EFBIG and is
// reported like any other failure to extend the file. A handler the program
// installed itself is left alone.
void ignoreFileSizeSignal()
{
    struct sigaction current;
    if (sigaction(SIGXFSZ, nullptr, &current) == 0 && current.sa_handler == SIG_DFL
        && !(current.sa_flags & SA_SIGINFO)) {
        signal(SIGXFSZ, SIG_IGN);
    }
}

// Fills `into` with what a call that reads into a buffer gives (the list or a
// value of extended attributes), asking for the size first and again while
// it grows. 0 or errno.
template <class Read>
int readWhole(std::string& into, Read read)
{
    for (;;) {
        ssize_t n = read(nullptr, 0);
        if (n < 0) {
            return errno;
        }
        into.resize(size_t(n));
        n = read(into.data(), into.size());
        if (n >= 0) {
            into.resize(size_t(n));
            return 0;
        }
        if (errno != ERANGE) {
            return errno;
        }
    }
}

// The extended attributes of an open file, value by name. 0 or errno; a
// filesystem that keeps none gives none.
int attributesOf(int fd, std::map<std::string, std::string>& attributes)
{
    attributes.clear();
    std::string names;  // each name ends with a zero byte
    int rc = readWhole(names, [fd](char* to, size_t size) { return flistxattr(fd, to, size); });
    if (rc == ENOTSUP) {
        return 0;
    }
    for (size_t at = 0; rc == 0 && at < names.size();) {
        const size_t end = std::min(names.find('\0', at), names.size());
        const std::string name = names.substr(at, end - at);
        at = end + 1;
        rc = readWhole(attributes[name],
                       [fd, &name](char* to, size_t size) { return fgetxattr(fd, name.c_str(), to, size); });
        if (rc == ENODATA) {  // removed since the list was read
            attributes.erase(name);
            rc = 0;
        }
    }
    return rc;
}

}  // namespace

dbFile::~dbFile()
{
    release();
}

void dbFile::setObserver(dbFileObserver* observer)
{
    currentObserver = observer;
}

void dbFile::reached(int point) const
{
    if (currentObserver != nullptr) {
        currentObserver->reached(*this, point);
    }
}

int dbFile::open(const char* fileName, bool ro, Creation creation)
{
    ignoreFileSizeSignal();
    release();
    name = fileName;
    readOnly = ro;
    int flags = ro ? O_RDONLY | O_CLOEXEC : O_RDWR | O_CLOEXEC;
    if (!ro && creation != existingOnly) {
        flags |= creation == createNew ? O_CREAT | O_EXCL : O_CREAT;
    }
    // a new file holds the user's data: for the user alone, whatever the umask
    fd = ::open(fileName, flags, 0600);
    if (fd < 0) {
        return errno;
    }
    struct stat st;
    if (fstat(fd, &st) != 0) {
        int rc = errno;
        release();
        return rc;
    }
    if (!S_ISREG(st.st_mode)) {
        release();
        return EINVAL;
    }
    if (uint64_t(st.st_size) > maxSize) {
        release();
        return EFBIG;
    }
    // One range for the largest file, so that growth never moves the mapping.
    reserved = maxSize;
    void* range = mmap(nullptr, reserved, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (range == MAP_FAILED) {
        int rc = errno;
        reserved = 0;
        release();
        return rc;
    }
    base = static_cast<unsigned char*>(range);
    mappedSize = 0;
    if (st.st_size > 0) {
        int rc = mapRange(0, uint64_t(st.st_size));
        if (rc != 0) {
            release();
            return rc;
        }
        mappedSize = uint64_t(st.st_size);
    }
    return 0;
}

int dbFile::mapRange(uint64_t from, uint64_t to)
{
    // Whole pages only; a file whose size is not a page multiple is mapped up
    // to the end of its last page (the engine refuses such files anyway).
    uint64_t start = from & ~uint64_t(4095);
    int prot = readOnly ? PROT_READ : PROT_READ | PROT_WRITE;
    void* p = mmap(base + start, to - start, prot, MAP_SHARED | MAP_FIXED, fd, off_t(start));
    return p == MAP_FAILED ? errno : 0;
}

bool dbFile::mustGrow(uint64_t size, int& rc) const
{
    if (fd < 0) {
        rc = EBADF;
    } else if (size <= mappedSize) {
        rc = 0;
    } else if (size > maxSize) {
        rc = EFBIG;
    } else {
        return true;
    }
    return false;
}

int dbFile::setSize(uint64_t size)
{
    int rc = 0;
    if (!mustGrow(size, rc)) {
        return rc;
    }
    if (readOnly) {
        return EROFS;
    }
    rc = currentObserver != nullptr ? currentObserver->beforeGrow(*this, size) : 0;
    if (rc == 0) {
        rc = posix_fallocate(fd, 0, off_t(size));
    }
    if (rc != 0) {
        // Leave the file as it was: a partly grown file would no longer match
        // the size its header records.
        struct stat st;
        if (fstat(fd, &st) == 0 && uint64_t(st.st_size) > mappedSize) {
            if (ftruncate(fd, off_t(mappedSize)) != 0) {
                // the reported error stays the growth's
            }
        }
        return rc;
    }
    rc = mapRange(mappedSize, size);
    if (rc != 0) {
        return rc;
    }
    mappedSize = size;
    return 0;
}

int dbFile::flush()
{
    if (fd < 0) {
        return EBADF;
    }
    int rc = currentObserver != nullptr ? currentObserver->beforeFlush(*this) : 0;
    if (rc != 0) {
        return rc;
    }
    if (mappedSize != 0 && !readOnly && msync(base, mappedSize, MS_SYNC) != 0) {
        return errno;
    }
    if (currentObserver != nullptr) {
        currentObserver->afterFlush(*this);
    }
    return 0;
}

int dbFile::flushWhole()
{
    int rc = flush();
    if (rc == 0 && fsync(fd) != 0) {
        rc = errno;
    }
    return rc;
}

int dbFile::takeAccessOf(const dbFile& other)
{
    struct stat theirs, own;
    if (fd < 0 || other.fd < 0) {
        return EBADF;
    }
    if (fstat(other.fd, &theirs) != 0 || fstat(fd, &own) != 0) {
        return errno;
    }
    // Every step is tried, the first failure told.
    int first = 0;
    auto step = [&first](bool done) {
        if (!done && first == 0) {
            first = errno;
        }
    };
    const bool groupGiven = own.st_gid == theirs.st_gid || fchown(fd, uid_t(-1), theirs.st_gid) == 0;
    step(groupGiven);
    std::map<std::string, std::string> wanted, held;
    int rc = attributesOf(other.fd, wanted);
    if (rc == 0) {
        rc = attributesOf(fd, held);
    }
    if (rc != 0) {
        errno = rc;
        step(false);
    } else {
        // what this file came with and the other has not (a folder's default ACL)
        for (const auto& [name, value] : held) {
            step(wanted.count(name) != 0 || fremovexattr(fd, name.c_str()) == 0);
        }
        for (const auto& [name, value] : wanted) {
            const auto had = held.find(name);
            step((had != held.end() && had->second == value)
                 || fsetxattr(fd, name.c_str(), value.data(), value.size(), 0) == 0);
        }
    }
    // Last: a change of group clears the set-group-ID bit; an ACL set above
    // already gave the bits its entries hold, which are these. Where the
    // group could not be given, the group's bits would go to another group:
    // none are given.
    step(fchmod(fd, theirs.st_mode & (groupGiven ? 07777 : 07707)) == 0);
    return first;
}

int dbFile::close()
{
    int rc = 0;
    if (base != nullptr && munmap(base, reserved) != 0) {
        rc = errno;
    }
    base = nullptr;
    reserved = 0;
    mappedSize = 0;
    if (fd >= 0 && ::close(fd) != 0 && rc == 0) {
        rc = errno;
    }
    fd = -1;
    openingLockHeld = false;
    return rc;
}

void dbFile::release()
{
    close();
}

int dbFile::lockAsUser()
{
    if (fd < 0) {
        return -EBADF;
    }
    // Read-only descriptors can only take shared locks; a reader never
    // initialises, so it only waits for an opener and tests for others.
    int rc = setLock(fd, readOnly ? F_RDLCK : F_WRLCK, openingLockByte, true);
    while (rc == 0 && nameMovedOn()) {
        // The process that held the opening lock put another file in this
        // one's place: that file is the database now.
        const std::string fileName = name;
        rc = open(fileName.c_str(), readOnly, existingOnly);  // drops this file's locks
        if (rc == 0) {
            rc = setLock(fd, readOnly ? F_RDLCK : F_WRLCK, openingLockByte, true);
        }
    }
    if (rc != 0) {
        return -rc;
    }
    openingLockHeld = true;
    bool alone;
    if (readOnly) {
        const off_t held = lockHeldElsewhere(fd, F_WRLCK, userLockByte, 1);
        if (held == -2) {
            return -errno;
        }
        alone = held == -1;
    } else {
        rc = setLock(fd, F_WRLCK, userLockByte, false);
        // Only a lock that another holds is a user: a refusal for any other
        // reason (some file systems answer EACCES) cannot tell.
        if (rc != 0 && rc != EAGAIN && (rc != EACCES || !othersUse())) {
            return -rc;
        }
        alone = rc == 0;
    }
    rc = setLock(fd, F_RDLCK, userLockByte, false);
    if (rc != 0) {
        return -rc;
    }
    return alone ? 1 : 0;
}

void dbFile::releaseOpeningLock()
{
    if (fd >= 0 && openingLockHeld) {
        setLock(fd, F_UNLCK, openingLockByte, false);
        openingLockHeld = false;
    }
}

void dbFile::unlockAsUser()
{
    if (fd >= 0) {
        setLock(fd, F_UNLCK, userLockByte, false);
    }
    releaseOpeningLock();
}

int dbFile::lockOpening()
{
    if (fd < 0) {
        return EBADF;
    }
    int rc = setLock(fd, readOnly ? F_RDLCK : F_WRLCK, openingLockByte, true);
    openingLockHeld = rc == 0;
    return rc;
}

bool dbFile::claimSlot(unsigned n)
{
    return fd >= 0 && setLock(fd, readOnly ? F_RDLCK : F_WRLCK, firstSlotByte + off_t(n), false) == 0;
}

bool dbFile::slotHeld(unsigned n) const
{
    // cannot tell: never take a live process for dead
    return fd < 0 || lockHeldElsewhere(fd, F_WRLCK, firstSlotByte + off_t(n), 1) != -1;
}

bool dbFile::othersUse() const
{
    return fd < 0 || lockHeldElsewhere(fd, F_WRLCK, userLockByte, 1) != -1;
}

bool dbFile::claimMonitorToken(uint64_t token)
{
    return fd >= 0 && token < monitorTokens && setLock(fd, F_RDLCK, firstTokenByte + off_t(token), false) == 0;
}

int64_t dbFile::heldMonitorToken() const
{
    const off_t held = fd < 0 ? -2 : lockHeldElsewhere(fd, F_WRLCK, firstTokenByte, off_t(monitorTokens));
    return held < 0 ? -1 : int64_t(held - firstTokenByte);
}

void dbFile::sharedAccess(uint32_t& group, uint32_t& mode) const
{
    struct stat st;
    group = uint32_t(-1);
    mode = 0600;
    if (fd < 0 || fstat(fd, &st) != 0) {
        return;
    }
    group = st.st_gid;
    // each class of users that may read or write the file may use the block
    for (const uint32_t shift : {6u, 3u, 0u}) {
        if ((st.st_mode >> shift) & 06) {
            mode |= 06u << shift;
        }
    }
}

bool dbFile::awaitSlotFree(unsigned n, unsigned timeoutMsec) const
{
    // The kernel tells nobody when a lock drops: it is looked at again after
    // pauses that grow from 1 to 16 ms.
    using namespace std::chrono;
    const steady_clock::time_point until = steady_clock::now() + milliseconds(timeoutMsec);
    milliseconds pause(1);
    while (slotHeld(n)) {
        const steady_clock::time_point now = steady_clock::now();
        if (now >= until) {
            return false;
        }
        std::this_thread::sleep_for(std::min<steady_clock::duration>(pause, until - now));
        pause = std::min(pause * 2, milliseconds(16));
    }
    return true;
}

int dbFile::mapTo(uint64_t size)
{
    int rc = 0;
    if (!mustGrow(size, rc)) {
        return rc;
    }
    struct stat st;
    if (fstat(fd, &st) != 0) {
        return errno;
    }
    if (uint64_t(st.st_size) < size) {
        return EINVAL;  // never map beyond the end of the file
    }
    rc = mapRange(mappedSize, size);
    if (rc == 0) {
        mappedSize = size;
    }
    return rc;
}

bool dbFile::nameMovedOn() const
{
    struct stat named, opened;
    if (stat(name.c_str(), &named) != 0 || fstat(fd, &opened) != 0) {
        return false;  // no file of that name (or no telling): this one stays
    }
    return named.st_dev != opened.st_dev || named.st_ino != opened.st_ino;
}

bool dbFile::replaceableByName() const
{
    struct stat named, opened;
    return fd >= 0 && lstat(name.c_str(), &named) == 0 && fstat(fd, &opened) == 0 && S_ISREG(named.st_mode)
        && named.st_dev == opened.st_dev && named.st_ino == opened.st_ino && named.st_nlink == 1
        && named.st_uid == geteuid();
}

std::string dbFile::identity() const
{
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0) {
        return "";
    }
    return std::to_string(uint64_t(st.st_dev)) + "-" + std::to_string(uint64_t(st.st_ino));
}

std::string dbFile::errorText(int code)
{
    if (code > 0) {
        char buf[256];
        // XSI strerror_r returns int; GNU returns char*. Handle both.
        auto r = strerror_r(code, buf, sizeof buf);
        const char* text;
        if constexpr (std::is_same_v<decltype(r), char*>) {
            text = r;
        } else {
            text = r == 0 ? buf : nullptr;
        }
        if (text != nullptr && std::strncmp(text, "Unknown error", 13) != 0) {
            return text;
        }
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, "unknown error code %u", unsigned(code));
    return buf;
}

int dbFile::replace(const char* from, const char* to, bool& renamed)
{
    renamed = ::rename(from, to) == 0;
    if (!renamed) {
        return errno;
    }
    std::string folder = to;
    size_t slash = folder.rfind('/');
    folder = slash == std::string::npos ? "." : slash == 0 ? "/" : folder.substr(0, slash);
    int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) {
        return errno;
    }
    int rc = fsync(dir) == 0 ? 0 : errno;
    ::close(dir);
    return rc;
}

int dbFile::remove(const char* fileName)
{
    return ::unlink(fileName) == 0 || errno == ENOENT ? 0 : errno;
}
