// Painting of the list grid's cells: colours and fonts per cell, the text
// layer (plain, mini-HTML and rich text, links, passwords, error marks, the
// background picture, the selection outline and the sort indicator), the
// borders, the fixed-cell frames and the focus frame.
#include "grid/cellgraphic.h"
#include "grid/exchange/rtf.h"
#include "grid/htmldraw.h"
#include "grid/pictures.h"
#include "grid/imagelist.h"
#include "grid/listgrid.h"

#include <QPainter>
#include <QTextDocument>
#include <QTextLayout>
#include <QAbstractTextDocumentLayout>

#include <algorithm>

namespace grid {

using platform::GridDrawState;
using platform::gdFixed;
using platform::gdFocused;
using platform::gdSelected;

// What the text layer of one cell works with.
struct RIvuZuvuzoZuvu::CellLayer {
    int ACol = 0, C = 0, ARow = 0;
    Rect R;
    GridDrawState AState = 0;
    TAlignment HAlign = taLeftJustify;
    TVAlignment VAlign = vtaTop;
    // The cell graphic's box and placement, and whether the text is drawn too.
    int GW = 0, GH = 0;
    bool TextToo = true;
    TCellHAlign GHA = haLeft;
    TCellVAlign GVA = vaTop;
    // The colour the cell was filled with, that its text must read on.
    TColor Background = platform::clNone;
};

namespace {

// The number of characters (not bytes) of a UTF-8 text.
int characterCount(const std::string& S)
{
    int n = 0;
    for (unsigned char c : S)
        n += (c & 0xC0) != 0x80;
    return n;
}

}  // namespace

// ---------------------------------------------------------------- selection and colours

bool RIvuZuvuzoZuvu::IsSelected(int ACol, int ARow) const
{
    if (ACol < 0 || ARow < 0)
        return false;
    if (MouseActions->DisjunctRowSelect())
        return ARow < static_cast<int>(rowSelect_.size()) && rowSelect_[ARow];
    // The selected block, and the whole of a merged block holding the current cell.
    return TBaseGrid::IsSelected(ACol, ARow);
}

void RIvuZuvuzoZuvu::GetVisualProperties(int ACol, int ARow, GridDrawState& State, bool Print, bool Select,
                                         platform::Brush& ABrush, platform::Font& AFont, TAlignment& HAlign,
                                         TVAlignment& VAlign, bool& /*WordWrap*/)
{
    const int C = RemapCol(ACol);
    const bool fixedByPosition = ACol < GetFixedColsEx() || ARow < GetFixedRowsEx();
    if (Print)
        AFont = PrintSettings->Font();
    else
        AFont = fixedByPosition ? fixedFont_ : Font();

    TColor brush = platform::clNone;
    if (const TCellProperties* props = FindCellProperties(C, ARow))
        brush = props->BrushColor();
    if (brush == platform::clNone) {
        brush = Color();
        if (Bands->Active() && (!Print || Bands->Print()) && ACol >= FixedCols() &&
            ACol < ColCount() - fixedRightCols_ + hiddenColCount_ && ARow >= FixedRows() &&
            ARow < RowCount() - fixedFooters_) {
            const int period = Bands->Period();
            const int k = period > 0 ? (ARow - FixedRows()) % period : 0;
            brush = k < Bands->PrimaryLength() ? Bands->PrimaryColor() : Bands->SecondaryColor();
        }
    }
    ABrush.SetColor(brush);

    const bool fixed = IsFixed(ACol, ARow);
    if (fixed && !Print) {
        ABrush.SetColor(FixedColor());
        AFont.Color = fixedFont_.Color;
        State |= gdFixed;
    }
    if (Print)
        GetCellPrintColor(C, ARow, State, ABrush, AFont);
    else
        GetCellColor(C, ARow, State, ABrush, AFont);

    const bool disjunct = MouseActions->DisjunctRowSelect();
    const auto selectionColours = [&] {
        ABrush.SetColor(selectionColor_);
        AFont.Color = selectionTextColor_;
    };
    if (ACol >= FixedCols() && ARow >= FixedRows() && disjunct && !Print && Select && showSelection_ && !fixed) {
        const bool flagged = ARow < static_cast<int>(rowSelect_.size()) && rowSelect_[ARow];
        if (!newSelection_ ? flagged : (!flagged && (State & gdSelected))) {
            State = gdSelected;
            selectionColours();
        }
    }
    if ((!Print && Select && showSelection_ && !fixed && IsSelected(ACol, ARow) && !disjunct) ||
        ((State & gdSelected) && newSelection_)) {
        selectionColours();
        State |= gdSelected;
    }
    if (!Print)
        AFont.Color = platform::ReadableTextColor(AFont.Color, ABrush.Color());
    GetCellAlignment(ACol, ARow, HAlign, VAlign);
}

// ---------------------------------------------------------------- the cell

void RIvuZuvuzoZuvu::DrawGridCell(platform::Canvas& Canvas, int ACol, int ARow, Rect R, GridDrawState AState)
{
    // Nothing a cell sets on the canvas reaches the next cell.
    const platform::Pen pen0 = Canvas.Pen;
    const platform::Brush brush0 = Canvas.Brush;
    const platform::Font font0 = Canvas.Font;
    const bool ctl3D = !flat_;

    CellLayer L;
    L.ACol = ACol;
    L.C = RemapCol(ACol);
    L.ARow = ARow;
    bool wordWrap = wordWrap_;
    GetVisualProperties(ACol, ARow, AState, false, true, Canvas.Brush, Canvas.Font, L.HAlign, L.VAlign, wordWrap);
    L.AState = AState;
    TCellGraphic* graphic = GetGraphicDetails(L.C, ARow, L.GW, L.GH, L.TextToo, L.GHA, L.GVA);
    if ((AState & gdSelected) && !(AState & gdFocused) && selectionColor_ == platform::clNone)
        Canvas.Brush.SetColor(platform::clHighlight);
    L.Background = Canvas.Brush.Color();
    if (ZoomStep() != 0)
        Canvas.Font.SetSize(std::max(1, Canvas.Font.Size() + ZoomStep()));

    // The row indicator in the first column of the current row.
    const bool indicator = L.C == 0 && ARow == Row() && FixedCols() > 0 && !RowIndicator.isNull();
    if (indicator) {
        DrawBitmapTransp(Canvas, RowIndicator, FixedColor(), R);
        R.Left += RowIndicator.width();
    }

    L.R = R;
    {
        const TColor brush = Canvas.Brush.Color();
        const TColor fontColor = Canvas.Font.Color;
        drawCellText(Canvas, L);
        Canvas.Brush.SetColor(brush);
        Canvas.Font.Color = fontColor;
    }

    R.Inflate(1, 1);
    drawCellBorders(Canvas, L.C, ARow, R);
    if (indicator)
        R.Left -= RowIndicator.width();

    // Fixed cells of the soft look: an etched frame, or a black one when flat.
    const int fixedCols = GetFixedColsEx(), fixedRows = GetFixedRowsEx();
    const auto blackFrame = [&](Rect F) {
        Canvas.Pen = platform::Pen{};
        if (HasOption(platform::goFixedHorzLine)) {
            Canvas.MoveTo(F.Left - 1, F.Top - 1);
            Canvas.LineTo(F.Right + 1, F.Top - 1);
            Canvas.MoveTo(F.Left - 1, F.Bottom + 1);
            Canvas.LineTo(F.Right + 1, F.Bottom + 1);
        }
        if (HasOption(platform::goFixedVertLine)) {
            Canvas.MoveTo(F.Left - 1, F.Top - 1);
            Canvas.LineTo(F.Left - 1, F.Bottom + 1);
            Canvas.MoveTo(F.Right + 1, F.Top - 1);
            Canvas.LineTo(F.Right + 1, F.Bottom + 1);
        }
    };
    if ((IsFixed(ACol, ARow) || ACol < fixedCols || ARow < fixedRows) && look_ == glSoft) {
        if (ctl3D) {
            Rect F = R;
            F.Inflate(1, 1);
            F.Bottom -= 1;
            Canvas.Pen = platform::Pen{};
            if (HasOption(platform::goFixedHorzLine)) {
                Canvas.Pen.Color = platform::clGray;
                Canvas.MoveTo(F.Left, F.Bottom - 1);
                Canvas.LineTo(F.Right - 1, F.Bottom - 1);
                Canvas.Pen.Color = platform::clWhite;
                Canvas.MoveTo(F.Right, F.Top + 1);
                Canvas.LineTo(F.Left + 1, F.Top + 1);
                Canvas.LineTo(F.Left + 1, F.Bottom - 1);
            }
            if (HasOption(platform::goFixedVertLine)) {
                Canvas.Pen.Color = platform::clGray;
                Canvas.MoveTo(F.Right - 2, F.Top);
                Canvas.LineTo(F.Right - 2, F.Bottom - 1);
                Canvas.Pen.Color = platform::clWhite;
                Canvas.MoveTo(F.Right - 1, F.Top);
                Canvas.LineTo(F.Right - 1, F.Bottom - 1);
            }
        } else {
            blackFrame(R);
        }
    }
    if (fixedRightCols_ > 0 && ColCount() - L.C + hiddenColCount_ <= fixedRightCols_ && !ctl3D)
        blackFrame(R);

    // Tree lines left of the rows under a node.
    if (HasNodes() && L.C == 0 && ARow >= FixedRows() && CellNode->ShowTree()) {
        Canvas.Pen = platform::Pen{};
        Canvas.Pen.Color = platform::clSilver;
        const int m = R.Top + (R.Bottom - R.Top) / 2;
        Canvas.MoveTo(R.Left - 8, m);
        Canvas.LineTo(R.Left, m);
        const int span = GetNodeSpanType(ARow);
        if (span == 1) {
            Canvas.MoveTo(R.Left - 8, R.Top);
            Canvas.LineTo(R.Left - 8, m);
        } else if (span == 2) {
            Canvas.MoveTo(R.Left - 8, R.Top);
            Canvas.LineTo(R.Left - 8, R.Bottom + 4);
        }
    }
    if (graphic)
        DrawCellGraphic(Canvas, L.C, ARow, R, AState, L.HAlign);

    if (OnDrawCell) {
        Rect inner = R;
        inner.Left += 1;
        inner.Top += 1;
        inner.Right -= GridLineWidth();
        inner.Bottom -= GridLineWidth();
        OnDrawCell(this, L.C, ARow, inner, AState);
    }

    if (!HideFocusRect && (AState & gdFocused) && !HasOption(platform::goRowSelect)) {
        Rect F = R;
        F.Inflate(GridLineWidth() - 1, GridLineWidth() - 1);
        F.Right -= 1;
        F.Bottom -= 1;
        Canvas.DrawFocusRect(F);
    }
    // Once an editor has been shown, the current cell keeps a frame in the grid-line colour.
    if (editorShown_[0] && ACol == Col() && ARow == Row()) {
        Canvas.Pen = platform::Pen{};
        Canvas.Pen.Color = GridLineColor();
        Canvas.Brush.SetStyle(platform::bsClear);
        Canvas.Rectangle(CellRect(Col(), Row()));
    }

    Canvas.Pen = pen0;
    Canvas.Brush = brush0;
    Canvas.Font = font0;
}

void RIvuZuvuzoZuvu::drawCellBorders(platform::Canvas& Canvas, int C, int ARow, Rect R)
{
    TCellBorders borders = 0;
    const platform::Pen keep = Canvas.Pen;
    GetCellBorder(C, ARow, Canvas.Pen, borders);
    if (borders) {
        platform::Pen left = Canvas.Pen, top = Canvas.Pen, right = Canvas.Pen, bottom = Canvas.Pen;
        if (OnGetCellBorderProp)
            OnGetCellBorderProp(this, C, ARow, left, top, right, bottom);
        const int h = (Canvas.Pen.Width + 1) / 2;
        R.Inflate(-h, -h);
        const auto line = [&](const platform::Pen& P, int X1, int Y1, int X2, int Y2) {
            Canvas.Pen = P;
            Canvas.MoveTo(X1, Y1);
            Canvas.LineTo(X2, Y2);
        };
        if (borders & cbLeft)
            line(left, R.Left, R.Top, R.Left, R.Bottom);
        if (borders & cbRight)
            line(right, R.Right - 1, R.Top, R.Right - 1, R.Bottom);
        if (borders & cbTop)
            line(top, R.Left, R.Top, R.Right, R.Top);
        if (borders & cbBottom)
            line(bottom, R.Left, R.Bottom - 1, R.Right, R.Bottom - 1);
    }
    Canvas.Pen = keep;
}

// ---------------------------------------------------------------- the text layer

bool RIvuZuvuzoZuvu::sortIndicatorShown(int C, int ARow)
{
    if (!SortSettings->Show() || ARow != SortSettings->Row() || RowCount() <= 2 || FixedRows() <= 0)
        return false;
    const int place = SortIndexes.FindIndex(C);
    if (C != SortSettings->Column() && place < 0)
        return false;
    if (C < FixedCols() && !SortSettings->FixedCols())
        return false;
    return !(place >= 1 && !SortSettings->IndexShow());
}

void RIvuZuvuzoZuvu::drawCellText(platform::Canvas& Canvas, CellLayer& L)
{
    const int C = L.C, ARow = L.ARow;
    const GridDrawState AState = L.AState;
    TColor url = urlColor_;
    const bool rowFlagged = ARow >= 0 && ARow < static_cast<int>(rowSelect_.size()) && rowSelect_[ARow];
    const bool shownSelected = (AState & gdSelected) || (rowFlagged && HasOption(platform::goRowSelect) && L.ACol >= FixedCols());
    const bool focused = hasFocus();

    if (shownSelected && !((AState & gdFocused) && !HasOption(platform::goDrawFocusSelected))) {
        if (showSelection_) {
            if (selectionColor_ != platform::clNone)
                Canvas.Brush.SetColor(selectionColor_);
            if (selectionTextColor_ != platform::clNone)
                Canvas.Font.Color = selectionTextColor_;
            url = selectionTextColor_;
        }
        if (!(focused && !HasCheckBox(C, ARow)) && !showSelection_) {
            Canvas.Brush.SetColor(Color());
            Canvas.Font.Color = Font().Color;
            url = urlColor_;
        }
    }

    TTextType type = ttText;
    std::string T = textToDraw(C, ARow, type);

    if (L.ACol >= FixedCols() && ARow >= FixedRows() && !newSelection_ && MouseActions->DisjunctRowSelect() &&
        !rowFlagged) {
        Canvas.Brush.SetColor(Color());
        Canvas.Font.Color = Font().Color;
        GetCellColor(C, ARow, L.AState, Canvas.Brush, Canvas.Font);
    }

    // Palette colours that would not read on the cell's background give way to ones that do.
    Canvas.Font.Color = platform::ReadableTextColor(Canvas.Font.Color, L.Background);
    url = platform::ReadableTextColor(url, L.Background);
    drawBackground(Canvas, L);

    if (SelectionRectangle()) {
        const TGridRect s = Selection();
        const int dc = RemapColInv(C);
        if (s.Contains(dc, ARow)) {
            const platform::Pen keep = Canvas.Pen;
            Canvas.Pen = platform::Pen{};
            Canvas.Pen.Width = 2;
            const Rect& R = L.R;
            const auto line = [&](int X1, int Y1, int X2, int Y2) {
                Canvas.MoveTo(X1, Y1);
                Canvas.LineTo(X2, Y2);
            };
            if (dc == s.Left)
                line(R.Left, R.Bottom - 1, R.Left, R.Top - 1);
            if (dc == s.Right)
                line(R.Right - 1, R.Bottom - 1, R.Right - 1, R.Top - 1);
            if (ARow == s.Top)
                line(R.Left - 1, R.Top, R.Right - 1, R.Top);
            if (ARow == s.Bottom)
                line(R.Left - 1, R.Bottom - 1, R.Right - 1, R.Bottom - 1);
            Canvas.Pen = keep;
        }
    }

    if (!L.TextToo)
        return;

    if (type == ttHTML) {
        Rect R = L.R;
        R.Left += 2;
        R.Top += 2;
        const bool sorted = sortIndicatorShown(C, ARow);
        if (sorted)
            R.Right -= 10;
        THTMLDrawParams in;
        in.Images = dynamic_cast<const TCustomImageList*>(GridImages);
        in.X = R.Left;
        in.Y = R.Top;
        in.FocusLink = -1;
        in.HoverLink = 0;
        in.ShadowOffset = 1;
        in.WordWrap = !EnhTextSize;
        in.URLColor = url;
        in.ShadowColor = platform::clGray;
        in.BlinkOn = BlinkPhase();
        in.PictureCache = &PictureCache();
        in.PictureContainer = dynamic_cast<TPictureContainer*>(PictureContainer);
        THTMLDrawResult out;
        // Each cell's markup is clipped to the cell.
        const bool hadClip = Canvas.HasClipRect();
        const Rect oldClip = Canvas.ClipRect();
        Canvas.SetClipRect(hadClip ? L.R.Intersected(oldClip) : L.R);
        Listgrid::HTMLDraw(Canvas, T, R, in, out);
        if (hadClip)
            Canvas.SetClipRect(oldClip);
        else
            Canvas.ClearClipRect();
        if (sorted) {
            const int y = L.VAlign == vtaTop      ? R.Top + 8
                          : L.VAlign == vtaCenter ? R.Top + (R.Bottom - R.Top) / 2
                                                  : R.Bottom - 8;
            DrawSortIndicator(Canvas, C, R.Right + 2, y);
        }
        return;
    }
    if (type == ttRTF) {
        Canvas.Pen.Color = Canvas.Brush.Color();
        if (!((AState & gdSelected) && !(AState & gdFocused) && selectionColor_ == platform::clNone))
            Canvas.Rectangle(L.R);
        Canvas.Brush.SetStyle(platform::bsClear);
        RTFPaint(C, ARow, Canvas, L.R);
        Canvas.Brush.SetStyle(platform::bsSolid);
        return;
    }
    drawPlainText(Canvas, L, std::move(T));
}

std::string RIvuZuvuzoZuvu::textToDraw(int C, int ARow, TTextType& Type)
{
    std::string T = GetCellEx(C, ARow);
    Type = TextType(T, EnableHTML);
    if (Type == ttFormula)
        T = CalcCell(C, ARow);
    if (IsPassword(C, ARow))
        T.assign(characterCount(T), passwordChar_);
    return T;
}

bool RIvuZuvuzoZuvu::plainTextToDraw(std::string& T) const
{
    const bool link = urlShow_ && IsURL(T);
    if (link && !urlFull_)
        StripURLProtocol(T);
    if (LinesInText(T, Multilinecells) == 1 && !wordWrap_) {
        std::string first;
        GetNextLine(T, Multilinecells, first);
        T = first;
    }
    return link;
}

std::string RIvuZuvuzoZuvu::ShownText(int ACol, int ARow)
{
    if (ACol < 0 || ARow < 0 || ACol >= ColCount() || ARow >= RowCount())
        return {};
    const int C = RemapCol(ACol);
    int gw = 0, gh = 0;
    bool textToo = true;
    TCellHAlign gha = haLeft;
    TCellVAlign gva = vaTop;
    if (const TCellGraphic* g = GetGraphicDetails(C, ARow, gw, gh, textToo, gha, gva); g && !textToo) {
        if (g->CellType == ctRotated)
            return GetCellEx(C, ARow);
        if (g->CellType == ctProgress)
            return progressLabel(C, ARow).toStdString();
        return {};  // a check box, radio group or image stands for the text
    }
    TTextType type = ttText;
    std::string T = textToDraw(C, ARow, type);
    if (type == ttHTML) {
        THTMLDrawParams in;
        in.CheckOnly = true;
        in.Images = dynamic_cast<const TCustomImageList*>(GridImages);
        in.PictureCache = &PictureCache();
        in.PictureContainer = dynamic_cast<TPictureContainer*>(PictureContainer);
        THTMLDrawResult out;
        Listgrid::HTMLDraw(Canvas(), T, Rect{0, 0, 65535, 65535}, in, out);
        // The runs are drawn with prefix processing ("&amp;" comes as "&&").
        std::replace(out.StrippedText.begin(), out.StrippedText.end(), '\r', '\n');
        return platform::TextWithoutPrefixes(QString::fromStdString(out.StrippedText)).toStdString();
    }
    if (type == ttRTF) {
        QTextDocument doc;
        RTFToDocument(T, doc, Font(), logicalDpiY());
        return doc.toPlainText().toStdString();
    }
    plainTextToDraw(T);
    // CR LF and CR as the one line break a reader takes.
    std::string lines;
    lines.reserve(T.size());
    for (std::size_t i = 0; i < T.size(); ++i) {
        const bool cr = T[i] == '\r';
        lines += cr ? '\n' : T[i];
        if (cr && i + 1 < T.size() && T[i + 1] == '\n')
            ++i;
    }
    return lines;
}

std::string RIvuZuvuzoZuvu::ColumnHeaderText(int ACol)
{
    std::string header;
    for (int r = 0; r < HeaderRowsRead(); ++r) {
        const std::string part = ShownText(ACol, r);
        if (part.empty())
            continue;
        if (!header.empty())
            header += ' ';
        header += part;
    }
    return header;
}

bool RIvuZuvuzoZuvu::ColumnShown(int ACol) const
{
    // Inside the cell's grid lines the text starts XYOffset.x() pixels in.
    const int lines = 2 * std::max(1, GridLineWidth());
    return ACol >= 0 && ACol < ColCount() && ColWidths(ACol) - lines - XYOffset.x() > 0;
}

void RIvuZuvuzoZuvu::drawPlainText(platform::Canvas& Canvas, CellLayer& L, std::string T)
{
    const int C = L.C, ARow = L.ARow;
    const int H = Canvas.TextHeight(QStringLiteral("hg"));
    Rect R2 = L.R;
    R2.Right -= 2;
    R2.Left += XYOffset.x();
    const bool sortCell = SortSettings->Show() && ARow == SortSettings->Row() && C == SortSettings->Column();
    if (L.HAlign == taCenter && sortCell)
        R2.Left += 10;
    // Room for a graphic beside or above the text.
    if (L.HAlign == taLeftJustify || L.HAlign == taRightJustify) {
        if (L.GHA == haBeforeText)
            R2.Left += L.GW;
        else if (L.GHA == haAfterText)
            R2.Right -= L.GW;
    }
    if (L.GVA == vaAboveText)
        R2.Top += L.GH;
    else if (L.GVA == vaUnderText)
        R2.Bottom -= L.GH;
    R2.Top += XYOffset.y();
    const int M = ARow == 0 && C == SortSettings->Column() && SortSettings->Show() ? 14 : 0;

    const bool singleLine = LinesInText(T, Multilinecells) == 1 && !wordWrap_;
    if (plainTextToDraw(T)) {
        Canvas.Font.Style |= platform::fsUnderline;
        Canvas.Font.Color = platform::ReadableTextColor(
            L.AState & gdSelected && showSelection_ ? selectionTextColor_ : urlColor_, L.Background);
    }

    unsigned flags = platform::DT_EDITCONTROL;
    if (singleLine)
        flags = platform::DT_SINGLELINE | (EnhTextSize ? platform::DT_END_ELLIPSIS : 0u);
    flags |= platform::DT_EXPANDTABS | platform::DT_NOPREFIX;
    if (wordWrap_)
        flags |= platform::DT_WORDBREAK | platform::DT_EDITCONTROL;
    flags |= L.HAlign == taRightJustify ? platform::DT_RIGHT : L.HAlign == taCenter ? platform::DT_CENTER : platform::DT_LEFT;
    vAlignFlag_ = L.VAlign == vtaCenter ? platform::DT_VCENTER : L.VAlign == vtaBottom ? platform::DT_BOTTOM : platform::DT_TOP;
    flags |= vAlignFlag_;

    Canvas.SetBackgroundTransparent(true);
    if (L.HAlign == taLeftJustify)
        R2.Right -= M;
    else
        R2.Left += M;
    const QString text = QString::fromStdString(T);
    Canvas.DrawText(text, R2, flags);

    int errPos = 0, errLen = 0;
    GetMarker(C, ARow, errPos, errLen);
    if (errLen > 0)
        DrawErrorLines(Canvas, T, R2, H, errPos, errLen);

    if (sortIndicatorShown(C, ARow)) {
        const Rect R = L.R;
        const int w = std::min(R.Width() - 16, Canvas.TextWidth(text));
        const int x = L.HAlign == taLeftJustify    ? R.Left + w + 10
                      : L.HAlign == taRightJustify ? R.Right - w - 10
                                                   : R.Left + 8;
        const int y = L.VAlign == vtaTop      ? R.Top + 8
                      : L.VAlign == vtaCenter ? R.Top + (R.Bottom - R.Top) / 2
                                              : R.Bottom - 8;
        DrawSortIndicator(Canvas, C, x, y);
    }
}

void RIvuZuvuzoZuvu::drawBackground(platform::Canvas& Canvas, const CellLayer& L)
{
    const QImage& bitmap = BackGround->Bitmap();
    if (bitmap.isNull() || bitmap.width() <= 0 || bitmap.height() <= 0)
        return;
    const bool fixed = L.AState & gdFixed;
    if ((BackGround->Cells() == bcFixed) != fixed)
        return;
    const bool paintedSelected = ((L.AState & gdSelected) && !(L.AState & gdFocused)) ||
                                 ((L.AState & gdFocused) && HasOption(platform::goDrawFocusSelected));
    if (showSelection_ && paintedSelected)
        return;
    const Rect& R = L.R;
    QPainter* p = Canvas.Painter();
    if (!p)
        return;
    p->save();
    p->setClipRect(R.ToQRect(), Canvas.HasClipRect() ? Qt::IntersectClip : Qt::ReplaceClip);
    if (BackGround->Display() == bdFixed) {
        p->drawImage(QPoint(BackGround->Left(), BackGround->Top()), bitmap);
    } else {
        // The tiles run across the scrolling area as if it were not scrolled.
        const int k = BackGround->Cells() == bcNormal ? FixedCols() : 0;
        const int kr = BackGround->Cells() == bcNormal ? FixedRows() : 0;
        const long long dx = L.C > k ? ColWidthsSum(k, L.C) : 0;
        const long long dy = L.ARow > kr ? RowHeightsSum(kr, L.ARow) : 0;
        const int phaseX = static_cast<int>(dx % bitmap.width());
        const int phaseY = static_cast<int>(dy % bitmap.height());
        for (int y = R.Top - phaseY; y < R.Bottom; y += bitmap.height())
            for (int x = R.Left - phaseX; x < R.Right; x += bitmap.width())
                p->drawImage(QPoint(x, y), bitmap);
    }
    p->restore();
}

// ---------------------------------------------------------------- sort indicator

void RIvuZuvuzoZuvu::DrawSortIndicator(platform::Canvas& Canvas, int ACol, int X, int Y)
{
    const platform::Pen keepPen = Canvas.Pen;
    const platform::Brush keepBrush = Canvas.Brush;
    if (SortSettings->IndexShow()) {
        const int i = SortIndexes.FindIndex(ACol);
        if (i < 0)
            return;
        const bool descending = static_cast<std::uint32_t>(SortIndexes.Item(i)) & TSortIndexList::DescendingBit;
        Canvas.Brush.SetColor(platform::clYellow);
        if (descending)
            Canvas.Polygon({QPoint(X - 7, Y - 5), QPoint(X + 7, Y - 5), QPoint(X, Y + 8)});
        else
            Canvas.Polygon({QPoint(X - 6, Y + 8), QPoint(X + 6, Y + 8), QPoint(X, Y - 4)});
        const platform::Font keepFont = Canvas.Font;
        Canvas.SetBackgroundTransparent(true);
        Canvas.Font.Color = platform::clBlack;
        Canvas.Font.SetSize(5);
        Canvas.TextOut(X - 2, Y - 4, QString::number(i + 1));
        Canvas.Font = keepFont;
    } else if (!SortSettings->UpGlyph().isNull() && !SortSettings->DownGlyph().isNull()) {
        const QImage& glyph = SortSettings->Direction() == sdDescending ? SortSettings->DownGlyph() : SortSettings->UpGlyph();
        Canvas.Draw(X - 4, Y - 4, glyph, true);
    } else {
        Canvas.Pen = platform::Pen{};
        if (SortSettings->Direction() == sdAscending) {
            Canvas.Pen.Color = platform::clWhite;
            Canvas.MoveTo(X - 4, Y + 4);
            Canvas.LineTo(X + 4, Y + 4);
            Canvas.LineTo(X, Y - 4);
            Canvas.Pen.Color = platform::clGray;
            Canvas.LineTo(X - 4, Y + 4);
        } else {
            Canvas.Pen.Color = platform::clWhite;
            Canvas.MoveTo(X + 4, Y - 4);
            Canvas.LineTo(X, Y + 4);
            Canvas.Pen.Color = platform::clGray;
            Canvas.LineTo(X - 4, Y - 4);
            Canvas.LineTo(X + 4, Y - 4);
        }
    }
    Canvas.Pen = keepPen;
    Canvas.Brush = keepBrush;
}

// ---------------------------------------------------------------- measuring and rich text

QPoint RIvuZuvuzoZuvu::GetCellTextSize(int ACol, int ARow)
{
    platform::Canvas& canvas = this->Canvas();
    const platform::Brush keepBrush = canvas.Brush;
    const platform::Font keepFont = canvas.Font;
    std::string T = GetCellEx(ACol, ARow);
    GridDrawState state = 0;
    TAlignment h;
    TVAlignment v;
    bool wrap = wordWrap_;
    GetVisualProperties(ACol, ARow, state, false, true, canvas.Brush, canvas.Font, h, v, wrap);
    QPoint size;
    switch (TextType(T, EnableHTML)) {
    case ttHTML: {
        THTMLDrawParams in;
        in.CheckOnly = true;
        in.KeepColors = true;
        in.WordWrap = !EnhTextSize;
        in.Images = dynamic_cast<const TCustomImageList*>(GridImages);
        THTMLDrawResult out;
        Listgrid::HTMLDraw(canvas, T, {0, 0, 65535, 65535}, in, out);
        size = {out.XSize, out.YSize};
        break;
    }
    case ttRTF: {
        QTextDocument doc;
        RTFToDocument(T, doc, canvas.Font, canvas.Dpi());
        doc.setDocumentMargin(0);
        const qreal ideal = doc.idealWidth();
        doc.setTextWidth(ideal);
        size = {static_cast<int>(std::ceil(ideal)), static_cast<int>(std::ceil(doc.size().height()))};
        break;
    }
    default: {
        int lines = 0, widest = 0;
        std::string rest = T;
        do {
            std::string line;
            if (Multilinecells)
                GetNextLine(rest, true, line);
            else
                line.swap(rest);
            if (urlShow_ && !urlFull_ && IsURL(line))
                StripURLProtocol(line);
            widest = std::max(widest, canvas.TextWidth(QString::fromStdString(line)));
            ++lines;
        } while (!rest.empty());
        size = {widest, canvas.TextHeight(QStringLiteral("gh")) * lines};
        break;
    }
    }
    canvas.Brush = keepBrush;
    canvas.Font = keepFont;
    return size;
}

void RIvuZuvuzoZuvu::RTFPaint(int ACol, int ARow, platform::Canvas& Canvas, const Rect& Rect)
{
    QPainter* p = Canvas.Painter();
    if (!p || Rect.IsEmpty())
        return;
    QTextDocument doc;
    doc.setDocumentMargin(0);
    RTFToDocument(GetCellEx(ACol, ARow), doc, Canvas.Font, Canvas.Dpi());
    const bool selected = IsSelected(RemapColInv(ACol), ARow) ||
                          (MouseActions->DisjunctRowSelect() && ARow < static_cast<int>(rowSelect_.size()) && rowSelect_[ARow]);
    const bool focusedCurrent = hasFocus() && !HasOption(platform::goDrawFocusSelected) && ARow == Row() &&
                                RemapColInv(ACol) == Col();
    const bool printing = p->device() && p->device()->devType() == QInternal::Printer;
    if (selected && !focusedCurrent && !SelectionRTFKeep && !printing && selectionTextColor_ != platform::clNone) {
        QTextCursor all(&doc);
        all.select(QTextCursor::Document);
        QTextCharFormat f;
        f.setForeground(platform::ToQColor(selectionTextColor_));
        all.mergeCharFormat(f);
    }
    // A margin of 2 pixels at 96 dpi, scaled to the device.
    const int mx = static_cast<int>(std::lround(2.0 * Canvas.Dpi() / 96.0));
    doc.setTextWidth(std::max(1, Rect.Width() - 2 * mx));
    p->save();
    p->setClipRect(Rect.ToQRect(), Canvas.HasClipRect() ? Qt::IntersectClip : Qt::ReplaceClip);
    p->translate(Rect.Left + mx, Rect.Top + mx);
    QAbstractTextDocumentLayout::PaintContext context;
    context.clip = QRectF(0, 0, Rect.Width() - 2 * mx, Rect.Height() - 2 * mx);
    doc.documentLayout()->draw(p, context);
    p->restore();
}

// ---------------------------------------------------------------- error marks

void RIvuZuvuzoZuvu::DrawErrorLines(platform::Canvas& Canvas, const std::string& Text, const Rect& R, int LineHeight, int ErrPos,
                                    int ErrLen)
{
    if (ErrLen <= 0 || ErrPos < 1)
        return;
    // Character positions as the text lies in R: its lines one under the other.
    const QString text = QString::fromStdString(Text);
    const auto position = [&](int index, int lineOf) {  // index 0-based; lineOf -1: its own line
        int line = 0, start = 0;
        for (int i = 0; i < std::min<int>(index, text.size()); ++i)
            if (text[i] == QLatin1Char('\n')) {
                ++line;
                start = i + 1;
            }
        if (index >= text.size()) {
            const int lastStart = start;
            QString lastLine = text.mid(lastStart).section(QLatin1Char('\n'), 0, 0);
            return QPoint(Canvas.TextWidth(lastLine.remove(QLatin1Char('\r'))) + 4, (lineOf >= 0 ? lineOf : line) * LineHeight);
        }
        QString before = text.mid(start, index - start);
        before.remove(QLatin1Char('\r'));
        return QPoint(Canvas.TextWidth(before), line * LineHeight);
    };
    const QPoint from = position(ErrPos - 1, -1);
    const QPoint to = position(ErrPos + ErrLen - 2 + 1, from.y() / std::max(1, LineHeight));
    const platform::Pen keep = Canvas.Pen;
    Canvas.Pen = platform::Pen{};
    Canvas.Pen.Color = platform::clRed;
    Canvas.Pen.Width = 2;
    int x = R.Left + from.x();
    const int y = R.Top + from.y() + LineHeight + 3;
    const int end = R.Left + std::max(to.x(), from.x() + 3);
    bool up = false;
    Canvas.MoveTo(x, y);
    while (x < end) {
        x += 3;
        up = !up;
        Canvas.LineTo(x, up ? y - 3 : y);
    }
    Canvas.Pen = keep;
}

}  // namespace grid
