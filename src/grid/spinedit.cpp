#include "grid/spinedit.h"

#include "grid/editbtn.h"
#include "grid/gridaccessible.h"
#include "grid/pictures.h"
#include "platform/accessibility.h"
#include "platform/beep.h"
#include "platform/theme.h"

#include <QAccessible>
#include <QApplication>
#include <QBitmap>
#include <QKeyEvent>
#include <QPainter>
#include <QPixmap>

#include <algorithm>
#include <charconv>
#include <cmath>

namespace grid {

// ---------------------------------------------------------------- TGridTimerSpeedButton

TGridTimerSpeedButton::TGridTimerSpeedButton(QWidget* Owner, bool Up) : QAbstractButton(Owner), up_(Up)
{
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_Hover);
    Glyph = BitmapResource(Up ? QStringLiteral("AsgSpinUp") : QStringLiteral("AsgSpinDown"));
    connect(this, &QAbstractButton::clicked, this, [this] {
        if (OnClick)
            OnClick();
    });
}

void TGridTimerSpeedButton::mousePressEvent(QMouseEvent* Event)
{
    QAbstractButton::mousePressEvent(Event);
    if (AllowTimer && isDown()) {
        if (!repeat_) {
            repeat_ = new QTimer(this);
            connect(repeat_, &QTimer::timeout, this, [this] { timerExpired(); });
        }
        repeat_->start(400);
    }
    if (parentWidget())
        parentWidget()->update();
}

void TGridTimerSpeedButton::mouseReleaseEvent(QMouseEvent* Event)
{
    stopRepeating();
    QAbstractButton::mouseReleaseEvent(Event);
    if (parentWidget())
        parentWidget()->update();
}

bool TGridTimerSpeedButton::event(QEvent* Event)
{
    return pressWatch_.Handle(Event, [&] { return QAbstractButton::event(Event); });
}

void TGridTimerSpeedButton::stopRepeating()
{
    if (repeat_)
        repeat_->stop();
}

// The release will not come: the button comes up without a click.
void TGridTimerSpeedButton::pressLost()
{
    stopRepeating();
    setDown(false);
    if (parentWidget())
        parentWidget()->update();
}

void TGridTimerSpeedButton::timerExpired()
{
    repeat_->setInterval(100);
    if (!isDown() || !OnClick)
        return;
    try {
        OnClick();
    } catch (...) {
        repeat_->stop();
        throw;
    }
}

void TGridTimerSpeedButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRect r = rect();
    if (IsWinXP) {
        platform::HTHEME theme = platform::OpenThemeData(this, QStringLiteral("spin"));
        const int part = Horizontal ? (up_ ? 3 : 4) : (up_ ? 1 : 2);
        const int state = !isEnabled() ? 4 : isDown() ? 3 : underMouse() ? 2 : 1;
        platform::DrawThemeBackground(theme, &p, part, state, r);
        platform::CloseThemeData(theme);
        return;
    }
    platform::StyleGlyphState state;
    state.Enabled = isEnabled();
    state.Pressed = isDown();
    state.Flat = Flat;
    if (Horizontal) {
        platform::DrawStyleGlyph(&p, this, up_ ? platform::StyleGlyph::SpinRight : platform::StyleGlyph::SpinLeft, r,
                                 state);
        return;
    }
    if (!Transparent || isDown())
        platform::DrawStyleGlyph(&p, this, platform::StyleGlyph::PushButton, r, state);
    if (Glyph.isNull())
        return;
    QPixmap glyph = QPixmap::fromImage(Glyph);
    // The button's own arrow takes the palette's button text; a glyph given to it keeps its colours.
    if (Glyph == BitmapResource(up_ ? QStringLiteral("AsgSpinUp") : QStringLiteral("AsgSpinDown")))
        glyph.fill(palette().color(QPalette::ButtonText));
    glyph.setMask(QBitmap::fromImage(Glyph.createMaskFromColor(Glyph.pixel(0, 0), Qt::MaskInColor)));
    const int shift = isDown() ? 1 : 0;
    if (!isEnabled())
        p.setOpacity(0.4);
    p.drawPixmap((r.width() - glyph.width()) / 2 + shift, (r.height() - glyph.height()) / 2 + shift, glyph);
}

