// The cheque window on a scratch database: layouts, field checks, printing to
// PDF files and what printing stores on the contact.
#include "app_environment.h"
#include "appcore/amounts.h"
#include "documents/chequeform.h"
#include "documents/chequewording.h"
#include "documents/envelopeform.h"
#include "flush_fails.h"
#include "palettes.h"
#include "pdf_words.h"
#include "platform/converterror.h"
#include "platform/dialogs.h"
#include "platform/printer.h"
#include "printing/pvpreview.h"
#include "scratch_fixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <memory>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// How many pixels of a picture have this colour, give or take `within` steps.
int pixelsOf(const QImage& picture, const QColor& colour, int within = 12)
{
    int n = 0;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            if (const QColor p = picture.pixelColor(x, y); std::abs(p.red() - colour.red()) +
                                                               std::abs(p.green() - colour.green()) +
                                                               std::abs(p.blue() - colour.blue()) < within)
                ++n;
    return n;
}

class ChequeWindow : public ScratchDatabaseTest {
protected:
    ChequeWindow()
    {
        pdfSetup.resolution = 600;
        pdfSetup.margins = QMarginsF(6, 4, 6, 4);  // positions count from the sheet's corner all the same
    }
    void TearDown() override
    {
        form.reset();
        ScratchDatabaseTest::TearDown();
    }

    oid_t addContact(const char* name, real4 amount, dbReference<ChequeSetup> layout = {})
    {
        Customer c;
        c.name = name;
        c.amount = amount;
        c.chequeSetup = layout;
        const dbReference<Customer> ref = insert(c);
        EXPECT_TRUE(database.commit());
        return ref.getOid();
    }
    Customer contactNow(oid_t oid)
    {
        dbCursor<Customer> c;
        EXPECT_TRUE(c.at(dbReference<Customer>(oid)));
        Customer copy;
        copy.amount = c->amount;
        copy.chequeSetup = c->chequeSetup;
        database.commit();
        return copy;
    }
    TChequeForm& open(oid_t contact, const QString& payee, const QString& amount,
                      dbReference<ChequeSetup> layout = {})
    {
        form = std::make_unique<TChequeForm>();
        form->name->setText(payee);
        form->contact = contact;
        form->amount->setText(amount);
        form->loadSettingList(layout);
        return *form;
    }
    std::size_t layouts()
    {
        dbCursor<ChequeSetup> c;
        const std::size_t n = c.select();
        database.commit();
        return n;
    }

    std::unique_ptr<TChequeForm> form;
};

}  // namespace

