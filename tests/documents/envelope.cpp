// The envelope window on a scratch database: the default layout, where the
// items print, orientation, saving on the contact and the layout list.
#include "register_fixture.h"

#include "appcore/picture.h"
#include "documents/envelopeform.h"
#include "platform/converterror.h"
#include "printing/pvpreview.h"

#include <QComboBox>
#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRadioButton>

#include <memory>

namespace {

class Envelope : public RegisterTest {
protected:
    void TearDown() override
    {
        form.reset();
        RegisterTest::TearDown();
    }
    TEnvelopeForm& open(oid_t contact = 0, dbReference<EnvelopeSetup> layout = {})
    {
        form = std::make_unique<TEnvelopeForm>();
        form->companyName->setText("Acme Trading");
        form->address1->setText("1 Harbour Road");
        form->address2->setText("");
        form->address3->setText("");
        form->attention->setText("Mary Chan");
        form->contact = contact;
        form->loadSettingList(layout);
        return *form;
    }
    static oid_t addContact(const char* name)
    {
        Customer c;
        c.name = name;
        const oid_t oid = insert(c).getOid();
        EXPECT_TRUE(database.commit());
        return oid;
    }
    static std::vector<std::string> layoutNames()
    {
        std::vector<std::string> out;
        dbCursor<EnvelopeSetup> c;
        if (c.select() > 0) {
            do out.push_back(c->name);
            while (c.next());
        }
        database.commit();
        return out;
    }
    static QString pdfInfo(const QString& file)
    {
        QProcess p;
        p.start("pdfinfo", {file});
        p.waitForFinished(30000);
        return QString::fromUtf8(p.readAllStandardOutput());
    }
    std::unique_ptr<TEnvelopeForm> form;
};

}  // namespace

TEST_F(Envelope, TheFirstUseCreatesTheDefaultLayoutAndItemsPrintWhereItSays)
{
    TEnvelopeForm& w = open();
    database.rollback();  // the default layout was committed when it was made
    {
        dbCursor<EnvelopeSetup> c;
        ASSERT_EQ(c.select(), 1u);
        EXPECT_STREQ(c->name, "Envelope");
        EXPECT_EQ(c->pageHeight, 297);
        EXPECT_EQ(c->pageWidth, 210);
        EXPECT_STREQ(c->head, "To: ");
        EXPECT_STREQ(c->title, "");  // no made-up sender on a new user's envelopes
        EXPECT_TRUE(c->vertical);
        EXPECT_EQ(c->attentionFont.length(), 60u);
        database.commit();
    }
    EXPECT_EQ(w.windowTitle(), "Print Envelope");
    w.title->setPlainText("Sender One\nSender Two\nSender Three");
    ASSERT_TRUE(w.printActionExecute());
    ASSERT_EQ(printer->JobsWritten(), 1);
    const auto words = ReadPdfWords(printer->JobFile(1));
    const double tops[] = {8, 13, 18};
    const char* lines[] = {"One", "Two", "Three"};
    for (int i = 0; i < 3; ++i) {
        const PdfWord* word = FindPdfWord(words, lines[i]);
        ASSERT_NE(word, nullptr) << lines[i];
        EXPECT_NEAR(word->top, tops[i], 1.0) << lines[i];
    }
    const PdfWord* to = FindPdfWord(words, "To:");
    ASSERT_NE(to, nullptr);
    EXPECT_NEAR(to->left, 60, 1.0);
    EXPECT_NEAR(to->top, 60, 1.0);
    EXPECT_TRUE(PdfPageText(words).contains("To: Mary Chan")) << PdfPageText(words).toStdString();
    EXPECT_LT(longestDarkRow(1), 0.5);  // no header or footer rule on the envelope
    EXPECT_TRUE(pdfInfo(printer->JobFile(1)).contains(QRegularExpression("Page size:\\s+59\\d(\\.\\d+)? x 84\\d")));

    // landscape: a landscape sheet, the same places
    w.horizontalOrient->setChecked(true);
    ASSERT_TRUE(w.printActionExecute());
    EXPECT_TRUE(pdfInfo(printer->JobFile(2)).contains(QRegularExpression("Page size:\\s+84\\d(\\.\\d+)? x 59\\d")));
    const auto turned = ReadPdfWords(printer->JobFile(2));
    const PdfWord* company = FindPdfWord(turned, "Acme");
    ASSERT_NE(company, nullptr);
    EXPECT_NEAR(company->left, 60, 1.0);
    EXPECT_NEAR(company->top, 30, 1.0);
    ASSERT_TRUE(w.printActionExecute());  // again: still landscape
    EXPECT_TRUE(pdfInfo(printer->JobFile(3)).contains(QRegularExpression("Page size:\\s+84\\d(\\.\\d+)? x 59\\d")));

    // Enter in the sender block redraws and selects all of it; it changes nothing
    w.modified = false;
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r");
    QApplication::sendEvent(w.title, &enter);
    EXPECT_FALSE(w.modified);
    EXPECT_EQ(w.title->textCursor().selectedText().size(), w.title->toPlainText().size());
}

