// The list grid's hidden helper controls: one in-place editor of each kind,
// the rich-text controls, the move arrows and the pop-up button. The grid
// creates them hidden with itself as parent and only moves, fills, shows and
// hides them afterwards; it never frees one between edits.
// What an editor does while it is shown belongs to the editing code; here the
// controls carry what construction and a read-only grid need of them.
#pragma once

#include "grid/editbtn.h"
#include "grid/flatcombo.h"
#include "grid/spinedit.h"
#include "platform/color.h"
#include "platform/stringgrid.h"

#include <QCheckBox>
#include <QDateTimeEdit>
#include <QPushButton>
#include <QTextEdit>
#include <QWidget>

namespace grid {

class TGridCombo : public TASGCustomCombo {
public:
    explicit TGridCombo(QWidget* Owner);
};

class TGridSpin : public TAsgSpinEdit {
public:
    explicit TGridSpin(QWidget* Owner);
};

class TGridDatePicker : public QDateTimeEdit {
public:
    explicit TGridDatePicker(QWidget* Owner);
};

class TGridCheckBox : public QCheckBox {
public:
    explicit TGridCheckBox(QWidget* Owner);
};

class TGridEditBtn : public TAsgEditBtn {
public:
    explicit TGridEditBtn(QWidget* Owner);
};

class TGridUnitEditBtn : public TAsgUnitEditBtn {
public:
    explicit TGridUnitEditBtn(QWidget* Owner);
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
