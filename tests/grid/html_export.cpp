// The list grid's HTML table (the table's lines and the cell texts are tested
// in gridexchange_htmlxml): the grid's settings reach the format, merges,
// colours and fonts, the header row, header and footer files and appending.
#include "../scratch_files.h"
#include "grid/listgrid.h"

#include <QDir>

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

TEST_F(GridHtml, SettingsAndSwitchesReachTheTable)
{
    g.HTMLSettings->SaveColor = false;
    g.HTMLSettings->TableStyle = QString("class=x");
    g.HTMLSettings->PrefixTag = QString("<body>");
    g.SetURLShow(true);
    EXPECT_EQ(cell("http://b/c"), R"(<td nowrap><A HREF="http://b/c">b/c</A></td>)");
    EXPECT_EQ(html()[1], R"(<table border="1" cellspacing="0" cellpadding="0" Width="100%" class=x >)");
    g.EnableHTML = false;
    EXPECT_EQ(cell("<b>x</b>"), "<td nowrap>&lt;b&gt;x&lt;/b&gt;</td>");
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
