// The program on a database whose contact row list is broken: 300 contacts
// written by the engine, then one row's link to the next row redirected.
#include "contacts_fixture.h"

#include "appcore/damagereport.h"

#include <QCoreApplication>
#include <QFile>

namespace {

std::uint32_t wordAt(const QByteArray& b, std::size_t at)
{
    std::uint32_t v = 0;
    std::memcpy(&v, b.constData() + at, sizeof v);
    return v;
}

}  // namespace

class DamagedListTest : public ContactsTest {
protected:
    // Writes 300 contacts (IDs 1 to 300, in that order), closes the program
    // and points the `next` link of the contact with ID `brokenAfter` at
    // `target`, in the committed index's row. The file's bytes are kept.
    void writeAndBreak(int brokenAfter, std::uint32_t target)
    {
        addCategory("Shops");  // the editor saves a contact with a category
        std::vector<oid_t> oids;
        for (int i = 1; i <= 300; ++i)
            oids.push_back(addCustomer(i, ("Contact " + std::to_string(i)).c_str()));
        window.reset();
        database.close();
        QFile file("Quillet.zrv");
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        bytes = file.readAll();
        const std::uint32_t index = wordAt(bytes, 16 + 24 * wordAt(bytes, 4));  // root[curr].index
        const std::uint32_t row = wordAt(bytes, index + 4 * std::size_t(oids[brokenAfter - 1]));
        std::memcpy(bytes.data() + row + 4, &target, sizeof target);
        ASSERT_TRUE(file.seek(0));
        ASSERT_EQ(file.write(bytes), bytes.size());
        file.close();
        nextOf = oids[brokenAfter];
    }
    QStringList damageBoxes()
    {
        QCoreApplication::processEvents();
        QStringList out;
        for (const auto& s : dialogs.shown)
            if (s.messageKind == platform::MessageKind::Error && s.text.startsWith(kDatabaseDamaged))
                out << s.text;
        return out;
    }

    QByteArray bytes;
    oid_t nextOf = 0;
};

TEST_F(DamagedListTest, TheBoxTellsTheDamageTheListKeepsTheRowsBeforeItAndNoContactIsAdded)
{
    // past the object index, and onto a later contact (the rows between are skipped)
    for (const bool pastIndex : {true, false}) {
        SCOPED_TRACE(pastIndex ? "past the index" : "onto a later row");
        if (!pastIndex) {
            std::filesystem::remove("Quillet.zrv");
            ASSERT_EQ(start(), -1);
        }
        writeAndBreak(100, pastIndex ? 0x00FFFFF0u : nextOf + 50);
        dialogs.shown.clear();
        ASSERT_EQ(start(), -1);
        const QString expected = QString(kDatabaseDamaged) + "\nDatabase file was corrupted: invalid record";
        EXPECT_EQ(damageBoxes(), QStringList{expected});
        EXPECT_EQ(window->StatusText(1), "Total Customer: 100");
        ASSERT_EQ(window->grid->RowCount(), 101);
        EXPECT_EQ(window->grid->Cells(1, 1), "100");  // newest first
        EXPECT_EQ(window->grid->Cells(1, 100), "1");

        dialogs.shown.clear();
        saveEditor([](TMainForm& e) {
            e.cID->setText("301");
            e.cName->setText("Refused");
        });
        cancelEditor();
        insertActionExecute(*window);
        EXPECT_EQ(damageBoxes(), QStringList{expected});
        EXPECT_TRUE(dialogs.Messages().contains(kNotStored));
        EXPECT_EQ(window->StatusText(1), "Total Customer: 100");

        window.reset();
        database.close();
        QFile file("Quillet.zrv");
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_TRUE(file.readAll() == bytes) << "the file changed";
    }
}
