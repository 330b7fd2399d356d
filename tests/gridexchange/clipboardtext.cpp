// The clipboard text over a table in memory: the text of a copied block,
// how a pasted text is cut into lines and fields, and quoted lines.
#include "grid/exchange/clipboardtext.h"
#include "memorytable.h"

#include <gtest/gtest.h>

using namespace grid::exchange;

namespace {

using Row = MemoryTable::Row;

// The fields of a pasted text by row, as the cells store them.
std::vector<Row> pasted(std::string_view Text, bool Quoted, int& Fields)
{
    std::vector<Row> rows;
    int lastCol = 0, lastRow = 0;
    std::string cell;
    Fields = SplitClipboardText(
        Text, Quoted,
        [&](int Col, int R, std::string_view Field) {
            rows.resize(static_cast<size_t>(R) + 1);
            EXPECT_EQ(static_cast<int>(rows[static_cast<size_t>(R)].size()), Col);
            PastedField(Field, Quoted, cell);
            rows[static_cast<size_t>(R)].push_back(cell);
        },
        lastCol, lastRow);
    EXPECT_EQ(lastRow + 1, static_cast<int>(rows.size()));
    return rows;
}

}  // namespace

TEST(ClipboardText, SizeOfTextsOfAnyShape)
{
    // Lines end at CR LF, LF or CR; with quoted lines not inside a quoted field.
    struct Case {
        const char* text;
        int cols, rows;
        bool quoted = false;
    } cases[] = {{"", 0, 0},           {"a", 1, 1},           {"a\tb\r\nc\r\n", 2, 2}, {"a\r\nb", 1, 2},
                 {"a\r\n\r\nb\r\n", 1, 3}, {"a\rb\rc", 1, 3},   {"\t\t", 3, 1},          {"\r\n", 1, 1},
                 {"a\nb\tc\n", 2, 2},     {"a\n\r\nb\r", 1, 3}, {"\"a\nb\"\tc\n", 2, 2},
                 {"\"a\nb\"\tc\n", 2, 1, true}, {"x\t\"a\nb\nc\"\r\n", 2, 1, true},
                 {"\"a\nb", 1, 2, true}, {"\"a\tb\"\n\"\n", 2, 2, true}};
    for (const Case& c : cases) {
        int cols = -1, rows = -1;
        ClipboardTextSize(c.text, c.quoted, cols, rows);
        EXPECT_EQ(cols, c.cols) << c.text;
        EXPECT_EQ(rows, c.rows) << c.text;
    }
}

TEST(ClipboardText, BlocksAndQuotedLinesComeBack)
{
    MemoryTable t({{"x", "one\r\ntwo", "z"}, {"a", "b", "c"}});
    t.remap = {0, 2, 1};
    EXPECT_EQ(ClipboardText(t, 0, 2, 0, 1, {}, true, false, true), "x\tz\tone\r\ntwo\r\na\tc\tb\r\n");
    EXPECT_EQ(ClipboardText(t, 1, 2, 0, 1, [](int R) { return R == 1; }, false, false, true), "c\tb");
    const std::string quoted = ClipboardText(t, 0, 2, 0, 0, {}, true, true, true);
    EXPECT_EQ(quoted, "x\tz\t\"one\ntwo\"\r\n");
    int fields = 0;
    EXPECT_EQ(pasted(quoted, true, fields), (std::vector<Row>{{"x", "z", "one\r\ntwo"}}));
    EXPECT_EQ(fields, 4) << "the empty field after the final line end counts";
    // LF-separated lines from elsewhere around a quoted field
    EXPECT_EQ(pasted("\"a\nb\"\tc\nd", true, fields), (std::vector<Row>{{"a\r\nb", "c"}, {"d"}}));
    EXPECT_EQ(fields, 3);
    EXPECT_EQ(pasted("\"a\nb\"\tc\nd", false, fields), (std::vector<Row>{{"\"a"}, {"b\"", "c"}, {"d"}}));
}