TEST_F(ChequeWindow, FirstUseCreatesTheDefaultLayoutAndPrintsWhereItSays)
{
    const oid_t payee = addContact("Acme Supplies", 0);
    TChequeForm& w = open(payee, "Acme Supplies", "1234.12");
    database.rollback();  // the default layout was committed when it was made
    {
        dbCursor<ChequeSetup> c;
        ASSERT_EQ(c.select(), 1u);
        EXPECT_STREQ(c->name, "BANK");
        EXPECT_EQ(c->pageHeight, 90);
        EXPECT_EQ(c->pageWidth, 170);
        EXPECT_STREQ(c->dollar, "DOLLARS");
        EXPECT_STREQ(c->cent, "CENTS");
        EXPECT_EQ(c->separateLen, 36);
        EXPECT_EQ(c->amountLeft, 140);
        EXPECT_EQ(c->nameFont.length(), 60u);
        database.commit();
    }
    EXPECT_EQ(w.amount->text(), "1,234.12");
    EXPECT_EQ(w.amountText->text(), "ONE THOUSAND TWO HUNDRED AND THIRTY");
    EXPECT_EQ(w.amount2->text(), "FOUR DOLLARS AND TWELVE CENTS");

    // The text cells' tops sit where the layout says; read back through faces
    // whose PDF ascent is the one drawn with (URW Gothic's is smaller).
    for (auto pick : {&TChequeForm::nameFontClick, &TChequeForm::amountTextFontClick}) {
        QFont sans("Liberation Sans");
        sans.setPixelSize(18);
        dialogs.AnswerFont(platform::FontChoice{sans, Qt::black});
        (w.*pick)();
    }
    ASSERT_TRUE(w.printActionExecute());
    ASSERT_EQ(printer->JobsWritten(), 1);
    const auto words = ReadPdfWords(printer->JobFile(1));
    struct Expect {
        const char* word;
        double left, top;
    } expected[] = {{"Acme", 20, 30}, {"1,234.12", 140, 38}, {"ONE", 30, 38}, {"FOUR", 10, 45}, {"CENTS", -1, 45}};
    for (const Expect& e : expected) {
        const PdfWord* found = FindPdfWord(words, e.word);
        ASSERT_NE(found, nullptr) << e.word << " in " << PdfPageText(words).toStdString();
        if (e.left >= 0) { EXPECT_NEAR(found->left, e.left, 1.0) << e.word; }
        EXPECT_NEAR(found->top, e.top, 1.0) << e.word;
    }
    EXPECT_TRUE(PdfPageText(words).contains("ONE THOUSAND TWO HUNDRED AND THIRTY"));
    EXPECT_TRUE(PdfPageText(words).contains("FOUR DOLLARS AND TWELVE CENTS"));
    EXPECT_LT(longestDarkRow(1), 0.5);  // no header or footer rule on cheque stock

    const Customer stored = contactNow(payee);
    EXPECT_FLOAT_EQ(stored.amount, 1234.12f);
    EXPECT_EQ(stored.chequeSetup, w.SelectedSetting());
}

TEST_F(ChequeWindow, PrintingPrintsTheWordsAsEditedAndTheDateAsTyped)
{
    TChequeForm& w = open(0, "Hand", "7");
    w.amountText->setText("SEVEN DOLLARS EXACTLY");
    w.amount2->clear();
    w.day->setText("31");
    ASSERT_TRUE(w.printActionExecute());
    const QString text = PdfPageText(ReadPdfWords(printer->JobFile(1)));
    EXPECT_TRUE(text.contains("SEVEN DOLLARS EXACTLY"));
    EXPECT_TRUE(text.contains("31"));
    EXPECT_EQ(dialogs.Messages(), QStringList());  // contact 0: printed, nothing stored, nothing said
}

TEST_F(ChequeWindow, AChosenFontIsStoredAsItsRecordAndComesBack)
{
    TChequeForm& w = open(0, "Font", "5");
    QFont serif("Liberation Serif");
    serif.setPixelSize(30);
    serif.setBold(true);
    dialogs.AnswerFont(platform::FontChoice{serif, QColor(0x11, 0x22, 0x33)});
    w.amountTextFontClick();
    ASSERT_EQ(dialogs.fontRequests.size(), 1u);
    EXPECT_TRUE(dialogs.fontRequests[0].font.family().startsWith("URW Gothic"));
    EXPECT_TRUE(w.modified);
    dialogs.AnswerQuestion(true);
    w.savelActionExecute();
    EXPECT_EQ(dialogs.Messages().last(), "Setting 'BANK' has been saved successfully.");
    EXPECT_FALSE(w.modified);

    dbCursor<ChequeSetup> c;
    ASSERT_EQ(c.select(), 1u);
    ASSERT_EQ(c->amountTextFont.length(), 60u);
    const auto lf = platform::LogFont::FromBytes(c->amountTextFont.get(), 60);
    ASSERT_TRUE(lf);
    EXPECT_EQ(lf->FaceName(), "Liberation Serif");
    EXPECT_EQ(lf->Height(), -30);
    EXPECT_EQ(lf->Weight(), 700);
    EXPECT_EQ(c->amountTextColor, 0x332211);
    database.commit();

    // the paper takes it back
    TChequeForm again;
    again.name->setText("Font");
    again.loadSettingList({});
    ASSERT_TRUE(again.printActionExecute());
    const QString job = printer->JobFile(printer->JobsWritten());
    EXPECT_TRUE(RunTool("pdffonts", {job}).contains("LiberationSerif-Bold"));
    QTemporaryDir scratch;
    EXPECT_GT(pixelsOf(PdfPageImage(job, 1, 300, scratch), QColor(0x11, 0x22, 0x33)), 500);
}

