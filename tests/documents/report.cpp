// The cheque report: the date range in local days, the layout filter, the
// totals of the selected rows and what a screen reader is told of them,
// deleting, closing, and the layout names it shows.
#include "register_fixture.h"

#include "accessible_events.h"
#include "documents/chequeform.h"
#include "documents/printpreviewform.h"
#include "documents/reportform.h"
#include "grid/listgrid.h"
#include "palettes.h"
#include "platform/screen.h"

#include <QAction>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QTest>

#include <memory>

namespace {

class Report : public RegisterTest {
protected:
    TReportForm& open()
    {
        form = std::make_unique<TReportForm>();
        return *form;
    }
    // The report of from .. to, "All" layouts unless one is named.
    TReportForm& query(QDate from, QDate to, int setting = 0)
    {
        TReportForm& r = form ? *form : open();
        r.fromDate->setDate(from);
        r.toDate->setDate(to);
        r.setting->setCurrentIndex(setting);
        r.queryActionExecute();
        return r;
    }
    QStringList column(int c) const
    {
        QStringList out;
        for (int r = 1; r < form->grid->RowCount(); ++r) out << QString::fromStdString(form->grid->Cells(c, r));
        return out;
    }
    void TearDown() override
    {
        form.reset();
        RegisterTest::TearDown();
    }
    std::unique_ptr<TReportForm> form;
};

// The columns of an area of a picture with dark ink in them.
int inkColumns(const QImage& image, const QRect& area)
{
    int n = 0;
    for (int x = area.left(); x <= area.right(); ++x) {
        bool ink = false;
        for (int y = area.top(); y <= area.bottom(); ++y) ink = ink || qGray(image.pixel(x, y)) < 128;
        n += ink;
    }
    return n;
}

// The same for a text drawn uncut in a font, black on white.
int uncutInkColumns(const QString& text, const QFont& font)
{
    QImage uncut(QFontMetrics(font).horizontalAdvance(text) + 20, QFontMetrics(font).height() + 20,
                 QImage::Format_RGB32);
    uncut.fill(Qt::white);
    QPainter painter(&uncut);
    painter.setFont(font);
    painter.drawText(10, 10 + QFontMetrics(font).ascent(), text);
    painter.end();
    return inkColumns(uncut, uncut.rect());
}

}  // namespace

TEST_F(Report, OpensOnTheLast31DaysAndListsNewestFirstPerLayout)
{
    const oid_t bank = addLayout("BANK"), hsbc = addLayout("HSBC");
    addCheque("1", 10, at(2024, 5, 1), bank, "Old");
    addCheque("2", 20, at(2024, 5, 3), hsbc, "New");
    addCheque("3", 30, at(2024, 5, 2), bank, "Middle");
    TReportForm& r = open();
    EXPECT_EQ(r.toDate->date(), QDate::currentDate());
    EXPECT_EQ(r.fromDate->date(), QDate::currentDate().addDays(-31));
    ASSERT_EQ(r.setting->count(), 3);
    EXPECT_EQ(r.setting->itemText(0), "All");
    EXPECT_EQ(r.setting->itemText(2), "HSBC");
    EXPECT_FALSE(r.printAction->isEnabled());

    query(QDate(2024, 5, 1), QDate(2024, 5, 3));
    EXPECT_EQ(column(3), (QStringList{"New", "Middle", "Old"}));
    EXPECT_EQ(column(1), (QStringList{"HSBC", "BANK", "BANK"}));
    EXPECT_EQ(r.grid->ColCount(), 7);
    EXPECT_EQ(QString::fromStdString(r.grid->Cells(4, 0)), "Description");
    EXPECT_EQ(r.grid->ColWidths(6), 0);
    EXPECT_TRUE(r.printAction->isEnabled());
    EXPECT_TRUE(r.deleteAction->isEnabled());
    query(QDate(2024, 5, 1), QDate(2024, 5, 3), 1);
    EXPECT_EQ(column(3), (QStringList{"Middle", "Old"}));
}

