#include "platform/screenroom.h"

#include <QApplication>
#include <QBoxLayout>
#include <QComboBox>
#include <QEvent>
#include <QLineEdit>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QWidget>

#include <algorithm>

namespace platform {

namespace {

// Room the window manager's frame takes around a window not yet shown.
constexpr QSize kFrameGuess(16, 48);

// A scroll area that asks for the whole of its body: Qt's own asks for no
// more than a few dozen lines, which would scroll a body that has room.
class BodyArea : public QScrollArea {
public:
    using QScrollArea::QScrollArea;
    QSize sizeHint() const override
    {
        const int frame = 2 * frameWidth();
        return widget() ? widget()->sizeHint() + QSize(frame, frame) : QScrollArea::sizeHint();
    }
};

// A combo box in a scrolling body takes the wheel only once it has the
// focus: the wheel gives it none (it would otherwise take the focus and then
// the turn), and goes past a box without it to the body, which scrolls. The
// user who scrolls the window over a box does not change its value.
class ComboWheelGuard : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* target, QEvent* event) override
    {
        const QEvent::Type type = event->type();
        if (type != QEvent::Polish && type != QEvent::Wheel)
            return false;
        auto* box = qobject_cast<QComboBox*>(target);
        if (!box || !inScrollingBody(box))
            return false;
        if (type == QEvent::Polish) {  // before it is first shown, in its place
            if ((box->focusPolicy() & Qt::WheelFocus) == Qt::WheelFocus)
                box->setFocusPolicy(Qt::StrongFocus);
            return false;
        }
        if (box->hasFocus())
            return false;
        event->ignore();  // on to the widgets around it
        return true;
    }

private:
    static bool inScrollingBody(const QWidget* widget)
    {
        for (const QWidget* up = widget->parentWidget(); up && !up->isWindow(); up = up->parentWidget())
            if (dynamic_cast<const BodyArea*>(up))
                return true;
        return false;
    }
};

class ScreenFitter : public QObject {
public:
    ScreenFitter(QWidget* window, const QSize& wanted) : QObject(window), window_(window), wanted_(wanted)
    {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != window_ || event->type() != QEvent::Show || event->spontaneous())
            return false;
        // shown again (an editor after a refused save): the size it had
        const QSize size = shown_ ? window_->size() : wanted_.expandedTo(window_->sizeHint());
        shown_ = true;
        window_->resize(size.boundedTo(RoomInside(window_)));
        return false;
    }

private:
    QWidget* window_;
    QSize wanted_;
    bool shown_ = false;
};

}  // namespace

ButtonRows::ButtonRows(QWidget* parent, Kind kind, Qt::Alignment side, int columns)
    : QLayout(parent), kind_(kind), side_(side), columns_(columns)
{
}

ButtonRows::~ButtonRows()
{
    while (QLayoutItem* item = takeAt(0))
        delete item;
}

void ButtonRows::addItem(QLayoutItem* item) { items_.append(item); }

QLayoutItem* ButtonRows::takeAt(int index)
{
    return index >= 0 && index < items_.size() ? items_.takeAt(index) : nullptr;
}

QSize ButtonRows::sizeHint() const
{
    // all on one row (equal columns: as many as it may have)
    QSize size;
    int shown = 0;
    for (QLayoutItem* item : items_) {
        if (item->isEmpty())
            continue;
        const QSize hint = item->sizeHint();
        size = QSize(size.width() + hint.width(), std::max(size.height(), hint.height()));
        ++shown;
    }
    if (kind_ == EqualColumns && columns_ > 0 && shown > columns_) {
        size.setWidth(minimumSize().width() * columns_);
        size.setHeight(size.height() * ((shown + columns_ - 1) / columns_));
    }
    size.rwidth() += std::max(0, shown - 1) * spacing();
    const QMargins m = contentsMargins();
    return size.grownBy(m);
}

