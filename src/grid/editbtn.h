// Edits with a button at their right end: TAsgEditBtn for values a dialog or a
// list supplies, TAsgUnitEditBtn which also shows a unit between the text and
// the button and lets the user pick it from a menu. The button sits in a small
// panel (TAsgEditButton) that is a child of the edit; the edit keeps its text
// out of the button's way through its text margins. A caller that wants the
// button's action sets OnClickBtn.
#pragma once

#include <QImage>
#include <QLineEdit>
#include <QToolButton>

#include <functional>
#include <string>
#include <vector>

namespace grid {

// Whether a key press would put text into an edit or take text out of it.
bool KeyChangesText(QKeyEvent* Event);
// Opens an edit's standard context menu, its editing entries disabled unless CanChange.
void ShowEditMenu(QLineEdit* Edit, QContextMenuEvent* Event, bool CanChange);

// The smallest height of a one-line edit in Edit's font: its text height plus
// a quarter of the smaller of the system font's and its own text heights.
int EditTextMinHeight(const QWidget* Edit);

// A tool button that reports its left mouse press.
// A click that comes from no mouse (a screen reader's press) reports too.
class TAsgSpeedButton : public QToolButton {
public:
    explicit TAsgSpeedButton(QWidget* Owner);
    std::function<void()> OnMouseDown;

protected:
    void mousePressEvent(QMouseEvent* Event) override;
    void mouseReleaseEvent(QMouseEvent* Event) override;

private:
    bool mouseRelease_ = false;  // the click under way comes from the mouse, reported at its press
};

// The panel holding one button. Its click handler runs on the button's mouse
// press (not on its click).
class TAsgEditButton : public QWidget {
public:
    explicit TAsgEditButton(QWidget* Owner);
    TAsgSpeedButton* Button() const { return button_; }
    QWidget* FocusControl = nullptr;      // focused when the button is pressed
    std::function<void()> OnClick;        // set by the owning edit
    void SetFlat(bool Value) { button_->setAutoRaise(Value); }
    QString Caption() const { return button_->text(); }
    void SetCaption(const QString& Value)
    {
        button_->setText(Value);
        nameButton();
    }
    // What a screen reader calls the button while it shows no caption.
    void SetUncaptionedName(const QString& Value)
    {
        uncaptioned_ = Value;
        nameButton();
    }
    QImage Glyph() const { return glyph_; }
    void SetGlyph(const QImage& Value);

protected:
    void resizeEvent(QResizeEvent* Event) override;

private:
    void nameButton() { button_->setAccessibleName(button_->text().isEmpty() ? uncaptioned_ : QString()); }
    TAsgSpeedButton* button_;
    QImage glyph_;
    QString uncaptioned_;
};

class TAsgEditBtn : public QLineEdit {
public:
    explicit TAsgEditBtn(QWidget* Owner);

    bool EditorEnabled = true;  // typing, cutting and pasting allowed
    bool RightAlign() const { return rightAlign_; }
    void SetRightAlign(bool Value);
    int ButtonWidth() const { return button_->width(); }
    void SetButtonWidth(int Value);
    QString ButtonCaption() const { return button_->Caption(); }
    void SetButtonCaption(const QString& Value) { button_->SetCaption(Value); }
    QImage Glyph() const { return button_->Glyph(); }
    void SetGlyph(const QImage& Value) { button_->SetGlyph(Value); }
    // The grid's names for the caption.
    void SetCaption(const QString& Value) { SetButtonCaption(Value); }
    QString Caption() const { return ButtonCaption(); }
    bool BorderStyle() const { return hasFrame(); }
    void SetBorderStyle(bool Single);
    void SetBorder(bool Border) { SetBorderStyle(Border); }
    bool ReadOnly() const { return isReadOnly(); }

    std::function<void(QObject* Sender)> OnClickBtn;

    TAsgEditButton* ButtonPanel() const { return button_; }
    // Where the text goes, in client coordinates.
    QRect EditRect() const;
    // The smallest height the control keeps.
    int MinHeight() const;

    virtual void BtnClick(QObject* Sender);

protected:
    int unitSpace_ = 0;  // room kept between the text and the button
    int borderWidth() const;
    void setEditRect();
    void resizeEvent(QResizeEvent* Event) override;
    void keyPressEvent(QKeyEvent* Event) override;
    void inputMethodEvent(QInputMethodEvent* Event) override;
    void focusInEvent(QFocusEvent* Event) override;
    void contextMenuEvent(QContextMenuEvent* Event) override;
    bool event(QEvent* Event) override;

private:
    TAsgEditButton* button_;
    bool rightAlign_ = false;
};

class TAsgUnitEditBtn : public TAsgEditBtn {
public:
    explicit TAsgUnitEditBtn(QWidget* Owner);

    QString UnitID() const { return unitID_; }
    void SetUnitID(const QString& Value);
    const std::vector<std::string>& Units() const { return units_; }
    void SetUnits(const std::vector<std::string>& Value) { units_ = Value; }
    int UnitSpace() const { return unitSpace_; }
    void SetUnitSpace(int Value);
    // The strip between the text and the button that shows UnitID.
    QRect UnitRect() const;

    // Opens the menu of the units; choosing one makes it the UnitID.
    void BtnClick(QObject* Sender) override;

protected:
    void paintEvent(QPaintEvent* Event) override;

private:
    QString unitID_;
    std::vector<std::string> units_;
};

}  // namespace grid
