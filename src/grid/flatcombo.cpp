#include "grid/flatcombo.h"

#include "platform/theme.h"

#include <QAbstractItemView>
#include <QEnterEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>

namespace grid {

namespace {

// A one-pixel edge: Dark on the top and left, Light on the bottom and right
// (swapped when raised).
void edgeLines(QPainter& P, const QRect& R, const QColor& TopLeft, const QColor& BottomRight)
{
    P.setPen(TopLeft);
    P.drawLine(R.topLeft(), R.topRight());
    P.drawLine(R.topLeft(), R.bottomLeft());
    P.setPen(BottomRight);
    P.drawLine(R.bottomLeft(), R.bottomRight());
    P.drawLine(R.topRight(), R.bottomRight());
}

void frameRect(QPainter& P, const QRect& R, const QColor& Color)
{
    P.setPen(Color);
    P.setBrush(Qt::NoBrush);
    P.drawRect(R.adjusted(0, 0, -1, -1));
}

}  // namespace

TASGCustomCombo::TASGCustomCombo(QWidget* Owner) : QComboBox(Owner)
{
    buttonWidth_ = style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 2;
    setMaxVisibleItems(8);
    setMouseTracking(true);
}

void TASGCustomCombo::SetMaxLength(int Value)
{
    maxLength_ = std::max(0, Value);
    if (lineEdit())
        lineEdit()->setMaxLength(maxLength_ > 0 ? maxLength_ : 32767);
}

void TASGCustomCombo::SetSorted(bool Value)
{
    sorted_ = Value;
    setInsertPolicy(Value ? QComboBox::InsertAlphabetically : QComboBox::InsertAtBottom);
    if (Value)
        model()->sort(modelColumn());
}

void TASGCustomCombo::SetFlat(bool Value)
{
    flat_ = Value;
    placeEditField();
    update();
}

void TASGCustomCombo::SetEtched(bool Value)
{
    etched_ = Value;
    update();
}

void TASGCustomCombo::SetFocusBorder(bool Value)
{
    focusBorder_ = Value;
    update();
}

void TASGCustomCombo::SetButtonWidth(int Value)
{
    if (Value < 14 || Value > 32)
        return;
    buttonWidth_ = Value;
    placeEditField();
    update();
}

QRect TASGCustomCombo::ButtonRect() const { return QRect(width() - buttonWidth_, 0, buttonWidth_, height()); }

bool TASGCustomCombo::look3D() const { return mouseIn_ || hasFocus(); }

void TASGCustomCombo::showPopup()
{
    droppedDown_ = true;
    QComboBox::showPopup();
    if (dropWidth_ >= 1)
        if (QWidget* list = view()->window(); list && list != window())
            list->resize(dropWidth_, list->height());
    update(ButtonRect());
}

void TASGCustomCombo::hidePopup()
{
    QComboBox::hidePopup();
    droppedDown_ = false;
    buttonUp();
}

void TASGCustomCombo::placeEditField()
{
    if (flat_ && lineEdit())
        lineEdit()->setGeometry(3, 3, std::max(0, width() - buttonWidth_ - 5), std::max(0, height() - 6));
}

void TASGCustomCombo::resizeEvent(QResizeEvent* Event)
{
    QComboBox::resizeEvent(Event);
    placeEditField();
}

void TASGCustomCombo::showEvent(QShowEvent* Event)
{
    QComboBox::showEvent(Event);
    placeEditField();
}

void TASGCustomCombo::paintEvent(QPaintEvent* Event)
{
    if (!flat_) {
        QComboBox::paintEvent(Event);
        return;
    }
    QPainter p(this);
    const QPalette& pal = palette();
    p.fillRect(rect(), pal.color(QPalette::Base));

    // The current item's text, highlighted while a list-only combo has the focus.
    if (!lineEdit()) {
        const QRect textRect(3, 3, width() - buttonWidth_ - 5, height() - 6);
        if (hasFocus() && !droppedDown_) {
            p.fillRect(textRect, pal.color(QPalette::Highlight));
            p.setPen(pal.color(QPalette::HighlightedText));
        } else {
            p.setPen(pal.color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Text));
        }
        p.setFont(font());
        p.drawText(textRect.adjusted(1, 0, -1, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                   fontMetrics().elidedText(currentText(), Qt::ElideRight, std::max(0, textRect.width() - 2)));
    }

    // The drop-down button.
    const QRect button = ButtonRect().adjusted(1, 1, -1, -1);
    if (IsWinXP) {
        platform::HTHEME theme = platform::OpenThemeData(this, QStringLiteral("combobox"));
        platform::DrawThemeBackground(theme, &p, 1, mouseDown_ ? 3 : 1, button);
        platform::CloseThemeData(theme);
    } else {
        platform::StyleGlyphState state;
        state.Flat = true;
        state.Enabled = isEnabled();
        state.Pressed = droppedDown_;
        platform::DrawStyleGlyph(&p, this, platform::StyleGlyph::ComboButton, button, state);
    }
    drawBorders(p);
}

void TASGCustomCombo::drawBorders(QPainter& P)
{
    const QPalette& pal = palette();
    const QWidget* parent = parentWidget();
    const QColor parentColor = parent ? parent->palette().color(parent->backgroundRole()) : pal.color(QPalette::Window);
    const QColor face = pal.color(QPalette::Button);
    const QColor body = pal.color(QPalette::Base);
    const QRect r = rect();

    // The control's border.
    if (look3D() && focusBorder_) {
        edgeLines(P, r, pal.color(QPalette::Dark), pal.color(QPalette::Light));
        frameRect(P, r.adjusted(1, 1, -1, -1), face);
        frameRect(P, r.adjusted(2, 2, -2, -2), body);
    } else {
        frameRect(P, r, parentColor);
        frameRect(P, r.adjusted(1, 1, -1, -1), parentColor);
        frameRect(P, r.adjusted(2, 2, -2, -2), body);
    }

    // The button's border: only the ring outside its inner area.
    P.save();
    const int cw = width(), ch = height();
    QRegion ring(QRect(cw - buttonWidth_, 2, buttonWidth_ - 2, ch - 4));
    ring -= QRegion(QRect(QPoint(cw - buttonWidth_ + 4, 4), QPoint(cw - 5, ch - 5)));
    P.setClipRegion(ring);
    const QRect button(QPoint(cw - buttonWidth_, 2), QPoint(cw - 3, ch - 3));
    if (look3D()) {
        const QColor light = pal.color(QPalette::Light), dark = pal.color(QPalette::Dark);
        if (etched_) {
            edgeLines(P, button, dark, light);
            edgeLines(P, button.adjusted(1, 1, -1, -1), light, dark);
        } else if (droppedDown_) {
            edgeLines(P, button, dark, light);
            edgeLines(P, button.adjusted(1, 1, -1, -1), pal.color(QPalette::Shadow), face);
        } else {
            edgeLines(P, button, light, pal.color(QPalette::Shadow));
            edgeLines(P, button.adjusted(1, 1, -1, -1), face, dark);
        }
    } else {
        P.fillRect(button.adjusted(0, 1, -1, -1), face);
    }
    P.restore();
}

void TASGCustomCombo::changeEvent(QEvent* Event)
{
    if (Event->type() == QEvent::EnabledChange && flat_) {
        QPalette pal = palette();
        if (!isEnabled()) {
            savedColor_ = pal.color(QPalette::Active, QPalette::Base);
            savedParentColor_ = !testAttribute(Qt::WA_SetPalette);
            const QWidget* parent = parentWidget();
            const QColor parentColor =
                parent ? parent->palette().color(parent->backgroundRole()) : pal.color(QPalette::Window);
            pal.setColor(QPalette::Base, parentColor);
            setPalette(pal);
        } else if (savedColor_.isValid()) {
            if (savedParentColor_) {
                setPalette(QPalette());
                setAttribute(Qt::WA_SetPalette, false);
            } else {
                pal.setColor(QPalette::Base, savedColor_);
                setPalette(pal);
            }
            savedColor_ = QColor();
        }
    }
    QComboBox::changeEvent(Event);
}

void TASGCustomCombo::enterEvent(QEnterEvent* Event)
{
    if (isEnabled() && !mouseIn_) {
        mouseIn_ = true;
        update();
    }
    if (AutoFocus)
        setFocus(Qt::MouseFocusReason);
    QComboBox::enterEvent(Event);
}

void TASGCustomCombo::leaveEvent(QEvent* Event)
{
    if (isEnabled() && mouseIn_) {
        mouseIn_ = false;
        update();
    }
    QComboBox::leaveEvent(Event);
}

void TASGCustomCombo::focusInEvent(QFocusEvent* Event)
{
    QComboBox::focusInEvent(Event);
    update();
}

void TASGCustomCombo::focusOutEvent(QFocusEvent* Event)
{
    QComboBox::focusOutEvent(Event);
    update();
}

void TASGCustomCombo::mousePressEvent(QMouseEvent* Event)
{
    if (Event->button() == Qt::LeftButton || Event->button() == Qt::RightButton) {
        mouseDown_ = true;
        update(ButtonRect());
    }
    QComboBox::mousePressEvent(Event);
}

void TASGCustomCombo::mouseReleaseEvent(QMouseEvent* Event)
{
    buttonUp();
    QComboBox::mouseReleaseEvent(Event);
}

// Also when the release is lost to a modal window.
bool TASGCustomCombo::event(QEvent* Event)
{
    return pressWatch_.Handle(Event, [&] { return QComboBox::event(Event); });
}

void TASGCustomCombo::buttonUp()
{
    mouseDown_ = false;
    update(ButtonRect());
}

}  // namespace grid
