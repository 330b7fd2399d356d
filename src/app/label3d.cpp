#include "app/label3d.h"

#include "platform/shell.h"

#include <QAccessibleWidget>
#include <QEnterEvent>
#include <QKeyEvent>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPainter>
#include <cmath>

using namespace platform;

// ---------------------------------------------------------------- what a screen reader reads

class TLabel3DAccessible : public QAccessibleWidget {
public:
    explicit TLabel3DAccessible(TLabel3D* Label) : QAccessibleWidget(Label) {}
    TLabel3D* label() const { return static_cast<TLabel3D*>(widget()); }

    QAccessible::Role role() const override { return label()->isLink() ? QAccessible::Link : QAccessible::StaticText; }
    QString text(QAccessible::Text T) const override
    {
        if (T == QAccessible::Name && label()->accessibleName().isEmpty())
            return label()->ShowAccelChar ? TextWithoutPrefixes(label()->Caption()) : label()->Caption();
        return QAccessibleWidget::text(T);
    }
    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.linked = label()->isLink();
        return s;
    }
    QStringList actionNames() const override
    {
        return label()->isLink() ? QStringList{pressAction()} : QAccessibleWidget::actionNames();
    }
    void doAction(const QString& Name) override
    {
        if (Name == pressAction() && label()->isLink())
            label()->Click();
        else
            QAccessibleWidget::doAction(Name);
    }
    QStringList keyBindingsForAction(const QString& Name) const override
    {
        return Name == pressAction() && label()->isLink() ? QStringList{QStringLiteral("Return")}
                                                          : QAccessibleWidget::keyBindingsForAction(Name);
    }
};

namespace {
QAccessibleInterface* label3DFactory(const QString& Key, QObject* Object)
{
    auto* label = qobject_cast<TLabel3D*>(Object);
    return label && Key == QLatin1String(Object->metaObject()->className()) ? new TLabel3DAccessible(label) : nullptr;
}
}  // namespace

TLabel3D::TLabel3D(QWidget* parent) : QWidget(parent)
{
    static const bool readable = [] {
        QAccessible::installFactory(label3DFactory);
        return true;
    }();
    (void)readable;
    Font.Name = QStringLiteral("Arial");
    Font.Color = clBtnText;  // the palette's text on the label's face
    setAttribute(Qt::WA_Hover, true);
}

void TLabel3D::SetLabelStyle(TLabelStyle s)
{
    labelStyle_ = s;
    // A link takes input: Tab reaches it. The mouse never gave it the focus and does not now.
    setFocusPolicy(isLink() ? Qt::TabFocus : Qt::NoFocus);
}

void TLabel3D::SetCaption(const QString& text)
{
    caption_ = text;
    if (autoSize_ && escapement_ == 0) {
        Canvas measure(logicalDpiY());
        measure.Font = Font;
        QString t = text;
        Rect r{0, 0, std::max(width(), 1), 0};
        unsigned flags = DT_EXPANDTABS | DT_CALCRECT | (WordWrap ? DT_WORDBREAK : 0u) |
                         (ShowAccelChar ? 0u : unsigned(DT_NOPREFIX));
        if (t.isEmpty() || (t == "&" && ShowAccelChar))
            t += ' ';
        measure.DrawText(t, r, flags);
        resize(r.Width(), r.Height());
    }
    update();
}

void TLabel3D::SetAutoSize(bool on)
{
    autoSize_ = on;
    if (on)
        SetCaption(caption_);
}

void TLabel3D::SetBorderColor(TColor c)
{
    borderColor_ = c;
    repaint();
}

void TLabel3D::SetBorderStyle(PenStyle s)
{
    borderPenStyle_ = s;
    repaint();
}

void TLabel3D::SetBorderWidth(int w)
{
    borderWidth_ = w;
    repaint();
}

void TLabel3D::SetBorder(bool on)
{
    border_ = on;
    repaint();
}

void TLabel3D::SetBorderType(TBorderType t)
{
    if (t == borderType_)
        return;
    borderType_ = t;
    repaint();
}

void TLabel3D::SetShift(int pixels)
{
    if (pixels == shift_)
        return;
    shift_ = pixels;
    repaint();
}

void TLabel3D::SetColorRR(TColor shadow, TColor highlight)
{
    if (shadow == shadowColor_ && highlight == highlightColor_)
        return;
    shadowColor_ = shadow;
    highlightColor_ = highlight;
    repaint();
}

