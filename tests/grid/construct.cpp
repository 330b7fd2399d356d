// A new list grid: its defaults, settings objects, hidden controls, integral
// height, float format, per-cell queries, update lock and change notifiers.
#include "grid/listgrid.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>
#include <QTemporaryDir>
#include <QTextCursor>
#include <gtest/gtest.h>

using namespace grid;

TEST(GridConstruct, DefaultsOfANewGrid)
{
    RIvuZuvuzoZuvu g;
    EXPECT_EQ(g.DefaultRowHeight(), 21);
    EXPECT_EQ(g.RowHeights(3), 21);
    EXPECT_EQ(g.GridLineWidth(), 1);
    EXPECT_EQ(g.GridLineColor(), platform::clSilver);
    EXPECT_FALSE(g.DefaultDrawing());
    EXPECT_TRUE(g.HasOption(platform::goDrawFocusSelected));
    // The application's font, in the palette's text colours.
    EXPECT_EQ(g.Font().Name, QApplication::font().family());
    EXPECT_EQ(g.Font().Size(), QApplication::font().pointSize());
    EXPECT_EQ(g.Font().Color, platform::clWindowText);
    EXPECT_EQ(g.FixedFont().Name, QApplication::font().family());
    EXPECT_EQ(g.FixedFont().Color, platform::clBtnText);
    EXPECT_TRUE(g.ActiveCellFont.Bold());
    EXPECT_TRUE(g.EnableHTML);
    EXPECT_TRUE(g.EnableWheel);
    EXPECT_TRUE(g.IntelliZoom);
    EXPECT_TRUE(g.ShowSelection());
    EXPECT_EQ(g.HintColor, platform::clInfoBk);
    EXPECT_EQ(g.SelectionColor(), platform::clHighlight);
    EXPECT_EQ(g.SelectionTextColor(), platform::clHighlightText);
    EXPECT_EQ(g.URLColor(), platform::clHotLight);
    EXPECT_EQ(g.VAlignment(), vtaTop);
    EXPECT_EQ(g.Look(), glSoft);
    EXPECT_EQ(g.ScrollType, ssNormal);
    EXPECT_EQ(g.ScrollColor, platform::clNone);
    EXPECT_EQ(g.ScrollWidth, g.style()->pixelMetric(QStyle::PM_ScrollBarExtent));
    EXPECT_EQ(g.FloatFormat(), "%.2f");
    EXPECT_EQ(g.GetCheckTrue(1, 1), "Y");
    EXPECT_EQ(g.GetCheckFalse(1, 1), "N");
    EXPECT_EQ(g.PasswordChar(), '*');
    EXPECT_EQ(g.ComboSelection, -1);
    EXPECT_EQ(g.NumHiddenColumns(), 0);
    for (int c : {0, 100, 255})
        EXPECT_TRUE(g.GetVisibleCol(c));
    EXPECT_EQ(g.GetVersionNr(), 2);
    EXPECT_STREQ(RIvuZuvuzoZuvu::GetVersionString(), "2.0 November, 2001");
}

