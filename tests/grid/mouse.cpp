// The list grid under the mouse: row selection with Ctrl and Shift, header
// clicks that sort (and the releases that must not), double-click auto-size
// at a header border, sizing all columns together, links in cells (opened
// once the press is let go), column moves that keep the sort column on
// its data, and presses whose release a modal window took.
#include "inputfixture.h"

#include "grid/cellgraphic.h"
#include "grid/cellobjects.h"
#include "platform/shell.h"
#include "release_behind_modal.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>
#include <gtest/gtest.h>

using namespace grid;
using Rows = std::vector<int>;
using G = RIvuZuvuzoZuvu;

TEST(GridMouse, ClicksSelectRowsWithCtrlAndShift)
{
    InputGrid t(8);
    t.click(t.center(1, 2));
    EXPECT_EQ(t.selectedRows(), Rows({2}));
    EXPECT_EQ(t.g.Row(), 2);

    t.click(t.center(2, 4), Qt::ControlModifier);  // adds
    t.click(t.center(0, 6), Qt::ControlModifier);
    EXPECT_EQ(t.selectedRows(), Rows({2, 4, 6}));
    t.click(t.center(1, 4), Qt::ControlModifier);  // a selected row goes
    EXPECT_EQ(t.selectedRows(), Rows({2, 6}));

    t.click(t.center(1, 3));  // a plain click leaves only its row
    EXPECT_EQ(t.selectedRows(), Rows({3}));
    t.click(t.center(1, 6), Qt::ShiftModifier);  // a range from the current row
    EXPECT_EQ(t.selectedRows(), Rows({3, 4, 5, 6}));
    t.click(t.center(1, 1));
    EXPECT_EQ(t.selectedRows(), Rows({1}));

    // A click on the header selects nothing new.
    t.g.SortSettings->Show = false;
    t.click(t.center(1, 0));
    EXPECT_EQ(t.selectedRows(), Rows({1}));
}

TEST(GridMouse, HeaderClicksSortAndReverse)
{
    InputGrid t(5);
    const char* names[] = {"Cobalt", "alpha", "Beta", "delta"};
    for (int r = 1; r <= 4; ++r)
        t.g.SetCells(1, r, names[r - 1]);
    t.g.SortSettings->AutoFormat = false;
    std::vector<int> sorted;
    t.g.OnClickSort = [&](RIvuZuvuzoZuvu*, int col) { sorted.push_back(col); };

    t.click(t.center(1, 0));
    EXPECT_EQ(t.column(1), (std::vector<std::string>{"Beta", "Cobalt", "alpha", "delta"}));
    EXPECT_EQ(t.g.SortSettings->Column(), 1);
    EXPECT_EQ(t.g.SortSettings->Direction(), sdAscending);
    t.click(t.center(1, 0));
    EXPECT_EQ(t.column(1), (std::vector<std::string>{"delta", "alpha", "Cobalt", "Beta"}));
    EXPECT_EQ(t.g.SortSettings->Direction(), sdDescending);
    EXPECT_EQ(sorted, (std::vector<int>{1, 1}));

    // Rows move with their texts: the other columns followed column 1.
    EXPECT_EQ(t.g.Cells(1, 1), "delta");
    EXPECT_EQ(t.g.Cells(2, 1), "r4c2");

    // Press on a data row and release on the header: no sort.
    QTest::mousePress(t.view(), Qt::LeftButton, {}, t.center(2, 2));
    QTest::mouseRelease(t.view(), Qt::LeftButton, {}, t.center(2, 0));
    QTest::qWait(QApplication::doubleClickInterval() + 20);
    EXPECT_EQ(sorted.size(), 2u);
}

TEST(GridMouse, ReleasesInTheSizingZoneDoNotSort)
{
    InputGrid t(5);
    int sorts = 0;
    t.g.OnClickSort = [&](RIvuZuvuzoZuvu*, int) { ++sorts; };
    const std::vector<std::string> before = t.column(1);
    for (int dx : {-1, -2, -3})  // inside column 1, next to its right border
        t.click(t.headerBorder(1, dx));
    t.click(t.headerBorder(0, 2));  // inside column 1, next to its left border
    EXPECT_EQ(sorts, 0);
    EXPECT_EQ(t.column(1), before);
    EXPECT_EQ(t.g.ColWidths(1), 64);  // a press and release in place sizes nothing

    EXPECT_TRUE(t.g.InSizeZone(t.headerBorder(1, -3).x(), t.headerBorder(1).y()));
    EXPECT_FALSE(t.g.InSizeZone(t.headerBorder(1, -4).x(), t.headerBorder(1).y()));
    EXPECT_FALSE(t.g.InSizeZone(t.headerBorder(1, -1).x(), t.center(1, 2).y()));  // not in a header row

    t.click(t.center(1, 0));
    EXPECT_EQ(sorts, 1);
}

