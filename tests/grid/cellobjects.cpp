// Per-cell objects of the list grid: attaching and removing graphics, check
// boxes, radio groups, nodes, markers and the other kinds; graphics moving
// with their rows and freed once; typed accessors, headers, marking, the cell
// checker, merged columns and the row filter.
#include "grid/cellfill.h"
#include "grid/listgrid.h"

#include <gtest/gtest.h>

using namespace grid;

namespace {

// A glyph that counts its live instances: a bit button's glyph is freed with
// its graphic, so the count shows each graphic freed exactly once.
struct CountedBitmap : TBitmap {
    static inline int live = 0;
    CountedBitmap() { ++live; }
    ~CountedBitmap() override { --live; }
};

}  // namespace

TEST(GridCellObjects, TypesAndTheAttachFamily)
{
    RIvuZuvuzoZuvu g;
    fillCells(g, 5, 6);
    EXPECT_EQ(g.GetCellType(1, 1), ctEmpty);
    TCellGraphic* created = g.CreateCellGraphic(1, 1);
    EXPECT_EQ(g.GetCellGraphic(1, 1), created);
    EXPECT_EQ(g.GetCellType(1, 1), ctNone);
    EXPECT_EQ(g.Cells(1, 1), "1:1");

    TPicture picture(QImage(8, 4, QImage::Format_RGB32));
    g.AddPicture(2, 2, &picture, false, noStretch, 0, haLeft, vaTop);
    EXPECT_FALSE(g.RemoveBitmap(2, 2));
    EXPECT_EQ(g.GetPicture(2, 2), &picture);
    EXPECT_EQ(g.GetBitmap(2, 2), nullptr);
    EXPECT_TRUE(g.RemovePicture(2, 2));
    EXPECT_EQ(g.GetCellType(2, 2), ctEmpty);
    EXPECT_FALSE(g.FreeCellGraphic(2, 2));

    // Every Add replaces the cell's earlier graphic.
    g.AddComment(3, 3, "first line\r\nsecond");
    std::string comment;
    EXPECT_TRUE(g.IsComment(3, 3, comment));
    EXPECT_EQ(comment, "first line\r\nsecond");
    g.AddProgress(3, 3, platform::clRed, platform::clWhite);
    EXPECT_FALSE(g.IsComment(3, 3, comment));
    EXPECT_EQ(g.GetCellType(3, 3), ctProgress);

    // Image-list kinds need GridImages.
    g.AddImageIdx(4, 4, 2, haLeft, vaTop);
    int index = -1;
    EXPECT_FALSE(g.GetImageIdx(4, 4, index));
    TCustomImageList images(16, 16);
    g.GridImages = &images;
    g.AddImageIdx(4, 4, 2, haLeft, vaTop);
    EXPECT_TRUE(g.GetImageIdx(4, 4, index));
    EXPECT_EQ(index, 2);
    g.AddMultiImage(4, 5, 0, haLeft, vaTop);
    ASSERT_NE(g.GetCellImages(4, 5), nullptr);
    g.GetCellImages(4, 5)->Add(1);
    g.GetCellImages(4, 5)->Add(0);
    EXPECT_EQ(g.GetCellGraphicSize(4, 5), QPoint(32, 16));
    g.GridImages = nullptr;
}

