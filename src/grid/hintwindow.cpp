#include "grid/hintwindow.h"

#include "grid/htmldraw.h"
#include "platform/canvas.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include <algorithm>

namespace grid {

namespace {

// The hint texts' own settings: links in the palette's link colour (as it
// reads on the hint's colour), grey shadows of 1 pixel, no focus link.
THTMLDrawParams hintParams(bool Measuring, platform::TColor Background)
{
    THTMLDrawParams in;
    in.URLColor = platform::ReadableTextColor(platform::clHotLight, Background);
    in.ShadowColor = platform::clGray;
    in.ShadowOffset = 1;
    in.FocusLink = -1;
    in.CheckOnly = Measuring;
    in.KeepColors = Measuring;
    in.WordWrap = Measuring;
    in.BlinkOn = false;
    return in;
}

// The window's font, in the palette's text colour for hints as it reads on the hint's colour.
platform::Font hintFont(const QWidget& W, platform::TColor Background)
{
    platform::Font font = platform::Font::FromQFont(W.font(), 96);
    font.Color = platform::ReadableTextColor(platform::clInfoText, Background);
    return font;
}

}  // namespace

THTMLHintWindow::THTMLHintWindow(QWidget* Parent)
    : QWidget(Parent, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus)
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
}

void THTMLHintWindow::SetColor(platform::TColor Value)
{
    color_ = Value;
    update();
}

void THTMLHintWindow::SetCaption(const std::string& Value)
{
    caption_ = Value;
    update();
}

platform::Rect THTMLHintWindow::CalcHintRect(int MaxWidth, const std::string& Hint, void*)
{
    platform::Canvas canvas(logicalDpiY());
    canvas.Font = hintFont(*this, color_);
    THTMLDrawResult out;
    Listgrid::HTMLDraw(canvas, Hint, {0, 0, std::max(1, MaxWidth), 65535}, hintParams(true, color_), out);
    return {0, 0, out.XSize, out.YSize};
}

void THTMLHintWindow::ActivateHint(const platform::Rect& R, const std::string& Hint)
{
    caption_ = Hint;
    if (Hint.empty()) {
        hide();  // nothing to show
        return;
    }
    platform::Canvas canvas(logicalDpiY());
    canvas.Font = hintFont(*this, color_);
    THTMLDrawResult out;
    Listgrid::HTMLDraw(canvas, Hint, {R.Left, 0, R.Left + 1008, 65535}, hintParams(true, color_), out);
    textWidth_ = out.XSize;
    textHeight_ = out.YSize;

    platform::Rect w{R.Left, R.Top, R.Left + textWidth_ + 16, R.Top + textHeight_ + 4};
    QScreen* screen = QGuiApplication::screenAt(QPoint(R.Left, R.Top));
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (screen) {
        const QRect s = screen->geometry();
        const int screenRight = s.x() + s.width(), screenBottom = s.y() + s.height();
        // However long the text, the window stays within the screen.
        w.Right = std::min(w.Right, w.Left + s.width() - 4);
        w.Bottom = std::min(w.Bottom, w.Top + s.height() - 4);
        textWidth_ = std::min(textWidth_, w.Width() - 16);
        textHeight_ = std::min(textHeight_, w.Height() - 4);
        if (w.Right > screenRight) {
            w.Left = screenRight - w.Right + w.Left - 2;
            w.Right = w.Left + textWidth_ + 16;
        }
        if (w.Bottom > screenBottom) {
            w.Bottom = screenBottom - 2;
            w.Top = w.Bottom - textHeight_ - 4;
        }
    }
    setGeometry(w.ToQRect());
    show();
    raise();
    update();
}

void THTMLHintWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    platform::Canvas canvas;
    canvas.Begin(&painter);
    const platform::Rect client = platform::Rect::FromQRect(rect());
    canvas.Brush.SetColor(color_);
    canvas.FillRect(client);
    // A one-pixel frame: light at the top and left, dark at the bottom and right.
    canvas.Pen.Color = platform::cl3DLight;
    canvas.MoveTo(client.Left, client.Bottom - 2);
    canvas.LineTo(client.Left, client.Top);
    canvas.LineTo(client.Right - 1, client.Top);
    canvas.Pen.Color = platform::cl3DDkShadow;
    canvas.MoveTo(client.Left, client.Bottom - 1);
    canvas.LineTo(client.Right - 1, client.Bottom - 1);
    canvas.LineTo(client.Right - 1, client.Top - 1);

    platform::Rect text = client;
    text.Left += 4;
    text.Right -= 4;
    text.Top = client.Top + (client.Height() - textHeight_) / 2;
    text.Bottom = text.Top + textHeight_ + 8;
    canvas.Font = hintFont(*this, color_);
    canvas.Brush.SetColor(color_);
    THTMLDrawResult out;
    Listgrid::HTMLDraw(canvas, caption_, text, hintParams(false, color_), out);
    canvas.End();
}

}  // namespace grid