TEST(GridMouse, GridWithoutDataRowsDoesNotSort)
{
    InputGrid t(1);
    int sorts = 0;
    t.g.OnClickSort = [&](RIvuZuvuzoZuvu*, int) { ++sorts; };
    t.click(t.center(1, 0));
    EXPECT_EQ(sorts, 0);
    EXPECT_EQ(t.g.RowCount(), 1);
}

TEST(GridMouse, DoubleClickOnAHeaderBorderAutoSizesTheColumn)
{
    InputGrid t(4);
    t.g.SetCells(2, 2, "a rather long text that does not fit");
    int sorts = 0;
    t.g.OnClickSort = [&](RIvuZuvuzoZuvu*, int) { ++sorts; };
    const std::vector<std::string> before = t.column(2);

    QTest::mouseDClick(t.view(), Qt::LeftButton, {}, t.headerBorder(2, -2));
    QTest::qWait(QApplication::doubleClickInterval() + 20);
    platform::Canvas& canvas = t.g.Canvas();
    canvas.Font = t.g.Font();
    const int needed = canvas.TextWidth(QStringLiteral("a rather long text that does not fit"));
    EXPECT_GE(t.g.ColWidths(2), needed);  // the text fits now, with a small margin
    EXPECT_LE(t.g.ColWidths(2), needed + 12);
    EXPECT_EQ(sorts, 0);
    EXPECT_EQ(t.column(2), before);

    // Next to a left edge the column before it is sized; a fixed column never is.
    t.g.SetCells(1, 3, "another text, long enough to widen column one");
    QTest::mouseDClick(t.view(), Qt::LeftButton, {}, t.headerBorder(1, 1));
    QTest::qWait(QApplication::doubleClickInterval() + 20);
    EXPECT_GT(t.g.ColWidths(1), 64);
    EXPECT_EQ(sorts, 0);

    // Elsewhere a double click is a cell double click.
    std::vector<std::pair<int, int>> dbl;
    t.g.OnDblClickCell = [&](RIvuZuvuzoZuvu*, int row, int col) { dbl.push_back({row, col}); };
    QTest::mouseDClick(t.view(), Qt::LeftButton, {}, t.center(0, 2));
    EXPECT_EQ(dbl, (std::vector<std::pair<int, int>>{{2, 0}}));
}

TEST(GridMouse, DraggingABorderSizesAllColumnsAndIsNoSortClick)
{
    InputGrid t(4);
    t.g.MouseActions->AllColumnSize = true;
    int sorts = 0, ended = -1;
    t.g.OnClickSort = [&](RIvuZuvuzoZuvu*, int) { ++sorts; };
    t.g.OnEndColumnSize = [&](RIvuZuvuzoZuvu*, int col) { ended = col; };
    const QPoint from = t.headerBorder(1, -1);
    QTest::mousePress(t.view(), Qt::LeftButton, {}, from);
    QTest::mouseMove(t.view(), from + QPoint(16, 0));
    QTest::mouseMove(t.view(), from + QPoint(32, 0));
    QTest::mouseRelease(t.view(), Qt::LeftButton, {}, from + QPoint(32, 0));
    EXPECT_EQ(t.g.ColWidths(1), 96);
    EXPECT_EQ(t.g.ColWidths(0), 96);  // x 1.5
    EXPECT_EQ(t.g.ColWidths(3), 96);
    EXPECT_EQ(ended, 1);
    EXPECT_EQ(sorts, 0);

    // A handler may refuse the sizing.
    t.g.OnColumnSize = [](RIvuZuvuzoZuvu*, int, bool& allow) { allow = false; };
    QTest::qWait(QApplication::doubleClickInterval() + 20);
    const QPoint again = t.headerBorder(2, -1);
    QTest::mousePress(t.view(), Qt::LeftButton, {}, again);
    QTest::mouseMove(t.view(), again + QPoint(20, 0));
    QTest::mouseRelease(t.view(), Qt::LeftButton, {}, again + QPoint(20, 0));
    EXPECT_EQ(t.g.ColWidths(2), 96);
}

