// The spreadsheet file readers and writers on sound, damaged and hostile
// input: what they read back, and that bad input fails cleanly.
#include "../scratch_files.h"
#include "platform/workbookfiles.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <random>

#include <minizip/zip.h>

namespace {

class Files : public ScratchFiles {
protected:
    // A zip archive of the given parts.
    void zip(const QString& name, const std::vector<std::pair<QByteArray, QByteArray>>& parts) const
    {
        zipFile z = zipOpen(QFile::encodeName(path(name)).constData(), APPEND_STATUS_CREATE);
        ASSERT_NE(z, nullptr);
        for (const auto& [part, bytes] : parts) {
            ASSERT_EQ(zipOpenNewFileInZip(z, part.constData(), nullptr, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED, 6), ZIP_OK);
            ASSERT_EQ(zipWriteInFileInZip(z, bytes.constData(), static_cast<unsigned>(bytes.size())), ZIP_OK);
            ASSERT_EQ(zipCloseFileInZip(z), ZIP_OK);
        }
        ASSERT_EQ(zipClose(z, nullptr), ZIP_OK);
    }
    // A minimal workbook whose one sheet holds `cells` (the inside of <sheetData>).
    void xlsx(const QString& name, const QByteArray& cells, const QByteArray& shared = {}) const
    {
        std::vector<std::pair<QByteArray, QByteArray>> parts = {
            {"xl/workbook.xml", "<workbook xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/"
                                "relationships\"><sheets><sheet name=\"One\" sheetId=\"1\" r:id=\"rId1\"/>"
                                "</sheets></workbook>"},
            {"xl/_rels/workbook.xml.rels",
             "<Relationships><Relationship Id=\"rId1\" Type=\"x/worksheet\" Target=\"worksheets/sheet1.xml\"/>"
             "</Relationships>"},
            {"xl/worksheets/sheet1.xml", "<worksheet><sheetData>" + cells + "</sheetData></worksheet>"},
        };
        if (!shared.isEmpty())
            parts.push_back({"xl/sharedStrings.xml", "<sst>" + shared + "</sst>"});
        zip(name, parts);
    }
};

// The workbook as the application holds it: sheets read whole, cells set
// and read back, bytes written for a name.
class Book {
public:
    explicit Book(const QString& path)
    {
        if (!path.isEmpty() && !workbookfiles::ReadWorkbook(path, sheets_, error_))
            sheets_.assign(1, WorkbookSheet{"Sheet1", {}, {}, false});
    }
    QVariant getCell(int column, int row) const
    {
        const auto it = sheets_[0].cells.find({row, column});
        return it == sheets_[0].cells.end() ? QVariant() : it->second;
    }
    void setCell(int column, int row, const QVariant& value)
    {
        if (column >= 1 && column <= workbookfiles::kMaxColumns && row >= 1 && row <= workbookfiles::kMaxRows)
            sheets_[0].cells[{row, column}] = value;
    }
    bool save(const QString& path)
    {
        QByteArray bytes;
        if (!workbookfiles::WriteWorkbook(path, sheets_, 0, bytes, error_))
            return false;
        QFile f(path);
        return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
    }
    const QString& readError() const { return error_; }
    const QString& saveError() const { return error_; }
    int sheetCount() const { return static_cast<int>(sheets_.size()); }
    int lastRow() const { return sheets_[0].cells.empty() ? 0 : sheets_[0].cells.rbegin()->first.first; }

private:
    std::vector<WorkbookSheet> sheets_{WorkbookSheet{"Sheet1", {}, {}, false}};
    QString error_;
};

QString text(const Book& book, int column, int row) { return workbookfiles::CellText(book.getCell(column, row)); }

} // namespace

TEST(CellText, NumbersComeAsPlainDecimals)
{
    EXPECT_EQ(workbookfiles::CellText(12345678.0), "12345678");
    EXPECT_EQ(workbookfiles::CellText(0.5), "0.5");
    EXPECT_EQ(workbookfiles::CellText(12.1), "12.1");
    EXPECT_EQ(workbookfiles::CellText(1e20), "100000000000000000000");
    EXPECT_EQ(workbookfiles::CellText(-0.0), "0");
    EXPECT_EQ(workbookfiles::CellText(-3.25), "-3.25");
    EXPECT_EQ(workbookfiles::CellText(true), "TRUE");
    EXPECT_EQ(workbookfiles::CellText(QString(" 007 ")), " 007 ");
    EXPECT_EQ(workbookfiles::CellText(QVariant()), "");
}

