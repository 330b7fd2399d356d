// The help pages that come with the program, and F1 of every window: each
// window opens its own page through the shell, from the help folder beside
// the database when it has the page, else from the installed help folder;
// no page anywhere opens nothing; a page the desktop cannot open is said,
// also when the desktop's opener runs but finds no browser or cannot start.
// The pages themselves are well-formed, share one style sheet, link to each
// other and load nothing from outside.
#include "mainwindow_fixture.h"

#include "app/editor.h"
#include "backup/backupform.h"
#include "documents/chequeform.h"
#include "documents/emailform.h"
#include "documents/envelopeform.h"
#include "documents/reportform.h"
#include "platform/shell.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QSet>
#include <QTemporaryDir>
#include <QUrl>
#include <QXmlStreamReader>

#include <functional>
#include <map>
#include <optional>

namespace {

const QString kHelpSource = QStringLiteral(QUILLET_HELP_SOURCE);

// Asks a window's F1 action for help, after checking it is on F1.
void pressF1(QAction* help)
{
    ASSERT_EQ(help->shortcut(), QKeySequence(Qt::Key_F1));
    help->trigger();
}

// Each window of the program, made as its action makes it, and asked for help
// the way it offers it: F1, or the Help button where it has no F1.
struct HelpWindow {
    const char* page;
    std::function<void(TMainListForm&)> askForHelp;
};
const HelpWindow kWindows[] = {
    {"index.htm", [](TMainListForm& w) { pressF1(w.helpAction); }},
    {"insert.htm", [](TMainListForm& w) { TMainForm editor(&w); pressF1(editor.helpAction); }},
    {"backup.htm", [](TMainListForm& w) { TBackupForm setup(&w); setup.helpButton->click(); }},
    {"email.htm", [](TMainListForm& w) { TEmailForm mail(&w); mail.helpButton->click(); }},
    {"cheque.htm", [](TMainListForm& w) { TChequeForm cheque(&w); pressF1(cheque.helpAction); }},
    {"report.htm", [](TMainListForm& w) { TReportForm report(&w); pressF1(report.helpAction); }},
    {"envelope.htm", [](TMainListForm& w) { TEnvelopeForm envelope(&w); pressF1(envelope.helpAction); }},
};

class HelpTest : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        ASSERT_EQ(start(), -1);
    }
    void TearDown() override
    {
        platform::SetInstalledHelpFolder({});
        MainWindowTest::TearDown();
    }
};

// Where F1 finds a page, and what the user sees.
struct Situation {
    const char* name;
    bool besideDatabase;  // the database's folder has help/<page>
    bool installed;       // the installed help folder has the pages
    bool browser;         // the desktop can open a page
    // The desktop itself, with this script on the PATH as its opener
    // (xdg-open, which records what it was given); none: the shell is captured.
    const char* opener = nullptr;
};

// Openers that record each page they are given; xdg-open ends with 3 when
// it finds no program for the page.
const char kOpenerOpens[] = "#!/bin/sh\nprintf '%s\\n' \"$1\" >> \"$0.log\"\n";
const char kOpenerFindsNoBrowser[] = "#!/bin/sh\nprintf '%s\\n' \"$1\" >> \"$0.log\"\nexit 3\n";
const char kUnstartableOpener[] = "#!/nonexistent/interpreter\n";

// The pages an opener was given, in order.
QList<QUrl> pagesGiven(const QString& opener)
{
    QList<QUrl> pages;
    QFile log(opener + ".log");
    if (log.open(QIODevice::ReadOnly))
        for (const QByteArray& line : log.readAll().split('\n'))
            if (!line.isEmpty())
                pages << QUrl::fromLocalFile(QString::fromUtf8(line));
    log.remove();
    return pages;
}

}  // namespace