TEST(GridMouse, LinkCellsOpenOnlyWebAndMailAddresses)
{
    InputGrid t(6);
    platform::CapturingShell shell;
    t.g.SetURLShow(true);
    t.g.SetCells(1, 1, "https://example.com/a");
    t.g.SetCells(1, 2, "mailto:someone@example.com");
    t.g.SetCells(1, 3, "file:///etc/passwd");
    t.g.SetCells(1, 4, "javascript://alert(1)");
    t.g.SetCells(1, 5, "cell://R2C3");
    for (int r = 1; r <= 4; ++r)
        t.click(t.center(1, r));
    ASSERT_EQ(shell.launched.size(), 2u);
    EXPECT_EQ(shell.launched[0].toString(), "https://example.com/a");
    EXPECT_EQ(shell.launched[1].toString(), "mailto:someone@example.com");

    // A cell link jumps inside the grid instead.
    t.click(t.center(1, 5));
    EXPECT_EQ(shell.launched.size(), 2u);
    EXPECT_EQ(t.g.Row(), 2);

    // The handler may take the click over.
    std::string seen;
    t.g.OnAnchorClick = [&](RIvuZuvuzoZuvu*, int, int, const std::string& a, bool& autoHandle) {
        seen = a;
        autoHandle = false;
    };
    t.click(t.center(1, 1));
    EXPECT_EQ(seen, "https://example.com/a");
    EXPECT_EQ(shell.launched.size(), 2u);
}

// A link opens on the press, and the desktop's opener is awaited without
// taking input: the link opens once the button is up, so that the release
// still finishes the press and the next click selects as ever. The opener
// here takes a while, and the release comes as soon as the press has been
// handled, through the window as a person's does.
TEST(GridMouse, ALinkOpensOnceThePressIsLetGo)
{
    InputGrid t(6);
    t.g.SetURLShow(true);
    t.g.SetCells(1, 1, "https://example.com/slow");
    QTemporaryDir openerDir;
    const QString opener = openerDir.filePath("xdg-open");
    {
        QFile script(opener);
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nsleep 0.3\nprintf '%s\\n' \"$1\" >> \"$0.log\"\n");
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", openerDir.path().toLocal8Bit() + ":" + path);

    QWindow* window = t.g.windowHandle();
    const QPoint link = t.view()->mapTo(&t.g, t.center(1, 1)), other = t.view()->mapTo(&t.g, t.center(1, 3));
    QTimer::singleShot(0, window, [&] { QTest::mouseRelease(window, Qt::LeftButton, {}, link); });
    QTest::mousePress(window, Qt::LeftButton, {}, link);
    QFile log(opener + ".log");
    QTRY_VERIFY_WITH_TIMEOUT(log.exists(), 20000);
    qputenv("PATH", path);
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_EQ(log.readAll(), "https://example.com/slow\n");
    EXPECT_FALSE(t.g.NewSelection()) << "the press is finished";

    QTest::mouseClick(window, Qt::LeftButton, {}, other);  // its time stamp is past a double click's
    EXPECT_EQ(t.selectedRows(), Rows({3}));
    EXPECT_EQ(t.g.Row(), 3);
}

TEST(GridMouse, MovedColumnsKeepTheSortColumnOnItsData)
{
    InputGrid t(3, 8);
    t.g.EnhRowColMove = true;
    t.g.SetColWidths(2, 40);
    t.g.SortSettings->Column = 3;
    t.g.MoveColumn(2, 5);
    EXPECT_EQ(t.g.SortSettings->Column(), 2);
    EXPECT_EQ(t.g.ColWidths(5), 40);  // the width went with the column
    EXPECT_EQ(t.g.Cells(5, 1), "r1c2");
    for (int other : {0, 7}) {
        t.g.SortSettings->Column = other;
        t.g.MoveColumn(2, 5);
        EXPECT_EQ(t.g.SortSettings->Column(), other);
    }
}

