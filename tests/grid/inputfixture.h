// A shown list grid set up the way the contact list uses it (whole-row
// selection with Ctrl and Shift, header-click sorting, column sizing), with
// helpers that drive it through real mouse and key events.
#pragma once

#include "grid/listgrid.h"

#include <QApplication>
#include <QTest>
#include <QWheelEvent>

#include <string>
#include <vector>

struct InputGrid {
    grid::RIvuZuvuzoZuvu g;

    // Columns 0..cols-1 of 64 pixels; row 0 is the header ("H0", "H1", ...);
    // data row r holds "r<r>c<c>" except where the caller fills it.
    explicit InputGrid(int rows = 6, int cols = 4)
    {
        g.SetColCountEx(cols);
        g.SetRowCountEx(rows);
        g.SetFixedCols(0);
        if (rows > 1)
            g.SetFixedRows(1);
        else
            g.FixedRowAlways = true;  // the header alone, as an empty contact list
        for (int c = 0; c < cols; ++c) {
            g.SetColWidths(c, 64);
            g.SetCells(c, 0, "H" + std::to_string(c));
            for (int r = 1; r < rows; ++r)
                g.SetCells(c, r, "r" + std::to_string(r) + "c" + std::to_string(c));
        }
        g.SetOptions(g.Options() | platform::goRowSelect | platform::goRangeSelect | platform::goColSizing);
        g.MouseActions->DisjunctRowSelect = true;
        g.SortSettings->Show = true;
        g.resize(420, 260);
        g.show();
        (void)QTest::qWaitForWindowExposed(&g);
    }

    QWidget* view() { return g.viewport(); }
    QPoint center(int col, int row)
    {
        const platform::Rect r = g.CellRect(col, row);
        return {(r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2};
    }
    // A point on the header row, dx pixels from the right edge of column col.
    QPoint headerBorder(int col, int dx = 0)
    {
        const platform::Rect r = g.CellRect(col, 0);
        return {r.Right + dx, (r.Top + r.Bottom) / 2};
    }
    void click(QPoint at, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        QTest::mouseClick(view(), Qt::LeftButton, mods, at);
        QTest::qWait(QApplication::doubleClickInterval() + 20);  // no accidental double click
    }
    void key(Qt::Key k, Qt::KeyboardModifiers mods = Qt::NoModifier) { QTest::keyClick(&g, k, mods); }
    void wheel(int delta, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        const QPointF at = center(1, 1);
        QWheelEvent e(at, view()->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, mods,
                      Qt::NoScrollPhase, false);
        QApplication::sendEvent(view(), &e);
    }
    std::vector<int> selectedRows()
    {
        std::vector<int> rows;
        for (int r = 0; r < g.RowCount(); ++r)
            if (g.GetRowSelect(r))
                rows.push_back(r);
        return rows;
    }
    std::vector<std::string> column(int col)
    {
        std::vector<std::string> texts;
        for (int r = 1; r < g.RowCount(); ++r)
            texts.push_back(g.Cells(col, r));
        return texts;
    }
};
