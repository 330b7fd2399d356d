// Where the grid's own printing puts things on paper: the first row under the
// header, the last row above the footer, column widths and fit to page,
// columns wider than the page, merged cells, alignment, border modes, cell
// graphics and HTML fonts; read back from PDF files (pdftoppm at 254 dpi, ten
// pixels a millimetre; pdftotext; pdffonts).
#include "grid/listgrid.h"
#include "platform/printer.h"
#include "platform/screen.h"
#include "printing/pdf_pages.h"

#include <gtest/gtest.h>

using namespace grid;

namespace {

constexpr int kDpi = 254;   // pixels of the rendered pages: 10 a millimetre
constexpr int kMargin = 100; // 10 mm unprintable margins, in those pixels

struct Layout : ::testing::Test {
    QTemporaryDir dir, scratch;
    RIvuZuvuzoZuvu grid;

    void SetUp() override
    {
        UseTestPdfPrinter(dir, QMarginsF(10, 10, 10, 10), 300);
        platform::SetScreenPixelsPerInch(96);
        grid.SetFixedRowsEx(0);
        grid.SetFixedColsEx(0);
    }
    void TearDown() override
    {
        platform::UseNoPrinter();
        platform::SetScreenPixelsPerInch(0);
    }
    void fill(int Rows, int Cols, const std::string& Text = "x")
    {
        grid.SetColCountEx(Cols);
        grid.SetRowCountEx(Rows);
        for (int r = 0; r < Rows; ++r)
            for (int c = 0; c < Cols; ++c)
                grid.SetCellEx(c, r, Text);
    }
    QString printed()
    {
        grid.Print();
        const QStringList files = QDir(dir.path()).entryList({"*.pdf"}, QDir::Files, QDir::Time);
        return files.isEmpty() ? QString() : dir.filePath(files.first());
    }
    QImage page(const QString& File, int Page = 1) { return PdfPageImage(File, Page, kDpi, scratch); }
    static bool dark(const QImage& I, int X, int Y) { return qGray(I.pixel(X, Y)) < 160; }
    static int inkIn(const QImage& I, QRect R)
    {
        int n = 0;
        R = R.intersected(I.rect());
        for (int y = R.top(); y <= R.bottom(); ++y)
            for (int x = R.left(); x <= R.right(); ++x)
                n += dark(I, x, y);
        return n;
    }
    // Rows holding ink, top to bottom.
    static std::vector<int> inkedRows(const QImage& I)
    {
        std::vector<int> rows;
        for (int y = 0; y < I.height(); ++y)
            if (inkIn(I, QRect(0, y, I.width(), 1)) > 0)
                rows.push_back(y);
        return rows;
    }
    // A length of the pass in 0.1 mm: the height of "gh" or the width of "a" in a font of Points.
    static int measured(const QString& Text, int Points, bool Width)
    {
        platform::Canvas c(300);
        c.SetMapMode(platform::MM_LOMETRIC);
        c.Font.Height = -static_cast<int>(std::lrint(Points * 254.0 / 72.0));
        return Width ? c.TextWidth(Text) : c.TextHeight(Text);
    }
};

TEST_F(Layout, FirstRowUnderHeaderLastRowAboveFooter)
{
    fill(60, 2);
    grid.PrintSettings->Borders = pbSingle;
    grid.PrintSettings->HeaderSize = 150;
    grid.PrintSettings->TitleSpacing = 50;
    grid.PrintSettings->FooterSize = 120;
    const QString file = printed();
    ASSERT_GE(PdfPageCount(file), 2);
    const QImage img = page(file);
    const std::vector<int> rows = inkedRows(img);
    ASSERT_FALSE(rows.empty());
    // The top border (0.2 mm thick) starts 15 + 5 mm below the printable top.
    EXPECT_NEAR(rows.front(), kMargin + 200, 2);
    const int points = grid.PrintSettings->Font().Size();
    const int th = measured("gh", points, false);
    const int footer = th / 8 + measured("gh", grid.PrintSettings->FooterFont().Size(), false) + 120;
    const int printableBottom = img.height() - kMargin;
    EXPECT_LE(rows.back(), printableBottom - footer + 2);
    EXPECT_GT(rows.back(), printableBottom - footer - 400);  // the page is full
}

TEST_F(Layout, ColumnWidthsAndFitToPage)
{
    EXPECT_EQ(grid.MapFontHeight(10), -35);
    EXPECT_EQ(grid.MapFontSize(35), 10);

    fill(3, 3, "narrow");
    std::vector<int> widths;
    grid.OnPrintSetColumnWidth = [&](RIvuZuvuzoZuvu*, int, int& W) { widths.push_back(W); };
    grid.OnPrintStart = [](RIvuZuvuzoZuvu*, int, int& From, int&) { From = 0; };  // lay out only
    const auto widthsWith = [&](TFitToPage Fit) {
        widths.clear();
        grid.PrintSettings->FitToPage = Fit;
        grid.Print();
        return widths;
    };
    grid.PrintSettings->NoAutoSize = true;
    grid.SetColWidths(0, 64);
    EXPECT_EQ(widthsWith(fpNever).front(), 159);
    grid.PrintSettings->NoAutoSize = false;

    const std::vector<int> narrow = widthsWith(fpNever);
    EXPECT_EQ(widthsWith(fpShrink), narrow);
    for (std::size_t i = 0; i < narrow.size(); ++i)
        EXPECT_GT(widthsWith(fpGrow)[i], narrow[i]);
    grid.OnFitToPage = [](RIvuZuvuzoZuvu*, double& Scale, bool& Allow) {
        EXPECT_GT(Scale, 1.0);
        Allow = false;
    };
    EXPECT_EQ(widthsWith(fpCustom), narrow);

    fill(3, 3, std::string(60, 'W'));
    const std::vector<int> wide = widthsWith(fpNever);
    EXPECT_EQ(widthsWith(fpGrow), wide);
    for (std::size_t i = 0; i < wide.size(); ++i)
        EXPECT_LT(widthsWith(fpShrink)[i], wide[i]);
}

TEST_F(Layout, ColumnWiderThanThePageHasAPageOfItsOwn)
{
    fill(2, 3);
    grid.SetCellEx(0, 0, std::string(80, 'W') + " END");
    grid.SetCellEx(1, 0, "second");
    grid.SetCellEx(2, 0, "third");
    grid.PrintSettings->NoAutoSize = true;
    grid.SetColWidths(0, 1000);
    grid.SetColWidths(1, 100);
    grid.SetColWidths(2, 100);
    grid.PrintSettings->Borders = pbSingle;
    grid.PrintSettings->RightSize = 50;
    const QString file = printed();
    ASSERT_EQ(PdfPageCount(file), 2);
    const QVector<PdfPage> words = PdfWords(file);
    EXPECT_FALSE(words[0].Find("second"));
    EXPECT_TRUE(words[1].Find("second"));
    EXPECT_TRUE(words[1].Find("third"));
    const QImage img = page(file);
    const int rightMargin = img.width() - kMargin - 50;
    EXPECT_GT(inkIn(img, QRect(kMargin, 0, 200, img.height())), 0);
    EXPECT_EQ(inkIn(img, QRect(rightMargin + 2, 0, img.width(), img.height())), 0);
}

TEST_F(Layout, MergedCellsAlignmentAndBorders)
{
    fill(4, 4, "");
    grid.PrintSettings->NoAutoSize = true;
    for (int c = 0; c < 4; ++c)
        grid.SetColWidths(c, 150);
    grid.SetCellEx(1, 1, "M");
    grid.MergeCells(1, 1, 3, 2);
    grid.SetCellEx(0, 3, "right");
    grid.OnGetAlignment = [](RIvuZuvuzoZuvu*, int Row, int Col, TAlignment& H, TVAlignment&) {
        if (Row == 3 && Col == 0)
            H = taRightJustify;
    };
    grid.PrintSettings->Borders = pbSingle;
    QString file = printed();
    const QVector<PdfPage> words = PdfWords(file);
    EXPECT_EQ(words[0].Text().count("M"), 1);
    // Right-aligned text ends one "a" before the cell's right edge.
    const auto* right = words[0].Find("right");
    ASSERT_TRUE(right);
    const int spacing = 20;
    const double cellRightMm = 10 + (grid.GetPrintColOffset(0) + grid.GetPrintColWidth(0) + spacing) / 10.0;
    const double inset = measured("a", grid.PrintSettings->Font().Size(), true) / 10.0;
    EXPECT_NEAR(right->box.right() * 25.4 / 72, cellRightMm - inset, 0.5);

    // No grid line inside the merged block (columns 1..3, rows 1..2).
    QImage img = page(file);
    const auto px = [&](int Units) { return kMargin + Units; };  // 0.1 mm = 1 pixel
    const int left = px(grid.GetPrintColOffset(1)), inner = px(grid.GetPrintColOffset(2));
    const int mergedRight = px(grid.GetPrintColOffset(3) + grid.GetPrintColWidth(3) + spacing);
    std::vector<int> rows = inkedRows(img);
    ASSERT_FALSE(rows.empty());
    const int rowTop = rows.front();
    // Find the horizontal lines at the merged block's left edge.
    std::vector<int> lines;
    for (int y = rowTop; y < img.height(); ++y)
        if (inkIn(img, QRect(left + 5, y, 40, 1)) == 40 && (lines.empty() || y > lines.back() + 3))
            lines.push_back(y);
    ASSERT_GE(lines.size(), 4u);  // tops of rows 0, 1, 3 and the bottom of row 3
    const int blockTop = lines[1], blockBottom = lines[2];
    EXPECT_EQ(inkIn(img, QRect(inner - 3, blockTop + 5, 7, blockBottom - blockTop - 10)), 0);
    EXPECT_EQ(inkIn(img, QRect(inner + 40, (blockTop + blockBottom) / 2, mergedRight - inner - 50, 3)), 0);

    // Vertical borders only: no horizontal line.
    grid.PrintSettings->Borders = pbVertical;
    img = page(printed());
    int horizontal = 0, vertical = 0;
    for (int y = 0; y < img.height(); ++y)
        horizontal += inkIn(img, QRect(left + 5, y, 40, 1)) == 40;
    for (int x = 0; x < img.width(); ++x)
        vertical += inkIn(img, QRect(x, rowTop + 5, 1, 20)) == 20;
    EXPECT_EQ(horizontal, 0);
    EXPECT_GT(vertical, 3);
}

TEST_F(Layout, GraphicsHtmlAndCharacterCounts)
{
    fill(2, 2, "");
    grid.PrintSettings->NoAutoSize = true;
    grid.SetColWidths(0, 100);
    grid.SetColWidths(1, 100);
    grid.SetCellEx(0, 0, "Y");
    grid.AddCheckBox(0, 0, true, true);
    grid.SetCellEx(1, 1, "<B>bold</B>");
    const auto cellInk = [&] {
        const QImage img = page(printed());
        return inkIn(img, QRect(kMargin + grid.GetPrintColOffset(0), kMargin, grid.GetPrintColWidth(0), 60));
    };
    EXPECT_EQ(cellInk(), 0);
    grid.PrintSettings->PrintGraphics = true;
    EXPECT_GT(cellInk(), 20);
    EXPECT_TRUE(RunTool("pdffonts", {printed()}).contains("Bold"));
    EXPECT_TRUE(PdfWords(printed())[0].Find("bold"));

    grid.SetCellEx(1, 1, "");
    grid.SetCellEx(1, 0, "first line\rthe much longer second line");
    EXPECT_EQ(grid.MaxCharsInCol(1), 10);
    grid.Multilinecells = true;
    EXPECT_EQ(grid.MaxCharsInCol(1), 27);
    EXPECT_EQ(grid.MaxLinesInGrid(), 2);
}

}  // namespace
