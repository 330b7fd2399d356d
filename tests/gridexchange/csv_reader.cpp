// CSV over a table in memory: exact fields written under each quoting switch,
// delimiter detection, code pages, quotes and line breaks read back, Python's
// csv module reading what we write, the OEM code page, and random damage.
#include "../scratch_files.h"
#include "grid/exchange/textfiles.h"
#include "memorytable.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <gtest/gtest.h>

#include <random>

using namespace grid::exchange;

namespace {

using Row = MemoryTable::Row;

class Csv : public ScratchFiles {
protected:
    static QByteArray written(const MemoryTable& T, const CsvSwitches& S = {})
    {
        QByteArray out;
        WriteCsv(T, T.All(), S, [&](std::string_view Bytes) { out.append(Bytes.data(), qsizetype(Bytes.size())); },
                 {});
        return out;
    }
    static void read(const QByteArray& Bytes, MemoryTable& T, const CsvSwitches& S = {}, int RowOffset = 0)
    {
        ReadCsv(Bytes, T, 0, RowOffset, S, "t.csv", {});
    }
    // The records Python's csv module reads from the bytes.
    std::vector<Row> python(const QByteArray& Bytes)
    {
        write("py.csv", Bytes);
        QProcess p;
        p.start("/usr/bin/python3", {"-c",
                                     "import csv, json, sys\n"
                                     "print(json.dumps(list(csv.reader(open(sys.argv[1], newline='', "
                                     "encoding='utf-8')))))",
                                     path("py.csv")});
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

TEST_F(Csv, QuotingSwitchesGiveTheseBytes)
{
    const MemoryTable t({{"x,y", "", "z"}, {"a\"b", "p\r\nq", "plain"}});
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
        CsvSwitches s;
        s.QuoteEmpty = c.quoteEmpty;
        s.QuoteAll = c.quoteAll;
        s.TildeBreaks = c.tilde;
        EXPECT_EQ(written(t, s), QByteArray(c.bytes));
    }
    CsvSwitches semi;
    semi.Delimiter = ';';
    EXPECT_EQ(written(t, semi).left(10), QByteArray("x,y;;z\r\n\"a"));
}

TEST_F(Csv, DelimiterTextAndEndOfFileWhenReading)
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
        {QByteArray("a,b\n").repeated(100).toStdString() + "1,2,3,4,5,6,7\n", 101, {"1", "2", "3", "4", "5", "6", "7"}},
        {"\xEF\xBB\xBFname,x\r\n", 1, {"name", "x"}},
        {"M\xFCller,\x80\x81\r\n", 1, {"M\xC3\xBCller", "\xE2\x82\xAC\xEF\xBF\xBD"}},
        {"a,\xC3", 1, {"a", "\xC3\x83"}},
        {"a,b\r\nc,d\r\n\x1a", 2, {"c", "d"}},
        {std::string(65535, 'a') + "\xC3\xA4,\xE2\x82\xAC", 1, {std::string(65535, 'a') + "\xC3\xA4", "\xE2\x82\xAC"}},
        {std::string(70000, 'a') + ",\xFC", 1, {std::string(70000, 'a'), "\xC3\xBC"}},
    };
    for (const Case& c : cases) {
        MemoryTable t(1, 5);
        read(QByteArray::fromStdString(c.bytes), t);
        EXPECT_EQ(t.RowCount(), c.rows) << c.bytes;
        EXPECT_EQ(t.RowTexts(t.RowCount() - 1), c.last) << c.bytes;
    }
}

TEST_F(Csv, QuotesAndLineEndsWhenReading)
{
    MemoryTable q(2, 5);
    read("\"he said \"\"hi\"\"\",x\r\n\"four \"\"\"\" quotes\",y\n\"two\r\nlines\",z\nlf,only\n"
         "\"cut\"off,k\n\"open,\"\"w",
         q);
    EXPECT_EQ(q.RowCount(), 6);
    EXPECT_EQ(q.RowTexts(0, 2), (Row{"he said \"hi\"", "x"}));
    EXPECT_EQ(q.RowTexts(1, 2), (Row{"four \"\" quotes", "y"}));
    EXPECT_EQ(q.RowTexts(2, 2), (Row{"two\r\nlines", "z"}));
    EXPECT_EQ(q.RowTexts(3, 2), (Row{"lf", "only"}));
    EXPECT_EQ(q.RowTexts(4, 2), (Row{"cut", "k"})) << "text after a closing quote is dropped";
    EXPECT_EQ(q.RowTexts(5, 2), (Row{"open,\"w", ""})) << "a quote never closed ends at its line's end";

    // "," when no delimiter splits the lines; records from the row offset on
    read("first\nsecond\n", q, {}, q.RowCount());
    EXPECT_EQ(q.RowCount(), 8);
    EXPECT_EQ(q.Text(0, 6), "first");
    EXPECT_EQ(q.Text(0, 7), "second");
    EXPECT_EQ(q.Text(0, 0), "he said \"hi\"");
}

TEST_F(Csv, CellsComeBackAndPythonReadsTheSameFields)
{
    const Row cells = {"a \"b\", c", "\"q\"", "x,y", "p\r\nq", ""};
    const MemoryTable t({cells, {"1", "2", "3", "4", "5"}});
    struct Switches {
        bool quoteAll, quoteEmpty, tilde;
    };
    for (const Switches s : {Switches{false, false, false}, Switches{true, false, false},
                             Switches{false, true, false}, Switches{false, false, true}}) {
        SCOPED_TRACE(testing::Message() << s.quoteAll << s.quoteEmpty << s.tilde);
        CsvSwitches sw;
        sw.QuoteAll = s.quoteAll;
        sw.QuoteEmpty = s.quoteEmpty;
        sw.TildeBreaks = s.tilde;
        const QByteArray bytes = written(t, sw);
        MemoryTable back(5, 2);
        read(bytes, back, sw);
        Row expected = cells;
        if (s.tilde)
            expected[4] = "^";
        EXPECT_EQ(back.RowTexts(0), expected);
        if (s.tilde)
            continue;
        const std::vector<Row> py = python(bytes);
        ASSERT_EQ(py.size(), 2u);
        Row lf = cells;
        lf[3] = "p\nq";
        EXPECT_EQ(py[0], lf);
    }
}

TEST_F(Csv, OemCodePage)
{
    CsvSwitches oem;
    oem.Oem = true;
    const QByteArray bytes = written(MemoryTable({{"\xc3\xa9", "\xe2\x82\xac"}, {"a", "b"}}), oem);
    EXPECT_EQ(bytes, QByteArray("\x82,?\r\na,b\r\n"));
    MemoryTable back(5, 5);
    read(bytes, back, oem);
    EXPECT_EQ(back.Text(0, 0), "\xc3\xa9");
}

TEST_F(Csv, RandomDamageEndsInALoadedTable)
{
    std::vector<Row> rows;
    for (int r = 0; r < 12; ++r)
        rows.push_back({"id " + std::to_string(r), "a,b", "say \"x\"", "two\r\nlines", ""});
    const QByteArray good = written(MemoryTable(rows));
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
        MemoryTable back(5, 5);
        CsvSwitches s;
        s.TildeBreaks = round % 2;
        s.Oem = round % 3 == 0;
        ReadCsv(bad, back, 1, round % 5 == 0 ? back.RowCount() : 1, s, "bad.csv", {});
        EXPECT_GE(back.RowCount(), 1);
    }
}