TEST_F(Files, CsvKeepsEveryFieldAsWritten)
{
    Book book{QString()};
    const QStringList values = {"plain", "with, comma", "with \"quotes\"", "two\r\nlines", " 007 ", "1e5",
                                QString::fromUtf8("\xe4\xbc\xbd\xe7\x91\xaa"), "=1+1"};
    for (int c = 0; c < values.size(); ++c)
        book.setCell(c + 1, 1, values[c]);
    book.setCell(2, 3, 12.5);  // row 2 stays empty
    ASSERT_TRUE(book.save(path("out.csv")));
    EXPECT_TRUE(read("out.csv").startsWith("plain,\"with, comma\",\"with \"\"quotes\"\"\",\"two\r\nlines\", 007 ,"));

    Book back(path("out.csv"));
    ASSERT_TRUE(back.readError().isEmpty()) << back.readError().toStdString();
    for (int c = 0; c < values.size(); ++c)
        EXPECT_EQ(back.getCell(c + 1, 1), QVariant(values[c])) << c;
    EXPECT_FALSE(back.getCell(1, 2).isValid());
    EXPECT_EQ(back.getCell(2, 3), QVariant(QString("12.5"))) << "CSV fields are texts";
    EXPECT_EQ(back.lastRow(), 3);
}

TEST_F(Files, CsvLineEndsByteOrderMarkAndDamage)
{
    write("a.csv", "\xEF\xBB\xBF" "a,b\rc,\"d\"\ne");
    Book book(path("a.csv"));
    ASSERT_TRUE(book.readError().isEmpty());
    EXPECT_EQ(text(book, 1, 1), "a");
    EXPECT_EQ(text(book, 2, 1), "b");
    EXPECT_EQ(text(book, 2, 2), "d");
    EXPECT_EQ(text(book, 1, 3), "e");
    write("b.csv", "x,ab\"c\"\n");  // a quote inside an unquoted field is a character
    EXPECT_EQ(text(Book(path("b.csv")), 2, 1), "ab\"c\"");
    write("z.csv", "x\r\n\x1a\"never closed");  // the byte 26 ends the text
    EXPECT_EQ(Book(path("z.csv")).lastRow(), 1);

    for (const char* bad : {"\"open", "a,\"b\"c\n", "\"\"\"\n\"x"}) {
        SCOPED_TRACE(bad);
        write("bad.csv", bad);
        Book damaged(path("bad.csv"));
        EXPECT_FALSE(damaged.readError().isEmpty());
        EXPECT_FALSE(damaged.getCell(1, 1).isValid()) << "nothing of a damaged file is read";
    }
}

TEST_F(Files, XlsxRoundTripKeepsTypesAndSheets)
{
    Book book{QString()};
    book.setCell(1, 1, QString("Name"));
    book.setCell(2, 1, 12345678.0);
    book.setCell(3, 1, true);
    book.setCell(1, 2, QString::fromUtf8("\xe4\xbc\xbd & <tag>"));
    book.setCell(16384, 1048576, QString("corner"));
    book.setCell(16385, 1, QString("outside"));  // ignored
    ASSERT_TRUE(book.save(path("out.xlsx"))) << book.saveError().toStdString();

    Book back(path("out.xlsx"));
    ASSERT_TRUE(back.readError().isEmpty()) << back.readError().toStdString();
    EXPECT_EQ(back.getCell(1, 1), QVariant(QString("Name")));
    EXPECT_EQ(back.getCell(2, 1).typeId(), QMetaType::Double);
    EXPECT_EQ(text(back, 2, 1), "12345678");
    EXPECT_EQ(back.getCell(3, 1), QVariant(true));
    EXPECT_EQ(text(back, 1, 2), QString::fromUtf8("\xe4\xbc\xbd & <tag>"));
    EXPECT_EQ(text(back, 16384, 1048576), "corner");
    EXPECT_EQ(back.sheetCount(), 1);
}

