// The list grid's hidden helper controls: one in-place editor of each kind
// (each carrying its part of the editing protocol), the rich-text controls,
// the move arrows and the pop-up button. The grid makes them hidden with
// itself as parent, then only moves, fills, shows and hides them.
#pragma once

#include "grid/editbtn.h"
#include "grid/flatcombo.h"
#include "grid/spinedit.h"
#include "platform/color.h"
#include "platform/stringgrid.h"

#include <QCheckBox>
#include <QDateTimeEdit>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTextEdit>
#include <QWidget>

namespace grid {

class RIvuZuvuzoZuvu;

// What a number field does with a typed character.
enum class TCharVerdict { Take, Drop, Beep };
// Digits and a leading "-" (one only, at position 0).
TCharVerdict NumericCharVerdict(QChar C, const QString& Text, int Caret);
// Digits, one decimal mark ("." or ",") and a leading "-"; a selection that
// covers a mark or the "-" may replace it. Other characters drop silently.
TCharVerdict FloatCharVerdict(QChar C, const QString& Text, int Caret, const QString& Selected);

// The grid among Owner and its ancestors; nullptr when there is none.
RIvuZuvuzoZuvu* OwningGrid(QWidget* Owner);
// Ends Grid's edit when Control's focus goes to another control (not to a
// pop-up of its own, another window, or because it is being hidden).
void EndEditOnExit(RIvuZuvuzoZuvu* Grid, QWidget* Control, QFocusEvent* Event);
// Gives the focus to the next (or previous) control of Control's window that
// takes it by Tab; true when there was one.
bool FocusNextControl(QWidget* Control, bool Next);

// The in-place controls below serve the grid that owns them (Grid, found
// among the owner's ancestors; nullptr for a control made elsewhere, which
// then behaves as its base). They start hidden and disabled. While the grid
// shows one over a cell: leaving it for another control ends the edit, its
// key table hands the edit back to the grid, Escape brings back the cell's
// text and Tab reaches it only with goTabs. Keys a control keeps never go on
// to the grid.
template <class Base>
class TGridControl : public Base {
public:
    explicit TGridControl(QWidget* Owner) : Base(Owner), Grid(OwningGrid(Owner))
    {
        Base::hide();
        Base::setEnabled(false);
    }
    RIvuZuvuzoZuvu* Grid;

protected:
    void focusOutEvent(QFocusEvent* Event) override
    {
        EndEditOnExit(Grid, this, Event);
        Base::focusOutEvent(Event);
    }
    // A key pressed while the control serves the grid: true when its key
    // table took the key; otherwise the control handles it as its base.
    virtual bool gridKeyPress(QKeyEvent* Event, int Key) = 0;
    void keyPressEvent(QKeyEvent* Event) override
    {
        const bool taken = Grid && gridKeyPress(Event, platform::VirtualKeyOf(*Event));
        if (!taken)
            Base::keyPressEvent(Event);
        if (Grid)
            Event->accept();
    }
    // Whether Tab goes to the control when the grid takes Tab (goTabs);
    // otherwise Tab always moves the focus on, out of the control.
    virtual bool wantsTab() const { return true; }
    bool focusNextPrevChild(bool Next) override
    {
        return Grid && !wantsTab() ? FocusNextControl(this, Next) : Base::focusNextPrevChild(Next);
    }
};

// A combo box editing a cell as free text (an editable style) or as a pick
// from its list. Picks and typing by the user are reported through the
// grid's OnComboChange and OnComboObjectChange; filling it reports nothing.
class TGridCombo : public TGridControl<TASGCustomCombo> {
public:
    explicit TGridCombo(QWidget* Owner);
    bool LookupFlag() const { return lookup_; }
    // With more items than DropDownCount the list gets room for its scroll
    // bar: the list becomes as wide as the widest item (on the grid's canvas)
    // needs, never narrower than the combo.
    void SizeDropDownWidth();
    QString CellText() const { return currentText(); }
    void SetCellText(const QString& Text);

protected:
    bool gridKeyPress(QKeyEvent* Event, int Key) override;
    void keyReleaseEvent(QKeyEvent* Event) override;
    void wheelEvent(QWheelEvent* Event) override;
    void focusInEvent(QFocusEvent* Event) override;
    void focusOutEvent(QFocusEvent* Event) override;
    void showEvent(QShowEvent* Event) override;
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    void gridKey(int Key, platform::ShiftState Shift, bool ListLike, Qt::KeyboardModifiers Modifiers);
    void complete();
    void attachLineEdit();
    void reportChange(QObject* Sender, int Index, const QString& Text);
    bool lookup_ = true;  // off after Backspace and Delete
    int wheelRest_ = 0;
    bool popupKeyQueued_ = false;
    QPointer<QLineEdit> attached_;  // the edit field whose typing is reported
};

class TGridSpin : public TGridControl<TAsgSpinEdit> {
public:
    explicit TGridSpin(QWidget* Owner);
    // Steps, then reports the spin click of its kind to the grid.
    void UpClick(QObject* Sender) override;
    void DownClick(QObject* Sender) override;
    QString CellText() const { return text(); }
    void SetCellText(const QString& Text) { setText(Text); }

protected:
    bool gridKeyPress(QKeyEvent* Event, int Key) override;

private:
    void report(bool Up);
    void pageKey(int Key);
};

// A date picker with a drop-down calendar (or up-down mode), or a time picker.
class TGridDatePicker : public TGridControl<QDateTimeEdit> {
public:
    explicit TGridDatePicker(QWidget* Owner);
    bool DroppedDown() const { return droppedDown_; }
    // Takes the date (Time: the time of day) of a cell text; false, the
    // value unchanged, when the text does not convert.
    bool ReadCellText(const std::string& Text, bool Time);

protected:
    bool wantsTab() const override { return false; }
    bool gridKeyPress(QKeyEvent* Event, int Key) override;
    void showEvent(QShowEvent* Event) override;
    // Two frames in the window colour over the border, so that no 3-D edge shows in the cell.
    void paintEvent(QPaintEvent* Event) override;
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    void watchCalendar();
    bool droppedDown_ = false;
    QPointer<QWidget> calendar_;  // the pop-up window of the calendar being watched
};

// A tri-state check box whose clicks and Space cycle unchecked, checked, grayed.
class TGridCheckBox : public TGridControl<QCheckBox> {
public:
    explicit TGridCheckBox(QWidget* Owner);

protected:
    bool wantsTab() const override { return false; }
    void nextCheckState() override;
    bool gridKeyPress(QKeyEvent* Event, int Key) override;
    void mousePressEvent(QMouseEvent* Event) override;
    void mouseReleaseEvent(QMouseEvent* Event) override;

private:
    bool pressToggled_ = false;  // the press stepped the state; the click that follows does not
};

// An edit with a button that runs the grid's OnEllipsClick; its characters
// pass a filter by the grid's current editor type.
class TGridEditBtn : public TGridControl<TAsgEditBtn> {
public:
    explicit TGridEditBtn(QWidget* Owner);
    // The text through the grid's EllipsClick, then all of it selected.
    void ExtClick();
    QString CellText() const { return text(); }
    void SetCellText(const QString& Text) { setText(Text); }

protected:
    bool gridKeyPress(QKeyEvent* Event, int Key) override;
};

// A number with its unit: the cell text is the number followed by the unit.
class TGridUnitEditBtn : public TGridControl<TAsgUnitEditBtn> {
public:
    explicit TGridUnitEditBtn(QWidget* Owner);
    QString CellText() const { return text() + UnitID(); }
    // Digits, ",", "-" and "." make the number, every other character goes
    // to the unit ("12.5 kg": "12.5" and " kg").
    void SetCellText(const QString& Text);

protected:
    bool gridKeyPress(QKeyEvent* Event, int Key) override;
};

// A push button whose Space and left click run its caption through the
// grid's EllipsClick; Escape and the arrows hand the key back to the grid.
class TGridButton : public TGridControl<QPushButton> {
public:
    explicit TGridButton(QWidget* Owner);

protected:
    bool wantsTab() const override { return false; }
    bool gridKeyPress(QKeyEvent* Event, int Key) override;
    void keyReleaseEvent(QKeyEvent* Event) override;
    void mouseReleaseEvent(QMouseEvent* Event) override;

private:
    void closeEdit();
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
