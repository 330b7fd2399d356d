// Painting of the list grid: banded rows, selected rows, the fixed row, the
// sort indicator, clipped and ellipsed texts, HTML and rich-text cells, what
// one cell's markup leaves for the next, and cell text measuring.
#include "accessible_events.h"
#include "grid/hintwindow.h"
#include "grid/listgrid.h"
#include "grid/spinedit.h"
#include "palettes.h"

#include <QApplication>
#include <QFontMetrics>
#include <QImage>
#include <QMouseEvent>
#include <QTest>
#include <gtest/gtest.h>

#include <cstdio>

using namespace grid;
using platform::Rect;

namespace {

constexpr platform::TColor kPrimary = 0x00D0F0FF;    // light yellow
constexpr platform::TColor kSecondary = 0x00FFF0E0;  // light blue
constexpr platform::TColor kFixed = 0x00B0B0B0;
constexpr platform::TColor kSelection = 0x00800000;  // navy

QRgb rgb(platform::TColor c) { return platform::ToQColor(c).rgb(); }

QImage grab(RIvuZuvuzoZuvu& g, QSize size = {420, 480})
{
    g.resize(size);
    g.show();
    QApplication::processEvents();
    return g.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// A 20-row grid as the contact list sets it up: one fixed row, banding,
// whole rows flagged as selected; in the palette's colours.
void shapeList(RIvuZuvuzoZuvu& g)
{
    g.SetColCount(4);
    g.SetRowCount(20);
    g.SetFixedCols(0);
    g.SetFixedRows(1);
    g.SetDefaultRowHeight(21);
    g.Bands->Active = true;
    g.MouseActions->DisjunctRowSelect = true;
    g.SetOptions(g.Options() | platform::goRowSelect);
    const char* headers[] = {"ID", "Name", "Telephone", "Remark"};
    for (int c = 0; c < 4; ++c) {
        g.SetColWidths(c, 100);
        g.SetCells(c, 0, headers[c]);
    }
    for (int r = 1; r < 20; ++r)
        for (int c = 0; c < 4; ++c)
            g.SetCells(c, r, "r" + std::to_string(r));
}

// The same in colours of its own.
void listLike(RIvuZuvuzoZuvu& g)
{
    shapeList(g);
    g.SetColor(platform::clWhite);
    g.SetFixedColor(kFixed);
    g.Bands->PrimaryColor = kPrimary;
    g.Bands->SecondaryColor = kSecondary;
    g.SetSelectionColor(kSelection);
    g.SetSelectionTextColor(platform::clWhite);
}

// The same without bands.
void plainList(RIvuZuvuzoZuvu& g)
{
    listLike(g);
    g.Bands->Active = false;
}

// A point inside a cell, well right of its text.
QPoint inside(RIvuZuvuzoZuvu& g, int col, int row)
{
    const Rect r = g.CellRect(col, row);
    return {r.Right - 8, r.Top + r.Height() / 2};
}

int countColour(const QImage& img, QRgb c, QRect within)
{
    int n = 0;
    for (int y = std::max(0, within.top()); y <= std::min(img.height() - 1, within.bottom()); ++y)
        for (int x = std::max(0, within.left()); x <= std::min(img.width() - 1, within.right()); ++x)
            n += img.pixel(x, y) == c;
    return n;
}

// The right-most column holding a pixel darker than mid grey.
int inkRight(const QImage& img, QRect within)
{
    int right = -1;
    for (int y = within.top(); y <= within.bottom(); ++y)
        for (int x = within.left(); x <= within.right(); ++x)
            if (qGray(img.pixel(x, y)) < 128)
                right = std::max(right, x);
    return right;
}

}  // namespace

TEST(GridPaint, BandsSelectionAndFixedRow)
{
    RIvuZuvuzoZuvu g;
    listLike(g);
    g.SetRowSelect(5, true);
    g.SetRowSelect(6, true);
    g.SetRowSelect(12, true);
    const QImage img = grab(g);
    img.save(QStringLiteral("grid_paint_bands.png"));

    for (int c = 0; c < 4; ++c)
        EXPECT_EQ(img.pixel(inside(g, c, 0)), rgb(kFixed)) << c;
    for (int r = 1; r < 20; ++r) {
        const bool selected = r == 5 || r == 6 || r == 12;
        const platform::TColor want = selected ? kSelection : (r - 1) % 2 == 0 ? kPrimary : kSecondary;
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(img.pixel(inside(g, c, r)), rgb(want)) << "row " << r << " col " << c;
    }
    // Selected rows show their text in the selection text colour.
    EXPECT_GT(textContrast(img, g.CellRect(1, 5).ToQRect().adjusted(1, 1, -1, -1)), 8.0);
    // Longer bands: two primary rows, then one secondary.
    g.Bands->PrimaryLength = 2;
    g.ClearRowSelect();
    const QImage two = grab(g);
    EXPECT_EQ(two.pixel(inside(g, 0, 1)), rgb(kPrimary));
    EXPECT_EQ(two.pixel(inside(g, 0, 2)), rgb(kPrimary));
    EXPECT_EQ(two.pixel(inside(g, 0, 3)), rgb(kSecondary));
    EXPECT_EQ(two.pixel(inside(g, 0, 4)), rgb(kPrimary));
    // A cell's own brush colour wins over the band.
    g.GetCellProperties(2, 3)->SetBrushColor(platform::clRed);
    EXPECT_EQ(grab(g).pixel(inside(g, 2, 3)), rgb(platform::clRed));
}

TEST(GridPaint, SortIndicatorFollowsTheTitle)
{
    RIvuZuvuzoZuvu g;
    listLike(g);
    g.SortSettings->Column = 1;
    g.SortSettings->Show = true;
    g.SortSettings->Direction = sdAscending;
    const QImage up = grab(g);
    up.save(QStringLiteral("grid_paint_sort.png"));
    const Rect cell = g.CellRect(1, 0);
    // The cell as DrawGridCell gets it (inside its fixed lines) and the title's width.
    const Rect R{cell.Left + 1, cell.Top + 1, cell.Right - 1, cell.Bottom - 1};
    const int x = R.Left + g.Canvas().TextWidth(QStringLiteral("Name")) + 10;
    const int y = R.Top + 8;
    // Ascending: a white base line under a grey and white point.
    EXPECT_GE(countColour(up, qRgb(255, 255, 255), QRect(x - 4, y + 4, 8, 1)), 6);
    EXPECT_GE(countColour(up, rgb(platform::clGray), QRect(x - 5, y - 5, 11, 11)), 3);
    EXPECT_EQ(countColour(up, qRgb(255, 255, 255), QRect(x - 4, y - 4, 8, 1)), 0);
    // None on the other headers.
    const Rect other = g.CellRect(2, 0);
    EXPECT_EQ(countColour(up, rgb(platform::clGray), QRect(other.Left + 40, other.Top + 2, 50, 15)), 0);

    g.SortSettings->Direction = sdDescending;
    const QImage down = grab(g);
    EXPECT_GE(countColour(down, rgb(platform::clGray), QRect(x - 4, y - 4, 8, 1)), 6);
    EXPECT_EQ(countColour(down, qRgb(255, 255, 255), QRect(x - 4, y + 4, 8, 1)), 0);

    // With the index shown, the second sort column gets a yellow triangle.
    g.SortSettings->IndexShow = true;
    g.SortIndexes.AddIndex(1, true);
    g.SortIndexes.AddIndex(3, false);
    const QImage indexed = grab(g);
    const Rect third = g.CellRect(3, 0);
    EXPECT_GT(countColour(indexed, rgb(platform::clYellow), QRect(third.Left, third.Top, third.Width(), third.Height())), 20);
    // No indicator at all on a grid with fewer than three rows.
    g.SortSettings->IndexShow = false;
    g.SetRowCount(2);
    const QImage small = grab(g);
    EXPECT_EQ(countColour(small, qRgb(255, 255, 255), QRect(x - 4, y - 4, 9, 9)), 0);
}

TEST(GridPaint, LongTextIsClippedOrEllipsed)
{
    RIvuZuvuzoZuvu g;
    plainList(g);
    g.SetColWidths(1, 60);
    // Row 2: the current row 1 carries the focus frame of the focused grid.
    g.SetCells(1, 2, "MMMMMMMMMMMMMMMMMMMM");
    const Rect cell = g.CellRect(1, 2);
    const QRect area(cell.Left, cell.Top, cell.Width(), cell.Height());
    const QImage clipped = grab(g);
    g.EnhTextSize = true;
    g.Invalidate();
    const QImage ellipsed = grab(g);
    ellipsed.save(QStringLiteral("grid_paint_ellipsis.png"));
    // Clipped text runs to the text area's right edge; the ellipsed one ends
    // with dots, short of it; neither spills into the next cell.
    const int clipRight = inkRight(clipped, area);
    const int ellRight = inkRight(ellipsed, area);
    EXPECT_GE(clipRight, cell.Right - 5);
    EXPECT_LT(clipRight, cell.Right - 1);
    EXPECT_LT(ellRight, clipRight);
    EXPECT_NE(clipped.copy(area), ellipsed.copy(area));
    const Rect next = g.CellRect(2, 2);
    EXPECT_EQ(inkRight(clipped, QRect(next.Left, next.Top, 2, next.Height())), -1);
}

TEST(GridPaint, MarkupStaysInItsCell)
{
    RIvuZuvuzoZuvu g;
    plainList(g);
    g.SetCells(2, 2, "plain");
    g.SetCells(1, 2, "plain");
    const Rect c2 = g.CellRect(2, 2);
    const QRect area(c2.Left, c2.Top, c2.Width(), c2.Height());
    const QImage before = grab(g).copy(area);
    // A rotated font, a colour and bold left open in the cell before.
    g.SetCells(1, 2, "<R A=\"90\"><FONT COLOR=\"#FF0000\" SIZE=\"20\"><B>open");
    const QImage after = grab(g);
    EXPECT_EQ(after.copy(area), before);
    // An HTML cell shows its markup as formatting; with HTML off the tags are text.
    g.SetCells(1, 3, "<B>b</B>");
    const Rect c13 = g.CellRect(1, 3);
    const QRect a13(c13.Left, c13.Top, c13.Width(), c13.Height());
    const int htmlRight = inkRight(grab(g), a13);
    g.EnableHTML = false;
    g.Invalidate();
    EXPECT_GT(inkRight(grab(g), a13), htmlRight + 10);
}

TEST(GridPaint, RichTextCellShowsItsColours)
{
    RIvuZuvuzoZuvu g;
    plainList(g);
    g.SetColWidths(1, 200);
    g.SetCells(1, 2, "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}{\\colortbl ;\\red255\\green0\\blue0;}\\f0\\fs24 plain \\cf1\\b RED}");
    const QImage img = grab(g);
    const Rect c = g.CellRect(1, 2);
    const QRect area(c.Left, c.Top, c.Width(), c.Height());
    int reddish = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor px = img.pixelColor(x, y);
            reddish += px.red() > 200 && px.green() < 60 && px.blue() < 60;
        }
    EXPECT_GT(reddish, 10);
    // The RTF source itself is not shown: the cell's ink is only a few words wide.
    EXPECT_LT(inkRight(img, area), c.Left + 150);
}