// A font answered as it was offered (a face not installed here) leaves the
// stored record byte for byte, though the layout counts as changed.
TEST_F(ChequeWindow, AFontKeptAsItWasKeepsItsStoredBytes)
{
    TChequeForm& w = open(0, "Font", "5");
    const auto storedFont = [] {
        dbCursor<ChequeSetup> c;
        EXPECT_EQ(c.select(), 1u);
        const QByteArray bytes(reinterpret_cast<const char*>(c->amountTextFont.get()), int(c->amountTextFont.length()));
        database.commit();
        return bytes;
    };
    const QByteArray before = storedFont();
    dialogs.AnswerFont(platform::FontChoice{platform::LogFont::FromBytes(before)->ToQFont(), Qt::black});
    w.amountTextFontClick();
    EXPECT_TRUE(w.modified);
    w.savelActionExecute();
    EXPECT_EQ(storedFont(), before);
}

TEST_F(ChequeWindow, NothingIsStoredWhenNothingWasPrinted)
{
    const oid_t payee = addContact("Nobody", 12.5f);
    TChequeForm& w = open(payee, "Nobody", "99");
    platform::UseNoPrinter();
    EXPECT_FALSE(w.printActionExecute());
    ASSERT_EQ(dialogs.Messages().size(), 1);
    EXPECT_TRUE(dialogs.Messages()[0].endsWith("No printer selected"));
    const Customer stored = contactNow(payee);
    EXPECT_FLOAT_EQ(stored.amount, 12.5f);
    EXPECT_TRUE(stored.chequeSetup.isNull());
}

TEST_F(ChequeWindow, AmountsOutsideTheRangeChangeNothing)
{
    const oid_t payee = addContact("Range", 3);
    TChequeForm& w = open(payee, "Range", "3");
    const QString words = w.amountText->text();
    for (const char* bad : {"-1", "2147483648"}) {
        w.amount->setText(bad);
        EXPECT_THROW(w.updateActionExecute(), ChequeAmountRangeError);
        EXPECT_THROW(w.printActionExecute(), ChequeAmountRangeError);
        EXPECT_EQ(w.amount->text(), bad);
        EXPECT_EQ(w.amountText->text(), words);
    }
    w.amount->setText("abc");
    EXPECT_THROW(w.updateActionExecute(), AmountConvertError);
    EXPECT_EQ(printer->JobsWritten(), 0);
    EXPECT_FLOAT_EQ(contactNow(payee).amount, 3.0f);
}

TEST_F(ChequeWindow, AnAmountTheContactCannotHoldToTheCentIsPrintedButNotKept)
{
    const oid_t payee = addContact("Big", 10);
    TChequeForm& w = open(payee, "Big", "1234567.89");
    dialogs.AnswerQuestion(true);  // printed though the amount runs past the edge
    ASSERT_TRUE(w.printActionExecute());
    EXPECT_TRUE(PdfPageText(ReadPdfWords(printer->JobFile(1))).contains("1,234,567.89"));
    const Customer stored = contactNow(payee);
    EXPECT_FLOAT_EQ(stored.amount, 10.0f);            // the previous default stays
    EXPECT_EQ(stored.chequeSetup, w.SelectedSetting());  // the layout is kept
    // printed, and the contact keeps 10.00; saving the layout says the same
    const QString notKept = "The contact keeps its previous default amount 10.00. " +
                            QString::fromStdString(ContactAmountProblem(1234567.89));
    w.savelActionExecute();
    EXPECT_EQ(dialogs.Messages(), (QStringList{"The cheque has been printed. " + notKept,
                                               "Setting 'BANK' has been saved successfully.", notKept}));
}

