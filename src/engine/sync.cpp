#include "engine/sync.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The text of a file under /proc, empty when it cannot be read.
std::string procText(const std::string& path)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return "";
    }
    std::string text;
    char buf[1024];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0) {
        text.append(buf, size_t(n));
    }
    ::close(fd);
    return text;
}

// Whether the hexadecimal signal mask on the status line `label` holds SIGKILL.
bool killPending(const std::string& status, const char* label)
{
    const size_t at = status.find(label);
    if (at == std::string::npos) {
        return false;
    }
    const unsigned long long mask = std::strtoull(status.c_str() + at + std::strlen(label), nullptr, 16);
    return ((mask >> (SIGKILL - 1)) & 1) != 0;
}

constexpr unsigned long taskExiting = 0x4;  // PF_EXITING in the flags of a task's stat

// What the stat file of a process or of one of its threads tells.
struct TaskStat {
    char state = 0;
    unsigned long flags = 0;
    unsigned long long started = 0;  // clock ticks after boot
};

// Reads "<dir>/stat": "pid (name) state ppid pgrp session tty tpgid flags
// ... starttime ...". The name may hold blanks and parentheses, so the fields
// are read after the last ')'. False when there is no such task.
bool readTaskStat(const std::string& dir, TaskStat& out)
{
    const std::string stat = procText(dir + "/stat");
    const size_t nameEnd = stat.rfind(')');
    if (nameEnd == std::string::npos) {
        return false;
    }
    return std::sscanf(stat.c_str() + nameEnd + 1,
                       " %c %*d %*d %*d %*d %*d %lu %*u %*u %*u %*u %*u %*u %*d %*d %*d %*d %*d %*d %llu", &out.state,
                       &out.flags, &out.started) == 3;
}

// Whether the thread whose /proc folder is `dir` has ended or is on its way
// out: a zombie, exiting, or a kill pending for it or for its process.
bool threadEnding(const std::string& dir)
{
    TaskStat stat;
    if (!readTaskStat(dir, stat)) {
        return true;  // ended since the threads were listed
    }
    if (stat.state == 'Z' || stat.state == 'X' || stat.state == 'x' || (stat.flags & taskExiting) != 0) {
        return true;
    }
    const std::string status = procText(dir + "/status");
    return killPending(status, "\nSigPnd:") || killPending(status, "\nShdPnd:");
}

}  // namespace

void dbAbnormalTermination()
{
    std::fputs("Abnormal program termination\n", stderr);
    std::fflush(stderr);
    std::fflush(stdout);
    _exit(3);
}

void dbAssertionFailed(const char* expr, const char* file, int line)
{
    std::fprintf(stderr, "Assertion failed: %s, file %s, line %d\n", expr, file, line);
    dbAbnormalTermination();
}

bool dbGlobalCriticalSection::create(dbSharedSection* shared)
{
    section = shared;
    ownerDied = false;
    pthread_mutexattr_t ma;
    pthread_mutexattr_init(&ma);
    pthread_mutexattr_setpshared(&ma, PTHREAD_PROCESS_SHARED);
    pthread_mutexattr_setrobust(&ma, PTHREAD_MUTEX_ROBUST);
    int rc = pthread_mutex_init(&section->mutex, &ma);
    pthread_mutexattr_destroy(&ma);
    pthread_condattr_t ca;
    pthread_condattr_init(&ca);
    pthread_condattr_setpshared(&ca, PTHREAD_PROCESS_SHARED);
    pthread_condattr_setclock(&ca, CLOCK_MONOTONIC);
    int rc2 = pthread_cond_init(&section->changed, &ca);
    pthread_condattr_destroy(&ca);
    return rc == 0 && rc2 == 0;
}

void dbGlobalCriticalSection::open(dbSharedSection* shared)
{
    section = shared;
    ownerDied = false;
}

void dbGlobalCriticalSection::acquired(int rc)
{
    if (rc == EOWNERDEAD) {
        pthread_mutex_consistent(&section->mutex);
        ownerDied = true;
        return;
    }
    dbAssert(rc == 0);
}

void dbGlobalCriticalSection::enter()
{
    acquired(pthread_mutex_lock(&section->mutex));
}

void dbGlobalCriticalSection::leave()
{
    pthread_mutex_unlock(&section->mutex);
}

bool dbGlobalCriticalSection::wait(unsigned timeoutMsec)
{
    struct timespec until;
    clock_gettime(CLOCK_MONOTONIC, &until);
    until.tv_sec += timeoutMsec / 1000;
    until.tv_nsec += long(timeoutMsec % 1000) * 1000000L;
    if (until.tv_nsec >= 1000000000L) {
        until.tv_sec += 1;
        until.tv_nsec -= 1000000000L;
    }
    int rc = pthread_cond_timedwait(&section->changed, &section->mutex, &until);
    if (rc == ETIMEDOUT) {
        return false;
    }
    acquired(rc);
    return true;
}

