// Spreadsheet files into and out of the list grid: sheets written by other
// programs (python3-xlwt, python3-openpyxl) loaded at their used range, the
// named sheet, a new workbook read back by openpyxl, the refusals, and
// random damage that must end in a message with the grid unchanged.
#include "../scratch_files.h"
#include "grid/listgrid.h"

#include <QGuiApplication>
#include <QProcess>

#include <random>

using namespace grid;

namespace {

class GridOffice : public ScratchFiles {
protected:
    // Runs a Python script with the scratch folder as its argument.
    std::string python(const char* script)
    {
        QProcess p;
        p.start("/usr/bin/python3", {"-c", script, scratch.path()});
        EXPECT_TRUE(p.waitForFinished(60000) && p.exitCode() == 0) << p.readAllStandardError().toStdString();
        return p.readAllStandardOutput().trimmed().toStdString();
    }
    static void shape(RIvuZuvuzoZuvu& g)
    {
        g.SetColCountEx(2);
        g.SetRowCountEx(2);
        g.SetFixedCols(1);
        g.SetFixedRows(1);
    }
};

}  // namespace

TEST_F(GridOffice, SheetsOfOtherProgramsLoadAtTheirUsedRange)
{
    python("import sys, xlwt\n"
           "wb = xlwt.Workbook(); ws = wb.add_sheet('One'); two = wb.add_sheet('Two')\n"
           "for r in range(2, 7):\n"
           "  for c in range(1, 4):\n"
           "    if (r, c) != (4, 2): ws.write(r, c, r * 10 + c if c == 2 else 'x%d%d' % (r, c))\n"
           "two.write(0, 0, 'second')\n"
           "wb.save(sys.argv[1] + '/b.xls')\n"
           "import openpyxl\n"
           "wb = openpyxl.Workbook(); ws = wb.active; ws.title = 'One'\n"
           "for r in range(3, 8):\n"
           "  for c in range(2, 5):\n"
           "    if (r, c) != (5, 3): ws.cell(r, c, (r - 1) * 10 + c - 1 if c == 3 else 'x%d%d' % (r - 1, c - 1))\n"
           "wb.create_sheet('Two')['A1'] = 'second'\n"
           "wb.save(sys.argv[1] + '/b.xlsx')\n");
    for (const char* name : {"b.xls", "b.xlsx"}) {
        SCOPED_TRACE(name);
        RIvuZuvuzoZuvu g;
        shape(g);
        g.SetColCountEx(5);
        g.SetRowCountEx(7);
        g.SetCells(2, 3, "kept");
        g.LoadFromXLS(path(name));
        EXPECT_EQ(g.ColCount(), 1 + 3);
        EXPECT_EQ(g.RowCount(), 1 + 5);
        EXPECT_EQ(g.Cells(1, 1), "x21");
        EXPECT_EQ(g.Cells(2, 1), "22");
        EXPECT_EQ(g.Cells(3, 5), "x63");
        EXPECT_EQ(g.Cells(2, 3), "kept") << "an empty cell of the sheet leaves the grid cell";
        g.IncludeFixedCells = true;
        g.LoadFromXLSSheet(path(name), "Two");
        EXPECT_EQ(g.Cells(0, 0), "second");
        EXPECT_EQ(errorOf<DIdiZedoRorid>([&] { g.LoadFromXLSSheet(path(name), "Foo"); }), "Excel worksheet Foo not found");
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    }
}

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