// ---------------------------------------------------------------- TAsgSpinButton

TAsgSpinButton::TAsgSpinButton(QWidget* Owner)
    : QWidget(Owner), up_(new TGridTimerSpeedButton(this, true)), down_(new TGridTimerSpeedButton(this, false)),
      focused_(up_)
{
    up_->OnClick = [this] {
        if (OnUpClick)
            OnUpClick();
    };
    down_->OnClick = [this] {
        if (OnDownClick)
            OnDownClick();
    };
    up_->installEventFilter(this);
    down_->installEventFilter(this);
    up_->setAccessibleName(QStringLiteral("Step up"));
    down_->setAccessibleName(QStringLiteral("Step down"));
    resize(15, 25);
}

void TAsgSpinButton::SetDirection(TSpinDirection Value)
{
    direction_ = Value;
    up_->Horizontal = down_->Horizontal = Value == spHorizontal;
    layOut();
    update();
}

void TAsgSpinButton::SetIsWinXP(bool Value)
{
    up_->IsWinXP = down_->IsWinXP = Value;
    update();
}

void TAsgSpinButton::SetFlat(bool Value)
{
    up_->Flat = down_->Flat = Value;
    update();
}

void TAsgSpinButton::SetTransparent(bool Value)
{
    up_->Transparent = down_->Transparent = Value;
    update();
}

void TAsgSpinButton::layOut()
{
    const int h = height();
    if (direction_ == spVertical) {
        const int w = std::max(15, width());
        up_->setGeometry(0, 0, w, h / 2);
        down_->setGeometry(0, h / 2 - 1, w, h - h / 2 + 1);
    } else {
        const int w = std::max(20, width());
        down_->setGeometry(0, 0, w / 2, h);
        up_->setGeometry(w / 2, 0, w - w / 2, h);
    }
}

void TAsgSpinButton::resizeEvent(QResizeEvent* Event)
{
    QWidget::resizeEvent(Event);
    layOut();
}

void TAsgSpinButton::keyPressEvent(QKeyEvent* Event)
{
    switch (Event->key()) {
    case Qt::Key_Up:
        focused_ = up_;
        up_->click();
        break;
    case Qt::Key_Down:
        focused_ = down_;
        down_->click();
        break;
    case Qt::Key_Space:
        focused_->click();
        break;
    default:
        QWidget::keyPressEvent(Event);
    }
}

bool TAsgSpinButton::eventFilter(QObject* Watched, QEvent* Event)
{
    if (Event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(Event)->button() == Qt::LeftButton) {
        focused_ = Watched == up_ ? up_ : down_;
        if (FocusControl && FocusControl->focusPolicy() != Qt::NoFocus && FocusControl->isEnabled() &&
            !FocusControl->hasFocus())
            FocusControl->setFocus(Qt::MouseFocusReason);
        else if (!FocusControl && focusPolicy() != Qt::NoFocus && !hasFocus())
            setFocus(Qt::MouseFocusReason);
    }
    return QWidget::eventFilter(Watched, Event);
}

// ---------------------------------------------------------------- TAsgSpinEdit

namespace {

// Days as whole seconds of the day, 0 to 86399.
long secondsOfDay(TDateTime T) { return std::lround((T - std::floor(T)) * 86400.0) % 86400; }

std::string floatText(double V, int Precision)
{
    char buf[64];
    const auto result = Precision > 0 ? std::to_chars(buf, buf + sizeof buf, V, std::chars_format::fixed, Precision)
                                      : std::to_chars(buf, buf + sizeof buf, V);
    std::string text(buf, result.ptr);
    if (const auto dot = text.find('.'); dot != std::string::npos)
        text[dot] = formatSettings().DecimalSeparator;
    return text;
}

}  // namespace