TEST_F(Files, XlsxKeepsLineEndsControlCharactersAndUnderscores)
{
    // Control characters travel as "_xHHHH_" inside the file; a text that
    // merely looks like such an escape must come back as typed.
    const QString texts[] = {"Room 4\r\nSecond floor", QString("tab\there, bell\x07"), "literal _x0041_ and _x00zz_",
                             "ends in _x"};
    Book book{QString()};
    for (int i = 0; i < 4; ++i)
        book.setCell(1, i + 1, texts[i]);
    ASSERT_TRUE(book.save(path("escapes.xlsx"))) << book.saveError().toStdString();
    Book back(path("escapes.xlsx"));
    ASSERT_TRUE(back.readError().isEmpty()) << back.readError().toStdString();
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(text(back, 1, i + 1), texts[i]);

    // as a spreadsheet program writes them, in shared and inline texts
    xlsx("excel.xlsx",
         "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"inlineStr\"><is><t>x_x000D_y</t></is></c>"
         "</row>",
         "<si><t>line one_x000D_\nline two _x005F_x0041_</t></si>");
    Book excel(path("excel.xlsx"));
    ASSERT_TRUE(excel.readError().isEmpty()) << excel.readError().toStdString();
    EXPECT_EQ(text(excel, 1, 1), "line one\r\nline two _x0041_");
    EXPECT_EQ(text(excel, 2, 1), "x\ry");
}

TEST_F(Files, XlsxReaderTakesSharedInlineAndCachedValues)
{
    xlsx("ok.xlsx",
         "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>1</v></c><c t=\"inlineStr\"><is><t>inline</t></is></c>"
         "<c r=\"D1\" t=\"str\"><f>A1</f><v>cached</v></c><c><v>2.5</v></c></row>"
         "<row><c t=\"b\"><v>0</v></c></row>",
         "<si><t>zero</t></si><si><r><t>ri</t></r><rPh><t>X</t></rPh><r><t>ch</t></r></si>");
    Book book(path("ok.xlsx"));
    ASSERT_TRUE(book.readError().isEmpty()) << book.readError().toStdString();
    EXPECT_EQ(text(book, 1, 1), "rich");
    EXPECT_EQ(text(book, 2, 1), "inline");
    EXPECT_EQ(text(book, 4, 1), "cached");
    EXPECT_EQ(text(book, 5, 1), "2.5") << "a cell without address follows the one before";
    EXPECT_EQ(book.getCell(1, 2), QVariant(false));
}

