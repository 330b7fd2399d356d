// The dialog seam, the error box of the application object and the shell seam.
#include "accessible_events.h"
#include "platform/accessibility.h"
#include "platform/application.h"
#include "platform/desktopfocus.h"
#include "platform/dialogs.h"
#include "platform/shell.h"
#include "platform/stringgrid.h"
#include "plain_label.h"

#include <QAccessible>
#include <QDir>
#include <QFile>
#include <QFontDialog>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QFileDialog>
#include <QTimer>
#include <QWindow>
#include <gtest/gtest.h>
#include <functional>
#include <optional>
#include <stdexcept>

using namespace platform;

namespace {

// Hands every event the application delivers to `look` while it lives.
class EventSpy : public QObject {
public:
    explicit EventSpy(std::function<void(QObject*, QEvent*)> look) : look_(std::move(look))
    {
        qApp->installEventFilter(this);
    }
    bool eventFilter(QObject* o, QEvent* e) override
    {
        look_(o, e);
        return false;
    }

private:
    std::function<void(QObject*, QEvent*)> look_;
};

int visibleTopLevelWindows()
{
    int n = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible()) ++n;
    return n;
}

}  // namespace

TEST(Dialogs, ScriptedAnswersAndCapturedTexts)
{
    ScriptedDialogs script;
    script.AnswerQuestion(true);
    script.AnswerText(QString("Friends"));
    script.AnswerText(std::nullopt);
    script.AnswerFile("/tmp/list.xlsx");

    EXPECT_TRUE(AskQuestion("Exit the system?"));
    EXPECT_FALSE(AskQuestion("Delete the customer?"));  // nothing queued: No
    EXPECT_EQ(script.unscripted, 1);
    ShowMessage("Please use the mouse to select the customer first.");

    QString text = "old";
    EXPECT_TRUE(AskText("Category name", text));
    EXPECT_EQ(text, "Friends");
    EXPECT_FALSE(AskText("Category name", text));
    EXPECT_EQ(text, "Friends");  // a cancelled input leaves the text alone

    FileRequest save;
    save.mode = FileRequest::Save;
    save.caption = "Export";
    save.defaultSuffix = "xlsx";
    EXPECT_EQ(PickFile(save), "/tmp/list.xlsx");
    EXPECT_EQ(PickFile(save), "");
    ASSERT_EQ(script.fileRequests.size(), 2u);
    EXPECT_EQ(script.fileRequests[0].defaultSuffix, "xlsx");

    FontChoice font{QFont("Liberation Mono", 12), Qt::blue};
    script.AnswerFont(FontChoice{QFont("Liberation Serif", 20), Qt::red});
    script.AnswerFont(std::nullopt);
    EXPECT_TRUE(PickFont(font));
    EXPECT_EQ(font.font.family(), "Liberation Serif");
    EXPECT_EQ(font.color, QColor(Qt::red));
    EXPECT_FALSE(PickFont(font));  // cancelled: the choice stays
    EXPECT_EQ(font.font.family(), "Liberation Serif");
    ASSERT_EQ(script.fontRequests.size(), 2u);
    EXPECT_EQ(script.fontRequests[0].font.family(), "Liberation Mono");
    EXPECT_EQ(script.fontRequests[0].color, QColor(Qt::blue));

    EXPECT_EQ(script.Questions(), QStringList({"Exit the system?", "Delete the customer?"}));
    EXPECT_EQ(script.Messages(), QStringList({"Please use the mouse to select the customer first."}));
    EXPECT_EQ(script.shown.front().caption, ProgramTitle());
    EXPECT_EQ(visibleTopLevelWindows(), 0);
}

TEST(Dialogs, ScriptRestoresThePreviousService)
{
    DialogService* plain = &Dialogs();
    {
        ScriptedDialogs outer;
        {
            ScriptedDialogs inner;
            ShowMessage("to inner");
            EXPECT_EQ(inner.Messages().size(), 1);
            EXPECT_TRUE(outer.Messages().isEmpty());
        }
        ShowMessage("to outer");
        EXPECT_EQ(outer.Messages(), QStringList{"to outer"});
    }
    EXPECT_EQ(&Dialogs(), plain);
}

