// Drawing of the cell graphics of the list grid: where a graphic sits in its
// cell and how each kind is painted. Check boxes, radio buttons and push
// buttons of the classic and flat looks come from the widget's QStyle; the
// bitmap looks use the program's glyph bitmaps. Painting raises nothing:
// cell texts that are no numbers draw as 0 or not at all.
#include "grid/listgrid.h"

#include "platform/theme.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>
#include <QtMath>

#include <algorithm>
#include <cmath>

namespace grid {

using platform::TColor;

// ---------------------------------------------------------------- bitmap helpers

void DrawBitmapTransp(platform::Canvas& ACanvas, const QImage& Bitmap, TColor Color, const Rect& R)
{
    if (Bitmap.isNull())
        return;
    if (Color != platform::clNone) {
        const TColor old = ACanvas.Brush.Color();
        ACanvas.Brush.SetColor(Color);
        ACanvas.FillRect(Rect::FromSize(R.Left, R.Top, Bitmap.width(), Bitmap.height()));
        ACanvas.Brush.SetColor(old);
    }
    ACanvas.Draw(R.Left, R.Top, Bitmap, true);
}

void DrawBitmapResourceTransp(platform::Canvas& ACanvas, TColor Color, const Rect& R, const QString& ResName)
{
    DrawBitmapTransp(ACanvas, BitmapResource(ResName), Color, R);
}

namespace {

// The canvas clip narrowed to R for the lifetime of the object.
class ClipScope {
public:
    ClipScope(platform::Canvas& C, const Rect& R) : c_(C), had_(C.HasClipRect()), old_(C.ClipRect())
    {
        c_.SetClipRect(had_ ? old_.Intersected(R) : R);
    }
    ~ClipScope()
    {
        if (had_)
            c_.SetClipRect(old_);
        else
            c_.ClearClipRect();
    }

private:
    platform::Canvas& c_;
    bool had_;
    Rect old_;
};

TColor inverted(TColor C) { return platform::ColorToRGB(C) ^ 0xFFFFFF; }

// A one-pixel frame just inside R: Light on the left and top, Dark on the right and bottom.
void frame3D(platform::Canvas& ACanvas, const Rect& R, TColor Light, TColor Dark)
{
    ACanvas.Pen.Width = 1;
    ACanvas.Pen.Color = Light;
    ACanvas.MoveTo(R.Left, R.Bottom - 1);
    ACanvas.LineTo(R.Left, R.Top);
    ACanvas.LineTo(R.Right - 1, R.Top);
    ACanvas.Pen.Color = Dark;
    ACanvas.LineTo(R.Right - 1, R.Bottom - 1);
    ACanvas.LineTo(R.Left, R.Bottom - 1);
}

int packedWidth(const TCellGraphic& G) { return G.CellIndex & 0xFFFF; }
int packedHeight(const TCellGraphic& G) { return (static_cast<unsigned>(G.CellIndex) >> 16) & 0xFFFF; }

}  // namespace

// ---------------------------------------------------------------- details

TCellGraphic* RIvuZuvuzoZuvu::GetGraphicDetails(int ACol, int ARow, int& GW, int& GH, bool& TextToo,
                                                TCellHAlign& GHA, TCellVAlign& GVA)
{
    GW = GH = 0;
    TextToo = true;
    GHA = haLeft;
    GVA = vaTop;
    TCellGraphic* g = GetCellGraphic(ACol, ARow);
    if (!g)
        return nullptr;
    GHA = g->CellHAlign;
    GVA = g->CellVAlign;
    const TCustomImageList* images = ImageList();
    switch (g->CellType) {
    case ctBitmap:
    case ctIcon:
        if (auto* b = dynamic_cast<const TBitmap*>(g->CellObject)) {
            GW = b->Width();
            GH = b->Height();
        }
        break;
    case ctImageList:
    case ctDataImage:
        if (images) {
            GW = images->Width();
            GH = images->Height();
        }
        TextToo = g->CellType == ctImageList;
        break;
    case ctCheckBox:
    case ctDataCheckBox:
        GW = GH = ControlLook->CheckSize();
        TextToo = g->CellType == ctCheckBox;
        break;
    case ctRotated:
    case ctRadio:
    case ctProgress:
        TextToo = false;
        break;
    case ctImages:
        if (auto* list = dynamic_cast<const TCellImageList*>(g->CellObject); list && images) {
            GW = g->CellBoolean ? list->Count() * images->Width() : images->Width();
            GH = g->CellBoolean ? images->Height() : list->Count() * images->Height();
        }
        break;
    case ctPicture:
    case ctFilePicture: {
        const QPoint cell = CellSize(RemapColInv(ACol), ARow);
        const QPoint s = g->GetPictureSize(cell.x(), cell.y(), GetCellEx(ACol, ARow).empty());
        GW = s.x();
        GH = s.y();
        break;
    }
    case ctButton:
    case ctBitButton:
        GW = packedWidth(*g);
        GH = packedHeight(*g);
        break;
    default:
        break;
    }
    return g;
}

// ---------------------------------------------------------------- rotated text

QPoint RIvuZuvuzoZuvu::CalcTextPos(Rect& ARect, int Angle, const std::string& Text, TAlignment HAlign,
                                   platform::Canvas* ACanvas)
{
    platform::Canvas& canvas = ACanvas ? *ACanvas : Canvas();
    const QSize extent = canvas.TextExtent(QString::fromStdString(Text));
    const double a = qDegreesToRadians(static_cast<double>(Angle));
    const double w = extent.width(), h = extent.height();
    ARect.Right -= 2;
    ARect.Bottom -= 2;
    // Corners of the turned text relative to its start point (the text's
    // top-left corner, which the turn keeps in place; y grows downwards).
    const double xs[4] = {0, w * std::cos(a), h * std::sin(a), w * std::cos(a) + h * std::sin(a)};
    const double ys[4] = {0, -w * std::sin(a), h * std::cos(a), -w * std::sin(a) + h * std::cos(a)};
    const double minX = *std::min_element(xs, xs + 4), maxX = *std::max_element(xs, xs + 4);
    const double minY = *std::min_element(ys, ys + 4), maxY = *std::max_element(ys, ys + 4);
    const double bw = maxX - minX, bh = maxY - minY;
    double bx = ARect.Left + 2;
    if (HAlign == taRightJustify)
        bx = ARect.Right - bw;
    else if (HAlign == taCenter)
        bx = ARect.Left + (ARect.Width() - bw) / 2;
    // Text that climbs stands on the bottom edge; other text hangs from the top.
    const int norm = ((Angle % 360) + 360) % 360;
    const double by = norm > 0 && norm < 180 ? ARect.Bottom - bh : ARect.Top + 2;
    ARect.Left += 2;
    ARect.Top += 2;
    return {static_cast<int>(std::lround(bx - minX)), static_cast<int>(std::lround(by - minY))};
}

// ---------------------------------------------------------------- the painter

namespace {

// The box of Width x Height pixels a graphic takes in cell R, by its own
// alignment and, beside text, the text's alignment.
Rect graphicBox(const Rect& R, int Width, int Height, TCellHAlign HPlace, TCellVAlign VPlace, TAlignment HAlign)
{
    int x1 = R.Left, x2 = R.Right, y1 = R.Top, y2 = R.Bottom;
    bool x2Set = false, y2Set = false;
    switch (HPlace) {
    case haLeft: x1 = R.Left + 1; break;
    case haRight: x2 = R.Right - 1; x1 = x2 - Width; x2Set = true; break;
    case haCenter: x1 = Width < R.Width() ? R.Left + (R.Width() - Width) / 2 : R.Left + 1; break;
    case haBeforeText:
        if (HAlign == taLeftJustify) {
            x1 = R.Left + 1;
        } else {
            x1 = R.Right - Width;
            if (x1 < R.Left)
                x1 = R.Left + 1;
        }
        break;
    case haAfterText:
        if (HAlign == taRightJustify) {
            x2 = R.Right - 1;
            x1 = x2 - Width;
            x2Set = true;
        } else {
            x1 = R.Left;
        }
        break;
    case haFull: x2Set = true; break;
    }
    if (!x2Set)
        x2 = x1 + Width;
    switch (VPlace) {
    case vaTop:
    case vaAboveText: y1 = R.Top + 1; break;
    case vaBottom: y2 = R.Bottom - 1; y1 = y2 - Height; y2Set = true; break;
    case vaCenter: y1 = Height < R.Height() ? R.Top + (R.Height() - Height) / 2 : R.Top + 1; break;
    case vaUnderText: y1 = R.Bottom - Height; y2 = R.Bottom; y2Set = true; break;
    case vaFull: y2Set = true; break;
    }
    if (!y2Set)
        y2 = y1 + Height;
    return {x1, y1, x2, y2};
}

// The red corner of a cell with a comment.
void drawCommentMark(platform::Canvas& ACanvas, const Rect& R, TColor Background)
{
    const platform::Pen oldPen = ACanvas.Pen;
    ACanvas.Pen.Color = platform::clRed;
    ACanvas.Brush.SetColor(platform::clRed);
    ACanvas.Polygon({QPoint(R.Right - 7, R.Top + 1), QPoint(R.Right - 2, R.Top + 1), QPoint(R.Right - 2, R.Top + 6)});
    ACanvas.Brush.SetColor(Background);
    ACanvas.Pen = oldPen;
}

}  // namespace

void RIvuZuvuzoZuvu::DrawCellGraphic(platform::Canvas& ACanvas, int C, int ARow, Rect R, platform::GridDrawState AState,
                                     TAlignment HAlign)
{
    int gw = 0, gh = 0;
    bool textToo = true;
    TCellHAlign gha = haLeft;
    TCellVAlign gva = vaTop;
    TCellGraphic* g = GetGraphicDetails(C, ARow, gw, gh, textToo, gha, gva);
    if (!g)
        return;
    const Rect box = graphicBox(R, gw, gh, gha, gva, HAlign);
    const int x1 = box.Left, y1 = box.Top;

    const bool notFixedCol = C >= FixedCols();
    const bool rowFlagged = ARow >= 0 && ARow < static_cast<int>(rowSelect_.size()) && rowSelect_[ARow];
    const bool selected = (AState & platform::gdSelected) || (rowFlagged && HasOption(platform::goRowSelect) && notFixedCol);
    const bool focused = AState & platform::gdFocused;
    const TCustomImageList* images = ImageList();

    switch (g->CellType) {
    case ctBitmap:
    case ctIcon: {
        const auto* b = dynamic_cast<const TBitmap*>(g->CellObject);
        if (!b || b->Empty())
            break;
        if (g->CellType == ctBitmap && g->CellTransparent) {
            TColor back = selected && !focused ? SelectionColor() : ACanvas.Brush.Color();
            if (back == platform::clNone)
                back = platform::clHighlight;
            DrawBitmapTransp(ACanvas, b->Image, back, box);
        } else {
            ACanvas.Draw(x1, y1, b->Image);
        }
        break;
    }
    case ctImageList:
        if (images)
            images->Draw(ACanvas, x1, y1, g->CellIndex);
        break;
    case ctDataImage: {
        int n = 0;
        if (images && TextToInt(GetCellEx(C, ARow), n)) {
            const long long index = static_cast<long long>(n) + g->CellIndex;
            if (index >= 0 && index < images->Count())
                images->Draw(ACanvas, x1, y1, static_cast<int>(index));
        }
        break;
    }
    case ctCheckBox:
    case ctDataCheckBox: {
        const bool checked =
            g->CellType == ctCheckBox ? g->CellBoolean : GetCellEx(C, ARow) == GetCheckTrue(C, ARow);
        bool canEdit = true;
        GetCellReadOnly(C, ARow, canEdit);
        drawCheck(ACanvas, box, checked, canEdit);
        break;
    }
    case ctRotated:
        drawRotatedText(ACanvas, C, ARow, R, g->CellAngle, HAlign);
        break;
    case ctNode:
        drawNode(ACanvas, R, g, ARow);
        break;
    case ctRadio: {
        bool canEdit = true;
        GetCellReadOnly(C, ARow, canEdit);
        drawRadio(ACanvas, R, g, C, ARow, !canEdit);
        break;
    }
    case ctImages: {
        const auto* list = dynamic_cast<const TCellImageList*>(g->CellObject);
        if (!images || !list)
            break;
        int x = x1, y = y1;
        for (int i = 0; i < list->Count(); ++i) {
            images->Draw(ACanvas, x, y, list->Item(i));
            if (g->CellBoolean)
                x += images->Width();
            else
                y += images->Height();
        }
        break;
    }
    case ctPicture: {
        const auto* b = dynamic_cast<const TBitmap*>(g->CellObject);
        if (!b || b->Empty())
            break;
        if (g->CellAngle == noStretch)
            ACanvas.Draw(x1, y1, b->Image, g->CellTransparent);
        else
            ACanvas.StretchDraw(Rect::FromSize(x1, y1, gw, gh), b->Image, g->CellTransparent);
        break;
    }
    case ctFilePicture:
        if (const auto* f = dynamic_cast<const TFilePicture*>(g->CellObject))
            f->DrawPicture(ACanvas, Rect::FromSize(x1, y1, gw, gh));
        break;
    case ctProgress:
        drawProgress(ACanvas, R, g, C, ARow);
        break;
    case ctComment:
        drawCommentMark(ACanvas, R, Color());
        break;
    case ctButton:
    case ctBitButton: {
        const Rect cell = CellRect(RemapColInv(C), ARow);
        const auto dx = static_cast<std::uint16_t>(static_cast<std::int16_t>(x1 - cell.Left));
        const auto dy = static_cast<std::uint16_t>(static_cast<std::int16_t>(y1 - cell.Top));
        g->ButtonPos = dx | (static_cast<std::uint32_t>(dy) << 16);
        drawButton(ACanvas, box, g, cell);
        break;
    }
    default:
        break;
    }
}

// The cell's text turned by Angle degrees, clipped to the cell.
void RIvuZuvuzoZuvu::drawRotatedText(platform::Canvas& ACanvas, int C, int ARow, const Rect& R, int Angle,
                                     TAlignment HAlign)
{
    const platform::Font oldFont = ACanvas.Font;
    Rect area = R;
    const std::string text = GetCellEx(C, ARow);
    const QPoint p = CalcTextPos(area, Angle, text, HAlign, &ACanvas);
    ACanvas.Font.Orientation = 10 * Angle;
    {
        ClipScope clip(ACanvas, area);
        ACanvas.SetBackgroundTransparent(true);
        ACanvas.TextOut(p.x(), p.y(), QString::fromStdString(text));
    }
    ACanvas.Font = oldFont;
}

// ---------------------------------------------------------------- check boxes and radio buttons

namespace {

// Runs Draw on the canvas's painter (when it has one) inside the canvas's clip.
template <typename DrawFn>
void withStylePainter(platform::Canvas& ACanvas, DrawFn Draw)
{
    QPainter* painter = ACanvas.Painter();
    if (!painter)
        return;
    painter->save();
    if (ACanvas.HasClipRect())
        painter->setClipRect(ACanvas.ClipRect().ToQRect());
    Draw(painter);
    painter->restore();
}

// Draws a check box, radio button or push button through the canvas's painter:
// with the theme layer while the grid's visual-style flag is set (nothing when
// the theme class cannot be opened), else with the classic style glyph.
void drawControlGlyph(RIvuZuvuzoZuvu* Grid, platform::Canvas& ACanvas, platform::StyleGlyph Glyph, const Rect& R,
                      const platform::StyleGlyphState& State, bool Themed)
{
    withStylePainter(ACanvas, [&](QPainter* p) {
        if (!Themed) {
            platform::DrawStyleGlyph(p, Grid, Glyph, R.ToQRect(), State);
            return;
        }
        platform::HTHEME theme = platform::OpenThemeData(Grid, QStringLiteral("button"));
        const int part = Glyph == platform::StyleGlyph::PushButton    ? 1
                         : Glyph == platform::StyleGlyph::RadioButton ? 2
                                                                      : 3;
        int state = State.Pressed ? 3 : State.Enabled ? 1 : 4;
        if (State.On && part != 1)
            state += 4;
        platform::DrawThemeBackground(theme, p, part, state, R.ToQRect());
        platform::CloseThemeData(theme);
    });
}

platform::StyleGlyphState onOff(bool On, bool Enabled, bool Flat = false)
{
    platform::StyleGlyphState state;
    state.On = On;
    state.Enabled = Enabled;
    state.Flat = Flat;
    return state;
}

QString glyphName(const char* Prefix, bool Orchard, bool On, bool Enabled)
{
    const int n = (Orchard ? 1 : 5) + (On ? 0 : 1) + (Enabled ? 0 : 2);
    return QString::fromLatin1(Prefix) + QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
}

}  // namespace

void RIvuZuvuzoZuvu::drawCheck(platform::Canvas& ACanvas, const Rect& B, bool Checked, bool Enabled)
{
    const int size = ControlLook->CheckSize();
    switch (ControlLook->ControlStyle()) {
    case csClassic:
    case csFlat: {
        const Rect square = Rect::FromSize(B.Left + (B.Width() - size) / 2, B.Top + (B.Height() - size) / 2, size, size);
        drawControlGlyph(this, ACanvas, platform::StyleGlyph::CheckBox, square,
                         onOff(Checked, Enabled, ControlLook->ControlStyle() == csFlat), false);
        break;
    }
    case csWinXP:
    case csOrchard:
        DrawBitmapResourceTransp(ACanvas, platform::clNone, B,
                                 glyphName("ASGCHK", ControlLook->ControlStyle() == csOrchard, Checked, Enabled));
        break;
    case csLantern: {
        const platform::Pen oldPen = ACanvas.Pen;
        const TColor oldBrush = ACanvas.Brush.Color();
        ACanvas.Brush.SetColor(Enabled ? platform::clBtnFace : platform::clBtnShadow);
        ACanvas.FillRect(B);
        frame3D(ACanvas, B, platform::clBtnHighlight, platform::clBtnShadow);
        if (Checked) {
            ACanvas.Pen.Color = Enabled ? ControlLook->Color() : platform::clGray;
            const int l = B.Left + 3, t = B.Top + B.Height() / 2 - 1;
            for (int k = 0; k < 3; ++k) {
                ACanvas.MoveTo(l, t + k);
                ACanvas.LineTo(l + 3, t + 3 + k);
                ACanvas.LineTo(B.Right - 3, B.Top + 3 + k);
            }
        }
        ACanvas.Pen = oldPen;
        ACanvas.Brush.SetColor(oldBrush);
        break;
    }
    case csGlyph: {
        const QImage& glyph = Checked ? ControlLook->CheckedGlyph() : ControlLook->UnCheckedGlyph();
        if (!glyph.isNull())
            ACanvas.Draw(B.Left, B.Top, glyph, true);
        break;
    }
    case csTheme:
        if (IsWinXP())
            drawControlGlyph(this, ACanvas, platform::StyleGlyph::CheckBox, Rect::FromSize(B.Left, B.Top, size, size),
                             onOff(Checked, Enabled), true);
        break;
    }
}

void RIvuZuvuzoZuvu::drawRadioButton(platform::Canvas& ACanvas, int X, int Y, bool On, bool Disabled)
{
    const int size = ControlLook->RadioSize();
    switch (ControlLook->ControlStyle()) {
    case csClassic:
    case csFlat:
        drawControlGlyph(this, ACanvas, platform::StyleGlyph::RadioButton, Rect::FromSize(X, Y, size, size),
                         onOff(On, !Disabled, ControlLook->ControlStyle() == csFlat), false);
        break;
    case csWinXP:
    case csOrchard:
        DrawBitmapResourceTransp(ACanvas, platform::clNone, Rect::FromSize(X, Y, 16, 16),
                                 glyphName("ASGRAD", ControlLook->ControlStyle() == csOrchard, On, !Disabled));
        break;
    case csGlyph: {
        const QImage& glyph = On ? ControlLook->RadioOnGlyph() : ControlLook->RadioOffGlyph();
        if (!glyph.isNull())
            ACanvas.Draw(X, Y, glyph, true);
        break;
    }
    case csLantern: {
        const platform::Pen oldPen = ACanvas.Pen;
        const TColor oldBrush = ACanvas.Brush.Color();
        ACanvas.Brush.SetColor(platform::clBtnFace);
        ACanvas.Pen.Color = platform::clBtnShadow;
        ACanvas.Polygon({QPoint(X + 2, Y + 8), QPoint(X + 8, Y + 2), QPoint(X + 14, Y + 8), QPoint(X + 8, Y + 14)});
        ACanvas.Pen.Color = platform::clBtnHighlight;
        ACanvas.MoveTo(X + 8, Y + 14);
        ACanvas.LineTo(X + 14, Y + 8);
        if (On) {
            ACanvas.Brush.SetColor(Disabled ? platform::clGray : ControlLook->Color());
            ACanvas.Pen.Color = ACanvas.Brush.Color();
            ACanvas.Polygon({QPoint(X + 5, Y + 8), QPoint(X + 8, Y + 5), QPoint(X + 11, Y + 8), QPoint(X + 8, Y + 11)});
        }
        ACanvas.Pen = oldPen;
        ACanvas.Brush.SetColor(oldBrush);
        break;
    }
    case csTheme:
        if (IsWinXP())
            drawControlGlyph(this, ACanvas, platform::StyleGlyph::RadioButton, Rect::FromSize(X, Y, size, size),
                             onOff(On, !Disabled), true);
        break;
    }
}

void RIvuZuvuzoZuvu::drawRadio(platform::Canvas& ACanvas, const Rect& R, TCellGraphic* G, int C, int ARow, bool Disabled)
{
    const auto* items = dynamic_cast<const TCellStrings*>(G->CellObject);
    if (!items)
        return;
    const bool classic = ControlLook->ControlStyle() == csClassic || ControlLook->ControlStyle() == csFlat;
    const int th = ACanvas.TextHeight(QStringLiteral("gh"));
    const int pitch = classic ? th : std::max(16, th);
    const int size = classic ? ControlLook->RadioSize() : 16;
    const std::string text = GetCellEx(C, ARow);
    ACanvas.SetBackgroundTransparent(true);
    int x = R.Left + 2;
    for (int i = 0; i < items->Count(); ++i) {
        const std::string& caption = items->Lines[static_cast<std::size_t>(i)];
        const bool on = G->CellIndex == -1 ? caption == text : G->CellIndex == i;
        const QString label = QString::fromStdString(caption);
        if (G->CellBoolean) {
            const int y = R.Top + (R.Height() - size) / 2;
            drawRadioButton(ACanvas, x, y, on, Disabled);
            x += size + 2;
            if (!label.isEmpty()) {
                ACanvas.TextOut(x, R.Top + (R.Height() - th) / 2, label);
                x += ACanvas.TextWidth(label) + 4;
            }
        } else {
            const int y = R.Top + 2 + i * pitch;
            if (label.isEmpty()) {
                drawRadioButton(ACanvas, R.Left + (R.Width() - size) / 2, y + (pitch - size) / 2, on, Disabled);
            } else {
                drawRadioButton(ACanvas, R.Left + 2, y + (pitch - size) / 2, on, Disabled);
                ACanvas.TextOut(R.Left + 4 + size, y + (pitch - th) / 2, label);
            }
        }
    }
}

// ---------------------------------------------------------------- progress bars

int RIvuZuvuzoZuvu::ProgressValue(int C, int ARow) const
{
    int value = 0;
    return TextToInt(GetCellEx(C, ARow), value) ? std::clamp(value, 0, 100) : 0;
}

QString RIvuZuvuzoZuvu::progressLabel(int C, int ARow) const
{
    const std::string text = GetCellEx(C, ARow);
    int value = 0;
    return QString::fromStdString(TextToInt(text, value) ? Trim(text) : std::string("0")) + QLatin1Char('%');
}

void RIvuZuvuzoZuvu::drawProgress(platform::Canvas& ACanvas, Rect R, TCellGraphic* G, int C, int ARow)
{
    const auto* colors = dynamic_cast<const TProgressColors*>(G->CellObject);
    if (!colors)
        return;
    const int value = ProgressValue(C, ARow);
    const QString label = progressLabel(C, ARow);

    R.Inflate(-2, -2);
    if (R.IsEmpty())
        return;
    const int doneRight = R.Left + R.Width() * value / 100;
    const Rect done{R.Left, R.Top, doneRight, R.Bottom};
    const Rect rest{doneRight, R.Top, R.Right, R.Bottom};
    const TColor doneFont = G->CellBoolean ? colors->DoneFont : inverted(colors->Done);
    const TColor restFont = G->CellBoolean ? colors->RestFont : inverted(colors->Rest);

    const platform::Pen oldPen = ACanvas.Pen;
    const TColor oldBrush = ACanvas.Brush.Color();
    const TColor oldFont = ACanvas.Font.Color;
    const QSize extent = ACanvas.TextExtent(label);
    const int tx = R.Left + (R.Width() - extent.width()) / 2;
    const int ty = R.Top + (R.Height() - extent.height()) / 2;
    auto part = [&](const Rect& P, TColor Fill, TColor Font) {
        if (P.IsEmpty())
            return;
        ACanvas.Brush.SetColor(Fill);
        ACanvas.Pen.Color = Fill;
        ACanvas.FillRect(P);
        ACanvas.Font.Color = Font;
        ACanvas.SetBackgroundTransparent(true);
        ACanvas.TextRect(P, tx, ty, label);
    };
    part(done, colors->Done, doneFont);
    part(rest, colors->Rest, restFont);
    // The frame runs just outside the bar.
    ACanvas.Pen.Color = platform::clGray;
    ACanvas.Pen.Width = 1;
    ACanvas.Brush.SetColor(platform::clGray);
    ACanvas.FrameRect({R.Left - 1, R.Top - 1, R.Right + 1, R.Bottom + 1});
    ACanvas.Pen = oldPen;
    ACanvas.Brush.SetColor(oldBrush);
    ACanvas.Font.Color = oldFont;
}

// ---------------------------------------------------------------- tree nodes

void RIvuZuvuzoZuvu::drawNode(platform::Canvas& ACanvas, Rect R, TCellGraphic* G, int ARow)
{
    R.Left -= NodeIndent(ARow);
    const bool expanded = !G->CellBoolean;
    const TCellNodeType type = CellNode->NodeType();
    const platform::Pen oldPen = ACanvas.Pen;
    const TColor oldBrush = ACanvas.Brush.Color();
    ACanvas.Pen.Width = 1;
    if (type == cn3D) {
        ACanvas.Brush.SetColor(CellNode->Color());
        ACanvas.FillRect(R);
        frame3D(ACanvas, R, platform::clWhite, platform::clGray);
    }
    const bool glyphs = !CellNode->ExpandGlyph().isNull() && !CellNode->ContractGlyph().isNull();
    if (type == cnLeaf) {
        DrawBitmapResourceTransp(ACanvas, platform::clNone, R,
                                 expanded ? QStringLiteral("ASGLEAFOPEN") : QStringLiteral("ASGLEAFCLOSE"));
    } else if (type == cnGlyph && glyphs) {
        ACanvas.Draw(R.Left, R.Top, expanded ? CellNode->ExpandGlyph() : CellNode->ContractGlyph(), true);
    } else {
        const int y1 = R.Top + std::max(0, R.Height() - 8) / 2;
        const Rect box{R.Left + 4, y1, R.Left + 12, y1 + 8};
        ACanvas.Brush.SetColor(CellNode->Color());
        ACanvas.FillRect(box);
        if (type == cnFlat) {
            ACanvas.Pen.Color = CellNode->NodeColor();
            ACanvas.Brush.SetColor(CellNode->NodeColor());
            ACanvas.FrameRect(box);
            const int my = box.Top + 4;
            ACanvas.MoveTo(box.Left + 2, my);
            ACanvas.LineTo(box.Right - 2, my);
            if (!expanded) {
                ACanvas.MoveTo(box.Left + 4, box.Top + 2);
                ACanvas.LineTo(box.Left + 4, box.Bottom - 2);
            }
        } else {
            // A soft edge: sunken while expanded, raised while collapsed.
            frame3D(ACanvas, box, expanded ? platform::clGray : platform::clWhite,
                    expanded ? platform::clWhite : platform::clGray);
        }
    }
    ACanvas.Pen = oldPen;
    ACanvas.Brush.SetColor(oldBrush);
}

// ---------------------------------------------------------------- buttons

void RIvuZuvuzoZuvu::drawButton(platform::Canvas& ACanvas, Rect B, TCellGraphic* G, const Rect&)
{
    const bool pressed = G->CellBoolean;
    platform::StyleGlyphState state = onOff(false, true, ControlLook->FlatButton());
    state.Pressed = pressed;
    drawControlGlyph(this, ACanvas, platform::StyleGlyph::PushButton, B, state, IsWinXP());
    B.Inflate(pressed ? -3 : -2, pressed ? -3 : -2);
    if (G->CellType == ctBitButton)
        if (const auto* glyph = dynamic_cast<const TBitmap*>(G->SecondObject); glyph && !glyph->Empty()) {
            ACanvas.Draw(B.Left, B.Top + (B.Height() - glyph->Height()) / 2, glyph->Image, true);
            B.Left += glyph->Width() + 2;
        }
    const auto* caption = dynamic_cast<const TCellStrings*>(G->CellObject);
    if (caption && caption->Count() > 0) {
        // The caption sits on the button's face, not on the cell.
        const TColor cellText = ACanvas.Font.Color;
        ACanvas.Font.Color = platform::ReadableTextColor(cellText, platform::clBtnFace);
        ACanvas.SetBackgroundTransparent(true);
        ACanvas.DrawText(QString::fromStdString(caption->Lines.front()), B,
                         platform::DT_CENTER | platform::DT_VCENTER | platform::DT_SINGLELINE |
                             platform::DT_END_ELLIPSIS | platform::DT_NOPREFIX);
        ACanvas.Font.Color = cellText;
    }
}

}  // namespace grid