TEST(GridMouse, HeaderPressesSelectWholeColumnsAndRows)
{
    InputGrid t(6);
    t.g.SetOptions(t.g.Options() & ~platform::goRowSelect);
    t.g.MouseActions->DisjunctRowSelect = false;
    t.g.MouseActions->ColSelect = true;
    t.g.SortSettings->Show = false;
    QTest::mouseMove(t.view(), t.center(2, 0));
    EXPECT_EQ(t.g.MouseSelectMode(), RIvuZuvuzoZuvu::msColumn);
    t.click(t.center(2, 0));
    EXPECT_EQ(t.g.Selection(), (TGridRect{2, 1, 2, 5}));
}

TEST(GridMouse, CheckBoxesRadiosAndButtonsAnswerClicks)
{
    InputGrid t(6);
    t.g.SetOptions(t.g.Options() & ~platform::goRowSelect);
    t.g.AddCheckBox(1, 1, false, false);
    TCellStrings* items = t.g.CreateRadio(2, 2, 0, 0);
    items->Lines = {"one", "two", "three"};
    t.g.SetRowHeights(2, 60);
    t.g.AddButton(3, 3, 40, 14, "Go", haLeft, vaTop);
    QApplication::processEvents();
    t.g.viewport()->repaint();  // places the button

    std::vector<std::string> log;
    t.g.OnCheckBoxClick = [&](G*, int col, int row, bool state) {
        log.push_back("check " + std::to_string(col) + "," + std::to_string(row) + (state ? " on" : " off"));
    };
    t.g.OnRadioClick = [&](G*, int col, int row, int idx) {
        log.push_back("radio " + std::to_string(col) + "," + std::to_string(row) + " " + std::to_string(idx));
    };
    t.g.OnButtonClick = [&](G*, int col, int row) {
        log.push_back("button " + std::to_string(col) + "," + std::to_string(row));
    };

    // Without editing a check box is shown, not changed.
    t.click(t.center(1, 1));
    bool state = true;
    ASSERT_TRUE(t.g.GetCheckBoxState(1, 1, state));
    EXPECT_FALSE(state);
    t.g.SetOptions(t.g.Options() | platform::goEditing);
    t.click(t.center(1, 1));
    ASSERT_TRUE(t.g.GetCheckBoxState(1, 1, state));
    EXPECT_TRUE(state);

    // The radio item under the point is chosen (items stacked from the top).
    const platform::Rect radio = t.g.CellRect(2, 2);
    t.g.Canvas().Font = t.g.Font();
    const int item = std::max(t.g.ControlLook->RadioSize(), t.g.Canvas().TextHeight(QStringLiteral("gh")));
    t.click({radio.Left + 20, radio.Top + item + item / 2});
    int index = -1;
    ASSERT_TRUE(t.g.GetRadioIdx(2, 2, index));
    EXPECT_EQ(index, 1);

    const platform::Rect b = t.g.ButtonRect(3, 3);
    ASSERT_FALSE(b.IsEmpty());
    t.click({(b.Left + b.Right) / 2, (b.Top + b.Bottom) / 2});
    EXPECT_EQ(log, (std::vector<std::string>{"check 1,1 on", "radio 2,2 1", "button 3,3"}));

    // Space on a check box toggles it too, and types nothing into the cell.
    t.g.SetCol(1);
    t.g.SetRow(1);
    t.key(Qt::Key_Space);
    ASSERT_TRUE(t.g.GetCheckBoxState(1, 1, state));
    EXPECT_FALSE(state);
    EXPECT_EQ(log.back(), "check 1,1 off");
    EXPECT_FALSE(t.g.EditorMode());
    t.g.AddCheckBox(1, 4, false, true);  // a check box that shows its cell text
    t.g.SetCells(1, 4, "N");
    t.g.SetRow(4);
    t.key(Qt::Key_Space);
    EXPECT_FALSE(t.g.EditorMode());
    EXPECT_EQ(t.g.Cells(1, 4), "Y");
}

