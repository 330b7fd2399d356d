// Office files and database answers over a table in memory: a sheet put in
// at its used range, the sheet picked by name or mark, a table as a sheet
// and as Word table rows, and the query program's answer, whole, in pieces
// and damaged at random (a damaged answer is never complete).
#include "grid/exchange/officefiles.h"
#include "memorytable.h"

#include <gtest/gtest.h>

#include <random>

using namespace grid::exchange;
namespace qf = queryframes;

TEST(OfficeFiles, SheetsGoInAtTheirUsedRangeAndTablesOut)
{
    std::vector<WorkbookSheet> sheets(2);
    sheets[0].name = "One";
    sheets[0].cells = {{{3, 2}, "x32"}, {{3, 3}, 33}, {{7, 4}, "x74"}, {{5, 3}, QString()}, {{6, 4}, "#N/A"}};
    sheets[0].errors = {{6, 4}};
    sheets[1].name = "Two";
    sheets[1].active = true;
    EXPECT_EQ(PickSheet(sheets, "One"), &sheets[0]);
    EXPECT_EQ(PickSheet(sheets, ""), &sheets[1]);
    EXPECT_EQ(PickSheet(sheets, "Foo"), nullptr);
    sheets[1].active = false;
    EXPECT_EQ(PickSheet(sheets, ""), &sheets[0]);

    MemoryTable t(5, 7);
    t.SetText(2, 4, "kept");
    SheetIntoTable(sheets[0], t, 1, 1);
    EXPECT_EQ(t.ColCount(), 1 + 3);
    EXPECT_EQ(t.RowCount(), 1 + 5);
    EXPECT_EQ(t.RowTexts(1), (MemoryTable::Row{"", "x32", "33", ""}));
    EXPECT_EQ(t.Text(3, 5), "x74");
    EXPECT_EQ(t.Text(3, 4), "") << "an error cell is left out";
    EXPECT_EQ(t.Text(2, 4), "kept");
    SheetIntoTable(sheets[1], t, 0, 0);
    EXPECT_EQ(t.ColCount(), 4) << "an empty sheet leaves the table alone";

    MemoryTable out({{"h", "h"}, {"a\r\nb", "c"}});
    out.remap = {1, 0};
    out.align[{1, 1}] = 1;
    const WorkbookSheet saved = TableSheet(out, 0, 1, "S");
    EXPECT_EQ(saved.cells, (std::map<std::pair<int, int>, QVariant>{{{1, 1}, "c"}, {{1, 2}, "a\nb"}}));
    const auto rows = DocxRows(out);
    EXPECT_EQ(rows[1][1].paragraphs, (QStringList{"a", "b"}));
    EXPECT_EQ(rows[1][0].alignment, docx::Alignment::Right);
}

TEST(OfficeFiles, QueryAnswersWholeInPiecesAndDamaged)
{
    const QByteArray good = qf::NamesFrame({"id", "name"}) + qf::CountFrame(2) +
                            qf::RecordFrame({QByteArray("1"), std::nullopt}) + qf::RecordFrame({QByteArray("2"), QByteArray("b")}) +
                            qf::DoneFrame();
    MemoryTable t(4, 4);
    t.fixedCols = t.fixedRows = 1;
    t.SetText(2, 1, "replaced by NULL");
    QueryAnswer answer(t);
    for (const char byte : good)
        ASSERT_TRUE(answer.Feed(QByteArray(1, byte)));
    EXPECT_TRUE(answer.Complete());
    EXPECT_EQ(t.ColCount(), 3);
    EXPECT_EQ(t.RowCount(), 3);
    EXPECT_EQ(t.RowTexts(0), (MemoryTable::Row{"", "id", "name"}));
    EXPECT_EQ(t.RowTexts(1), (MemoryTable::Row{"", "1", ""}));
    EXPECT_EQ(t.RowTexts(2), (MemoryTable::Row{"", "2", "b"}));

    std::mt19937 random(38);
    for (int round = 0; round < 3000; ++round) {
        QByteArray bad = good;
        const bool cut = round % 3 == 0;  // a cut answer is never complete
        if (cut)
            bad.truncate(static_cast<qsizetype>(random() % bad.size()));
        else
            for (int i = 0, n = 1 + static_cast<int>(random() % 4); i < n; ++i)
                bad[static_cast<qsizetype>(random() % bad.size())] = static_cast<char>(random());
        MemoryTable back(2, 2);
        back.fixedCols = back.fixedRows = 1;
        QueryAnswer damaged(back);
        damaged.Feed(bad);
        EXPECT_FALSE(cut && damaged.Complete());
        EXPECT_LE(back.ColCount(), 1 + static_cast<int>(qf::kMaxFields));
        EXPECT_LE(back.RowCount(), 1 + workbookfiles::kMaxCells);
    }
}
