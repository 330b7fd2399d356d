// A string grid laid onto preview pages: position and column widths from the
// grid's screen pixels, the cells' backgrounds, texts and lines, page breaks
// that reuse a following page, and the table printed with its footer.
#include "palettes.h"
#include "pdf_pages.h"
#include "platform/dialogs.h"
#include "platform/printer.h"
#include "platform/stringgrid.h"
#include "printing/pvgridprint.h"
#include "printing/pvobjects.h"
#include "printing/pvpreview.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

namespace {

// A grid of `cols` x `rows` cells "c<col>r<row>", columns 64 and rows 20 pixels.
std::unique_ptr<platform::StringGrid> makeGrid(int cols, int rows, int colWidth = 64)
{
    auto grid = std::make_unique<platform::StringGrid>();
    grid->SetColCount(cols);
    grid->SetRowCount(rows);
    grid->SetFixedCols(0);
    grid->SetFixedRows(rows > 1 ? 1 : 0);
    for (int c = 0; c < cols; ++c)
        grid->SetColWidths(c, colWidth);
    for (int r = 0; r < rows; ++r) {
        grid->SetRowHeights(r, 20);
        for (int c = 0; c < cols; ++c)
            grid->SetCells(c, r, QString("c%1r%2").arg(c).arg(r).toStdString());
    }
    return grid;
}

// How many objects of each type a page holds.
std::map<int, int> census(TPvPage* page)
{
    std::map<int, int> n;
    for (const auto& o : page->Objects)
        ++n[o->TypeId];
    return n;
}

constexpr int kLine = 2, kRectangle = 4, kTextBox = 6;

// A preview with a grid printer linked to it.
class GridPrint : public ::testing::Test {
protected:
    GridPrint() { gp.SetPreview(&preview); }
    TPvPreview preview;
    TPvGridPrint gp;
};

TEST_F(GridPrint, PlacesCellsFromScreenPixels)
{
    auto grid = makeGrid(2, 3);
    gp.GridToPage(50, 100, 0, PvPixels, grid.get());
    TPvPage* page = preview.GetPage(1);
    EXPECT_EQ(gp.GetColWidth(0), 1693);
    EXPECT_EQ(gp.GetRowHeight(0), 529);
    ASSERT_FALSE(page->Objects.empty());
    const auto* first = dynamic_cast<TPvRectangleShape*>(page->Objects.front().get());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->X, 1323);
    EXPECT_EQ(first->Y, 2646);
    EXPECT_EQ(first->X2, 1323 + 1693 + 4);
    EXPECT_EQ(first->Y2, 2646 + 529 + 4);
    const auto n = census(page);
    EXPECT_EQ(n.at(kRectangle), 6);
    EXPECT_EQ(n.at(kTextBox), 6);
    EXPECT_EQ(n.at(kLine), 6 + 6 + 3 + 2);
    EXPECT_EQ(preview.PreviewState(), gmIdle);

    // In black and white the texts read on the white paper, whatever the
    // palette makes of the grid's text colour (light in a dark one).
    preview.Clear();
    gp.Monochrome = true;
    const PaletteScope dark(testPalettes()[1].palette);
    gp.GridToPage(50, 100, 0, PvPixels, grid.get());
    EXPECT_EQ(census(preview.GetPage(1)).count(kRectangle), 0u);
    EXPECT_EQ(census(preview.GetPage(1)).at(kTextBox), 6);
    for (const auto& o : preview.GetPage(1)->Objects)
        if (const auto* text = dynamic_cast<const TPvTextObject*>(o.get())) {
            EXPECT_GE(platform::ContrastRatio(platform::ToQColor(text->Font.Color), Qt::white),
                      platform::ReadableContrast);
        }
}

