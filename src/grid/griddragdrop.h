// The list grid's side of drag and drop: the drop target that pastes dropped
// text into the cells, loads a dropped CSV or spreadsheet file and reports
// dropped columns, and the drop source of the grid's own drags. The grid
// creates both and keeps them for as long as it lives.
#pragma once

#include "grid/dragdrop.h"

namespace grid {

class RIvuZuvuzoZuvu;

class TGridDropTarget : public TASGDropTarget {
public:
    explicit TGridDropTarget(RIvuZuvuzoZuvu* Grid) : FGrid(Grid) {}
    // Pastes the text at the cell under the point (whole rows with
    // goRowSelect), selects it and reports it; a drop of the grid's own drag
    // onto the dragged cells changes nothing.
    void DropText(const QPoint& pt, const std::string& text) override;
    // One file whose name ends in .csv or .xls/.xlsx (any case) replaces the
    // cells; a reader's refusal shows in the error box.
    void DropFiles(const QPoint& pt, const QStringList& files) override;
    void DropCol(const QPoint& pt, int col) override;
    void DropRTF(const QPoint& pt, const std::string& rtf) override;
    void DragMouseMove(const QPoint& pt, bool& allow, TDropFormats formats) override;
    void DragMouseLeave() override;

private:
    RIvuZuvuzoZuvu* FGrid;
};

class TGridDropSource : public TASGDropSource {
public:
    explicit TGridDropSource(RIvuZuvuzoZuvu* Grid) : FGrid(Grid) {}
    // Keeps a copy or move effect; the drag's last one.
    void CurrentEffect(int effect) override;
    // The floating header button follows the pointer.
    void QueryDrag() override;
    int Effect = DROPEFFECT_NONE;

private:
    RIvuZuvuzoZuvu* FGrid;
};

}  // namespace grid
