#include "grid/editbtn.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>

#include <algorithm>

namespace grid {

TAsgSpeedButton::TAsgSpeedButton(QWidget* Owner) : QToolButton(Owner)
{
    connect(this, &QAbstractButton::clicked, this, [this] {
        if (!mouseRelease_ && OnMouseDown)
            OnMouseDown();
    });
}

void TAsgSpeedButton::mouseReleaseEvent(QMouseEvent* Event)
{
    mouseRelease_ = true;
    QToolButton::mouseReleaseEvent(Event);
    mouseRelease_ = false;
}

void TAsgSpeedButton::mousePressEvent(QMouseEvent* Event)
{
    QPointer<TAsgSpeedButton> self(this);
    QToolButton::mousePressEvent(Event);
    if (Event->button() == Qt::LeftButton && OnMouseDown) {
        OnMouseDown();
        // A menu or dialog opened by the handler took the release.
        if (self && !(QApplication::mouseButtons() & Qt::LeftButton) && QApplication::activePopupWidget() == nullptr)
            setDown(false);
    }
}

// ---------------------------------------------------------------- TAsgEditButton

TAsgEditButton::TAsgEditButton(QWidget* Owner) : QWidget(Owner), button_(new TAsgSpeedButton(this))
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    button_->setFocusPolicy(Qt::NoFocus);
    button_->OnMouseDown = [this] {
        if (OnClick)
            OnClick();
        if (FocusControl && FocusControl->focusPolicy() != Qt::NoFocus && FocusControl->isEnabled() &&
            FocusControl->isVisible() && !FocusControl->hasFocus())
            FocusControl->setFocus(Qt::MouseFocusReason);
        else if (!FocusControl && focusPolicy() != Qt::NoFocus && !hasFocus())
            setFocus(Qt::MouseFocusReason);
    };
    resize(20, 25);
}

void TAsgEditButton::SetGlyph(const QImage& Value)
{
    glyph_ = Value;
    button_->setIcon(Value.isNull() ? QIcon() : QIcon(QPixmap::fromImage(Value)));
    if (!Value.isNull())
        button_->setIconSize(Value.size());
}

void TAsgEditButton::resizeEvent(QResizeEvent* Event)
{
    QWidget::resizeEvent(Event);
    button_->setGeometry(0, 0, std::max(15, width()), height());
}

// ---------------------------------------------------------------- TAsgEditBtn

TAsgEditBtn::TAsgEditBtn(QWidget* Owner) : QLineEdit(Owner), button_(new TAsgEditButton(this))
{
    button_->resize(15, 17);
    button_->FocusControl = this;
    button_->OnClick = [this] { BtnClick(this); };
    button_->show();
    // The button has no caption: its name says what it does (F4 does it from the edit).
    button_->SetUncaptionedName(QStringLiteral("Choose value"));
    setText(QStringLiteral("0"));
    setEditRect();
}

