// The main window's cheque action: one contact through the shown cheque
// window, several in one batch printed to PDF files.
#include "contacts_fixture.h"

#include "documents/chequeform.h"
#include "grid/listgrid.h"
#include "pdf_words.h"
#include "platform/printer.h"

#include <QTemporaryDir>

namespace {

class ChequeActions : public PrintingContactsTest {
protected:
    static oid_t layoutOf(oid_t contact)
    {
        dbCursor<Customer> c;
        EXPECT_TRUE(c.at(dbReference<Customer>(contact)));
        const oid_t layout = c->chequeSetup.getOid();
        database.commit();
        return layout;
    }
    static oid_t addLayout(const char* name)
    {
        TChequeForm maker;
        maker.loadSettingList({});  // the default layout on first use
        ChequeSetup s;
        maker.readSetting(s);
        s.name = name;
        s.amountLeft = 100;
        const oid_t oid = insert(s).getOid();
        EXPECT_TRUE(database.commit());
        return oid;
    }
    static void setLayout(oid_t contact, oid_t layout)
    {
        dbCursor<Customer> c(dbCursorForUpdate);
        ASSERT_TRUE(c.at(dbReference<Customer>(contact)));
        zarvoBuffer t;
        c->name = t.put(c->name);
        c->chequeSetup = dbReference<ChequeSetup>(layout);
        ASSERT_TRUE(c.update());
        ASSERT_TRUE(database.commit());
    }

};

}  // namespace

TEST_F(ChequeActions, ABatchPrintsOneChequePerSelectedRowInRowOrder)
{
    const oid_t a = addCustomer(1, "Alpha Ltd", "", 0, 10.5f);
    const oid_t b = addCustomer(2, "Beta Ltd", "", 0, 200);
    const oid_t c = addCustomer(3, "Gamma Ltd", "", 0, 3000.25f);
    const oid_t bank = addLayout("SECOND");  // after BANK, which comes first
    setLayout(a, bank);
    setLayout(c, bank);
    window->RefreshGrid();
    selectOnly({a, b, c});

    dialogs.AnswerQuestion(true);
    window->chequeAction->trigger();
    EXPECT_EQ(dialogs.Questions(), QStringList{"Print 3 cheques in batch automatically?"});
    EXPECT_EQ(formsShown, 0);  // no window shown
    ASSERT_EQ(pdf->JobsWritten(), 3);
    const char* payees[] = {"Alpha", "Beta", "Gamma"};
    const char* figures[] = {"10.50", "200.00", "3,000.25"};
    for (int job = 0; job < 3; ++job) {
        const auto words = ReadPdfWords(pdf->JobFile(job + 1));
        EXPECT_EQ(std::count_if(words.begin(), words.end(), [](const PdfWord& w) { return w.page > 1; }), 0);
        EXPECT_NE(FindPdfWord(words, payees[job]), nullptr) << job;
        const PdfWord* amount = FindPdfWord(words, figures[job]);
        ASSERT_NE(amount, nullptr) << PdfPageText(words).toStdString();
        EXPECT_NEAR(amount->left, job == 1 ? 140 : 100, 1.0);  // each contact's own layout
    }
    EXPECT_EQ(layoutOf(a), bank);
    EXPECT_NE(layoutOf(b), 0u);  // the contact without a layout has the first one now
    EXPECT_NE(layoutOf(b), bank);
    EXPECT_EQ(window->grid->Cells(11, rowOf(c)), "3000.25");
}

// The cheques of a batch whose amount would be cut are named in one
// question before any prints: No prints and stores nothing, Yes prints all.
TEST_F(ChequeActions, ABatchNamesTheChequesWhoseAmountWouldBeCutBeforeAnyPrints)
{
    const oid_t a = addCustomer(1, "Alpha Ltd", "", 0, 10.5f);
    const oid_t b = addCustomer(2, "Beta Ltd", "", 0, 127777.77f);
    const oid_t c = addCustomer(3, "Gamma Ltd", "", 0, 20);
    window->RefreshGrid();
    selectOnly({a, b, c});
    const QStringList asked{"Print 3 cheques in batch automatically?",
                            "On 1 of the 3 cheques, the amount runs past the edge of the cheque and will be cut "
                            "off:\nBeta Ltd: the amount in words (line 2)\nPrint all 3 cheques anyway?"};
    for (const bool goOn : {false, true}) {
        SCOPED_TRACE(goOn);
        const qsizetype before = dialogs.Questions().size();
        dialogs.AnswerQuestion(true);
        dialogs.AnswerQuestion(goOn);
        window->chequeAction->trigger();
        EXPECT_EQ(dialogs.Questions().mid(before), asked);
        ASSERT_EQ(pdf->JobsWritten(), goOn ? 3 : 0);
        for (const oid_t contact : {a, b, c}) EXPECT_EQ(layoutOf(contact) != 0, goOn);
    }
    const QStringList payees{"Alpha", "Beta", "Gamma"};
    for (int job = 1; job <= 3; ++job)
        EXPECT_NE(FindPdfWord(ReadPdfWords(pdf->JobFile(job)), payees[job - 1]), nullptr);
    EXPECT_EQ(dialogs.Messages(), QStringList());
}

