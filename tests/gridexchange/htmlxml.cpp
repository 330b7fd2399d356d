// The HTML table and the flat XML document over a table in memory: the table's
// lines and style, links, line breaks and escapes of the cell texts, the XML
// lines, field names, texts that XML could not carry as they are, and names
// that are no XML names.
#include "../scratch_files.h"
#include "grid/exchange/htmlxml.h"
#include "memorytable.h"

#include <QProcess>

#include <array>

using namespace grid::exchange;

namespace {

QStringList lines(const QByteArray& Bytes) { return QString::fromUtf8(Bytes).split(QStringLiteral("\r\n")); }

QStringList html(const MemoryTable& T, const HtmlOptions& O = {})
{
    QByteArray out;
    WriteHtml(T, [](int, int) { return HtmlLook{}; }, O, out);
    return lines(out);
}

}  // namespace

TEST(Html, TableLinesAndStyle)
{
    MemoryTable t(3, 3);
    t.fixedCols = t.fixedRows = 1;
    HtmlOptions o;
    QStringList l = html(t, o);
    EXPECT_EQ(l[0], R"(<table border="1" cellspacing="0" cellpadding="0" Width="100%">)");
    EXPECT_EQ(l.mid(1, 4), (QStringList{"<tr>", "<td><br></td>", "<td><br></td>", "</tr>"}));
    EXPECT_EQ(l.size(), 1 + 2 * 4 + 2);
    EXPECT_EQ(l[9], "</table><p>");
    o.Style = "class=x";
    o.Prefix = "<body>";
    o.Suffix = "</body>";
    l = html(t, o);
    EXPECT_EQ(l[0], "<body>");
    EXPECT_EQ(l[1], R"(<table border="1" cellspacing="0" cellpadding="0" Width="100%" class=x >)");
    EXPECT_EQ(l[11], "</body>");
}

TEST_F(ScratchFiles, HtmlLinksBreaksAndEscapes)
{
    HtmlOptions o;
    o.URLShow = true;
    auto cell = [&](const std::string& Raw) { return HtmlCellText(Raw, o); };
    EXPECT_EQ(cell("http://b/c"), R"(<A HREF="http://b/c">b/c</A>)");
    EXPECT_EQ(cell("mailto:joe@x.org"), R"(<A HREF="mailto:joe@x.org">joe@x.org</A>)");
    EXPECT_EQ(cell("javascript://x"), "javascript://x");
    EXPECT_EQ(cell("file:///etc/passwd"), "file:///etc/passwd");
    EXPECT_EQ(cell("<b>http://x</b>"), "<b>http://x</b>") << "an HTML cell is never linked";
    EXPECT_EQ(cell("http://x/?a=\"1\"&b=<2>"),
              R"(<A HREF="http://x/?a=&quot;1&quot;&amp;b=&lt;2&gt;">x/?a="1"&amp;b=&lt;2&gt;</A>)");
    EXPECT_EQ(cell("http://x/ onmouseover=alert(1)"), "http://x/ onmouseover=alert(1)");
    MemoryTable t(std::vector<MemoryTable::Row>{{"http://x/?a=\"1\"&b=<2>", "http://x/ onmouseover=alert(1)"}});
    QByteArray page;
    WriteHtml(t, [](int, int) { return HtmlLook{}; }, o, page);
    write("t.html", page);
    QProcess lint;  // every attribute of that page is one the table writes
    lint.start("xmllint", {"--html", "--xpath", "count(//@*[not(contains(' border cellspacing cellpadding width nowrap "
                           "bgcolor color href ', concat(' ', name(), ' ')))])", path("t.html")});
    ASSERT_TRUE(lint.waitForFinished(30000));
    EXPECT_EQ(lint.exitCode(), 0) << lint.readAllStandardError().toStdString();
    EXPECT_EQ(lint.readAllStandardOutput().trimmed(), "0");
    EXPECT_EQ(cell("http://x/\r\ny"), "http://x/<br>\ny");
    o.URLFull = true;
    EXPECT_EQ(cell("http://b/c"), R"(<A HREF="http://b/c">http://b/c</A>)");
    o.URLShow = false;
    EXPECT_EQ(cell("http://b/c"), "http://b/c");
    EXPECT_EQ(cell(""), "<br>");
    EXPECT_EQ(cell("a\r\nb"), "a<br>\nb");
    EXPECT_EQ(cell("a<b & c"), "a&lt;b &amp; c");
    o.EnableHTML = false;
    EXPECT_EQ(cell("Tom </ Jerry"), "Tom &lt;/ Jerry");
    EXPECT_EQ(cell("<b>x</b>"), "&lt;b&gt;x&lt;/b&gt;");
    o.EnableHTML = true;
    EXPECT_EQ(cell("<b>x</b>"), "<b>x</b>");
}

TEST_F(ScratchFiles, XmlLinesNamesAndWellFormedness)
{
    MemoryTable t({{"1", "a"}, {"2", "b&c"}});
    auto xml = [&](const QString& List, const QString& Rec, const QStringList* Fields) {
        QByteArray out;
        return WriteXml(t, t.All(), List, Rec, Fields, out) ? out : QByteArray("refused");
    };
    EXPECT_EQ(xml("list", "rec", nullptr),
              QByteArray("<?xml version=\"1.0\"?>\r\n<list>\r\n<rec>\r\n<FIELD0>1</FIELD0>\r\n"
                         "<FIELD1>a</FIELD1>\r\n</rec>\r\n<rec>\r\n<FIELD0>2</FIELD0>\r\n"
                         "<FIELD1>b&amp;c</FIELD1>\r\n</rec>\r\n</list>\r\n"));
    const QStringList names = {"id", "name"};
    EXPECT_TRUE(xml("list", "rec", &names).contains("<id>1</id>\r\n<name>a</name>"));

    t.SetText(1, 1, std::string("x\x01y <x> \xff \r\n z"));
    const QStringList named = {"Stra\u00dfe", "_x-1.2\u00b7"};
    write("l.xml", xml("list", "rec", &named));
    QProcess lint;
    lint.start("xmllint", {"--noout", path("l.xml")});
    ASSERT_TRUE(lint.waitForFinished(30000));
    EXPECT_EQ(lint.exitCode(), 0) << lint.readAllStandardError().toStdString();

    // names no XML parser reads are refused
    for (const auto& [list, rec, field] : std::vector<std::array<QString, 3>>{
             {"First list", "rec", "id"}, {"list", "", "id"}, {"list", "rec", "1st"}, {"list", "a:b", "id"},
             {"list", "rec", "a<b"}, {"l\u00d7", "rec", "id"}}) {
        const QStringList fields = {"id", field};
        EXPECT_EQ(xml(list, rec, &fields), "refused") << field.toStdString();
    }
}
