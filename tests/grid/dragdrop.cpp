// Drag and drop: what a drop target accepts and calls, what a drag offers and
// how it reports its end, and the list grid's drags and drops driven by real
// Qt drag events and real mouse moves (the drag loop itself is scripted).
#include "inputfixture.h"

#include "grid/dragdrop.h"
#include "platform/dialogs.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

#include <tuple>

using namespace grid;

namespace {

// A drop target that writes down what it is told.
struct RecordingTarget : TASGDropTarget {
    std::vector<std::string> calls;
    void DropText(const QPoint&, const std::string& t) override { calls.push_back("text:" + t); }
    void DropCol(const QPoint&, int c) override { calls.push_back("col:" + std::to_string(c)); }
    void DropRTF(const QPoint&, const std::string& r) override { calls.push_back("rtf:" + r); }
    void DropFiles(const QPoint&, const QStringList& f) override
    {
        calls.push_back("files:" + std::to_string(f.size()));
    }
};

QByteArray columnBytes(int c)
{
    const auto u = static_cast<std::uint32_t>(c);
    const char b[4] = {char(u & 0xFF), char(u >> 8 & 0xFF), char(u >> 16 & 0xFF), char(u >> 24 & 0xFF)};
    return QByteArray(b, 4);
}

struct RTFAwareScope {
    explicit RTFAwareScope(bool On) { SetRTFAware(On); }
    ~RTFAwareScope() { SetRTFAware(false); }
};

// Sends enter (and, when asked, drop) to a view as Qt's drag manager would.
struct DragResult {
    bool entered = false, dropped = false;
    Qt::DropAction action = Qt::IgnoreAction;
};
DragResult dragOnto(QWidget* view, QPoint at, const QMimeData* data, bool drop = true,
                    Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    DragResult r;
    const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction;
    QDragEnterEvent enter(at, actions, data, Qt::LeftButton, mods);
    QApplication::sendEvent(view, &enter);
    r.entered = enter.isAccepted();
    if (!r.entered)
        return r;
    QDragMoveEvent move(at, actions, data, Qt::LeftButton, mods);
    QApplication::sendEvent(view, &move);
    if (!drop || !move.isAccepted()) {
        QDragLeaveEvent leave;
        QApplication::sendEvent(view, &leave);
        return r;
    }
    QDropEvent dropEvent(at, actions, data, Qt::NoButton, mods);
    QApplication::sendEvent(view, &dropEvent);
    r.dropped = dropEvent.isAccepted();
    r.action = r.dropped ? dropEvent.dropAction() : Qt::IgnoreAction;
    return r;
}

// The drag loop for the length of a test: records the offered data and drops
// it onto a view (or cancels when there is none), then gives the feedback.
struct ScriptedLoop {
    QWidget* view = nullptr;
    QPoint at;
    Qt::KeyboardModifiers mods = Qt::NoModifier;
    int runs = 0;
    QStringList formats;
    QByteArray column;
    std::optional<int> lastFeedback;  // overrides the feedback of the drop
    ScriptedLoop()
    {
        SetDragLoop([this](QObject*, std::unique_ptr<QMimeData> data, Qt::DropActions, TASGDropSource& source) {
            ++runs;
            formats = data->formats();
            column = data->data(kColumnFormat);
            const Qt::DropAction action = view ? dragOnto(view, at, data.get(), true, mods).action : Qt::IgnoreAction;
            source.GiveFeedback(lastFeedback ? *lastFeedback : action == Qt::CopyAction ? 1 : action == Qt::MoveAction ? 2 : 0);
            return action;
        });
    }
    ~ScriptedLoop() { SetDragLoop({}); }
};

}  // namespace