void TLabel3D::SetEscapement(int a)
{
    if (a < 0) {
        while (a < -360)
            a += 360;
        a += 360;
    }
    while (a > 360)
        a -= 360;
    if (a == escapement_)
        return;
    escapement_ = a;
    update();
}

void TLabel3D::SetTextStyle(TTextStyle s)
{
    if (s == textStyle_)
        return;
    textStyle_ = s;
    update();
}

void TLabel3D::SetEllipsesStyle(TEllipsesStyle s)
{
    if (s == esEnd || s == esPath)
        autoSize_ = false;
    if (s == ellipsesStyle_)
        return;
    ellipsesStyle_ = s;
    update();
}

void TLabel3D::applyBorderPen(Canvas& canvas) const
{
    canvas.Pen.Color = borderColor_;
    canvas.Pen.Width = borderWidth_;
    canvas.Pen.Style = borderPenStyle_;
}

void TLabel3D::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    Canvas canvas;
    canvas.Begin(&painter);
    const Rect client{0, 0, width(), height()};
    if (!Transparent) {
        canvas.Brush.SetColor(Color);
        canvas.Brush.SetStyle(bsSolid);
        canvas.FillRect(client);
    }
    canvas.Brush.SetStyle(bsClear);
    applyBorderPen(canvas);

    if (border_ && borderWidth_ > 0) {
        const int right = width() - 1, bottom = height() - 1;
        const TColor grey = RGBColor(128, 128, 128), white = RGBColor(255, 255, 255);
        for (int i = 0; i < borderWidth_; ++i) {
            if (borderType_ == btDefault) {
                canvas.Rectangle(0, 0, width(), height());
                continue;
            }
            const TColor first = borderType_ == btRecessed ? grey : white;
            const TColor second = borderType_ == btRecessed ? white : grey;
            canvas.Pen.Color = first;
            canvas.Pen.Width = 1;
            canvas.Pen.Style = psSolid;
            canvas.Polyline({QPoint(0, bottom), QPoint(0, 0), QPoint(right, 0)});
            canvas.Pen.Color = second;
            canvas.Polyline({QPoint(right, 0), QPoint(right, bottom), QPoint(-1, bottom)});
        }
        applyBorderPen(canvas);
    }

    unsigned flags = DT_EXPANDTABS | (WordWrap ? unsigned(DT_WORDBREAK) : 0u);
    if (Alignment == taRightJustify)
        flags |= DT_RIGHT;
    else if (Alignment == taCenter)
        flags |= DT_CENTER;
    DoDrawText(canvas, client, flags);
    if (hasFocus())
        canvas.DrawFocusRect(client);
    canvas.End();
}

void TLabel3D::DoDrawText(Canvas& canvas, Rect r, unsigned flags)
{
    QString text = caption_;
    if ((flags & DT_CALCRECT) && (text.isEmpty() || (text == "&" && ShowAccelChar)))
        text += ' ';
    if (!ShowAccelChar)
        flags |= DT_NOPREFIX;
    if (ellipsesStyle_ == esEnd)
        flags |= DT_END_ELLIPSIS;
    else if (ellipsesStyle_ == esPath)
        flags |= DT_PATH_ELLIPSIS;
    if (escapement_ == 0) {
        if (Layout == tlCenter)
            flags |= DT_VCENTER | DT_SINGLELINE;
        else if (Layout == tlBottom)
            flags |= DT_BOTTOM | DT_SINGLELINE;
    }
    canvas.Font = Font;

    if (textStyle_ != tsNone) {
        const int offset = textStyle_ == tsShadow ? shift_ : 1;
        const bool shadowFirst = textStyle_ == tsRaised || textStyle_ == tsLightRaised || textStyle_ == tsShadow;
        Rect moved = r;
        moved.Offset(offset, offset);
        drawOneCopy(canvas, moved, flags, text, shadowFirst ? shadowColor_ : highlightColor_);
        if (textStyle_ == tsLightRaised || textStyle_ == tsHeavyRecessed) {
            Rect back = r;
            back.Offset(-1, -1);
            drawOneCopy(canvas, back, flags, text,
                        textStyle_ == tsLightRaised ? highlightColor_ : shadowColor_);
        }
    }
    // The text reads on what lies behind it: the label's colour, or its parent's when transparent.
    const TColor behind = Transparent ? FromQColor(palette().color(backgroundRole())) : Color;
    drawOneCopy(canvas, r, flags, text, isEnabled() ? ReadableTextColor(Font.Color, behind) : clGrayText);
}

