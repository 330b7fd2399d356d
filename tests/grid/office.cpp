// The list grid's office files written and read back by other programs
// (python3-openpyxl, python3-docx), and its database queries through the
// query program on SQLite files.
#include "officefiles.h"

#include <QGuiApplication>

TEST_F(GridOffice, NewWorkbooksAndRefusals)
{
    RIvuZuvuzoZuvu g;
    g.SetColCountEx(28);
    g.SetRowCountEx(10);
    g.SetFixedCols(0);
    g.SetFixedRows(0);
    g.SetCells(27, 9, "last\r\ncell");
    g.SetCells(0, 0, "first");
    g.SaveToXLS(path("new.xlsx"));
    EXPECT_EQ(python("import sys, openpyxl\n"
                     "ws = openpyxl.load_workbook(sys.argv[1] + '/new.xlsx').active\n"
                     "print(ws.dimensions, repr(ws['AB10'].value), ws.title)"),
              "A1:AB10 'last\\ncell' Sheet1");
    RIvuZuvuzoZuvu back;
    back.IncludeFixedCells = true;
    back.LoadFromXLS(path("new.xlsx"));
    EXPECT_EQ(back.Cells(27, 9), "last\ncell");

    const QByteArray old = read("new.xlsx");
    EXPECT_EQ(errorOf<DIdiZedoRorid>([&] { g.SaveToXLSSheet(path("new.xlsx"), "Other"); }),
              "Cannot write into an existing workbook " + path("new.xlsx").toStdString());
    EXPECT_EQ(read("new.xlsx"), old);
    EXPECT_EQ(errorOf<DIdiZedoRorid>([&] { g.SaveToXLS(scratch.path()); }), "Cannot Create file " + scratch.path().toStdString());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(GridOffice, WordTableHoldsEveryCell)
{
    RIvuZuvuzoZuvu g;
    g.SetColCountEx(3);
    g.SetRowCountEx(2);
    g.SetFixedCols(1);
    g.SetFixedRows(1);
    g.SetCells(0, 0, "corner");
    g.SetCells(1, 0, "right");
    g.SetCells(2, 0, "centre");
    g.SetCells(1, 1, "two\r\nlines");
    g.SetCells(2, 1, "a\tb & <c>");
    g.OnGetAlignment = [](RIvuZuvuzoZuvu*, int row, int col, TAlignment& h, TVAlignment&) {
        if (row == 0 && col == 1)
            h = taRightJustify;
        if (row == 0 && col == 2)
            h = taCenter;
    };
    g.SaveToDOC(path("t.docx"));
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(python("import sys, docx\n"
                     "d = docx.Document(sys.argv[1] + '/t.docx'); t = d.tables[0]\n"
                     "print(len(d.tables), len(t.rows), len(t.columns))\n"
                     "for row in t.rows:\n"
                     "  for cell in row.cells:\n"
                     "    print(repr(cell.text), [str(p.alignment) for p in cell.paragraphs])\n"),
              "1 2 3\n"
              "'corner' ['None']\n"
              "'right' ['RIGHT (2)']\n"
              "'centre' ['CENTER (1)']\n"
              "'' ['None']\n"
              "'two\\nlines' ['None', 'None']\n"
              "'a\\tb & <c>' ['None']");

    const QByteArray old = read("t.docx");
    EXPECT_EQ(errorOf<DIdiZedoRorid>([&] { g.SaveToDOC(scratch.path()); }), "Cannot Create file " + scratch.path().toStdString());
    EXPECT_EQ(read("t.docx"), old);
}