TEST_F(ChequeActions, NoPrintsNothingAndAMissingPrinterIsSaidOnce)
{
    const oid_t a = addCustomer(1, "Alpha Ltd", "", 0, 1);
    const oid_t b = addCustomer(2, "Beta Ltd", "", 0, 2);
    window->RefreshGrid();
    selectOnly({a, b});
    dialogs.AnswerQuestion(false);
    window->chequeAction->trigger();
    EXPECT_EQ(pdf->JobsWritten(), 0);

    platform::UseNoPrinter();
    dialogs.AnswerQuestion(true);
    window->chequeAction->trigger();
    ASSERT_EQ(dialogs.Messages().size(), 1);
    EXPECT_TRUE(dialogs.Messages()[0].endsWith("No printer selected"));
    EXPECT_EQ(layoutOf(a), 0u);
    EXPECT_EQ(layoutOf(b), 0u);
}

TEST_F(ChequeActions, ABatchStopsAtAnAmountOutsideTheRange)
{
    const oid_t a = addCustomer(1, "Alpha Ltd", "", 0, 5);
    const oid_t b = addCustomer(2, "Beta Ltd", "", 0, -4);  // stored before amounts were checked
    const oid_t c = addCustomer(3, "Gamma Ltd", "", 0, 6);
    window->RefreshGrid();
    selectOnly({a, b, c});
    dialogs.AnswerQuestion(true);
    window->chequeAction->trigger();
    EXPECT_EQ(pdf->JobsWritten(), 1);
    EXPECT_EQ(dialogs.Messages(), QStringList{"The amount must be from 0 to 2,147,483,647.99."});
    EXPECT_EQ(layoutOf(b), 0u);
    EXPECT_EQ(layoutOf(c), 0u);
}

TEST_F(ChequeActions, ABoxThatClosesWithTheWindowLeavesTheFocusInTheMainWindow)
{
    const oid_t a = addCustomer(1, "Alpha Ltd", "", 0, 10);
    window->RefreshGrid();
    selectOnly({a});
    ASSERT_TRUE(activate(*window));
    window->grid->setFocus(Qt::TabFocusReason);
    ShownDialogs boxes;
    boxes.AnswerQuestion(false);  // the changed layout is not saved
    steps.push_back([](QDialog& form) {
        auto& cheque = dynamic_cast<TChequeForm&>(form);
        ASSERT_TRUE(activate(cheque));
        QTest::keyClicks(cheque.dollar, "S");
        QTest::keyClick(cheque.dollar, Qt::Key_F12);
    });
    window->chequeAction->trigger();
    EXPECT_EQ(boxes.Questions().size(), 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == window.get(); }));
    EXPECT_EQ(QApplication::focusWidget(), window->grid);
}

TEST_F(ChequeActions, AfterTheWindowClosesTheRowShowsTheStoredAmount)
{
    const oid_t a = addCustomer(1, "Alpha Ltd", "", 0, 10);
    window->RefreshGrid();
    selectOnly({a});
    window->grid->SetCells(11, rowOf(a), "stale");
    steps.push_back([](QDialog& form) {
        auto& cheque = dynamic_cast<TChequeForm&>(form);
        EXPECT_EQ(cheque.name->text(), "Alpha Ltd");
        EXPECT_EQ(cheque.amount->text(), "10.00");
        cheque.amount->setText("77.7");
        EXPECT_TRUE(cheque.printActionExecute());
        cheque.exitAction->trigger();
    });
    window->chequeAction->trigger();
    EXPECT_EQ(formsShown, 1);
    EXPECT_EQ(pdf->JobsWritten(), 1);
    EXPECT_EQ(window->grid->Cells(11, rowOf(a)), "77.70");

    steps.push_back([](QDialog& form) { dynamic_cast<TChequeForm&>(form).exitAction->trigger(); });
    window->grid->SetCells(11, rowOf(a), "stale");
    window->chequeAction->trigger();  // closed without printing: the cell is rewritten all the same
    EXPECT_EQ(window->grid->Cells(11, rowOf(a)), "77.70");
}