TEST(GridCellObjects, CheckBoxesStaticAndData)
{
    RIvuZuvuzoZuvu g;
    fillCells(g, 5, 6);
    g.AddCheckBox(2, 3, true, false);
    EXPECT_TRUE(g.HasCheckBox(2, 3));
    EXPECT_FALSE(g.HasDataCheckBox(2, 3));
    EXPECT_TRUE(g.HasStaticEdit(2, 3));
    EXPECT_TRUE(g.ToggleCheckBox(2, 3));
    bool state = true;
    EXPECT_TRUE(g.GetCheckBoxState(2, 3, state));
    EXPECT_FALSE(state);
    EXPECT_EQ(g.GetCellGraphic(2, 3)->CellHAlign, haBeforeText);

    g.SetCells(1, 2, "");
    g.AddCheckBox(1, 2, false, true);
    EXPECT_TRUE(g.HasDataCheckBox(1, 2));
    EXPECT_TRUE(g.ToggleCheckBox(1, 2));
    EXPECT_EQ(g.Cells(1, 2), "Y");
    EXPECT_TRUE(g.ToggleCheckBox(1, 2));
    EXPECT_EQ(g.Cells(1, 2), "N");
    EXPECT_TRUE(g.SetCheckBoxState(1, 2, true));
    EXPECT_EQ(g.Cells(1, 2), "Y");
    EXPECT_TRUE(g.GetCheckBoxState(1, 2, state));
    EXPECT_TRUE(state);

    // A cell the owner keeps read-only is not toggled from an edit.
    g.OnCanEditCell = [](RIvuZuvuzoZuvu*, int ARow, int ACol, bool& CanEdit) { CanEdit = !(ACol == 2 && ARow == 3); };
    EXPECT_FALSE(g.ToggleCheck(2, 3, true));
    EXPECT_TRUE(g.GetCheckBoxState(2, 3, state));
    EXPECT_FALSE(state);
    EXPECT_TRUE(g.ToggleCheck(1, 2, true));
    EXPECT_EQ(g.Cells(1, 2), "N");

    EXPECT_FALSE(g.ToggleCheckBox(3, 3));  // no check box
    EXPECT_TRUE(g.RemoveCheckBox(1, 2));
    EXPECT_TRUE(g.RemoveCheckBox(2, 3));
    EXPECT_FALSE(g.HasCheckBox(2, 3));
}

TEST(GridCellObjects, RadioGroups)
{
    RIvuZuvuzoZuvu g;
    fillCells(g, 4, 4);
    TCellStrings items;
    items.Lines = {"Mr", "Ms", "Dr"};

    // Driven by the stored index.
    g.AddRadio(1, 1, 1, 0, &items);
    EXPECT_TRUE(g.IsRadio(1, 1));
    EXPECT_EQ(g.GetRadioStrings(1, 1), &items);
    EXPECT_TRUE(g.ToggleRadio(1, 1, false));
    int index = -1;
    EXPECT_TRUE(g.GetRadioIdx(1, 1, index));
    EXPECT_EQ(index, 1);
    EXPECT_EQ(g.Cells(1, 1), "Ms");
    g.ToggleRadio(1, 1, false);
    g.ToggleRadio(1, 1, false);
    EXPECT_TRUE(g.GetRadioIdx(1, 1, index));
    EXPECT_EQ(index, 0);  // wrapped
    EXPECT_EQ(g.Cells(1, 1), "Mr");

    // Driven by the cell text: the index stays -1.
    g.SetCells(2, 1, "Dr");
    g.AddRadio(2, 1, 0, -1, &items);
    EXPECT_TRUE(g.ToggleRadio(2, 1, false));
    EXPECT_EQ(g.Cells(2, 1), "Mr");
    EXPECT_TRUE(g.GetRadioIdx(2, 1, index));
    EXPECT_EQ(index, -1);

    // A group without items toggles nothing.
    g.CreateRadio(3, 1, 0, 0);
    EXPECT_FALSE(g.ToggleRadio(3, 1, false));
    g.AddRadio(3, 2, 0, 0, nullptr);
    EXPECT_FALSE(g.ToggleRadio(3, 2, false));

    // The index is written only into radio cells.
    g.AddButton(1, 3, 40, 18, "Go", haLeft, vaTop);
    EXPECT_FALSE(g.SetRadioIdx(1, 3, 7));
    EXPECT_EQ(g.GetCellGraphicSize(1, 3), QPoint(40, 18));
    EXPECT_TRUE(g.SetRadioIdx(1, 1, 2));

    // Room of a group, measured in the grid's font: across, each item's text + 12; down, one line per item.
    platform::Canvas measure;
    measure.Font = g.Font();
    const int th = measure.TextHeight(QStringLiteral("gh"));
    int across = 0, widest = 0;
    for (const std::string& item : items.Lines) {
        across += measure.TextWidth(QString::fromStdString(item)) + 12;
        widest = std::max(widest, measure.TextWidth(QString::fromStdString(item)));
    }
    g.Canvas().Font.Height = -40;  // whatever the canvas holds from its last paint
    EXPECT_EQ(g.GetCellGraphicSize(1, 1), QPoint(across, th));
    EXPECT_EQ(g.GetCellGraphicSize(2, 1), QPoint(12 + widest, 3 * th));
    EXPECT_EQ(g.Canvas().Font.Height, -40);
    EXPECT_TRUE(g.RemoveRadio(1, 1));
    EXPECT_EQ(items.Count(), 3);  // the caller's list survives
}