TEST(GridMouse, DraggedColumnShowsItsHeaderAndArrows)
{
    InputGrid t(4, 6);
    t.g.SetOptions(t.g.Options() | platform::goColMoving);
    t.g.EnhRowColMove = true;
    t.g.SetArrowColor(platform::clRed);
    std::vector<int> asked;
    t.g.OnColumnMove = [&](G*, int col, bool&) { asked.push_back(col); };
    const QPoint from = t.center(1, 0);
    QTest::mousePress(t.view(), Qt::LeftButton, {}, from);
    QTest::mouseMove(t.view(), t.center(2, 0));
    QTest::mouseMove(t.view(), t.center(3, 0));
    EXPECT_TRUE(t.g.PopupButton()->isVisible());
    EXPECT_EQ(t.g.PopupButton()->Caption, "H1");
    EXPECT_TRUE(t.g.ArrowWindow(arrDown)->isVisible());
    EXPECT_EQ(t.g.ArrowWindow(arrDown)->Color(), platform::clRed);
    QTest::mouseRelease(t.view(), Qt::LeftButton, {}, t.center(3, 0));
    EXPECT_FALSE(t.g.PopupButton()->isVisible());
    EXPECT_FALSE(t.g.ArrowWindow(arrDown)->isVisible());
    EXPECT_EQ(t.g.Cells(3, 1), "r1c1");
    EXPECT_FALSE(asked.empty());
    EXPECT_EQ(asked.front(), 1);
    EXPECT_EQ(t.g.SortSettings->Column(), 0);  // the move is no header click
}

TEST(GridMouse, AnchorsInHtmlCellsAreHitWhereTheyAreDrawn)
{
    InputGrid t(4);
    platform::CapturingShell shell;
    t.g.SetColWidths(1, 260);
    t.g.SetCells(1, 2, "<A HREF=\"https://example.com/Page\">link</A> and more text");
    std::vector<std::string> events;
    t.g.OnAnchorEnter = [&](G*, int, int, const std::string& a) { events.push_back("enter " + a); };
    t.g.OnAnchorExit = [&](G*, int, int, const std::string& a) { events.push_back("exit " + a); };
    const platform::Rect r = t.g.CellRect(1, 2);
    const QPoint onLink(r.Left + 8, r.Top + 9), offLink(r.Left + 200, r.Top + 9);
    EXPECT_EQ(t.g.AnchorAt(1, 2, onLink.x(), onLink.y()), "https://example.com/Page");
    EXPECT_EQ(t.g.AnchorAt(1, 2, offLink.x(), offLink.y()), "");

    QTest::mouseMove(t.view(), onLink);
    QTest::mouseMove(t.view(), offLink);
    EXPECT_EQ(events, (std::vector<std::string>{"enter https://example.com/Page", "exit https://example.com/Page"}));
    t.click(offLink);
    EXPECT_TRUE(shell.launched.isEmpty());
    t.click(onLink);
    ASSERT_EQ(shell.launched.size(), 1);
    EXPECT_EQ(shell.launched[0].toString(), "https://example.com/Page");

    // Hints show the link with AnchorHint.
    t.g.AnchorHint = true;
    std::string text;
    QPoint where;
    EXPECT_TRUE(t.g.CellHint(onLink, text, where));
    EXPECT_EQ(text, "https://example.com/Page");
    t.g.AddComment(2, 1, "a note");
    EXPECT_TRUE(t.g.CellHint(t.center(2, 1), text, where));
    EXPECT_EQ(text, "a note");
    EXPECT_EQ(where, QPoint(t.g.CellRect(2, 1).Right, t.g.CellRect(2, 1).Top));
}

TEST(GridMouse, FixedColumnSizesThroughItsOwnZone)
{
    InputGrid t(6);
    t.g.SetFixedCols(1);
    t.g.MouseActions->SizeFixedCol = true;
    const QPoint edge(t.g.ColWidths(0) - 1, t.center(1, 4).y());
    QTest::mouseMove(t.view(), edge);
    QTest::mousePress(t.view(), Qt::LeftButton, {}, edge);
    QTest::mouseMove(t.view(), edge + QPoint(30, 0));
    QTest::mouseRelease(t.view(), Qt::LeftButton, {}, edge + QPoint(30, 0));
    EXPECT_EQ(t.g.ColWidths(0), edge.x() + 30);
    EXPECT_EQ(t.g.ColWidths(1), 64);
}

TEST(GridMouse, RowHeadersSelectRowsByDragging)
{
    InputGrid t(8);
    t.g.SetFixedCols(1);
    t.g.SetOptions(t.g.Options() & ~platform::goRowSelect);
    t.g.MouseActions->DisjunctRowSelect = false;
    t.g.MouseActions->RowSelect = true;
    QTest::mouseMove(t.view(), t.center(0, 2));
    QTest::mousePress(t.view(), Qt::LeftButton, {}, t.center(0, 2));
    QTest::mouseMove(t.view(), t.center(0, 5));
    QTest::mouseRelease(t.view(), Qt::LeftButton, {}, t.center(0, 5));
    EXPECT_EQ(t.g.Selection(), (TGridRect{1, 2, 3, 5}));
}

