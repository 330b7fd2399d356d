// The cell side of the list grid's own printing: one row of cells drawn on a
// page (colours, fonts, plain, multi-line, word-wrapped, rotated, HTML and
// rich text, cell graphics, borders) and the print size of a cell, in 0.1 mm
// on the pass's canvas (MM_LOMETRIC, y upwards). HTML, rich text and rotated
// text are drawn in device pixels, as on the screen, and the canvas's mapping
// is given back afterwards.
#include "grid/exchange/rtf.h"
#include "grid/htmldraw.h"
#include "grid/listgrid.h"

#include <QAbstractTextDocumentLayout>
#include <QPainter>
#include <QTextDocument>

#include <algorithm>
#include <cmath>

namespace grid {

namespace {

int roundInt(double v) { return static_cast<int>(std::lrint(v)); }

// A font of Points (scaled) for drawing in device pixels.
platform::Font devicePointsFont(platform::Font F, int Points, double Scale)
{
    F.PixelsPerInch = 720;
    F.Height = -roundInt(Points * 10 * Scale);
    return F;
}

// The text's lines, split at carriage returns (a line feed after one belongs to it).
std::vector<std::string> textLines(std::string Text, bool Multi)
{
    std::vector<std::string> lines;
    do {
        std::string line;
        GetNextLine(Text, Multi, line);
        lines.push_back(line);
    } while (!Text.empty());
    return lines;
}

}  // namespace

platform::Font RIvuZuvuzoZuvu::cellPrintFont(int ACol, int ARow, platform::Brush& ABrush, TAlignment& HAlign,
                                             TVAlignment& VAlign)
{
    platform::Font font = PrintSettings->Font();
    platform::GridDrawState state = 0;
    bool wrap = wordWrap_;
    GetVisualProperties(ACol, ARow, state, true, false, ABrush, font, HAlign, VAlign, wrap);
    return font;
}

// ---------------------------------------------------------------- measuring

QPoint RIvuZuvuzoZuvu::cellPrintSize(int ACol, int ARow)
{
    TPrintPass& P = pass_;
    platform::Canvas& canvas = *P.Canvas;
    const int C = RemapCol(ACol);
    const platform::Font keepFont = canvas.Font;
    const platform::Brush keepBrush = canvas.Brush;
    platform::Brush brush = canvas.Brush;
    TAlignment ha = taLeftJustify;
    TVAlignment va = vtaTop;
    const platform::Font font = cellPrintFont(ACol, ARow, brush, ha, va);
    canvas.Font = font;
    canvas.Font.Height = MapFontHeight(font.Size());

    std::string text = HasDataCheckBox(C, ARow) ? std::string() : GetCellEx(C, ARow);
    const TTextType type = TextType(text, EnableHTML);
    int w = 0, h = 0;
    if (type == ttHTML) {
        canvas.Font = devicePointsFont(font, font.Size(), 1.0);
        TMappingScope device(canvas);
        device.DevicePixels();
        THTMLDrawParams in;
        in.CheckOnly = true;
        in.Printing = true;
        in.Resolution = P.HTMLScale;
        in.PictureCache = &pictureCache_;
        in.PictureContainer = dynamic_cast<TPictureContainer*>(PictureContainer);
        in.Images = ImageList();
        THTMLDrawResult out;
        Listgrid::HTMLDraw(canvas, text, Rect{0, 0, 1 << 20, 1 << 20}, in, out);
        w = out.XSize;
        h = out.YSize;
        const double toUnits = 254.0 / std::max(1, canvas.Dpi());
        w = roundInt(w * toUnits);
        h = roundInt(h * toUnits);
    } else if (type == ttRTF) {
        QTextDocument doc;
        doc.setDocumentMargin(0);
        RTFToDocument(text, doc, devicePointsFont(font, font.Size(), 1.0), 254);
        const QSizeF s = doc.size();
        w = roundInt(doc.idealWidth());
        h = roundInt(s.height());
    } else {
        if (type == ttFormula)
            text = CalcCell(C, ARow);
        if (URLShow() && !URLFull())
            StripURLProtocol(text);
        const bool wrapped = wordWrap_ && PrintSettings->NoAutoSize();
        if (wrapped && static_cast<std::size_t>(ACol) < P.Widths.size()) {
            Rect r{0, 0, std::max(1, P.Widths[static_cast<std::size_t>(ACol)]), -1};
            canvas.DrawText(QString::fromStdString(text), r,
                            platform::DT_CALCRECT | platform::DT_WORDBREAK | platform::DT_NOPREFIX);
            w = r.Right - r.Left;
            h = std::abs(r.Bottom - r.Top);
        } else {
            const auto lines = textLines(text, Multilinecells);
            for (const std::string& line : lines)
                w = std::max(w, canvas.TextWidth(QString::fromStdString(line)));
            h = canvas.TextHeight(QStringLiteral("gh")) * static_cast<int>(lines.size());
        }
        if (PrintSettings->PrintGraphics() && GetCellGraphic(C, ARow))
            w += GetPrintGraphicSize(C, ARow, 0, 0, 1.0 / P.ScreenFactor).x();
    }
    int angle = 0;
    if (IsRotated(C, ARow, angle)) {
        const double a = angle * M_PI / 180.0;
        const double rw = std::abs(w * std::cos(a)) + std::abs(h * std::sin(a));
        const double rh = std::abs(w * std::sin(a)) + std::abs(h * std::cos(a));
        w = roundInt(rw);
        h = roundInt(rh);
    }
    canvas.Font = keepFont;
    canvas.Brush = keepBrush;
    return {w, h};
}

// ---------------------------------------------------------------- one row

int RIvuZuvuzoZuvu::printRow(int ARow, int FromCol, int ToCol, int Y)
{
    TPrintPass& P = pass_;
    const int height = printRowHeight(ARow);
    if (!printPageDrawn())
        return height;
    fontScale_ = P.Scale;
    const int columns = static_cast<int>(P.Widths.size());
    for (int c = FromCol; c <= ToCol && c < columns; ++c) {
        if (!IsBaseCell(c, ARow))
            continue;
        const QPoint span = CellSpan(c, ARow);
        Rect r;
        r.Left = P.Offsets[static_cast<std::size_t>(c)];
        int right = r.Left;
        for (int k = c; k <= c + std::max(0, span.x()) && k < columns; ++k)
            right += P.Widths[static_cast<std::size_t>(k)] + P.Spacing;
        r.Right = std::min(right, P.ClipRight);
        r.Top = Y;
        r.Bottom = Y - (std::max(0, span.y()) + 1) * height;
        if (r.Right > r.Left)
            printCell(c, ARow, r, height, Y);
    }
    fontScale_ = 1.0;
    return height;
}

void RIvuZuvuzoZuvu::printCell(int ACol, int ARow, Rect R, int RowHeight, int Y)
{
    TPrintPass& P = pass_;
    const TPrintSettings& S = *PrintSettings;
    platform::Canvas& canvas = *P.Canvas;
    const platform::Pen keepPen = canvas.Pen;
    const platform::Brush keepBrush = canvas.Brush;
    const platform::Font keepFont = canvas.Font;
    const int C = RemapCol(ACol);

    platform::Brush brush = canvas.Brush;
    TAlignment ha = taLeftJustify;
    TVAlignment va = vtaTop;
    const platform::Font font = cellPrintFont(ACol, ARow, brush, ha, va);
    canvas.Brush = brush;
    canvas.Font = font;
    canvas.Font.Height = MapFontHeight(font.Size());
    canvas.FillRect(R);

    // The cell graphic takes its place first; the text goes in what remains.
    Rect textR = R;
    TCellGraphic* graphic = S.PrintGraphics() ? GetCellGraphic(C, ARow) : nullptr;
    if (graphic) {
        const QPoint size = GetPrintGraphicSize(C, ARow, roundInt(R.Width() / P.ScreenFactor),
                                                roundInt((R.Top - R.Bottom) / P.ScreenFactor), 1.0 / P.ScreenFactor);
        int gw = std::min(size.x(), R.Width()), gh = std::min(size.y(), R.Top - R.Bottom);
        int x = R.Left, top = R.Top;
        switch (graphic->CellHAlign) {
        case haLeft:
        case haBeforeText: textR.Left = R.Left + gw; break;
        case haRight:
        case haAfterText: x = R.Right - gw; textR.Right = x; break;
        case haCenter: x = R.Left + (R.Width() - gw) / 2; break;
        case haFull: gw = R.Width(); break;
        }
        switch (graphic->CellVAlign) {
        case vaTop: break;
        case vaBottom: top = R.Bottom + gh; break;
        case vaCenter: top = R.Top - (R.Top - R.Bottom - gh) / 2; break;
        case vaUnderText: top = R.Bottom + gh; textR.Bottom = top; break;
        case vaAboveText: textR.Top = R.Top - gh; break;
        case vaFull: gh = R.Top - R.Bottom; break;
        }
        printCellGraphic(graphic, C, ARow, Rect{x, top, x + gw, top - gh});
    }

    std::string text = HasDataCheckBox(C, ARow) ? std::string() : GetCellEx(C, ARow);
    const TTextType type = TextType(text, EnableHTML);
    int angle = 0;
    if (type == ttHTML || type == ttRTF) {
        const Rect device = canvas.LogicalToDevice(textR);
        TMappingScope pixels(canvas);
        pixels.DevicePixels();
        canvas.Font = devicePointsFont(font, font.Size(), fontScale_);
        if (type == ttRTF) {
            RTFPaint(C, ARow, canvas, device);
        } else {
            canvas.SetClipRect(device);
            canvas.SetBackgroundTransparent(true);
            THTMLDrawParams in;
            in.Printing = true;
            in.Resolution = P.HTMLScale;
            in.URLColor = URLColor();
            in.HoverColor = 0x808080;
            in.HoverFontColor = platform::clNone;
            in.ShadowColor = platform::clNone;
            in.PictureCache = &pictureCache_;
            in.PictureContainer = dynamic_cast<TPictureContainer*>(PictureContainer);
            in.Images = ImageList();
            THTMLDrawResult out;
            Listgrid::HTMLDraw(canvas, text, device, in, out);
            canvas.ClearClipRect();
        }
    } else if (IsRotated(C, ARow, angle)) {
        // Turned text is placed in device pixels by the screen's rule, so it
        // turns the same way on paper as on the screen.
        Rect device = canvas.LogicalToDevice(textR);
        TMappingScope pixels(canvas);
        pixels.DevicePixels();
        canvas.Font = devicePointsFont(font, font.Size(), fontScale_);
        const QPoint at = CalcTextPos(device, angle, text, ha, &canvas);
        canvas.Font.Orientation = 10 * angle;
        canvas.SetClipRect(device);
        canvas.SetBackgroundTransparent(true);
        canvas.TextOut(at.x(), at.y(), QString::fromStdString(text));
        canvas.ClearClipRect();
    } else if (!text.empty()) {
        if (type == ttFormula)
            text = CalcCell(C, ARow);
        const QString full = QString::fromStdString(text);
        const int th = canvas.TextHeight(QStringLiteral("gh"));
        const int step = (th + S.RowSpacing()) + (th + S.RowSpacing()) / 8;
        canvas.SetBackgroundTransparent(true);
        if (wordWrap_ && S.NoAutoSize()) {
            Rect r = textR;
            r.Left += roundInt(2 * P.ScreenFactor);
            unsigned flags = platform::DT_WORDBREAK | platform::DT_EXPANDTABS | platform::DT_NOPREFIX |
                             platform::DT_EDITCONTROL;
            if (ha == taRightJustify)
                flags |= platform::DT_RIGHT;
            else if (ha == taCenter)
                flags |= platform::DT_CENTER;
            canvas.DrawText(full, r, flags);
        } else {
            auto lines = textLines(text, Multilinecells);
            const int n = static_cast<int>(lines.size());
            const int room = n == 1 ? S.RowSpacing() + RowHeight - step : RowHeight - step * n;
            const int lower = va == vtaTop ? 0 : va == vtaCenter ? room / 2 : room;
            int y = textR.Top - lower;
            for (std::string& line : lines) {
                if (URLShow() && !URLFull())
                    StripURLProtocol(line);
                const QString l = QString::fromStdString(line);
                const int w = canvas.TextWidth(l);
                int x = textR.Left + P.Inset;
                if (ha == taRightJustify)
                    x = textR.Right - P.Inset - w;
                else if (ha == taCenter)
                    x = textR.Left + (textR.Width() - w) / 2;
                canvas.TextRect(textR, x, y, l);
                y -= step;
            }
        }
    }

    canvas.Pen = keepPen;
    printCellBorders(C, ARow, R, RowHeight, Y);
    canvas.Pen = keepPen;
    canvas.Brush = keepBrush;
    canvas.Font = keepFont;
}

void RIvuZuvuzoZuvu::printCellGraphic(TCellGraphic* G, int C, int ARow, const Rect& Box)
{
    platform::Canvas& canvas = *pass_.Canvas;
    const TCustomImageList* images = ImageList();
    switch (G->CellType) {
    case ctBitmap:
    case ctIcon:
    case ctPicture:
        if (const auto* b = dynamic_cast<const TBitmap*>(G->CellObject); b && !b->Empty())
            canvas.StretchDraw(Box, b->Image);
        break;
    case ctFilePicture:
        if (const auto* f = dynamic_cast<const TFilePicture*>(G->CellObject)) {
            const Rect device = canvas.LogicalToDevice(Box);
            TMappingScope pixels(canvas);
        pixels.DevicePixels();
            f->DrawPicture(canvas, device);
        }
        break;
    case ctImageList:
        if (images)
            canvas.StretchDraw(Box, images->Image(G->CellIndex));
        break;
    case ctImages:
        if (const auto* list = dynamic_cast<const TCellImageList*>(G->CellObject); list && images && list->Count() > 0) {
            const int n = list->Count();
            for (int i = 0; i < n; ++i) {
                Rect part = Box;
                if (G->CellBoolean) {
                    part.Left = Box.Left + Box.Width() * i / n;
                    part.Right = Box.Left + Box.Width() * (i + 1) / n;
                } else {
                    part.Top = Box.Top - (Box.Top - Box.Bottom) * i / n;
                    part.Bottom = Box.Top - (Box.Top - Box.Bottom) * (i + 1) / n;
                }
                canvas.StretchDraw(part, images->Image(list->Item(i)));
            }
        }
        break;
    case ctCheckBox:
    case ctDataCheckBox: {
        // A square frame, ticked when the box is on.
        const bool checked = G->CellType == ctCheckBox ? G->CellBoolean : GetCellEx(C, ARow) == GetCheckTrue(C, ARow);
        const int side = std::min(Box.Width(), Box.Top - Box.Bottom);
        const int l = Box.Left + (Box.Width() - side) / 2, t = Box.Top - (Box.Top - Box.Bottom - side) / 2;
        const platform::Pen keep = canvas.Pen;
        canvas.Pen = platform::Pen{};
        canvas.Pen.Width = std::max(2, side / 12);
        canvas.MoveTo(l, t);
        canvas.LineTo(l + side, t);
        canvas.LineTo(l + side, t - side);
        canvas.LineTo(l, t - side);
        canvas.LineTo(l, t);
        if (checked) {
            canvas.MoveTo(l + side / 5, t - side / 2);
            canvas.LineTo(l + side * 2 / 5, t - side * 4 / 5);
            canvas.LineTo(l + side * 4 / 5, t - side / 5);
        }
        canvas.Pen = keep;
        break;
    }
    default:
        break;
    }
}

void RIvuZuvuzoZuvu::printCellBorders(int C, int ARow, Rect R, int RowHeight, int Y)
{
    const TPrintPass& P = pass_;
    platform::Canvas& canvas = *P.Canvas;
    TCellBorders borders = 0;
    switch (PrintSettings->Borders()) {
    case pbSingle:
    case pbDouble: borders = cbTop | cbLeft | cbRight | cbBottom; break;
    case pbHorizontal:
    case pbAroundHorizontal: borders = cbTop | cbBottom; break;
    case pbVertical:
    case pbAroundVertical: borders = cbLeft | cbRight; break;
    default: break;
    }
    GetCellPrintBorder(C, ARow, canvas.Pen, borders);
    if (R.Bottom < P.PageHeight + P.FooterHeight) {
        R.Bottom = Y - RowHeight;
        borders &= ~static_cast<TCellBorders>(cbBottom);
    }
    const auto line = [&](int x1, int y1, int x2, int y2) {
        canvas.MoveTo(x1, y1);
        canvas.LineTo(x2, y2);
    };
    if (borders & cbLeft)
        line(R.Left, R.Top, R.Left, R.Bottom);
    if (borders & cbRight)
        line(R.Right, R.Top, R.Right, R.Bottom);
    if (borders & cbTop)
        line(R.Left, R.Top, R.Right, R.Top);
    if (borders & cbBottom)
        line(R.Left, R.Bottom, R.Right, R.Bottom);
}

}  // namespace grid