TAsgSpinEdit::TAsgSpinEdit(QWidget* Owner) : QLineEdit(Owner), button_(new TAsgSpinButton(this))
{
    InstallGridAccessibility();  // before the text below makes Qt ask for this edit's interface
    button_->resize(15, 17);
    button_->FocusControl = this;
    button_->OnUpClick = [this] { UpClick(this); };
    button_->OnDownClick = [this] { DownClick(this); };
    button_->show();
    setText(QStringLiteral("0"));
    setEditRect();
    // A reader hears the value as it steps or is typed.
    connect(this, &QLineEdit::textChanged, this, [this] {
        if (!platform::AccessibilityListening())
            return;
        QAccessibleValueChangeEvent e(this, SpinType() == sptNormal  ? QVariant(Value())
                                            : SpinType() == sptFloat ? QVariant(FloatValue())
                                                                     : QVariant(text()));
        platform::SendAccessibleEvent(e);
    });
}

void TAsgSpinEdit::SetSpinType(TAsgSpinType AType)
{
    spinType_ = AType;
    switch (AType) {
    case sptNormal: SetValue(Value()); break;
    case sptFloat: SetFloatValue(FloatValue()); break;
    case sptDate: SetDateValue(DateValue()); break;
    case sptTime: SetTimeValue(TimeValue()); break;
    }
}

void TAsgSpinEdit::SetDirection(TSpinDirection Value)
{
    button_->SetDirection(Value);
    button_->resize(Value == spHorizontal ? std::max(20, button_->width()) : button_->width(), button_->height());
    QResizeEvent e(size(), size());
    resizeEvent(&e);
}

void TAsgSpinEdit::SetPrecision(int Value)
{
    precision_ = std::max(0, Value);
    if (spinType_ == sptFloat)
        SetFloatValue(FloatValue());
}

void TAsgSpinEdit::SetSpinFlat(bool Value)
{
    spinFlat_ = Value;
    button_->SetFlat(Value);
}

void TAsgSpinEdit::SetSpinTransparent(bool Value)
{
    spinTransparent_ = Value;
    button_->SetTransparent(Value);
}

void TAsgSpinEdit::SetIsWinXP(bool Value)
{
    isWinXP_ = Value;
    button_->SetIsWinXP(Value);
}

void TAsgSpinEdit::SetBorderStyle(bool Single)
{
    setFrame(Single);
    QResizeEvent e(size(), size());
    resizeEvent(&e);
}

// ---- reading and writing

int TAsgSpinEdit::checkValue(int V) const
{
    if (MinValue == MaxValue)
        return V;
    return V < MinValue ? MinValue : V > MaxValue ? MaxValue : V;
}

double TAsgSpinEdit::checkFloatValue(double V) const
{
    if (MinFloatValue == MaxFloatValue)
        return V;
    return V < MinFloatValue ? MinFloatValue : V > MaxFloatValue ? MaxFloatValue : V;
}

TDateTime TAsgSpinEdit::checkDateValue(TDateTime V) const
{
    if (MinDateValue == MaxDateValue)
        return V;
    return V < MinDateValue ? MinDateValue : V > MaxDateValue ? MaxDateValue : V;
}

int TAsgSpinEdit::Value() const
{
    int v = 0;
    return TextToInt(text().toStdString(), v) ? v : MinValue;
}

void TAsgSpinEdit::SetValue(int Value)
{
    setText(QString::number(checkValue(Value)));
    if (!EditorEnabled)
        selectAll();
}

double TAsgSpinEdit::FloatValue() const
{
    double v = 0;
    return TextToFloat(text().toStdString(), v) ? v : MinFloatValue;
}

void TAsgSpinEdit::SetFloatValue(double Value)
{
    setText(QString::fromStdString(floatText(checkFloatValue(Value), precision_)));
}

TDateTime TAsgSpinEdit::DateValue() const
{
    const std::string t = Trim(text().toStdString());
    if (t.empty() || t == "0")
        return Now();
    TDateTime d = 0;
    try {
        if (ParseShortDate(t, d))
            return d;
    } catch (const EConvertError&) {
    }
    return MinDateValue;
}

void TAsgSpinEdit::SetDateValue(TDateTime Value)
{
    dateValue_ = checkDateValue(Value);
    setTextKeepCaret(DateToShortText(dateValue_));
}

TDateTime TAsgSpinEdit::TimeValue() const
{
    TDateTime t = 0;
    return ParseTime(text().toStdString(), t) ? t : 0;
}