TEST(DropTarget, DecidesAtEnterAndCallsInOrder)
{
    RecordingTarget t;
    QMimeData both;
    both.setText("hello");
    both.setUrls({QUrl::fromLocalFile("/tmp/x.csv")});
    int effect = -1;
    t.DragEnter(&both, 0, {}, effect);
    EXPECT_TRUE(t.CanDrop);
    EXPECT_EQ(t.DropFormats, unsigned(dfText | dfFile));
    EXPECT_EQ(effect, DROPEFFECT_MOVE);
    t.Drop(&both, platform::ssCtrl, {}, effect);
    EXPECT_EQ(effect, DROPEFFECT_COPY);
    EXPECT_EQ(t.calls, (std::vector<std::string>{"text:hello", "files:1"}));

    // Rich text alone: refused unless RTFAware, or a column comes along with AcceptCols.
    QMimeData rtf;
    rtf.setData(kRTFFormat, "{\\rtf1 x}");
    t.calls.clear();
    t.DragEnter(&rtf, 0, {}, effect);
    EXPECT_FALSE(t.CanDrop);
    EXPECT_EQ(effect, DROPEFFECT_NONE);
    t.Drop(&rtf, 0, {}, effect);
    EXPECT_TRUE(t.calls.empty());
    rtf.setData(kColumnFormat, columnBytes(3));
    t.DragEnter(&rtf, 0, {}, effect);
    EXPECT_FALSE(t.CanDrop);
    t.AcceptCols = true;
    t.DragEnter(&rtf, 0, {}, effect);
    EXPECT_TRUE(t.CanDrop);
    t.Drop(&rtf, 0, {}, effect);
    EXPECT_EQ(t.calls, (std::vector<std::string>{"col:3"}));
    {
        RTFAwareScope aware(true);
        QMimeData onlyRtf;
        onlyRtf.setData(kRTFFormat, "{\\rtf1 y}");
        t.calls.clear();
        t.DragEnter(&onlyRtf, 0, {}, effect);
        EXPECT_TRUE(t.CanDrop);
        t.Drop(&onlyRtf, 0, {}, effect);
        EXPECT_EQ(t.calls, (std::vector<std::string>{"rtf:{\\rtf1 y}"}));
    }

    // A column payload of another size is no column; text without its format is not droppable.
    QMimeData bad;
    bad.setData(kColumnFormat, "12345");
    bad.setData("text/html", "<b>x</b>");
    t.DragEnter(&bad, 0, {}, effect);
    EXPECT_FALSE(t.CanDrop);
    EXPECT_EQ(t.DropFormats, 0u);
    EXPECT_EQ(TEnumFormats(&bad).Col(), -1);
}

TEST(DropSource, OffersFormatsAndReportsTheEnd)
{
    TSourceDataObject text("a\tb", "", -1);
    EXPECT_EQ(text.formats(), QStringList{kTextFormat});
    EXPECT_EQ(text.text(), "a\tb");
    {
        RTFAwareScope aware(true);
        EXPECT_EQ(text.formats(), (QStringList{kTextFormat, kRTFFormat}));
        EXPECT_TRUE(text.hasFormat(kRTFFormat));
        EXPECT_EQ(text.data(kRTFFormat), QByteArray());  // an empty rich text: empty data
    }
    TSourceDataObject col("", "", 258);
    EXPECT_EQ(col.formats(), QStringList{kColumnFormat});
    EXPECT_EQ(col.data(kColumnFormat), columnBytes(258));
    EXPECT_EQ(TEnumFormats(&col).Col(), 258);

    ScriptedLoop loop;
    TASGDropSource source;
    int effect = -1;
    // Cancelled: no view to drop onto.
    EXPECT_EQ(StartTextDoDragDrop(nullptr, source, "x", "x", 3, effect), DRAGDROP_S_CANCEL);
    EXPECT_EQ(effect, DROPEFFECT_NONE);
    // Dropped on a target that takes it, but the last feedback had no effect.
    RIvuZuvuzoZuvu g;
    g.resize(300, 200);
    g.show();
    g.DragDropSettings->OleDropTarget = true;
    g.DragDropSettings->OleAcceptText = false;  // the grid drops nothing itself
    g.DropTarget()->AcceptCols = true;
    loop.view = g.viewport();
    loop.at = {100, 10};
    loop.lastFeedback = 0;
    EXPECT_EQ(StartColDoDragDrop(nullptr, source, 2, 3, effect), DRAGDROP_S_CANCEL);
    EXPECT_EQ(effect, DROPEFFECT_MOVE);
    EXPECT_EQ(loop.column, columnBytes(2));
    loop.lastFeedback.reset();
    EXPECT_EQ(StartColDoDragDrop(nullptr, source, 2, 3, effect), DRAGDROP_S_DROP);
    loop.mods = Qt::ControlModifier;
    EXPECT_EQ(StartColDoDragDrop(nullptr, source, 2, 3, effect), DRAGDROP_S_DROP);
    EXPECT_EQ(effect, DROPEFFECT_COPY);
}