TEST_F(Report, TheToDateEndsAtItsLastSecondInEveryZone)
{
    for (const char* zone : {"UTC", "Europe/Berlin"}) {
        SCOPED_TRACE(zone);
        setZone(zone);
        dbCursor<Cheque> all(dbCursorForUpdate);
        if (all.select() > 0) all.removeAllSelected();
        database.commit();
        // 2024-03-31 has 23 hours in Berlin
        addCheque("first", 1, at(2024, 3, 30, 0, 0, 0), 0, "First");
        addCheque("last", 2, at(2024, 3, 31, 23, 59, 59), 0, "Last");
        addCheque("next", 3, at(2024, 4, 1, 0, 0, 30), 0, "Next");
        addCheque("before", 4, at(2024, 3, 29, 23, 59, 59), 0, "Before");
        query(QDate(2024, 3, 30), QDate(2024, 3, 31));
        EXPECT_EQ(column(3), (QStringList{"Last", "First"}));
    }
}

TEST_F(Report, SelectedRowsAreTotalledSaidAndDeleted)
{
    addCheque("a", 1000.5, at(2024, 6, 3), 0, "Tom </ Jerry", "<b>bold</b>");
    addCheque("b", 300, at(2024, 6, 2));
    addCheque("c", 7, at(2024, 6, 1));
    HeardEvents heard;  // a reader listens
    open().show();
    // the totals read alike before the first query and after any
    EXPECT_EQ(form->count->text() + " | " + form->amount->text(), "Selected Total: 0 | Selected Amount: 0");
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    TReportForm& r = query(QDate(2024, 6, 1), QDate(2024, 6, 3));
    EXPECT_EQ(said(heard.take()), Strings{"Notification 3 cheques found. Selected Total: 0. Selected Amount: 0."});
    EXPECT_EQ(column(5), (QStringList{"1,000.50", "300.00", "7.00"}));
    EXPECT_EQ(column(3).first(), "Tom </ Jerry");
    EXPECT_FALSE(r.grid->EnableHTML);
    // the totals follow every change of the selection once its event is done
    auto totals = [&r] {
        QCoreApplication::sendPostedEvents();
        return r.count->text() + " | " + r.amount->text();
    };
    r.grid->ClearRowSelect();
    r.grid->SetRowSelect(1, true);
    r.grid->SetRowSelect(2, true);
    EXPECT_EQ(totals(), "Selected Total: 2 | Selected Amount: 1,300.50");

    // a selection made with the keys, from the first row; the totals changed are said
    r.grid->setFocus();
    heard.take();
    const std::tuple<Qt::Key, Qt::KeyboardModifiers, const char*> keys[] = {
        {Qt::Key_Down, {}, "Selected Total: 1 | Selected Amount: 300.00"},
        {Qt::Key_Down, {}, "Selected Total: 1 | Selected Amount: 7.00"},
        {Qt::Key_Space, {}, "Selected Total: 0 | Selected Amount: 0"},
        {Qt::Key_Up, Qt::ShiftModifier, "Selected Total: 2 | Selected Amount: 307.00"},
    };
    for (const auto& [key, modifiers, shown] : keys) {
        QTest::keyClick(r.grid, key, modifiers);
        EXPECT_EQ(totals().toStdString(), shown) << QKeySequence(key | modifiers).toString().toStdString();
        EXPECT_EQ(said(heard.take()), Strings{"Notification " + QString(shown).replace(" | ", ". ").toStdString() + "."});
    }

    // a right-button press selects that row alone (the window looks at the
    // press once the grid had it, the totals follow)
    const platform::Rect row3 = r.grid->CellRect(1, 3);
    QTest::mouseClick(r.grid->viewport(), Qt::RightButton, {},
                      QPoint((row3.Left + row3.Right) / 2, (row3.Top + row3.Bottom) / 2));
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(totals(), "Selected Total: 1 | Selected Amount: 7.00");

    EXPECT_EQ(said(heard.take()), Strings{"Notification Selected Total: 1. Selected Amount: 7.00."});

    // one record is named, several are counted
    r.deleteActionExecute();  // No
    const QString date = QString::fromStdString(r.grid->Cells(0, 3));
    EXPECT_EQ(dialogs.Questions().last(), "Delete 1 records (Cheque No c, Pay Payee, Amount 7.00, Date " + date + ")?");
    r.grid->ClearRowSelect();
    r.grid->SetRowSelect(1, true);
    r.grid->SetRowSelect(2, true);
    dialogs.AnswerQuestion(true);
    r.deleteActionExecute();
    EXPECT_EQ(dialogs.Questions().last(), "Delete 2 records?");
    EXPECT_EQ(cheques(), 1u);
    EXPECT_EQ(column(0).size(), 1);
    EXPECT_EQ(said(heard.take()), Strings{"Notification 1 cheque found. Selected Total: 0. Selected Amount: 0."});
    // with no row flagged nothing is asked: the report says so
    const qsizetype asked = dialogs.Questions().size();
    dialogs.AnswerQuestion(true);
    r.deleteActionExecute();
    EXPECT_EQ(dialogs.Questions().size(), asked);
    EXPECT_EQ(dialogs.Messages().last(), "No record is selected.");
    EXPECT_EQ(cheques(), 1u);
    dialogs.questions.clear();

    // an empty range: "No record." and nothing to print or delete
    query(QDate(2025, 1, 1), QDate(2025, 1, 2));
    EXPECT_EQ(dialogs.Messages().last(), "No record.");
    EXPECT_EQ(r.grid->RowCount(), 1);
    EXPECT_EQ(r.count->text(), "Selected Total: 0");
    EXPECT_FALSE(r.printAction->isEnabled());
    EXPECT_FALSE(r.deleteAction->isEnabled());

    // Escape closes the report from the list, which takes the other keys
    r.grid->setFocus();
    QTest::keyClick(r.grid, Qt::Key_Escape);
    EXPECT_FALSE(r.isVisible());
}

