// The program as the desktop sees it: its windows carry the program's icon at
// every size the icon theme gets, and name the class and desktop entry that
// the installed entry (dist/<id>.desktop) names, so that the task bar matches
// a window to the entry and shows the icon. Started from the menu, it keeps
// its data in the user's data folder, or says in a window why it cannot.
#include "mainwindow_fixture.h"

#include "app/identity.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// The value of a key of the desktop entry; empty when it has none.
QString entryValue(const QString& entry, const QString& key)
{
    const auto m = QRegularExpression("^" + key + "=(.*)$", QRegularExpression::MultilineOption).match(entry);
    return m.hasMatch() ? m.captured(1) : QString();
}

}  // namespace

TEST_F(MainWindowTest, WindowsCarryTheIconAndNameTheDesktopEntry)
{
    PresentProgram();
    QFile file(QStringLiteral(QUILLET_DIST "/") + QGuiApplication::desktopFileName() + ".desktop");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << "no desktop entry named " << file.fileName().toStdString();
    const QString entry = QString::fromUtf8(file.readAll());
    EXPECT_EQ(entryValue(entry, "StartupWMClass"), QGuiApplication::applicationName());
    EXPECT_EQ(entryValue(entry, "Icon"), QGuiApplication::desktopFileName());

    ASSERT_EQ(start(), -1);
    QList<QSize> sizes = window->windowIcon().availableSizes();
    std::sort(sizes.begin(), sizes.end(), [](QSize a, QSize b) { return a.width() < b.width(); });
    EXPECT_EQ(sizes, (QList<QSize>{{16, 16}, {24, 24}, {32, 32}, {48, 48}, {64, 64}, {128, 128}, {256, 256}}));
}

// The folder of HOME and XDG_DATA_HOME is made for the user alone and entered;
// one that is there, readable by all (an install put the help pages in it),
// becomes the user's alone, unless it is another user's. Where there is none
// to be had, a window says why, the program ends with 1 and nothing is made,
// neither in the folder it started from nor under "/".
TEST_F(MainWindowTest, AMenuStartEntersTheDataFolderOrSaysWhyNot)
{
    QTemporaryDir scratch;
    ASSERT_TRUE(scratch.isValid());
    const QString root = scratch.path(), home = root + "/home", homeData = home + "/.local/share/quillet";
    const QString noFolder = "Quillet cannot keep its data anywhere: HOME is not set to the user's home folder (an "
                             "absolute path other than /), and XDG_DATA_HOME is not set to an absolute folder either.";
    const struct Case {
        const char* name;
        QString home, dataHome;  // empty: unset
        QString blocker;         // a file put there first
        QString folder;          // the data folder entered, or
        QString message;         // the start of what the window says
        int readableByAll = 0;   // the folder is there with mode 755 first: 1 the user's, 2 another user's
    } cases[] = {
        {"HOME alone", home, {}, {}, homeData, {}},
        {"an absolute XDG_DATA_HOME", home, root + "/data", {}, root + "/data/quillet", {}},
        {"a relative XDG_DATA_HOME", home, "data", {}, homeData, {}},
        {"the folder is there", home, {}, {}, homeData, {}},
        {"an install made the folder", home, {}, {}, homeData, {}, 1},
        {"another user's folder", home, {}, {}, homeData, {}, 2},
        {"no HOME", {}, {}, {}, {}, noFolder},
        {"a relative HOME", "home", "data", {}, {}, noFolder},
        {"HOME and XDG_DATA_HOME are /", "/", "/", {}, {}, noFolder},
        {"a file in the folder's place", home, {}, homeData, {}, "Quillet cannot keep its data in " + homeData +
                                                                     ": Not a directory."},
        {"a file in a parent's place", home, {}, home + "/.local", {}, "Quillet cannot keep its data in " + homeData +
                                                                          ": Not a directory."},
        {"a parent that cannot be written", home, "/sys/kernel", {}, {},
         "Quillet cannot keep its data in /sys/kernel/quillet: "},
    };
    const QString started = QDir::currentPath();
    const QByteArray savedHome = qgetenv("HOME"), savedDataHome = qgetenv("XDG_DATA_HOME");
    auto setOrUnset = [](const char* name, const QString& value) {
        value.isEmpty() ? qunsetenv(name) : qputenv(name, value.toLocal8Bit());
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        setOrUnset("HOME", c.home);
        setOrUnset("XDG_DATA_HOME", c.dataHome);
        if (!c.blocker.isEmpty()) {
            QDir(root).removeRecursively();
            ASSERT_TRUE(QDir().mkpath(QFileInfo(c.blocker).path()));
            QFile file(c.blocker);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        }
        if (c.readableByAll) {
            const QByteArray folder = QFile::encodeName(c.folder);
            ASSERT_TRUE(QDir().mkpath(c.folder));
            ASSERT_EQ(::chmod(folder.constData(), 0755), 0);
            ASSERT_EQ(::chown(folder.constData(), c.readableByAll == 1 ? ::geteuid() : 65534, ::getegid()), 0)
                << "the tests run as root";
        }
        dialogs.shown.clear();
        int exitCode = -1;
        try {
            EnterMenuDataFolder();
        } catch (const platform::ProgramExit& e) {
            exitCode = e.code;
        }
        if (c.folder.isEmpty()) {
            EXPECT_EQ(exitCode, 1);
            ASSERT_EQ(dialogs.Messages().size(), 1);
            EXPECT_TRUE(dialogs.Messages()[0].startsWith(c.message)) << dialogs.Messages()[0].toStdString();
            EXPECT_EQ(dialogs.shown[0].messageKind, platform::MessageKind::Error);
            EXPECT_EQ(QDir::currentPath(), started);
            EXPECT_TRUE(QDir(started).isEmpty());
            EXPECT_FALSE(QFileInfo::exists("/.local/share/quillet") || QFileInfo::exists("/quillet"));
        } else {
            EXPECT_EQ(exitCode, -1);
            EXPECT_TRUE(dialogs.Messages().isEmpty());
            EXPECT_EQ(QDir::currentPath(), c.folder);
            const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                              QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
            EXPECT_EQ(QFileInfo(c.folder).permissions() & others,
                      c.readableByAll == 2 ? QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther
                                           : QFile::Permissions())
                << "the user's alone";
            ASSERT_TRUE(QDir::setCurrent(started));
        }
    }
    qputenv("HOME", savedHome);
    savedDataHome.isNull() ? qunsetenv("XDG_DATA_HOME") : qputenv("XDG_DATA_HOME", savedDataHome);
}
