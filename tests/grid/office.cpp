// The list grid's office files written and read back by other programs
// (python3-openpyxl, python3-docx), and its database queries through the
// query program on SQLite files.
#include "officefiles.h"

#include "platform/childprocess.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QThread>
#include <QTimer>
#include <gmock/gmock.h>

#include <thread>

// The query program is found through the helper-folder setting only.
class GridQuery : public GridOffice {
protected:
    void SetUp() override { platform::SetHelperFolder(QUILLET_QUERY_FOLDER); }
    void TearDown() override { platform::SetHelperFolder({}); }
};

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
    g.SaveToXLSSheet(path("named.xlsx"), "Mine");  // a new file takes the sheet name
    EXPECT_EQ(python("import sys, re, zipfile, openpyxl\n"
                     "d = sys.argv[1]\n"
                     "sheet = zipfile.ZipFile(d + '/new.xlsx').read('xl/worksheets/sheet1.xml').decode()\n"
                     "ws = openpyxl.load_workbook(d + '/new.xlsx').active\n"
                     "print(re.search('<dimension ref=\"([^\"]*)\"', sheet).group(1), repr(ws['AB10'].value), ws.title,\n"
                     "      openpyxl.load_workbook(d + '/named.xlsx').sheetnames)"),
              "A1:AB10 'last\\ncell' Sheet1 ['Mine']");
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

    // a cell past the sheet's last column is not left out of a saved file
    g.SetColCountEx(16385);
    g.SetCells(16384, 0, "beyond");
    EXPECT_EQ(errorOf<DIdiZedoRorid>([&] { g.SaveToXLS(path("wide.xlsx")); }),
              "Cannot Create file " + path("wide.xlsx").toStdString());
    EXPECT_FALSE(QFileInfo::exists(path("wide.xlsx")));
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

TEST_F(GridQuery, DatabaseQueriesFillTheGridThroughTheQueryProgram)
{
    python("import sys, sqlite3\n"
           "c = sqlite3.connect(sys.argv[1] + '/t.db')\n"
           "c.execute('create table T (id integer, name text)')\n"
           "c.executemany('insert into T values (?, ?)', [(1, 'one'), (2, None), (3, 'three')])\n"
           "c.commit()\n");
    RIvuZuvuzoZuvu g;
    g.MDBDriver = "QSQLITE";
    g.SetColCountEx(5);
    g.SetRowCountEx(3);
    g.SetFixedCols(1);
    g.SetFixedRows(1);
    g.SetCells(2, 2, "replaced by NULL");
    g.LoadFromMDBTable(path("t.db"), "T");
    EXPECT_EQ(g.ColCount(), 3);
    EXPECT_EQ(g.RowCount(), 4);
    const std::vector<std::vector<std::string>> want = {{"id", "name"}, {"1", "one"}, {"2", ""}, {"3", "three"}};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 2; ++c)
            EXPECT_EQ(g.Cells(c + 1, r), want[r][c]) << r << "," << c;

    // a query program killed half-way, a file that is no database, a missing one
    const std::string failure = "Cannot open file " + path("t.db").toStdString();
    std::thread killer([] {
        for (int tries = 0; tries < 2000; ++tries) {
            for (const QString& pid : QDir("/proc").entryList(QDir::Dirs)) {
                QFile stat("/proc/" + pid + "/stat");
                const QByteArray s = stat.open(QIODevice::ReadOnly) ? stat.readAll() : QByteArray();
                const QList<QByteArray> after = s.mid(s.lastIndexOf(')') + 2).split(' ');  // state, parent, ...
                if (s.contains("(quillet-query)") && after.size() > 1 &&
                    after[1].toLongLong() == QCoreApplication::applicationPid()) {
                    QThread::msleep(300);
                    QProcess::execute("/bin/kill", {"-KILL", pid});
                    return;
                }
            }
            QThread::msleep(5);
        }
    });
    const std::string killed = errorOf<DIdiZedoRorid>([&] {
        g.LoadFromMDBSQL(path("t.db"), "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < 3000000) "
                                       "SELECT x FROM n");
    });
    killer.join();
    EXPECT_EQ(killed, failure);
    EXPECT_EQ(g.Cells(1, 0), "x");
    EXPECT_EQ(g.Cells(1, 1), "1") << "the grid keeps what came before the end";

    write("no.db", QByteArray(4096, 'x'));
    EXPECT_THAT(errorOf<DIdiZedoRorid>([&] { g.LoadFromMDBTable(path("no.db"), "T"); }),
                ::testing::StartsWith("Cannot open file " + path("no.db").toStdString() + "\n"));
    EXPECT_THAT(errorOf<DIdiZedoRorid>([&] { g.LoadFromMDBTable(path("gone.db"), "T"); }),
                ::testing::StartsWith("Cannot open file " + path("gone.db").toStdString()));
    EXPECT_EQ(g.Cells(1, 1), "1");
}