TEST_F(Envelope, SaveLinksTheLayoutToTheContact)
{
    const oid_t contact = addContact("Acme");
    TEnvelopeForm& w = open(contact);
    dialogs.AnswerText(QString("Second"));
    w.insertCategoryClick();
    ASSERT_EQ(layoutNames(), (std::vector<std::string>{"Envelope", "Second"}));
    w.companyNameLeft->setText("70");
    w.Image1 = QImage(8, 6, QImage::Format_RGB32);
    w.Image1.fill(Qt::red);
    w.savelActionExecute();
    EXPECT_EQ(dialogs.Messages().last(), "Setting 'Second' has been saved.");
    {
        dbCursor<Customer> c;
        ASSERT_TRUE(c.at(dbReference<Customer>(contact)));
        EXPECT_EQ(c->envelopeSetup, w.SelectedSetting());
        database.commit();
    }
    // the contact's next envelope opens on it, with its picture as JPEG bytes
    TEnvelopeForm& again = open(contact, w.SelectedSetting());
    EXPECT_EQ(again.category->currentText(), "Second");
    EXPECT_EQ(again.companyNameLeft->text(), "70");
    EXPECT_EQ(again.Image1.size(), QSize(8, 6));
    dbCursor<EnvelopeSetup> c(dbCursorForUpdate);
    ASSERT_TRUE(c.at(again.SelectedSetting()));
    EXPECT_EQ(uchar(c->image1.get()[0]), 0xFF);
    EXPECT_EQ(uchar(c->image1.get()[1]), 0xD8);
    database.commit();
}

TEST_F(Envelope, TheLastLayoutAndALayoutInUseAreNotDeleted)
{
    TEnvelopeForm& w = open();
    w.deleteCategoryClick();
    EXPECT_EQ(dialogs.Messages().last(), "Cannot delete the last setting.");
    dialogs.AnswerText(QString("Used"));
    w.insertCategoryClick();
    const oid_t contact = addContact("User");
    w.contact = contact;
    w.savelActionExecute();  // "Used" is now the contact's
    dialogs.AnswerQuestion(true);
    w.deleteCategoryClick();
    EXPECT_EQ(dialogs.Messages().last(), "This setting has been used by some customers.");
    EXPECT_EQ(layoutNames().size(), 2u);

    w.category->setCurrentIndex(0);
    dialogs.AnswerQuestion(true);
    w.deleteCategoryClick();  // "Envelope" is not in use: gone at once
    database.rollback();
    EXPECT_EQ(layoutNames(), std::vector<std::string>{"Used"});
}

TEST_F(Envelope, PicturesAndNumbersThatDoNotFitChangeNothing)
{
    TEnvelopeForm& w = open();
    const QString gif = scratch.path() + "/logo.gif";
    QImage(4, 4, QImage::Format_RGB32).save(gif, "GIF");
    dialogs.AnswerFile(gif);
    w.imageButtonClick();
    EXPECT_TRUE(w.Image1.isNull());
    const QString broken = scratch.path() + "/broken.jpg";
    QFile f(broken);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("\xFF\xD8\xFF\xE0 not really");
    f.close();
    w.Image1 = QImage(3, 3, QImage::Format_RGB32);
    dialogs.AnswerFile(broken);
    w.imageButtonClick();
    EXPECT_EQ(dialogs.Messages().size(), 1);
    EXPECT_EQ(w.Image1.size(), QSize(3, 3));

    for (QLineEdit* e : {w.titleTop, w.imageTop, w.imageLeft, w.pageHeight}) {
        const QString kept = e->text();
        e->setText(e == w.imageLeft ? "4294967296" : e == w.pageHeight ? "12a" : "40000");
        EXPECT_THROW(w.savelActionExecute(), platform::EConvertError);
        EXPECT_THROW(w.updateActionExecute(), platform::EConvertError);
        e->setText(kept);
    }
    w.imageLeft->setText("70000");  // 32 bits for this one
    w.savelActionExecute();
    dbCursor<EnvelopeSetup> c;
    ASSERT_EQ(c.select(), 1u);
    EXPECT_EQ(c->imageLeft, 70000);
    EXPECT_EQ(c->titleTop, 8);
    database.commit();
}