TEST(GridPaint, CellTextSize)
{
    RIvuZuvuzoZuvu g;
    listLike(g);
    g.SetCells(1, 1, "abc");
    g.SetCells(1, 2, "<B>abc</B>");
    g.SetCells(1, 3, "one\r\ntwo lines");
    const QPoint plain = g.GetCellTextSize(1, 1);
    platform::Canvas measure;
    measure.Font = g.Font();
    EXPECT_EQ(plain.x(), measure.TextWidth(QStringLiteral("abc")));
    EXPECT_EQ(plain.y(), measure.TextHeight(QStringLiteral("gh")));
    EXPECT_GT(g.GetCellTextSize(1, 2).x(), plain.x());
    g.Multilinecells = true;
    EXPECT_EQ(g.GetCellTextSize(1, 3).y(), 2 * plain.y());
    EXPECT_EQ(g.GetCellTextSize(1, 3).x(), measure.TextWidth(QStringLiteral("two lines")));
    // Fixed cells measure with the fixed font.
    platform::Font big = g.FixedFont();
    big.SetSize(20);
    g.SetFixedFont(big);
    EXPECT_GT(g.GetCellTextSize(1, 0).y(), plain.y());
}

TEST(GridPaint, PasswordCellsShowOneMarkPerCharacter)
{
    RIvuZuvuzoZuvu g;
    plainList(g);
    g.OnIsPasswordCell = [](RIvuZuvuzoZuvu*, int ARow, int ACol, bool& IsPassword) { IsPassword = ARow == 1 && ACol == 1; };
    g.SetCells(1, 1, "\u00e9t\u00e9");  // three characters, five bytes
    g.SetCells(2, 1, "***");
    const QImage img = grab(g);
    const Rect a = g.CellRect(1, 1), b = g.CellRect(2, 1);
    EXPECT_EQ(img.copy(a.ToQRect()), img.copy(b.ToQRect()));
}

