// What the main-window tests share: a Qt application, a scratch folder as the
// working directory, scripted dialogs, an exit handler that unwinds with
// platform::ProgramExit instead of ending the test, a second process that
// holds the database open, and the files of the folder read whole.
#pragma once

#include "appcore/dialogs.h"
#include "app/mainlist.h"
#include "appcore/schema.h"
#include "grid/listgrid.h"
#include "platform/dialogs.h"
#include "platform/process.h"
#include "platform/startfolder.h"

#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

// Dates a file at noon of a day of March 2026: the database file so dated
// gives its archives that day.
inline void dateFile(const QString& path, int day)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(QDateTime(QDate(2026, 3, day), QTime(12, 0)), QFileDevice::FileModificationTime));
}

// The bytes of a file; empty when it cannot be read.
inline QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The files of a folder whose names match the filters (all without any),
// with their bytes, by name.
inline std::map<QString, QByteArray> filesIn(const QString& dir, const QStringList& filters = {})
{
    std::map<QString, QByteArray> bytes;
    for (const QString& name : QDir(dir).entryList(filters, QDir::Files))
        bytes[name] = fileBytes(dir + "/" + name);
    return bytes;
}

// Makes the open database's daily backup due at the next start, as on a
// later day; with a rotation of `totalBackup` generations when one is given.
inline void makeDailyBackupDue(int totalBackup = 0)
{
    dbCursor<Config> config(dbCursorForUpdate);
    ASSERT_EQ(config.select(), 1u);
    config->lastBackupDate = dbDateTime(0);
    if (totalBackup > 0)
        config->totalBackup = int1(totalBackup);
    config.update();
    ASSERT_TRUE(database.commit());
}

// Failure messages show texts as texts.
inline void PrintTo(const QString& s, std::ostream* out) { *out << '"' << s.toStdString() << '"'; }

// A child process that opens the database in the working directory and stays
// until killed. Returns its pid once the database is open, -1 when it could
// not be opened.
inline pid_t holdDatabaseInChild()
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

// Files of the folder as another user sees them when the test runs as root
// (whose rights pass over a file's mode): the effective user becomes
// "nobody" while it lives.
class AsAnotherUser {
public:
    AsAnotherUser() : root_(geteuid() == 0)
    {
        if (root_) {
            EXPECT_TRUE(setegid(65534) == 0 && seteuid(65534) == 0);
        }
    }
    ~AsAnotherUser()
    {
        if (root_) {
            EXPECT_TRUE(seteuid(0) == 0 && setegid(0) == 0);
        }
    }

private:
    bool root_;
};

// While it lives, the user's home folder is `home`, with no folders of the
// user's own naming (the documents folder is home/Documents when there is
// one), and no file has been picked in this run yet.
class UserHome {
public:
    explicit UserHome(const QString& home) : home_(qgetenv("HOME")), config_(qgetenv("XDG_CONFIG_HOME"))
    {
        qputenv("HOME", home.toUtf8());
        qputenv("XDG_CONFIG_HOME", (home + "/.config").toUtf8());
        platform::SetLastPickedFolder({});
    }
    ~UserHome()
    {
        qputenv("HOME", home_);
        qputenv("XDG_CONFIG_HOME", config_);  // empty is unset
    }
    UserHome(const UserHome&) = delete;
    UserHome& operator=(const UserHome&) = delete;

private:
    QByteArray home_, config_;
};

inline QApplication* testApplication()
{
    static int argc = 1;
    static char arg0[] = "test";
    static char* argv[] = {arg0, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return app;
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        testApplication();
        namespace fs = std::filesystem;
        // one folder per process: the database remembers the folder of its
        // first open as the program's directory (backups go there)
        dir = fs::temp_directory_path() / ("quillet-main-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        old = fs::current_path();
        fs::current_path(dir);
        platform::SetExitHandler([](int code) { throw platform::ProgramExit{code}; });
    }
    void TearDown() override
    {
        window.reset();
        database.close();
        platform::SetExitHandler(nullptr);
        SetModalRunner(nullptr);
        std::filesystem::current_path(old);
        std::filesystem::remove_all(dir);
    }

    // Starts the main window as the program does; -1 when it came up, else
    // the exit code it ended the program with.
    int start()
    {
        try {
            window = std::make_unique<TMainListForm>();
        } catch (const platform::ProgramExit& e) {
            return e.code;
        }
        window->show();
        return -1;
    }
    // Ends the run as the program's end does.
    void stop()
    {
        window.reset();
        database.close();
    }

    platform::ScriptedDialogs dialogs;
    std::unique_ptr<TMainListForm> window;
    std::filesystem::path dir, old;
};
