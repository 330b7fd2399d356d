// Clipboard exchange of the list grid through the offscreen platform's real
// clipboard: what a copy places, what a paste writes and grows, cuts that
// spare read-only cells, and the smart fill of a selection.
#include "cellfill.h"
#include "cliptext.h"

#include <gtest/gtest.h>

#include <climits>

using namespace grid;

namespace {

// A grid that records its paste notifications.
struct ClipGrid : RIvuZuvuzoZuvu {
    ClipGrid(int cols = 4, int rows = 6)
    {
        fillCells(*this, cols, rows);
        SetOptions(Options() | platform::goEditing);
    }
    void PasteNotify(QPoint Origin, const TGridRect& Pasted, TClipOperation Operation) override
    {
        notified.push_back({Origin, Pasted, Operation});
    }
    struct Note {
        QPoint origin;
        TGridRect pasted;
        TClipOperation operation;
    };
    std::vector<Note> notified;
    std::vector<std::string> column(int c)
    {
        std::vector<std::string> v;
        for (int r = FixedRows(); r < RowCount(); ++r)
            v.push_back(Cells(c, r));
        return v;
    }
};

}  // namespace

TEST(GridClipboard, CopyPlacesTabbedText)
{
    ClipGrid g;
    g.SetCells(1, 1, "a");
    g.SetCells(2, 1, "b");
    g.SetCells(1, 2, "c");
    g.SetCells(2, 2, "d");
    EXPECT_TRUE(g.CopyFunc({1, 1, 2, 2}));
    EXPECT_EQ(clipText(), "a\tb\r\nc\td\r\n");
    EXPECT_EQ(g.CopiedOrigin(), QPoint(1, 1));
    g.SelectRange(1, 2, 1, 1);
    g.CopySelectionToClipboard();
    EXPECT_EQ(clipText(), "a\tb");
    EXPECT_EQ(g.LastClipOperation(), coCopy);

    // HTML goes with its tags unless told otherwise.
    ClipGrid h;
    h.SetCells(1, 1, "<B>x</B>");
    h.CopyFunc({1, 1, 1, 1});
    EXPECT_EQ(clipText(), "<B>x</B>");
    h.Navigation->CopyHTMLTagsToClipboard = false;
    h.CopyFunc({1, 1, 1, 1});
    EXPECT_EQ(clipText(), "x");

    // The saved range: the data cells (fixed cells with IncludeFixedCells).
    ClipGrid s(3, 3);
    s.CopyToClipBoard();
    EXPECT_EQ(clipText(), "1:1\t2:1\r\n1:2\t2:2\r\n");
}

TEST(GridClipboard, RichTextGoesBesideTheTextAndPastesUnchanged)
{
    const std::string rtf = "{\\rtf1\\ansi Hello}";
    ClipGrid g;
    g.SetCells(1, 1, rtf);
    g.CopyFunc({1, 1, 1, 1});
    EXPECT_FALSE(QApplication::clipboard()->mimeData()->hasFormat(kRTFFormat));
    EXPECT_EQ(clipText(), "Hello");
    g.Navigation->AllowRTFClipboard = true;
    g.CopyFunc({1, 1, 2, 1});
    EXPECT_EQ(QApplication::clipboard()->mimeData()->data(kRTFFormat).toStdString(), rtf);
    EXPECT_EQ(g.PasteFunc(2, 3), 0);
    EXPECT_EQ(g.Cells(2, 3), rtf);
    // A cell's rich text added to plain text already on the clipboard.
    setClipText("plain");
    g.CopyRTFFunc(1, 1);
    EXPECT_EQ(clipText(), "plain");
    EXPECT_EQ(QApplication::clipboard()->mimeData()->data(kRTFFormat).toStdString(), rtf);
}

