// The list grid's text editor over a cell of a text kind (normal, numeric,
// float, case-converting, password): multi-line, or a masked single line for
// passwords. Typed and pasted characters pass a filter chosen by the cell's
// editor type and the maximum length; it completes from the grid's lookup
// items, walks into the next cell, grows the row or column while typing and
// reports its progress. The grid creates it once and must keep it parented
// to its viewport; it reads the grid's editing state of the current cell.
#pragma once

#include "platform/inplaceedit.h"

namespace grid {

class RIvuZuvuzoZuvu;

class TGridInplaceEdit : public platform::InplaceEdit {
public:
    explicit TGridInplaceEdit(RIvuZuvuzoZuvu* Grid);
    // Right alignment (the cell's horizontal alignment) and word wrap; each rebuilds the field.
    void SetVAlign(bool Value);
    void SetWordWrap(bool Value);
    bool RightAligned() const { return rightAlign_; }
    bool WordWrapped() const { return wordWrap_; }

    // Text of the current cell, then its colour and font.
    void UpdateContents() override;
    // One pixel less than the cell each way, leaving the grid lines visible.
    void Move(const platform::Rect& cell) override;
    // Each asks the grid's clipboard event first (this editor as Sender);
    // a paste is taken whole or not at all.
    void copy() override;
    void cut() override;
    void paste() override;

protected:
    void CreateParams(Params& p) const override;
    void keyPressEvent(QKeyEvent* Event) override;
    void keyReleaseEvent(QKeyEvent* Event) override;
    void focusInEvent(QFocusEvent* Event) override;
    void focusOutEvent(QFocusEvent* Event) override;
    void mouseDoubleClickEvent(QMouseEvent* Event) override;

private:
    // The character filter of the cell's editor type; false when C was dropped.
    bool typeChar(QChar C);
    // Enter that ends the edit: an edited text is validated first; a refused
    // one comes back as the cell's text and the editor stays.
    void enterEnds(QKeyEvent* Event);
    void completeLookup();
    // Runs Sizing with the editor's text standing in the current cell.
    template <typename F>
    void measureWithText(F Sizing);
    RIvuZuvuzoZuvu* grid_;
    bool rightAlign_ = false;
    bool wordWrap_ = false;
    bool lookup_ = true;  // the last key may be completed from the lookup items
};

}  // namespace grid
