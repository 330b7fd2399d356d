// A process killed at any point of a commit leaves a file that opens to
// exactly the old or the new committed state, with a consistent bitmap.
#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

#include "engine/support_storage.h"

using namespace storagetest;

namespace {

enum CrashPoint { BeforeFirstFlush, AfterFirstFlush, BeforeSecondFlush, AfterSwitch, InIndexCopy };

// Kills the process at one point of the commit that follows arm().
class Killer : public dbFileObserver {
public:
    explicit Killer(CrashPoint p) : point(p) {}
    void arm() { armed = true; }
    int beforeFlush(const dbFile&) override
    {
        if (armed) {
            flushes += 1;
            killAt(flushes == 1 ? BeforeFirstFlush : BeforeSecondFlush);
        }
        return 0;
    }
    void afterFlush(const dbFile&) override
    {
        if (armed) {
            killAt(flushes == 1 ? AfterFirstFlush : AfterSwitch);
        }
    }
    void reached(const dbFile&, int p) override
    {
        if (armed && p == dbPointIndexCopy) {
            killAt(InIndexCopy);
        }
    }

private:
    void killAt(CrashPoint p)
    {
        if (p == point) {
            raise(SIGKILL);
        }
    }
    CrashPoint point;
    bool armed = false;
    int flushes = 0;
};

void crashAndCheck(bool large, bool manyIds)
{
    TempDir dir;
    std::string baseline = dir.file("baseline.zrv");
    createBaseline(baseline);
    const auto oldState = committedRecords(readFile(baseline));
    const auto newState = changedState(baseline, dir.file("scratch.zrv"), large, manyIds);
    ASSERT_NE(oldState, newState);

    for (CrashPoint point : {BeforeFirstFlush, AfterFirstFlush, BeforeSecondFlush, AfterSwitch, InIndexCopy}) {
        SCOPED_TRACE(point);
        std::string path = dir.file("crash.zrv");
        writeFile(path, readFile(baseline));
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            Killer killer(point);
            dbFile::setObserver(&killer);
            dbDatabase db;
            if (db.open("crash", path.c_str())) {
                changeBaseline(db, large, manyIds);
                killer.arm();
                db.commit();
            }
            _exit(1);  // not killed: the point was never reached
        }
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "status " << status;

        RecordingDatabase db;
        ASSERT_TRUE(db.open("crash", path.c_str()));
        db.close();
        std::vector<uint8_t> bytes = readFile(path);
        EXPECT_EQ(checkFile(bytes), "");
        auto state = committedRecords(bytes);
        bool switched = point >= BeforeSecondFlush;  // `curr` is stored before the second flush
        EXPECT_TRUE(state == (switched ? newState : oldState));
    }
}

}  // namespace

TEST(Crash, KilledDuringACommit)
{
    crashAndCheck(false, false);
}

TEST(Crash, KilledDuringACommitThatGrewTheFile)
{
    crashAndCheck(true, false);
}

TEST(Crash, KilledDuringACommitThatDoubledTheIndex)
{
    crashAndCheck(false, true);
}
