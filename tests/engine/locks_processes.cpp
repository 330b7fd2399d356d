// Locks, user counts and recovery between processes sharing one file.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <memory>
#include <sched.h>
#include <grp.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>


#include "engine/support_storage.h"
#include "engine/cursor.h"

using namespace storagetest;

namespace {

struct Probe {
    std::int32_t n;
    DB_FIELDS(Probe, DB_FIELD(n))
};

using Clock = std::chrono::steady_clock;

long long millisSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// A forked helper process and two pipes to step it.
class Child {
public:
    template <typename Body>
    explicit Child(Body body)
    {
        int down[2], up[2];
        if (pipe(down) != 0 || pipe(up) != 0) {
            std::abort();
        }
        pid = fork();
        if (pid == 0) {
            ::close(down[1]);
            ::close(up[0]);
            toParent = up[1];
            fromParent = down[0];
            body(*this);
            _exit(0);
        }
        ::close(down[0]);
        ::close(up[1]);
        toChild = down[1];
        fromChild = up[0];
    }
    ~Child()
    {
        if (pid > 0 && !reaped) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    // In the child.
    void tell(char c) { (void)!write(toParent, &c, 1); }
    char hear()
    {
        char c = 0;
        return read(fromParent, &c, 1) == 1 ? c : 0;
    }
    // In the parent.
    void say(char c) { (void)!write(toChild, &c, 1); }
    char listen()
    {
        char c = 0;
        return read(fromChild, &c, 1) == 1 ? c : 0;
    }
    int stop(int signal)
    {
        kill(pid, signal);
        return finish();
    }
    int finish()
    {
        int status = 0;
        waitpid(pid, &status, 0);
        reaped = true;
        return status;
    }
    pid_t pid = -1;

private:
    bool reaped = false;
    int toParent = -1, fromParent = -1, toChild = -1, fromChild = -1;
};

// Whether process pid's main thread has ended (its state is Z, zombie).
bool mainThreadEnded(pid_t pid)
{
    const std::vector<uint8_t> stat = readFile("/proc/" + std::to_string(pid) + "/stat");
    return std::string(stat.begin(), stat.end()).find(") Z ") != std::string::npos;
}

size_t rowCount(dbDatabase& db)
{
    size_t n = 0;
    for (oid_t oid = dbFirstUserId; oid < db.getIndexSize(); oid++) {
        n += db.getRow(oid) != nullptr;
    }
    return n;
}

// Opens the file and commits two records.
void openWithTwoRows(dbDatabase& db, const std::string& path)
{
    db.open("Quillet", path.c_str());
    storeRecord(db, 100, 1);
    storeRecord(db, 100, 2);
    db.commit();
}

// Three records stored and not committed (the write lock stays held).
void storePendingRows(dbDatabase& db)
{
    for (uint32_t i = 0; i < 3; i++) {
        storeRecord(db, 100, 10 + i);
    }
}

// Ends the process at its n-th flush once armed, just after it.
struct KillAtFlush : dbFileObserver {
    explicit KillAtFlush(int n) : at(n) {}
    void afterFlush(const dbFile&) override
    {
        if (armed && ++flushes == at) {
            raise(SIGKILL);
        }
    }
    bool armed = false;
    int at;
    int flushes = 0;
};

// The kernel may let go of a killed process's marks on the file only a
// moment after the process is gone. A process it forked, which keeps its
// files open, stands in for that moment: it lets go when this process waits
// for processes that are leaving (or at the end).
class MarksKept : public dbFileObserver {
public:
    MarksKept()
    {
        if (pipe(letGo) != 0) {
            std::abort();
        }
    }
    ~MarksKept()
    {
        dbFile::setObserver(nullptr);
        (void)!write(letGo[1], "g", 1);
        ::close(letGo[0]);
        ::close(letGo[1]);
    }
    // In the process that is to be killed.
    void keep()
    {
        if (fork() == 0) {
            char c;
            (void)!read(letGo[0], &c, 1);
            _exit(0);
        }
    }
    // In this process, before it opens.
    void letGoOnWait() { dbFile::setObserver(this); }
    void reached(const dbFile&, int point) override
    {
        if (point == dbPointUsersLeaving) {
            (void)!write(letGo[1], "g", 1);
        }
    }

private:
    int letGo[2];
};

}  // namespace

TEST(LocksProcesses, KilledWriterLeavesTheLastCommitToTheNextFirstProcess)
{
    for (bool inCommit : {false, true}) {
        SCOPED_TRACE(inCommit ? "killed between the switch and the index copy" : "killed with uncommitted rows");
        TempDir dir;
        std::string path = dir.file("Quillet.zrv");
        Child a([&](Child& self) {
            KillAtFlush killer(2);  // after the switch
            dbFile::setObserver(&killer);
            dbDatabase db;
            openWithTwoRows(db, path);
            self.tell('r');
            self.hear();
            storePendingRows(db);
            if (inCommit) {
                killer.armed = true;
                db.commit();
            }
            self.tell('w');
            self.hear();
        });
        ASSERT_EQ(a.listen(), 'r');
        {
            RecordingDatabase b;
            ASSERT_TRUE(b.open("Quillet", path.c_str()));
            EXPECT_EQ(b.getNumberOfUsers(), 2u);
            a.say('g');
            if (!inCommit) {
                ASSERT_EQ(a.listen(), 'w');
                a.stop(SIGKILL);
            } else {
                int status = a.finish();
                ASSERT_TRUE(WIFSIGNALED(status)) << status;
            }
            b.close();
        }
        EXPECT_EQ(word(readFile(path), 8), 1u) << "the file stays dirty";
        RecordingDatabase c;
        ASSERT_TRUE(c.open("Quillet", path.c_str()));
        EXPECT_EQ(c.getNumberOfUsers(), 1u);
        ASSERT_TRUE(c.beginTransaction(dbDatabase::dbSharedLock));
        EXPECT_EQ(rowCount(c), inCommit ? 5u : 2u);
        c.close();
        EXPECT_EQ(checkFile(readFile(path)), "");
    }
}

// A writer killed while another process stays attached and idle leaves its
// share and its changes to the next open, which sweeps them out (its
// changes discarded) and counts the live process alone, also when the
// killed writer's marks outlast it a moment.
TEST(LocksProcesses, AnOpenBesideALiveUserSweepsOutAKilledWriter)
{
    for (const bool marksKept : {false, true}) {
        SCOPED_TRACE(marksKept ? "marks kept" : "marks gone");
        TempDir dir;
        std::string path = dir.file("Quillet.zrv");
        MarksKept marks;
        Child writer([&](Child& self) {
            dbDatabase db;
            openWithTwoRows(db, path);
            if (marksKept) {
                marks.keep();
            }
            storePendingRows(db);
            self.tell('w');
            self.hear();
        });
        ASSERT_EQ(writer.listen(), 'w');
        Child idle([&](Child& self) {
            dbDatabase db;
            self.tell(db.open("Quillet", path.c_str()) ? 'o' : 'f');
            self.hear();
        });
        ASSERT_EQ(idle.listen(), 'o');
        writer.stop(SIGKILL);
        marks.letGoOnWait();
        RecordingDatabase db;
        ASSERT_TRUE(db.open("Quillet", path.c_str()));
        EXPECT_EQ(db.getNumberOfUsers(), 2u);
        ASSERT_TRUE(db.beginTransaction(dbDatabase::dbSharedLock));
        EXPECT_EQ(rowCount(db), 2u) << "the killed writer's rows are not seen";
        db.close();
        idle.stop(SIGKILL);
    }
}

TEST(LocksProcesses, TwoFoldersDoNotShareUsers)
{
    TempDir one, two;
    Child a([&](Child& self) {
        dbDatabase db;
        db.open("Quillet", one.file("Quillet.zrv").c_str());
        self.tell(char('0' + db.getNumberOfUsers()));
        self.hear();
        db.close();
    });
    RecordingDatabase db;
    ASSERT_TRUE(db.open("Quillet", two.file("Quillet.zrv").c_str()));
    EXPECT_EQ(a.listen(), '1');
    EXPECT_EQ(db.getNumberOfUsers(), 1u);
    a.say('q');
    EXPECT_TRUE(WIFEXITED(a.finish()));
    db.close();
}

TEST(LocksProcesses, SecondProcessOpensAtOnceWhileTheLockIsHeld)
{
    for (auto lock : {dbDatabase::dbExclusiveLock, dbDatabase::dbSharedLock}) {
        SCOPED_TRACE(lock);
        TempDir dir;
        std::string path = dir.file("Quillet.zrv");
        Child a([&](Child& self) {
            dbDatabase db;
            openWithTwoRows(db, path);
            db.beginTransaction(lock);
            self.tell('l');
            self.hear();
        });
        ASSERT_EQ(a.listen(), 'l');
        RecordingDatabase b;
        // the holder keeps its lock until it hears from this process: an open
        // that waited for it would never return
        ASSERT_TRUE(b.open("Quillet", path.c_str()));
        EXPECT_EQ(b.getNumberOfUsers(), 2u);
        EXPECT_FALSE(b.beginTransaction(dbDatabase::dbSharedLock)) << "no transaction on such a database";
        EXPECT_EQ(b.allocateRecord(64), 0u);
        b.close();
        a.stop(SIGKILL);
    }
}

TEST(LocksProcesses, WaiterGetsTheLockOfAKilledHolder)
{
    for (auto lock : {dbDatabase::dbExclusiveLock, dbDatabase::dbSharedLock}) {
        SCOPED_TRACE(lock);
        TempDir dir;
        std::string path = dir.file("Quillet.zrv");
        Child a([&](Child& self) {
            dbDatabase db;
            openWithTwoRows(db, path);
            self.tell('c');
            self.hear();
            db.beginTransaction(lock);
            if (lock == dbDatabase::dbExclusiveLock) {
                storeRecord(db, 100, 99);  // never committed
            }
            self.tell('l');
            self.hear();
        });
        ASSERT_EQ(a.listen(), 'c');
        RecordingDatabase b;
        ASSERT_TRUE(b.open("Quillet", path.c_str()));
        a.say('g');
        ASSERT_EQ(a.listen(), 'l');
        std::thread killer([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            a.stop(SIGKILL);
        });
        // the lock wait never runs out: only the holder's death can end it
        EXPECT_TRUE(b.beginTransaction(dbDatabase::dbExclusiveLock));
        killer.join();
        EXPECT_EQ(rowCount(b), 2u);
        EXPECT_NE(storeRecord(b, 64, 5), 0u);
        EXPECT_TRUE(b.commit());
        EXPECT_EQ(b.getNumberOfUsers(), 1u);
        b.close();
        std::vector<uint8_t> bytes = readFile(path);
        EXPECT_EQ(committedRecords(bytes).size(), 3u);
    }
}

TEST(LocksProcesses, StoppedWriterLosesItsLockAfterTheTimeOut)
{
    TempDir dir;
    std::string path = dir.file("Quillet.zrv");
    std::string errors = dir.file("errors.txt");
    Child a([&](Child& self) {
        int fd = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fd, 2);
        dbDatabase db;
        openWithTwoRows(db, path);
        self.tell('c');
        self.hear();
        storePendingRows(db);  // holds the write lock, nothing committed
        self.tell('w');
        self.hear();
        storeRecord(db, 100, 50);  // the next engine call after the revocation
        db.commit();
        self.tell('x');
    });
    ASSERT_EQ(a.listen(), 'c');
    RecordingDatabase b;
    ASSERT_TRUE(b.open("Quillet", path.c_str(), 300));  // lock wait 300 ms
    a.say('g');
    ASSERT_EQ(a.listen(), 'w');
    kill(a.pid, SIGSTOP);
    auto start = Clock::now();
    ASSERT_TRUE(b.beginTransaction(dbDatabase::dbSharedLock));
    EXPECT_GE(millisSince(start), 250);
    EXPECT_EQ(rowCount(b), 2u) << "the stopped writer's rows are not seen";
    b.commit();
    a.say('g');
    kill(a.pid, SIGCONT);
    int status = a.finish();
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 3);
    std::vector<uint8_t> text = readFile(errors);
    EXPECT_EQ(std::string(text.begin(), text.end()),
              "Lock is revoked by some other client\nAbnormal program termination\n");
    b.close();
    std::vector<uint8_t> bytes = readFile(path);
    EXPECT_EQ(committedRecords(bytes).size(), 2u);
    RecordingDatabase c;
    ASSERT_TRUE(c.open("Quillet", path.c_str()));
    ASSERT_TRUE(c.beginTransaction(dbDatabase::dbSharedLock));
    EXPECT_EQ(rowCount(c), 2u);
    c.close();
    EXPECT_EQ(checkFile(readFile(path)), "");
}