TEST(GridPaint, VisualPropertiesForScreenPrintAndDragging)
{
    RIvuZuvuzoZuvu g;
    listLike(g);
    platform::Font printFont;
    printFont.Name = QStringLiteral("Courier New");
    g.PrintSettings->Font = printFont;
    g.SetRowSelect(3, true);
    const auto ask = [&](int col, int row, bool print, bool select, platform::GridDrawState state = 0) {
        platform::Brush brush;
        platform::Font font;
        TAlignment h;
        TVAlignment v;
        bool wrap = false;
        g.GetVisualProperties(col, row, state, print, select, brush, font, h, v, wrap);
        return std::make_tuple(brush.Color(), font, state);
    };
    // On screen: bands, the fixed row's colour and font, flagged rows selected.
    EXPECT_EQ(std::get<0>(ask(1, 1, false, true)), kPrimary);
    EXPECT_EQ(std::get<0>(ask(1, 2, false, true)), kSecondary);
    EXPECT_EQ(std::get<0>(ask(1, 0, false, true)), kFixed);
    EXPECT_TRUE(std::get<2>(ask(1, 0, false, true)) & platform::gdFixed);
    EXPECT_EQ(std::get<0>(ask(1, 3, false, true)), kSelection);
    EXPECT_EQ(std::get<2>(ask(1, 3, false, true)), platform::GridDrawState(platform::gdSelected));
    // The editors ask without the selection colours; printing takes the print font,
    // prints bands only with Bands.Print and never selection colours.
    EXPECT_EQ(std::get<0>(ask(1, 3, false, false)), kPrimary);
    EXPECT_EQ(std::get<1>(ask(1, 1, true, false)).Name, QStringLiteral("Courier New"));
    EXPECT_EQ(std::get<0>(ask(1, 1, true, false)), platform::clWhite);
    g.Bands->Print = true;
    EXPECT_EQ(std::get<0>(ask(1, 1, true, false)), kPrimary);
    EXPECT_EQ(std::get<0>(ask(1, 3, true, false)), kPrimary);
    // While a new selection is dragged, the dragged rows show selected and the flagged ones do not.
    g.SetNewSelection(true);
    EXPECT_EQ(std::get<0>(ask(1, 5, false, true, platform::gdSelected)), kSelection);
    EXPECT_EQ(std::get<0>(ask(1, 3, false, true)), kPrimary);
    g.SetNewSelection(false);
    // Without the disjunct selection, the selected block decides.
    g.MouseActions->DisjunctRowSelect = false;
    g.SetOptions(g.Options() & ~platform::goRowSelect);
    g.SetSelection({1, 6, 2, 7});
    EXPECT_EQ(std::get<0>(ask(2, 7, false, true)), kSelection);
    EXPECT_EQ(std::get<0>(ask(3, 7, false, true)), kPrimary);
}

