// The list grid's HTML table: the exact lines written for the table, links,
// line breaks, merges, colours and fonts, the header row, escaping of plain
// texts, header and footer files and appending.
#include "../scratch_files.h"
#include "grid/listgrid.h"

#include <QDir>
#include <QProcess>

using namespace grid;

namespace {

class GridHtml : public ScratchFiles {
protected:
    GridHtml()
    {
        g.SetColCountEx(3);
        g.SetRowCountEx(3);
        g.SetFixedCols(1);
        g.SetFixedRows(1);
    }
    // The lines written for the grid.
    QStringList html()
    {
        g.SaveToHTML(path("t.html"));
        return QString::fromUtf8(read("t.html")).split(QStringLiteral("\r\n"));
    }
    // The line of body cell (1, 1).
    QString cell(const std::string& text)
    {
        g.SetCells(1, 1, text);
        const QStringList lines = html();
        return lines[lines.indexOf("<tr>") + 1];
    }

    RIvuZuvuzoZuvu g;
};

}  // namespace

TEST_F(GridHtml, TableLinesAndStyle)
{
    QStringList lines = html();
    EXPECT_EQ(lines[0], R"(<table border="1" cellspacing="0" cellpadding="0" Width="100%">)");
    EXPECT_EQ(lines.mid(1, 4), (QStringList{"<tr>", lines[2], lines[3], "</tr>"}));
    EXPECT_EQ(lines.size(), 1 + 2 * 4 + 2);
    EXPECT_EQ(lines[9], "</table><p>");
    g.HTMLSettings->TableStyle = QString("class=x");
    g.HTMLSettings->PrefixTag = QString("<body>");
    g.HTMLSettings->SuffixTag = QString("</body>");
    lines = html();
    EXPECT_EQ(lines[0], "<body>");
    EXPECT_EQ(lines[1], R"(<table border="1" cellspacing="0" cellpadding="0" Width="100%" class=x >)");
    EXPECT_EQ(lines[11], "</body>");
}