TEST(GridClipboard, PasteCutsLinesAndFields)
{
    // (how a text is cut is tested in gridexchange_clipboardtext)
    ClipGrid g;
    EXPECT_EQ(g.PasteText(1, 1, "a\tb\r\nc\r\n"), 4);
    EXPECT_EQ(g.Cells(1, 1), "a");
    EXPECT_EQ(g.Cells(2, 1), "b");
    EXPECT_EQ(g.Cells(1, 2), "c");
    EXPECT_EQ(g.Cells(2, 2), "2:2");  // a short line leaves the rest of its row
    EXPECT_EQ(g.Cells(1, 3), "1:3");  // the empty field after the last line end is not stored
    EXPECT_EQ(g.RowCount(), 6);
    ASSERT_EQ(g.notified.size(), 1u);
    EXPECT_EQ(g.notified[0].pasted, (TGridRect{1, 1, 2, 2}));
    EXPECT_EQ(g.PasteText(3, 1, "alpha\nbeta\ngamma"), 3);  // as Linux programs copy lines
    EXPECT_EQ(g.column(3), (std::vector<std::string>{"alpha", "beta", "gamma", "3:4", "3:5"}));

    // Nothing at a negative cell, nor into a grid without editing.
    EXPECT_EQ(g.PasteText(-1, 1, "z"), 0);
    EXPECT_EQ(g.PasteText(1, -1, "z"), 0);
    EXPECT_EQ(g.PasteText(INT_MAX - 1, 1, "a\tb\tc"), 0);  // past the last index
    EXPECT_EQ(g.PasteText(1, INT_MAX - 1, "a\rb\rc"), 0);
    g.SetOptions(g.Options() & ~platform::goEditing);
    EXPECT_EQ(g.PasteText(1, 1, "z"), 0);
    EXPECT_EQ(g.Cells(1, 1), "a");
    EXPECT_EQ(g.notified.size(), 2u);
    g.Navigation->AllowClipboardAlways = true;
    EXPECT_EQ(g.PasteText(1, 1, "z"), 1);
    EXPECT_EQ(g.Cells(1, 1), "z");

    // A clipboard without text changes nothing.
    auto* image = new QMimeData;
    image->setData("image/png", "\x89PNG");
    QApplication::clipboard()->setMimeData(image);
    EXPECT_EQ(g.PasteFunc(1, 1), 0);
    EXPECT_EQ(g.Cells(1, 1), "z");
}

TEST(GridClipboard, PasteGrowsOnlyWhenAllowed)
{
    ClipGrid grow(4, 4);
    EXPECT_EQ(grow.PasteText(3, 3, "a\tb\tc\r\nd\r\n"), 5);
    EXPECT_EQ(grow.ColCount(), 6);
    EXPECT_EQ(grow.RowCount(), 5);
    EXPECT_EQ(grow.Cells(5, 3), "c");
    EXPECT_EQ(grow.Cells(3, 4), "d");
    EXPECT_EQ(grow.notified.back().pasted, (TGridRect{3, 3, 5, 4}));

    ClipGrid fixed(4, 4);
    fixed.Navigation->AllowClipboardColGrow = false;
    fixed.Navigation->AllowClipboardRowGrow = false;
    EXPECT_EQ(fixed.PasteText(3, 3, "a\tb\tc\r\nd\r\n"), 5);
    EXPECT_EQ(fixed.ColCount(), 4);
    EXPECT_EQ(fixed.RowCount(), 4);
    EXPECT_EQ(fixed.Cells(3, 3), "a");
    EXPECT_EQ(fixed.notified.back().pasted, (TGridRect{3, 3, 3, 3}));
}

TEST(GridClipboard, CutSparesReadOnlyCellsAndNotifiesPastes)
{
    ClipGrid g;
    std::vector<Rect> changed;
    g.OnCellsChanged = [&](RIvuZuvuzoZuvu*, const Rect& R) { changed.push_back(R); };
    g.OnCanEditCell = [](RIvuZuvuzoZuvu*, int ARow, int ACol, bool& CanEdit) { CanEdit = !(ACol == 2 && ARow == 2); };
    g.SelectRange(1, 2, 1, 2);
    g.CutSelectionToClipboard();
    EXPECT_EQ(clipText(), "1:1\t2:1\r\n1:2\t2:2\r\n");
    EXPECT_EQ(g.Cells(1, 1), "");
    EXPECT_EQ(g.Cells(2, 1), "");
    EXPECT_EQ(g.Cells(1, 2), "");
    EXPECT_EQ(g.Cells(2, 2), "2:2");
    EXPECT_EQ(g.LastClipOperation(), coCut);

    g.PasteFunc(1, 4);
    ASSERT_EQ(g.notified.size(), 1u);
    EXPECT_EQ(g.notified[0].origin, QPoint(1, 1));
    EXPECT_EQ(g.notified[0].pasted, (TGridRect{1, 4, 2, 5}));
    EXPECT_EQ(g.notified[0].operation, coCut);
    ASSERT_EQ(changed.size(), 1u);
    EXPECT_EQ(changed[0], (Rect{1, 4, 2, 5}));
}

