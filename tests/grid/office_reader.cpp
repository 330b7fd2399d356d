// Spreadsheet files into the list grid: sheets written by other programs
// (python3-xlwt, python3-openpyxl) loaded at their used range, the named or
// the active sheet, error cells, and random damage that must end in a
// message with the grid unchanged.
#include "officefiles.h"
#include "platform/workbookfiles.h"

#include <QGuiApplication>

#include <random>

TEST_F(GridOffice, SheetsOfOtherProgramsLoadAtTheirUsedRange)
{
    python("import sys, xlwt\n"
           "wb = xlwt.Workbook(); ws = wb.add_sheet('One'); two = wb.add_sheet('Two')\n"
           "for r in range(2, 7):\n"
           "  for c in range(1, 4):\n"
           "    if (r, c) not in ((4, 2), (5, 3)): ws.write(r, c, r * 10 + c if c == 2 else 'x%d%d' % (r, c))\n"
           "ws.row(5).set_cell_error(3, '#DIV/0!')\n"
           "two.write(0, 0, 'second')\n"
           "wb.save(sys.argv[1] + '/b.xls')\n"
           "wb.set_active_sheet(1)\n"
           "wb.save(sys.argv[1] + '/active.xls')\n"
           "import openpyxl\n"
           "wb = openpyxl.Workbook(); ws = wb.active; ws.title = 'One'\n"
           "for r in range(3, 8):\n"
           "  for c in range(2, 5):\n"
           "    if (r, c) != (5, 3): ws.cell(r, c, (r - 1) * 10 + c - 1 if c == 3 else 'x%d%d' % (r - 1, c - 1))\n"
           "ws['D6'] = '#DIV/0!'\n"
           "wb.create_sheet('Two')['A1'] = 'second'\n"
           "wb.save(sys.argv[1] + '/b.xlsx')\n"
           "wb.active = 1\n"
           "wb.save(sys.argv[1] + '/active.xlsx')\n");
    for (const char* name : {"b.xls", "b.xlsx"}) {
        SCOPED_TRACE(name);
        RIvuZuvuzoZuvu g;
        shape(g);
        g.SetColCountEx(5);
        g.SetRowCountEx(7);
        g.SetCells(2, 3, "kept");
        g.SetCells(3, 4, "kept too");
        g.LoadFromXLS(path(name));
        EXPECT_EQ(g.ColCount(), 1 + 3);
        EXPECT_EQ(g.RowCount(), 1 + 5);
        EXPECT_EQ(g.Cells(1, 1), "x21");
        EXPECT_EQ(g.Cells(2, 1), "22");
        EXPECT_EQ(g.Cells(3, 5), "x63");
        EXPECT_EQ(g.Cells(2, 3), "kept") << "an empty cell of the sheet leaves the grid cell";
        EXPECT_EQ(g.Cells(3, 4), "kept too") << "so does an error cell";
        g.IncludeFixedCells = true;
        g.LoadFromXLSSheet(path(name), "Two");
        EXPECT_EQ(g.Cells(0, 0), "second");
        EXPECT_EQ(errorOf<DIdiZedoRorid>([&] { g.LoadFromXLSSheet(path(name), "Foo"); }), "Excel worksheet Foo not found");
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

        RIvuZuvuzoZuvu active;
        active.IncludeFixedCells = true;
        active.LoadFromXLS(path(QString(name).replace("b.", "active.")));
        EXPECT_EQ(active.Cells(0, 0), "second") << "the sheet the file marks active";
    }
    // the readers mark error cells; the contact import goes on reading an
    // .xlsx one as its text and an .xls one as empty
    for (const char* name : {"b.xls", "b.xlsx"}) {
        std::vector<WorkbookSheet> sheets;
        QString error;
        ASSERT_TRUE(workbookfiles::ReadWorkbook(path(name), sheets, error));
        EXPECT_EQ(sheets[0].errors, (std::set<std::pair<int, int>>{{6, 4}})) << name;
        EXPECT_EQ(workbookfiles::CellText(sheets[0].cells[{6, 4}]), name == std::string("b.xls") ? "" : "#DIV/0!");
    }
}

TEST_F(GridOffice, DamagedWorkbooksLeaveTheGridUnchanged)
{
    RIvuZuvuzoZuvu g;
    g.SetColCountEx(13);
    g.SetRowCountEx(40);
    for (int r = 1; r < 40; ++r)
        for (int c = 1; c < 13; ++c)
            g.SetCells(c, r, "cell " + std::to_string(c * r));
    g.SaveToXLS(path("good.xlsx"));
    python("import sys, xlwt\nwb = xlwt.Workbook(); ws = wb.add_sheet('S')\n"
           "for r in range(30):\n  for c in range(12): ws.write(r, c, r * c if c % 2 else 'x%d' % r)\n"
           "wb.save(sys.argv[1] + '/good.xls')\n");
    std::mt19937 random(37);
    for (const char* name : {"good.xlsx", "good.xls"}) {
        const QByteArray good = read(name);
        const QString bad = QString("bad") + QString(name).mid(4);
        for (int round = 0; round < 300; ++round) {
            QByteArray bytes = good;
            for (int i = 0, n = 1 + static_cast<int>(random() % 8); i < n; ++i)
                bytes[static_cast<qsizetype>(random() % bytes.size())] = static_cast<char>(random());
            if (round % 5 == 0)
                bytes.truncate(static_cast<qsizetype>(random() % bytes.size()));
            write(bad, bytes);
            RIvuZuvuzoZuvu back;
            shape(back);
            back.SetCells(1, 1, "mine");
            const std::string m = errorOf<DIdiZedoRorid>([&] { back.LoadFromXLS(path(bad)); });
            if (m != "no error") {
                EXPECT_EQ(m, "Cannot open file " + path(bad).toStdString());
                EXPECT_EQ(back.ColCount(), 2);
                EXPECT_EQ(back.Cells(1, 1), "mine");
            }
        }
    }
    EXPECT_EQ(errorOf<DIdiZedoRorid>([&] { g.LoadFromXLS(path("missing.xlsx")); }),
              "Cannot open file " + path("missing.xlsx").toStdString());
}