void dbGlobalCriticalSection::notifyAll()
{
    pthread_cond_broadcast(&section->changed);
}

bool dbGlobalCriticalSection::takeOwnerDied()
{
    bool died = ownerDied;
    ownerDied = false;
    return died;
}

int dbSharedMemory::map(int fd, size_t bytes)
{
    void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    int rc = p == MAP_FAILED ? errno : 0;
    ::close(fd);
    if (rc == 0) {
        base = p;
        size = bytes;
    }
    return rc;
}

int dbSharedMemory::create(const std::string& blockName, size_t bytes, uint32_t group, uint32_t mode)
{
    close();
    name = blockName;
    int fd = shm_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        name.clear();  // another's: never unlinked by this one
        return errno;
    }
    if (group != uint32_t(-1) && fchown(fd, uid_t(-1), gid_t(group)) != 0) {
        // a group the user is not in: the block stays in the user's own
    }
    if (fchmod(fd, mode_t(mode & 0666)) != 0 || ftruncate(fd, off_t(bytes)) != 0) {
        int rc = errno;
        ::close(fd);
        return rc;
    }
    return map(fd, bytes);
}

int dbSharedMemory::createPrivate(size_t bytes)
{
    close();
    name.clear();
    void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) {
        return errno;
    }
    base = p;
    size = bytes;
    return 0;
}

void dbSharedMemory::unlinkAll(const std::string& blockName)
{
    // Named blocks are the files of /dev/shm, named without the leading '/'.
    const std::string stem = blockName.substr(blockName.find_first_not_of('/'));
    DIR* blocks = opendir("/dev/shm");
    if (blocks == nullptr) {
        return;
    }
    while (const dirent* block = readdir(blocks)) {
        const std::string found = block->d_name;
        if (found.compare(0, stem.size(), stem) == 0 && (found.size() == stem.size() || found[stem.size()] == '-')) {
            shm_unlink(("/" + found).c_str());
        }
    }
    closedir(blocks);
}

int dbSharedMemory::open(const std::string& blockName, size_t bytes)
{
    close();
    name = blockName;
    int fd = shm_open(name.c_str(), O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) {
        return errno;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || uint64_t(st.st_size) < bytes) {
        ::close(fd);
        return EINVAL;
    }
    return map(fd, bytes);
}

void dbSharedMemory::close()
{
    if (base != nullptr) {
        munmap(base, size);
        base = nullptr;
        size = 0;
    }
}

void dbSharedMemory::unlink()
{
    if (!name.empty()) {
        shm_unlink(name.c_str());
        name.clear();
    }
}

uint64_t dbTickCount()
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return uint64_t(now.tv_sec) * 1000 + uint64_t(now.tv_nsec) / 1000000;
}

dbProcessFate dbProcessFateOf(uint32_t pid, uint32_t started)
{
    if (pid == 0 || pid > uint32_t(INT32_MAX)) {
        return dbProcessFate::cannotTell;  // no process id
    }
    const std::string dir = "/proc/" + std::to_string(pid);
    TaskStat stat;
    if (!readTaskStat(dir, stat) || (started != 0 && uint32_t(stat.started) != started)) {
        return dbProcessFate::cannotTell;
    }
    // The main thread's state is not the process's: it may have ended while
    // the other threads run on. The process ends with its last thread.
    DIR* threads = opendir((dir + "/task").c_str());
    if (threads == nullptr) {
        return dbProcessFate::cannotTell;
    }
    bool running = false;
    while (const dirent* thread = readdir(threads)) {
        if (thread->d_name[0] != '.' && !threadEnding(dir + "/task/" + thread->d_name)) {
            running = true;
            break;
        }
    }
    closedir(threads);
    return running ? dbProcessFate::running : dbProcessFate::ending;
}

uint32_t dbCurrentProcessStartTime()
{
    TaskStat stat;
    return readTaskStat("/proc/self", stat) ? uint32_t(stat.started) : 0;
}

uint32_t dbCurrentThreadId()
{
    return uint32_t(gettid());
}

uint32_t dbCurrentProcessId()
{
    return uint32_t(getpid());
}

unsigned dbProcessorCount()
{
    long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? unsigned(n) : 1;
}

dbThreadContextSlot::dbThreadContextSlot()
{
    dbAssert(pthread_key_create(&key, nullptr) == 0);
}

dbThreadContextSlot::~dbThreadContextSlot()
{
    pthread_key_delete(key);
}

void* dbThreadContextSlot::get() const
{
    return pthread_getspecific(key);
}

void dbThreadContextSlot::set(void* value)
{
    pthread_setspecific(key, value);
}
