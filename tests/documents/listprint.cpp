// The list print dialog: page buttons, printing, and saving the linked grid
// as a workbook that keeps the old file when the write fails.
#include "register_fixture.h"

#include "documents/printpreviewform.h"
#include "folder_override.h"
#include "platform/stringgrid.h"
#include "printing/pvpreview.h"

#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>

namespace {

class ListPrint : public RegisterTest {
protected:
    void SetUp() override
    {
        RegisterTest::SetUp();
        grid.SetColCount(3);
        grid.SetRowCount(rows + 1);
        grid.SetFixedRows(1);
        grid.SetCells(0, 0, "Name");
        grid.SetCells(1, 0, "Amount");
        grid.SetCells(2, 0, "");
        grid.SetColWidths(2, 0);  // hidden: the object id
        for (int r = 1; r <= rows; ++r) {
            grid.SetCells(0, r, "Row " + std::to_string(r));
            grid.SetCells(1, r, "1,000.50");
            grid.SetCells(2, r, std::to_string(1000 + r));
        }
        form.drawHeader("List Title", "Sub Title");
        form.grid = &grid;
        form.PvGridPrint1.GridToPage(50, 100, 0, PvPixels, &grid);
    }
    // Reads cells of the saved workbook as "value:type" texts, row by row.
    static QString readBack(const QString& file)
    {
        QProcess p;
        p.start("/usr/bin/python3",
                {"-c",
                 "import openpyxl,sys\n"
                 "ws=openpyxl.load_workbook(sys.argv[1]).active\n"
                 "for row in ws.iter_rows(min_row=1,max_row=2):\n"
                 "  print('|'.join('%s:%s'%(c.value,c.data_type) for c in row))\n",
                 file});
        p.waitForFinished(30000);
        return QString::fromUtf8(p.readAllStandardOutput()) + QString::fromUtf8(p.readAllStandardError());
    }

    int rows = 3;
    platform::StringGrid grid;
    TPrintPreviewForm form;
};

}  // namespace

TEST_F(ListPrint, AOnePageListLeavesThePageButtonsDisabledAndPrints)
{
    form.FormShow();
    EXPECT_EQ(form.StatusPanels[0]->text(), "Total Page: 1");
    EXPECT_EQ(form.StatusPanels[1]->text(), "Page: 1");
    for (QPushButton* b : {form.uFirst, form.uPrevious, form.uNext, form.uLast}) EXPECT_FALSE(b->isEnabled());
    EXPECT_FALSE(form.saveButton->isHidden());
    EXPECT_EQ(form.PvPreview1->Zoom(), 50);
    EXPECT_FALSE(form.PvPreview1->Header().Visible());
    EXPECT_DOUBLE_EQ(double(form.PvPreview1->Margins().Left.GetAsMm()), 11.0);

    const int zoom = form.PvPreview1->Zoom();
    form.zoomInClick();
    EXPECT_EQ(form.PvPreview1->Zoom(), zoom + form.PvPreview1->ZoomIncrement);

    ASSERT_TRUE(form.printButtonClick());
    const auto words = ReadPdfWords(printer->JobFile(1));
    const PdfWord* title = FindPdfWord(words, "List");
    ASSERT_NE(title, nullptr);
    const PdfWord* end = FindPdfWord(words, "Title");
    ASSERT_NE(end, nullptr);
    EXPECT_NEAR((title->left + end->right) / 2, 105, 2);  // centred on the A4 page
    EXPECT_TRUE(PdfPageText(words).contains("Page 1 of 1")) << PdfPageText(words).toStdString();
    EXPECT_TRUE(PdfPageText(words).contains("Row 3"));
}

TEST_F(ListPrint, ALongListHasPagesToMoveThrough)
{
    TPrintPreviewForm longer;
    rows = 200;
    grid.SetRowCount(rows + 1);
    for (int r = 1; r <= rows; ++r) grid.SetCells(0, r, "Row " + std::to_string(r));
    longer.PvGridPrint1.GridToPage(50, 100, 0, PvPixels, &grid);
    longer.FormShow();
    ASSERT_GT(longer.PvPreview1->GetNumPages(), 1);
    EXPECT_TRUE(longer.saveButton->isHidden());  // no grid linked
    EXPECT_FALSE(longer.uPrevious->isEnabled());
    EXPECT_TRUE(longer.uNext->isEnabled());
    longer.uLastClick();
    EXPECT_EQ(longer.StatusPanels[1]->text(), "Page: " + QString::number(longer.PvPreview1->GetNumPages()));
    EXPECT_FALSE(longer.uLast->isEnabled());
    EXPECT_TRUE(longer.uFirst->isEnabled());
}

TEST_F(ListPrint, SaveWritesEveryCellAsTextAndKeepsTheOldFileOnFailure)
{
    // a name of another type gets the type written; the file dialog leaves
    // the question about an existing file to the save
    const QString file = scratch.path() + "/list.xls.xlsx";
    dialogs.AnswerFile(scratch.path() + "/list.xls");
    dialogs.AnswerQuestion(false);  // not opened
    form.saveButtonClick();
    EXPECT_EQ(dialogs.Questions(), QStringList{"The file " + file + " has been saved, open it now?"});
    ASSERT_EQ(dialogs.fileRequests.size(), 1u);
    EXPECT_FALSE(dialogs.fileRequests[0].confirmOverwrite);
    const QString cells = readBack(file);
    EXPECT_TRUE(cells.contains("Name:s|Amount:s|None:n")) << cells.toStdString();
    EXPECT_TRUE(cells.contains("Row 1:s|1,000.50:s|1001:s")) << cells.toStdString();

    // a folder that refuses the write: the old file stays as it was
    const QString locked = scratch.path() + "/locked";
    ASSERT_TRUE(QDir().mkpath(locked));
    const QString old = locked + "/list.xlsx";
    {
        QFile f(old);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("old bytes");
    }
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner);
    {
        WithoutFolderOverride noOverride;
        dialogs.AnswerFile(old);
        dialogs.AnswerQuestion(true);  // replace it
        form.saveButtonClick();
    }
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(dialogs.Messages().last(), "Fail to save " + old + ".");
    EXPECT_EQ(dialogs.Questions().last(), "Filename exist, replace it?");
    QFile f(old);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("old bytes"));
}
