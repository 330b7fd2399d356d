// Rich-text cells: the rich-text editor opening on a cell, writing back a
// change and leaving an unchanged cell alone (the reader and writer are
// tested in gridexchange_rtf).
#include "editgrid.h"

#include "grid/exchange/rtf.h"

#include <QTextBlock>
#include <QTextDocument>

#include <gtest/gtest.h>

using namespace grid;

TEST(RichText, EditorOpensWritesBackAndKeepsUnchangedBytes)
{
    EditGrid e;
    e.types[{1, 1}] = edRichEdit;
    e.types[{2, 1}] = edRichEdit;
    const std::string cell = "{\\rtf1\\ansi{\\fonttbl{\\f0 Tahoma;}}\\f0 \\b bold\\b0  plain}";
    e.g.SetCells(1, 1, cell);
    e.g.SetCells(2, 1, cell + "{{broken");

    e.edit(1, 1);
    TGridRichEdit* rich = e.g.EditRichEdit();
    ASSERT_TRUE(rich->isVisible());
    EXPECT_EQ(rich->toPlainText(), "bold plain");
    const QTextBlock block = rich->document()->begin();
    EXPECT_TRUE(block.begin().fragment().charFormat().font().bold());
    EXPECT_EQ(block.begin().fragment().text(), "bold");
    e.click(4, 5);
    EXPECT_FALSE(rich->isVisible());
    EXPECT_EQ(e.g.Cells(1, 1), cell);

    // Malformed RTF opens with what can be read and stays as stored.
    e.edit(2, 1);
    EXPECT_TRUE(rich->toPlainText().startsWith("bold plain"));
    e.click(4, 5);
    EXPECT_EQ(e.g.Cells(2, 1), cell + "{{broken");

    e.edit(1, 1);
    rich->moveCursor(QTextCursor::End);
    QTest::keyClicks(rich, "X");
    e.click(4, 5);
    const std::string stored = e.g.Cells(1, 1);
    EXPECT_NE(stored, cell);
    QTextDocument back;
    RTFToDocument(stored, back, e.g.Font());
    EXPECT_EQ(back.toPlainText(), "bold plainX");
    EXPECT_TRUE(back.begin().begin().fragment().charFormat().font().bold());
    EXPECT_EQ(back.begin().begin().fragment().text(), "bold");
}
