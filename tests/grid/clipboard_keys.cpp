// The grid's clipboard keys, pressed as real key events on a shown grid:
// each reaches the clipboard after its event allows it and never also inserts
// or removes a row; switched off, the keys do what they did before.
#include "cellfill.h"
#include "cliptext.h"

#include <QTest>

#include <gtest/gtest.h>

using namespace grid;

namespace {

struct KeyGrid {
    RIvuZuvuzoZuvu g;
    std::vector<std::string> raised;
    explicit KeyGrid(bool Refuse = false)
    {
        fillCells(g, 4, 6);
        g.SetOptions(g.Options() | platform::goEditing | platform::goRangeSelect);
        g.Navigation->AllowClipboardShortCuts = true;
        g.Navigation->AllowDeleteRow = true;
        g.Navigation->AllowInsertRow = true;
        auto handler = [this, Refuse](const char* Name) {
            return [this, Refuse, Name](QObject* Sender, bool& Allow) {
                raised.push_back(Sender == &g ? Name : "?");
                Allow = !Refuse;
            };
        };
        g.OnClipboardCut = handler("cut");
        g.OnClipboardCopy = handler("copy");
        g.OnClipboardPaste = handler("paste");
        g.resize(400, 250);
        g.show();
        (void)QTest::qWaitForWindowExposed(&g);
        g.SelectRange(1, 2, 1, 1);
    }
};

struct KeyCase {
    Qt::Key key;
    Qt::KeyboardModifiers mods;
    const char* kind;
};
const KeyCase kKeys[] = {
    {Qt::Key_C, Qt::ControlModifier, "copy"},   {Qt::Key_Insert, Qt::ControlModifier, "copy"},
    {Qt::Key_X, Qt::ControlModifier, "cut"},    {Qt::Key_Delete, Qt::ShiftModifier, "cut"},
    {Qt::Key_V, Qt::ControlModifier, "paste"},  {Qt::Key_Insert, Qt::ShiftModifier, "paste"},
};

}  // namespace

TEST(GridClipboardKeys, EachKeyReachesTheClipboard)
{
    for (const KeyCase& k : kKeys) {
        const std::string kind = k.kind;
        KeyGrid t;
        setClipText("p\tq");
        QTest::keyClick(&t.g, k.key, k.mods);
        EXPECT_EQ(t.raised, std::vector<std::string>{kind}) << kind;
        EXPECT_EQ(t.g.RowCount(), 6) << kind;  // no row inserted or removed
        if (kind == "paste") {
            EXPECT_EQ(t.g.Cells(1, 1), "p");
            EXPECT_EQ(t.g.Cells(2, 1), "q");
        } else {
            EXPECT_EQ(clipText(), "1:1\t2:1") << kind;
            EXPECT_EQ(t.g.Cells(1, 1), kind == "cut" ? "" : "1:1") << kind;
        }
        EXPECT_EQ(t.g.Cells(1, 2), "1:2") << kind;
    }
}

TEST(GridClipboardKeys, ARefusingHandlerChangesNothing)
{
    for (const KeyCase& k : kKeys) {
        KeyGrid t(true);
        setClipText("p\tq");
        QTest::keyClick(&t.g, k.key, k.mods);
        EXPECT_EQ(t.raised, std::vector<std::string>{k.kind});
        EXPECT_EQ(clipText(), "p\tq") << k.kind;
        EXPECT_EQ(t.g.Cells(1, 1), "1:1") << k.kind;
        EXPECT_EQ(t.g.RowCount(), 6) << k.kind;
    }
}

TEST(GridClipboardKeys, SwitchedOffTheKeysDoWhatTheyDidBefore)
{
    KeyGrid t;
    t.g.Navigation->AllowClipboardShortCuts = false;
    setClipText("p\tq");
    for (const KeyCase& k : kKeys)
        if (k.key != Qt::Key_Delete)
            QTest::keyClick(&t.g, k.key, k.mods);
    EXPECT_TRUE(t.raised.empty());
    EXPECT_EQ(clipText(), "p\tq");
    EXPECT_EQ(t.g.Cells(1, 1), "1:1");
    EXPECT_EQ(t.g.RowCount(), 6);
    QTest::keyClick(&t.g, Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_EQ(t.g.RowCount(), 5);  // the row delete of the Delete key
}
