// The first start in an empty folder: the database file, the settings rows,
// the first daily backup and an empty list.
#include "mainwindow_fixture.h"

#include <QDateTime>

TEST_F(MainWindowTest, FirstStartCreatesTheDatabaseAndItsSettings)
{
    ASSERT_EQ(start(), -1);
    EXPECT_TRUE(std::filesystem::exists("Quillet.zrv"));
    EXPECT_TRUE(std::filesystem::exists("Quillet0.zbf"));
    EXPECT_FALSE(std::filesystem::exists("Quillet1.zbf"));

    dbCursor<Config> config;
    ASSERT_EQ(config.select(), 1u);
    EXPECT_STREQ(config->password, "");
    EXPECT_EQ(config->version, 18);
    EXPECT_FALSE(config->everytime);
    EXPECT_TRUE(config->everyday);
    EXPECT_EQ(config->totalBackup, 7);
    EXPECT_EQ(config->lastBackup, 1);
    const QDateTime midnight(QDate::currentDate(), QTime(0, 0));
    EXPECT_EQ(config->lastBackupDate.stamp, midnight.toSecsSinceEpoch());

    dbCursor<CustomerWidth> widths;
    ASSERT_EQ(widths.select(), 1u);
    EXPECT_EQ(widths->id, 50);
    EXPECT_EQ(widths->name, 100);
    EXPECT_EQ(widths->person, 100);
    EXPECT_EQ(widths->telephone, 80);
    EXPECT_EQ(widths->website, 70);
    EXPECT_EQ(widths->address, 0);
    EXPECT_EQ(widths->amount, 0);
    EXPECT_EQ(widths->category, 70);
    EXPECT_EQ(widths->sortBy, 0);
    EXPECT_TRUE(widths->reverseSort);
    database.commit();

    EXPECT_EQ(window->StatusText(1), "Total Customer: 0");
    ASSERT_EQ(window->category->count(), 1);
    EXPECT_EQ(window->category->itemText(0), "All");
    EXPECT_EQ(window->windowTitle(), "Zarvo Cheque Printing System");
    EXPECT_EQ(window->grid->ColCount(), 13);
    EXPECT_EQ(window->grid->Cells(12, 0), "Category");
    EXPECT_EQ(window->grid->ColWidths(0), 1);
    EXPECT_TRUE(dialogs.Messages().isEmpty());
}

TEST_F(MainWindowTest, SecondStartTheSameDayWritesNoBackup)
{
    ASSERT_EQ(start(), -1);
    window.reset();
    database.close();
    std::filesystem::remove("Quillet0.zbf");
    ASSERT_EQ(start(), -1);
    EXPECT_FALSE(std::filesystem::exists("Quillet0.zbf"));
    EXPECT_FALSE(std::filesystem::exists("Quillet1.zbf"));
}

TEST_F(MainWindowTest, AnUnreadableDatabaseEndsTheStart)
{
    {
        std::FILE* f = std::fopen("Quillet.zrv", "wb");
        ASSERT_NE(f, nullptr);
        for (int i = 0; i < 8192; ++i)
            std::fputc(i * 7 & 0xFF, f);
        std::fclose(f);
    }
    EXPECT_EQ(start(), 1);
    EXPECT_EQ(dialogs.Messages(), QStringList{"Fail to open database."});
    EXPECT_EQ(std::filesystem::file_size("Quillet.zrv"), 8192u);
}
