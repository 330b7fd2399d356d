// Row swaps, typed cell values and the calculations over them, automatic
// numbering, row heights by line count, and the column and row exchanges of
// the list grid.
#include "grid/exchange/rtf.h"
#include "grid/htmldraw.h"
#include "grid/imagelist.h"
#include "grid/listgrid.h"
#include "grid/pictures.h"

#include <algorithm>
#include <clocale>
#include <cstdio>

namespace grid {

// ---------------------------------------------------------------- row swaps

void RIvuZuvuzoZuvu::SortSwapRows(int ARow1, int ARow2)
{
    const int xrefCount = static_cast<int>(sortXRef_.size());
    if (ARow1 < xrefCount && ARow2 < xrefCount)
        std::swap(sortXRef_[ARow1], sortXRef_[ARow2]);

    const int keys = static_cast<int>(sortKeys_.size());
    if (ARow1 < keys && ARow2 < keys) {
        // Under SingleColumn only the sort column's cells move.
        if (!SortSettings->SingleColumn() || sortKeysCol_ == SortSettings->Column())
            std::swap(sortKeys_[ARow1], sortKeys_[ARow2]);
    }

    if (SortSettings->SingleColumn()) {
        // Texts and objects of the sort column only; an exchange of two slots
        // changes no object's holders, so the raw slots are swapped.
        const int c = SortSettings->Column();
        std::string text = Cells(c, ARow1);
        SetCells(c, ARow1, Cells(c, ARow2));
        SetCells(c, ARow2, text);
        platform::Object* object = Objects(c, ARow1);
        SetObjects(c, ARow1, Objects(c, ARow2));
        SetObjects(c, ARow2, object);
        return;
    }

    ExchangeRowData(ARow1, ARow2);
    const int h1 = RowHeights(ARow1), h2 = RowHeights(ARow2);
    if (h1 != h2) {
        SetRowHeights(ARow1, h2);
        SetRowHeights(ARow2, h1);
    }
    if (MouseActions->DisjunctRowSelect()) {
        rowSelect_.swap(ARow1, ARow2);
    }
    if (sortRow_ == ARow1)
        sortRow_ = ARow2;
    else if (sortRow_ == ARow2)
        sortRow_ = ARow1;
    if (!IsUpdating()) {
        RepaintRow(ARow1);
        RepaintRow(ARow2);
    }
}

// ---------------------------------------------------------------- typed cells

namespace {
// A cell text as a number: thousands separators dropped, the decimal
// separator read as ".", an empty text read as 0.
bool cellNumber(std::string s, double& value)
{
    const FormatSettings& fs = formatSettings();
    s.erase(std::remove(s.begin(), s.end(), fs.ThousandSeparator), s.end());
    if (fs.DecimalSeparator != '.')
        std::replace(s.begin(), s.end(), fs.DecimalSeparator, '.');
    if (Trim(s).empty()) {
        value = 0;
        return true;
    }
    return TextToFloat(s, value);
}
}  // namespace

int RIvuZuvuzoZuvu::GetInts(int ACol, int ARow) const
{
    const std::string s = GetCellEx(ACol, ARow);
    int value = 0;
    if (!Trim(s).empty() && !TextToInt(s, value))
        throw DIdiZedoRorid("Cell does not contain integer value");
    return value;
}

void RIvuZuvuzoZuvu::SetInts(int ACol, int ARow, int Value) { SetCellEx(ACol, ARow, std::to_string(Value)); }

double RIvuZuvuzoZuvu::GetFloats(int ACol, int ARow) const
{
    double value = 0;
    if (!cellNumber(GetCellEx(ACol, ARow), value))
        throw DIdiZedoRorid("Cell does not contain a float value");
    return value;
}

std::string RIvuZuvuzoZuvu::FloatText(double Value) const
{
    // FloatFormat holds exactly one floating-point conversion (its setter
    // checks). printf follows the process locale, so its decimal point is
    // turned back into ".".
    char buf[128];
    std::snprintf(buf, sizeof buf, FloatFormat().c_str(), Value);
    std::string text = buf;
    const char* lc = std::localeconv()->decimal_point;
    const std::string point = lc ? lc : ".";
    if (!point.empty() && point != ".")
        if (auto p = text.find(point); p != std::string::npos)
            text = text.substr(0, p) + "." + text.substr(p + point.size());
    return text;
}

void RIvuZuvuzoZuvu::SetFloats(int ACol, int ARow, double Value) { SetCellEx(ACol, ARow, FloatText(Value)); }

// ---------------------------------------------------------------- calculations

namespace {
enum class Fold { Sum, Min, Max };

// Folds Value(i) over First..Last; Min and Max start from Value(First) even
// when the range is empty, a sum of an empty range is 0.
template <typename F>
double fold(int First, int Last, Fold How, F Value)
{
    if (How == Fold::Sum) {
        double sum = 0;
        for (int i = First; i <= Last; ++i)
            sum += Value(i);
        return sum;
    }
    double best = Value(First);
    for (int i = First + 1; i <= Last; ++i) {
        const double v = Value(i);
        if (How == Fold::Min ? v < best : v > best)
            best = v;
    }
    return best;
}

double average(double Sum, int Count) { return Count > 0 ? Sum / Count : 0; }
}  // namespace

double RIvuZuvuzoZuvu::ColumnSum(int ACol, int FromRow, int ToRow) const
{
    return fold(FromRow, ToRow, Fold::Sum, [&](int r) { return GetFloats(ACol, r); });
}

double RIvuZuvuzoZuvu::ColumnAvg(int ACol, int FromRow, int ToRow) const
{
    return average(ColumnSum(ACol, FromRow, ToRow), ToRow - FromRow + 1);
}

double RIvuZuvuzoZuvu::ColumnMin(int ACol, int FromRow, int ToRow) const
{
    return fold(FromRow, ToRow, Fold::Min, [&](int r) { return GetFloats(ACol, r); });
}

double RIvuZuvuzoZuvu::ColumnMax(int ACol, int FromRow, int ToRow) const
{
    return fold(FromRow, ToRow, Fold::Max, [&](int r) { return GetFloats(ACol, r); });
}

double RIvuZuvuzoZuvu::RowSum(int ARow, int FromCol, int ToCol) const
{
    return fold(FromCol, ToCol, Fold::Sum, [&](int c) { return GetFloats(c, ARow); });
}

double RIvuZuvuzoZuvu::RowAvg(int ARow, int FromCol, int ToCol) const
{
    return average(RowSum(ARow, FromCol, ToCol), ToCol - FromCol + 1);
}

double RIvuZuvuzoZuvu::RowMin(int ARow, int FromCol, int ToCol) const
{
    return fold(FromCol, ToCol, Fold::Min, [&](int c) { return GetFloats(c, ARow); });
}

double RIvuZuvuzoZuvu::RowMax(int ARow, int FromCol, int ToCol) const
{
    return fold(FromCol, ToCol, Fold::Max, [&](int c) { return GetFloats(c, ARow); });
}

void RIvuZuvuzoZuvu::AutoNumberCol(int ACol)
{
    if (RowCount() == 0)
        return;
    int n = 1;
    for (int r = GetFixedRowsEx(); r <= RowCount() - 1 - FixedFooters(); ++r)
        SetInts(ACol, r, n++);
}

void RIvuZuvuzoZuvu::AutoNumberRow(int ARow)
{
    int n = 1;
    for (int c = GetFixedColsEx(); c <= ColCount() - 1 - FixedRightCols(); ++c)
        SetInts(c, ARow, n++);
}

// ---------------------------------------------------------------- sizes

void RIvuZuvuzoZuvu::SizeToLines(int ARow, int Lines, int Padding)
{
    const int h = Canvas().TextHeight(QStringLiteral("gh"));
    SetRowHeights(ARow, (h + h / 4) * Lines + Padding);
}

int RIvuZuvuzoZuvu::MaxLinesInRow(int ARow) const
{
    if (!Multilinecells)
        return 1;
    int lines = 1;
    for (int c = 0; c < ColCount(); ++c)
        lines = std::max(lines, LinesInText(Cells(RemapCol(c), ARow), true));
    return lines;
}

// The canvas font for measuring a cell: the fixed or the normal font, then
// whatever the colour hook makes of it.
void RIvuZuvuzoZuvu::measuringFont(int ACol, int ARow)
{
    platform::Canvas& canvas = Canvas();
    canvas.Font = IsFixed(ACol, ARow) ? FixedFont() : Font();
    GetCellColor(ACol, ARow, 0, canvas.Brush, canvas.Font);
}

void RIvuZuvuzoZuvu::AutoSizeRow(int ARow)
{
    platform::Canvas& canvas = Canvas();
    const platform::Font keepFont = canvas.Font;
    const platform::Brush keepBrush = canvas.Brush;
    int height = DefaultRowHeight();
    for (int c = 0; c < ColCount(); ++c) {
        if (CellSpan(c, ARow).y() >= 1)
            continue;  // the start of a block over several rows
        const int real = RemapCol(c);
        measuringFont(c, ARow);
        Rect r{0, 0, std::max(0, ColWidths(c) - 4), DefaultRowHeight()};
        std::string text = GetCellEx(real, ARow);
        int textHeight = 0;
        const TTextType type = TextType(text, EnableHTML);
        if (type == ttRTF)
            text = RTFPlainText(text);
        if (type == ttText || type == ttRTF) {
            unsigned flags = platform::DT_CALCRECT | platform::DT_NOPREFIX | platform::DT_WORDBREAK |
                             platform::DT_EXPANDTABS | platform::DT_NOCLIP;
            TAlignment h;
            TVAlignment v;
            GetCellAlignment(real, ARow, h, v);
            flags |= h == taRightJustify ? platform::DT_RIGHT : h == taCenter ? platform::DT_CENTER : 0u;
            if (layoutDirection() == Qt::RightToLeft)
                flags |= platform::DT_RTLREADING;
            canvas.DrawText(QString::fromStdString(text), r, flags);
            textHeight = r.Bottom - r.Top;
        } else if (type == ttHTML) {
            THTMLDrawParams in;
            in.CheckOnly = true;
            in.KeepColors = true;
            in.BlinkOn = true;
            in.ShadowOffset = 1;
            in.FocusLink = -1;
            in.WordWrap = !EnhTextSize;
            in.Images = dynamic_cast<const TCustomImageList*>(GridImages);
            in.PictureContainer = dynamic_cast<TPictureContainer*>(PictureContainer);
            in.PictureCache = &PictureCache();
            in.URLColor = URLColor();
            THTMLDrawResult out;
            Listgrid::HTMLDraw(canvas, text, {0, 0, r.Right, 65535}, in, out);
            textHeight = out.YSize;
        }
        const int total = textHeight + GetCellGraphicSize(real, ARow).y();
        if (total + 2 > height)
            height = total + 4;
    }
    canvas.Font = keepFont;
    canvas.Brush = keepBrush;
    SetRowHeights(ARow, height);
}

void RIvuZuvuzoZuvu::AutoSizeRows(bool DoFixedRows, int Padding)
{
    if (RowCount() == 0)
        return;
    for (int r = DoFixedRows ? 0 : FixedRows(); r < RowCount(); ++r) {
        if (WordWrap())
            AutoSizeRow(r);
        else
            SizeToLines(r, MaxLinesInRow(r), Padding);
    }
}

void RIvuZuvuzoZuvu::AutoSizeColumns(bool DoFixedCols, int Padding)
{
    for (int c = DoFixedCols ? 0 : FixedCols(); c < ColCount(); ++c) {
        AutoSizeCol(c);
        if (Padding != 0)
            SetColWidths(c, ColWidths(c) + Padding);
    }
}

void RIvuZuvuzoZuvu::AutoSizeCells(bool SkipFixed, int XPadding, int YPadding)
{
    BeginUpdate();
    const int firstCol = SkipFixed ? FixedCols() : 0, firstRow = SkipFixed ? FixedRows() : 0;
    for (int c = firstCol; c < ColCount(); ++c)
        SetColWidths(c, 0);
    for (int r = firstRow; r < RowCount(); ++r)
        SetRowHeights(r, 0);
    for (int r = firstRow; r < RowCount(); ++r)
        for (int c = firstCol; c < ColCount(); ++c) {
            const int real = RemapCol(c);
            const QPoint text = GetCellTextSize(real, r);
            const QPoint graphic = GetCellGraphicSize(real, r);
            SetColWidths(c, std::max(ColWidths(c), text.x() + graphic.x() + XPadding));
            SetRowHeights(r, std::max(RowHeights(r), text.y() + graphic.y() + YPadding));
        }
    EndUpdate();
}

// ---------------------------------------------------------------- exchanges

void RIvuZuvuzoZuvu::SwapColumns(int ACol1, int ACol2)
{
    const int shown = ColCount();
    const int w1 = ColWidths(ACol1), w2 = ColWidths(ACol2);
    SetColCount(shown + 1 + hiddenColCount_);
    const int spare = ColCount() - 1;
    CopyCols(spare, ACol1);
    CopyCols(ACol1, ACol2);
    CopyCols(ACol2, spare);
    NilCol(spare);
    SetColCount(shown);
    SetColWidths(ACol1, w2);
    SetColWidths(ACol2, w1);
    if (SortSettings->Column() == ACol1)
        SortSettings->Column = ACol2;
    else if (SortSettings->Column() == ACol2)
        SortSettings->Column = ACol1;
}

// Everything stored for the rows changes places, the cells of hidden columns
// too, so that a hidden cell never ends up in another row.
void RIvuZuvuzoZuvu::SwapRows(int ARow1, int ARow2)
{
    ExchangeRowData(ARow1, ARow2);
    const int h1 = RowHeights(ARow1), h2 = RowHeights(ARow2);
    SetRowHeights(ARow1, h2);
    SetRowHeights(ARow2, h1);
    RepaintRow(ARow1);
    RepaintRow(ARow2);
}

}  // namespace grid
