// The state of one page pass of the list grid's own printing (gridprint.cpp,
// gridprintcells.cpp). The grid resets it at the start of every pass; the
// widths and positions are indexed by displayed column. Lengths are tenths of
// a millimetre with y growing upwards (the canvas runs in MM_LOMETRIC).
#pragma once

#include "platform/canvas.h"
#include "platform/geometry.h"

#include <QString>

#include <array>
#include <vector>

namespace platform {
class Printer;
}

namespace grid {

// How a page pass runs: draw the chosen page on a preview, draw on the
// printer or a given canvas, or only count the pages.
enum TPrintMethod { prPreview, prPrint, prCalcPrint, prCalcPreview };

struct TPrintPass {
    platform::Canvas* Canvas = nullptr;
    platform::Printer* Printer = nullptr;  // the open job a prPrint pass feeds; none for a plain canvas
    TPrintMethod Method = prCalcPrint;
    int Total = -1;          // the page total shown in "p/n" numbers; -1 while counting
    double HTMLScale = 1.0;  // canvas resolution over screen resolution
    double ScreenFactor = 254.0 / 96;  // 0.1 mm per screen pixel
    int Gap = 0, Inset = 0;
    int HeaderTextHeight = 0, FooterTextHeight = 0;
    int PageWidth = 0, PageHeight = 0;  // the height is negative
    int Spacing = 0;                    // extra width per column
    double Scale = 1.0;                 // fit to page
    int HeaderHeight = 0, FooterHeight = 0;
    int PageIndex = 0, PageInGroup = 0, GroupNr = 0;
    bool Groups = false;   // the columns needed more than one group
    bool DrewPage = false; // a page of this pass has been drawn
    int ClipRight = 0;     // cells of the current group end here
    std::vector<int> Widths, Offsets;
    int MemoRow = -1, MemoHeight = 0;  // the row measured last and its printed height
    std::array<QString, 7> Slots;      // header and footer texts of the last page drawn, by TPrintPosition
};

// The columns of one page pass while BuildPages lays them out: the printed
// cells, the fixed columns that may repeat on every group, and the lowest y a
// row may reach before the page breaks.
struct TPageLayout {
    platform::GridRect Cells{};
    int FixedCols = 0;
    bool RepeatCols = false;  // the fixed columns open every column group
    int FirstMeasured = 0;    // the first column given a width
    int Columns = 0;          // the length of the pass's width and offset tables
    int BottomLimit = 0;

    // A column given a width: the printed ones and the fixed ones that repeat.
    bool Measured(int C) const
    {
        return C >= FirstMeasured && C <= Cells.Right && (C >= Cells.Left || C < FixedCols);
    }
};

// Gives a canvas's mapping mode and viewport origin back when the scope ends.
class TMappingScope {
public:
    explicit TMappingScope(platform::Canvas& C) : c_(C), mode_(C.GetMapMode()), origin_(C.ViewportOrigin()) {}
    ~TMappingScope()
    {
        c_.SetMapMode(mode_);
        c_.SetViewportOrigin(origin_);
    }
    TMappingScope(const TMappingScope&) = delete;
    TMappingScope& operator=(const TMappingScope&) = delete;
    // Device pixels (MM_TEXT, origin 0) until the scope ends.
    void DevicePixels()
    {
        c_.SetMapMode(platform::MM_TEXT);
        c_.SetViewportOrigin(QPoint());
    }

private:
    platform::Canvas& c_;
    platform::MapMode mode_;
    QPoint origin_;
};

}  // namespace grid