TEST_F(Report, AChequeWhoseLayoutWasDeletedShowsNoLayoutName)
{
    TChequeForm cheque;
    cheque.loadSettingList({});  // "BANK"
    ChequeSetup other;
    cheque.readSetting(other);
    other.name = "GONE";
    const oid_t gone = insert(other).getOid();
    ASSERT_TRUE(database.commit());
    addCheque("g", 5, at(2024, 7, 1), gone);
    cheque.loadSettingList(dbReference<ChequeSetup>(gone));
    dialogs.AnswerQuestion(true);
    cheque.deleteCategoryClick();
    addLayout("NEWER");  // may take the freed object id
    query(QDate(2024, 7, 1), QDate(2024, 7, 1));
    EXPECT_EQ(column(1), QStringList{""});
}

TEST_F(Report, PrintsItsListWithTitleAndRange)
{
    addCheque("p1", 12.5, at(2024, 8, 1), 0, "Printed Payee");
    query(QDate(2024, 8, 1), QDate(2024, 8, 2));
    steps.push_back([](QDialog& f) {
        auto& print = dynamic_cast<TPrintPreviewForm&>(f);
        EXPECT_NE(print.grid, nullptr);
        EXPECT_TRUE(print.printButtonClick());
        print.Button1->click();
    });
    form->printActionExecute();
    ASSERT_EQ(printer->JobsWritten(), 1);
    const auto words = ReadPdfWords(printer->JobFile(1));
    const QString text = PdfPageText(words);
    EXPECT_TRUE(text.contains("Cheque Report")) << text.toStdString();
    EXPECT_TRUE(text.contains("Printed Payee")) << text.toStdString();
    EXPECT_TRUE(text.contains("Date From:")) << text.toStdString();
}