// A modal window that opens during a press takes its release (Qt drops it
// for the blocked grid). The press ends where it stands: nothing that only a
// release does happens (no size, no move, no button click, no sort), what
// it dragged over stays selected, a later move with no button held drags
// nothing, and the next click selects just its own row.
TEST(GridMouse, APressWhoseReleaseAModalWindowTookEndsWhereItStands)
{
    using Points = std::pair<QPoint, QPoint>;  // pressed here, dragged there
    struct Gesture {
        const char* what;
        std::function<Points(InputGrid&)> setUp;
        std::function<void(InputGrid&)> check;
    };
    const std::vector<Gesture> gestures = {
        {"dragging over rows", [](InputGrid& t) { return Points{t.center(1, 2), t.center(1, 4)}; },
         [](InputGrid& t) { EXPECT_EQ(t.selectedRows(), Rows({2, 3, 4})); }},
        {"sizing a column", [](InputGrid& t) { return Points{t.headerBorder(1, -1), t.headerBorder(1, 29)}; }, {}},
        {"sizing the fixed column",
         [](InputGrid& t) {
             t.g.SetFixedCols(1);
             t.g.MouseActions->SizeFixedCol = true;
             return Points{{63, t.center(1, 4).y()}, {93, t.center(1, 4).y()}};
         },
         {}},
        {"moving a column",
         [](InputGrid& t) {
             t.g.SetOptions(t.g.Options() | platform::goColMoving);
             t.g.EnhRowColMove = true;
             return Points{t.center(1, 0), t.center(3, 0)};
         },
         [](InputGrid& t) {
             EXPECT_EQ(t.g.Cells(1, 1), "r1c1");
             EXPECT_FALSE(t.g.PopupButton()->isVisible());
         }},
        {"pushing a cell button",
         [](InputGrid& t) {
             t.g.SetOptions(t.g.Options() & ~platform::goRowSelect);
             t.g.AddButton(2, 3, 40, 14, "Go", haLeft, vaTop);
             t.g.viewport()->repaint();  // places the button
             const platform::Rect b = t.g.ButtonRect(2, 3);
             const QPoint at((b.Left + b.Right) / 2, (b.Top + b.Bottom) / 2);
             return Points{at, at};
         },
         [](InputGrid& t) { EXPECT_FALSE(t.g.GetCellGraphic(2, 3)->CellBoolean) << "drawn up again"; }},
    };
    for (const Gesture& gesture : gestures) {
        SCOPED_TRACE(gesture.what);
        InputGrid t;
        const auto [from, to] = gesture.setUp(t);
        QWindow* window = t.g.windowHandle();
        auto inWindow = [&](QPoint p) { return t.view()->mapTo(&t.g, p); };
        int sorts = 0, buttonClicks = 0;
        t.g.OnClickSort = [&](G*, int) { ++sorts; };
        t.g.OnButtonClick = [&](G*, int, int) { ++buttonClicks; };

        QTest::mouseMove(window, inWindow(from));  // over the fixed column's zone, which arms it
        QTest::mousePress(window, Qt::LeftButton, {}, inWindow(from));
        QTest::mouseMove(window, inWindow(to));
        ReleaseBehindModal(window, inWindow(to));
        EXPECT_EQ(t.g.GridState(), platform::gsNormal);
        EXPECT_FALSE(t.g.NewSelection());
        if (gesture.check)
            gesture.check(t);

        const std::vector<int> rows = t.selectedRows();
        const TGridRect selection = t.g.Selection();
        const QPoint other = inWindow(t.center(2, 5));
        QTest::mouseMove(window, other);
        EXPECT_EQ(t.selectedRows(), rows);
        EXPECT_EQ(t.g.Selection(), selection);
        QTest::mouseClick(window, Qt::LeftButton, {}, other);
        EXPECT_EQ(t.selectedRows(), Rows({5}));
        EXPECT_EQ(sorts, 0);
        EXPECT_EQ(buttonClicks, 0);
        for (int c = 0; c < t.g.ColCount(); ++c)
            EXPECT_EQ(t.g.ColWidths(c), 64) << "column " << c;
    }
}
