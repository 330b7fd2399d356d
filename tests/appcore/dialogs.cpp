// The message, question and input forms driven with real keys and clicks.
#include "appcore/dialogs.h"
#include "accessible_events.h"
#include "plain_label.h"
#include "platform/longwork.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>

namespace {

// Shows each form (not modally), lets the test act on it, and reports the
// result it ended with; a form still open afterwards is closed and reported
// as -1.
class Forms : public ::testing::Test {
protected:
    void SetUp() override
    {
        previous_ = platform::SetDialogs(&service_);
        SetModalRunner([this](QDialog &form) {
            form.setWindowModality(Qt::ApplicationModal);  // as exec() shows it
            form.show();
            form.activateWindow();
            EXPECT_TRUE(QTest::qWaitForWindowActive(&form));
            shown.append(&form);
            act(form);
            const bool open = form.isVisible();
            form.close();
            last = open ? -1 : form.result();
            return last;
        });
    }
    void TearDown() override
    {
        SetModalRunner(nullptr);
        platform::SetDialogs(previous_);
    }
    FormDialogs service_;
    platform::DialogService *previous_ = nullptr;
    std::function<void(QDialog &)> act;
    QList<QDialog *> shown;
    int last = 0;  // what the last form ended with
};

// What a screen reader reads with the form besides its title and role.
QString readWith(QDialog &form)
{
    return QAccessible::queryAccessibleInterface(&form)->text(QAccessible::Description);
}

void key(QDialog &form, Qt::Key k)
{
    QWidget *target = form.focusWidget() ? form.focusWidget() : &form;
    QTest::keyClick(target, k);
}

TEST_F(Forms, ShowInfoHasOneOkayButtonAndClosesWithF10F12OrTheButton)
{
    for (int way = 0; way < 3; ++way) {
        act = [&](QDialog &d) {
            auto &f = static_cast<TYesNoForm &>(d);
            EXPECT_EQ(f.windowTitle(), "Message Box");
            EXPECT_EQ(f.msg->text(), "Backup Successfully.");
            EXPECT_TRUE(f.msg->font().bold());
            EXPECT_FALSE(f.NoButton->isVisible());
            EXPECT_EQ(f.YesButton->text(), "&Okay");
            EXPECT_EQ(f.YesButton->x(), 200);
            if (way == 0)
                key(d, Qt::Key_F10);
            else if (way == 1)
                key(d, Qt::Key_F12);
            else
                QTest::mouseClick(f.YesButton, Qt::LeftButton);
            EXPECT_FALSE(d.isVisible());
        };
        ShowInfo("Backup Successfully.");
    }
    EXPECT_EQ(shown.size(), 3);
}

TEST_F(Forms, AskYesNoIsTrueOnlyForYes)
{
    struct Case {
        std::function<void(TYesNoForm &)> answer;
        bool expected;
    };
    const std::vector<Case> cases = {
        {[](TYesNoForm &f) { key(f, Qt::Key_F10); }, true},
        {[](TYesNoForm &f) { QTest::mouseClick(f.YesButton, Qt::LeftButton); }, true},
        {[](TYesNoForm &f) { key(f, Qt::Key_F12); }, false},
        {[](TYesNoForm &f) { QTest::mouseClick(f.NoButton, Qt::LeftButton); }, false},
        {[](TYesNoForm &f) { f.close(); }, false},  // the frame's close box
        {[](TYesNoForm &f) { key(f, Qt::Key_Escape); }, false},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        act = [&](QDialog &d) {
            auto &f = static_cast<TYesNoForm &>(d);
            EXPECT_EQ(f.msg->text(), "Exit the system?");
            EXPECT_EQ(readWith(f), "Exit the system?");
            EXPECT_TRUE(f.NoButton->isVisible());
            EXPECT_EQ(f.YesButton->text(), "&Yes F10");
            EXPECT_EQ(f.NoButton->text(), "&No F12");
            cases[i].answer(f);
        };
        EXPECT_EQ(AskYesNo("Exit the system?"), cases[i].expected);
    }
}

// Every box answers Enter with the button that has the focus, else with its
// default, and Escape as its frame's close box; the disk prompt too, which
// comes while a backup works and drops the user's input to other windows.
TEST_F(Forms, EveryBoxAnswersEnterWithItsDefaultAndEscapeWithCancel)
{
    for (Qt::Key k : {Qt::Key_Return, Qt::Key_Enter}) {
        act = [&](QDialog &d) { key(d, k); };
        ShowInfo("Backup Successfully.");
        EXPECT_EQ(last, 1);
    }
    struct Case {
        Qt::Key key;
        bool onNo;  // the focus on No, else as the box opens
        int result;
    };
    const Case cases[] = {{Qt::Key_Return, false, 1}, {Qt::Key_Enter, false, 1}, {Qt::Key_Return, true, 2},
                          {Qt::Key_Escape, false, 0}, {Qt::Key_F10, false, 1}, {Qt::Key_F12, false, 2}};
    for (const bool working : {false, true}) {
        for (const Case &c : cases) {
            SCOPED_TRACE(QKeySequence(c.key).toString().toStdString() + (c.onNo ? " on No" : "") +
                         (working ? " while working" : ""));
            act = [&](QDialog &d) {
                if (c.onNo)
                    static_cast<TYesNoForm &>(d).NoButton->setFocus();
                key(d, c.key);
            };
            std::optional<platform::LongWork> work;
            if (working)
                work.emplace();
            const bool yes = working ? AskOkCancel("Please insert Disk #2") : AskYesNo("Delete 1 customers?");
            EXPECT_EQ(last, c.result);
            EXPECT_EQ(yes, c.result == 1);
        }
    }
}

TEST_F(Forms, InputTextRefusesBlanksAndReturnsTheEntryUntrimmed)
{
    QString text = "old";
    act = [&](QDialog &d) {
        auto &f = static_cast<TInputForm &>(d);
        EXPECT_EQ(f.windowTitle(), "Enter Box");
        EXPECT_EQ(f.msg->text(), "Category name:");
        // the prompt read once, as the name of the field, which the label names
        EXPECT_EQ(readWith(f), "");
        EXPECT_EQ(f.inputText->accessibleName(), "Category name");
        EXPECT_EQ(f.msg->buddy(), f.inputText);
        EXPECT_EQ(f.inputText->text(), "old");
        EXPECT_EQ(f.YesButton->text(), "&Okay F10");
        EXPECT_EQ(f.NoButton->text(), "&Cancel F12");
        f.inputText->setFocus();
        f.inputText->selectAll();
        QTest::keyClicks(f.inputText, "   ");
        key(d, Qt::Key_F10);
        EXPECT_TRUE(d.isVisible());
        QTest::keyClick(f.inputText, Qt::Key_Return);
        EXPECT_TRUE(d.isVisible());
        QTest::mouseClick(f.YesButton, Qt::LeftButton);
        EXPECT_TRUE(d.isVisible());
        key(d, Qt::Key_F12);
    };
    EXPECT_FALSE(InputText("Category name:", text));
    EXPECT_EQ(text, "old");

    act = [&](QDialog &d) {
        auto &f = static_cast<TInputForm &>(d);
        f.inputText->setFocus();
        f.inputText->selectAll();
        QTest::keyClicks(f.inputText, " Friends ");
        QTest::keyClick(f.inputText, Qt::Key_Return);
    };
    EXPECT_TRUE(InputText("Category name:", text));
    EXPECT_EQ(text, " Friends ");

    act = [&](QDialog &d) { key(d, Qt::Key_F10); };  // the proposal is accepted as it is
    text = "kept";
    EXPECT_TRUE(InputText("Category name:", text));
    EXPECT_EQ(text, "kept");

    act = [&](QDialog &d) { QTest::mouseClick(static_cast<TInputForm &>(d).NoButton, Qt::LeftButton); };
    EXPECT_FALSE(InputText("Category name:", text));
}

TEST_F(Forms, OkCancelPromptRecaptionsTheYesNoForm)
{
    act = [&](QDialog &d) {
        auto &f = static_cast<TYesNoForm &>(d);
        EXPECT_EQ(f.msg->text(), "Please insert Disk #2");
        EXPECT_EQ(readWith(f), "Please insert Disk #2");
        EXPECT_EQ(f.YesButton->text(), "OK");
        EXPECT_EQ(f.NoButton->text(), "Cancel");
        const QImage shot = f.grab().toImage();
        EXPECT_FALSE(shot.isNull());
        if (const char *dir = getenv("QUILLET_SHOTS"))
            shot.save(QString::fromLocal8Bit(dir) + "/ok-cancel.png");
        key(d, Qt::Key_F10);
    };
    EXPECT_TRUE(AskOkCancel("Please insert Disk #2"));
    act = [&](QDialog &d) { QTest::mouseClick(static_cast<TYesNoForm &>(d).NoButton, Qt::LeftButton); };
    EXPECT_FALSE(AskOkCancel("Please insert Disk #2"));
}

TEST_F(Forms, MessagesShowTypedTextAsItIsNotAsMarkup)
{
    // a category, file name or typed value that happens to look like a tag
    const QString question = "Delete the category 'R<b>D</b> & <i>Co'?";
    act = [&](QDialog &d) {
        EXPECT_TRUE(drawnAsPlainText(*static_cast<TYesNoForm &>(d).msg));
        key(d, Qt::Key_F12);
    };
    EXPECT_FALSE(AskYesNo(question));
    const QString message = "<b>Fail</b> to export to /tmp/<img src=x>.xlsx.";
    act = [&](QDialog &d) {
        EXPECT_TRUE(drawnAsPlainText(*static_cast<TYesNoForm &>(d).msg));
        key(d, Qt::Key_F10);
    };
    ShowInfo(message);
    const QString prompt = "<u>Enter</u> the category:";
    QString text;
    act = [&](QDialog &d) {
        EXPECT_TRUE(drawnAsPlainText(*static_cast<TInputForm &>(d).msg));
        key(d, Qt::Key_F12);
    };
    EXPECT_FALSE(InputText(prompt, text));
    EXPECT_EQ(shown.size(), 3);
}

// How much is drawn: the darkness of every pixel against the background.
double inkOf(const QImage &image, QColor background)
{
    double ink = 0;
    const int bg = qGray(background.rgb());
    const QImage gray = image.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < gray.height(); ++y)
        for (int x = 0; x < gray.width(); ++x)
            ink += std::max(0, bg - qGray(gray.pixel(x, y)));
    return ink;
}