TEST(GridPaint, CellBordersAndTheDrawCellEvent)
{
    RIvuZuvuzoZuvu g;
    plainList(g);
    g.OnGetCellBorder = [](RIvuZuvuzoZuvu*, int ARow, int ACol, platform::Pen& APen, TCellBorders& Borders) {
        if (ARow == 2 && ACol == 1) {
            APen.Color = platform::clRed;
            Borders = cbBottom | cbLeft;
        }
    };
    // The left border in its own colour through the border-properties event.
    g.OnGetCellBorderProp = [](RIvuZuvuzoZuvu*, int, int, platform::Pen& Left, platform::Pen&, platform::Pen&,
                               platform::Pen&) { Left.Color = platform::clBlue; };
    std::vector<std::pair<int, Rect>> drawn;
    g.OnDrawCell = [&](RIvuZuvuzoZuvu*, int ACol, int ARow, const Rect& R, platform::GridDrawState) {
        if (ARow == 2)
            drawn.emplace_back(ACol, R);
    };
    const QImage img = grab(g);
    const Rect c = g.CellRect(1, 2);
    drawn.resize(std::min<std::size_t>(drawn.size(), 4));  // the first paint's cells
    // The borders lie just inside the grid lines: the bottom one above the
    // cell's last pixel row (the grid line), the left one in its second column.
    EXPECT_GE(countColour(img, qRgb(255, 0, 0), QRect(c.Left + 2, c.Bottom - 2, c.Width() - 4, 1)), c.Width() - 6);
    EXPECT_GE(countColour(img, qRgb(0, 0, 255), QRect(c.Left + 1, c.Top + 2, 1, c.Height() - 4)), c.Height() - 6);
    EXPECT_EQ(countColour(img, qRgb(255, 0, 0), QRect(c.Left + 2, c.Top, c.Width() - 4, c.Height() - 3)), 0);
    const Rect other = g.CellRect(2, 2);
    EXPECT_EQ(countColour(img, qRgb(255, 0, 0), QRect(other.Left, other.Top, other.Width(), other.Height())), 0);

    // OnDrawCell gets every cell of the row, 1 pixel inside its top-left and
    // the line width inside its bottom-right.
    ASSERT_EQ(drawn.size(), 4u);
    for (const auto& [col, r] : drawn) {
        const Rect cell = g.CellRect(col, 2);
        EXPECT_EQ(r.Left, cell.Left + 1) << col;
        EXPECT_EQ(r.Top, cell.Top + 1) << col;
        EXPECT_EQ(r.Right, cell.Right - g.GridLineWidth()) << col;
        EXPECT_EQ(r.Bottom, cell.Bottom - g.GridLineWidth()) << col;
    }
    // With a column hidden, the event gets the real column.
    g.HideColumn(1);
    drawn.clear();
    g.viewport()->repaint();
    ASSERT_GE(drawn.size(), 2u);
    EXPECT_EQ(drawn[1].first, 2);
}

