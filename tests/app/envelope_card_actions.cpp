// The main window's envelope and card actions, and the editor's double click
// on its card picture: envelopes printed to PDF files, one job per contact.
#include "contacts_fixture.h"

#include "appcore/picture.h"
#include "documents/cardform.h"
#include "documents/envelopeform.h"
#include "pdf_words.h"
#include "platform/printer.h"

#include <QTemporaryDir>

namespace {

class EnvelopeCardActions : public PrintingContactsTest {
protected:
    EnvelopeCardActions() { resolution = 150; }
    static oid_t addLayout(const char* name, int companyLeft)
    {
        TEnvelopeForm maker;
        maker.loadSettingList({});  // the default layout on first use
        EnvelopeSetup s;
        maker.readSetting(s);
        s.name = name;
        s.companyNameLeft = int2(companyLeft);
        const oid_t oid = insert(s).getOid();
        EXPECT_TRUE(database.commit());
        return oid;
    }
    static void update(oid_t contact, const std::function<void(Customer&)>& change)
    {
        dbCursor<Customer> c(dbCursorForUpdate);
        ASSERT_TRUE(c.at(dbReference<Customer>(contact)));
        zarvoBuffer t;
        for (const char** s : {&c->name, &c->address1, &c->person, &c->email}) *s = t.put(*s);
        change(*c);
        ASSERT_TRUE(c.update());
        ASSERT_TRUE(database.commit());
    }
    // Where the company name printed on job n, in mm from the left.
    double companyLeft(int job, const QString& firstWord)
    {
        const auto words = ReadPdfWords(pdf->JobFile(job));
        const PdfWord* w = FindPdfWord(words, firstWord);
        return w ? w->left : -1;
    }
};

}  // namespace

TEST_F(EnvelopeCardActions, ABatchPrintsOneEnvelopePerContactWithItsOwnLayout)
{
    const oid_t a = addCustomer(1, "Alpha Ltd"), b = addCustomer(2, "Beta Ltd"), c = addCustomer(3, "Gamma Ltd");
    update(a, [](Customer& r) { r.address1 = "1 Alpha Road"; });
    update(b, [](Customer& r) { r.address1 = "2 Beta Road"; });
    update(c, [](Customer& r) { r.address1 = "3 Gamma Road"; });
    const oid_t l1 = addLayout("L1", 60);  // "Envelope" was made first
    const oid_t l2 = addLayout("L2", 90);
    (void)l1;
    update(a, [&](Customer& r) { r.envelopeSetup = dbReference<EnvelopeSetup>(l2); });
    window->RefreshGrid();
    selectOnly({a, b, c});
    dialogs.AnswerQuestion(true);
    window->envelopeAction->trigger();
    EXPECT_EQ(dialogs.Questions(), QStringList{"Print 3 envelopes in batch automatically?"});
    EXPECT_EQ(formsShown, 0);
    ASSERT_EQ(pdf->JobsWritten(), 3);
    EXPECT_TRUE(PdfPageText(ReadPdfWords(pdf->JobFile(1))).contains("1 Alpha Road"));
    EXPECT_TRUE(PdfPageText(ReadPdfWords(pdf->JobFile(2))).contains("2 Beta Road"));
    EXPECT_TRUE(PdfPageText(ReadPdfWords(pdf->JobFile(3))).contains("3 Gamma Road"));
    EXPECT_NEAR(companyLeft(1, "Alpha"), 90, 1);
    EXPECT_NEAR(companyLeft(2, "Beta"), 60, 1);  // the first layout, not Alpha's
}

TEST_F(EnvelopeCardActions, WithoutAPrinterABatchSaysSoOnceAndStops)
{
    const oid_t a = addCustomer(1, "Alpha Ltd"), b = addCustomer(2, "Beta Ltd");
    window->RefreshGrid();
    selectOnly({a, b});
    platform::UseNoPrinter();
    dialogs.AnswerQuestion(true);
    window->envelopeAction->trigger();
    ASSERT_EQ(dialogs.Messages().size(), 1);
    EXPECT_TRUE(dialogs.Messages()[0].endsWith("No printer selected")) << dialogs.Messages()[0].toStdString();
}

TEST_F(EnvelopeCardActions, OneContactOpensTheWindowOnItsAddress)
{
    const oid_t a = addCustomer(1, "Alpha Ltd");
    update(a, [](Customer& r) { r.person = "Ann"; });
    window->RefreshGrid();
    selectOnly({a});
    steps.push_back([&](QDialog& f) {
        auto& w = dynamic_cast<TEnvelopeForm&>(f);
        EXPECT_EQ(w.companyName->text(), "Alpha Ltd");
        EXPECT_EQ(w.attention->text(), "Ann");
        EXPECT_EQ(w.contact, a);
        EXPECT_EQ(w.category->currentText(), "Envelope");
        w.exitAction->trigger();
    });
    window->envelopeAction->trigger();
    EXPECT_EQ(formsShown, 1);
}

TEST_F(EnvelopeCardActions, TheCardActionShowsTheCardOrSaysWhy)
{
    window->grid->ClearRowSelect();
    window->cardAction->trigger();
    EXPECT_EQ(dialogs.Messages().last(), "Please use mouse to select the customer first.");

    const oid_t plain = addCustomer(1, "No Card"), broken = addCustomer(2, "Broken"), good = addCustomer(3, "Good");
    QImage card(30, 20, QImage::Format_RGB32);
    card.fill(Qt::green);
    const QByteArray jpeg = EncodeJpeg(card, 90);
    update(broken, [](Customer& r) {
        static const int1 junk[] = {int1(0xFF), int1(0xD8), 1, 2, 3};
        r.card.setData(junk, 5);
    });
    update(good, [&](Customer& r) { r.card.setData(reinterpret_cast<const int1*>(jpeg.constData()), jpeg.size()); });
    window->RefreshGrid();
    selectOnly({plain});
    window->cardAction->trigger();
    EXPECT_EQ(dialogs.Messages().last(), "This customer does not contain card image.");
    selectOnly({broken});
    window->cardAction->trigger();
    EXPECT_EQ(dialogs.Messages().last(), "The card image cannot be read.");
    steps.push_back([](QDialog& f) {
        auto& w = dynamic_cast<TCardForm&>(f);
        EXPECT_EQ(w.windowTitle(), "Card Image");
        EXPECT_EQ(w.Picture().size(), QSize(30, 20));
        w.cCancel->click();
    });
    selectOnly({good});
    window->cardAction->trigger();
    EXPECT_EQ(formsShown, 1);
}

TEST_F(EnvelopeCardActions, DoubleClickOnTheEditorsPictureOpensTheCardWindow)
{
    TMainForm editor(window.get());
    QImage picture(12, 8, QImage::Format_RGB32);
    picture.fill(Qt::yellow);
    editor.setPicture(picture);
    steps.push_back([](QDialog& f) {
        auto& w = dynamic_cast<TCardForm&>(f);
        EXPECT_EQ(w.Picture().size(), QSize(12, 8));
        w.cCancel->click();
    });
    editor.ImageDblClick();
    EXPECT_EQ(formsShown, 1);
}
