#include "printing/pvgridprint.h"

#include "platform/screen.h"
#include "platform/stringgrid.h"
#include "printing/pvcanvas.h"
#include "printing/pvpreview.h"
#include "printing/pvunits.h"

#include <cmath>

namespace {

// The preview renders nothing between the two ends of a table (also when the
// table's drawing throws), then shows the result.
class RenderingBracket {
public:
    explicit RenderingBracket(TPvPreview* preview) : preview_(preview) { preview_->Perform(PvMsgRendering, 0, 0); }
    ~RenderingBracket()
    {
        preview_->Perform(PvMsgRendering, 1, 1);
        preview_->Canvas().Font.PixelsPerInch = platform::ScreenPixelsPerInch();
        preview_->UpdatePreview();
    }
    RenderingBracket(const RenderingBracket&) = delete;
    RenderingBracket& operator=(const RenderingBracket&) = delete;

private:
    TPvPreview* preview_;
};

int ScreenToUnits(int pixels)
{
    return PvRound(pixels / (long double)platform::ScreenPixelsPerInch() * 2540.0L);
}

}  // namespace

TPvPreview* TPvGridPrint::Preview() const
{
    return preview_.data();
}

void TPvGridPrint::SetPreview(TPvPreview* preview)
{
    preview_ = preview;
}

int TPvGridPrint::GetColWidth(int col) const
{
    return grid_ ? ScreenToUnits(grid_->ColWidths(col)) : 0;
}

int TPvGridPrint::GetRowHeight(int row) const
{
    return grid_ ? ScreenToUnits(grid_->RowHeights(row)) : 0;
}

int TPvGridPrint::GetPageRow(platform::StringGrid* grid)
{
    grid_ = grid;
    const int first = grid_ && grid_->RowCount() > 0 ? GetRowHeight(0) : 0;
    if (!preview_ || first <= 0)
        return 0;
    return (preview_->PageHeight.AsPvUnits - preview_->Margins().Bottom.AsPvUnits) / first - 2;
}

void TPvGridPrint::GotoNextPage()
{
    if (!preview_)
        return;
    if (preview_->GetNumPages() > preview_->CurrentPageNum())
        preview_->SetCurrentPageNum(preview_->CurrentPageNum() + 1);
    else
        preview_->NewPage();
}

void TPvGridPrint::GridToPage(int x, int y, int width, TPvMeasurement measurement, platform::StringGrid* grid)
{
    walk(x, y, width, measurement, grid, Mode::Draw, taLeftJustify);
}

void TPvGridPrint::GridToPage(int x, int y, int width, TPvMeasurement measurement, platform::StringGrid* grid,
                              TAlignment alignment)
{
    walk(x, y, width, measurement, grid, Mode::Draw, alignment);
}

void TPvGridPrint::GridOwnPrint(int x, int y, int width, TPvMeasurement measurement, platform::StringGrid* grid)
{
    walk(x, y, width, measurement, grid, Mode::Own, taLeftJustify);
}

void TPvGridPrint::walk(int x, int y, int width, TPvMeasurement measurement, platform::StringGrid* grid, Mode mode,
                        TAlignment alignment)
{
    grid_ = grid;
    if (!preview_) {
        ShowPvError(QStringLiteral("TPvGridPrint"), kPvMsgNoPreview);
        return;
    }
    if (!grid_)
        return;
    TPvPreview* preview = preview_.data();
    RenderingBracket bracket(preview);
    TPvCanvas& canvas = preview->Canvas();

    const int x0 = PvRound(ConvertPvUnits(x, measurement, PvUnits));
    int cy = PvRound(ConvertPvUnits(y, measurement, PvUnits));
    long long gridWidth = 0;
    for (int c = 0; c < grid_->ColCount(); ++c)
        gridWidth += GetColWidth(c);
    // A table of no width has no scale: nothing to lay out.
    if (gridWidth <= 0)
        return;
    const long long tableWidth = width == 0 ? gridWidth : PvRound(ConvertPvUnits(width, measurement, PvUnits));
    const long double scale = (long double)tableWidth / gridWidth;
    const int lastRow = grid_->RowCount() - 1;
    const int lastCol = grid_->ColCount() - 1;

    for (int r = 0; r <= lastRow; ++r) {
        const int rh = GetRowHeight(r);
        int cx = x0;
        for (int c = 0; c <= lastCol; ++c) {
            const int cw = PvRound(GetColWidth(c) * scale);
            // Paper is light whatever the screen's palette: the grid's palette
            // colours print as a light desktop shows them.
            const platform::TColor colour =
                Monochrome ? platform::clWhite
                           : platform::PaperColor(c < grid_->FixedCols() || r < grid_->FixedRows() ? grid_->FixedColor()
                                                                                                  : grid_->Color());
            if (!Monochrome) {
                canvas.Pen.Color = colour;
                canvas.Brush.SetColor(colour);
            }
            platform::Rect rect{cx, cy, cx + cw, cy + rh};
            if (OnDrawCell)
                OnDrawCell(this, c, r, rect, &canvas);
            if (Monochrome) {
                canvas.Brush.SetColor(platform::clWhite);
                canvas.Pen.Color = platform::clWhite;
            }
            if (mode == Mode::Own) {
                if (!Monochrome && OnEndDrawCell)
                    OnEndDrawCell(this, c, r, rect, &canvas);
                cx += cw;
                continue;
            }
            if (!Monochrome)
                canvas.Rectangle(cx, cy, cx + cw + 4, cy + rh + 4, PvUnits);
            canvas.Pen.Color = platform::clBlack;
            canvas.Font = grid_->Font();
            canvas.Font.Color = platform::PaperTextColor(canvas.Font.Color, colour);  // on the paper as filled
            canvas.Brush.SetStyle(platform::bsClear);
            canvas.Pen.Style = platform::psClear;
            const QString text = QString::fromStdString(grid_->Cells(c, r));
            const int th = canvas.TextHeight(text).Units;
            const int top = cy + PvRound((rh - th) / 2.0L);
            const int left = alignment == taLeftJustify ? cx + 50 : cx;
            // A column narrower than the padding has no room for text.
            if (left < cx + cw)
                canvas.TextBox(left, top, cx + cw, cy + rh, text, alignment, true, PvUnits);
            canvas.Pen.Style = platform::psSolid;
            canvas.Line(cx, cy, cx + cw, cy, PvUnits);
            canvas.Line(cx, cy, cx, cy + rh, PvUnits);
            if (c == lastCol)
                canvas.Line(cx + cw, cy, cx + cw, cy + rh, PvUnits);
            if (r == lastRow)
                canvas.Line(cx, cy + rh, cx + cw, cy + rh, PvUnits);
            if (OnEndDrawCell)
                OnEndDrawCell(this, c, r, rect, &canvas);
            cx += cw;
        }
        const int pageBottom = preview->PageHeight.AsPvUnits - preview->Margins().Bottom.AsPvUnits;
        if (pageBottom <= cy + 3LL * rh && r != lastRow) {
            if (mode == Mode::Draw)
                canvas.Line(x0, cy + rh, x0 + int(tableWidth), cy + rh, PvUnits);
            cy = preview->Margins().Top.AsPvUnits - rh;
            GotoNextPage();
        }
        cy += rh;
    }
}