TEST(GridConstruct, SettingsObjectsStartWithTheirPublishedValues)
{
    RIvuZuvuzoZuvu g;
    EXPECT_TRUE(g.SortSettings->Full);
    EXPECT_TRUE(g.SortSettings->AutoFormat);
    EXPECT_FALSE(g.SortSettings->Show);
    EXPECT_EQ(g.SortSettings->Direction(), sdAscending);
    EXPECT_FALSE(g.Bands->Active);
    EXPECT_EQ(g.Bands->PrimaryColor(), platform::clInfoBk);
    EXPECT_EQ(g.Bands->SecondaryColor(), platform::clWindow);
    EXPECT_EQ(g.Bands->Period(), 2);
    EXPECT_EQ(g.ControlLook->CheckSize(), 15);
    EXPECT_EQ(g.ControlLook->RadioSize(), 10);
    EXPECT_EQ(g.ControlLook->Color(), platform::clBlack);
    EXPECT_EQ(g.ControlLook->ControlStyle(), csClassic);
    EXPECT_EQ(g.CellNode->Color(), platform::clSilver);
    EXPECT_EQ(g.CellNode->NodeType(), cnFlat);
    EXPECT_FALSE(g.MouseActions->DisjunctRowSelect);
    EXPECT_EQ(g.ColumnSize->Location(), clRegistry);
    EXPECT_TRUE(g.Navigation->AllowClipboardColGrow);
    EXPECT_TRUE(g.Navigation->AllowClipboardRowGrow);
    EXPECT_TRUE(g.Navigation->CopyHTMLTagsToClipboard);
    EXPECT_FALSE(g.Navigation->AutoGotoWhenSorted);
    EXPECT_EQ(g.Navigation->HomeEndKey(), heFirstLastColumn);
    EXPECT_EQ(g.HTMLSettings->BorderSize(), 1);
    EXPECT_EQ(g.HTMLSettings->Width(), 100);
    EXPECT_TRUE(g.HTMLSettings->SaveColor);
    EXPECT_EQ(g.PrintSettings->DateFormat(), "dd/mm/yyyy");
    EXPECT_EQ(g.PrintSettings->PageNumSep(), "/");
    EXPECT_TRUE(g.DragDropSettings->OleAcceptText);
    EXPECT_TRUE(g.DragDropSettings->OleAcceptFiles);
    EXPECT_FALSE(g.DragDropSettings->OleDropTarget);
    EXPECT_EQ(g.BackGround->Display(), bdTile);
    EXPECT_TRUE(g.Filter.empty());
    EXPECT_EQ(TFilterData{}.CaseSensitive, true);

    // The sort row must lie inside the fixed rows; a refused value stays out.
    g.SortSettings->SetRow(1);
    EXPECT_THROW(g.SortSettings->SetRow(2), DIdiZedoRorid);
    EXPECT_EQ(g.SortSettings->Row(), 1);
}

TEST(GridConstruct, HiddenControlsExistHidden)
{
    RIvuZuvuzoZuvu g;
    QWidget* controls[] = {g.Combo(), g.Spin(), g.DatePicker(), g.CheckBox(), g.EditBtn(), g.UnitEditBtn(),
                           g.Button(), g.PopupButton(), g.MeasureRichEdit(), g.EditRichEdit()};
    for (QWidget* w : controls) {
        ASSERT_NE(w, nullptr);
        EXPECT_TRUE(w->isHidden());
    }
    EXPECT_EQ(g.EditBtn()->Caption(), "...");
    EXPECT_EQ(g.UnitEditBtn()->Caption(), "...");
    EXPECT_FALSE(g.Combo()->IsWinXP);
    EXPECT_FALSE(g.Spin()->IsWinXP());
    EXPECT_FALSE(g.Spin()->hasFrame());
    for (TArrowDirection d : {arrUp, arrDown, arrLeft, arrRight}) {
        ASSERT_NE(g.ArrowWindow(d), nullptr);
        EXPECT_EQ(g.ArrowWindow(d)->Direction(), d);
        EXPECT_EQ(g.ArrowWindow(d)->Color(), platform::clLime);
        EXPECT_TRUE(g.ArrowWindow(d)->isHidden());
    }
    EXPECT_EQ(g.FooterPanel()->height(), 0);
}

TEST(GridConstruct, IntegralHeightCutsToWholeRows)
{
    RIvuZuvuzoZuvu g;  // five columns of 64 pixels do not fit in 150
    g.SetBounds(0, 0, 150, 300);
    g.SetIntegralHeigth(true);
    g.SetBounds(0, 0, 150, 100);
    EXPECT_EQ(g.height(), 83);
    g.SetBounds(0, 0, 150, 10);  // less than one row: never negative
    EXPECT_EQ(g.height(), 0);

    RIvuZuvuzoZuvu narrow;
    narrow.SetColCountEx(2);
    narrow.SetBounds(0, 0, 400, 300);
    narrow.SetIntegralHeigth(true);  // columns fit: room is left for no scroll bar
    narrow.SetBounds(0, 0, 400, 100);
    EXPECT_EQ(narrow.height(), 100 + 21 - 100 % 21 - 1 - narrow.style()->pixelMetric(QStyle::PM_ScrollBarExtent));
}

TEST(GridConstruct, FloatFormatMustBeOneFloatConversion)
{
    RIvuZuvuzoZuvu g;
    g.SetFloatFormat("%.3f");
    EXPECT_EQ(g.FloatFormat(), "%.3f");
    g.SetFloatFormat("EUR %8.1f %%");
    EXPECT_EQ(g.FloatFormat(), "EUR %8.1f %%");
    for (const char* bad : {"%s", "%d", "%.2f %.2f", "no conversion", "%n", "%.2f%s", "%999.2f", ""}) {
        g.SetFloatFormat(bad);
        EXPECT_EQ(g.FloatFormat(), "%.2f") << bad;
    }
}

