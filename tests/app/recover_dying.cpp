// A start that is killed while it names records whose keys disagree with the
// indexes: the next start names them again and makes no automatic backup,
// until the user has seen them; the start after that is silent and makes
// its daily backup again.
//
// The killed start is the program's own start in a child process (this test
// program run again, with QUILLET_DYING_START_FD set): its dialog seam sends
// the message's text down a pipe and waits; the test kills it with SIGKILL
// as soon as the text has arrived.
#include "contacts_fixture.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr const char* kChildVariable = "QUILLET_DYING_START_FD";

// The child's dialogs: a message goes down the pipe, then the process waits
// to be killed, as a start waits for the user to read it.
class MessageToPipe : public platform::ScriptedDialogs {
public:
    explicit MessageToPipe(int fd) : fd_(fd) {}
    void ShowMessage(const QString& text, platform::MessageKind, const QString&, QWidget*) override
    {
        const QByteArray bytes = text.toUtf8() + '\0';
        for (qsizetype sent = 0; sent < bytes.size();) {
            const ssize_t n = ::write(fd_, bytes.constData() + sent, std::size_t(bytes.size() - sent));
            if (n < 0 && errno != EINTR)
                _exit(2);
            sent += n > 0 ? n : 0;
        }
        sleep(120);  // killed long before, unless the test itself ended
        _exit(3);
    }

private:
    int fd_;
};

// In the child: starts the main window in the working folder and never
// returns. Its end without any message is told by the pipe's end alone.
class DyingStart : public ::testing::Environment {
public:
    void SetUp() override
    {
        const char* fd = std::getenv(kChildVariable);
        if (fd == nullptr)
            return;
        testApplication();
        MessageToPipe dialogs(std::atoi(fd));
        try {
            TMainListForm window;
        } catch (...) {
        }
        _exit(0);
    }
};
[[maybe_unused]] ::testing::Environment* const dyingStart = ::testing::AddGlobalTestEnvironment(new DyingStart);

// The first message of a start of the program in a child process, which is
// then killed; empty when the start showed none or did not come up within
// two minutes.
QString messageOfAKilledStart()
{
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0)
        return {};
    // everything the child needs is made before fork: it only execs
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    const std::string fdSetting = std::string(kChildVariable) + "=" + std::to_string(pipeEnds[1]);
    std::vector<std::string> environment{fdSetting, "QT_QPA_PLATFORM=offscreen"};
    for (char** e = environ; *e != nullptr; ++e)
        if (std::strncmp(*e, kChildVariable, std::strlen(kChildVariable)) != 0)
            environment.emplace_back(*e);
    std::vector<char*> envp;
    for (std::string& e : environment)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    // Google Test sets up its environments only when a test is to run: the
    // child is given this one, which it never reaches.
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string filter = std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name();
    char* argv[] = {const_cast<char*>(self.c_str()), filter.data(), nullptr};
    const pid_t child = fork();
    if (child == 0) {
        fcntl(pipeEnds[1], F_SETFD, 0);  // the write end stays open across exec
        execve(self.c_str(), argv, envp.data());
        _exit(127);
    }
    close(pipeEnds[1]);
    QByteArray text;
    bool whole = false;
    while (child > 0 && !whole) {
        pollfd ready{pipeEnds[0], POLLIN, 0};
        if (poll(&ready, 1, 120000) <= 0)
            break;
        char buffer[4096];
        const ssize_t n = read(pipeEnds[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        text.append(buffer, n);
        whole = text.endsWith('\0');
    }
    close(pipeEnds[0]);
    if (child > 0) {
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
    }
    return whole ? QString::fromUtf8(text.chopped(1)) : QString();
}

}  // namespace

TEST_F(ContactsTest, AStartKilledWhileItNamesChangedRecordsNamesThemAgain)
{
    std::vector<oid_t> contacts;
    for (int i = 1; i <= 30; ++i)
        contacts.push_back(addCustomer(i, ("Contact " + std::to_string(i)).c_str()));
    {
        dbCursor<Config> config(dbCursorForUpdate);  // the daily backup is due at every start
        ASSERT_EQ(config.select(), 1u);
        config->lastBackupDate = dbDateTime(0);
        config.update();
        ASSERT_TRUE(database.commit());
    }
    const int64_t id22 = int64_t(database.getPos(contacts[21])) + Customer::dbDescriptor.find("id")->dbsOffs;
    database.commit();
    window.reset();
    database.close();
    const std::map<QString, QByteArray> archives = archiveBytes();
    ASSERT_FALSE(archives.empty()) << "the first start's daily backup";
    QFile file("Quillet.zrv");
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    const uint32_t changedId = 2200;
    ASSERT_TRUE(file.seek(id22) && file.write(reinterpret_cast<const char*>(&changedId), 4) == 4);
    file.close();

    const QString warning = messageOfAKilledStart();
    ASSERT_TRUE(warning.startsWith("The database file is damaged: the stored values")) << warning.toStdString();
    EXPECT_EQ(warning.split('\n').value(1), "Contact ID 2200: Contact 22");

    dialogs.shown.clear();
    ASSERT_EQ(start(), -1);
    EXPECT_EQ(dialogs.Messages(), QStringList{warning}) << "the same warning, until it has been seen";
    EXPECT_EQ(archiveBytes(), archives) << "a changed file was archived";

    window.reset();
    database.close();
    dialogs.shown.clear();
    ASSERT_EQ(start(), -1);
    EXPECT_EQ(dialogs.Messages(), QStringList{}) << "seen: the next start is silent";
    EXPECT_NE(archiveBytes(), archives) << "and makes its daily backup";
}
