// Spin edits: a single-line edit with a pair of spin buttons that steps an
// integer, a float, a date or a time within limits. Reading a value never
// raises (a text that does not convert reads as the kind's fallback); writing
// clamps to the limits unless the two limits are equal. The grid's in-place
// spin editor derives from TAsgSpinEdit. Dates are written in the short date
// format, times as "hh:mm:ss" (FormatSettings).
#pragma once

#include "grid/vurirod.h"
#include "platform/presswatch.h"

#include <QAbstractButton>
#include <QImage>
#include <QLineEdit>
#include <QTimer>

#include <functional>

namespace grid {

enum TAsgSpinType { sptNormal, sptFloat, sptDate, sptTime };
enum TSpinDirection { spVertical, spHorizontal };

// One spin button that repeats its click while held: 400 ms after the press,
// then every 100 ms until released, or until the release is lost to a modal
// window (a click may open one).
class TGridTimerSpeedButton : public QAbstractButton {
public:
    TGridTimerSpeedButton(QWidget* Owner, bool Up);
    bool Up() const { return up_; }
    bool Horizontal = false;
    bool IsWinXP = false;
    bool AllowTimer = true;
    bool Flat = false;
    bool Transparent = false;
    QImage Glyph;  // drawn on vertical buttons; the "AsgSpinUp"/"AsgSpinDown" bitmap unless set
    std::function<void()> OnClick;  // each click, repeated or not

protected:
    void paintEvent(QPaintEvent* Event) override;
    void mousePressEvent(QMouseEvent* Event) override;
    void mouseReleaseEvent(QMouseEvent* Event) override;
    bool event(QEvent* Event) override;

private:
    void timerExpired();
    void stopRepeating();
    void pressLost();
    bool up_;
    QTimer* repeat_ = nullptr;  // made on first use
    platform::PressWatch pressWatch_{[this] { pressLost(); }};
};

// The pair of buttons, one above the other or side by side.
class TAsgSpinButton : public QWidget {
public:
    explicit TAsgSpinButton(QWidget* Owner);
    TGridTimerSpeedButton* UpButton() const { return up_; }
    TGridTimerSpeedButton* DownButton() const { return down_; }
    TGridTimerSpeedButton* FocusedButton() const { return focused_; }
    TSpinDirection Direction() const { return direction_; }
    void SetDirection(TSpinDirection Value);
    void SetIsWinXP(bool Value);
    void SetFlat(bool Value);
    void SetTransparent(bool Value);
    QWidget* FocusControl = nullptr;
    std::function<void()> OnUpClick;
    std::function<void()> OnDownClick;

protected:
    void resizeEvent(QResizeEvent* Event) override;
    void keyPressEvent(QKeyEvent* Event) override;
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    void layOut();
    TGridTimerSpeedButton* up_;
    TGridTimerSpeedButton* down_;
    TGridTimerSpeedButton* focused_;
    TSpinDirection direction_ = spVertical;
};

class TAsgSpinEdit : public QLineEdit {
public:
    explicit TAsgSpinEdit(QWidget* Owner);

    TAsgSpinType SpinType() const { return spinType_; }
    void SetSpinType(TAsgSpinType AType);
    TSpinDirection Direction() const { return button_->Direction(); }
    void SetDirection(TSpinDirection Value);
    int Precision() const { return precision_; }
    void SetPrecision(int Value);
    bool EditorEnabled = true;
    bool ReturnIsTab = false;
    int Increment = 1;
    double IncrementFloat = 0.0;
    int MinValue = 0;
    int MaxValue = 100;
    double MinFloatValue = 0.0;
    double MaxFloatValue = 100.0;
    TDateTime MinDateValue = 0;
    TDateTime MaxDateValue = 0;
    bool SpinFlat() const { return spinFlat_; }
    void SetSpinFlat(bool Value);
    bool SpinTransparent() const { return spinTransparent_; }
    void SetSpinTransparent(bool Value);
    void SetIsWinXP(bool Value);
    bool IsWinXP() const { return isWinXP_; }
    bool BorderStyle() const { return hasFrame(); }
    void SetBorderStyle(bool Single);
    bool ReadOnly() const { return isReadOnly(); }

    int Value() const;
    void SetValue(int Value);
    double FloatValue() const;
    void SetFloatValue(double Value);
    TDateTime DateValue() const;
    void SetDateValue(TDateTime Value);
    TDateTime TimeValue() const;
    void SetTimeValue(TDateTime Value);

    TAsgSpinButton* Button() const { return button_; }
    QRect EditRect() const;
    int MinHeight() const;

    // Whether Key may be typed; may turn it into another character (the
    // thousand separator of a float into its decimal separator).
    virtual bool IsValidChar(QChar& Key);
    virtual void UpClick(QObject* Sender);
    virtual void DownClick(QObject* Sender);

protected:
    void keyPressEvent(QKeyEvent* Event) override;
    void inputMethodEvent(QInputMethodEvent* Event) override;
    void focusInEvent(QFocusEvent* Event) override;
    void focusOutEvent(QFocusEvent* Event) override;
    void resizeEvent(QResizeEvent* Event) override;
    void contextMenuEvent(QContextMenuEvent* Event) override;

private:
    int checkValue(int V) const;
    double checkFloatValue(double V) const;
    TDateTime checkDateValue(TDateTime V) const;
    void step(int Sign);
    void setTextKeepCaret(const std::string& Text);
    void setEditRect();

    TAsgSpinButton* button_;
    TAsgSpinType spinType_ = sptNormal;
    int precision_ = 0;
    bool spinFlat_ = false;
    bool spinTransparent_ = false;
    bool isWinXP_ = false;
    TDateTime dateValue_ = 0;
    TDateTime timeValue_ = 0;
};

// The spin edit with an edit mask.
class TGridMaskSpinEdit : public TAsgSpinEdit {
public:
    using TAsgSpinEdit::TAsgSpinEdit;
    QString EditMask() const { return inputMask(); }
    void SetEditMask(const QString& Value) { setInputMask(Value); }
};

}  // namespace grid
