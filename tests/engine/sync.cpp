// The monitor's critical section and shared memory between processes.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

#include "engine/sync.h"

namespace {

struct Block {
    dbSharedSection section;
    int counter;
};

// One name per test process (children use their parent's).
const std::string& blockName()
{
    static const std::string name = "/quillet-synctest-" + std::to_string(getpid());
    return name;
}

// A fresh shared block with an initialised section.
class SharedSection : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(memory.create(blockName(), sizeof(Block)), 0);
        block = static_cast<Block*>(memory.address());
        ASSERT_TRUE(section.create(&block->section));
    }
    void TearDown() override { memory.unlink(); }
    dbSharedMemory memory;
    Block* block = nullptr;
    dbGlobalCriticalSection section;
};

}  // namespace

TEST(Sync, SharedMemoryIsSeenByAnotherProcessAndGoneAfterUnlink)
{
    dbSharedMemory missing;
    EXPECT_EQ(missing.open(blockName(), sizeof(Block)), ENOENT);

    dbSharedMemory memory;
    ASSERT_EQ(memory.create(blockName(), sizeof(Block)), 0);
    auto* block = static_cast<Block*>(memory.address());
    EXPECT_EQ(block->counter, 0) << "a new block is zero-filled";
    pid_t child = fork();
    if (child == 0) {
        dbSharedMemory other;
        if (other.open(blockName(), sizeof(Block)) != 0) {
            _exit(1);
        }
        static_cast<Block*>(other.address())->counter = 42;
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(block->counter, 42);
    memory.unlink();
    dbSharedMemory again;
    EXPECT_EQ(again.open(blockName(), sizeof(Block)), ENOENT);
}

TEST_F(SharedSection, HeldByADeadProcessIsTakenOver)
{
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t child = fork();
    if (child == 0) {
        dbGlobalCriticalSection mine;
        mine.open(&block->section);
        mine.enter();
        block->counter = 1;
        (void)!write(ready[1], "x", 1);
        pause();  // killed while inside
        _exit(0);
    }
    char c;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);

    section.enter();  // does not hang
    EXPECT_TRUE(section.takeOwnerDied());
    EXPECT_FALSE(section.takeOwnerDied()) << "reported once";
    EXPECT_EQ(block->counter, 1);
    section.leave();
    section.enter();
    EXPECT_FALSE(section.takeOwnerDied());
    // A wait that nobody ends times out.
    EXPECT_FALSE(section.wait(50));
    section.leave();
}

TEST_F(SharedSection, WaiterIsWokenByAnotherProcess)
{    pid_t child = fork();
    if (child == 0) {
        dbGlobalCriticalSection mine;
        mine.open(&block->section);
        usleep(100000);
        mine.enter();
        block->counter = 7;
        mine.notifyAll();
        mine.leave();
        _exit(0);
    }
    section.enter();
    // woken by the other process's notice, never by the end of the wait: a
    // lost notice fails the wait, however busy the machine
    while (block->counter != 7) {
        ASSERT_TRUE(section.wait(120000));
    }
    section.leave();
    waitpid(child, nullptr, 0);
}
