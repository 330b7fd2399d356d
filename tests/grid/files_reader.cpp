// The list grid's cell-list, stream, column-aligned and fixed-width members
// (the formats themselves are tested in gridexchange_files_reader): the
// grid's counts, widths and options reach the format, the messages for
// missing, damaged and unwritable files, progress, and input dropped during
// a long load.
#include "../folder_override.h"
#include "../scratch_files.h"
#include "grid/listgrid.h"
#include "platform/beep.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace grid;

namespace {

class GridFiles : public ScratchFiles {
protected:
    // cols x rows with one fixed row and column and the given data cells
    static void shape(RIvuZuvuzoZuvu& g, int cols, int rows)
    {
        g.SetColCountEx(cols);
        g.SetRowCountEx(rows);
        g.SetFixedCols(1);
        g.SetFixedRows(1);
    }
};

}  // namespace

TEST_F(GridFiles, CellListFileBytesAndReadingBack)
{
    RIvuZuvuzoZuvu g;
    shape(g, 3, 2);
    g.SetColWidths(1, 64);
    g.SetColWidths(2, 64);
    g.SetCells(1, 1, "a\r\nb");
    g.SaveToFile(path("g.txt"));
    EXPECT_EQ(read("g.txt"), QByteArray("2,1\r\ncw 1,64\r\ncw 2,64\r\n1,1,a\t\bb\r\n"));

    // counts plus the fixed cells; the grid is told once
    write("h.txt", "4,3\r\ncw 7,80\r\ncw 1,70000\r\n7,1,x\r\n1,1,y\r\n99999999999,1,z\r\n");
    RIvuZuvuzoZuvu h;
    shape(h, 3, 3);
    h.SetCells(2, 2, "kept");
    const int width = h.ColWidths(1);
    int changed = 0, loaded = 0;
    h.OnCellsChanged = [&](RIvuZuvuzoZuvu*, const Rect& R) { changed += R.Right == 5 && R.Bottom == 4; };
    struct Loaded : RIvuZuvuzoZuvu {
        int* count;
        void CellsLoaded() override { ++*count; }
    } l;
    l.count = &loaded;
    h.LoadFromFile(path("h.txt"));
    l.LoadFromFile(path("h.txt"));
    EXPECT_EQ(h.ColCount(), 5);
    EXPECT_EQ(h.RowCount(), 4);
    EXPECT_EQ(h.Cells(1, 1), "y");
    EXPECT_EQ(h.Cells(2, 2), "kept");
    EXPECT_EQ(h.ColWidths(1), width);
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(loaded, 1);
}

TEST_F(GridFiles, StreamRoundTrip)
{
    RIvuZuvuzoZuvu g;
    shape(g, 4, 3);
    g.SetColWidths(3, 91);
    g.SetCells(1, 1, "one");
    g.SetCells(3, 2, "two\r\nlines");
    QBuffer buffer;
    buffer.open(QIODevice::ReadWrite);
    buffer.write("prefix");
    g.SaveToStream(buffer);
    buffer.write("cw 40,5\r\n");  // a width for a column the grid does not have
    buffer.seek(6);
    RIvuZuvuzoZuvu back;
    shape(back, 2, 2);
    back.Multilinecells = true;
    back.LoadFromStream(buffer);
    EXPECT_EQ(back.ColCount(), 4);
    EXPECT_EQ(back.RowCount(), 3);
    EXPECT_EQ(back.Cells(1, 1), "one");
    EXPECT_EQ(back.Cells(3, 2), "two\r\nlines");
    EXPECT_EQ(back.ColWidths(3), 91);
}

TEST_F(GridFiles, BadHeadersMissingFilesAndUnwritableFolders)
{
    RIvuZuvuzoZuvu g;
    shape(g, 3, 3);
    g.SetCells(1, 1, "stay");
    for (const char* header : {"-5,3\r\n1,1,x\r\n"}) {
        write("bad.txt", header);
        EXPECT_EQ(errorOf<DIdiZedoRorid>([&] { g.LoadFromFile(path("bad.txt")); }),
                  "File contains no data or corrupt file " + path("bad.txt").toStdString());
        EXPECT_EQ(g.ColCount(), 3);
        EXPECT_EQ(g.RowCount(), 3);
        EXPECT_EQ(g.Cells(1, 1), "stay");
    }
    const std::string missing = path("missing.txt").toStdString();
    EXPECT_EQ(errorOf<DIdiZedoRorid>([&] { g.LoadFromFile(path("missing.txt")); }), "Cannot open file " + missing);
    EXPECT_EQ(errorOf<DIdiZedoRorid>([&] { g.LoadFromCSV(path("missing.txt")); }), "Cannot open file " + missing);
    TIntList positions;
    positions.Add(1);
    positions.Add(3);
    EXPECT_EQ(errorOf<DIdiZedoRorid>([&] { g.LoadFromFixed(path("missing.txt"), positions); }), "File " + missing + " not found");
    EXPECT_EQ(errorOf<DIdiZedoRorid>([&] { g.LoadFromFile(scratch.path()); }), "Cannot open file " + scratch.path().toStdString());
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("pipe")).constData(), 0600), 0);
    EXPECT_EQ(errorOf<DIdiZedoRorid>([&] { g.LoadFromCSV(path("pipe")); }), "Cannot open file " + path("pipe").toStdString());

    // every writer leaves the old file as it was in a folder it may not write
    QDir(scratch.path()).mkdir("ro");
    const QString old = path("ro/old.txt");
    write("ro/old.txt", "old bytes");
    ASSERT_EQ(::chmod(QFile::encodeName(path("ro")).constData(), 0555), 0);
    WithoutFolderOverride asUser;
    const std::string name = old.toStdString();
    TIntList widths;
    const std::vector<std::pair<std::function<void()>, std::string>> writers = {
        {[&] { g.SaveToFile(old); }, "Cannot Create " + name},
        {[&] { g.SaveToASCII(old); }, "Cannot Create file " + name},
        {[&] { g.SaveToCSV(old); }, "Cannot Create file " + name},
        {[&] { g.AppendToCSV(old); }, "Cannot Create file " + name},
        {[&] { g.SaveToFixed(old, widths); }, "Cannot Create file " + name},
    };
    for (const auto& [work, expected] : writers) {
        EXPECT_EQ(errorOf<DIdiZedoRorid>(work), expected);
        EXPECT_EQ(read("ro/old.txt"), "old bytes");
    }
    EXPECT_EQ(QDir(path("ro")).entryList(QDir::Files | QDir::Hidden), QStringList{"old.txt"});
}