// An amount that runs past the cheque's edge, as the printer prints it, is
// named before the cheque prints: No prints and stores nothing, Yes prints it
// as it stands, cut where the question says; the preview marks the cut.
TEST_F(ChequeWindow, AnAmountPastTheChequesEdgeIsNamedBeforeItPrints)
{
    const struct {
        const char* typed;
        const char* cut;  // what the question names; null: it fits and nothing is asked
        std::size_t lines;
    } cases[] = {
        {"127777.77", "the amount in words (line 2) runs", 1},
        {"1234567.89", "the amount in figures and the amount in words (line 2) run", 2},
        {"1234.12", nullptr, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        const oid_t payee = addContact("Acme Supplies", 10);
        TChequeForm& w = open(payee, "Acme Supplies", "10");
        w.amount->clear();
        QTest::keyClicks(w.amount, c.typed);
        QTest::keyClick(w.amount, Qt::Key_Return);

        // red beside the page's right edge when something is cut, and only then
        const QImage shown = w.PvPreview1->PageImage().grab().toImage();
        int red = 0, leftmostRed = shown.width();
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x)
                if (const QColor p = shown.pixelColor(x, y); p.red() > 200 && p.green() < 60 && p.blue() < 60)
                    ++red, leftmostRed = std::min(leftmostRed, x);
        EXPECT_EQ(red > 0, c.cut != nullptr);
        EXPECT_GT(leftmostRed, shown.width() * 9 / 10);

        const int jobs = printer->JobsWritten();
        const qsizetype asked = dialogs.Questions().size();
        if (c.cut) {
            dialogs.AnswerQuestion(false);
            EXPECT_FALSE(w.printActionExecute());
            EXPECT_EQ(dialogs.Questions().mid(asked),
                      QStringList{QString("On the cheque to Acme Supplies, ") + c.cut +
                                  " past the edge of the cheque and will be cut off.\nPrint it anyway?"});
            EXPECT_EQ(printer->JobsWritten(), jobs);
            EXPECT_FLOAT_EQ(contactNow(payee).amount, 10.0f);
            EXPECT_TRUE(contactNow(payee).chequeSetup.isNull());
            dialogs.AnswerQuestion(true);
        }
        ASSERT_TRUE(w.printActionExecute());
        EXPECT_EQ(dialogs.Questions().size(), asked + (c.cut ? 2 : 0));
        ASSERT_EQ(printer->JobsWritten(), jobs + 1);
        EXPECT_FALSE(contactNow(payee).chequeSetup.isNull());

        // on paper each line named ends where it was measured to, past the
        // edge; a cheque that fits has all its words within it
        const auto words = ReadPdfWords(printer->JobFile(jobs + 1));
        const std::vector<TPvRect> marks = w.PvPreview1->CutMarks();
        EXPECT_EQ(marks.size(), c.lines);
        for (const TPvRect& m : marks) {
            double end = 0;
            for (const PdfWord& word : words)
                if (const double middle = (word.top + word.bottom) / 2; middle > m.Top / 100 && middle < m.Bottom / 100)
                    end = std::max(end, word.right);
            EXPECT_NEAR(end, double(m.Right / 100), 0.2);
        }
        for (const PdfWord& word : words)
            EXPECT_TRUE(!marks.empty() || word.right <= 170.0) << word.text.toStdString();
    }
}