TEST_F(HelpTest, EveryWindowOpensItsPageFromTheDatabaseFolderElseTheInstalledOne)
{
    const QString dataHelp = QString::fromStdString(database.getDirectory()) + "/help";
    QTemporaryDir noPages;
    const Situation situations[] = {
        {"installed pages only", false, true, true},
        {"a page beside the database comes first", true, true, true},
        {"a page beside the database, nothing installed", true, false, true},
        {"no page anywhere", false, false, true},
        {"no web browser", false, true, false},
        {"the desktop's opener opens the page", false, true, true, kOpenerOpens},
        {"the desktop's opener has no browser", false, true, false, kOpenerFindsNoBrowser},
        {"the desktop's opener cannot start", false, true, false, kUnstartableOpener},
    };
    QTemporaryDir openerDir;
    const QString opener = openerDir.filePath("xdg-open");
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", openerDir.path().toLocal8Bit() + ":" + path);
    for (const Situation& s : situations) {
        platform::SetInstalledHelpFolder(s.installed ? kHelpSource : noPages.path());
        QDir(dataHelp).removeRecursively();
        QFile::remove(opener);
        if (s.opener) {
            QFile script(opener);
            ASSERT_TRUE(script.open(QIODevice::WriteOnly) && script.write(s.opener) > 0);
            script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        for (const HelpWindow& w : kWindows) {
            SCOPED_TRACE(std::string(s.name) + ": " + w.page);
            if (s.besideDatabase) {
                ASSERT_TRUE(QDir().mkpath(dataHelp));
                QFile page(dataHelp + "/" + w.page);
                ASSERT_TRUE(page.open(QIODevice::WriteOnly));
            }
            const QString expected = s.besideDatabase ? dataHelp + "/" + w.page
                                     : s.installed    ? kHelpSource + "/" + w.page
                                                      : QString();
            std::optional<platform::CapturingShell> shell;
            if (!s.opener)
                shell.emplace().result = s.browser;
            dialogs.shown.clear();
            w.askForHelp(*window);
            const QList<QUrl> launched = shell ? shell->launched : pagesGiven(opener);
            if (expected.isEmpty() || s.opener == kUnstartableOpener) {
                EXPECT_TRUE(launched.isEmpty());
            } else {
                ASSERT_EQ(launched.size(), 1);
                EXPECT_EQ(launched[0], QUrl::fromLocalFile(QDir::cleanPath(expected)));
            }
            EXPECT_EQ(dialogs.Messages(),
                      s.browser ? QStringList()
                                : QStringList{"No web browser could be started to open " + QDir::cleanPath(expected) +
                                              "."});
        }
    }
    qputenv("PATH", path);
    QDir(dataHelp).removeRecursively();
    database.commit();
}

namespace {

// What a page refers to: its links, pictures and style sheets.
struct PageRefs {
    QStringList links, pictures, styleSheets, ids;
    bool inlineStyle = false;
};

PageRefs readPage(const QString& path, QString& error)
{
    PageRefs refs;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = "cannot open";
        return refs;
    }
    QXmlStreamReader xml(&file);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const auto a = xml.attributes();
        const QStringView tag = xml.name();
        if (a.hasAttribute("id"))
            refs.ids << a.value("id").toString();
        if (a.hasAttribute("style") || tag == u"style" || tag == u"script")
            refs.inlineStyle = true;
        if (tag == u"a" && a.hasAttribute("href"))
            refs.links << a.value("href").toString();
        if (tag == u"img")
            refs.pictures << a.value("src").toString();
        if (tag == u"link")
            refs.styleSheets << a.value("href").toString();
    }
    if (xml.hasError())
        error = QString("line %1: %2").arg(xml.lineNumber()).arg(xml.errorString());
    return refs;
}

}  // namespace

TEST(HelpPages, AreWellFormedLinkEachOtherAndLoadNothingFromOutside)
{
    const QDir help(kHelpSource);
    const QStringList pages = help.entryList({"*.htm"}, QDir::Files);
    QSet<QString> windowPages;
    for (const HelpWindow& w : kWindows)
        windowPages << w.page;
    EXPECT_EQ(QSet<QString>(pages.begin(), pages.end()), windowPages) << "one page for each window, no other";

    std::map<QString, PageRefs> read;
    for (const QString& page : pages) {
        QString error;
        read[page] = readPage(help.filePath(page), error);
        EXPECT_TRUE(error.isEmpty()) << page.toStdString() << " " << error.toStdString();
    }
    for (const auto& [page, refs] : read) {
        SCOPED_TRACE(page.toStdString());
        EXPECT_EQ(refs.styleSheets, QStringList{"style.css"}) << "one shared style sheet";
        EXPECT_FALSE(refs.inlineStyle) << "no style or script of its own";
        QSet<QString> linked;
        for (const QString& target : refs.links + refs.pictures) {
            const QUrl url(target);
            EXPECT_TRUE(url.scheme().isEmpty() && url.host().isEmpty()) << target.toStdString() << " leaves the folder";
            const QString file = url.path().isEmpty() ? page : url.path();
            EXPECT_TRUE(help.exists(file) && !file.contains('/')) << target.toStdString() << " is not in the folder";
            if (url.hasFragment() && read.count(file)) {
                EXPECT_TRUE(read[file].ids.contains(url.fragment())) << target.toStdString() << " names no place";
            }
            linked << file;
        }
        for (const QString& other : pages)
            EXPECT_TRUE(linked.contains(other) || other == page) << "no link to " << other.toStdString();
        EXPECT_FALSE(refs.pictures.isEmpty()) << "no picture of the window";
    }
    EXPECT_TRUE(help.exists("style.css"));
}
