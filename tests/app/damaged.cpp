// The program on a database whose contact row list is broken: 300 contacts
// written by the engine, then one row's link to the next row redirected.
#include "contacts_fixture.h"

#include "appcore/damagereport.h"

#include <QCoreApplication>
#include <QFile>
#include <QtEndian>

TEST_F(ContactsTest, DamageIsToldTheRowsBeforeItAreListedAndNoContactIsAdded)
{
    // the link of contact 100 past the object index, and onto contact 151
    for (const bool pastIndex : {true, false}) {
        SCOPED_TRACE(pastIndex ? "past the index" : "onto a later row");
        if (!window) {  // a fresh database for the second round
            std::filesystem::remove("Quillet.zrv");
            ASSERT_EQ(start(), -1);
        }
        addCategory("Shops");  // the editor saves a contact with a category
        std::vector<oid_t> oids;
        for (int i = 1; i <= 300; ++i)
            oids.push_back(addCustomer(i, ("Contact " + std::to_string(i)).c_str()));
        window.reset();
        database.close();
        QFile file("Quillet.zrv");
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        QByteArray bytes = file.readAll();
        auto word = [&](std::size_t at) { return qFromLittleEndian<std::uint32_t>(bytes.constData() + at); };
        const std::uint32_t row = word(word(16 + 24 * word(4)) + 4 * std::size_t(oids[99]));  // committed index
        qToLittleEndian<std::uint32_t>(pastIndex ? 0x00FFFFF0u : oids[150], bytes.data() + row + 4);
        ASSERT_TRUE(file.seek(0) && file.write(bytes) == bytes.size());
        file.close();

        dialogs.shown.clear();
        ASSERT_EQ(start(), -1);
        auto boxes = [&] {
            QCoreApplication::processEvents();
            QStringList out;
            for (const auto& s : dialogs.shown)
                if (s.messageKind == platform::MessageKind::Error)
                    out << s.text;
            return out;
        };
        const QStringList once{QString(kDatabaseDamaged) + "\nDatabase file was corrupted: invalid record"};
        EXPECT_EQ(boxes(), once);
        EXPECT_EQ(window->StatusText(1), "Total Customer: 100");
        ASSERT_EQ(window->grid->RowCount(), 101);
        EXPECT_EQ(window->grid->Cells(1, 1), "100");  // newest first
        EXPECT_EQ(window->grid->Cells(1, 100), "1");

        dialogs.shown.clear();
        saveEditor([](TMainForm& e) {
            e.cID->setText("301");
            e.cName->setText("Refused");
        });
        cancelEditor();  // the editor comes back after the refusal
        insertActionExecute(*window);
        EXPECT_EQ(boxes(), once);
        EXPECT_TRUE(dialogs.Messages().contains(kNotStored));
        EXPECT_EQ(window->StatusText(1), "Total Customer: 100");

        window.reset();
        database.close();
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_TRUE(file.readAll() == bytes) << "the file changed";
        file.close();
    }
}