TEST(Dialogs, ExceptionInAHandlerReachesTheErrorBoxAndTheProgramGoesOn)
{
    ScriptedDialogs script;
    auto* app = qobject_cast<Application*>(QCoreApplication::instance());
    ASSERT_NE(app, nullptr);
    const int caughtBefore = app->CaughtExceptions();

    QWidget window;
    auto* failing = new QPushButton("Fail", &window);
    auto* working = new QPushButton("Work", &window);
    working->move(0, 40);
    int worked = 0;
    QObject::connect(failing, &QPushButton::clicked, [] { throw std::runtime_error("Cheque layout is damaged."); });
    QObject::connect(working, &QPushButton::clicked, [&] { ++worked; });
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    QTest::mouseClick(failing, Qt::LeftButton);
    EXPECT_EQ(script.Errors(), QStringList{"Cheque layout is damaged."});
    EXPECT_EQ(app->CaughtExceptions(), caughtBefore + 1);
    QTest::mouseClick(working, Qt::LeftButton);
    EXPECT_EQ(worked, 1);
    // The failing button is usable again (its press state was not left stuck).
    QTest::mouseClick(failing, Qt::LeftButton);
    EXPECT_EQ(script.Errors().size(), 2);
}

// Each plain box shows its text as it is, markup and all, and is read with
// it whole: screen readers pass over a short label in a box, but read the
// box's description.
TEST(Dialogs, PlainBoxesShowAndAreReadWithTheirTextAsItIs)
{
    // An error text that carries what the user typed, looking like markup.
    const QString typed = "'<b>12</b>' is not a valid integer value";
    PlainDialogs plain;
    QString entry = "old";
    const std::tuple<const char*, QString, std::function<void()>> boxes[] = {
        {"error", typed, [&] { plain.ShowError(typed, nullptr); }},
        {"warning", "Low disk.", [&] { plain.ShowMessage("Low disk.", MessageKind::Warning, {}, nullptr); }},
        {"question", "Exit?", [&] { EXPECT_FALSE(plain.AskQuestion("Exit?", {}, nullptr)); }},
        {"input", "Name:", [&] { EXPECT_TRUE(plain.AskText("Name:", entry, {}, nullptr)); }},
        {"list", "Pick:", [&] { plain.ChooseItem("Pick:", {"one"}, {}, nullptr); }},
    };
    for (const auto& [what, text, ask] : boxes) {
        SCOPED_TRACE(what);
        bool checked = false;
        QTimer::singleShot(0, [&, text = text] {
            auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(QAccessible::queryAccessibleInterface(box)->text(QAccessible::Description), text);
            if (auto* label = box->findChild<QLabel*>("qt_msgbox_label")) {
                EXPECT_TRUE(drawnAsPlainText(*label));
                EXPECT_TRUE(labelsItsWindow(label)) << "read again as a loose label";
            }
            auto* input = qobject_cast<QInputDialog*>(box);
            if (input)
                input->setTextValue("new");
            checked = true;
            box->done(input ? QDialog::Accepted : 0);
        });
        ask();
        EXPECT_TRUE(checked);
    }
    EXPECT_EQ(entry, "new");
}

// A reader that asked for the message before it was marked (Qt keeps what
// it made) still gets the message of the box.
TEST(Dialogs, AMessageAReaderMetBeforeItWasMarkedIsReadWithItsBox)
{
    QDialog box;
    box.setAccessibleDescription("Low disk.");
    auto* message = new QLabel("Low disk.", &box);
    ASSERT_FALSE(labelsItsWindow(message));  // Qt's own label, now kept
    MarkBoxMessage(message);
    EXPECT_TRUE(labelsItsWindow(message));
    EXPECT_EQ(nameOf(accessibleOf(message)), "Low disk.");
}