TEST(LocksProcesses, GrowthByAnotherProcessIsMappedHere)
{
    TempDir dir;
    std::string path = dir.file("Quillet.zrv");
    Child a([&](Child& self) {
        dbDatabase db;
        openWithTwoRows(db, path);
        self.tell('o');
        self.hear();
        oid_t oid = storeRecord(db, 3 * 1048576, 7);  // the file grows
        db.commit();
        self.tell(oid != 0 ? 'g' : 'f');
        self.hear();
        db.close();
    });
    ASSERT_EQ(a.listen(), 'o');
    RecordingDatabase b;
    ASSERT_TRUE(b.open("Quillet", path.c_str()));
    uint64_t before = b.getFileSize();
    a.say('c');
    ASSERT_EQ(a.listen(), 'g');
    ASSERT_TRUE(b.beginTransaction(dbDatabase::dbSharedLock));
    EXPECT_GT(b.getFileSize(), before);
    EXPECT_EQ(readRecord(b, 8196), recordImage(3 * 1048576, 7));
    b.commit();
    // And this process's own growth is seen by the other one after it.
    EXPECT_NE(storeRecord(b, 5 * 1048576, 8), 0u);
    EXPECT_TRUE(b.commit());
    a.say('q');
    EXPECT_TRUE(WIFEXITED(a.finish()));
    b.close();
    EXPECT_EQ(checkFile(readFile(path)), "");
    EXPECT_EQ(committedRecords(readFile(path)).size(), 4u);
}

