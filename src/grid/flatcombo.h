// A combo box that draws itself flat: a thin border in its parent's colour, a
// drop-down button of its own width, the 3-D look only while the mouse is over
// it or it has the focus, and a settable width of the dropped-down list. The
// grid's in-place combo editor derives from it. Painting is ours only while
// Flat is set; otherwise the style paints the control.
#pragma once

#include "platform/presswatch.h"

#include <QComboBox>

namespace grid {

class TASGCustomCombo : public QComboBox {
public:
    explicit TASGCustomCombo(QWidget* Owner);

    bool AutoFocus = false;    // take the focus when the mouse enters
    bool IsWinXP = false;      // draw the button with the visual-style layer
    int DropDownCount() const { return maxVisibleItems(); }
    void SetDropDownCount(int Value) { setMaxVisibleItems(Value); }
    int MaxLength() const { return maxLength_; }
    void SetMaxLength(int Value);
    bool Sorted() const { return sorted_; }
    void SetSorted(bool Value);

    bool Flat() const { return flat_; }
    void SetFlat(bool Value);
    bool Ctl3D() const { return !flat_; }
    bool Etched() const { return etched_; }
    void SetEtched(bool Value);
    bool FocusBorder() const { return focusBorder_; }
    void SetFocusBorder(bool Value);
    // Taken only in the range 14 to 32; other values leave the width as it was.
    int ButtonWidth() const { return buttonWidth_; }
    void SetButtonWidth(int Value);
    // 1 or more: the width of the dropped-down list; 0 leaves it to the combo.
    int DropWidth() const { return dropWidth_; }
    void SetDropWidth(int Value) { dropWidth_ = Value; }

    bool DroppedDown() const { return droppedDown_; }
    bool MouseInControl() const { return mouseIn_; }
    // The drop-down button's area in client coordinates.
    QRect ButtonRect() const;

    void showPopup() override;
    void hidePopup() override;

protected:
    void paintEvent(QPaintEvent* Event) override;
    void resizeEvent(QResizeEvent* Event) override;
    void showEvent(QShowEvent* Event) override;
    void changeEvent(QEvent* Event) override;
    void enterEvent(QEnterEvent* Event) override;
    void leaveEvent(QEvent* Event) override;
    void focusInEvent(QFocusEvent* Event) override;
    void focusOutEvent(QFocusEvent* Event) override;
    void mousePressEvent(QMouseEvent* Event) override;
    void mouseReleaseEvent(QMouseEvent* Event) override;
    bool event(QEvent* Event) override;

private:
    void drawBorders(class QPainter& P);
    void placeEditField();
    bool look3D() const;  // the 3-D button look: hot or focused
    void buttonUp();      // the press ends: the button is drawn up

    bool flat_ = true;
    bool etched_ = false;
    bool focusBorder_ = false;
    int buttonWidth_ = 0;
    int dropWidth_ = 0;
    int maxLength_ = 0;
    bool sorted_ = false;
    bool mouseIn_ = false;
    bool mouseDown_ = false;
    platform::PressWatch pressWatch_{[this] { buttonUp(); }, Qt::LeftButton | Qt::RightButton};
    bool droppedDown_ = false;
    QColor savedColor_;  // restored when the control is enabled again
    bool savedParentColor_ = false;
};

// The published combo box.
using TASGComboBox = TASGCustomCombo;

}  // namespace grid