TEST(GridCellObjects, RotationMarkersAndComments)
{
    RIvuZuvuzoZuvu g;
    fillCells(g, 4, 4);
    int angle = 0;
    g.SetRotated(1, 1, -90);
    EXPECT_TRUE(g.IsRotated(1, 1, angle));
    EXPECT_EQ(angle, 270);
    g.SetRotated(1, 1, 725);
    g.IsRotated(1, 1, angle);
    EXPECT_EQ(angle, 5);
    g.SetRotated(1, 1, 720);
    g.IsRotated(1, 1, angle);
    EXPECT_EQ(angle, 360);
    g.AddRotated(2, 1, -450, "up");
    g.IsRotated(2, 1, angle);
    EXPECT_EQ(angle, 270);
    EXPECT_EQ(g.Cells(2, 1), "up");

    // A marker on a plain cell gets an empty graphic that goes with the marker.
    g.AddMarker(1, 2, 3, 4);
    EXPECT_EQ(g.GetCellType(1, 2), ctEmpty);
    int start = -1, length = -1;
    g.GetMarker(1, 2, start, length);
    EXPECT_EQ(start, 3);
    EXPECT_EQ(length, 4);
    g.RemoveMarker(1, 2);
    EXPECT_EQ(g.GetCellGraphic(1, 2), nullptr);

    TBitmap bitmap(QImage(4, 4, QImage::Format_RGB32));
    g.AddBitmap(2, 2, &bitmap, false, haLeft, vaTop);
    g.AddMarker(2, 2, 1, 1);
    g.RemoveMarker(2, 2);
    EXPECT_EQ(g.GetBitmap(2, 2), &bitmap);
    g.GetMarker(2, 2, start, length);
    EXPECT_EQ(length, 0);
    g.GetMarker(3, 3, start, length);
    EXPECT_EQ(start + length, 0);
}

TEST(GridCellObjects, GraphicsMoveWithTheirRowsAndAreFreedOnce)
{
    CountedBitmap::live = 0;
    {
        RIvuZuvuzoZuvu g;
        fillCells(g, 4, 10);
        for (int r = 1; r < 10; ++r)
            g.AddBitButton(2, r, 20, 10, "b" + std::to_string(r), new CountedBitmap, haLeft, vaTop);
        g.AddCheckBox(1, 3, true, false);
        g.AddNode(5, 3);
        EXPECT_EQ(CountedBitmap::live, 9);

        g.SwapRows(3, 7);
        g.SortSwapRows(2, 8);
        bool state = false;
        EXPECT_TRUE(g.GetCheckBoxState(1, 7, state));
        EXPECT_TRUE(state);
        EXPECT_FALSE(g.HasCheckBox(1, 3));
        EXPECT_EQ(g.GetCellType(2, 8), ctBitButton);

        // A sort by the first column puts the rows in their old order again;
        // each button's caption shows where it came from.
        g.SortSettings->Column = 0;
        g.QSort();
        for (int r = 1; r < 10; ++r) {
            const auto* caption = dynamic_cast<const TCellStrings*>(g.GetCellGraphic(2, r)->CellObject);
            ASSERT_NE(caption, nullptr);
            EXPECT_EQ(caption->Lines.front(), "b" + std::to_string(r));
        }
        EXPECT_TRUE(g.HasCheckBox(1, 3));
        EXPECT_TRUE(g.IsNode(5));

        EXPECT_TRUE(g.RemoveButton(2, 4));
        EXPECT_EQ(CountedBitmap::live, 8);
        g.CreateBitButton(2, 4, 10, 10, "again", haLeft, vaTop);
        EXPECT_EQ(CountedBitmap::live, 8);  // a plain TBitmap, not counted
        g.RemoveRows(5, 2);
        EXPECT_EQ(CountedBitmap::live, 6);
        EXPECT_EQ(g.NodeCount(), 1);
        g.FreeCellGraphic(0, 5);  // a row that is no node frees nothing of the count
        EXPECT_EQ(g.NodeCount(), 1);
    }
    EXPECT_EQ(CountedBitmap::live, 0);
}