TEST(GridConstruct, SortIndexListKeepsDirectionInBit31)
{
    TSortIndexList list;
    int changes = 0;
    list.OnChange = [&](TIntList*, int, int) { ++changes; };
    list.AddIndex(5, true);
    list.AddIndex(3, false);
    EXPECT_EQ(static_cast<unsigned>(list.Item(1)), 3u | 0x80000000u);
    EXPECT_EQ(list.FindIndex(3), 1);
    EXPECT_EQ(list.FindIndex(4), -1);
    list.ToggleIndex(3);
    EXPECT_EQ(list.Item(1), 3);
    list.ToggleIndex(9);  // absent: nothing
    EXPECT_EQ(changes, 3);

    TIntList widths(7, 8);
    std::pair<int, int> params;
    widths.OnChange = [&](TIntList*, int a, int b) { params = {a, b}; };
    widths.Add(1);
    EXPECT_EQ(params, std::make_pair(7, 8));
    EXPECT_THROW(widths.Delete(5), std::out_of_range);
}

TEST(GridConstruct, FixedEditableAndPasswordCells)
{
    RIvuZuvuzoZuvu g;  // one fixed row and column
    EXPECT_TRUE(g.IsFixed(0, 2));
    EXPECT_TRUE(g.IsFixed(2, 0));
    EXPECT_FALSE(g.IsFixed(2, 2));
    g.SetFixedFooters(1);
    g.SetFixedRightCols(1);
    EXPECT_TRUE(g.IsFixed(2, 4));  // footer row
    EXPECT_TRUE(g.IsFixed(4, 2));  // fixed right column
    g.OnIsFixedCell = [](RIvuZuvuzoZuvu*, int row, int col, bool& fixed) { fixed = row == 3 && col == 3; };
    EXPECT_TRUE(g.IsFixed(3, 3));
    EXPECT_FALSE(g.IsFixed(2, 3));
    g.MergeCells(2, 2, 2, 2);
    EXPECT_FALSE(g.IsFixed(3, 3));  // the block answers through its base cell (2, 2)
    g.OnIsFixedCell = nullptr;

    RIvuZuvuzoZuvu e;
    EXPECT_FALSE(e.IsEditable(2, 2));  // no editing at all
    e.SetOptions(e.Options() | platform::goEditing);
    EXPECT_TRUE(e.IsEditable(2, 2));
    EXPECT_FALSE(e.IsEditable(0, 2));
    e.OnCanEditCell = [](RIvuZuvuzoZuvu*, int row, int, bool& can) { can = row != 3; };
    EXPECT_FALSE(e.IsEditable(2, 3));

    EXPECT_FALSE(e.IsPassword(2, 2));
    e.OnIsPasswordCell = [](RIvuZuvuzoZuvu*, int, int col, bool& pw) { pw = col == 2; };
    EXPECT_TRUE(e.IsPassword(2, 2));
    EXPECT_FALSE(e.IsPassword(3, 2));
}

TEST(GridConstruct, QueriesAskTheirEventsRowFirst)
{
    RIvuZuvuzoZuvu g;
    std::pair<int, int> seen;
    g.OnGetAlignment = [&](RIvuZuvuzoZuvu*, int row, int col, TAlignment& h, TVAlignment&) {
        seen = {row, col};
        if (col == 3)
            h = taCenter;
    };
    g.AutoNumAlign = true;
    g.SetCellEx(2, 1, "1,234.50");
    g.SetCellEx(1, 1, "abc");
    TAlignment h;
    TVAlignment v;
    g.GetCellAlignment(2, 1, h, v);
    EXPECT_EQ(h, taRightJustify);
    EXPECT_EQ(seen, std::make_pair(1, 2));
    g.GetCellAlignment(1, 1, h, v);
    EXPECT_EQ(h, taLeftJustify);
    g.GetCellAlignment(3, 1, h, v);
    EXPECT_EQ(h, taCenter);

    g.OnGetCheckTrue = [](RIvuZuvuzoZuvu*, int col, int, std::string& v) { v += std::to_string(col); };
    EXPECT_EQ(g.GetCheckTrue(4, 1), "Y4");
}