TEST(GridClipboard, DisjunctRowsCopyAndCutOnlyTheFlaggedRows)
{
    ClipGrid g(3, 5);
    g.MouseActions->DisjunctRowSelect = true;
    g.SetRowSelect(1, true);
    g.SetRowSelect(3, true);
    g.CopySelectionToClipboard();
    EXPECT_EQ(clipText(), "1:1\t2:1\r\n1:3\t2:3\r\n");
    g.CutSelectionToClipboard();
    EXPECT_EQ(g.column(1), (std::vector<std::string>{"", "1:2", "", "1:4"}));
    EXPECT_EQ(g.Cells(0, 1), "0:1");  // the row header was not copied, so it stays
}

TEST(GridClipboard, QuotedLinesRoundTrip)
{
    ClipGrid g;
    g.QuoteClipboardLines = true;
    g.Multilinecells = true;
    g.SetCells(3, 1, "one\r\ntwo");
    g.SetCells(2, 1, "x");
    g.CopyFunc({2, 1, 3, 1});
    g.PasteFunc(2, 4);
    EXPECT_EQ(g.Cells(2, 4), "x");
    EXPECT_EQ(g.Cells(3, 4), "one\r\ntwo");
    g.CopyFunc({3, 1, 3, 1});  // alone
    g.PasteFunc(1, 5);
    EXPECT_EQ(g.Cells(1, 5), "one\r\ntwo");
}

TEST(GridClipboard, SmartFillFillsSeries)
{
    struct FormatScope {
        std::string kept = formatSettings().ShortDateFormat;
        FormatScope() { formatSettings().ShortDateFormat = "dd/MM/yyyy"; }
        ~FormatScope() { formatSettings().ShortDateFormat = kept; }
    } format;
    struct Case {
        const char* pasted;
        int cells;
        std::vector<std::string> column;
    } cases[] = {
        {"1\r\n2\r\n", 5, {"1", "2", "3", "4", "5"}},
        {"10\r\n7\r\n", 3, {"10", "7", "4"}},
        {"x\r\n", 3, {"x", "x", "x"}},
        {"1.5\r\n2\r\n", 3, {"1.50", "2.00", "2.50"}},
        {"31/01/2024\r\n31/03/2024\r\n", 5, {"31/01/2024", "31/03/2024", "31/05/2024", "31/07/2024", "30/09/2024"}},
        {"30/12/2024\r\n01/01/2025\r\n", 3, {"30/12/2024", "01/01/2025", "03/01/2025"}},
        {"08:00\r\n08:30\r\n", 3, {"08:00:00", "08:30:00", "09:00:00"}},
        {"1\r\nx\r\n", 3, {"1", "x", "1:3"}},  // not integers: the fill stops
    };
    for (const Case& c : cases) {
        ClipGrid g(3, 7);
        g.Navigation->AllowSmartClipboard = true;
        setClipText(c.pasted);
        g.SelectRange(1, 1, 1, c.cells);
        g.PasteSelectionFromClipboard();
        std::vector<std::string> got = g.column(1);
        got.resize(c.column.size());
        EXPECT_EQ(got, c.column) << c.pasted;
        EXPECT_EQ(g.Cells(1, c.cells + 1), c.cells + 1 < 7 ? "1:" + std::to_string(c.cells + 1) : "") << c.pasted;
    }

    // One row, and a value that is no number: the error comes before any cell of the series is written.
    ClipGrid g(7, 3);
    g.Navigation->AllowSmartClipboard = true;
    setClipText("1\t2");  // no line end: two fields make one value
    g.SelectRange(1, 4, 1, 1);
    g.PasteSelectionFromClipboard();
    EXPECT_EQ(g.Cells(4, 1), "1");
    setClipText("1\t3\r\n");
    g.PasteSelectionFromClipboard();
    EXPECT_EQ(g.Cells(4, 1), "7");
    ClipGrid bad(3, 7);
    bad.Navigation->AllowSmartClipboard = true;
    setClipText("1.5\r\nx\r\n");
    bad.SelectRange(1, 1, 1, 5);
    EXPECT_THROW(bad.PasteSelectionFromClipboard(), EConvertError);
    EXPECT_EQ(bad.column(1), (std::vector<std::string>{"1.5", "x", "1:3", "1:4", "1:5", "1:6"}));

    // A selection past the fill limit of 5,000,000 cells gets only the paste.
    bad.SetRowCountEx(2'500'002);
    setClipText("x\r\n");
    bad.SelectRange(1, 2, 1, 2'500'001);
    bad.PasteSelectionFromClipboard();
    EXPECT_EQ(bad.Cells(1, 1) + bad.Cells(1, 3) + bad.Cells(2, 1), "x1:32:1");
}
