// Closing the main window: the question, the exit backup, the stored grid
// layout, and what the next start brings back.
#include "mainwindow_fixture.h"

#include <QCheckBox>

namespace {

// Closes every modal form at once (the About box) and counts them.
struct AutoClose {
    AutoClose()
    {
        SetModalRunner([this](QDialog& form) {
            titles.append(form.windowTitle());
            return 1;
        });
    }
    ~AutoClose() { SetModalRunner(nullptr); }
    QStringList titles;
};

} // namespace

TEST_F(MainWindowTest, NoAtTheQuestionKeepsTheWindowAndStoresNothing)
{
    ASSERT_EQ(start(), -1);
    window->grid->SetColWidths(2, 333);
    dialogs.AnswerQuestion(false);
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(dialogs.Questions(), QStringList{"Exit the system?"});
    for (QAction* a : window->ActionList1)
        EXPECT_TRUE(a->isEnabled());
    dbCursor<CustomerWidth> widths;
    ASSERT_EQ(widths.select(), 1u);
    EXPECT_EQ(widths->name, 100);
    database.commit();
}

TEST_F(MainWindowTest, WidthsAndSortChoiceSurviveARestart)
{
    ASSERT_EQ(start(), -1);
    window->grid->SetColWidths(2, 150);
    window->grid->SetColWidths(9, 0);
    window->grid->SetColWidths(12, 95);
    window->sortBy->setCurrentIndex(2);
    window->reverseSort->setChecked(false);
    {
        AutoClose about;
        dialogs.AnswerQuestion(true);
        EXPECT_TRUE(window->close());
        EXPECT_EQ(about.titles, QStringList{"About Us"});
    }
    for (QAction* a : window->ActionList1)
        EXPECT_FALSE(a->isEnabled());
    window.reset();

    ASSERT_EQ(start(), -1);
    EXPECT_EQ(window->grid->ColWidths(2), 150);
    EXPECT_EQ(window->grid->ColWidths(9), 0);
    EXPECT_EQ(window->grid->ColWidths(12), 95);
    EXPECT_EQ(window->grid->ColWidths(1), 50);
    EXPECT_EQ(window->sortBy->currentIndex(), 2);
    EXPECT_FALSE(window->reverseSort->isChecked());
}

TEST_F(MainWindowTest, ExitBackupWritesTheNextGeneration)
{
    ASSERT_EQ(start(), -1);  // the daily backup writes generation 0
    {
        zarvoCursor<Config> config(dbCursorForUpdate);
        ASSERT_EQ(config.select(), 1u);
        config->everytime = true;
        config.update();
        database.commit();
    }
    {
        AutoClose about;
        dialogs.AnswerQuestion(true);
        EXPECT_TRUE(window->close());
    }
    window.reset();
    EXPECT_TRUE(std::filesystem::exists("Quillet1.zbf"));
    ASSERT_TRUE(database.open("Quillet"));
    dbCursor<Config> config;
    ASSERT_EQ(config.select(), 1u);
    EXPECT_EQ(config->lastBackup, 2);
    database.commit();
}

TEST_F(MainWindowTest, NoExitBackupWhenSwitchedOff)
{
    ASSERT_EQ(start(), -1);
    {
        AutoClose about;
        dialogs.AnswerQuestion(true);
        EXPECT_TRUE(window->close());
        EXPECT_EQ(about.titles, QStringList{"About Us"});
    }
    EXPECT_FALSE(std::filesystem::exists("Quillet1.zbf"));
}
