// The Setup button: the settings shown in the System Setup dialog come back
// into Config and the grid however the dialog was closed; a bad width changes
// nothing.
#include "mainwindow_fixture.h"

#include "app/editor.h"
#include "backup/backupform.h"
#include "flush_fails.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QSpinBox>

TEST_F(MainWindowTest, SetupTakesOverWidthsAndSwitches)
{
    ASSERT_EQ(start(), -1);
    SetModalRunner([](QDialog& form) {
        auto& setup = dynamic_cast<TBackupForm&>(form);
        EXPECT_EQ(setup.id->text(), "50");
        EXPECT_EQ(setup.category->text(), "70");
        EXPECT_TRUE(setup.everyday->isChecked());
        setup.name->setText("120");
        setup.address->setText("0");
        setup.remark->setText("90");
        setup.everyday->setChecked(false);
        setup.everytime->setChecked(true);
        setup.remainDay->setValue(3);
        return 0;  // closed by its frame
    });
    window->setupButton->click();
    EXPECT_EQ(window->grid->ColWidths(2), 120);
    EXPECT_EQ(window->grid->ColWidths(10), 90);
    EXPECT_EQ(window->grid->ColWidths(9), 0);
    dbCursor<Config> config;
    ASSERT_EQ(config.select(), 1u);
    EXPECT_FALSE(config->everyday);
    EXPECT_TRUE(config->everytime);
    EXPECT_EQ(config->totalBackup, 3);
    database.commit();
}

TEST_F(MainWindowTest, SetupWithABadWidthChangesNothing)
{
    ASSERT_EQ(start(), -1);
    SetModalRunner([](QDialog& form) {
        auto& setup = dynamic_cast<TBackupForm&>(form);
        setup.id->setText("60");
        setup.name->setText("wide");
        setup.everytime->setChecked(true);
        return 1;
    });
    window->setupButton->click();
    EXPECT_EQ(dialogs.Messages(), QStringList{"'wide' is not a valid column width."});
    EXPECT_EQ(window->grid->ColWidths(1), 50);
    EXPECT_EQ(window->grid->ColWidths(2), 100);
    dbCursor<Config> config;
    ASSERT_EQ(config.select(), 1u);
    EXPECT_FALSE(config->everytime);
    database.commit();
}

TEST_F(MainWindowTest, SetupThatCannotBeStoredSaysSo)
{
    ASSERT_EQ(start(), -1);
    SetModalRunner([](QDialog& form) {
        dynamic_cast<TBackupForm&>(form).everytime->setChecked(true);
        return 1;
    });
    {
        FlushFails failing;
        window->setupButton->click();
    }
    EXPECT_EQ(dialogs.Messages(), QStringList{kNotStored});
    dbCursor<Config> config;
    ASSERT_EQ(config.select(), 1u);
    EXPECT_FALSE(config->everytime);
    database.commit();
}