// The first process holds the lock, uncommitted changes in hand, and is
// killed: just before the second opens, or between the second's open and its
// count of users (that open could not load the tables then), or as it held
// the file open or as its close committed, reaped before the second opens but
// its marks kept a moment longer. A process that is being killed, or has
// gone, may hold its marks on the file for a moment; the second never counts
// it, goes on alone with the tables loaded and the first's commits intact,
// and never ends through an assertion. Each order runs many times, as the
// moment the killed process is gone varies.
TEST(LocksProcesses, AProcessBeingKilledIsNeverCountedAsAUser)
{
    // The table exists only for this test (other tests count raw records).
    dbTableDescriptor probe("Probe", nullptr, sizeof(Probe), alignof(Probe), &Probe::dbDescribeComponents);
    auto add = [&](dbDatabase& db, std::int32_t n) {
        Probe p{n};
        return db.insertRecord(&probe, nullptr, &p);
    };
    enum Moment { beforeOpen, afterOpen, reapedWhileOpen, reapedWhileClosing };
    const char* const names[] = {"before the open", "after the open", "reaped, killed while open",
                                 "reaped, killed while closing"};
    for (const Moment moment : {beforeOpen, afterOpen, reapedWhileOpen, reapedWhileClosing}) {
        const bool reaped = moment == reapedWhileOpen || moment == reapedWhileClosing;
        for (int round = 0; round < 20; round++) {
            SCOPED_TRACE(std::string(names[moment]) + ", round " + std::to_string(round));
            TempDir dir;
            std::string path = dir.file("Quillet.zrv");
            MarksKept marks;
            Child first([&](Child& self) {
                KillAtFlush killer(1);  // before the switch: the last row stays uncommitted
                dbFile::setObserver(&killer);
                dbDatabase db;
                db.open("Quillet", path.c_str());
                add(db, 1);
                add(db, 2);
                db.commit();
                if (reaped) {
                    marks.keep();
                }
                add(db, 3);  // left uncommitted, the lock held
                self.tell('l');
                self.hear();
                killer.armed = true;
                db.close();
            });
            ASSERT_EQ(first.listen(), 'l');
            if (moment == beforeOpen) {
                kill(first.pid, SIGKILL);  // not waited for
            } else if (moment == reapedWhileOpen) {
                first.stop(SIGKILL);
            } else if (moment == reapedWhileClosing) {
                first.say('c');
                EXPECT_TRUE(WIFSIGNALED(first.finish()));
            }
            marks.letGoOnWait();
            RecordingDatabase second;
            ASSERT_TRUE(second.open("Quillet", path.c_str()));
            if (moment == afterOpen) {
                kill(first.pid, SIGKILL);
            }
            ASSERT_EQ(second.getNumberOfUsers(), 1u);
            Probe row{};
            dbAnyCursor rows(probe, dbCursorViewOnly, reinterpret_cast<byte*>(&row));
            size_t n = 0;
            for (bool on = second.select(&rows) && rows.gotoFirst(); on; on = rows.gotoNext()) {
                n++;
            }
            EXPECT_EQ(n, 2u);
            EXPECT_TRUE(add(second, 4));
            EXPECT_TRUE(second.commit());
            second.close();
            if (!reaped) {
                EXPECT_TRUE(WIFSIGNALED(first.finish()));
            }
            EXPECT_EQ(checkFile(readFile(path)), "");
        }
    }
}