TEST_F(GridHtml, LinksBreaksAndEscapes)
{
    g.HTMLSettings->SaveColor = false;
    const QString plain = "<td nowrap>%1</td>";
    g.SetURLShow(true);
    g.SetURLFull(false);
    EXPECT_EQ(cell("http://b/c"), plain.arg(R"(<A HREF="http://b/c">b/c</A>)"));
    EXPECT_EQ(cell("mailto:joe@x.org"), plain.arg(R"(<A HREF="mailto:joe@x.org">joe@x.org</A>)"));
    EXPECT_EQ(cell("javascript://x"), plain.arg("javascript://x"));
    EXPECT_EQ(cell("file:///etc/passwd"), plain.arg("file:///etc/passwd"));
    EXPECT_EQ(cell("<b>http://x</b>"), plain.arg("<b>http://x</b>")) << "an HTML cell is never linked";
    EXPECT_EQ(cell("http://x/?a=\"1\"&b=<2>"),
              plain.arg(R"(<A HREF="http://x/?a=&quot;1&quot;&amp;b=&lt;2&gt;">x/?a="1"&amp;b=&lt;2&gt;</A>)"));
    EXPECT_EQ(cell("http://x/ onmouseover=alert(1)"), plain.arg("http://x/ onmouseover=alert(1)"));
    QProcess lint;  // every attribute of that page is one the grid writes
    lint.start("xmllint", {"--html", "--xpath", "count(//@*[not(contains(' border cellspacing cellpadding width nowrap "
                           "bgcolor color href ', concat(' ', name(), ' ')))])", path("t.html")});
    ASSERT_TRUE(lint.waitForFinished(30000));
    EXPECT_EQ(lint.exitCode(), 0) << lint.readAllStandardError().toStdString();
    EXPECT_EQ(lint.readAllStandardOutput().trimmed(), "0");
    EXPECT_EQ(cell("http://x/\r\ny"), plain.arg("http://x/<br>\ny"));
    g.SetURLFull(true);
    EXPECT_EQ(cell("http://b/c"), plain.arg(R"(<A HREF="http://b/c">http://b/c</A>)"));
    g.SetURLShow(false);
    EXPECT_EQ(cell("http://b/c"), plain.arg("http://b/c"));
    EXPECT_EQ(cell(""), plain.arg("<br>"));
    EXPECT_EQ(cell("a\r\nb"), plain.arg("a<br>\nb"));
    EXPECT_EQ(cell("a<b & c"), plain.arg("a&lt;b &amp; c"));
    g.EnableHTML = false;
    EXPECT_EQ(cell("Tom </ Jerry"), plain.arg("Tom &lt;/ Jerry"));
    EXPECT_EQ(cell("<b>x</b>"), plain.arg("&lt;b&gt;x&lt;/b&gt;"));
    g.EnableHTML = true;
    EXPECT_EQ(cell("<b>x</b>"), plain.arg("<b>x</b>"));
}

TEST_F(GridHtml, MergesColoursFontsAndHeaderRow)
{
    g.SetColCountEx(4);
    g.SetRowCountEx(4);
    g.MergeCells(1, 1, 2, 2);
    g.OnGetCellPrintColor = [](RIvuZuvuzoZuvu*, int ARow, int ACol, platform::GridDrawState, platform::Brush& B,
                               platform::Font& F) {
        if (ACol == 3 && ARow == 3) {
            F.Color = platform::clRed;
            F.Style = platform::fsBold | platform::fsUnderline;
            B.SetColor(platform::clYellow);
        }
    };
    QStringList lines = html();
    const QStringList spans = lines.filter("COLSPAN");
    ASSERT_EQ(spans.size(), 1);
    EXPECT_TRUE(spans[0].startsWith("<td COLSPAN=2 ROWSPAN=2 nowrap")) << spans[0].toStdString();
    EXPECT_EQ(lines.size(), 1 + (2 + 2) + (2 + 1) + (2 + 3) + 2) << "nothing for the covered cells";
    EXPECT_TRUE(lines.contains(R"(<td nowrap BGCOLOR="#FFFF00"><Font Color="#FF0000"><B><U><br></U></B></Font></td>)"));
    g.HTMLSettings->SaveFonts = false;
    lines = html();
    EXPECT_TRUE(lines.contains(R"(<td nowrap BGCOLOR="#FFFF00"><Font Color="#FF0000"><br></Font></td>)"));

    g.IncludeFixedCells = true;
    g.HTMLSettings->ColWidths.Add(64);
    g.SetCells(0, 0, "H");
    lines = html();
    EXPECT_TRUE(lines[2].startsWith("<td nowrap BGCOLOR=\"#") && lines[2].endsWith("\" WIDTH=64><B>H</B></td>"))
        << lines[2].toStdString();
    EXPECT_EQ(lines.filter("WIDTH").size(), 1);
}

TEST_F(GridHtml, HeaderFooterAndAppending)
{
    write("head.txt", "<html>\n<body>");
    g.HTMLSettings->HeaderFile = path("head.txt");
    g.HTMLSettings->FooterFile = path("missing.txt");
    QStringList lines = html();
    EXPECT_EQ(lines.mid(0, 2), (QStringList{"<html>", "<body>"}));
    EXPECT_EQ(lines.last(2), (QStringList{"</table><p>", ""}));
    g.HTMLSettings->FooterFile = scratch.path();  // a folder is skipped
    g.HTMLSettings->HeaderFile = QString();
    write("t.html", "old\r\n");
    g.AppendToHTML(path("t.html"));
    lines = QString::fromUtf8(read("t.html")).split(QStringLiteral("\r\n"));
    EXPECT_EQ(lines[0], "old");
    EXPECT_TRUE(lines[1].startsWith("<table"));
}
