#include "grid/gridfooter.h"

#include "grid/cellobjects.h"
#include "grid/htmldraw.h"
#include "grid/listgrid.h"
#include "grid/pictures.h"

#include <QPainter>

namespace grid {

void TFloatingFooter::Changed()
{
    if (FGrid)
        FGrid->FloatingFooterChanged();
}

TFooterPanel::TFooterPanel(RIvuZuvuzoZuvu* Grid) : QWidget(Grid), grid_(Grid) {}

std::string TFooterPanel::HTMLColReplace(const std::string& Template) const
{
    std::string out;
    std::size_t at = 0;
    for (;;) {
        const std::size_t mark = Template.find("<#", at);
        if (mark == std::string::npos)
            break;
        const std::size_t close = Template.find('>', mark + 2);
        if (close == std::string::npos)
            break;  // an unclosed mark is kept as written
        out.append(Template, at, mark - at);
        int col = -1;
        const int columns = grid_->ColCount() + grid_->NumHiddenColumns();
        if (TextToInt(Template.substr(mark + 2, close - mark - 2), col) && col >= 0 && col < columns &&
            grid_->Row() >= 0 && grid_->Row() < grid_->RowCount())
            out += grid_->GetCellEx(col, grid_->Row());
        at = close + 1;
    }
    out.append(Template, at, std::string::npos);
    return out;
}

int TFooterPanel::visibleWidth() const
{
    const long long w = grid_->ColWidthsSum(0, grid_->FixedCols()) +
                        grid_->ColWidthsSum(grid_->LeftCol(), grid_->ColCount());
    return static_cast<int>(std::min<long long>(w, width()));
}

void TFooterPanel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    platform::Canvas canvas;
    canvas.Begin(&painter);
    const int w = visibleWidth();
    if (grid_->FloatingFooter.FooterStyle() == fsFixedLastRow)
        paintLastRow(canvas, w);
    else
        paintPreview(canvas, w);
    // Right of the columns the panel shows the grid's own colour.
    canvas.Brush.SetColor(grid_->Color());
    canvas.Pen.Color = grid_->Color();
    canvas.FillRect({w, 0, width(), height()});
    canvas.End();
}

void TFooterPanel::paintLastRow(platform::Canvas& Canvas, int W)
{
    RIvuZuvuzoZuvu& g = *grid_;
    Canvas.Brush.SetColor(g.FixedColor());
    Canvas.FillRect({0, 0, W, height()});
    const bool soft = g.Look() == glSoft;
    const int lastRow = g.RowCount() - 1;
    int x = 0;
    auto drawColumn = [&](int col) {
        const int cw = g.ColWidths(col);
        Canvas.Pen.Width = 1;
        if (soft && g.HasOption(platform::goFixedVertLine)) {
            Canvas.Pen.Color = platform::clWhite;
            Canvas.MoveTo(x, height());
            Canvas.LineTo(x, 0);
        }
        if (soft && g.HasOption(platform::goFixedHorzLine)) {
            Canvas.Pen.Color = platform::clWhite;
            Canvas.MoveTo(x, 0);
            Canvas.LineTo(x + cw - 1, 0);
        }
        if (g.HasOption(platform::goFixedVertLine)) {
            Canvas.Pen.Color = platform::clGray;
            Canvas.MoveTo(x + cw - 1, 0);
            Canvas.LineTo(x + cw - 1, height());
        }
        if (lastRow >= 0) {
            Canvas.Font = g.FixedFont();
            Canvas.Brush.SetColor(g.FixedColor());
            g.PaintCellOn(Canvas, col, lastRow, {x, 0, x + cw - 1, height()}, platform::gdFixed);
        }
        x += cw + g.GridLineWidth();
    };
    for (int c = 0; c < g.FixedCols() && x < W; ++c)
        drawColumn(c);
    for (int c = g.LeftCol(); c < g.ColCount() && x < W; ++c)
        drawColumn(c);
}

void TFooterPanel::paintPreview(platform::Canvas& Canvas, int W)
{
    RIvuZuvuzoZuvu& g = *grid_;
    const int h = height();
    Canvas.Brush.SetColor(g.FloatingFooter.Color());
    Canvas.Pen.Color = g.FloatingFooter.Color();
    Canvas.Pen.Width = 1;
    Canvas.FillRect({0, 0, W, h});
    // Raised frame: grey along the bottom and right, white along the top and left.
    Canvas.Pen.Color = platform::clGray;
    Canvas.MoveTo(0, h - 1);
    Canvas.LineTo(W - 1, h - 1);
    Canvas.LineTo(W - 1, 0);
    Canvas.Pen.Color = platform::clWhite;
    Canvas.LineTo(0, 0);
    Canvas.LineTo(0, h - 1);

    Rect r{0, 0, W, h};
    Canvas.Font = g.Font();
    Canvas.Font.Color = platform::ReadableTextColor(Canvas.Font.Color, g.FloatingFooter.Color());
    if (g.FloatingFooter.FooterStyle() == fsColumnPreview) {
        const int col = g.FloatingFooter.Column();
        if (col >= 0 && col < g.ColCount() && g.Row() >= 0 && g.Row() < g.RowCount())
            g.PaintCellOn(Canvas, col, g.Row(), r, 0);
        return;
    }
    r.Offset(0, 2);
    Canvas.SetBackgroundTransparent(true);
    THTMLDrawParams in;
    in.Images = dynamic_cast<const TCustomImageList*>(g.GridImages);
    in.BlinkOn = false;
    in.WordWrap = !g.EnhTextSize;
    in.URLColor = platform::ReadableTextColor(g.URLColor(), g.FloatingFooter.Color());
    in.ShadowColor = platform::clGray;
    in.PictureCache = &g.PictureCache();
    in.PictureContainer = dynamic_cast<TPictureContainer*>(g.PictureContainer);
    THTMLDrawResult out;
    Listgrid::HTMLDraw(Canvas, HTMLColReplace(g.FloatingFooter.CustomTemplate()), r, in, out);
}

}  // namespace grid
