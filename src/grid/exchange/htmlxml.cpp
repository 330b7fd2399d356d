#include "grid/exchange/htmlxml.h"

#include "grid/exchange/fileio.h"
#include "grid/vurirod.h"
#include "platform/addressscheme.h"

#include <algorithm>

namespace grid::exchange {

namespace {

std::string colorAttribute(unsigned Rgb) { return " BGCOLOR=\"#" + HTMLColor(Rgb) + "\""; }

// "<A HREF="target">shown</A>": the target is the cell's text, escaped and
// quoted; shown is the written text after the marker (or the whole of it).
std::string link(const std::string& Raw, const std::string& Text, const std::string& Marker, bool Full)
{
    const std::string shown = Full ? Text : Text.substr(Text.find(Marker) + Marker.size(), 255);
    return "<A HREF=\"" + QString::fromStdString(Raw).toHtmlEscaped().toStdString() + "\">" + shown + "</A>";
}

std::string alignAttribute(int Align, const std::string& Text)
{
    if (Text == "<br>")
        return "";
    return Align == 1 ? " align=\"right\"" : Align == 2 ? " align=\"center\"" : "";
}

void appendLine(QByteArray& Out, const std::string& Line)
{
    Out.append(Line.data(), static_cast<qsizetype>(Line.size()));
    Out += "\r\n";
}

// The bold header row of the fixed row 0.
void headerRow(const CellTable& T, const HtmlOptions& O, int ColOffset, QByteArray& Out)
{
    const std::string nowrap = O.NoWrap ? " nowrap" : "";
    appendLine(Out, "<tr>");
    for (int c = ColOffset; c < T.ColCount(); ++c) {
        const std::string text = HtmlCellText(T.SaveText(T.RemapCol(c), 0), O);
        const std::string width =
            c < static_cast<int>(O.ColWidths.size()) ? " WIDTH=" + std::to_string(O.ColWidths[static_cast<size_t>(c)]) : "";
        appendLine(Out, "<td" + nowrap + alignAttribute(T.Alignment(T.RemapCol(c), 0), text) +
                            colorAttribute(O.FixedColor) + width + "><B>" + text + "</B></td>");
    }
    appendLine(Out, "</tr>");
}

std::string bodyCell(const CellTable& T, const HtmlLook& L, const HtmlOptions& O, int C, int R, int Width)
{
    std::string span;
    if (L.ExtraCols > 0)
        span += " COLSPAN=" + std::to_string(L.ExtraCols + 1);
    if (L.ExtraRows > 0)
        span += " ROWSPAN=" + std::to_string(L.ExtraRows + 1);
    std::string color = C < T.FixedCols() || R < T.FixedRows() ? colorAttribute(O.FixedColor) : "";
    if (L.Background >= 0 && O.SaveColor)
        color = colorAttribute(static_cast<unsigned>(L.Background));
    const std::string width = Width >= 0 ? " WIDTH=" + std::to_string(Width) : "";
    const std::string text = HtmlCellText(T.SaveText(T.RemapCol(C), R), O);
    std::string open, close;
    if (L.FontColor >= 0 && O.SaveColor) {
        open = "<Font Color=\"#" + HTMLColor(static_cast<unsigned>(L.FontColor)) + "\">";
        close = "</Font>";
    }
    if (O.SaveFonts)
        for (const auto& [on, tag] : {std::pair{L.Bold, 'B'}, std::pair{L.Italic, 'I'}, std::pair{L.Underline, 'U'}})
            if (on) {
                open += std::string("<") + tag + ">";
                close.insert(0, std::string("</") + tag + ">");
            }
    return "<td" + span + (O.NoWrap ? " nowrap" : "") + alignAttribute(L.Align, text) + color + width + ">" + open +
           text + close + "</td>";
}

}  // namespace

std::string HtmlEscaped(const std::string& S)
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

std::string HtmlCellText(const std::string& Raw, const HtmlOptions& O)
{
    std::string text = TextType(Raw, O.EnableHTML) == ttHTML ? Raw : HtmlEscaped(Raw);
    text = HTMLLineBreaks(text);
    // a text with a blank or a line break is no address
    if (O.URLShow && Raw.find("</") == std::string::npos && Raw.find_first_of(" \t\r\n") == std::string::npos) {
        const QString scheme = platform::AddressScheme(QString::fromStdString(Raw));
        std::string linked = text;
        if (text.find("://") != std::string::npos && scheme != QLatin1String("mailto") &&
            platform::IsOpenedScheme(scheme))
            linked = link(Raw, text, "://", O.URLFull);
        if (text.find("mailto:") != std::string::npos && scheme == QLatin1String("mailto"))
            linked = link(Raw, text, "mailto:", O.URLFull);
        text = linked;
    }
    return text.empty() ? std::string("<br>") : text;
}

void WriteHtml(const CellTable& T, const HtmlLookFn& Look, const HtmlOptions& O, QByteArray& Out)
{
    const int colOffset = O.IncludeFixed ? 0 : T.FixedCols();
    int rowOffset = O.IncludeFixed ? 0 : T.FixedRows();
    if (!O.Prefix.empty())
        appendLine(Out, O.Prefix);
    std::string table = "<table border=\"" + std::to_string(O.Border) + "\" cellspacing=\"" +
                        std::to_string(O.Spacing) + "\" cellpadding=\"" + std::to_string(O.Padding) + "\" Width=\"" +
                        std::to_string(O.Width) + "%\"";
    if (!O.Style.empty())
        table += " " + O.Style + " ";
    appendLine(Out, table + ">");

    const bool header = T.FixedRows() > 0 && O.IncludeFixed;
    if (header) {
        headerRow(T, O, colOffset, Out);
        rowOffset = 1;
    }
    for (int r = rowOffset; r < T.RowCount(); ++r) {
        appendLine(Out, "<tr>");
        for (int c = colOffset; c < T.ColCount(); ++c) {
            const HtmlLook look = Look(c, r);
            if (!look.Base)
                continue;
            const int k = c - colOffset;
            const int width = !header && k < static_cast<int>(O.ColWidths.size()) ? O.ColWidths[static_cast<size_t>(k)] : -1;
            appendLine(Out, bodyCell(T, look, O, c, r, width));
        }
        appendLine(Out, "</tr>");
    }
    appendLine(Out, "</table><p>");
    if (!O.Suffix.empty())
        appendLine(Out, O.Suffix);
}

void AppendFileLines(QByteArray& Out, const QByteArray& Bytes)
{
    for (const QByteArray& line : fileio::SplitLines(Bytes))
        Out += line + "\r\n";
}

bool IsXmlName(const QString& Name)
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

bool WriteXml(const CellTable& T, const CellRange& Range, const QString& ListName, const QString& RecordName,
              const QStringList* FieldNames, QByteArray& Out)
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
        return HtmlEscaped(out.toStdString());
    };
    if (!IsXmlName(ListName) || !IsXmlName(RecordName) ||
        (FieldNames && !std::all_of(FieldNames->begin(), FieldNames->end(), IsXmlName)))
        return false;
    const std::string list = ListName.toStdString(), record = RecordName.toStdString();
    appendLine(Out, "<?xml version=\"1.0\"?>");
    appendLine(Out, "<" + list + ">");
    for (int r = Range.FirstRow; r <= Range.LastRow; ++r) {
        appendLine(Out, "<" + record + ">");
        for (int c = Range.FirstCol; c <= Range.LastCol; ++c) {
            const int index = c - Range.FirstCol;
            const std::string tag = FieldNames && index < FieldNames->size() ? (*FieldNames)[index].toStdString()
                                                                             : "FIELD" + std::to_string(index);
            appendLine(Out, "<" + tag + ">" + xmlText(T.SaveText(Range.Real(T, c), r)) + "</" + tag + ">");
        }
        appendLine(Out, "</" + record + ">");
    }
    appendLine(Out, "</" + list + ">");
    return true;
}

}  // namespace grid::exchange
