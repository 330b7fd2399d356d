// TEditLink: plugs a control of the caller's into the list grid as the editor
// of its edCustom cells, in the cell or in a frameless pop-up. A descendant
// makes and owns the control and overrides the virtual operations; it routes
// the control's key presses and focus loss to EditKeyDown and EditExit
// (installing the link as the control's event filter does both). The grid
// only refers to its link and must be told of none before the link goes.
#pragma once

#include "platform/stringgrid.h"

#include <QColor>
#include <QFont>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QWidget>

#include <string>

namespace grid {

class RIvuZuvuzoZuvu;

enum TEditStyle { esInplace, esPopup };

class TEditLink : public QObject {
public:
    explicit TEditLink(QObject* AOwner = nullptr);
    ~TEditLink() override;

    RIvuZuvuzoZuvu* Grid = nullptr;  // set by the grid before each edit
    bool WantKeyLeftRight = false;
    bool WantKeyUpDown = false;
    bool WantKeyHomeEnd = false;
    bool WantKeyPriorNext = false;
    bool WantKeyReturn = false;
    bool WantKeyEscape = false;
    TEditStyle EditStyle = esInplace;
    QWidget* PopupForm() const { return popupForm_; }
    int PopupWidth = 0;
    int PopupHeight = 0;
    QPoint EditCell;  // real column, row; set by the grid before each edit
    int Tag = 0;

    // A key of the control: Enter, Escape, Page Up, Page Down, End and the
    // arrows end the edit unless the matching want-flag keeps them in the
    // control; Home never does. Key becomes 0 after Enter.
    virtual void EditKeyDown(QObject* Sender, int& Key, platform::ShiftState Shift);
    virtual QWidget* GetEditControl();
    virtual void CreateEditor(QWidget* AParent);
    virtual void DestroyEditor();
    // true: focus the control; false: focus the grid.
    virtual void SetFocus(bool Value);
    // The control fills R less the grid's line width; without a control
    // these three do nothing.
    virtual void SetRect(platform::Rect R);
    virtual void SetVisible(bool Value);
    virtual void SetProperties();
    virtual void SetCellProps(const QColor& AColor, const QFont& AFont);
    virtual std::string GetEditorValue();
    virtual void SetEditorValue(const std::string& S);

    std::string GetCellValue();
    void SetCellValue(const std::string& S);
    // The pop-up for esPopup, else the grid's cell area.
    QWidget* GetParent();
    // Writes the control's value into the cell and ends the edit.
    void HideEditor();
    // For the control's loss of focus: ends the edit and, for esPopup, frees the pop-up.
    void EditExit(QObject* Sender);
    // The pop-up's deactivation.
    void FormExit(QObject* Sender);

    // Makes the pop-up at a screen point (the grid calls it for esPopup edits).
    QWidget* OpenPopup(QPoint ScreenPos);

protected:
    // Key presses of a watched control go to EditKeyDown, its loss of focus to EditExit.
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    bool editOpen() const;  // the grid is editing an edCustom cell
    void freePopup();
    QWidget* popupForm_ = nullptr;
    bool ending_ = false;  // the link itself moves the focus back to the grid
};

}  // namespace grid