TEST(GridPaint, RowsBeingDraggedShowSelected)
{
    RIvuZuvuzoZuvu g;
    listLike(g);
    g.SetRowSelect(10, true);
    grab(g);
    const Rect from = g.CellRect(1, 3), to = g.CellRect(1, 5);
    QTest::mousePress(g.viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(from.Left + 5, from.Top + 5));
    QMouseEvent move(QEvent::MouseMove, QPointF(to.Left + 5, to.Top + 5), g.viewport()->mapToGlobal(QPointF(to.Left + 5, to.Top + 5)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(g.viewport(), &move);
    EXPECT_TRUE(g.NewSelection());
    const QImage dragging = grab(g);
    for (int r = 3; r <= 5; ++r)
        EXPECT_EQ(dragging.pixel(inside(g, 2, r)), rgb(kSelection)) << r;
    EXPECT_NE(dragging.pixel(inside(g, 2, 10)), rgb(kSelection));  // its flag went with the press
    EXPECT_NE(dragging.pixel(inside(g, 2, 6)), rgb(kSelection));
    QTest::mouseRelease(g.viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(to.Left + 5, to.Top + 5));
    EXPECT_FALSE(g.NewSelection());
    const QImage released = grab(g);
    for (int r = 3; r <= 5; ++r) {
        EXPECT_TRUE(g.GetRowSelect(r)) << r;
        EXPECT_EQ(released.pixel(inside(g, 2, r)), rgb(kSelection)) << r;
    }
}

// The grid in the palette's colours as the cheque report has it (the contact
// list's bands and header are measured in its own test), the grid's hint and
// the spin editor's arrows: text reads at 4.5:1 or better, the arrows at 3:1,
// in the light, dark and high-contrast palettes.
TEST(GridPaint, TextReadsInEveryPalette)
{
    for (const NamedPalette& p : testPalettes()) {
        PaletteScope scope(p.palette);
        RIvuZuvuzoZuvu g;
        shapeList(g);
        g.Bands->Active = false;
        g.SetRowSelect(2, true);
        THTMLHintWindow hint;
        hint.ActivateHint({10, 10, 20, 20}, "Double-click the ID to update record");
        TGridTimerSpeedButton up(nullptr, true);
        up.resize(17, 11);
        const QImage list = grab(g);
        const std::tuple<const char*, double, double> parts[] = {
            {"row", textContrast(list, g.CellRect(1, 1).ToQRect().adjusted(1, 1, -1, -1)), platform::ReadableContrast},
            {"selected row", textContrast(list, g.CellRect(1, 2).ToQRect().adjusted(1, 1, -1, -1)),
             platform::ReadableContrast},
            {"hint", textContrast(hint.grab().toImage(), hint.rect().adjusted(2, 2, -2, -2)), platform::ReadableContrast},
            {"spin arrow", textContrast(up.grab().toImage(), QRect(3, 2, 11, 7)), 3.0},
        };
        for (const auto& [part, read, least] : parts) {
            std::printf("contrast %s, %s: %.1f\n", p.name.c_str(), part, read);
            EXPECT_GE(read, least) << p.name << " " << part;
        }
    }
}

// The grid takes the application's font, follows it as it changes, and its
// rows fit it; a font given to the grid stays.
TEST(GridPaint, TheGridFollowsTheApplicationsFontUnlessGivenOne)
{
    const QFont kept = QApplication::font();
    RIvuZuvuzoZuvu follows, own;
    shapeList(follows);
    shapeList(own);
    platform::Font small = own.Font();
    small.SetSize(8);
    own.SetFont(small);
    const int rowBefore = follows.RowHeights(5);
    follows.ColumnsFollowFont = true;
    follows.SetColWidths(1, follows.WidthAtFont(80));
    follows.SetColWidths(0, 1);  // kept out of sight
    const int widthBefore = follows.ColWidths(1);
    QFont large = kept;
    large.setPointSize(18);
    QApplication::setFont(large);
    QApplication::processEvents();  // the change reaches the widgets as posted events
    EXPECT_EQ(follows.Font().Size(), 18);
    EXPECT_EQ(follows.FixedFont().Size(), 18);
    EXPECT_GE(follows.RowHeights(5), QFontMetrics(follows.Font().ToQFont(follows.logicalDpiY())).height() + 6);
    EXPECT_EQ(own.Font().Size(), 8);
    EXPECT_EQ(own.RowHeights(5), 21);
    // A column of 80 pixels at the standard font holds "5550001" at 18 points.
    const QFontMetrics at18(follows.Font().ToQFont(follows.logicalDpiY()));
    EXPECT_GE(follows.ColWidths(1), at18.horizontalAdvance("5550001") + 8);
    EXPECT_EQ(follows.StandardWidth(follows.ColWidths(1)), 80);
    EXPECT_EQ(follows.ColWidths(0), 1);
    EXPECT_EQ(own.ColWidths(1), 100);
    QApplication::setFont(kept);
    QApplication::processEvents();
    EXPECT_EQ(follows.RowHeights(5), rowBefore);
    EXPECT_EQ(follows.ColWidths(1), widthBefore);
}

// The dotted frame round the current row of the focused list reads against
// the row's fill at 3:1 or more, on a flagged row (the selection colour) too,
// in every palette.
TEST(GridPaint, TheCurrentRowsFrameShowsOnAFlaggedRow)
{
    for (const NamedPalette& p : testPalettes()) {
        PaletteScope scope(p.palette);
        RIvuZuvuzoZuvu g;
        shapeList(g);
        g.SetRow(3);
        for (int r : {2, 3, 4})
            g.SetRowSelect(r, true);
        grab(g);
        ASSERT_TRUE(giveFocus(&g));
        const QImage img = grab(g);
        const Rect row = g.CellRect(1, 3);
        const QColor fill(img.pixel(row.Right - 8, row.Top + row.Height() / 2));
        double frame = 1;
        for (int x = row.Left + 2; x < row.Right - 2; ++x)
            frame = std::max(frame, platform::ContrastRatio(QColor(img.pixel(x, row.Top)), fill));
        std::printf("contrast %s, current row's frame on a flagged row: %.1f\n", p.name.c_str(), frame);
        EXPECT_GE(frame, 3.0) << p.name;
    }
}