TEST(GridDragDrop, DropsOnlyWhileSwitchedOn)
{
    InputGrid t(6);
    QMimeData data;
    data.setData(kColumnFormat, columnBytes(1));
    std::vector<std::vector<int>> dropped;
    t.g.OnOleDropCol = [&](RIvuZuvuzoZuvu*, int r, int c, int d) { dropped.push_back({r, c, d}); };

    EXPECT_FALSE(dragOnto(t.view(), t.center(2, 0), &data).entered);
    t.g.DragDropSettings->OleDropTarget = true;
    EXPECT_TRUE(t.view()->acceptDrops());
    t.g.DropTarget()->AcceptCols = true;
    // A column is refused outside the header row, taken in it.
    EXPECT_FALSE(dragOnto(t.view(), t.center(2, 3), &data).dropped);
    QDragEnterEvent enter(t.center(2, 0), Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(t.view(), &enter);
    QDragMoveEvent move(t.center(2, 0), Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(t.view(), &move);
    EXPECT_TRUE(move.isAccepted());
    EXPECT_TRUE(t.g.ArrowWindow(arrDown)->isVisible());
    QDropEvent drop(t.center(2, 0), Qt::MoveAction, &data, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(t.view(), &drop);
    EXPECT_EQ(dropped, (std::vector<std::vector<int>>{{0, 2, 1}}));
    EXPECT_FALSE(t.g.ArrowWindow(arrDown)->isVisible());

    t.g.DragDropSettings->OleDropTarget = false;
    EXPECT_FALSE(t.view()->acceptDrops());
    EXPECT_FALSE(dragOnto(t.view(), t.center(2, 0), &data).entered);
    EXPECT_EQ(dropped.size(), 1u);
}

TEST(GridDragDrop, APressStartsADragBeyondThreePixels)
{
    InputGrid t(6);
    t.g.DragDropSettings->OleDropSource = true;
    ScriptedLoop loop;
    std::vector<int> stops;
    t.g.OnOleDragStop = [&](RIvuZuvuzoZuvu*, int e) { stops.push_back(e); };
    t.click(t.center(1, 2));
    const QPoint p = t.center(1, 2);
    QTest::mousePress(t.view(), Qt::LeftButton, {}, p);
    QTest::mouseMove(t.view(), p + QPoint(3, 3));
    EXPECT_EQ(loop.runs, 0);
    QTest::mouseMove(t.view(), p + QPoint(4, 0));
    EXPECT_EQ(loop.runs, 1);
    EXPECT_EQ(loop.formats, QStringList{kTextFormat});
    EXPECT_TRUE(stops.empty());  // cancelled: nothing dropped it
    QTest::mouseRelease(t.view(), Qt::LeftButton, {}, p + QPoint(4, 0));

    // A press on a header drags the column.
    t.g.DragDropSettings->OleDropTarget = true;
    t.g.DropTarget()->AcceptCols = true;
    loop.view = t.view();
    loop.at = t.center(3, 0);
    std::vector<int> cols;
    t.g.OnOleDropCol = [&](RIvuZuvuzoZuvu*, int, int c, int d) { cols = {c, d}; };
    QTest::mousePress(t.view(), Qt::LeftButton, {}, t.center(1, 0));
    QTest::mouseMove(t.view(), t.center(1, 0) + QPoint(0, 5));
    EXPECT_EQ(loop.column, columnBytes(1));
    EXPECT_EQ(cols, (std::vector<int>{3, 1}));
    EXPECT_EQ(stops, std::vector<int>{DROPEFFECT_MOVE});
    EXPECT_FALSE(t.g.PopupButton()->isVisible());
}

TEST(GridDragDrop, ARefusedDragSelectsARange)
{
    InputGrid t(8);
    t.g.MouseActions->DisjunctRowSelect = false;
    t.g.DragDropSettings->OleDropSource = true;
    ScriptedLoop loop;
    t.g.OnOleDrag = [](RIvuZuvuzoZuvu*, int, int, const std::string&, bool& allow) { allow = false; };
    t.click(t.center(1, 2));
    QTest::mousePress(t.view(), Qt::LeftButton, {}, t.center(1, 2));
    QTest::mouseMove(t.view(), t.center(1, 2) + QPoint(0, 6));
    QTest::mouseMove(t.view(), t.center(1, 5));
    QTest::mouseRelease(t.view(), Qt::LeftButton, {}, t.center(1, 5));
    EXPECT_EQ(loop.runs, 0);
    EXPECT_EQ(t.g.Selection().Top, 2);
    EXPECT_EQ(t.g.Selection().Bottom, 5);

    // Without a drag the press selects on release.
    t.g.OnOleDrag = nullptr;
    t.click(t.center(1, 4));
    EXPECT_EQ(t.g.Selection().Top, 4);
    EXPECT_EQ(t.g.Selection().Bottom, 4);
}

namespace {
// A grid of plain cells (no row selection) that takes dropped text.
struct DropGrid : InputGrid {
    explicit DropGrid(int rows = 8) : InputGrid(rows)
    {
        g.SetOptions((g.Options() & ~platform::goRowSelect) | platform::goEditing);
        g.MouseActions->DisjunctRowSelect = false;
        g.DragDropSettings->OleDropTarget = true;
    }
};
}  // namespace

TEST(GridDragDrop, DroppedTextIsPastedAndSelected)
{
    DropGrid t;
    t.g.DragDropSettings->OleInsertRows = true;
    std::vector<TGridRect> dropped;
    t.g.OnOleDropped = [&](RIvuZuvuzoZuvu*, const TGridRect& R) { dropped.push_back(R); };
    QMimeData data;
    data.setText("a\tb\r\nc\td\r\n");
    const QPoint at = t.center(2, 3);
    EXPECT_TRUE(dragOnto(t.view(), at, &data).dropped);
    EXPECT_EQ(t.g.RowCount(), 10);
    EXPECT_EQ(t.g.Cells(2, 3), "a");
    EXPECT_EQ(t.g.Cells(3, 4), "d");
    EXPECT_EQ(t.g.Cells(2, 5), "r3c2");  // the row that was there, moved down
    const TGridRect block{2, 3, 3, 4};
    EXPECT_EQ(t.g.Selection(), block);
    EXPECT_EQ(dropped, std::vector<TGridRect>{block});
    EXPECT_FALSE(t.g.ArrowWindow(arrRight)->isVisible());

    // Refused by the handler: nothing changes and the drop is not taken.
    t.g.OnOleDrop = [](RIvuZuvuzoZuvu*, int, int, const std::string&, bool& allow) { allow = false; };
    EXPECT_FALSE(dragOnto(t.view(), t.center(1, 1), &data).dropped);
    EXPECT_EQ(t.g.RowCount(), 10);
    EXPECT_EQ(t.g.Cells(1, 1), "r1c1");
    EXPECT_EQ(dropped.size(), 1u);

    // A grid of its header alone takes the text as its first rows.
    DropGrid header(1);
    QMimeData one;
    one.setText("x\ty");
    EXPECT_TRUE(dragOnto(header.view(), header.center(1, 0), &one).dropped);
    EXPECT_EQ(header.g.RowCount(), 2);
    EXPECT_EQ(header.g.Cells(1, 1), "x");
    EXPECT_EQ(header.g.Cells(2, 1), "y");
    EXPECT_EQ(header.g.Cells(1, 0), "H1");

    // Only part of the text finds a cell that takes it: a move is answered as a
    // copy, so the source keeps what the read-only column refused.
    DropGrid partly;
    partly.g.OnCanEditCell = [](RIvuZuvuzoZuvu*, int, int col, bool& can) { can = col != 2; };
    QMimeData two;
    two.setText("p\tq");
    const DragResult r = dragOnto(partly.view(), partly.center(1, 2), &two);
    EXPECT_TRUE(r.dropped);
    EXPECT_EQ(r.action, Qt::CopyAction);
    EXPECT_EQ(partly.g.Cells(1, 2), "p");
    EXPECT_EQ(partly.g.Cells(2, 2), "r2c2");
    one.setText("m");
    EXPECT_EQ(dragOnto(partly.view(), partly.center(1, 3), &one).action, Qt::MoveAction);  // all taken: a move
}

TEST(GridDragDrop, OneCsvOrWorkbookFileIsLoadedByItsExtension)
{
    QTemporaryDir dir;
    const QString csv = dir.filePath("data.csv");
    QFile f(csv);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("x,y\r\n1,2\r\n");
    f.close();
    ASSERT_TRUE(QDir(dir.path()).mkdir("x.csv"));
    platform::ScriptedDialogs dialogs;

    DropGrid t;
    std::vector<std::string> asked;
    t.g.OnOleDrop = [&](RIvuZuvuzoZuvu*, int, int, const std::string& name, bool&) { asked.push_back(name); };
    QMimeData two;
    two.setUrls({QUrl::fromLocalFile(csv), QUrl::fromLocalFile(csv)});
    EXPECT_FALSE(dragOnto(t.view(), t.center(1, 2), &two).dropped);
    EXPECT_EQ(t.g.Cells(0, 1), "r1c0");
    QMimeData folder;
    folder.setUrls({QUrl::fromLocalFile(dir.filePath("x.csv"))});
    EXPECT_FALSE(dragOnto(t.view(), t.center(1, 2), &folder).dropped);
    ASSERT_EQ(dialogs.Errors().size(), 1);
    EXPECT_TRUE(dialogs.Errors()[0].contains("x.csv"));
    EXPECT_EQ(t.g.Cells(0, 1), "r1c0");

    QMimeData one;
    one.setUrls({QUrl::fromLocalFile(csv)});
    const DragResult r = dragOnto(t.view(), t.center(1, 2), &one);
    EXPECT_TRUE(r.dropped);
    EXPECT_EQ(r.action, Qt::CopyAction);  // a read file is never moved away
    EXPECT_EQ(t.g.Cells(0, 1), "x");
    EXPECT_EQ(t.g.Cells(1, 2), "2");
    EXPECT_EQ(asked, (std::vector<std::string>{dir.filePath("x.csv").toStdString(), csv.toStdString()}));

    // By the name's extension alone, in any case: CSV text under an .xlsx
    // name goes to the workbook reader (which refuses it), a .txt to none.
    ASSERT_TRUE(QDir(dir.path()).mkdir("x.csv.d"));
    for (const auto& [name, loaded, errors] : {std::tuple{"DATA.CSV", true, 1}, std::tuple{"x.csv.d/a.xlsx", false, 2},
                                               std::tuple{"report.xls.txt", false, 2}}) {
        ASSERT_TRUE(QFile::copy(csv, dir.filePath(name)));
        DropGrid other;
        one.setUrls({QUrl::fromLocalFile(dir.filePath(name))});
        EXPECT_EQ(dragOnto(other.view(), other.center(1, 2), &one).dropped, loaded) << name;
        EXPECT_EQ(dialogs.Errors().size(), errors) << name;
    }
}

TEST(GridDragDrop, AMoveWithinTheGridKeepsWhatTheDropWrote)
{
    // Onto row 2, onto the dragged rows, and onto row 2 of a grid that takes no paste.
    for (const auto& [target, takesPaste] : {std::pair{2, true}, std::pair{4, true}, std::pair{2, false}}) {
        DropGrid t(8);
        t.g.DragDropSettings->OleDropSource = true;
        t.g.Navigation->AllowClipboardAlways = takesPaste;  // the grid itself is not edited
        t.g.SetOptions(t.g.Options() & ~platform::goEditing);
        const char* moved[] = {"A", "B", "C"};
        for (int r = 3; r <= 5; ++r)
            t.g.SetCells(1, r, moved[r - 3]);
        t.g.SelectRange(1, 1, 3, 5);
        ScriptedLoop loop;
        loop.view = t.view();
        loop.at = t.center(1, target);
        QTest::mousePress(t.view(), Qt::LeftButton, {}, t.center(1, 4));
        QTest::mouseMove(t.view(), t.center(1, 4) + QPoint(0, 6));
        QTest::mouseRelease(t.view(), Qt::LeftButton, {}, t.center(1, 4) + QPoint(0, 6));
        ASSERT_EQ(loop.runs, 1);
        const std::vector<std::string> expected =
            target == 2 && takesPaste ? std::vector<std::string>{"r1c1", "A", "B", "C", "", "r6c1", "r7c1"}
                        : std::vector<std::string>{"r1c1", "r2c1", "A", "B", "C", "r6c1", "r7c1"};
        EXPECT_EQ(t.column(1), expected) << target;
    }
}