void TAsgEditBtn::SetRightAlign(bool Value)
{
    rightAlign_ = Value;
    setAlignment((Value ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
}

void TAsgEditBtn::SetButtonWidth(int Value)
{
    button_->resize(Value, button_->height());
    QResizeEvent e(size(), size());
    resizeEvent(&e);
}

void TAsgEditBtn::SetBorderStyle(bool Single)
{
    setFrame(Single);
    setEditRect();
}

void TAsgEditBtn::BtnClick(QObject* Sender)
{
    (void)Sender;
    if (OnClickBtn)
        OnClickBtn(this);
}

// Positions follow the system's edit: the edit rectangle is counted in client
// coordinates (inside the 2-pixel border when there is one), the button from
// the control's outer width.
int TAsgEditBtn::borderWidth() const { return hasFrame() ? 2 : 0; }

QRect TAsgEditBtn::EditRect() const
{
    const int o = borderWidth();
    const int m = hasFrame() ? 1 : 2;
    const int clientWidth = width() - 2 * o, clientHeight = height() - 2 * o;
    return QRect(QPoint(o + m, o + m), QPoint(o + clientWidth - ButtonWidth() - 3 - unitSpace_ - 1, o + clientHeight));
}

void TAsgEditBtn::setEditRect()
{
    const QRect r = EditRect();
    const int o = borderWidth();
    setTextMargins(r.left() - o, r.top() - o, width() - o - r.right() - 1, 0);
}

int EditTextMinHeight(const QWidget* Edit)
{
    const int system = QFontMetrics(QApplication::font()).height();
    const int own = Edit->fontMetrics().height();
    return own + std::min(system, own) / 4;
}

int TAsgEditBtn::MinHeight() const { return EditTextMinHeight(this); }

void TAsgEditBtn::resizeEvent(QResizeEvent* Event)
{
    QLineEdit::resizeEvent(Event);
    if (height() < MinHeight()) {
        resize(width(), MinHeight());
        return;
    }
    const int d = hasFrame() ? 5 : 2;
    const int o = borderWidth();
    button_->setGeometry(width() - ButtonWidth() - d + o, o, ButtonWidth(), height() - d);
    setEditRect();
}

bool KeyChangesText(QKeyEvent* Event)
{
    if (Event->matches(QKeySequence::Paste) || Event->matches(QKeySequence::Cut) ||
        Event->matches(QKeySequence::Delete) || Event->matches(QKeySequence::DeleteEndOfWord) ||
        Event->matches(QKeySequence::DeleteStartOfWord) || Event->matches(QKeySequence::DeleteEndOfLine) ||
        Event->matches(QKeySequence::Undo) || Event->matches(QKeySequence::Redo))
        return true;
    if (Event->key() == Qt::Key_Backspace || Event->key() == Qt::Key_Delete)
        return true;
    const QString text = Event->text();
    return !text.isEmpty() && text.at(0).isPrint() && !(Event->modifiers() & Qt::ControlModifier);
}

void ShowEditMenu(QLineEdit* Edit, QContextMenuEvent* Event, bool CanChange)
{
    QMenu* menu = Edit->createStandardContextMenu();
    for (QAction* action : menu->actions()) {
        const QString name = action->objectName();
        if (!CanChange && (name == QLatin1String("edit-cut") || name == QLatin1String("edit-paste") ||
                           name == QLatin1String("edit-delete") || name == QLatin1String("edit-undo") ||
                           name == QLatin1String("edit-redo")))
            action->setEnabled(false);
    }
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(Event->globalPos());
}

void TAsgEditBtn::keyPressEvent(QKeyEvent* Event)
{
    const bool pasteOrCut = Event->matches(QKeySequence::Paste) || Event->matches(QKeySequence::Cut);
    if ((!EditorEnabled && KeyChangesText(Event)) || (pasteOrCut && isReadOnly())) {
        Event->accept();
        return;
    }
    QLineEdit::keyPressEvent(Event);
    if (Event->key() == Qt::Key_F4)
        BtnClick(this);
}

void TAsgEditBtn::inputMethodEvent(QInputMethodEvent* Event)
{
    if (EditorEnabled)
        QLineEdit::inputMethodEvent(Event);
}

bool TAsgEditBtn::event(QEvent* Event)
{
    // A refused paste or cut shortcut must not reach another widget either.
    if (Event->type() == QEvent::ShortcutOverride && !EditorEnabled) {
        auto* key = static_cast<QKeyEvent*>(Event);
        if (KeyChangesText(key)) {
            key->accept();
            return true;
        }
    }
    return QLineEdit::event(Event);
}

void TAsgEditBtn::focusInEvent(QFocusEvent* Event)
{
    QLineEdit::focusInEvent(Event);
    if (Event->reason() != Qt::MouseFocusReason)
        selectAll();
}

void TAsgEditBtn::contextMenuEvent(QContextMenuEvent* Event) { ShowEditMenu(this, Event, EditorEnabled && !isReadOnly()); }

// ---------------------------------------------------------------- TAsgUnitEditBtn

TAsgUnitEditBtn::TAsgUnitEditBtn(QWidget* Owner) : TAsgEditBtn(Owner)
{
    unitSpace_ = 20;
    SetRightAlign(true);
    setEditRect();
    ButtonPanel()->SetUncaptionedName(QStringLiteral("Choose unit"));
}

void TAsgUnitEditBtn::SetUnitID(const QString& Value)
{
    unitID_ = Value;
    update();
}

void TAsgUnitEditBtn::SetUnitSpace(int Value)
{
    unitSpace_ = std::max(0, Value);
    setEditRect();
    update();
}

QRect TAsgUnitEditBtn::UnitRect() const
{
    const int o = borderWidth();
    const int x = o + width() - 2 * o - ButtonWidth() - 3 - unitSpace_;
    return QRect(QPoint(x, o + 2), QPoint(x + unitSpace_ - 1, height() - o - 1));
}

void TAsgUnitEditBtn::paintEvent(QPaintEvent* Event)
{
    TAsgEditBtn::paintEvent(Event);
    QPainter p(this);
    p.setFont(font());
    p.setPen(palette().color(QPalette::Text));
    p.drawText(UnitRect(), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, unitID_);
}

void TAsgUnitEditBtn::BtnClick(QObject*)
{
    QMenu menu(this);
    const std::vector<std::string> units = units_;
    for (const std::string& unit : units) {
        const QString name = QString::fromStdString(unit);
        QObject::connect(menu.addAction(name), &QAction::triggered, this, [this, name] { SetUnitID(name); });
    }
    menu.exec(mapToGlobal(QPoint(width() - 15, height())));
}

}  // namespace grid
