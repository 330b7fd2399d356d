// The grid's text editor: the character filters per editor type, the start
// character passing the filter, and the full field.
#include "editgrid.h"

#include "platform/beep.h"

#include <gtest/gtest.h>

using namespace grid;

namespace {

class EditingTest : public ::testing::Test {
protected:
    // Starts editing (c, 1) of type T holding Text, caret placed at Caret.
    QLineEdit* open(TEditorType T, const char* Text, int Caret = -1)
    {
        e.types[{1, 1}] = T;
        e.g.SetCells(1, 1, Text);
        e.edit(1, 1);
        QLineEdit* ed = e.g.InplaceEditor();
        if (ed && Caret >= 0) {
            ed->deselect();
            ed->setCursorPosition(Caret);
        }
        return ed;
    }
    std::string typed(QLineEdit* Ed, const char* Keys)
    {
        QTest::keyClicks(Ed, QString::fromUtf8(Keys));
        return Ed->text().toStdString();
    }
    EditGrid e;
};

}  // namespace

TEST_F(EditingTest, NumericKinds)
{
    QLineEdit* ed = open(edNumeric, "12", 0);
    ASSERT_TRUE(ed && e.g.EditorMode());
    int beeps = platform::BeepCount();
    EXPECT_EQ(typed(ed, "-"), "-12");
    EXPECT_EQ(typed(ed, "-"), "-12");
    EXPECT_EQ(platform::BeepCount(), beeps + 1);
    e.click(4, 5);

    // The starting character goes through the filter too.
    e.types[{1, 1}] = edNumeric;
    e.g.SetCells(1, 1, "12");
    beeps = platform::BeepCount();
    e.edit(1, 1, "a");
    ASSERT_TRUE(e.g.EditorMode());
    EXPECT_EQ(e.g.InplaceEditor()->text(), "12");
    EXPECT_EQ(platform::BeepCount(), beeps + 1);
    e.click(4, 5);

    ed = open(edPositiveNumeric, "5", 1);
    beeps = platform::BeepCount();
    EXPECT_EQ(typed(ed, "a-7"), "57");
    EXPECT_EQ(platform::BeepCount(), beeps + 2);
    e.click(4, 5);

    ed = open(edFloat, "1.5", 3);
    beeps = platform::BeepCount();
    EXPECT_EQ(typed(ed, ",x"), "1.5");
    EXPECT_EQ(platform::BeepCount(), beeps);
    ed->setSelection(1, 1);
    EXPECT_EQ(typed(ed, ","), "1,5");
}

TEST_F(EditingTest, CaseKindsAndFullField)
{
    QLineEdit* ed = open(edMixedCase, "", 0);
    EXPECT_EQ(typed(ed, "mary o'neil-smith"), "Mary O'Neil-Smith");
    e.click(4, 5);
    ed = open(edUpperCase, "", 0);
    EXPECT_EQ(typed(ed, "abc"), "ABC");
    e.click(4, 5);
    ed = open(edLowerCase, "", 0);
    EXPECT_EQ(typed(ed, "AbC"), "abc");
    e.click(4, 5);

    e.g.SetMaxEditLength(4);
    ed = open(edNormal, "abcd", 4);
    EXPECT_EQ(typed(ed, "e"), "abcd");
    QTest::keyClick(ed, Qt::Key_Backspace);
    EXPECT_EQ(ed->text(), "abc");
}
