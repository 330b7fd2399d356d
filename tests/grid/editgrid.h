// A shown list grid with editing on, one fixed row and column, and an editor
// type per cell chosen by the test (edNormal elsewhere).
#pragma once

#include "grid/listgrid.h"

#include <QApplication>
#include <QTest>

#include <map>
#include <utility>

struct EditGrid {
    grid::RIvuZuvuzoZuvu g;
    std::map<std::pair<int, int>, grid::TEditorType> types;

    explicit EditGrid(int cols = 5, int rows = 6)
    {
        grid::formatSettings().ShortDateFormat = "dd/MM/yyyy";
        grid::formatSettings().DateSeparator = '/';
        g.SetColCountEx(cols);
        g.SetRowCountEx(rows);
        g.SetFixedCols(1);
        g.SetFixedRows(1);
        g.SetDefaultColWidth(80);
        g.SetDefRowHeightEx(24);
        g.SetOptions((g.Options() | platform::goEditing) & ~platform::goRowSelect);
        g.OnGetEditorType = [this](grid::RIvuZuvuzoZuvu*, int c, int r, grid::TEditorType& t) {
            if (auto it = types.find({c, r}); it != types.end())
                t = it->second;
        };
        g.resize(cols * 80 + 40, rows * 24 + 40);
        g.show();
        (void)QTest::qWaitForWindowExposed(&g);
        g.activateWindow();
        g.setFocus();
    }
    // Clicks cell (c, r).
    void click(int c, int r)
    {
        const platform::Rect rect = g.CellRect(c, r);
        QTest::mouseClick(g.viewport(), Qt::LeftButton, Qt::NoModifier,
                          QPoint((rect.Left + rect.Right) / 2, (rect.Top + rect.Bottom) / 2));
        QTest::qWait(QApplication::doubleClickInterval() + 20);
    }
    // Makes (c, r) current and starts its edit with F2 (or with a typed character).
    void edit(int c, int r, const char* typed = nullptr)
    {
        g.SetCol(c);
        g.SetRow(r);
        g.setFocus();
        if (typed)
            QTest::keyClicks(&g, QString::fromLatin1(typed));
        else
            QTest::keyClick(&g, Qt::Key_F2);
        QApplication::processEvents();
    }
};
