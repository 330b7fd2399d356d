// The list grid's rich-text cells where the grid reads them as text (the
// reader and writer themselves are tested in gridexchange_rtf): a copy takes
// their plain text.
#include "cliptext.h"
#include "grid/listgrid.h"

#include <gtest/gtest.h>

using namespace grid;

TEST(GridRtf, RichTextCellsAreCopiedAsTheirPlainText)
{
    RIvuZuvuzoZuvu g;
    g.SetCells(1, 1, "{\\rtf1 one\\par two}");
    g.SetCells(2, 1, "x");
    g.CopyFunc({1, 1, 2, 1});
    EXPECT_EQ(clipText(), "one\r\ntwo\tx");
    g.SelectRange(1, 1, 1, 1);
    EXPECT_EQ(g.SelectedText(), "one\r\ntwo\r\n");
}