TEST_F(ChequeWindow, ABatchWritesTheDatabaseOnlyForWhatChanges)
{
    const oid_t a = addContact("Alpha", 10.5f), b = addContact("Beta", 20);
    EXPECT_EQ(TChequeForm().printBatch({a, b}), 2);  // the first cheques store the layout on each
    const dbReference<ChequeSetup> layout = contactNow(a).chequeSetup;
    EXPECT_FALSE(layout.isNull());
    EXPECT_EQ(contactNow(b).chequeSetup, layout);

    FlushCounter counter;
    QFile file(scratch.filePath("Quillet.zrv"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    EXPECT_EQ(TChequeForm().printBatch({a, b}), 2);  // now what they store is what they hold
    EXPECT_EQ(counter.flushes, 0);
    EXPECT_EQ(file.seek(0) ? file.readAll() : QByteArray(), before);
    ASSERT_EQ(printer->JobsWritten(), 4);
    EXPECT_TRUE(PdfPageText(ReadPdfWords(printer->JobFile(4))).contains("Beta"));
    EXPECT_EQ(QDir(scratch.path()).entryList({"*.pdf*"}, QDir::Files).size(), 4);  // no passing names left
}

TEST_F(ChequeWindow, ABatchKilledAtAChequeKeepsWhatTheChequesBeforeItStored)
{
    const std::vector<oid_t> contacts = {addContact("Alpha", 1), addContact("Beta", 2), addContact("Gamma", 3)};
    database.close();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (!database.open("Quillet")) _exit(1);
        TChequeForm batch;
        int printing = 0;
        batch.PvPreview1->BeforePrint = [&printing](TPvPreview*) {
            if (++printing == 3) raise(SIGKILL);
        };
        batch.printBatch(contacts);
        _exit(2);  // not killed
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
    ASSERT_TRUE(database.open("Quillet"));
    EXPECT_FALSE(contactNow(contacts[0]).chequeSetup.isNull());
    EXPECT_FALSE(contactNow(contacts[1]).chequeSetup.isNull());
    EXPECT_TRUE(contactNow(contacts[2]).chequeSetup.isNull());
    EXPECT_TRUE(PdfPageText(ReadPdfWords(printer->JobFile(2))).contains("Beta"));
    EXPECT_FALSE(QFile::exists(printer->JobFile(3)));
}

TEST_F(ChequeWindow, LayoutsAreAddedRenamedAndDeletedWithTheirChecks)
{
    TChequeForm& w = open(0, "L", "1");
    w.deleteCategoryClick();
    EXPECT_EQ(dialogs.Messages().last(), "Cannot delete the last setting.");

    dialogs.AnswerText(QString("SMALL"));
    w.pageWidth->setText("150");
    w.insertCategoryClick();
    EXPECT_EQ(layouts(), 2u);
    EXPECT_EQ(w.category->currentText(), "SMALL");
    dialogs.AnswerText(QString("PERSONAL"));
    w.updateCategoryClick();
    EXPECT_EQ(w.category->currentText(), "PERSONAL");

    const oid_t user = addContact("User", 1, w.SelectedSetting());
    dialogs.AnswerQuestion(true);
    w.deleteCategoryClick();
    EXPECT_EQ(dialogs.Questions().last(), "Delete setting 'PERSONAL'?");
    EXPECT_EQ(dialogs.Messages().last(), "This setting has been used by some customers.");
    EXPECT_EQ(layouts(), 2u);
    (void)user;

    w.category->setCurrentIndex(0);
    w.categoryChange();
    dialogs.AnswerQuestion(true);
    w.deleteCategoryClick();
    database.rollback();  // deleting committed at once
    EXPECT_EQ(layouts(), 1u);
    ASSERT_EQ(w.category->count(), 1);
    EXPECT_EQ(w.category->itemText(0), "PERSONAL");
    EXPECT_EQ(w.pageWidth->text(), "150");
}

TEST_F(ChequeWindow, EditsMustFitTheirFields)
{
    TChequeForm& w = open(0, "F", "1");
    const auto before = [&] {
        dbCursor<ChequeSetup> c;
        c.select();
        const int2 left = c->nameLeft;
        database.commit();
        return left;
    };
    struct Bad {
        QLineEdit* edit;
        const char* text;
        void (TChequeForm::*use)();
    } bad[] = {{w.nameLeft, "12x", &TChequeForm::refreshClick},
               {w.nameTop, "40000", &TChequeForm::refreshClick},
               {w.separateLen, "-32769", &TChequeForm::updateActionExecute},
               {w.pageHeight, "9o", &TChequeForm::refreshClick},
               {w.imageLeft, "", &TChequeForm::refreshClick}};
    for (const Bad& b : bad) {
        const QString old = b.edit->text();
        w.nameLeft->setText("77");
        b.edit->setText(b.text);
        EXPECT_THROW((w.*b.use)(), platform::EConvertError) << b.text;
        EXPECT_THROW(w.savelActionExecute(), platform::EConvertError) << b.text;
        EXPECT_EQ(before(), 20) << b.text;
        b.edit->setText(old);
    }
    w.nameTop->setText("-32768");
    w.separateLen->setText("32767");
    EXPECT_NO_THROW(w.savelActionExecute());
    EXPECT_EQ(before(), 77);
}

TEST_F(ChequeWindow, PicturesAreCheckedBeforeTheyAreTaken)
{
    TChequeForm& w = open(0, "P", "1");
    QImage dot(8, 4, QImage::Format_RGB32);
    dot.fill(Qt::red);
    const QString good = scratch.filePath("logo.bmp"), broken = scratch.filePath("broken.jpg"),
                  other = scratch.filePath("logo.gif");
    ASSERT_TRUE(dot.save(good, "BMP"));
    QFile f(broken);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("\xFF\xD8\xFF garbage");
    f.close();
    ASSERT_TRUE(dot.save(other, "GIF") || QFile::copy(good, other));

    dialogs.AnswerFile(good);
    w.imageButtonClick();
    EXPECT_EQ(w.image.size(), QSize(8, 4));
    for (const QString& path : {broken, other}) {
        dialogs.AnswerFile(path);
        w.imageButtonClick();
        EXPECT_EQ(w.image.size(), QSize(8, 4)) << path.toStdString();
    }
    EXPECT_EQ(dialogs.Messages().size(), 1);  // the broken JPEG is named; other endings are passed over
    w.savelActionExecute();

    // stored bytes that are no sound bitmap show no picture and stay until replaced
    {
        dbCursor<ChequeSetup> c(dbCursorForUpdate);
        ASSERT_EQ(c.select(), 1u);
        EXPECT_GT(c->image.length(), 0u);
        const char junk[] = "BM\x10\x00\x00\x00 not a bitmap at all, with a huge size";
        c->image2.setData(reinterpret_cast<const int1*>(junk), sizeof junk);
        zarvoBuffer t;
        c->name = t.put(c->name), c->cent = t.put(c->cent), c->dollar = t.put(c->dollar), c->string = "";
        ASSERT_TRUE(c.update());
        ASSERT_TRUE(database.commit());
    }
    TChequeForm again;
    again.loadSettingList({});
    EXPECT_EQ(again.image.size(), QSize(8, 4));
    EXPECT_TRUE(again.image2.isNull());
}

// On the screen the printed items' edits keep the desktop's colours and font,
// whatever the layout prints them in: their text reads at 4.5:1 or better in
// the light, dark and high-contrast palettes, focused or not, and at an 18 pt
// desktop font they are as tall as the positions beside them. The envelope
// window's items are made by the same table.
TEST_F(ChequeWindow, TheItemsReadInEveryPaletteAndGrowWithTheDesktopsFont)
{
    const QFont before = QApplication::font();
    QFont large = before;
    large.setPointSize(18);
    QApplication::setFont(large);
    TChequeForm& cheque = open(0, "Acme Supplies", "1234.12");
    TEnvelopeForm envelope;
    for (QLineEdit* e : {envelope.companyName, envelope.address1, envelope.address2, envelope.address3,
                         envelope.attention})
        e->setText("Harbour Road");
    envelope.title->setPlainText("Zarvo Ltd");
    envelope.loadSettingList({});
    const std::pair<QWidget*, QLineEdit*> items[] = {
        {cheque.name, cheque.nameLeft},         {cheque.amount, cheque.amountLeft},
        {cheque.amountText, cheque.amountTextLeft}, {cheque.amount2, cheque.amount2Left},
        {cheque.day, cheque.dayLeft},           {cheque.month, cheque.monthLeft},
        {cheque.year, cheque.yearLeft},         {envelope.title, nullptr},
        {envelope.companyName, envelope.companyNameLeft}, {envelope.address1, envelope.address1Left},
        {envelope.address2, envelope.address2Left}, {envelope.address3, envelope.address3Left},
        {envelope.attention, envelope.attentionLeft},
    };
    for (QDialog* w : std::initializer_list<QDialog*>{&cheque, &envelope}) {
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w));
    }
    for (const auto& [edit, left] : items) {
        if (left) { EXPECT_EQ(edit->height(), left->height()) << edit->accessibleName().toStdString(); }
    }
    for (const NamedPalette& named : testPalettes()) {
        const PaletteScope scope(named.palette);
        ASSERT_TRUE(QTest::qWaitFor([&items, &named] {
            return std::all_of(std::begin(items), std::end(items), [&named](const auto& item) {
                return item.first->palette().color(QPalette::Base) == named.palette.color(QPalette::Base);
            });
        }));
        double least = 100;
        for (bool focused : {false, true}) {
            for (const auto& [edit, left] : items) {
                if (focused) {
                    edit->window()->activateWindow();
                    ASSERT_TRUE(QTest::qWaitForWindowActive(edit->window()));
                    edit->setFocus();
                    ASSERT_TRUE(QTest::qWaitFor([e = edit] { return e->hasFocus(); }));
                }
                // text and base, not the palette's selection colours
                if (auto* line = qobject_cast<QLineEdit*>(edit)) line->deselect();
                // the text's area, clear of the frame
                const double contrast = textContrast(edit->grab().toImage(), edit->rect().adjusted(4, 4, -4, -4));
                EXPECT_GE(contrast, platform::ReadableContrast)
                    << named.name << (focused ? ", focused: " : ": ") << edit->accessibleName().toStdString();
                least = std::min(least, contrast);
            }
        }
        std::printf("layout items in %s: %.2f:1 at least\n", named.name.c_str(), least);
    }
    QApplication::setFont(before);
}