TEST(GridCellObjects, NodeSpanTypes)
{
    RIvuZuvuzoZuvu g;
    fillCells(g, 3, 10);
    g.AddNode(2, 3);  // rows 3 and 4 belong to it
    g.AddNode(6, 0);
    EXPECT_EQ(g.GetNodeSpanType(1), 0);  // no node above
    EXPECT_EQ(g.GetNodeSpanType(2), 0);
    EXPECT_EQ(g.GetNodeSpanType(3), 2);
    EXPECT_EQ(g.GetNodeSpanType(4), 1);  // the node's last row
    EXPECT_EQ(g.GetNodeSpanType(7), 2);
    EXPECT_EQ(g.GetNodeSpanType(9), 1);  // the last data row
    g.ContractNode(2);
    EXPECT_TRUE(g.GetNodeState(2));
}

TEST(GridCellObjects, PictureSizesByStretchMode)
{
    RIvuZuvuzoZuvu g;
    fillCells(g, 3, 3);
    TPicture picture(QImage(40, 20, QImage::Format_RGB32));
    auto sizeIn = [&](TStretchMode mode, int w, int h) {
        g.AddPicture(1, 1, &picture, false, mode, 4, haLeft, vaTop);
        return g.GetCellGraphic(1, 1)->GetPictureSize(w, h, false);
    };
    EXPECT_EQ(sizeIn(noStretch, 24, 14), QPoint(40, 20));
    EXPECT_EQ(sizeIn(Stretch, 24, 14), QPoint(20, 10));
    EXPECT_EQ(sizeIn(StretchWithAspectRatio, 104, 104), QPoint(100, 50));
    EXPECT_EQ(sizeIn(Shrink, 104, 104), QPoint(40, 20));
    EXPECT_EQ(sizeIn(Shrink, 24, 104), QPoint(20, 100));
    EXPECT_EQ(sizeIn(ShrinkWithAspectRatio, 104, 104), QPoint(40, 20));
    EXPECT_EQ(sizeIn(ShrinkWithAspectRatio, 24, 104), QPoint(20, 10));

    // A picture at its own size beside the text reports its width; over text, none.
    TBitmap bitmap(QImage(9, 7, QImage::Format_RGB32));
    g.AddBitmap(2, 2, &bitmap, false, haLeft, vaTop);
    EXPECT_EQ(g.GetCellGraphicSize(2, 2), QPoint(0, 7));
    g.AddBitmap(2, 2, &bitmap, false, haBeforeText, vaTop);
    EXPECT_EQ(g.GetCellGraphicSize(2, 2), QPoint(9, 7));
    EXPECT_EQ(g.GetPrintGraphicSize(2, 2, 100, 100, 0.5), QPoint(18, 14));
}