// A process whose main thread has ended while another thread keeps the
// database open is a user: an open beside it counts it at once, and neither
// that open nor another at the same time waits for the process to end.
TEST(LocksProcesses, AProcessWhoseMainThreadEndedIsAUserAtOnce)
{
    TempDir dir;
    std::string path = dir.file("Quillet.zrv");
    Child user([&](Child& self) {
        std::thread([&] {
            dbDatabase db;
            self.tell(db.open("Quillet", path.c_str()) ? 'o' : 'f');
            self.hear();
        }).detach();
        // The main thread ends alone, as through pthread_exit, but without
        // unwinding the test's frames (which catch the unwinding).
        syscall(SYS_exit, 0);
    });
    ASSERT_EQ(user.listen(), 'o');
    while (!mainThreadEnded(user.pid)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    constexpr long long atOnce = 5000;  // an ending process is waited for twice as long
    Child other([&](Child& self) {
        self.hear();
        const Clock::time_point start = Clock::now();
        dbDatabase db;
        const bool counted = db.open("Quillet", path.c_str()) && db.getNumberOfUsers() >= 2;
        self.tell(!counted ? 'n' : millisSince(start) < atOnce ? 'y' : 'w');
        self.hear();
    });
    other.say('g');
    const Clock::time_point start = Clock::now();
    RecordingDatabase db;
    ASSERT_TRUE(db.open("Quillet", path.c_str()));
    EXPECT_GE(db.getNumberOfUsers(), 2u);
    EXPECT_LT(millisSince(start), atOnce);
    EXPECT_EQ(other.listen(), 'y') << "n: not counted, w: waited";
    EXPECT_EQ(db.getNumberOfUsers(), 3u);
    db.close();
}

// A user of the database in another PID namespace (a sandbox that shares the
// folder and the shared memory, with a /proc of its own), and an open on the
// other side: the user's id names no process there, or another one. It is
// counted at once by its mark, whichever side the user is on, instead of
// being waited for as if it were leaving.
TEST(LocksProcesses, AUserInAnotherPidNamespaceIsCountedAtOnce)
{
    constexpr long long atOnce = 5000;  // a leaving process is waited for twice as long
    for (const bool userInside : {true, false}) {
        SCOPED_TRACE(userInside ? "the user in a PID namespace of its own" : "the open in a PID namespace of its own");
        TempDir dir;
        std::string path = dir.file("Quillet.zrv");
        // 'y': the other user counted at once; 'n': not counted; 'w': waited for
        auto openAndCount = [&](dbDatabase& db) {
            const Clock::time_point start = Clock::now();
            const bool counted = db.open("Quillet", path.c_str()) && db.getNumberOfUsers() == 2;
            return !counted ? 'n' : millisSince(start) < atOnce ? 'y' : 'w';
        };
        RecordingDatabase here;
        if (!userInside) {
            ASSERT_TRUE(here.open("Quillet", path.c_str()));
        }
        Child other([&](Child& self) {
            if (unshare(CLONE_NEWPID | CLONE_NEWNS) != 0
                || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
                self.tell('s');
                return;
            }
            if (fork() == 0) {  // process 1 of the new namespace
                dbDatabase db;
                if (mount("proc", "/proc", "proc", MS_NOSUID | MS_NODEV | MS_NOEXEC, nullptr) != 0) {
                    self.tell('s');
                } else {
                    self.tell(!userInside ? openAndCount(db) : db.open("Quillet", path.c_str()) ? 'o' : 'f');
                }
                self.hear();
                _exit(0);
            }
            wait(nullptr);
        });
        const char answer = other.listen();
        if (answer == 's') {
            GTEST_SKIP() << "a PID namespace with a /proc of its own cannot be made here (it needs root)";
        }
        if (userInside) {
            ASSERT_EQ(answer, 'o');
            EXPECT_EQ(openAndCount(here), 'y');
        } else {
            EXPECT_EQ(answer, 'y');
        }
        other.say('g');
        EXPECT_EQ(other.finish(), 0);
        here.close();
    }
}

// Whether a run counts another as a user when the two cannot share a
// monitor, and is never kept out by one left behind: the other in a mount
// namespace with a /dev/shm of its own, or another OS user, each beside the
// monitor that a run of the first user left when it was killed (while open,
// or in its close as it marked the file clean, its count of users already
// taken down). The other opens first, and is alone; then a run of the first
// user: each counts two. Root alone may make either; elsewhere the test is
// skipped.
TEST(LocksProcesses, AMonitorLeftBehindOrOutOfReachNeverDecidesWhoIsAlone)
{
    if (geteuid() != 0) {
        GTEST_SKIP() << "another OS user and a /dev/shm of its own need the test to run as root";
    }
    constexpr uid_t firstUser = 50011, otherUser = 50012;
    auto become = [](uid_t uid) { return setgroups(0, nullptr) == 0 && setgid(uid) == 0 && setuid(uid) == 0; };
    for (const bool ownShm : {true, false}) {
        for (const bool killedClosing : {true, false}) {
            SCOPED_TRACE(std::string(ownShm ? "a /dev/shm of its own" : "another user") +
                         (killedClosing ? ", killed while closing" : ", killed while open"));
            TempDir dir;
            ASSERT_EQ(chmod(dir.path.c_str(), 0777), 0);
            const std::string path = dir.file("Quillet.zrv");
            Child killed([&](Child& self) {
                KillAtFlush killer(1);
                dbFile::setObserver(&killer);
                dbDatabase db;
                if (!become(firstUser)) {
                    return;
                }
                openWithTwoRows(db, path);
                storeRecord(db, 100, 3);
                self.tell('o');
                self.hear();
                killer.armed = true;
                db.close();
            });
            ASSERT_EQ(killed.listen(), 'o');
            ASSERT_EQ(chmod(path.c_str(), 0666), 0);
            if (killedClosing) {
                killed.say('c');
                ASSERT_TRUE(WIFSIGNALED(killed.finish()));
            } else {
                killed.stop(SIGKILL);
            }
            // 'y': counted as it should be; 'n': not; 's': no namespace here
            Child other([&](Child& self) {
                if (ownShm && (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
                               || mount("tmpfs", "/dev/shm", "tmpfs", 0, "mode=1777") != 0)) {
                    self.tell('s');
                    return;
                }
                dbDatabase db;
                const bool alone = become(ownShm ? firstUser : otherUser) && db.open("Quillet", path.c_str())
                    && db.getNumberOfUsers() == 1;
                self.tell(alone ? 'y' : 'n');
                self.hear();
                self.tell(db.isOpen() && db.getNumberOfUsers() == 2 ? 'y' : 'n');
                self.hear();
            });
            const char alone = other.listen();
            if (alone == 's') {
                GTEST_SKIP() << "a mount namespace with a /dev/shm of its own cannot be made here";
            }
            EXPECT_EQ(alone, 'y') << "kept out by what a killed run left";
            Child host([&](Child& self) {
                dbDatabase db;
                self.tell(become(firstUser) && db.open("Quillet", path.c_str()) && db.getNumberOfUsers() == 2 ? 'y' : 'n');
                self.hear();
            });
            EXPECT_EQ(host.listen(), 'y') << "the host's run is not counted as the second";
            other.say('g');
            EXPECT_EQ(other.listen(), 'y') << "the other is not counted as the second";
            other.say('g');
            host.say('g');
            EXPECT_EQ(other.finish(), 0);
            EXPECT_EQ(host.finish(), 0);
        }
    }
}