void TLabel3D::drawOneCopy(Canvas& canvas, Rect r, unsigned flags, const QString& text, TColor color)
{
    canvas.Font.Color = color;
    if (escapement_ != 0)
        DrawAngleText(canvas, r, escapement_, text);
    else
        canvas.DrawText(text, r, flags);
}

void TLabel3D::DrawAngleText(Canvas& canvas, Rect r, int angle, const QString& text)
{
    r = CalcTextPos(r, angle, text);
    const int saved = canvas.Font.Orientation;
    canvas.Font.Orientation = angle * 10;
    canvas.TextOut(r.Left, r.Top, text);
    canvas.Font.Orientation = saved;
}

Rect TLabel3D::CalcTextPos(Rect r, int a, const QString& text)
{
    Canvas measure(logicalDpiY());
    measure.Font = Font;
    const QSize extent = measure.TextExtent(text);
    const double W = extent.width(), H = extent.height();
    const double rad = a * M_PI / 180.0;
    auto T = [](double v) { return static_cast<int>(std::trunc(v)); };
    auto deg = [](double d) { return d * M_PI / 180.0; };
    int dx = 0, dy = 0;
    if (a <= 90) {
        dy = T(std::sin(rad) * W);
    } else if (a <= 180) {
        dx = T(-std::cos(rad) * W);
        dy = T(std::sin(rad) * W + std::cos(deg(180 - a)) * H);
    } else if (a <= 270) {
        dx = T(-std::cos(rad) * W + std::sin(deg(a - 180)) * H);
        dy = T(std::sin(deg(270 - a)) * H);
    } else {
        dx = T(std::sin(deg(360 - a)) * H);
    }
    r.Offset(dx, dy);
    const int bw = std::abs(T(std::cos(rad) * W)) + std::abs(T(std::sin(rad) * H));
    const int bh = std::abs(T(std::sin(rad) * W)) + std::abs(T(std::cos(rad) * H));
    if (autoSize_) {
        if (width() != bw || height() != bh) {
            // never resize from inside painting: queue it
            QMetaObject::invokeMethod(this, [this, bw, bh] { resize(bw, bh); }, Qt::QueuedConnection);
        }
    } else if (Alignment == taCenter) {
        r.Left += (width() - bw) / 2;
    } else if (Alignment == taRightJustify) {
        r.Left = r.Left + width() - bw;
    }
    return r;
}

void TLabel3D::enterEvent(QEnterEvent*)
{
    if (isLink()) {
        savedFontColor_ = Font.Color;
        Font.Style |= fsUnderline;
        setCursor(Qt::PointingHandCursor);
        Font.Color = linkColor_;
        update();
    }
    if (OnMouseEnter)
        OnMouseEnter(this);
}

void TLabel3D::leaveEvent(QEvent*)
{
    if (isLink()) {
        unsetCursor();
        Font.Style &= ~unsigned(fsUnderline);
        Font.Color = savedFontColor_;
        update();
    }
    if (OnMouseExit)
        OnMouseExit(this);
}

void TLabel3D::mousePressEvent(QMouseEvent* e)
{
    pressed_ = e->button() == Qt::LeftButton;
}

void TLabel3D::mouseReleaseEvent(QMouseEvent* e)
{
    const bool click = pressed_ && e->button() == Qt::LeftButton && rect().contains(e->position().toPoint());
    pressed_ = false;
    if (click)
        Click();
}

void TLabel3D::keyPressEvent(QKeyEvent* e)
{
    const int key = e->key();
    if (isLink() && (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) &&
        !(e->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        Click();
        return;
    }
    QWidget::keyPressEvent(e);
}

void TLabel3D::focusInEvent(QFocusEvent* e)
{
    QWidget::focusInEvent(e);
    update();
}

void TLabel3D::focusOutEvent(QFocusEvent* e)
{
    QWidget::focusOutEvent(e);
    update();
}

void TLabel3D::Click()
{
    if (isLink() && !Address.isEmpty()) {
        setCursor(Qt::BusyCursor);
        try {
            if (labelStyle_ == lsWWWAddress)
                OpenAddress(Address);
            else
                OpenMail(Address);
        } catch (...) {
            // opening a link never interrupts the program
        }
        setCursor(Qt::PointingHandCursor);
    }
    if (OnClick)
        OnClick(this);
}