TEST(GridCellObjects, DatesAndTimesRoundTrip)
{
    FormatSettings saved = formatSettings();
    formatSettings().ShortDateFormat = "dd/MM/yyyy";
    formatSettings().DateSeparator = '/';
    RIvuZuvuzoZuvu g;
    fillCells(g, 3, 3);
    const TDateTime d = EncodeDate(2026, 2, 28);
    g.SetDates(1, 1, d);
    EXPECT_EQ(g.Cells(1, 1), "28/02/2026");
    EXPECT_EQ(g.GetDates(1, 1), d);
    g.SetCells(1, 2, "31/12/1999");
    EXPECT_EQ(g.GetDates(1, 2), EncodeDate(1999, 12, 31));
    g.SetCells(1, 2, "no date");
    EXPECT_THROW(g.GetDates(1, 2), EConvertError);

    // A two-digit year format still writes the whole year, so nothing drifts a century.
    formatSettings().ShortDateFormat = "M/d/yy";
    g.SetDates(2, 1, d);
    EXPECT_EQ(g.Cells(2, 1), "2/28/2026");
    EXPECT_EQ(g.GetDates(2, 1), d);

    g.SetTimes(1, 1, 0.75 + 30.0 / 86400);
    EXPECT_EQ(g.Cells(1, 1), "18:00:30");
    EXPECT_DOUBLE_EQ(g.GetTimes(1, 1), 0.75 + 30.0 / 86400);
    g.SetCells(1, 1, "25:00");
    EXPECT_THROW(g.GetTimes(1, 1), EConvertError);
    formatSettings() = saved;

    EXPECT_EQ(g.GetPrintColWidth(3), -1);
    g.SetPrintColumn(3, 120, 40);
    EXPECT_EQ(g.GetPrintColWidth(3), 120);
    EXPECT_EQ(g.GetPrintColOffset(3), 40);
    EXPECT_EQ(g.GetPrintColWidth(256), -1);
}

TEST(GridCellObjects, HeadersAndMarking)
{
    RIvuZuvuzoZuvu g;
    fillCells(g, 3, 4);
    g.SetColumnHeaders({"ID", "Name\\nfull", "Phone", "beyond"});
    EXPECT_EQ(g.Cells(0, 0), "ID");
    EXPECT_EQ(g.Cells(1, 0), "Name\rfull");
    EXPECT_EQ(g.Cells(2, 0), "Phone");
    g.ClearColumnHeaders();
    EXPECT_EQ(g.Cells(1, 0), "");
    g.Loaded();
    EXPECT_EQ(g.Cells(1, 0), "Name\rfull");

    g.SetCells(1, 1, "xABx");
    g.HilightInCell(false, 1, 1, "ab");
    EXPECT_EQ(g.Cells(1, 1), "x<hi>AB</hi>x");
    g.UnHilightInCell(1, 1);
    EXPECT_EQ(g.Cells(1, 1), "xABx");
    g.HilightInCell(true, 1, 1, "ab");
    EXPECT_EQ(g.Cells(1, 1), "xABx");

    // Found in the text without its tags, the new tags placed around the tagged text.
    EXPECT_EQ(g.HilightText(false, "<b>Sm</b>ith and smith", "smith"),
              "<b><hi>Sm</b>ith</hi> and <hi>smith</hi>");
    EXPECT_EQ(g.UnMarkText(g.MarkText(true, "aaa", "a")), "aaa");
    EXPECT_EQ(g.UnHilightText("<HI>x</Hi>y<hi>"), "xy");

    // Without fixed cells the header row is left alone.
    g.SetCells(0, 0, "ab");
    g.MarkInGrid(false, true, "ab");
    EXPECT_EQ(g.Cells(0, 0), "ab");
    g.SetCells(2, 3, "cab");
    g.MarkInGrid(false, true, "ab");
    EXPECT_EQ(g.Cells(2, 3), "c<e>ab</e>");
    g.UnMarkInGrid(false);
    EXPECT_EQ(g.Cells(2, 3), "cab");
}

namespace {
struct UpperChecker : RIvuZuvuzoZuvuCheck {
    int started = 0, stopped = 0;
    std::string Correct(int, int, const std::string& Text) override { return UpperCase(Text); }
    void StartCheck() override { ++started; }
    void StopCheck() override { ++stopped; }
};
}  // namespace

