// One print job of a range of preview pages: sets the printer's orientation
// for the sheet, places one, two or four pages on each sheet, lets the caller
// print each page into its place, reports progress, and restores the printer's
// orientation. The caller's page printer must draw only on the canvas it gets.
#pragma once

#include "platform/geometry.h"
#include "printing/pvtypes.h"

#include <QPoint>
#include <QString>
#include <functional>

namespace platform {
class Canvas;
}
class TPvPrinter;

// Where page `pageNum` goes on a sheet: the whole sheet, a half (left/right for
// portrait pages, top/bottom for landscape ones, odd pages first) or a quarter
// (in reading order by pageNum mod 4). Halving divides right and bottom by 2.
platform::Rect PvPageRectOnSheet(TPvPagesPerSheet perSheet, TPvOrientation pageOrientation, int pageNum,
                                 const platform::Rect& sheet);

struct TPvPrintRequest {
    int First = 1;
    int Last = 1;
    int NumPages = 1;  // the range is clamped to 1..NumPages
    TPvPagesPerSheet PagesPerSheet = gmOnePage;
    TPvOrientation Orientation = gmPortrait;  // of the preview's pages
    QString OwnerClass = QStringLiteral("TPvPreview");

    // Prints page `pageNum` at `scale` into `pageRect` of the sheet; positions
    // are printer pixels of the full sheet, less `offset` (the printable
    // area's corner). May throw: the job then ends with what was printed.
    std::function<void(int pageNum, platform::Canvas& canvas, long double scale, const platform::Rect& pageRect,
                       QPoint offset, int pixelsPerInch)>
        PrintPage;
    std::function<void()> BeforePrint;
    std::function<void(int printed, int total)> OnPrintProgress;
    std::function<void()> AfterPrint;
};

// Runs the job on `printer`, after its PrepareJob step. Without a printer
// ready it says why once ("No printer selected") and fires nothing. True only when every page of the range reached the
// printer: a refused begin, an error while printing a page, a failed page
// break or a job the printer did not take make it false (each shown once).
bool PvPrintPages(TPvPrinter& printer, const TPvPrintRequest& request);