QSize ButtonRows::minimumSize() const
{
    QSize widest;
    for (QLayoutItem* item : items_)
        if (!item->isEmpty())
            widest = widest.expandedTo(item->sizeHint());
    return widest.grownBy(contentsMargins());
}

void ButtonRows::setGeometry(const QRect& rect)
{
    QLayout::setGeometry(rect);
    place(rect, true);
}

int ButtonRows::place(const QRect& rect, bool move) const
{
    const QRect inside = rect.marginsRemoved(contentsMargins());
    const int gap = std::max(0, spacing());
    QList<QLayoutItem*> shown;
    int widest = 0;
    for (QLayoutItem* item : items_)
        if (!item->isEmpty()) {
            shown.append(item);
            widest = std::max(widest, item->sizeHint().width());
        }
    int y = inside.y();
    qsizetype next = 0;
    while (next < shown.size()) {
        // the buttons of this row and their widths
        QList<int> widths;
        int used = 0;
        int height = 0;
        if (kind_ == EqualColumns) {
            int columns = std::max(1, (inside.width() + gap) / std::max(1, widest + gap));
            if (columns_ > 0)
                columns = std::min(columns, columns_);
            const int each = std::max(widest, (inside.width() - gap * (columns - 1)) / columns);
            for (qsizetype i = next; i < shown.size() && widths.size() < columns; ++i)
                widths.append(each);
            used = inside.width();
        } else {
            for (qsizetype i = next; i < shown.size(); ++i) {
                const int w = shown[i]->sizeHint().width();
                if (!widths.isEmpty() && used + gap + w > inside.width())
                    break;
                used += (widths.isEmpty() ? 0 : gap) + w;
                widths.append(w);
            }
        }
        for (qsizetype i = 0; i < widths.size(); ++i)
            height = std::max(height, shown[next + i]->sizeHint().height());
        int x = side_ & Qt::AlignRight ? inside.right() + 1 - used : inside.x();
        for (qsizetype i = 0; i < widths.size(); ++i) {
            if (move)
                shown[next + i]->setGeometry(QRect(x, y, widths[i], height));
            x += widths[i] + gap;
        }
        next += widths.size();
        y += height + (next < shown.size() ? gap : 0);
    }
    return y - inside.y() + contentsMargins().top() + contentsMargins().bottom();
}

QBoxLayout* ScrollingBody(QWidget* window, QWidget*& body)
{
    static const bool guarded = [] {
        qApp->installEventFilter(new ComboWheelGuard(qApp));
        return true;
    }();
    (void)guarded;
    auto* outer = new QVBoxLayout(window);
    auto* area = new BodyArea(window);
    area->setFrameShape(QFrame::NoFrame);
    area->setFocusPolicy(Qt::NoFocus);  // Tab goes to the controls in it, which it scrolls into view
    area->setWidgetResizable(true);
    body = new QWidget(area);
    area->setWidget(body);
    outer->addWidget(area, 1);
    return outer;
}

void OpenWithinScreen(QWidget* window, const QSize& wanted) { new ScreenFitter(window, wanted); }

QSize RoomInside(const QWidget* window)
{
    const QScreen* screen = window->screen();
    if (!screen)
        return QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    QSize frame = kFrameGuess;
    if (window->isVisible())
        frame = frame.expandedTo(window->frameGeometry().size() - window->size());
    return (screen->availableGeometry().size() - frame).expandedTo(QSize(1, 1));
}

void WidenForDigits(QLineEdit* edit, int chars)
{
    const QFontMetrics metrics = edit->fontMetrics();
    const QMargins margins = edit->textMargins();
    // the line edit's own room around its text
    constexpr int kTextRoom = 4;
    const QSize text(metrics.horizontalAdvance(QString(chars, u'0')) + margins.left() + margins.right() + kTextRoom,
                     metrics.height());
    QStyleOptionFrame option;
    option.initFrom(edit);
    option.lineWidth = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit);
    edit->setMinimumWidth(edit->style()->sizeFromContents(QStyle::CT_LineEdit, &option, text, edit).width());
}

}  // namespace platform
