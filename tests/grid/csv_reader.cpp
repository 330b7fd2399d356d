// The list grid's CSV: exact fields written under each quoting switch,
// delimiter detection, code pages, quotes and line breaks read back, Python's csv module
// reading what we write, inserting, the OEM code page, and random damage.
#include "../scratch_files.h"
#include "grid/listgrid.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <random>

using namespace grid;

namespace {

using Row = std::vector<std::string>;

class GridCsv : public ScratchFiles {
protected:
    // A grid without fixed cells holding the rows.
    static void fill(RIvuZuvuzoZuvu& g, const std::vector<Row>& rows)
    {
        g.SetColCountEx(static_cast<int>(rows[0].size()));
        g.SetRowCountEx(static_cast<int>(rows.size()));
        g.SetFixedCols(0);
        g.SetFixedRows(0);
        for (size_t r = 0; r < rows.size(); ++r)
            for (size_t c = 0; c < rows[r].size(); ++c)
                g.SetCells(static_cast<int>(c), static_cast<int>(r), rows[r][c]);
    }
    static Row row(const RIvuZuvuzoZuvu& g, int r, int n = 0)
    {
        Row out;
        for (int c = 0; c < (n ? n : g.ColCount()); ++c)
            out.push_back(g.Cells(c, r));
        return out;
    }
    // The records Python's csv module reads from a file.
    std::vector<Row> python(const QString& name) const
    {
        QProcess p;
        p.start("/usr/bin/python3", {"-c",
                                     "import csv, json, sys\n"
                                     "print(json.dumps(list(csv.reader(open(sys.argv[1], newline='', "
                                     "encoding='utf-8')))))",
                                     path(name)});
        EXPECT_TRUE(p.waitForFinished(60000) && p.exitCode() == 0) << p.readAllStandardError().toStdString();
        std::vector<Row> rows;
        for (const auto& r : QJsonDocument::fromJson(p.readAllStandardOutput()).array()) {
            rows.emplace_back();
            for (const auto& f : r.toArray())
                rows.back().push_back(f.toString().toStdString());
        }
        return rows;
    }

};

}  // namespace

TEST_F(GridCsv, QuotingSwitchesGiveTheseBytes)
{
    RIvuZuvuzoZuvu g;
    fill(g, {{"x,y", "", "z"}, {"a\"b", "p\r\nq", "plain"}});
    struct Case {
        bool quoteEmpty, quoteAll, tilde;
        const char* bytes;
    };
    for (const Case& c : std::vector<Case>{
             {false, false, false, "\"x,y\",,z\r\n\"a\"\"b\",\"p\nq\",plain\r\n"},
             {true, false, false, "\"x,y\",\"\",z\r\n\"a\"\"b\",\"p\nq\",plain\r\n"},
             {false, true, false, "\"x,y\",\"\",\"z\"\r\n\"a\"\"b\",\"p\nq\",\"plain\"\r\n"},
             {false, false, true, "\"x,y\",^,z\r\n\"a\"\"b\",p~q,plain\r\n"},
         }) {
        g.CSVQuoteEmpty = c.quoteEmpty;
        g.CSVQuoteAll = c.quoteAll;
        g.CSVTildeBreaks = c.tilde;
        g.SaveToCSV(path("out.csv"));
        EXPECT_EQ(read("out.csv"), QByteArray(c.bytes));
    }
    g.CSVTildeBreaks = false;
    g.CSVQuoteAll = false;
    g.CSVDelimiter = ';';
    g.SaveToCSV(path("semi.csv"));
    EXPECT_EQ(read("semi.csv").left(10), QByteArray("x,y;;z\r\n\"a"));
}

TEST_F(GridCsv, DelimiterTextAndEndOfFileWhenReading)
{
    // Detection over the first 20 non-empty records; UTF-8 or else Windows-1252;
    // the byte 26 ends the file. Each case: the row count and the last row.
    const struct Case { std::string bytes; int rows; Row last; } cases[] = {
        {"a;b;c,d\r\n1;2;3,4\r\n", 2, {"1", "2", "3,4"}},
        {"Title\r\na,b,c\r\n1,2,3\r\n", 3, {"1", "2", "3"}},
        {"\r\na;b\r\n1;2\r\n", 3, {"1", "2"}},
        {"one|record", 1, {"one", "record"}},
        {"a,b;c;d\r\n", 1, {"a,b", "c", "d"}},
        {QByteArray("x;y\n").repeated(20).toStdString() + "1,2,3\n", 21, {"1,2,3", ""}},
        {"\xEF\xBB\xBFname,x\r\n", 1, {"name", "x"}},
        {"M\xFCller,\x80\x81\r\n", 1, {"M\xC3\xBCller", "\xE2\x82\xAC\xEF\xBF\xBD"}},
        {"a,\xC3", 1, {"a", "\xC3\x83"}},
        {"a,b\r\nc,d\r\n\x1a", 2, {"c", "d"}},
    };
    for (const Case& c : cases) {
        write("d.csv", QByteArray::fromStdString(c.bytes));
        RIvuZuvuzoZuvu g;
        g.IncludeFixedCells = true;
        g.SetColCountEx(1);
        g.LoadFromCSV(path("d.csv"));
        EXPECT_EQ(g.RowCount(), c.rows) << c.bytes;
        EXPECT_EQ(row(g, g.RowCount() - 1), c.last) << c.bytes;
    }
}