TEST_F(ChequeWindow, KeysAndButtonsOfTheWindow)
{
    TChequeForm& w = open(0, "K", "1");
    w.name->setText("Changed");
    QKeyEvent a(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
    QApplication::sendEvent(w.name, &a);
    EXPECT_TRUE(w.modified);
    dialogs.AnswerQuestion(false);
    w.exitActionExecute();
    EXPECT_EQ(dialogs.Questions().last(), "Setting 'BANK' has beem modified, save it now?");
    EXPECT_EQ(w.result(), 1);

    w.amount->setText("25.55");
    w.hyphen->setChecked(true);
    w.singleAndClick();
    EXPECT_EQ(w.amountText->text(), "TWENTY-FIVE DOLLARS AND FIFTY-FIVE");
    EXPECT_EQ(w.amount2->text(), "CENTS");
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r");
    QApplication::sendEvent(w.amount, &enter);
    EXPECT_EQ(w.amount->text(), "25.55");
    w.amount->setText("1234567");
    QApplication::sendEvent(w.amount, &enter);
    EXPECT_EQ(w.amount->text(), "1,234,567.00");

    w.englishMonth->setChecked(true);
    w.englishMonthClick();
    EXPECT_EQ(w.month->text().size(), 3);

    // Enter on a position takes and selects it (changing nothing); a font
    // button restyles every line printed in its font; a picture's button
    // removes the picture
    w.modified = false;
    w.nameLeft->setText("33");
    QApplication::sendEvent(w.nameLeft, &enter);
    EXPECT_FALSE(w.modified);
    EXPECT_EQ(w.nameLeft->selectedText(), "33");
    QFont serif("Liberation Serif");
    serif.setPixelSize(20);
    dialogs.AnswerFont(platform::FontChoice{serif, Qt::blue});
    w.amountTextFont->click();
    EXPECT_GT(pixelsOf(w.PvPreview1->PageImage().grab().toImage(), Qt::blue, 150), 20) << "the preview takes the colour";
    EXPECT_EQ(w.amount2->font(), w.amount2Left->font());  // the edits keep the desktop's
    EXPECT_EQ(w.amount2->palette().color(QPalette::Text), w.amount2Left->palette().color(QPalette::Text));
    w.image = QImage(2, 2, QImage::Format_RGB32);
    w.deleteImageButton->click();
    EXPECT_TRUE(w.image.isNull());
}

namespace {
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment);
}  // namespace