TEST(GridConstruct, UpdateLockAndChangeNotifiers)
{
    RIvuZuvuzoZuvu g;
    g.EndUpdate();  // without a BeginUpdate: stays unlocked
    EXPECT_FALSE(g.IsUpdating());
    g.BeginUpdate();
    g.BeginUpdate();
    g.EndUpdate();
    EXPECT_TRUE(g.IsUpdating());
    g.EndUpdate();
    EXPECT_FALSE(g.IsUpdating());

    struct Listener : TGridChangeNotifier {
        std::vector<Rect> seen;
        void CellsChanged(const Rect& r) override { seen.push_back(r); }
    } listener;
    int events = 0;
    g.OnCellsChanged = [&](RIvuZuvuzoZuvu*, const Rect&) { ++events; };
    g.RegisterNotifier(&listener);
    g.RegisterNotifier(&listener);  // once only
    g.ClearRect(1, 1, 2, 2);
    ASSERT_EQ(listener.seen.size(), 1u);
    EXPECT_EQ(listener.seen[0], (Rect{1, 1, 2, 2}));
    EXPECT_EQ(events, 1);
    g.UnRegisterNotifier(&listener);
    g.ClearRect(1, 1, 2, 2);
    EXPECT_EQ(listener.seen.size(), 1u);
    EXPECT_EQ(events, 2);
}

TEST(GridConstruct, ColumnMappingWithoutHiddenColumnsIsIdentity)
{
    RIvuZuvuzoZuvu g;
    g.SetColCountEx(300);
    for (int c : {0, 4, 255, 256, 299}) {
        EXPECT_EQ(g.RemapCol(c), c);
        EXPECT_EQ(g.RemapColInv(c), c);
    }
    EXPECT_EQ(g.RemapRowInv(7), 7);
    EXPECT_EQ(g.RemapRowInv(-1), -1);
    EXPECT_EQ(g.RemapRow(7), 7);
    EXPECT_FALSE(g.IsHiddenRow(3));
    EXPECT_FALSE(g.IsHiddenColumn(3));
}

TEST(GridConstruct, StretchedRightColumnFillsTheClientWidth)
{
    RIvuZuvuzoZuvu g;
    g.SetColCountEx(3);
    g.SetBounds(0, 0, 300, 200);
    const int client = g.viewport()->width();
    g.ColumnSize->Stretch = true;
    EXPECT_EQ(g.ColWidths(2), client - 2 * 64 - 1);
}

TEST(GridConstruct, CompanionControls)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("pic.png");
    QImage red(8, 6, QImage::Format_RGB32);
    red.fill(Qt::red);
    ASSERT_TRUE(red.save(file));
    TFilePicture picture;
    picture.SetFileName(file);
    EXPECT_EQ(picture.Width(), 8);
    EXPECT_EQ(picture.Height(), 6);
    QImage target(20, 20, QImage::Format_RGB32);
    target.fill(Qt::white);
    {
        QPainter painter(&target);
        platform::Canvas canvas;
        canvas.Begin(&painter);
        picture.DrawPicture(canvas, {2, 2, 18, 18});
        TFilePicture().DrawPicture(canvas, {0, 0, 20, 20});  // no name: nothing
        canvas.End();
    }
    EXPECT_EQ(target.pixelColor(10, 10), QColor(Qt::red));
    EXPECT_EQ(target.pixelColor(0, 0), QColor(Qt::white));

    RIvuZuvuzoZuvu g;
    TGridRichEdit* rich = g.EditRichEdit();
    rich->setPlainText("x2");
    QTextCursor cursor = rich->textCursor();
    cursor.setPosition(1);
    cursor.setPosition(2, QTextCursor::KeepAnchor);
    rich->setTextCursor(cursor);
    rich->SelSuperscript();
    EXPECT_EQ(rich->textCursor().charFormat().verticalAlignment(), QTextCharFormat::AlignSuperScript);
    rich->SelNormal();
    EXPECT_EQ(rich->textCursor().charFormat().verticalAlignment(), QTextCharFormat::AlignNormal);

    // The up arrow: its point at the top centre, its shaft below, corners cut away.
    const QRegion up = g.ArrowWindow(arrUp)->mask();
    EXPECT_TRUE(up.contains(QPoint(5, 1)));
    EXPECT_TRUE(up.contains(QPoint(5, 8)));
    EXPECT_FALSE(up.contains(QPoint(0, 0)));
    EXPECT_FALSE(up.contains(QPoint(1, 8)));
    const QRegion right = g.ArrowWindow(arrRight)->mask();
    EXPECT_TRUE(right.contains(QPoint(9, 5)));
    EXPECT_FALSE(right.contains(QPoint(10, 0)));
}