TEST_F(GridCsv, QuotesAndLineEndsWhenReading)
{

    RIvuZuvuzoZuvu q;
    q.IncludeFixedCells = true;
    q.SetColCountEx(2);
    write("q.csv", "\"he said \"\"hi\"\"\",x\r\n\"four \"\"\"\" quotes\",y\n\"two\r\nlines\",z\nlf,only\n\"open,w");
    q.LoadFromCSV(path("q.csv"));
    EXPECT_EQ(q.RowCount(), 5);
    EXPECT_EQ(row(q, 0, 2), (Row{"he said \"hi\"", "x"}));
    EXPECT_EQ(row(q, 1, 2), (Row{"four \"\" quotes", "y"}));
    EXPECT_EQ(row(q, 2, 2), (Row{"two\r\nlines", "z"}));
    EXPECT_EQ(row(q, 3, 2), (Row{"lf", "only"}));
    EXPECT_EQ(row(q, 4, 2), (Row{"open,w", ""})) << "a quote never closed ends at its line's end";

    // "," when no delimiter splits the lines; inserting adds after the last row
    write("one.csv", "first\nsecond\n");
    const int before = q.RowCount();
    q.InsertFromCSV(path("one.csv"));
    EXPECT_EQ(q.RowCount(), before + 2);
    EXPECT_EQ(q.Cells(0, before), "first");
    EXPECT_EQ(q.Cells(0, before + 1), "second");
    EXPECT_EQ(q.Cells(0, 0), "he said \"hi\"");
}

TEST_F(GridCsv, CellsComeBackAndPythonReadsTheSameFields)
{
    const Row cells = {"a \"b\", c", "\"q\"", "x,y", "p\r\nq", ""};
    RIvuZuvuzoZuvu g;
    fill(g, {cells, {"1", "2", "3", "4", "5"}});
    struct Switches {
        bool quoteAll, quoteEmpty, tilde;
    };
    for (const Switches s : {Switches{false, false, false}, Switches{true, false, false},
                             Switches{false, true, false}, Switches{false, false, true}}) {
        SCOPED_TRACE(testing::Message() << s.quoteAll << s.quoteEmpty << s.tilde);
        g.CSVQuoteAll = s.quoteAll;
        g.CSVQuoteEmpty = s.quoteEmpty;
        g.CSVTildeBreaks = s.tilde;
        g.SaveToCSV(path("round.csv"));
        RIvuZuvuzoZuvu back;
        fill(back, {Row(5), Row(5)});
        back.CSVTildeBreaks = s.tilde;
        back.IncludeFixedCells = true;
        back.LoadFromCSV(path("round.csv"));
        Row expected = cells;
        if (s.tilde)
            expected[4] = "^";
        EXPECT_EQ(row(back, 0), expected);
        if (s.tilde)
            continue;
        const std::vector<Row> py = python("round.csv");
        ASSERT_EQ(py.size(), 2u);
        Row lf = cells;
        lf[3] = "p\nq";
        EXPECT_EQ(py[0], lf);
    }
}

TEST_F(GridCsv, OemCodePage)
{
    RIvuZuvuzoZuvu g;
    fill(g, {{"\xc3\xa9", "\xe2\x82\xac"}, {"a", "b"}});
    g.OemConvert = true;
    g.SaveToCSV(path("oem.csv"));
    EXPECT_EQ(read("oem.csv"), QByteArray("\x82,?\r\na,b\r\n"));
    RIvuZuvuzoZuvu back;
    back.OemConvert = true;
    back.IncludeFixedCells = true;
    back.LoadFromCSV(path("oem.csv"));
    EXPECT_EQ(back.Cells(0, 0), "\xc3\xa9");
}

TEST_F(GridCsv, RandomDamageEndsInALoadedGrid)
{
    RIvuZuvuzoZuvu g;
    std::vector<Row> rows;
    for (int r = 0; r < 12; ++r)
        rows.push_back({"id " + std::to_string(r), "a,b", "say \"x\"", "two\r\nlines", ""});
    fill(g, rows);
    g.SaveToCSV(path("good.csv"));
    const QByteArray good = read("good.csv");
    std::mt19937 random(36);
    const char* pieces[] = {"\"", "\"\"", ";", "\r", "\n", "|", "\t", "~", "\x1a"};
    for (int round = 0; round < 1000; ++round) {
        QByteArray bad = good;
        const int edits = 1 + static_cast<int>(random() % 8);
        for (int i = 0; i < edits; ++i) {
            const qsizetype at = static_cast<qsizetype>(random() % (bad.size() + 1));
            if (random() % 2)
                bad.insert(at, pieces[random() % std::size(pieces)]);
            else if (at < bad.size())
                bad[at] = static_cast<char>(random());
        }
        if (round % 7 == 0)
            bad.truncate(static_cast<qsizetype>(random() % (bad.size() + 1)));
        write("bad.csv", bad);
        RIvuZuvuzoZuvu back;
        back.CSVTildeBreaks = round % 2;
        back.OemConvert = round % 3 == 0;
        back.InputFromCSV(path("bad.csv"), round % 5 == 0);
        EXPECT_GE(back.RowCount(), 1);
        EXPECT_EQ(back.CSVDelimiter, 0);
    }
}