TEST_F(Files, DamagedXlsxIsRefused)
{
    struct Case {
        const char* name;
        QByteArray cells, shared;
    } cases[] = {
        {"index.xlsx", "<row><c r=\"A1\" t=\"s\"><v>5</v></c></row>", "<si><t>only</t></si>"},
        {"negative.xlsx", "<row><c r=\"A1\" t=\"s\"><v>-1</v></c></row>", "<si><t>only</t></si>"},
        {"address.xlsx", "<row><c r=\"A0\"><v>1</v></c></row>", {}},
        {"wide.xlsx", "<row><c r=\"XFE1\"><v>1</v></c></row>", {}},
        {"deep.xlsx", "<row r=\"1048577\"><c><v>1</v></c></row>", {}},
        {"number.xlsx", "<row><c r=\"A1\"><v>12,5</v></c></row>", {}},
        {"xml.xlsx", "<row><c r=\"A1\"><v>1</c></row>", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        xlsx(c.name, c.cells, c.shared);
        Book book(path(c.name));
        EXPECT_FALSE(book.readError().isEmpty());
        EXPECT_FALSE(book.getCell(1, 1).isValid());
    }
    zip("nosheet.xlsx", {{"xl/workbook.xml", "<workbook><sheets/></workbook>"}});
    EXPECT_FALSE(Book(path("nosheet.xlsx")).readError().isEmpty());
    zip("escape.xlsx", {{"xl/workbook.xml", "<workbook><sheets><sheet name=\"a\" r:id=\"r1\" "
                                            "xmlns:r=\"urn:r\"/></sheets></workbook>"},
                        {"xl/_rels/workbook.xml.rels", "<Relationships><Relationship Id=\"r1\" Type=\"t\" "
                                                       "Target=\"../../../etc/passwd\"/></Relationships>"}});
    EXPECT_FALSE(Book(path("escape.xlsx")).readError().isEmpty());
    write("empty.xlsx", "");
    EXPECT_FALSE(Book(path("empty.xlsx")).readError().isEmpty());
}

namespace {

using Parts = std::vector<std::pair<QByteArray, QByteArray>>;

// A package of sheets named and related as given, each with its part
// worksheets/<name>.xml holding `cells` (a null `cells`: the relationship
// leads to no part); `styles` is the inside of the styles part.
struct SheetPart {
    QByteArray name, id, cells;
};
Parts package(const std::vector<SheetPart>& sheets, const QByteArray& workbookExtra = {},
              const QByteArray& styles = {})
{
    QByteArray list, rels;
    Parts parts;
    for (const SheetPart& s : sheets) {
        list += "<sheet name=\"" + s.name + "\" r:id=\"" + s.id + "\"/>";
        if (!s.id.isEmpty())
            rels += "<Relationship Id=\"" + s.id + "\" Type=\"x/worksheet\" Target=\"worksheets/" + s.name + ".xml\"/>";
        if (!s.cells.isNull())
            parts.push_back({"xl/worksheets/" + s.name + ".xml", "<worksheet><sheetData>" + s.cells + "</sheetData></worksheet>"});
    }
    if (!styles.isEmpty()) {
        rels += "<Relationship Id=\"rSt\" Type=\"x/styles\" Target=\"styles.xml\"/>";
        parts.push_back({"xl/styles.xml", "<styleSheet>" + styles + "</styleSheet>"});
    }
    parts.push_back({"xl/workbook.xml", "<workbook xmlns:r=\"urn:r\">" + workbookExtra + "<sheets>" + list +
                                            "</sheets></workbook>"});
    parts.push_back({"xl/_rels/workbook.xml.rels", "<Relationships>" + rels + "</Relationships>"});
    return parts;
}
Parts plus(Parts parts, const QByteArray& name, const QByteArray& bytes)
{
    parts.insert(parts.begin(), {name, bytes});
    return parts;
}

// Cell formats 1 to 7: built-in date, a date-and-time code, built-in time,
// "#,##0.00", elapsed hours, an exponent, a quoted text holding date letters.
// The style formats before them must not count.
const QByteArray kStyles =
    "<numFmts><numFmt numFmtId=\"164\" formatCode=\"yyyy-mm-dd hh:mm\"/><numFmt numFmtId=\"165\" "
    "formatCode=\"#,##0.00\"/><numFmt numFmtId=\"166\" formatCode=\"0.00E+00\"/><numFmt numFmtId=\"167\" "
    "formatCode=\"0.0&quot; days&quot;\"/></numFmts><cellStyleXfs><xf numFmtId=\"14\"/><xf numFmtId=\"14\"/>"
    "</cellStyleXfs><cellXfs><xf numFmtId=\"0\"/><xf numFmtId=\"14\"/><xf numFmtId=\"164\"/><xf numFmtId=\"21\"/>"
    "<xf numFmtId=\"165\"/><xf numFmtId=\"46\"/><xf numFmtId=\"166\"/><xf numFmtId=\"167\"/></cellXfs>";

QByteArray numberCell(const char* at, int style, const char* value, const char* type = "n")
{
    return QByteArray("<c r=\"") + at + "\" s=\"" + QByteArray::number(style) + "\" t=\"" + type + "\"><v>" + value +
           "</v></c>";
}

// Each cell ("B1": one letter and a row) of the sheet holds its text; "" is an empty cell.
void expectCells(const WorkbookSheet& sheet, const std::vector<std::pair<const char*, const char*>>& cells)
{
    for (const auto& [ref, text] : cells) {
        const auto at = sheet.cells.find({std::atoi(ref + 1), ref[0] - 'A' + 1});
        EXPECT_EQ(at == sheet.cells.end() ? QString() : workbookfiles::CellText(at->second), text) << ref;
    }
}

} // namespace

// Workbooks as other programs write them: each is read (sheet names listed)
// or refused (no names), and the first sheet's cells hold the texts given.
TEST_F(Files, XlsxAsOtherProgramsWriteIt)
{
    const QByteArray one = "<row><c r=\"A1\"><v>1</v></c></row>";
    const QByteArray doctype = "<!DOCTYPE w [<!ENTITY a \"\"><!ENTITY b \"&a;&a;&a;&a;\">]>"
                               "<worksheet><sheetData><row><c r=\"A1\" t=\"str\"><v>&b;</v></c></row></sheetData>"
                               "</worksheet>";
    const struct {
        const char* what;
        Parts parts;
        QStringList sheets;
        std::vector<std::pair<const char*, const char*>> cells;
        int active = 0;  // the sheet marked active, -1 for none
    } cases[] = {
        {"empty value, formula without cached value",
         package({{"One", "r1", "<row><c r=\"A1\"><v></v></c><c r=\"B1\"><f>1+2</f><v></v></c><c r=\"C1\"><v>7</v>"
                                "</c></row>"}}),
         {"One"},
         {{"A1", ""}, {"B1", ""}, {"C1", "7"}}},
        {"dates and times by their format",
         package({{"One", "r1",
                   "<row>" + numberCell("A1", 1, "46096") + numberCell("B1", 2, "46096.604166666664") +
                       numberCell("C1", 3, "0.3784722222222222") + numberCell("D1", 4, "1234.5") +
                       numberCell("E1", 5, "1.5") + numberCell("F1", 6, "12345") + numberCell("G1", 7, "2.5") +
                       numberCell("H1", 1, "60") + numberCell("I1", 1, "-1") + "</row><row>" +
                       numberCell("A2", 1, "2026-03-15T14:30:00Z", "d") + numberCell("B2", 0, "2026-03-15", "d") +
                       numberCell("C2", 2, "2026-03-15T14:30:00.7", "d") + numberCell("D2", 3, "09:05:00", "d") +
                       "</row>"}},
                 {}, kStyles),
         {"One"},
         {{"A1", "2026-03-15"}, {"B1", "2026-03-15 14:30:00"}, {"C1", "9:05:00"}, {"D1", "1234.5"}, {"E1", "36:00:00"},
          {"F1", "12345"}, {"G1", "2.5"}, {"H1", "1900-02-29"}, {"I1", "-1"}, {"A2", "2026-03-15"}, {"B2", "46096"},
          {"C2", "2026-03-15 14:30:01"}, {"D2", "9:05:00"}}},
        {"the 1904 date system",
         package({{"One", "r1",
                   "<row>" + numberCell("A1", 1, "0") + numberCell("B1", 1, "2026-03-15", "d") +
                       numberCell("C1", 0, "2026-03-15", "d") + "</row>"}},
                 "<workbookPr date1904=\"1\"/>", kStyles),
         {"One"},
         {{"A1", "1904-01-01"}, {"B1", "2026-03-15"}, {"C1", "44634"}}},
        {"dates no date system counts",
         package({{"One", "r1", "<row>" + numberCell("A1", 1, "1899-12-31", "d") + numberCell("B1", 1, "15.3.2026", "d") +
                                    "</row>"}}),
         {"One"},
         {{"A1", "1899-12-31"}, {"B1", "15.3.2026"}}},
        {"sheets whose relationship leads nowhere are left out",
         package({{"Lost", "", one}, {"Two", "r2", "<row><c r=\"B1\"><v>2</v></c></row>"}, {"Gone", "r3", {}}},
                 "<bookViews><workbookView activeTab=\"0\"/></bookViews>"),
         {"Two"},
         {{"B1", "2"}},
         -1},
        {"no sheet left", package({{"Lost", "", one}, {"Gone", "r3", {}}}), {}, {}},
        {"a document type declaration", plus(package({{"One", "r1", {}}}), "xl/worksheets/One.xml", doctype), {}, {}},
        {"two entries of one name",
         plus(package({{"One", "r1", one}}), "xl/worksheets/One.xml", "<worksheet><sheetData/></worksheet>"), {}, {}},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QString name = QString("compat%1.xlsx").arg(++n);
        zip(name, c.parts);
        std::vector<WorkbookSheet> sheets;
        QString error;
        EXPECT_EQ(workbookfiles::ReadWorkbook(path(name), sheets, error), !c.sheets.isEmpty()) << error.toStdString();
        QStringList names;
        for (const WorkbookSheet& s : sheets) {
            EXPECT_EQ(s.active, names.size() == c.active) << s.name.toStdString();
            names << s.name;
        }
        EXPECT_EQ(names, c.sheets);
        if (!sheets.empty())
            expectCells(sheets[0], c.cells);
    }
}

TEST_F(Files, XlsTextsSplitAcrossRecordsAndNumbersOfEveryForm)
{
    // enough long, unique texts that the shared-text table spans many
    // CONTINUE records, in one-byte and two-byte form
    QProcess p;
    p.start("/usr/bin/python3",
            {"-c",
             "import sys, xlwt\nwb = xlwt.Workbook(); ws = wb.add_sheet(u'Kontakte \\u4e00')\n"
             "for r in range(600):\n"
             "  ws.write(r, 0, (u'caf\\xe9 %d ' % r) * (1 + r % 7) + (u'\\u4f3d\\u746a' * (r % 3)))\n"
             "  ws.write(r, 1, [r, -r * 1000003, r / 8.0, 1e15 + r, 0.1 * r][r % 5])\n"
             "ws.write(600, 0, True)\n"
             "wb.save(sys.argv[1])",
             path("long.xls")});
    ASSERT_TRUE(p.waitForFinished(60000) && p.exitCode() == 0) << p.readAllStandardError().toStdString();
    Book book(path("long.xls"));
    ASSERT_TRUE(book.readError().isEmpty()) << book.readError().toStdString();
    for (int r = 0; r < 600; ++r) {
        QString expected = QString::fromUtf8("caf\xc3\xa9 %1 ").arg(r).repeated(1 + r % 7) +
                           QString::fromUtf8("\xe4\xbc\xbd\xe7\x91\xaa").repeated(r % 3);
        ASSERT_EQ(text(book, 1, r + 1), expected) << "row " << r + 1;
        const double numbers[] = {double(r), -r * 1000003.0, r / 8.0, 1e15 + r, 0.1 * r};
        ASSERT_EQ(book.getCell(2, r + 1).toDouble(), numbers[r % 5]) << "row " << r + 1;
    }
    EXPECT_EQ(book.getCell(1, 601), QVariant(true));
}

namespace {

void put16(QByteArray& b, qsizetype at, uint16_t v)
{
    b[at] = char(v & 0xFF);
    b[at + 1] = char(v >> 8);
}
void put32(QByteArray& b, qsizetype at, uint32_t v)
{
    put16(b, at, uint16_t(v & 0xFFFF));
    put16(b, at + 2, uint16_t(v >> 16));
}
QByteArray record(uint16_t type, const QByteArray& data)
{
    QByteArray r(4, '\0');
    put16(r, 0, type);
    put16(r, 2, uint16_t(data.size()));
    return r + data;
}

// Little-endian 16-bit values, then a number, then bytes.
QByteArray le(std::initializer_list<int> words, std::optional<double> number = {}, const QByteArray& tail = {})
{
    QByteArray b(2 * qsizetype(words.size()), '\0');
    qsizetype at = 0;
    for (const int w : words)
        put16(b, (at += 2) - 2, uint16_t(w));
    if (number)
        b.append(reinterpret_cast<const char*>(&*number), 8);
    return b + tail;
}
QByteArray number(int row, int column, int format, double value)
{
    return record(0x0203, le({row, column, format}, value));
}
// A formula's record (under the id given) with its cached number and no tokens.
QByteArray formula(uint16_t id, int row, int column, double value)
{
    return record(id, le({row, column, 0}, value, QByteArray(8, '\0')));
}
QByteArray label(int row, int column, const QByteArray& text)
{
    return record(0x0204, le({row, column, 0, int(text.size())}, {}, '\0' + text));
}
QByteArray format(int id, const QByteArray& code) { return record(0x041E, le({id, int(code.size())}, {}, '\0' + code)); }
QByteArray cellFormat(int formatId) { return record(0x00E0, le({0, formatId}, {}, QByteArray(16, '\0'))); }
QByteArray bof(int kind) { return record(0x0809, le({0x0600, kind}, {}, QByteArray(12, '\0'))); }

// The "Workbook" stream: the globals (with `globals` inside) and one sheet "S"
// holding `cells`.
QByteArray biff(const QByteArray& globals, const QByteArray& cells)
{
    QByteArray boundSheet(6, '\0');
    boundSheet += QByteArray("\x01\x00S", 3);
    const qsizetype sheetAt = bof(0x0005).size() + globals.size() + record(0x0085, boundSheet).size() + 4;
    put32(boundSheet, 0, uint32_t(sheetAt));
    return bof(0x0005) + globals + record(0x0085, boundSheet) + record(0x000A, {}) + bof(0x0010) + cells +
           record(0x000A, {});
}

// A compound document of 2^shift-byte sectors holding `stream` as its
// "Workbook": the header sector, then sector 0 (the sector table), 1 (the
// directory) and the stream's sectors, the stream padded to 4096 bytes at
// least so that it lives outside the mini stream.
QByteArray compound(QByteArray stream, int shift)
{
    const int sector = 1 << shift;
    stream.append(std::max<qsizetype>(4096, (stream.size() + sector - 1) / sector * sector) - stream.size(), '\0');
    const int streamSectors = int(stream.size() / sector);
    QByteArray file(3 * sector, '\0');
    file.replace(0, 8, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1");
    put16(file, 24, 0x003E);
    put16(file, 26, shift == 12 ? 4 : 3);
    put16(file, 28, 0xFFFE);
    put16(file, 30, uint16_t(shift));
    put16(file, 32, 6);
    put32(file, 44, 1);           // sector-table sectors
    put32(file, 48, 1);           // first directory sector
    put32(file, 56, 4096);        // mini-stream cutoff
    put32(file, 60, 0xFFFFFFFE);  // no mini sector table
    put32(file, 68, 0xFFFFFFFE);  // no further sector-table list
    for (int i = 0; i < 109; ++i)
        put32(file, 76 + 4 * i, i == 0 ? 0 : 0xFFFFFFFF);
    for (int i = 0; i < sector / 4; ++i)
        put32(file, sector + 4 * i,
              i == 0 ? 0xFFFFFFFD : i == 1 || i == streamSectors + 1 ? 0xFFFFFFFE : i <= streamSectors ? i + 1 : 0xFFFFFFFF);
    auto entry = [&](int index, const QString& name, int type, uint32_t start, uint32_t size) {
        const qsizetype at = 2 * sector + 128 * index;
        for (qsizetype i = 0; i < name.size(); ++i)
            put16(file, at + 2 * i, name[i].unicode());
        put16(file, at + 64, uint16_t(2 * name.size() + 2));
        file[at + 66] = char(type);
        put32(file, at + 68, 0xFFFFFFFF);
        put32(file, at + 72, 0xFFFFFFFF);
        put32(file, at + 76, index == 0 ? 1 : 0xFFFFFFFF);
        put32(file, at + 116, start);
        put32(file, at + 120, size);
    };
    entry(0, "Root Entry", 5, 0xFFFFFFFE, 0);
    entry(1, "Workbook", 2, 2, uint32_t(stream.size()));
    return file + stream;
}

} // namespace

// .xls files as other programs write them, each built record by record.
TEST_F(Files, XlsAsOtherProgramsWriteIt)
{
    // cell formats 0 to 3: general, built-in date, a date-and-time code, built-in time
    const QByteArray dateFormats = format(164, "yyyy\\-mm\\-dd hh:mm:ss") + cellFormat(0) + cellFormat(14) +
                                   cellFormat(164) + cellFormat(21);
    const QByteArray chart = bof(0x0020) + number(0, 0, 0, 99) + number(0, 5, 0, 98) + record(0x000A, {});
    const struct {
        const char* what;
        QByteArray globals, cells;
        int shift, cut;  // sector size, bytes cut off the file's end
        std::vector<std::pair<const char*, const char*>> expected;
    } cases[] = {
        {"4096-byte sectors", {}, label(0, 0, "hello") + number(1, 1, 0, 2.5), 12, 0, {{"A1", "hello"}, {"B2", "2.5"}}},
        {"a chart inside the sheet", {}, label(0, 0, "text") + chart + number(1, 1, 0, 2.5), 9, 0,
         {{"A1", "text"}, {"F1", ""}, {"B2", "2.5"}}},
        {"a short last sector", {}, label(0, 0, "hello"), 9, 200, {{"A1", "hello"}}},
        {"the older formula id", {}, formula(0x0406, 0, 0, 3) + formula(0x0006, 0, 1, 4), 9, 0, {{"A1", "3"}, {"B1", "4"}}},
        {"dates and times by their format", dateFormats,
         number(0, 0, 1, 46096) + number(0, 1, 2, 46096.604166666664) + number(0, 2, 3, 0.3784722222222222) +
             number(0, 3, 0, 46096),
         9, 0, {{"A1", "2026-03-15"}, {"B1", "2026-03-15 14:30:00"}, {"C1", "9:05:00"}, {"D1", "46096"}}},
        {"the 1904 date system", record(0x0022, le({1})) + dateFormats, number(0, 0, 1, 0), 9, 0, {{"A1", "1904-01-01"}}},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QString name = QString("compat%1.xls").arg(++n);
        QByteArray file = compound(biff(c.globals, c.cells), c.shift);
        file.chop(c.cut);
        write(name, file);
        std::vector<WorkbookSheet> sheets;
        QString error;
        ASSERT_TRUE(workbookfiles::ReadWorkbook(path(name), sheets, error)) << error.toStdString();
        expectCells(sheets[0], c.expected);
    }
}

TEST_F(Files, FlippedBytesNeverCrashTheReaders)
{
    Book book{QString()};
    for (int r = 1; r <= 30; ++r)
        for (int c = 1; c <= 12; ++c)
            book.setCell(c, r, c == 12 ? QVariant(r * 1.5) : QVariant(QString("cell %1 %2").arg(r).arg(c)));
    ASSERT_TRUE(book.save(path("good.xlsx")));
    ASSERT_TRUE(book.save(path("good.csv")));
    QProcess p;
    p.start("/usr/bin/python3", {"-c",
                                 "import sys, xlwt\nwb = xlwt.Workbook(); ws = wb.add_sheet('S')\n"
                                 "d = xlwt.easyxf(num_format_str='YYYY-MM-DD hh:mm')\n"
                                 "for r in range(30):\n  for c in range(12): ws.write(r, c, r * c if c % 2 else 'x%d' % r, *([d] if c == 3 else []))\n"
                                 "wb.save(sys.argv[1])",
                                 path("good.xls")});
    ASSERT_TRUE(p.waitForFinished(60000) && p.exitCode() == 0) << p.readAllStandardError().toStdString();
    zip("good.dates.xlsx", package({{"One", "r1", "<row>" + numberCell("A1", 1, "46096") + numberCell("B1", 2, "2026-03-15", "d") +
                                                      numberCell("C1", 5, "1.5") + "</row>"}},
                                   "<workbookPr date1904=\"1\"/>", kStyles));
    std::mt19937 random(20261207);
    for (const char* name : {"good.xlsx", "good.xls", "good.csv", "good.dates.xlsx"}) {
        const QByteArray good = read(name);
        ASSERT_FALSE(good.isEmpty()) << name;
        Book whole(path(name));
        EXPECT_TRUE(whole.readError().isEmpty()) << name << ": " << whole.readError().toStdString();
        EXPECT_EQ(text(whole, 1, 1).isEmpty(), false) << name;
        const QString ending = QString(name).mid(4);
        for (int round = 0; round < 150; ++round) {
            QByteArray bad = good;
            const int flips = 1 + static_cast<int>(random() % 8);
            for (int i = 0; i < flips; ++i)
                bad[static_cast<qsizetype>(random() % bad.size())] = static_cast<char>(random());
            if (round % 5 == 0)
                bad.truncate(static_cast<qsizetype>(random() % bad.size()));
            write("bad" + ending, bad);
            Book damaged(path("bad" + ending));  // must simply finish
            if (!damaged.readError().isEmpty()) {
                EXPECT_FALSE(damaged.getCell(1, 1).isValid());
            }
        }
    }
}