// The ink of a text's lines drawn whole, each on a line of its own with
// room to spare, in the label's font and colours.
double inkOfWholeText(const QString &text, const QLabel &label)
{
    const QFontMetrics metrics(label.font());
    const QStringList lines = text.split('\n');
    int width = 1;
    for (const QString &line : lines)
        width = std::max(width, metrics.horizontalAdvance(line) + 20);
    QImage image(width, (int(lines.size()) + 1) * metrics.lineSpacing(), QImage::Format_RGB32);
    image.fill(label.palette().color(QPalette::Window));
    QPainter painter(&image);
    painter.setFont(label.font());
    painter.setPen(label.palette().color(QPalette::WindowText));
    for (int i = 0; i < lines.size(); ++i)
        painter.drawText(10, (i + 1) * metrics.lineSpacing(), lines[i]);
    painter.end();
    return inkOf(image, label.palette().color(QPalette::Window));
}

// A message of any length is readable whole: the form keeps its size for a
// short one, grows with a longer one and, taller than the screen, scrolls to
// the end of it; a path longer than a line is broken, not cut off. What a
// screen reader reads is the message as given, with the form whatever its
// length (readers pass over a short label in a box).
TEST_F(Forms, EveryMessageIsShownWhole)
{
    const QString folder = "/home/someone/" + QString("QuilletBackups").repeated(36) + "/Quillet";  // no break in it
    QString changed = "The stored values of these records do not agree with the search indexes, and may have "
                      "been changed by the damage:";
    for (int i = 22; i <= 27; ++i)
        changed += "\nContact ID " + QString::number(i);
    changed += "\nThe backups are in " + folder.left(60) + ".";
    QString tall;
    for (int i = 1; i <= 80; ++i)
        tall += "Line " + QString::number(i) + " of a message longer than any screen.\n";
    tall += "The last line.";
    struct Case {
        const char *what;
        QString text;
        bool grows, scrolls;
    } cases[] = {
        {"short", "Backup Successfully.", false, false},
        {"long", changed, true, false},
        {"taller than the screen", tall, true, true},
        {"a path longer than a line", "The backups are in " + folder + ".", true, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        act = [&](QDialog &d) {
            auto &f = static_cast<TYesNoForm &>(d);
            const QRect screen = f.screen()->availableGeometry();
            EXPECT_LE(f.height(), screen.height());
            EXPECT_EQ(f.size() == QSize(490, 150), !c.grows);
            EXPECT_EQ(f.YesButton->x(), 200);
            EXPECT_TRUE(f.rect().contains(f.YesButton->geometry()));
            QAccessibleInterface *reader = QAccessible::queryAccessibleInterface(f.msg);
            ASSERT_NE(reader, nullptr);
            EXPECT_EQ(reader->text(QAccessible::Name), c.text);
            EXPECT_EQ(readWith(f), c.text);
            EXPECT_TRUE(labelsItsWindow(f.msg)) << "read again as a loose label";
            // every line drawn whole, and within the part of the form shown
            const double ink = inkOf(f.msg->grab().toImage(), f.msg->palette().color(QPalette::Window));
            EXPECT_NEAR(ink, inkOfWholeText(c.text, *f.msg), 0.05 * ink);
            auto *area = f.findChild<QScrollArea *>();
            EXPECT_EQ(area != nullptr, c.scrolls);
            QWidget *shown = area ? static_cast<QWidget *>(area) : f.msg;
            EXPECT_TRUE(f.rect().contains(shown->geometry()));
            EXPECT_LE(shown->geometry().bottom(), f.YesButton->y());
            if (area) {
                area->verticalScrollBar()->setValue(area->verticalScrollBar()->maximum());
                EXPECT_EQ(f.msg->visibleRegion().boundingRect().bottom(), f.msg->height() - 1) << "the end is not reached";
            }
            key(d, Qt::Key_F10);
        };
        ShowInfo(c.text);
        EXPECT_EQ(last, 1);
    }
}

TEST_F(Forms, WarningsAndErrorsAreNotShownOnTheMessageForm)
{
    // Only information goes on the yes/no form; the scripted seam shows the
    // routing of ShowInfo and AskYesNo without any form.
    platform::ScriptedDialogs scripted;
    scripted.AnswerQuestion(true);
    ShowInfo("Saved.");
    EXPECT_TRUE(AskYesNo("Delete?"));
    EXPECT_EQ(scripted.Messages(), QStringList {"Saved."});
    EXPECT_EQ(scripted.Questions(), QStringList {"Delete?"});
    EXPECT_TRUE(shown.isEmpty());
}

}  // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
