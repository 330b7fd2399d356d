// The list grid as an HTML table and as a flat XML document (export only).
//
// HTML: the HTMLSettings' prefix line, "<table border=.. cellspacing=..
// cellpadding=.. Width=..%" (then the TableStyle text between blanks) ">",
// with IncludeFixedCells and fixed rows a header row of bold cells on the
// active-border colour (with the ColWidths as WIDTH), then one "<tr>" line,
// a line per cell and "</tr>" per row, "</table><p>" and the suffix line.
// Merged ranges give COLSPAN and ROWSPAN on their base cell and nothing for
// the covered cells; cells carry their print colours and font styles. Plain
// texts have "&", "<" and ">" escaped; HTML cells are written as they are.
// Line breaks become "<br>", an empty cell "<br>". http, https, ftp and
// mailto addresses without blanks or line breaks become links with URLShow,
// the link target quoted with "&", "<", ">" and '"' escaped. The header and
// footer files are copied around the document when they can be read. Lines
// end in CR LF; the document is UTF-8.
//
// XML: <?xml version="1.0"?>, <list>, then per saved row <record> with one
// element per saved column (the field names given, else FIELD0, FIELD1, ...)
// and </record>, then </list>; texts are escaped and characters that XML 1.0
// cannot carry are left out. A list, record or field name that is no XML
// name (or holds a colon) is refused.
#include "grid/listgrid.h"

#include "grid/gridfileio.h"
#include "grid/vurirod.h"
#include "platform/color.h"
#include "platform/shell.h"

#include <algorithm>