TEST_F(GridFiles, FixedWidthAndColumnAlignedText)
{
    write("f.txt", "ab  cd  \r\n\tx  y\r\n");
    RIvuZuvuzoZuvu g;
    shape(g, 2, 2);
    TIntList positions;
    for (const int p : {1, 5, 9})
        positions.Add(p);
    g.LoadFromFixed(path("f.txt"), positions);
    EXPECT_EQ(g.ColCount(), 3);
    EXPECT_EQ(g.Cells(2, 1), "cd");
    RIvuZuvuzoZuvu w;  // the widths not given are the columns' longest texts
    shape(w, 4, 2);
    w.SetCells(1, 1, "abcd");
    w.SetCells(2, 1, "x");
    w.SetCells(3, 1, "12345");
    TIntList widths;
    widths.Add(3);
    widths.Add(2);
    w.SaveToFixed(path("w.txt"), widths);
    ASSERT_EQ(widths.Count(), 3);
    EXPECT_EQ(widths.Item(2), 5);
    EXPECT_EQ(read("w.txt"), "abcx 12345\r\n");

    RIvuZuvuzoZuvu a;
    a.SetColCountEx(2);
    a.SetRowCountEx(2);
    a.SetFixedCols(0);
    a.SetFixedRows(0);
    a.SetCells(0, 0, "a");
    a.SetCells(0, 1, "ccc");
    a.AutoNumAlign = true;
    a.Multilinecells = true;
    a.SetCells(1, 0, "7");
    a.SetCells(1, 1, "d\r\nlong");
    a.SaveToASCII(path("a.txt"));
    EXPECT_EQ(read("a.txt"), "a      7 \r\nccc d    \r\n    long\r\n");
}

TEST_F(GridFiles, ProgressChangesAndInputDuringTheLoadIsDropped)
{
    QByteArray big = "1,200000\r\n";
    for (int r = 1; r <= 200000; ++r)
        big += "1," + QByteArray::number(r) + ",row " + QByteArray::number(r) + "\r\n";
    write("big.txt", big);
    RIvuZuvuzoZuvu g;
    shape(g, 2, 2);
    std::vector<short> seen;
    bool loading = true, posted = false;
    int timers = 0, drops = 0;
    g.DragDropSettings->OleDropTarget = true;
    g.OnOleDrop = [&](RIvuZuvuzoZuvu*, int, int, const std::string&, bool& allow) {
        ++drops;
        allow = false;
    };
    QMimeData file;  // a file dragged in before the load and dropped during it starts no second load
    file.setUrls({QUrl::fromLocalFile(path("other.csv"))});
    g.OnFileProgress = [&](RIvuZuvuzoZuvu* Sender, short P) {
        seen.push_back(P);
        if (!posted) {
            posted = true;
            QCoreApplication::postEvent(Sender, new QKeyEvent(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier));
            QDropEvent drop({5, 5}, Qt::CopyAction, &file, Qt::NoButton, Qt::NoModifier);
            QCoreApplication::sendEvent(Sender->viewport(), &drop);
            QTimer::singleShot(0, [&] { ++timers; });
        }
    };
    struct KeyWatch : QObject {
        bool* loading;
        int duringLoad = 0, after = 0;
        bool eventFilter(QObject*, QEvent* e) override
        {
            if (e->type() == QEvent::KeyPress)
                ++(*loading ? duringLoad : after);
            return false;
        }
    } watch;
    watch.loading = &loading;
    g.installEventFilter(&watch);
    QDragEnterEvent enter({5, 5}, Qt::CopyAction, &file, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(g.viewport(), &enter);
    const int beeps = platform::BeepCount();
    g.LoadFromFile(path("big.txt"));
    loading = false;
    EXPECT_GT(timers, 0) << "timers run during the load";
    QCoreApplication::processEvents();
    EXPECT_EQ(watch.duringLoad + watch.after, 0) << "a key typed while busy is never delivered";
    EXPECT_EQ(drops, 0);
    EXPECT_EQ(platform::BeepCount() - beeps, 2) << "the key and the drop";
    EXPECT_EQ(g.Cells(1, 200000), "row 200000");
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), 100);
    for (size_t i = 1; i < seen.size(); ++i)
        EXPECT_NE(seen[i], seen[i - 1]);

    seen.clear();
    g.SaveToFile(path("again.txt"));
    EXPECT_EQ(seen.back(), 100);
    EXPECT_EQ(std::adjacent_find(seen.begin(), seen.end()), seen.end());
}
