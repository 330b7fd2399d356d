// Lays the cells of a string grid onto the pages of a preview as a table:
// column widths scaled to a requested table width, cell backgrounds, texts and
// grid lines recorded through the preview's canvas, continuing on the next
// page (an existing one first) when a page fills. The preview is not owned; a
// destroyed preview is forgotten. The grid must stay alive during a call.
#pragma once

#include "platform/geometry.h"
#include "printing/pvcanvas.h"

#include <QObject>
#include <QPointer>
#include <functional>

namespace platform {
class StringGrid;
}
class TPvPreview;

class TPvGridPrint;
// Called per cell with its rectangle on the page in hundredths of a millimetre.
using TPvDrawCellEvent =
    std::function<void(TPvGridPrint* sender, int col, int row, platform::Rect& rect, TPvCanvas* canvas)>;

class TPvGridPrint {
public:
    TPvGridPrint() = default;

    bool Monochrome = false;
    TPvDrawCellEvent OnDrawCell;
    TPvDrawCellEvent OnEndDrawCell;

    TPvPreview* Preview() const;
    void SetPreview(TPvPreview* preview);

    // A column's width and a row's height in hundredths of a millimetre, from
    // the grid's screen pixels.
    int GetColWidth(int col) const;
    int GetRowHeight(int row) const;
    // Stores the grid; about how many rows fit on a page (0 when the first row
    // has no height).
    int GetPageRow(platform::StringGrid* grid);
    // Makes the next page current, adding one when there is none.
    void GotoNextPage();

    // The table with its top-left corner at (x, y) and `width` wide (0: the
    // grid's own width), all in `measurement`; texts left-aligned with a 0.5 mm
    // padding, or as `alignment` says.
    void GridToPage(int x, int y, int width, TPvMeasurement measurement, platform::StringGrid* grid);
    void GridToPage(int x, int y, int width, TPvMeasurement measurement, platform::StringGrid* grid,
                    TAlignment alignment);
    // The same walk, drawing nothing: only the colours are set and the two
    // events called, for callers that draw the cells themselves.
    void GridOwnPrint(int x, int y, int width, TPvMeasurement measurement, platform::StringGrid* grid);

private:
    enum class Mode { Draw, Own };
    void walk(int x, int y, int width, TPvMeasurement measurement, platform::StringGrid* grid, Mode mode,
              TAlignment alignment);

    QPointer<TPvPreview> preview_;
    platform::StringGrid* grid_ = nullptr;
};
