// A second copy of the program on the same folder is turned away; a copy that
// was killed leaves nothing behind that stops the next start.
#include "mainwindow_fixture.h"

#include <csignal>
#include <sys/wait.h>

namespace {

// A child process that opens the database and stays until killed. Returns its
// pid once the database is open.
pid_t holdDatabaseInChild()
{
    int ready[2];
    if (pipe(ready) != 0)
        return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        close(ready[0]);
        const char ok = database.open("Quillet") ? 'y' : 'n';
        if (write(ready[1], &ok, 1) != 1)
            _exit(2);
        for (;;)
            pause();
    }
    close(ready[1]);
    char answer = 0;
    if (read(ready[0], &answer, 1) != 1 || answer != 'y') {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        return -1;
    }
    close(ready[0]);
    return pid;
}

} // namespace

TEST_F(MainWindowTest, SecondInstanceIsRefusedAndAKilledOneLeavesNoTrace)
{
    // a first run stores a contact
    ASSERT_EQ(start(), -1);
    window.reset();
    {
        Customer c;
        c.id = 1;
        c.name = "Alpha";
        insert(c);
        ASSERT_TRUE(database.commit());
    }
    database.close();

    const pid_t other = holdDatabaseInChild();
    ASSERT_GT(other, 0);
    EXPECT_EQ(start(), 1);
    EXPECT_EQ(dialogs.Messages(), QStringList{"The database is still using."});

    kill(other, SIGKILL);
    waitpid(other, nullptr, 0);
    EXPECT_EQ(start(), -1);
    dbCursor<Customer> customers;
    ASSERT_EQ(customers.select(), 1u);
    EXPECT_STREQ(customers->name, "Alpha");
    database.commit();
}