TEST(GridCellObjects, CellCheckerFillsAndMergedColumns)
{
    RIvuZuvuzoZuvu g;
    fillCells(g, 3, 4);
    EXPECT_TRUE(g.CheckCell(1, 1));  // no checker
    UpperChecker checker;
    checker.UseCorrect = true;
    g.CellChecker = &checker;
    g.SetCells(1, 1, "ABC");
    EXPECT_TRUE(g.CheckCell(1, 1));
    g.SetCells(1, 2, "abc");
    EXPECT_FALSE(g.CheckCol(1));
    EXPECT_EQ(g.Cells(1, 2), "ABC");
    EXPECT_EQ(checker.started, 1);
    EXPECT_EQ(checker.stopped, 1);
    g.CellChecker = nullptr;

    g.TextFill(false, "t");
    EXPECT_EQ(g.Cells(1, 1), "t");
    EXPECT_EQ(g.Cells(0, 1), "0:1");
    g.RandomFill(false, 5);
    for (int r = 1; r < 4; ++r) {
        int v = -1;
        ASSERT_TRUE(TextToInt(g.Cells(2, r), v));
        EXPECT_TRUE(v >= 0 && v < 5);
    }

    g.TextFill(false, "same");
    g.MergedColumns.Add(1);
    EXPECT_TRUE(g.IsMergedCell(1, 1));
    EXPECT_EQ(g.CellSpan(1, 1), QPoint(0, 2));
    g.MergedColumns.Clear();
    EXPECT_FALSE(g.IsMergedCell(1, 1));
}

TEST(GridCellObjects, FilterHidesAndRestoresRows)
{
    RIvuZuvuzoZuvu g;
    fillCells(g, 2, 6);
    const char* names[] = {"Name", "apple", "banana", "avocado", "cherry", "apricot"};
    for (int r = 0; r < 6; ++r)
        g.SetCells(1, r, names[r]);
    g.Filter.push_back({1, "a*", true});
    std::vector<int> progress;
    g.OnFilterProgress = [&](RIvuZuvuzoZuvu*, int p) { progress.push_back(p); };
    g.SetFilterActive(true);
    ASSERT_EQ(g.RowCount(), 4);
    EXPECT_EQ(g.Cells(1, 1), "apple");
    EXPECT_EQ(g.Cells(1, 2), "avocado");
    EXPECT_EQ(g.Cells(1, 3), "apricot");
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), 100);
    g.SetFilterActive(false);
    ASSERT_EQ(g.RowCount(), 6);
    EXPECT_EQ(g.Cells(1, 2), "banana");

    // No row matches: one empty data row stands in, and goes again.
    g.Filter = {{1, "z*", true}};
    g.SetFilterActive(true);
    EXPECT_EQ(g.RowCount(), 2);
    EXPECT_EQ(g.FixedRows(), 1);
    EXPECT_EQ(g.Cells(1, 1), "");
    g.SetFilterActive(false);
    ASSERT_EQ(g.RowCount(), 6);
    for (int r = 0; r < 6; ++r)
        EXPECT_EQ(g.Cells(1, r), names[r]);
}

TEST(GridCellObjects, SortByImageCells)
{
    RIvuZuvuzoZuvu g;
    fillCells(g, 3, 5);
    TCustomImageList images(8, 8);
    g.GridImages = &images;
    const int keys[] = {3, 1, 2};
    for (int r = 1; r <= 3; ++r) {
        g.AddMultiImage(1, r, 0, haLeft, vaTop);
        g.GetCellGraphic(1, r)->CellIndex = keys[r - 1];
    }
    EXPECT_EQ(g.GetCellImageIdx(1, 4), -1);  // no image: first
    g.OnGetFormat = [](RIvuZuvuzoZuvu*, int, TSortStyle& Style, std::string&, std::string&) { Style = ssImages; };
    g.SortSettings->Column = 1;
    g.QSort();
    EXPECT_EQ(g.Cells(0, 1), "0:4");
    EXPECT_EQ(g.Cells(0, 2), "0:2");
    EXPECT_EQ(g.Cells(0, 3), "0:3");
    EXPECT_EQ(g.Cells(0, 4), "0:1");
    EXPECT_EQ(g.GetCellImageIdx(1, 4), 3);
    g.GridImages = nullptr;
}
