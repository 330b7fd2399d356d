// The list grid as an HTML table and as a flat XML document (the documents
// are described and made in grid/exchange/htmlxml.h): the members take the
// grid's settings and its cells' looks, call the format and write the file.
#include "grid/listgrid.h"

#include "grid/exchange/htmlxml.h"
#include "grid/gridcells.h"
#include "grid/gridfileio.h"
#include "platform/color.h"

namespace grid {

namespace {

long long rgbOrNone(TColor Color) { return Color == platform::clNone ? -1 : platform::ColorToRGB(Color); }

}  // namespace

void RIvuZuvuzoZuvu::OutputToHTML(const QString& FileName, bool Append)
{
    const THTMLSettings& settings = *HTMLSettings;
    exchange::HtmlOptions o;
    o.Border = settings.BorderSize();
    o.Spacing = settings.CellSpacing();
    o.Padding = settings.CellPadding();
    o.Width = settings.Width();
    o.Style = settings.TableStyle().toStdString();
    o.Prefix = settings.PrefixTag().toStdString();
    o.Suffix = settings.SuffixTag().toStdString();
    for (int i = 0; i < settings.ColWidths.Count(); ++i)
        o.ColWidths.push_back(settings.ColWidths.Item(i));
    o.SaveColor = settings.SaveColor();
    o.SaveFonts = settings.SaveFonts();
    o.IncludeFixed = IncludeFixedCells;
    o.NoWrap = !WordWrap();
    o.EnableHTML = EnableHTML;
    o.URLShow = URLShow();
    o.URLFull = URLFull();
    o.FixedColor = platform::ColorToRGB(platform::clActiveBorder);
    auto look = [this](int ACol, int ARow) {
        exchange::HtmlLook l;
        const int real = RemapCol(ACol);
        l.Base = IsBaseCell(real, ARow);
        if (!l.Base)
            return l;
        const QPoint extra = CellSpan(real, ARow);
        l.ExtraCols = extra.x();
        l.ExtraRows = extra.y();
        platform::GridDrawState state = 0;
        platform::Brush brush;
        brush.SetColor(platform::clNone);
        platform::Font font;
        font.Color = platform::clNone;
        TAlignment align = taLeftJustify;
        TVAlignment valign = vtaTop;
        bool wrap = WordWrap();
        GetVisualProperties(ACol, ARow, state, true, false, brush, font, align, valign, wrap);
        l.Align = align;
        l.Background = rgbOrNone(brush.Color());
        l.FontColor = rgbOrNone(font.Color);
        l.Bold = font.Style & platform::fsBold;
        l.Italic = font.Style & platform::fsItalic;
        l.Underline = font.Style & platform::fsUnderline;
        return l;
    };

    QByteArray out;
    if (Append && !fileio::OldContent(FileName, out))
        throw DIdiZedoRorid("Cannot Create file " + FileName.toStdString());
    auto copyFile = [&](const QString& Name) {
        QByteArray bytes;
        if (!Name.isEmpty() && fileio::ReadRegularFile(Name, bytes))
            exchange::AppendFileLines(out, bytes);
    };
    copyFile(settings.HeaderFile());
    exchange::WriteHtml(GridCells(*this), look, o, out);
    copyFile(settings.FooterFile());
    if (!fileio::ReplaceFile(FileName, out))
        throw DIdiZedoRorid("Cannot Create file " + FileName.toStdString());
}

void RIvuZuvuzoZuvu::SaveToXML(const QString& FileName, const QString& ListName, const QString& RecordName,
                               const QStringList* FieldNames)
{
    // names that would make the document unreadable are refused before the file is touched
    QByteArray out;
    if (!exchange::WriteXml(GridCells(*this), {GetSaveStartCol(), GetSaveEndCol(), GetSaveStartRow(), GetSaveEndRow(), true},
                            ListName, RecordName, FieldNames, out) ||
        !fileio::ReplaceFile(FileName, out))
        throw DIdiZedoRorid("Cannot Create file " + FileName.toStdString());
}

}  // namespace grid
