// The list grid's hidden helper controls: one in-place editor of each kind,
// the rich-text controls, the move arrows and the pop-up button. The grid
// creates them hidden with itself as parent and only moves, fills, shows and
// hides them afterwards; it never frees one between edits.
// What an editor does while it is shown belongs to the editing code; here the
// controls carry what construction and a read-only grid need of them.
#pragma once

#include "platform/color.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTextEdit>
#include <QToolButton>
#include <QWidget>

namespace grid {

class TGridCombo : public QComboBox {
public:
    explicit TGridCombo(QWidget* Owner);
    bool IsWinXP = false;  // drawn with visual styles
};

class TAsgSpinEdit : public QSpinBox {
public:
    explicit TAsgSpinEdit(QWidget* Owner);
    void SetIsWinXP(bool Value) { isWinXP_ = Value; }
    bool IsWinXP() const { return isWinXP_; }

private:
    bool isWinXP_ = false;
};

class TGridSpin : public TAsgSpinEdit {
public:
    using TAsgSpinEdit::TAsgSpinEdit;
};

class TGridDatePicker : public QDateTimeEdit {
public:
    explicit TGridDatePicker(QWidget* Owner);
};

class TGridCheckBox : public QCheckBox {
public:
    explicit TGridCheckBox(QWidget* Owner);
};

// A line edit with a small button at its right end.
class TAsgEditBtn : public QWidget {
public:
    explicit TAsgEditBtn(QWidget* Owner);
    void SetCaption(const QString& Caption);
    QString Caption() const;
    QLineEdit* Edit() const { return edit_; }
    // Without a border the editor fills its cell exactly.
    void SetBorder(bool Border);

private:
    QLineEdit* edit_;
    QToolButton* button_;
};

class TGridEditBtn : public TAsgEditBtn {
public:
    using TAsgEditBtn::TAsgEditBtn;
};

// An edit with button whose text is split into a number and a unit.
class TGridUnitEditBtn : public TGridEditBtn {
public:
    using TGridEditBtn::TGridEditBtn;
    QString UnitID;
};

class TGridButton : public QPushButton {
public:
    explicit TGridButton(QWidget* Owner);
};

// A rich-text control that knows the size its content last asked for.
class TGridRichEdit : public QTextEdit {
public:
    explicit TGridRichEdit(QWidget* Owner);
    // Raises (positive offset) or lowers (negative) the selected text; 0 puts it back on the line.
    void SelFormat(int Offset);
    void SelNormal() { SelFormat(0); }
    void SelSubscript() { SelFormat(-40); }
    void SelSuperscript() { SelFormat(40); }
    void Lock() { locked_ = true; }
    void Unlock() { locked_ = false; }
    bool Locked() const { return locked_; }
    int ReqWidth = 0;
    int ReqHeight = 0;

private:
    bool locked_ = false;
};

enum TArrowDirection { arrUp, arrDown, arrLeft, arrRight };

// A small lime arrow shown beside the header while a row or column is moved.
class TArrowWindow : public QWidget {
public:
    TArrowWindow(QWidget* Owner, TArrowDirection Direction);
    TArrowDirection Direction() const { return direction_; }
    void SetColor(platform::TColor Color);
    platform::TColor Color() const { return color_; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    TArrowDirection direction_;
    platform::TColor color_ = platform::clLime;
};

// A top-level raised button that shows a caption on one line.
class TPopupButton : public QWidget {
public:
    explicit TPopupButton(QWidget* Owner);
    QString Caption;
    bool Flat = false;

protected:
    void paintEvent(QPaintEvent*) override;
};

}  // namespace grid