TEST_F(GridQuery, TableNamesAreNamesNotQueryText)
{
    python("import sys, sqlite3\n"
           "c = sqlite3.connect(sys.argv[1] + '/t.db')\n"
           "c.execute('create table T (id integer)')\n"
           "c.execute('create table [My Table; x] (name text)')\n"
           "c.executemany('insert into T values (?)', [(1,), (2,)])\n"
           "c.execute(\"insert into [My Table; x] values ('spaced')\")\n"
           "c.commit()\n");
    RIvuZuvuzoZuvu g;
    g.MDBDriver = "QSQLITE";
    g.SetFixedCols(0);
    g.LoadFromMDBTable(path("t.db"), "My Table; x");
    EXPECT_EQ(g.Cells(0, 0), "name");
    EXPECT_EQ(g.Cells(0, 1), "spaced");
    g.LoadFromMDBTable(path("t.db"), "[T]");
    EXPECT_EQ(g.Cells(0, 2), "2");
    const std::string failure = "Cannot open file " + path("t.db").toStdString() + "\n";
    for (const char* name : {"T WHERE id = 1", "T] WHERE [id", "", "[]"}) {
        g.SetCells(0, 1, "kept");
        EXPECT_THAT(errorOf<DIdiZedoRorid>([&] { g.LoadFromMDBTable(path("t.db"), name); }),
                    ::testing::StartsWith(failure)) << name;
        EXPECT_EQ(g.Cells(0, 1), "kept") << name;
    }
}

TEST_F(GridQuery, ASilentQueryProgramIsEndedWhileTheWindowsPaintAndAMissingOneIsNamed)
{
    QDir(scratch.path()).mkdir("silent");
    write("silent/quillet-query", "#!/bin/sh\nsleep 30\n");
    QFile::setPermissions(path("silent/quillet-query"), QFile::ReadOwner | QFile::ExeOwner);
    platform::SetHelperFolder(path("silent"));
    RIvuZuvuzoZuvu g;
    shape(g);
    g.SetCells(1, 1, "kept");
    g.MDBQueryTime = std::chrono::milliseconds(800);
    g.show();
    int paints = 0;
    QTimer repaint;
    QObject::connect(&repaint, &QTimer::timeout, [&] {
        g.repaint();  // painted at once, or not at all while the thread is held
        ++paints;
    });
    repaint.start(50);
    QElapsedTimer clock;
    clock.start();
    const std::string failure = "Cannot open file " + path("t.db").toStdString();
    EXPECT_EQ(errorOf<DIdiZedoRorid>([&] { g.LoadFromMDBSQL(path("t.db"), "SELECT 1"); }), failure);
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_GE(paints, 5);
    EXPECT_EQ(g.ColCount(), 2);
    EXPECT_EQ(g.Cells(1, 1), "kept");

    platform::SetHelperFolder(path("nowhere"));
    EXPECT_EQ(errorOf<DIdiZedoRorid>([&] { g.LoadFromMDBTable(path("t.db"), "T"); }),
              failure + "\n" + path("nowhere/quillet-query").toStdString());

    // the program looks beside itself, and nowhere the build put things
    QFile program(QString(QUILLET_QUERY_FOLDER) + "/quillet");
    ASSERT_TRUE(program.open(QIODevice::ReadOnly));
    EXPECT_FALSE(program.readAll().contains(QUILLET_QUERY_FOLDER));
}
