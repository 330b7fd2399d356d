// The message, question and input forms driven with real keys and clicks.
#include "appcore/dialogs.h"
#include "plain_label.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>

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
            EXPECT_TRUE(f.NoButton->isVisible());
            EXPECT_EQ(f.YesButton->text(), "&Yes F10");
            EXPECT_EQ(f.NoButton->text(), "&No F12");
            cases[i].answer(f);
        };
        EXPECT_EQ(AskYesNo("Exit the system?"), cases[i].expected);
    }
}

TEST_F(Forms, EnterClosesAMessageButAnswersNoQuestion)
{
    for (Qt::Key k : {Qt::Key_Return, Qt::Key_Enter}) {
        act = [&](QDialog &d) { key(d, k); };
        ShowInfo("Backup Successfully.");
        EXPECT_EQ(last, 1);
        // Enter leaves the question open (the runner reports -1), whichever button has the focus
        for (int focus = 0; focus < 3; ++focus) {
            act = [&](QDialog &d) {
                auto &f = static_cast<TYesNoForm &>(d);
                if (focus == 1)
                    f.YesButton->setFocus();
                else if (focus == 2)
                    f.NoButton->setFocus();
                key(d, k);
            };
            EXPECT_FALSE(AskYesNo("Delete 1 customers?"));
            EXPECT_EQ(last, -1) << focus;
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