namespace grid {

namespace {

std::string escaped(const std::string& S)
{
    std::string out;
    out.reserve(S.size());
    for (const char c : S) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string colorAttribute(TColor Color)
{
    return " BGCOLOR=\"#" + HTMLColor(platform::ColorToRGB(Color)) + "\"";
}

// "<A HREF="target">shown</A>": the target is the cell's text, escaped and
// quoted; shown is the written text after the marker (or the whole of it).
std::string link(const std::string& Raw, const std::string& Text, const std::string& Marker, bool Full)
{
    const std::string shown = Full ? Text : Text.substr(Text.find(Marker) + Marker.size(), 255);
    return "<A HREF=\"" + QString::fromStdString(Raw).toHtmlEscaped().toStdString() + "\">" + shown + "</A>";
}

// An XML 1.0 name without a colon (a colon would name a namespace).
bool isXmlName(const QString& Name)
{
    struct Range {
        char32_t from, to;
    };
    static constexpr Range kStart[] = {{'A', 'Z'},         {'_', '_'},         {'a', 'z'},         {0xC0, 0xD6},
                                       {0xD8, 0xF6},       {0xF8, 0x2FF},      {0x370, 0x37D},     {0x37F, 0x1FFF},
                                       {0x200C, 0x200D},   {0x2070, 0x218F},   {0x2C00, 0x2FEF},   {0x3001, 0xD7FF},
                                       {0xF900, 0xFDCF},   {0xFDF0, 0xFFFD},   {0x10000, 0xEFFFF}};
    static constexpr Range kMore[] = {{'-', '-'}, {'.', '.'}, {'0', '9'}, {0xB7, 0xB7}, {0x300, 0x36F}, {0x203F, 0x2040}};
    auto in = [](char32_t C, const auto& Ranges) {
        return std::any_of(std::begin(Ranges), std::end(Ranges), [C](Range R) { return C >= R.from && C <= R.to; });
    };
    const QList<uint> chars = Name.toUcs4();
    if (chars.isEmpty() || !in(chars.front(), kStart))
        return false;
    return std::all_of(chars.begin() + 1, chars.end(), [&](char32_t C) { return in(C, kStart) || in(C, kMore); });
}

}  // namespace

void RIvuZuvuzoZuvu::OutputToHTML(const QString& FileName, bool Append)
{
    const THTMLSettings& settings = *HTMLSettings;
    const int colOffset = IncludeFixedCells ? 0 : FixedCols();
    int rowOffset = IncludeFixedCells ? 0 : FixedRows();
    const std::string nowrap = WordWrap() ? "" : " nowrap";
    const std::string fixedColor = colorAttribute(platform::clActiveBorder);

    // a cell's text as it goes into the table
    auto cellText = [&](int ACol, int ARow) {
        const std::string raw = SaveCell(RemapCol(ACol), ARow);
        std::string text = TextType(raw, EnableHTML) == ttHTML ? raw : escaped(raw);
        text = HTMLLineBreaks(text);
        // a text with a blank or a line break is no address
        if (URLShow() && raw.find("</") == std::string::npos && raw.find_first_of(" \t\r\n") == std::string::npos) {
            const QString scheme = platform::AddressScheme(QString::fromStdString(raw));
            std::string linked = text;
            if (text.find("://") != std::string::npos && scheme != QLatin1String("mailto") &&
                platform::IsOpenedScheme(scheme))
                linked = link(raw, text, "://", URLFull());
            if (text.find("mailto:") != std::string::npos && scheme == QLatin1String("mailto"))
                linked = link(raw, text, "mailto:", URLFull());
            text = linked;
        }
        return text.empty() ? std::string("<br>") : text;
    };
    auto alignAttribute = [](TAlignment Align, const std::string& Text) -> std::string {
        if (Text == "<br>")
            return "";
        return Align == taRightJustify ? " align=\"right\"" : Align == taCenter ? " align=\"center\"" : "";
    };

    std::vector<std::string> lines;
    if (!settings.PrefixTag().isEmpty())
        lines.push_back(settings.PrefixTag().toStdString());
    std::string table = "<table border=\"" + std::to_string(settings.BorderSize()) + "\" cellspacing=\"" +
                        std::to_string(settings.CellSpacing()) + "\" cellpadding=\"" +
                        std::to_string(settings.CellPadding()) + "\" Width=\"" + std::to_string(settings.Width()) +
                        "%\"";
    if (!settings.TableStyle().isEmpty())
        table += " " + settings.TableStyle().toStdString() + " ";
    lines.push_back(table + ">");

    const bool headerRow = FixedRows() > 0 && IncludeFixedCells;
    if (headerRow) {
        lines.push_back("<tr>");
        for (int c = colOffset; c < ColCount(); ++c) {
            const std::string text = cellText(c, 0);
            TAlignment align = taLeftJustify;
            TVAlignment valign = vtaTop;
            GetCellAlignment(RemapCol(c), 0, align, valign);
            const std::string width =
                c < settings.ColWidths.Count() ? " WIDTH=" + std::to_string(settings.ColWidths.Item(c)) : "";
            lines.push_back("<td" + nowrap + alignAttribute(align, text) + fixedColor + width + "><B>" + text +
                            "</B></td>");
        }
        lines.push_back("</tr>");
        rowOffset = 1;
    }

    for (int r = rowOffset; r < RowCount(); ++r) {
        lines.push_back("<tr>");
        for (int c = colOffset; c < ColCount(); ++c) {
            const int real = RemapCol(c);
            if (!IsBaseCell(real, r))
                continue;
            std::string span;
            const QPoint extra = CellSpan(real, r);
            if (extra.x() > 0)
                span += " COLSPAN=" + std::to_string(extra.x() + 1);
            if (extra.y() > 0)
                span += " ROWSPAN=" + std::to_string(extra.y() + 1);

            std::string color = c < FixedCols() || r < FixedRows() ? fixedColor : "";
            platform::GridDrawState state = 0;
            platform::Brush brush;
            brush.SetColor(platform::clNone);
            platform::Font font;
            font.Color = platform::clNone;
            TAlignment align = taLeftJustify;
            TVAlignment valign = vtaTop;
            bool wrap = WordWrap();
            GetVisualProperties(c, r, state, true, false, brush, font, align, valign, wrap);
            if (brush.Color() != platform::clNone && settings.SaveColor())
                color = colorAttribute(brush.Color());
            const std::string width = !headerRow && c - colOffset < settings.ColWidths.Count()
                                          ? " WIDTH=" + std::to_string(settings.ColWidths.Item(c - colOffset))
                                          : "";
            const std::string text = cellText(c, r);
            std::string open, close;
            if (font.Color != platform::clNone && settings.SaveColor()) {
                open = "<Font Color=\"#" + HTMLColor(platform::ColorToRGB(font.Color)) + "\">";
                close = "</Font>";
            }
            if (settings.SaveFonts()) {
                for (const auto& [flag, tag] : {std::pair{platform::fsBold, 'B'}, std::pair{platform::fsItalic, 'I'},
                                                std::pair{platform::fsUnderline, 'U'}})
                    if (font.Style & flag) {
                        open += std::string("<") + tag + ">";
                        close.insert(0, std::string("</") + tag + ">");
                    }
            }
            lines.push_back("<td" + span + nowrap + alignAttribute(align, text) + color + width + ">" + open + text +
                            close + "</td>");
        }
        lines.push_back("</tr>");
    }
    lines.push_back("</table><p>");
    if (!settings.SuffixTag().isEmpty())
        lines.push_back(settings.SuffixTag().toStdString());

    QByteArray out;
    if (Append && !fileio::OldContent(FileName, out))
        throw DIdiZedoRorid("Cannot Create file " + FileName.toStdString());
    auto copyFile = [&](const QString& Name) {
        QByteArray bytes;
        if (Name.isEmpty() || !fileio::ReadRegularFile(Name, bytes))
            return;
        for (const QByteArray& line : fileio::SplitLines(bytes))
            out += line + "\r\n";
    };
    copyFile(settings.HeaderFile());
    for (const std::string& line : lines) {
        out.append(line.data(), static_cast<qsizetype>(line.size()));
        out += "\r\n";
    }
    copyFile(settings.FooterFile());
    if (!fileio::ReplaceFile(FileName, out))
        throw DIdiZedoRorid("Cannot Create file " + FileName.toStdString());
}

void RIvuZuvuzoZuvu::SaveToXML(const QString& FileName, const QString& ListName, const QString& RecordName,
                               const QStringList* FieldNames)
{
    // the text as XML 1.0 character data: escaped, without the characters it cannot carry
    auto xmlText = [](const std::string& S) {
        QString out;
        for (const QChar c : QString::fromStdString(S)) {
            const char16_t u = c.unicode();
            if ((u < 0x20 && u != 9 && u != 10 && u != 13) || u == 0xFFFE || u == 0xFFFF)
                continue;
            out += c;
        }
        return escaped(out.toStdString());
    };
    // names that would make the document unreadable are refused before the file is touched
    if (!isXmlName(ListName) || !isXmlName(RecordName) ||
        (FieldNames && !std::all_of(FieldNames->begin(), FieldNames->end(), isXmlName)))
        throw DIdiZedoRorid("Cannot Create file " + FileName.toStdString());
    const std::string list = ListName.toStdString(), record = RecordName.toStdString();
    QByteArray out;
    auto line = [&](const std::string& Text) {
        out.append(Text.data(), static_cast<qsizetype>(Text.size()));
        out += "\r\n";
    };
    line("<?xml version=\"1.0\"?>");
    line("<" + list + ">");
    const int firstCol = GetSaveStartCol();
    for (int r = GetSaveStartRow(); r <= GetSaveEndRow(); ++r) {
        line("<" + record + ">");
        for (int c = firstCol; c <= GetSaveEndCol(); ++c) {
            const int index = c - firstCol;
            const std::string tag = FieldNames && index < FieldNames->size() ? (*FieldNames)[index].toStdString()
                                                                             : "FIELD" + std::to_string(index);
            line("<" + tag + ">" + xmlText(SaveCell(RemapCol(c), r)) + "</" + tag + ">");
        }
        line("</" + record + ">");
    }
    line("</" + list + ">");
    if (!fileio::ReplaceFile(FileName, out))
        throw DIdiZedoRorid("Cannot Create file " + FileName.toStdString());
}

}  // namespace grid