void TAsgSpinEdit::SetTimeValue(TDateTime Value)
{
    timeValue_ = Value;
    setTextKeepCaret(TimeToLongText(Value));
}

void TAsgSpinEdit::setTextKeepCaret(const std::string& Text)
{
    const int caret = cursorPosition();
    setText(QString::fromStdString(Text));
    setCursorPosition(std::min(caret, static_cast<int>(text().size())));
}

// ---- stepping

void TAsgSpinEdit::UpClick(QObject*) { step(1); }
void TAsgSpinEdit::DownClick(QObject*) { step(-1); }

void TAsgSpinEdit::step(int Sign)
{
    if (isReadOnly()) {
        platform::MessageBeep(0);
        return;
    }
    switch (spinType_) {
    case sptNormal: SetValue(Value() + Sign * Increment); break;
    case sptFloat: SetFloatValue(FloatValue() + Sign * IncrementFloat); break;
    case sptDate: {
        // The field under the caret, taken by position: day, month, year.
        const QString t = text();
        const QChar sep = QLatin1Char(formatSettings().DateSeparator);
        const int caret = cursorPosition();
        const qsizetype first = t.indexOf(sep);
        const qsizetype second = first < 0 ? -1 : t.indexOf(sep, first + 1);
        TDateTime d = DateValue();
        try {
            if (first < 0 || caret <= first)
                d += Sign;
            else if (second < 0 || caret <= second)
                d = StepDate(d, 0, Sign);
            else
                d = StepDate(d, Sign, 0);
        } catch (const EConvertError&) {
            platform::MessageBeep(0);  // beyond the years a date can have
            return;
        }
        SetDateValue(d);
        break;
    }
    case sptTime: {
        const QString t = text();
        const QChar sep = QLatin1Char(formatSettings().TimeSeparator);
        const int caret = cursorPosition();
        const qsizetype first = t.indexOf(sep);
        const qsizetype second = first < 0 ? -1 : t.indexOf(sep, first + 1);
        const long delta = (first < 0 || caret <= first) ? 3600 : (second < 0 || caret <= second) ? 60 : 1;
        const long s = ((secondsOfDay(TimeValue()) + Sign * delta) % 86400 + 86400) % 86400;
        SetTimeValue(s / 86400.0);
        break;
    }
    }
}

// ---- typing

bool TAsgSpinEdit::IsValidChar(QChar& Key)
{
    const FormatSettings& fs = formatSettings();
    const QChar dec = QLatin1Char(fs.DecimalSeparator), thousand = QLatin1Char(fs.ThousandSeparator);
    const QChar dateSep = QLatin1Char(fs.DateSeparator), timeSep = QLatin1Char(fs.TimeSeparator);
    const ushort code = Key.unicode();
    const bool control = code < 32 || code == 127;
    if (!EditorEnabled && (!control || code == 8 || code == 127))
        return false;
    bool valid = Key == QLatin1Char('+') || Key == QLatin1Char('-') || (Key >= QLatin1Char('0') && Key <= QLatin1Char('9')) ||
                 Key == dec || Key == thousand || Key == dateSep || Key == timeSep || (control && code != 13);
    if (Key == timeSep && spinType_ != sptTime && Key != dec && Key != thousand)
        valid = false;
    if (Key == dateSep && spinType_ != sptDate && Key != dec && Key != thousand)
        valid = false;
    if (!valid)
        return false;
    const QString t = text();
    if (spinType_ == sptFloat && !control) {
        if (Key == thousand)
            Key = dec;
        const qsizetype p = t.indexOf(dec);
        if (Key == dec && p >= 0 && !selectedText().contains(dec))
            return false;
        if (precision_ >= 1 && p >= 0 && cursorPosition() >= p + 1 && !hasSelectedText() &&
            t.size() >= p + 1 + precision_)
            return false;
    }
    if (spinType_ == sptTime && Key == timeSep && t.count(timeSep) >= 2)
        return false;
    return true;
}

