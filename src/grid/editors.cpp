#include "grid/editors.h"

#include "grid/listgrid.h"
#include "platform/beep.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCalendarWidget>
#include <QKeyEvent>
#include <QLineEdit>
#include <QWheelEvent>

#include <QPainter>
#include <QPolygon>
#include <QRegion>
#include <QTextCharFormat>

namespace grid {

using namespace platform;

namespace {

void startHidden(QWidget* w)
{
    w->hide();
    w->setEnabled(false);
}

bool isDigit(QChar C) { return C >= QLatin1Char('0') && C <= QLatin1Char('9'); }

// The key of Event handed to the grid's own key handling.
void passToGrid(RIvuZuvuzoZuvu* Grid, int QtKey, Qt::KeyboardModifiers Modifiers, QEvent::Type Type = QEvent::KeyPress)
{
    QKeyEvent key(Type, QtKey, Modifiers);
    QApplication::sendEvent(Grid, &key);
}

void caretToEnd(QLineEdit* Edit)
{
    if (Edit)
        Edit->setCursorPosition(Edit->text().size());
}

// The current cell takes the control's text and is validated. A refusal
// puts the cell's text back into the control, caret at the end, and the
// edit goes on (false); otherwise the control shows what the cell now holds.
template <class Control>
bool writeAndValidate(Control* C, QLineEdit* Edit)
{
    RIvuZuvuzoZuvu* grid = C->Grid;
    const std::string text = C->CellText().toStdString();
    grid->SetCurrentCell(text);
    const bool valid = grid->ValidateCell(text);
    C->SetCellText(QString::fromStdString(grid->GetCurrentCell()));
    if (!valid) {
        caretToEnd(Edit);
        C->update();
    }
    return valid;
}

// The keys by which the edit-with-button editors end the edit: Enter, Up
// and Down write and validate first, Escape brings back the cell's text.
template <class Control>
bool textEditorKey(Control* C, QKeyEvent* Event, int key)
{
    switch (key) {
    case VK_TAB:
    case VK_RETURN:
    case VK_ESCAPE:
    case VK_PRIOR:
    case VK_NEXT:
    case VK_UP:
    case VK_DOWN: break;
    default: return false;
    }
    if (key == VK_ESCAPE)
        C->SetCellText(QString::fromStdString(C->Grid->GetCurrentCell()));
    else if ((key == VK_RETURN || key == VK_UP || key == VK_DOWN) && !writeAndValidate(C, C))
        return true;
    C->Grid->DoneInplaceEdit(key, ShiftStateOf(Event->modifiers()));
    return true;
}

// Upper case of A-Z only, so that lengths and positions stay as typed.
QString asciiUpper(QString S)
{
    for (QChar& c : S)
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            c = QChar(c.unicode() - 32);
    return S;
}

}  // namespace

RIvuZuvuzoZuvu* OwningGrid(QWidget* Owner)
{
    for (QWidget* w = Owner; w; w = w->parentWidget())
        if (auto* grid = dynamic_cast<RIvuZuvuzoZuvu*>(w))
            return grid;
    return nullptr;
}

void EndEditOnExit(RIvuZuvuzoZuvu* Grid, QWidget* Control, QFocusEvent* Event)
{
    if (!Grid || Event->reason() == Qt::PopupFocusReason || Event->reason() == Qt::ActiveWindowFocusReason)
        return;
    if (!Control->isVisible() || !Control->isEnabled() || !Grid->EditActive() || QApplication::activePopupWidget())
        return;
    QWidget* now = QApplication::focusWidget();
    if (now && (now == Control || Control->isAncestorOf(now)))
        return;
    Grid->HideInplaceEdit();
}

bool FocusNextControl(QWidget* Control, bool Next)
{
    for (QWidget* w = Next ? Control->nextInFocusChain() : Control->previousInFocusChain(); w && w != Control;
         w = Next ? w->nextInFocusChain() : w->previousInFocusChain()) {
        if (w->window() == Control->window() && w->isVisible() && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus) &&
            !Control->isAncestorOf(w)) {
            w->setFocus(Next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            return true;
        }
    }
    return false;
}

TCharVerdict NumericCharVerdict(QChar C, const QString& Text, int Caret)
{
    if (C == QLatin1Char('-'))
        return Text.contains(QLatin1Char('-')) || Caret != 0 ? TCharVerdict::Beep : TCharVerdict::Take;
    return isDigit(C) ? TCharVerdict::Take : TCharVerdict::Beep;
}

TCharVerdict FloatCharVerdict(QChar C, const QString& Text, int Caret, const QString& Selected)
{
    const QLatin1Char dot('.'), comma(','), minus('-');
    if (!isDigit(C) && C != comma && C != minus && C != dot)
        return TCharVerdict::Drop;
    if ((C == dot || C == comma) && ((Text.contains(dot) && !Selected.contains(dot)) ||
                                     (Text.contains(comma) && !Selected.contains(comma))))
        return TCharVerdict::Drop;
    if (C == minus && !(Caret == 0 && !Text.contains(minus)) && !Selected.contains(minus))
        return TCharVerdict::Beep;
    return TCharVerdict::Take;
}

// ---------------------------------------------------------------- TGridCombo

TGridCombo::TGridCombo(QWidget* Owner) : TGridControl(Owner)
{
    SetButtonWidth(16);
    setInsertPolicy(QComboBox::NoInsert);
    view()->installEventFilter(this);
    connect(this, &QComboBox::activated, this, [this](int Index) {
        if (Grid && Index >= 0)
            reportChange(Grid, Index, itemText(Index));
    });
}

void TGridCombo::reportChange(QObject* Sender, int Index, const QString& Text)
{
    const std::string text = Text.toStdString();
    if (Grid->OnComboChange)
        Grid->OnComboChange(Sender, Grid->Col(), Grid->Row(), Index, text);
    if (Index >= 0 && Grid->OnComboObjectChange)
        Grid->OnComboObjectChange(Sender, Grid->Col(), Grid->Row(), Index, text,
                                  static_cast<Object*>(itemData(Index).value<void*>()));
}

void TGridCombo::attachLineEdit()
{
    QLineEdit* edit = lineEdit();
    if (!edit || edit == attached_)
        return;
    attached_ = edit;
    edit->setCompleter(nullptr);  // completion is the grid's Lookup, below
    connect(edit, &QLineEdit::textEdited, this, [this](const QString& Text) {
        if (Grid)
            reportChange(Grid, -1, Text);
    });
}

void TGridCombo::SetCellText(const QString& Text)
{
    const int at = findText(Text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (at >= 0)
        setCurrentIndex(at);
    if (isEditable())
        setEditText(Text);
}

void TGridCombo::SizeDropDownWidth()
{
    int w = width();
    const bool scrollBar = count() > DropDownCount();
    for (int i = 0; i < count(); ++i) {
        const int t = Grid ? Grid->Canvas().TextWidth(itemText(i)) : fontMetrics().horizontalAdvance(itemText(i));
        if (scrollBar) {
            if (w - 25 < t)
                w = t + 25;
        } else if (w - 5 < t) {
            w = t + 8;
        }
    }
    SetDropWidth(w);
}

void TGridCombo::gridKey(int Key, ShiftState Shift, bool ListLike, Qt::KeyboardModifiers Modifiers)
{
    if (!Grid->EditActive())
        return;
    if (Key == VK_ESCAPE) {
        SetCellText(QString::fromStdString(Grid->GetCurrentCell()));
    } else if (Key == VK_RETURN || Key == VK_UP || Key == VK_DOWN) {
        if (!writeAndValidate(this, lineEdit()))
            return;
    }
    if (ListLike && (Key == VK_LEFT || Key == VK_RIGHT)) {
        passToGrid(Grid, Key == VK_LEFT ? Qt::Key_Left : Qt::Key_Right, Modifiers);
        Key = 0;
    }
    Grid->DoneInplaceEdit(Key, Shift);
}

bool TGridCombo::gridKeyPress(QKeyEvent* Event, int Key)
{
    lookup_ = Key != VK_BACK && Key != VK_DELETE;
    const bool listLike = !isEditable() || DroppedDown();
    bool ends = Key == VK_TAB || Key == VK_RETURN || Key == VK_ESCAPE;
    if (listLike)
        ends = ends || Key == VK_LEFT || Key == VK_RIGHT;
    else
        ends = ends || Key == VK_PRIOR || Key == VK_NEXT || Key == VK_END || Key == VK_UP || Key == VK_DOWN;
    if (ends)
        gridKey(Key, ShiftStateOf(Event->modifiers()), listLike, Event->modifiers());
    return ends;
}

// Keys of the open list: Tab, Left and Right close it and end the edit at
// once; Enter and Escape first pick or close as the list does, then end it.
bool TGridCombo::eventFilter(QObject* Watched, QEvent* Event)
{
    const bool key = Event->type() == QEvent::KeyPress || Event->type() == QEvent::ShortcutOverride;
    if (Grid && key && Watched == view() && view()->isVisible()) {
        auto* k = static_cast<QKeyEvent*>(Event);
        const int vk = VirtualKeyOf(*k);
        const ShiftState shift = ShiftStateOf(k->modifiers());
        if (Event->type() == QEvent::KeyPress && (vk == VK_TAB || vk == VK_LEFT || vk == VK_RIGHT)) {
            hidePopup();
            gridKey(vk, shift, true, k->modifiers());
            return true;
        }
        if ((vk == VK_RETURN || vk == VK_ESCAPE) && !popupKeyQueued_) {
            popupKeyQueued_ = true;
            const Qt::KeyboardModifiers modifiers = k->modifiers();
            QMetaObject::invokeMethod(
                this,
                [this, vk, shift, modifiers] {
                    popupKeyQueued_ = false;
                    if (isVisible())
                        gridKey(vk, shift, true, modifiers);
                },
                Qt::QueuedConnection);
        }
    }
    return TASGCustomCombo::eventFilter(Watched, Event);
}

void TGridCombo::keyReleaseEvent(QKeyEvent* Event)
{
    if (Grid && VirtualKeyOf(*Event) == VK_RETURN) {
        Event->accept();
        return;
    }
    TASGCustomCombo::keyReleaseEvent(Event);
    if (Grid)
        complete();
    Event->accept();
}

// The typed text completed from the combo's own items, the added part selected.
void TGridCombo::complete()
{
    QLineEdit* edit = lineEdit();
    if (!edit || !lookup_ || !Grid->Lookup)
        return;
    const int typedLength = edit->hasSelectedText() ? edit->selectionStart() : edit->cursorPosition();
    const QString typed = edit->text().left(typedLength);
    if (typed.isEmpty())
        return;
    const bool caseSensitive = Grid->LookupCaseSensitive;
    const QString prefix = caseSensitive ? typed : asciiUpper(typed);
    for (int i = 0; i < count(); ++i) {
        const QString item = itemText(i);
        if (!(caseSensitive ? item : asciiUpper(item)).startsWith(prefix))
            continue;
        const QString text = (typed + item.mid(typed.size())).left(255);
        setCurrentIndex(i);
        edit->setText(text);
        edit->setSelection(typed.size(), text.size() - typed.size());
        return;
    }
}

// One item per notch of the wheel, kept within the list, and the new item reported.
void TGridCombo::wheelEvent(QWheelEvent* Event)
{
    if (!Grid) {
        TASGCustomCombo::wheelEvent(Event);
        return;
    }
    Event->accept();
    wheelRest_ += Event->angleDelta().y();
    int index = currentIndex();
    bool notched = false;
    while (std::abs(wheelRest_) >= 120) {
        notched = true;
        index += wheelRest_ < 0 ? 1 : -1;
        wheelRest_ += wheelRest_ < 0 ? 120 : -120;
    }
    if (!notched || count() == 0)
        return;
    index = std::clamp(index, 0, count() - 1);
    setCurrentIndex(index);
    reportChange(this, index, itemText(index));
}

void TGridCombo::showEvent(QShowEvent* Event)
{
    attachLineEdit();
    TASGCustomCombo::showEvent(Event);
}

void TGridCombo::focusInEvent(QFocusEvent* Event)
{
    attachLineEdit();
    TASGCustomCombo::focusInEvent(Event);
    // The click that opened the edit puts the caret under the mouse, nothing selected.
    if (Grid && Grid->caretClick_) {
        if (QLineEdit* edit = lineEdit()) {
            const QPoint at = edit->mapFrom(Grid->viewport(), *Grid->caretClick_);
            if (edit->rect().contains(at))
                edit->setCursorPosition(edit->cursorPositionAt(at));
        }
        Grid->caretClick_.reset();
    }
}

void TGridCombo::focusOutEvent(QFocusEvent* Event)
{
    const bool away = Event->reason() != Qt::PopupFocusReason && Event->reason() != Qt::ActiveWindowFocusReason;
    if (away && Grid && Grid->LookupHistory && isEditable()) {
        const QString text = currentText();
        if (!text.isEmpty() && findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive) < 0)
            addItem(text);
    }
    TGridControl::focusOutEvent(Event);
}

// ---------------------------------------------------------------- TGridSpin

TGridSpin::TGridSpin(QWidget* Owner) : TGridControl(Owner)
{
    MinValue = 0;
    MaxValue = 100;
    Increment = 1;
}

void TGridSpin::UpClick(QObject* Sender)
{
    TAsgSpinEdit::UpClick(Sender);
    report(true);
}

void TGridSpin::DownClick(QObject* Sender)
{
    TAsgSpinEdit::DownClick(Sender);
    report(false);
}

void TGridSpin::report(bool Up)
{
    if (!Grid)
        return;
    const auto fire = [this, Up](const auto& Handler, auto Value) {
        if (Handler)
            Handler(Grid, Grid->Col(), Grid->Row(), Value, Up);
    };
    switch (SpinType()) {
    case sptNormal: fire(Grid->OnSpinClick, Value()); break;
    case sptFloat: fire(Grid->OnFloatSpinClick, FloatValue()); break;
    case sptDate: fire(Grid->OnDateSpinClick, DateValue()); break;
    case sptTime: fire(Grid->OnTimeSpinClick, TimeValue()); break;
    }
}

// Page Up and Page Down step when the result stays within the limits (equal
// limits are none); End goes to the minimum, Home to the maximum.
void TGridSpin::pageKey(int Key)
{
    const auto page = [Key](auto V, auto Step, auto Min, auto Max, const auto& Set) {
        const auto within = [&](auto X) { return Min == Max || (X >= Min && X <= Max); };
        if (Key == VK_PRIOR && within(V + Step))
            Set(V + Step);
        else if (Key == VK_NEXT && within(V - Step))
            Set(V - Step);
        else if (Key == VK_END || Key == VK_HOME)
            Set(Key == VK_END ? Min : Max);
    };
    if (SpinType() == sptNormal)
        page(static_cast<long long>(Value()), static_cast<long long>(Increment), static_cast<long long>(MinValue),
             static_cast<long long>(MaxValue), [this](long long V) { SetValue(static_cast<int>(V)); });
    else
        page(FloatValue(), IncrementFloat, MinFloatValue, MaxFloatValue, [this](double V) { SetFloatValue(V); });
    if (Grid->OnSpinClick)
        Grid->OnSpinClick(Grid, Grid->Col(), Grid->Row(), Value(), Key == VK_PRIOR || Key == VK_HOME);
}

bool TGridSpin::gridKeyPress(QKeyEvent* Event, int Key)
{
    switch (Key) {
    case VK_PRIOR:
    case VK_NEXT:
    case VK_END:
    case VK_HOME:
        if (SpinType() != sptNormal && SpinType() != sptFloat)
            return false;
        pageKey(Key);
        return true;
    case VK_RETURN:
        if (writeAndValidate(this, this))
            Grid->DoneInplaceEdit(Key, ShiftStateOf(Event->modifiers()));
        return true;
    case VK_ESCAPE: SetCellText(QString::fromStdString(Grid->GetCurrentCell())); [[fallthrough]];
    case VK_TAB: Grid->DoneInplaceEdit(Key, ShiftStateOf(Event->modifiers())); return true;
    default: return false;
    }
}

// ---------------------------------------------------------------- TGridDatePicker

TGridDatePicker::TGridDatePicker(QWidget* Owner) : TGridControl(Owner)
{
    setFrame(false);  // no 3-D border inside the cell
    setCalendarPopup(true);
    watchCalendar();
}

void TGridDatePicker::watchCalendar()
{
    QCalendarWidget* calendar = calendarPopup() ? calendarWidget() : nullptr;
    QWidget* popup = calendar ? calendar->window() : nullptr;
    if (!popup || popup == calendar_)
        return;
    if (calendar_)
        calendar_->removeEventFilter(this);
    calendar_ = popup;
    popup->installEventFilter(this);
}

bool TGridDatePicker::eventFilter(QObject* Watched, QEvent* Event)
{
    if (Watched == calendar_) {
        if (Event->type() == QEvent::Show)
            droppedDown_ = true;
        else if (Event->type() == QEvent::Hide)
            droppedDown_ = false;
    }
    return QDateTimeEdit::eventFilter(Watched, Event);
}

void TGridDatePicker::showEvent(QShowEvent* Event)
{
    watchCalendar();
    QDateTimeEdit::showEvent(Event);
}

void TGridDatePicker::paintEvent(QPaintEvent* Event)
{
    QDateTimeEdit::paintEvent(Event);
    QPainter p(this);
    p.setPen(palette().color(QPalette::Base));
    p.setBrush(Qt::NoBrush);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    p.drawRect(rect().adjusted(1, 1, -2, -2));
}

bool TGridDatePicker::ReadCellText(const std::string& Text, bool Time)
{
    TDateTime value = 0;
    bool read = false;
    try {
        read = Time ? ParseTime(Text, value) : ParseShortDate(Trim(Text), value);
    } catch (const EConvertError&) {
    }
    if (!read)
        return false;
    if (Time) {
        setTime(QTime(0, 0).addSecs(std::lround(value * 86400.0) % 86400));
    } else {
        int y = 0, m = 0, d = 0;
        DecodeDate(value, y, m, d);
        setDate(QDate(y, m, d));
    }
    return true;
}

bool TGridDatePicker::gridKeyPress(QKeyEvent* Event, int Key)
{
    if (Key != VK_RETURN && Key != VK_ESCAPE && Key != VK_PRIOR && Key != VK_NEXT && Key != VK_END)
        return false;
    // A cell text that is no date (or time) leaves the picker's value, and
    // Escape leaves the cell's text: the picker's is not written over it.
    RIvuZuvuzoZuvu* grid = Grid;
    const std::string text = grid->GetCurrentCell();
    const bool unread =
        Key == VK_ESCAPE && !ReadCellText(text, !(displayedSections() & QDateTimeEdit::DateSections_Mask));
    if (droppedDown_)
        return true;
    grid->DoneInplaceEdit(Key, ShiftStateOf(Event->modifiers()));
    if (unread)
        grid->SetCurrentCell(text);
    return true;
}

// ---------------------------------------------------------------- TGridCheckBox

TGridCheckBox::TGridCheckBox(QWidget* Owner) : TGridControl(Owner)
{
    setTristate(true);
}

void TGridCheckBox::nextCheckState()
{
    if (pressToggled_) {
        pressToggled_ = false;
        return;
    }
    switch (checkState()) {
    case Qt::Unchecked: setCheckState(Qt::Checked); break;
    case Qt::Checked: setCheckState(Qt::PartiallyChecked); break;
    default: setCheckState(Qt::Unchecked); break;
    }
}

void TGridCheckBox::mousePressEvent(QMouseEvent* Event)
{
    if (Event->button() == Qt::LeftButton) {
        pressToggled_ = false;
        nextCheckState();
        pressToggled_ = true;
    }
    QCheckBox::mousePressEvent(Event);
}

void TGridCheckBox::mouseReleaseEvent(QMouseEvent* Event)
{
    QCheckBox::mouseReleaseEvent(Event);
    pressToggled_ = false;
}

bool TGridCheckBox::gridKeyPress(QKeyEvent* Event, int Key)
{
    if (Key != VK_RETURN && Key != VK_ESCAPE && (Key < VK_PRIOR || Key > VK_DOWN || Key == VK_HOME))
        return false;
    RIvuZuvuzoZuvu* grid = Grid;
    if (Key == VK_ESCAPE)
        setText(QString::fromStdString(grid->GetCurrentCell()));
    grid->HideInplaceEdit();
    grid->setFocus(Qt::OtherFocusReason);
    if (Key == VK_RETURN)
        grid->AdvanceEdit(grid->Col(), grid->Row(), true, true, false);
    else if (Key == VK_UP || Key == VK_DOWN)
        passToGrid(grid, Event->key(), Event->modifiers());
    return true;
}

// ---------------------------------------------------------------- TGridEditBtn

TGridEditBtn::TGridEditBtn(QWidget* Owner) : TGridControl(Owner)
{
    OnClickBtn = [this](QObject*) { ExtClick(); };
}

void TGridEditBtn::ExtClick()
{
    if (!Grid)
        return;
    setText(QString::fromStdString(Grid->EllipsClick(text().toStdString())));
    setSelection(0, text().size());
    update();
}

bool TGridEditBtn::gridKeyPress(QKeyEvent* Event, int Key)
{
    // With Ctrl held every key is the edit's.
    if (Event->modifiers() & Qt::ControlModifier)
        return false;
    if (textEditorKey(this, Event, Key))
        return true;
    const QString typed = Event->text();
    if (typed.size() != 1 || typed.at(0).unicode() < 32 || typed.at(0).unicode() == 127)
        return false;
    TCharVerdict verdict = TCharVerdict::Take;
    if (Grid->EditorType() == edNumericEditBtn)
        verdict = NumericCharVerdict(typed.at(0), text(), cursorPosition());
    else if (Grid->EditorType() == edFloatEditBtn)
        verdict = FloatCharVerdict(typed.at(0), text(), cursorPosition(), selectedText());
    if (verdict == TCharVerdict::Beep)
        MessageBeep(0);
    return verdict != TCharVerdict::Take;
}

// ---------------------------------------------------------------- TGridUnitEditBtn

TGridUnitEditBtn::TGridUnitEditBtn(QWidget* Owner) : TGridControl(Owner) {}

void TGridUnitEditBtn::SetCellText(const QString& Text)
{
    QString number, unit;
    for (QChar c : Text)
        (isDigit(c) || c == QLatin1Char(',') || c == QLatin1Char('-') || c == QLatin1Char('.') ? number : unit) += c;
    setText(number);
    SetUnitID(unit);
}

bool TGridUnitEditBtn::gridKeyPress(QKeyEvent* Event, int Key) { return textEditorKey(this, Event, Key); }

// ---------------------------------------------------------------- TGridButton

TGridButton::TGridButton(QWidget* Owner) : TGridControl(Owner) {}

void TGridButton::closeEdit()
{
    hide();
    setEnabled(false);
    Grid->HideInplaceEdit();
    Grid->setFocus(Qt::OtherFocusReason);
}

static bool isArrow(int Key) { return Key >= VK_LEFT && Key <= VK_DOWN; }

bool TGridButton::gridKeyPress(QKeyEvent* Event, int Key)
{
    if (Key == VK_ESCAPE) {
        RIvuZuvuzoZuvu* grid = Grid;
        closeEdit();
        grid->RestoreCache();
        passToGrid(grid, Qt::Key_Escape, Event->modifiers());
    }
    return Key == VK_ESCAPE || isArrow(Key);  // the arrows act on release
}

void TGridButton::keyReleaseEvent(QKeyEvent* Event)
{
    if (!Grid) {
        QPushButton::keyReleaseEvent(Event);
        return;
    }
    Event->accept();
    const int key = VirtualKeyOf(*Event);
    if (isArrow(key) && !Event->isAutoRepeat()) {
        RIvuZuvuzoZuvu* grid = Grid;
        passToGrid(grid, Event->key(), Event->modifiers());
        closeEdit();
        passToGrid(grid, Event->key(), Event->modifiers(), QEvent::KeyRelease);
        return;
    }
    QPushButton::keyReleaseEvent(Event);
    Event->accept();
    if (key == VK_SPACE && !Event->isAutoRepeat()) {
        setText(QString::fromStdString(Grid->EllipsClick(text().toStdString())));
        setFocus(Qt::OtherFocusReason);
        update();
    }
}

void TGridButton::mouseReleaseEvent(QMouseEvent* Event)
{
    QPushButton::mouseReleaseEvent(Event);
    if (Grid && Event->button() == Qt::LeftButton)
        setText(QString::fromStdString(Grid->EllipsClick(text().toStdString())));
}

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