TEST(Dialogs, PlainSaveDialogAsksAboutAnExistingFileUnlessTheCallerDoes)
{
    PlainDialogs plain;
    for (const bool confirm : {true, false}) {
        FileRequest save;
        save.mode = FileRequest::Save;
        save.confirmOverwrite = confirm;
        std::optional<bool> asks;
        QTimer::singleShot(0, [&] {
            if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                asks = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
                dialog->reject();
            }
        });
        EXPECT_EQ(plain.PickFile(save, nullptr), "");
        EXPECT_EQ(asks, confirm);
    }
}

TEST(Dialogs, PlainFontRequestAnswersThePresetOnOk)
{
    PlainDialogs plain;
    QFont gothic("Century Gothic");  // not installed: the dialog shows a substitute
    gothic.setPixelSize(22);
    gothic.setItalic(true);
    QFont changed("Liberation Sans", 30);
    const struct {
        QFont preset;
        QFont picked;  // what the user picks in the dialog; none: OK alone
        QFont answer;
    } cases[] = {
        {QFont("Liberation Serif", 20), {}, QFont("Liberation Serif", 20)},
        {gothic, {}, gothic},
        {gothic, changed, changed},
    };
    for (const auto& c : cases) {
        FontChoice choice{c.preset, QColor(0x12, 0x34, 0x56)};
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!dialog) return;
            if (c.picked != QFont()) dialog->findChild<QFontDialog*>()->setCurrentFont(c.picked);
            dialog->accept();
        });
        ASSERT_TRUE(plain.PickFont(choice, nullptr));
        EXPECT_EQ(choice.font.family(), c.answer.family());
        EXPECT_EQ(choice.font.pointSize(), c.answer.pointSize());
        EXPECT_EQ(choice.font.pixelSize(), c.answer.pixelSize());
        EXPECT_EQ(choice.font.italic(), c.answer.italic());
        EXPECT_EQ(choice.color, QColor(0x12, 0x34, 0x56));
    }
    FontChoice choice;
    QTimer::singleShot(0, [] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) dialog->reject();
    });
    EXPECT_FALSE(plain.PickFont(choice, nullptr));
}

TEST(Dialogs, ListChoiceGivesAnIndexOrNone)
{
    const QStringList items{"first", "second", "third"};
    QTimer::singleShot(0, [] {
        if (auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget())) {
            dialog->setTextValue("third");
            dialog->accept();
        }
    });
    EXPECT_EQ(ChooseItem("Pick:", items), 2) << "the plain box";
    ScriptedDialogs script;
    for (int answer : {1, -1, 3, -7}) script.AnswerChoice(answer);
    EXPECT_EQ(ChooseItem("Pick:", items), 1);
    EXPECT_EQ(ChooseItem("Pick:", items), -1);
    EXPECT_EQ(ChooseItem("Pick:", items), -1) << "an answer beyond the list is none";
    EXPECT_EQ(ChooseItem("Pick:", {}), -1) << "an empty list asks nothing";
    ASSERT_EQ(script.shown.size(), 3u);
    EXPECT_EQ(script.shown[0].items, items);
    EXPECT_EQ(script.shown[0].text, "Pick:");
    EXPECT_EQ(script.choices.size(), 1u);
}

namespace {

// A box asked for at once after a file dialog is shown once the window the
// dialog stood over is active again, as the window system has it: screen
// readers, still busy with the dialog that went, pass over a box shown
// before, and the user's next key answers it unread. A user gone to another
// application meanwhile does not hold it up.
TEST(Dialogs, ABoxAfterAFileDialogWaitsUntilItsWindowIsActiveAgain)
{
    QWidget window;
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    for (const DesktopFocus comes : {DesktopFocus::OnWindow, DesktopFocus::Elsewhere}) {
        SCOPED_TRACE(int(comes));
        bool given = false;  // the window system has taken the dialog away and given the focus on
        const DesktopFocusReader before = SetDesktopFocusReader(
            [&](const QWidget*) { return given ? comes : DesktopFocus::Nowhere; });
        QTimer::singleShot(0, [] {
            if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) dialog->reject();
        });
        EXPECT_EQ(PickFile(FileRequest{}, &window), "");
        QTimer::singleShot(0, [&] { given = true; });
        std::optional<bool> shownOnceGiven, windowActive;
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) box->reject();
        });
        answer.start(5);
        const auto atShow = [&](QObject* o, QEvent* e) {
            if (e->type() == QEvent::Show && qobject_cast<QMessageBox*>(o) && !shownOnceGiven) {
                shownOnceGiven = given;
                windowActive = QApplication::activeWindow() == &window;
            }
        };
        EventSpy spy(atShow);
        EXPECT_FALSE(AskQuestion("Export 1 customer to /home/ann/list.xlsx?", &window));
        EXPECT_EQ(shownOnceGiven, true);
        if (comes == DesktopFocus::OnWindow) {
            EXPECT_EQ(windowActive, true);
        }
        SetDesktopFocusReader(before);
    }
}