void TAsgSpinEdit::keyPressEvent(QKeyEvent* Event)
{
    const int key = Event->key();
    if ((key == Qt::Key_Up || key == Qt::Key_Down) && !(Event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        key == Qt::Key_Up ? UpClick(this) : DownClick(this);
        Event->accept();
        return;
    }
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && ReturnIsTab) {
        QCoreApplication::postEvent(this, new QKeyEvent(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier));
        Event->accept();
        return;
    }
    if (key == Qt::Key_Delete && !EditorEnabled) {
        Event->accept();
        return;
    }
    if ((Event->matches(QKeySequence::Paste) || Event->matches(QKeySequence::Cut)) &&
        (!EditorEnabled || isReadOnly())) {
        Event->accept();
        return;
    }
    QString typed = Event->text();
    if (key == Qt::Key_Backspace)
        typed = QString(QChar(8));
    if (typed.size() == 1 && !(Event->modifiers() & Qt::ControlModifier) && key != Qt::Key_Escape &&
        key != Qt::Key_Tab && key != Qt::Key_Backtab && key != Qt::Key_Return && key != Qt::Key_Enter) {
        QChar c = typed.at(0);
        const QChar typedChar = c;
        if (!IsValidChar(c)) {
            platform::MessageBeep(0);
            Event->accept();
            return;
        }
        if (c != typedChar) {
            insert(QString(c));
            Event->accept();
            return;
        }
    }
    QLineEdit::keyPressEvent(Event);
}

void TAsgSpinEdit::inputMethodEvent(QInputMethodEvent* Event)
{
    if (EditorEnabled)
        QLineEdit::inputMethodEvent(Event);
}

void TAsgSpinEdit::contextMenuEvent(QContextMenuEvent* Event) { ShowEditMenu(this, Event, EditorEnabled && !isReadOnly()); }

// ---- focus

void TAsgSpinEdit::focusInEvent(QFocusEvent* Event)
{
    QLineEdit::focusInEvent(Event);
    if (Event->reason() != Qt::MouseFocusReason || !EditorEnabled)
        selectAll();
}

void TAsgSpinEdit::focusOutEvent(QFocusEvent* Event)
{
    QLineEdit::focusOutEvent(Event);
    // A value outside the limits is put back inside them. A time is a time of
    // day: the date limits do not apply to it.
    switch (spinType_) {
    case sptNormal:
        if (const int v = Value(); checkValue(v) != v)
            SetValue(checkValue(v));
        break;
    case sptFloat:
        if (const double v = FloatValue(); checkFloatValue(v) != v)
            SetFloatValue(checkFloatValue(v));
        break;
    case sptDate:
        if (const TDateTime v = DateValue(); checkDateValue(v) != v)
            SetDateValue(checkDateValue(v));
        break;
    case sptTime:
        break;
    }
}

// ---- layout

// As in the edit with button: the edit rectangle in client coordinates (inside
// the 2-pixel border when there is one), the buttons from the outer width.
QRect TAsgSpinEdit::EditRect() const
{
    const int o = hasFrame() ? 2 : 0;
    const int m = hasFrame() ? 0 : 1;
    const int clientWidth = width() - 2 * o, clientHeight = height() - 2 * o;
    return QRect(QPoint(o + m, o + m), QPoint(o + clientWidth - button_->width() - 2 - m - 1, o + clientHeight));
}

void TAsgSpinEdit::setEditRect()
{
    const QRect r = EditRect();
    const int o = hasFrame() ? 2 : 0;
    setTextMargins(r.left() - o, r.top() - o, width() - o - r.right() - 1, 0);
}

int TAsgSpinEdit::MinHeight() const
{
    int h = EditTextMinHeight(this) + 2;
    if (hasFrame())
        h += 4 * 1;  // four times the system border height
    return h;
}

void TAsgSpinEdit::resizeEvent(QResizeEvent* Event)
{
    QLineEdit::resizeEvent(Event);
    if (height() < MinHeight()) {
        resize(width(), MinHeight());
        return;
    }
    const int d = hasFrame() ? 5 : 1;
    const int o = hasFrame() ? 2 : 0;
    button_->setGeometry(width() - button_->width() - d + o, o, button_->width(), height() - d);
    setEditRect();
}

}  // namespace grid
