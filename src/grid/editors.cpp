#include "grid/editors.h"

#include <QPainter>
#include <QPolygon>
#include <QRegion>
#include <QTextCharFormat>

namespace grid {

namespace {
void startHidden(QWidget* w)
{
    w->hide();
    w->setEnabled(false);
}
}  // namespace

TGridCombo::TGridCombo(QWidget* Owner) : TASGCustomCombo(Owner) { startHidden(this); }

TGridSpin::TGridSpin(QWidget* Owner) : TAsgSpinEdit(Owner) { startHidden(this); }

TGridDatePicker::TGridDatePicker(QWidget* Owner) : QDateTimeEdit(Owner)
{
    setCalendarPopup(true);
    startHidden(this);
}

TGridCheckBox::TGridCheckBox(QWidget* Owner) : QCheckBox(Owner) { startHidden(this); }

TGridEditBtn::TGridEditBtn(QWidget* Owner) : TAsgEditBtn(Owner) { startHidden(this); }

TGridUnitEditBtn::TGridUnitEditBtn(QWidget* Owner) : TAsgUnitEditBtn(Owner) { startHidden(this); }

TGridButton::TGridButton(QWidget* Owner) : QPushButton(Owner) { startHidden(this); }

TGridRichEdit::TGridRichEdit(QWidget* Owner) : QTextEdit(Owner) { startHidden(this); }

void TGridRichEdit::SelFormat(int Offset)
{
    QTextCharFormat format;
    format.setVerticalAlignment(Offset > 0   ? QTextCharFormat::AlignSuperScript
                                : Offset < 0 ? QTextCharFormat::AlignSubScript
                                             : QTextCharFormat::AlignNormal);
    mergeCurrentCharFormat(format);
}

// The arrow pointing up inside an 11 x 11 box; the other directions turn it.
static QPolygon arrowPolygon(TArrowDirection d)
{
    const QPoint up[] = {{5, 0}, {10, 5}, {7, 5}, {7, 9}, {3, 9}, {3, 5}, {0, 5}};
    QPolygon p;
    for (QPoint q : up) {
        switch (d) {
        case arrUp: p << q; break;
        case arrDown: p << QPoint(q.x(), 10 - q.y()); break;
        case arrLeft: p << QPoint(q.y(), q.x()); break;
        case arrRight: p << QPoint(10 - q.y(), q.x()); break;
        }
    }
    return p;
}

TArrowWindow::TArrowWindow(QWidget* Owner, TArrowDirection Direction)
    : QWidget(Owner, Qt::ToolTip | Qt::FramelessWindowHint), direction_(Direction)
{
    resize(11, 11);
    setMask(QRegion(arrowPolygon(direction_)));
    hide();
}

void TArrowWindow::SetColor(platform::TColor Color)
{
    color_ = Color;
    update();
}

void TArrowWindow::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), platform::ToQColor(color_));
}

TPopupButton::TPopupButton(QWidget* Owner)
    : QWidget(Owner, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    hide();
}

void TPopupButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRect r = rect();
    p.fillRect(r, platform::ToQColor(platform::clBtnFace));
    if (!Flat) {
        p.setPen(Qt::white);
        p.drawLine(r.topLeft(), r.topRight());
        p.drawLine(r.topLeft(), r.bottomLeft());
        p.setPen(Qt::gray);
        p.drawLine(r.bottomLeft(), r.bottomRight());
        p.drawLine(r.topRight(), r.bottomRight());
    }
    p.setPen(palette().color(QPalette::ButtonText));
    const QString text = fontMetrics().elidedText(Caption, Qt::ElideRight, r.width() - 4);
    p.drawText(r, Qt::AlignCenter | Qt::TextSingleLine, text);
}

}  // namespace grid
