// The main road through the program, end to end on the main window's own
// actions and keys: first start, a category and a contact added, the contact
// found by name, changed, exported and deleted.
#include "contacts_fixture.h"

#include "appcore/zrvexcel.h"
#include "platform/shell.h"

#include <QTest>

TEST_F(ContactsTest, FirstStartAddFindChangeExportDelete)
{
    // a first start: an empty list
    EXPECT_EQ(window->grid->RowCount(), 1);
    EXPECT_EQ(window->StatusText(1), "Total Customer: 0");
    EXPECT_EQ(entries(window->category), QStringList{"All"});

    // add a category and a contact in the editor
    saveEditor([this](TMainForm& e) {
        EXPECT_EQ(e.cID->text(), "1");
        dialogs.AnswerText(QString("Suppliers"));
        e.insertCategory->click();
        e.cName->setText("Zed Paper Co");
        e.cPerson->setText("Zoe");
        e.cTelephone->setText("2345 6789");
        e.cEmail->setText("zoe@zed.example");
        e.amount->setText("99");
    });
    window->insertAction->trigger();
    EXPECT_TRUE(dialogs.Messages().isEmpty());
    EXPECT_EQ(entries(window->category), (QStringList{"All", "Suppliers"}));
    EXPECT_EQ(window->category->currentText(), "Suppliers");
    addCustomer(2, "Another", "", 0);  // someone the search must leave out

    // find it by name, as typed into the search panel
    window->name->setText("zed");
    QTest::keyClick(window->name, Qt::Key_Return);
    ASSERT_EQ(window->grid->RowCount(), 2);
    EXPECT_EQ(window->StatusText(1), "Total Customer: 1");
    EXPECT_EQ(window->grid->Cells(2, 1), "Zed Paper Co");
    EXPECT_EQ(window->grid->Cells(11, 1), "99.00") << "the typed amount is kept";
    EXPECT_EQ(window->grid->Cells(12, 1), "Suppliers");
    const oid_t zed = window->RowOid(1);

    // change it
    window->grid->ClearRowSelect();
    window->grid->SetRowSelect(1, true);
    saveEditor([](TMainForm& e) {
        EXPECT_EQ(e.cName->text(), "Zed Paper Co");
        EXPECT_EQ(e.category->currentText(), "Suppliers");
        e.cName->setText("Zed Paper Company");
        e.amount->setText("250.5");
    });
    window->updateAction->trigger();
    EXPECT_EQ(window->grid->Cells(2, 1), "Zed Paper Company");
    EXPECT_EQ(window->grid->Cells(11, 1), "250.50");

    // export it
    platform::CapturingShell shell;
    const QString file = QString::fromStdString((dir / "suppliers.xlsx").string());
    dialogs.AnswerFile(file);
    dialogs.AnswerQuestion(true);
    dialogs.AnswerQuestion(false);
    window->exportAction->trigger();
    EXPECT_EQ(dialogs.Questions().last(),
              "1 customer has been exported to " + file + " successfully, open this file now?");
    {
        TZrvExcel book(file);
        EXPECT_EQ(book.getCell(1, 2), QVariant(QString("Zed Paper Company")));
        EXPECT_EQ(book.getCell(6, 2), QVariant(QString("2345 6789")));
        EXPECT_EQ(book.getCell(12, 2), QVariant(250.5));
        EXPECT_FALSE(book.getCell(1, 3).isValid());
    }
    EXPECT_TRUE(shell.launched.isEmpty());

    // delete it
    window->grid->ClearRowSelect();
    window->grid->SetRowSelect(1, true);
    dialogs.AnswerQuestion(true);
    window->deleteAction->trigger();
    EXPECT_EQ(dialogs.Questions().last(), "Delete 1 customers?");
    EXPECT_EQ(window->grid->RowCount(), 1);
    const auto left = customers();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].name, "Another");
    EXPECT_NE(left[0].oid, zed);
    EXPECT_TRUE(dialogs.Messages().isEmpty());
}
