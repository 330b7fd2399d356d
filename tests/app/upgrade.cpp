// Data upgrades at start-up, keyed on the stored data version, and the login
// that follows them.
#include "mainwindow_fixture.h"

#include "app/login.h"

#include <QLineEdit>
#include <QPushButton>

namespace {

// A database as an older version of the program left it.
void makeOldDatabase(int version, bool everyday, const char* password = "")
{
    ASSERT_TRUE(database.open("Quillet"));
    Config c;
    c.password = password;
    c.version = static_cast<int2>(version);
    c.lastBackupDate = dbDateTime(-1);
    c.everyday = everyday;
    c.totalBackup = 3;
    insert(c);
    const int1 picture[] = {1, 2, 3, 4};
    for (const char* name : {"Bank A", "Bank B"}) {
        ChequeSetup layout;
        layout.name = name;
        layout.dollar = "USD";
        layout.image = dbArray<int1>(picture, 4);
        layout.image2 = dbArray<int1>(picture, 2);
        insert(layout);
    }
    ASSERT_TRUE(database.commit());
    database.close();
}

struct Stored {
    int version;
    bool everyday;
    int totalBackup;
    std::vector<std::string> dollars;
    std::vector<size_t> pictureBytes;
};

Stored stored()
{
    Stored s;
    dbCursor<Config> c;
    EXPECT_EQ(c.select(), 1u);
    s.version = c->version;
    s.everyday = c->everyday;
    s.totalBackup = c->totalBackup;
    dbCursor<ChequeSetup> layouts;
    if (layouts.select() > 0) {
        do {
            s.dollars.push_back(layouts->dollar ? layouts->dollar : "");
            s.pictureBytes.push_back(layouts->image.length() + layouts->image2.length());
        } while (layouts.next());
    }
    database.commit();
    return s;
}

} // namespace

TEST_F(MainWindowTest, Version15GetsEveryStep)
{
    makeOldDatabase(15, false);
    ASSERT_EQ(start(), -1);
    const Stored s = stored();
    EXPECT_EQ(s.version, 18);
    EXPECT_TRUE(s.everyday);
    EXPECT_EQ(s.totalBackup, 7);
    EXPECT_EQ(s.dollars, (std::vector<std::string>{"DOLLARS", "DOLLARS"}));
    EXPECT_EQ(s.pictureBytes, (std::vector<size_t>{0, 0}));
}

TEST_F(MainWindowTest, Version17GetsOnlyThePictureStep)
{
    makeOldDatabase(17, false);
    ASSERT_EQ(start(), -1);
    const Stored s = stored();
    EXPECT_EQ(s.version, 18);
    EXPECT_FALSE(s.everyday);
    EXPECT_EQ(s.totalBackup, 3);
    EXPECT_EQ(s.dollars, (std::vector<std::string>{"USD", "USD"}));
    EXPECT_EQ(s.pictureBytes, (std::vector<size_t>{0, 0}));
}

TEST_F(MainWindowTest, Version18IsLeftAlone)
{
    makeOldDatabase(18, false);
    ASSERT_EQ(start(), -1);
    const Stored s = stored();
    EXPECT_EQ(s.version, 18);
    EXPECT_EQ(s.dollars, (std::vector<std::string>{"USD", "USD"}));
    EXPECT_EQ(s.pictureBytes, (std::vector<size_t>{6, 6}));
}

TEST_F(MainWindowTest, CancelledLoginExitsWithNothingStored)
{
    makeOldDatabase(15, false, "pw");
    SetModalRunner([](QDialog& form) {
        auto* login = dynamic_cast<TLoginForm*>(&form);
        EXPECT_NE(login, nullptr);
        return 2;
    });
    EXPECT_EQ(start(), 0);
    SetModalRunner(nullptr);
    // the upgrade made before the login was not kept
    ASSERT_TRUE(database.open("Quillet"));
    const Stored s = stored();
    EXPECT_EQ(s.version, 15);
    EXPECT_EQ(s.dollars, (std::vector<std::string>{"USD", "USD"}));
}

TEST_F(MainWindowTest, WrongThenRightPasswordOpensTheProgram)
{
    makeOldDatabase(18, false, "pw");
    int tries = 0;
    SetModalRunner([&](QDialog& form) {
        auto& login = dynamic_cast<TLoginForm&>(form);
        login.password->setText(++tries == 1 ? "PW" : "pw");
        return 1;
    });
    EXPECT_EQ(start(), -1);
    SetModalRunner(nullptr);
    EXPECT_EQ(tries, 2);
    EXPECT_EQ(dialogs.Messages(), QStringList{"Wrong password"});
}