TEST(GridPrintAlone, WithoutPreviewOrWidthNothingIsLaidOut)
{
    platform::ScriptedDialogs dialogs;
    TPvGridPrint gp;
    auto grid = makeGrid(2, 3);
    gp.GridToPage(50, 100, 0, PvPixels, grid.get());
    EXPECT_EQ(dialogs.Messages(), QStringList{"TPvGridPrint Error...\r\rPreview property not assigned."});

    auto preview = std::make_unique<TPvPreview>();
    gp.SetPreview(preview.get());
    auto empty = makeGrid(3, 4, 0);
    gp.GridToPage(50, 100, 0, PvPixels, empty.get());
    EXPECT_TRUE(preview->GetPage(1)->Objects.empty());
    EXPECT_EQ(preview->PreviewState(), gmIdle);
    EXPECT_EQ(gp.GetPageRow(empty.get()), 49);  // (29700 - 2500) / 529 - 2

    // A row of no height estimates nothing; a destroyed preview is forgotten.
    empty->SetRowHeights(0, 0);
    EXPECT_EQ(gp.GetPageRow(empty.get()), 0);
    preview.reset();
    EXPECT_EQ(gp.Preview(), nullptr);
    dialogs.shown.clear();
    gp.GridToPage(50, 100, 0, PvPixels, grid.get());
    EXPECT_EQ(dialogs.Messages().size(), 1);
}

TEST_F(GridPrint, BreaksPagesAndReusesTheNextOne)
{
    auto grid = makeGrid(2, 100);
    gp.GridToPage(50, 100, 0, PvPixels, grid.get());
    ASSERT_EQ(preview.GetNumPages(), 3);
    EXPECT_EQ(preview.CurrentPageNum(), 3);
    // Text boxes per page (two a row): rows 0-44, 45-90, 91-99.
    EXPECT_EQ(census(preview.GetPage(1)).at(kTextBox), 2 * 45);
    EXPECT_EQ(census(preview.GetPage(2)).at(kTextBox), 2 * 46);
    EXPECT_EQ(census(preview.GetPage(3)).at(kTextBox), 2 * 9);
    // Row 45 starts at the top margin of page 2.
    const auto* row45 = dynamic_cast<TPvRectangleShape*>(preview.GetPage(2)->Objects.front().get());
    ASSERT_NE(row45, nullptr);
    EXPECT_EQ(row45->Y, 2000);

    // A following page that is already there is used, not a new one.
    preview.Clear();
    preview.NewPage();
    preview.SetCurrentPageNum(1);
    auto tall = makeGrid(1, 60);
    gp.GridToPage(50, 100, 0, PvPixels, tall.get());
    EXPECT_EQ(preview.GetNumPages(), 2);
    EXPECT_EQ(preview.CurrentPageNum(), 2);
    EXPECT_FALSE(preview.GetPage(2)->Objects.empty());
}

TEST_F(GridPrint, EventsAndOwnPrint)
{
    auto grid = makeGrid(2, 2);
    QStringList seen;
    gp.OnDrawCell = [&](TPvGridPrint*, int c, int r, platform::Rect& rect, TPvCanvas*) {
        seen << QString("draw %1,%2 %3").arg(c).arg(r).arg(rect.Width());
    };
    gp.OnEndDrawCell = [&](TPvGridPrint*, int c, int r, platform::Rect&, TPvCanvas*) {
        seen << QString("end %1,%2").arg(c).arg(r);
    };
    gp.GridToPage(0, 0, 1693, PvUnits, grid.get(), taCenter);  // half the grid's width
    EXPECT_EQ(seen, QStringList({"draw 0,0 846", "end 0,0", "draw 1,0 846", "end 1,0", "draw 0,1 846", "end 0,1",
                                 "draw 1,1 846", "end 1,1"}));
    const auto* box = dynamic_cast<TPvTextBoxObject*>(preview.GetPage(1)->Objects[1].get());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->X, 0);  // centred text takes no padding
    EXPECT_EQ(box->Alignment, taCenter);

    preview.Clear();
    seen.clear();
    gp.GridOwnPrint(0, 0, 0, PvUnits, grid.get());
    EXPECT_EQ(seen.size(), 8);
    EXPECT_TRUE(preview.GetPage(1)->Objects.empty());
}