// Asks for a message from inside its paint event.
class TalkativeGrid : public StringGrid {
protected:
    void Paint() override
    {
        StringGrid::Paint();
        if (!asked) {
            asked = true;
            ShowMessage("painted");
            answer = AskQuestion("Continue?");
        }
    }

public:
    bool asked = false, answer = true;
};

}  // namespace

TEST(Dialogs, NothingOpensWhilePainting)
{
    ScriptedDialogs script;
    script.AnswerQuestion(true);
    TalkativeGrid grid;
    grid.resize(200, 100);
    grid.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
    grid.viewport()->repaint();
    ASSERT_TRUE(grid.asked);
    EXPECT_FALSE(grid.answer);            // a question during painting is answered No
    EXPECT_TRUE(script.Messages().isEmpty());  // the message waits for the paint to end
    ASSERT_TRUE(QTest::qWaitFor([&] { return !script.Messages().isEmpty(); }));
    EXPECT_EQ(script.Messages(), QStringList{"painted"});
    EXPECT_EQ(script.Questions().size(), 0);
}

TEST(Shell, OnlyWebAndMailAddressesAndWrittenFilesOpen)
{
    CapturingShell shell;
    EXPECT_TRUE(OpenAddress("https://www.example.com/help"));
    EXPECT_TRUE(OpenAddress("www.example.com"));
    EXPECT_TRUE(OpenMail("someone@example.com"));
    EXPECT_TRUE(OpenAddress("ftp://files.example.com/a.txt"));
    ASSERT_EQ(shell.launched.size(), 4);
    EXPECT_EQ(shell.launched[0].toString(), "https://www.example.com/help");
    EXPECT_EQ(shell.launched[1].toString(), "http://www.example.com");
    EXPECT_EQ(shell.launched[2].toString(), "mailto:someone@example.com");

    EXPECT_FALSE(OpenAddress("file:///usr/bin/ls"));
    EXPECT_FALSE(OpenAddress("FILE:///tmp/x.sh"));
    EXPECT_FALSE(OpenAddress("javascript:alert(1)"));
    EXPECT_FALSE(OpenAddress("smb://server/share"));
    EXPECT_FALSE(OpenAddress("   "));
    EXPECT_FALSE(OpenAddress("http://"));
    EXPECT_EQ(shell.launched.size(), 4);

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString book = dir.filePath("customers.xlsx");
    const QString tool = dir.filePath("tool");
    const QString script = dir.filePath("export.sh");
    for (const QString& path : {book, tool, script}) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("x");
    }
    QFile::setPermissions(tool, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_TRUE(OpenWrittenFile(book));
    EXPECT_FALSE(OpenWrittenFile(tool));
    EXPECT_FALSE(OpenWrittenFile(script));
    EXPECT_FALSE(OpenWrittenFile(dir.filePath("missing.xlsx")));
    EXPECT_EQ(shell.launched.back(), QUrl::fromLocalFile(book));

    ASSERT_TRUE(QDir(dir.path()).mkpath("help"));
    QFile page(dir.filePath("help/index.htm"));
    ASSERT_TRUE(page.open(QIODevice::WriteOnly));
    page.close();
    EXPECT_TRUE(OpenHelpPage(dir.path(), "index.htm"));
    EXPECT_FALSE(OpenHelpPage(dir.path(), "../customers.xlsx"));
    EXPECT_FALSE(OpenHelpPage(dir.path(), "missing.htm"));
    EXPECT_EQ(shell.launched.back(), QUrl::fromLocalFile(dir.filePath("help/index.htm")));

    // a page the database's folder lacks comes from the installed help folder,
    // under the same rules; the folder's own page comes first
    QTemporaryDir installed;
    ASSERT_TRUE(installed.isValid());
    for (const char* name : {"index.htm", "report.htm", "tool.htm"}) {
        QFile f(installed.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    QFile::setPermissions(installed.filePath("tool.htm"), QFile::ReadOwner | QFile::ExeOwner);
    SetInstalledHelpFolder(installed.path());
    EXPECT_EQ(InstalledHelpFolder(), installed.path());
    EXPECT_EQ(HelpPagePath(dir.path(), "index.htm"), dir.filePath("help/index.htm"));
    EXPECT_EQ(HelpPagePath(dir.path(), "report.htm"), installed.filePath("report.htm"));
    EXPECT_EQ(HelpPagePath(dir.path(), "missing.htm"), QString());
    EXPECT_EQ(HelpPagePath(dir.path(), "tool.htm"), QString());
    EXPECT_EQ(HelpPagePath(installed.filePath("x"), "../index.htm"), QString());
    EXPECT_TRUE(OpenHelpPage(dir.path(), "report.htm"));
    EXPECT_EQ(shell.launched.back(), QUrl::fromLocalFile(installed.filePath("report.htm")));
    SetInstalledHelpFolder({});

    // the installed program finds <prefix>/share/quillet/help, the build
    // tree's the help folder beside the program; a program with neither, none
    QTemporaryDir prefix;
    ASSERT_TRUE(QDir(prefix.path()).mkpath("bin") && QDir(prefix.path()).mkpath("build/help"));
    EXPECT_EQ(HelpFolderOfProgram(prefix.filePath("bin")), QString());
    EXPECT_EQ(HelpFolderOfProgram(prefix.filePath("build")), prefix.filePath("build/help"));
    ASSERT_TRUE(QDir(prefix.path()).mkpath("share/quillet/help"));
    EXPECT_EQ(HelpFolderOfProgram(prefix.filePath("bin")), prefix.filePath("share/quillet/help"));
}

// An open asked for while a mouse button is held waits until the button is up
// and says at once that it is under way; a failure is told then.
TEST(Shell, AnOpenDuringAPressWaitsForTheRelease)
{
    CapturingShell shell;
    shell.result = false;  // the desktop cannot open it
    QWidget area;
    area.resize(100, 100);
    area.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&area));
    QWindow* window = area.windowHandle();
    int failures = 0;
    QTest::mousePress(window, Qt::LeftButton, {}, QPoint(50, 50));
    const QList<QTimer*> before = QCoreApplication::instance()->findChildren<QTimer*>(Qt::FindDirectChildrenOnly);
    EXPECT_TRUE(OpenAddress("https://example.com/", [&] { ++failures; }));
    // the open waits on a watch of the buttons; once it has looked twice
    // with the button still held, nothing may have been launched
    QTimer* watch = nullptr;
    for (QTimer* timer : QCoreApplication::instance()->findChildren<QTimer*>(Qt::FindDirectChildrenOnly))
        if (!before.contains(timer))
            watch = timer;
    ASSERT_NE(watch, nullptr);
    int looks = 0;
    QObject::connect(watch, &QTimer::timeout, watch, [&] { ++looks; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return looks >= 2; }));
    EXPECT_TRUE(shell.launched.isEmpty());
    EXPECT_EQ(failures, 0);
    QTest::mouseRelease(window, Qt::LeftButton, {}, QPoint(50, 50));
    ASSERT_TRUE(QTest::qWaitFor([&] { return failures == 1; }));
    EXPECT_EQ(shell.launched, QList<QUrl>{QUrl("https://example.com/")});

    // with no button held it opens, and fails, at once
    EXPECT_FALSE(OpenAddress("https://example.com/b", [&] { ++failures; }));
    EXPECT_EQ(failures, 2);
}