// The date column in each locale: the program's short date, with the whole
// year, on screen and on paper.
TEST_F(Report, TheDateColumnHoldsTheWholeDateOnScreenAndOnPaper)
{
    if (!InEachLocale("Report.TheDateColumn*"))
        return;
    addCheque("d1", 5, at(2026, 12, 7), 0, "Dated");
    TReportForm& r = query(QDate(2025, 12, 1), QDate(2027, 1, 1));  // the heading names other years
    const QString date = QString::fromStdString(r.grid->Cells(0, 1));
    EXPECT_EQ(date, LocaleDate());
    EXPECT_TRUE(r.fromDate->text().endsWith("2025")) << r.fromDate->text().toStdString();
    EXPECT_GE(r.grid->ColWidths(0), 60);
    // the cell on the screen shows as many columns of ink as the date drawn uncut
    r.resize(700, 300);
    r.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&r));
    const platform::Rect cell = r.grid->CellRect(0, 1);
    // (the screen may place a glyph a pixel off the picture; a cut loses more)
    EXPECT_NEAR(inkColumns(r.grid->viewport()->grab().toImage(),
                           QRect(cell.Left + 1, cell.Top + 1, cell.Right - cell.Left - 3, cell.Bottom - cell.Top - 3)),
                uncutInkColumns(date, r.grid->Font().ToQFont(platform::ScreenPixelsPerInch())), 1)
        << date.toStdString();

    // on paper the year stands on the row's line, not wrapped below it
    steps.push_back([](QDialog& f) {
        auto& print = dynamic_cast<TPrintPreviewForm&>(f);
        EXPECT_TRUE(print.printButtonClick());
        print.Button1->click();
    });
    form->printActionExecute();
    const auto words = ReadPdfWords(printer->JobFile(1));
    const PdfWord* year = FindPdfWord(words, date.split(' ').last());
    ASSERT_TRUE(year && FindPdfWord(words, "Dated")) << PdfPageText(words).toStdString();
    EXPECT_NEAR(year->top, FindPdfWord(words, "Dated")->top, 1.0) << date.toStdString();
    EXPECT_TRUE(PdfPageText(words).contains(r.toDate->text())) << "the heading's range as the pickers show it";
}

// The date boxes show a date of the widest day and month whole, in each
// locale, at the application's font and at a larger one (light palette).
TEST_F(Report, TheDateBoxesShowTheWidestDatesWhole)
{
    if (!InEachLocale("Report.TheDateBoxes*"))
        return;
    PaletteScope light(testPalettes().front().palette);
    const QFont normal = QApplication::font();
    for (const double scale : {1.0, 1.8}) {
        SCOPED_TRACE(scale);
        QFont larger = normal;
        larger.setPointSizeF(normal.pointSizeF() * scale);
        QApplication::setFont(larger);
        TReportForm& r = open();
        for (QDateEdit* box : {r.fromDate, r.toDate}) box->setDate(QDate(2026, 11, 15));
        r.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&r));
        r.grid->setFocus();  // no section of a box highlighted
        for (QDateEdit* box : {r.fromDate, r.toDate}) {
            auto* line = box->findChild<QLineEdit*>();
            ASSERT_NE(line, nullptr);
            EXPECT_EQ(inkColumns(line->grab().toImage(), line->rect()), uncutInkColumns(box->text(), line->font()))
                << box->text().toStdString();
        }
        // the list's columns grow with the font: every header stays whole
        const QFontMetrics metrics(r.grid->font());
        for (int c = 0; c < r.grid->ColCount(); ++c) {
            const QString header = QString::fromStdString(r.grid->Cells(c, 0));
            EXPECT_GT(r.grid->ColWidths(c), header.isEmpty() ? -1 : metrics.horizontalAdvance(header)) << c;
        }
        form.reset();
    }
    QApplication::setFont(normal);
}