// Printed: the contact list's zero and one-pixel columns show no text, and the
// footer counts the pages the job printed.
TEST_F(GridPrint, PrintedTable)
{
    QTemporaryDir dir;
    platform::PdfPrinter& pdf = UseTestPdfPrinter(dir, QMarginsF(4, 4, 4, 4), 300);
    const int widths[] = {1, 50, 100, 100, 80, 80, 80, 80, 70, 0, 0, 0, 70};
    auto grid = makeGrid(13, 3);
    for (int c = 0; c < 13; ++c)
        grid->SetColWidths(c, widths[c]);
    preview.SetOrientation(gmLandscape);
    gp.GridToPage(50, 100, 0, PvPixels, grid.get());
    ASSERT_TRUE(preview.Print());
    const QString text = PdfWords(pdf.JobFile(1)).value(0).Text();
    EXPECT_TRUE(text.contains("c1r1") && text.contains("c12r2")) << text.toStdString();
    for (const char* hidden : {"c0r0", "c0r1", "c9r1", "c10r1", "c11r2"})
        EXPECT_FALSE(text.contains(hidden)) << hidden;

    preview.Clear();
    preview.Footer().CaptionRight.SetCaption("Page {PAGE} of {NUMPAGES}");
    auto big = makeGrid(13, 1000);
    gp.GridToPage(50, 100, 0, PvPixels, big.get());
    ASSERT_TRUE(preview.Print());
    const int pages = PdfPageCount(pdf.JobFile(2));
    ASSERT_GT(pages, 20);
    EXPECT_EQ(pages, preview.GetNumPages());
    EXPECT_TRUE(PdfWords(pdf.JobFile(2)).last().Text().contains(QString("Page %1 of %1").arg(pages)));
}

// Paper is black on white whatever the screen's palette: the grid's palette
// colours print as a light desktop shows them, and its lines show.
TEST_F(GridPrint, PrintsBlackOnWhiteInEveryPalette)
{
    QTemporaryDir dir;
    constexpr int kDpi = 150;
    platform::PdfPrinter& pdf = UseTestPdfPrinter(dir, QMarginsF(4, 4, 4, 4), kDpi);
    int job = 0;
    for (const NamedPalette& p : testPalettes()) {
        PaletteScope scope(p.palette);
        auto grid = makeGrid(3, 3, 100);
        preview.Clear();
        gp.GridToPage(50, 100, 0, PvPixels, grid.get());
        ASSERT_TRUE(preview.Print());
        const QString file = pdf.JobFile(++job);
        const QImage page = PdfPageImage(file, 1, kDpi, dir);
        const PdfPage words = PdfWords(file).value(0);
        for (const char* word : {"c1r0", "c1r1"}) {
            const PdfPageWord* w = words.Find(word);
            ASSERT_NE(w, nullptr) << word;
            const QRect area = PdfWordPixels(*w, kDpi);
            const QColor fill(page.pixel(area.right() + 20, area.center().y()));
            double line = 1;
            for (int x = area.left() - 12; x < area.left(); ++x)
                line = std::max(line, platform::ContrastRatio(QColor(page.pixel(x, area.center().y())), fill));
            std::printf("printed in %s, %s: fill %s, text %.1f:1, line %.1f:1\n", p.name.c_str(), word,
                        qPrintable(fill.name()), textContrast(page, area), line);
            EXPECT_GE(qGray(fill.rgb()), 230) << p.name << " " << word;
            EXPECT_GE(textContrast(page, area), platform::ReadableContrast) << p.name << " " << word;
            EXPECT_GE(line, 3.0) << p.name << " " << word;
        }
    }
}

}  // namespace
